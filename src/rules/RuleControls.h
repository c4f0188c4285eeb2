#pragma once
// The sender, AND/OR and subject controls that the filter and sound rule editors share, and how a
// rule moves in and out of them.
#include "store/Records.h"

class QLineEdit;
class QRadioButton;

namespace ormisk {

struct RuleControls {
    QLineEdit* txtSender;
    QRadioButton* optSenderAnywhere;
    QRadioButton* optSenderExact;
    QRadioButton* optAnd;
    QRadioButton* optOr;
    QLineEdit* txtSubject;
    QRadioButton* optSubjectAnywhere;
    QRadioButton* optSubjectExact;

    // Empty texts, "anywhere" for both fields, AND.
    void showDefaults() const;
    // The rule's texts and its three choices.
    void showRule(const FilterRule& rule) const;
    // Texts as typed (not trimmed) and the three choices, also those currently disabled. Disabled
    // is not edited here and is left as it is.
    void storeInto(FilterRule& rule) const;
    // Each field's choices need its text; AND/OR needs both.
    void enableChoices() const;
    [[nodiscard]] bool hasAnyText() const;
    // Typed spaces cannot start either text.
    void guardTexts() const;
};

} // namespace ormisk

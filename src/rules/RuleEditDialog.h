#pragma once
// Adds or modifies one rule (form AddFilter for a filter, AdvAction for a sound rule). A rule
// whose two texts are empty opens in add mode, any other in modify mode. OK hands back the rule
// as the controls show it; Disabled is not edited and comes back as it was given.
#include "rules/RuleControls.h"
#include "store/Records.h"

#include <QDialog>

#include <functional>
#include <optional>

class QLineEdit;
class QPushButton;

namespace ormisk {

class DialogService;
struct RuleKind;

// What the sound-rule editor reaches outside itself.
struct RuleEditServices {
    DialogService& dialogs;
    // "Test WAV": plays the named file now, whatever the running sound settings are.
    std::function<void(const QString& file)> testSound;
};

class RuleEditDialog : public QDialog {
    Q_OBJECT
public:
    RuleEditDialog(const RuleKind& kind, const WavAction& rule, RuleEditServices services, QWidget* parent = nullptr);
    ~RuleEditDialog() override;

    // Shows the dialog modally; the rule as confirmed with OK, or nothing.
    [[nodiscard]] static std::optional<WavAction> ask(
        const RuleKind& kind, const WavAction& rule, const RuleEditServices& services, QWidget* parent);

    [[nodiscard]] const std::optional<WavAction>& confirmed() const { return m_confirmed; }

    // OK needs a text (and, for a sound rule, a file); each choice needs its text.
    void updateControls();

private:
    template <typename Form> void build(Form& form);
    void selectWavFile();
    void testWav();
    void confirm();

    RuleEditServices m_services;
    WavAction m_rule;
    RuleControls m_controls {};
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    // Only in a sound rule's form.
    QLineEdit* m_wavFile = nullptr;
    QPushButton* m_selectWav = nullptr;
    QPushButton* m_testWav = nullptr;
    std::optional<WavAction> m_confirmed;
};

} // namespace ormisk

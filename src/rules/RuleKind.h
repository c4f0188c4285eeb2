#pragma once
// What tells the two rule editors apart: message filters (form Filter, with AddFilter for one
// rule) and sound rules (form AdvWAV, with AdvAction), which also name a WAV file. Everything
// else about the two is the same.
#include <QString>

namespace ormisk {

struct RuleKind {
    const char* listForm;
    QString listCaption;
    QString listLabel;
    QString addButton;
    QString exitTip;
    QString addCaption;
    QString modifyCaption;
    // Sound rules play a WAV file; a filter is edited as a sound rule without one.
    bool namesWavFile;
};

inline const RuleKind kFilterRules { "Filter", QStringLiteral("Ormisk --- Message Filtering"),
    QStringLiteral("Message &Filters:"), QStringLiteral("&Add Filter..."), QStringLiteral("Exit Message Filtering"),
    QStringLiteral("Ormisk --- Add Filter"), QStringLiteral("Ormisk --- Modify Filter"), false };

inline const RuleKind kSoundRules { "AdvWAV", QStringLiteral("Ormisk --- Advance WAV Settings"),
    QStringLiteral("WAV &Actions:"), QStringLiteral("&Add Action..."), QStringLiteral("Exit Advance WAV Settings"),
    QStringLiteral("Ormisk --- Add WAV Action"), QStringLiteral("Ormisk --- Modify WAV Action"), true };

} // namespace ormisk

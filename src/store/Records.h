#pragma once
// The records of the three tables the user keeps: accounts, message filters and sound rules.
#include <QString>

namespace ormisk {

struct AccountRecord {
    QString Title;
    QString Host;
    QString User;
    QString Password; // plain in memory, scrambled in the store
    qint32 Port = 110;
    QString NodeKey; // "P" + 1..32766, made afresh at every load, never stored
    bool Disabled = false;
};

struct FilterRule {
    QString SenderText;
    bool SenderMatch = true; // true: sender must equal the text; false: must contain it
    QString SubjectText;
    bool SubjectMatch = true;
    bool AndMode = true; // both conditions (true) or either (false)
    bool Disabled = false;
};

struct WavAction : FilterRule {
    QString WavFile;
};

} // namespace ormisk

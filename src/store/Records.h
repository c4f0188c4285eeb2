#pragma once
// The records of the three tables the user keeps: accounts, message filters and sound rules.
#include <QString>

namespace ormisk {

// How an account's connection is protected. Automatic is what an account stored without a choice
// gets: TLS where the server offers it, until the first connection that used TLS fixes the choice.
enum class AccountSecurity : quint8 {
    Automatic, // stored as an empty (or absent) "Security" key
    Tls, // "TLS": TLS from the first byte
    StartTls, // "STARTTLS": STLS before login, or no login at all
    None, // "None": plain text, password readable on the way
};

struct AccountRecord {
    QString Title;
    QString Host;
    QString User;
    QString Password; // plain in memory, scrambled in the store
    qint32 Port = 110;
    QString NodeKey; // "P" + 1..32766, made afresh at every load, never stored
    bool Disabled = false;
    AccountSecurity Security = AccountSecurity::Automatic;
    // The password lives in the desktop keyring: the settings file keeps "Password" + i empty.
    bool PasswordInKeyring = false;
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

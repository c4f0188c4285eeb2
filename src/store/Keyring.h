#pragma once
// The desktop keyring (the Secret Service on Linux) as a place for account passwords. Every
// request is a job that answers later; the coroutines here return once it has.
#include <QCoroTask>
#include <QString>

namespace ormisk {

struct AccountRecord;
struct Profile;

class Keyring {
public:
    // `service` names the program's entries in the keyring; see serviceFor().
    explicit Keyring(QString service);

    // The standard profile's entries are the program's own; a `--profile` folder (tests, the
    // demo, a portable copy) gets entries of its own, named after the folder.
    [[nodiscard]] static QString serviceFor(const Profile& profile);
    // The entry that holds an account's password: its login, user@host.
    [[nodiscard]] static QString entryFor(const AccountRecord& account);

    enum class Outcome : quint8 {
        Done,
        NotFound, // a read of an entry that does not exist
        Unavailable, // no session bus, no keyring service, a locked keyring the user declined
    };
    struct Reading {
        Outcome outcome = Outcome::Unavailable;
        QString password;
    };
    [[nodiscard]] QCoro::Task<Reading> read(QString entry) const;
    [[nodiscard]] QCoro::Task<Outcome> write(QString entry, QString password) const;
    // NotFound when there was no such entry.
    [[nodiscard]] QCoro::Task<Outcome> remove(QString entry) const;

    [[nodiscard]] QString service() const { return m_service; }

private:
    QString m_service;
};

} // namespace ormisk

#pragma once
// What checks counted: each check returns its account's counts, a poll cycle adds them up.
#include <QtGlobal>

namespace ormisk {

struct MailCounts {
    // Messages left showing new mail: never seen before, or seen but not marked read.
    qint32 newMail = 0;
    // Messages whose header was read, a filter's deletions included.
    qint32 waiting = 0;
    // Messages never seen before; only these sound the alarm.
    qint32 unseen = 0;

    MailCounts& operator+=(const MailCounts& other)
    {
        newMail += other.newMail;
        waiting += other.waiting;
        unseen += other.unseen;
        return *this;
    }
    friend bool operator==(const MailCounts&, const MailCounts&) = default;
};

} // namespace ormisk

#pragma once
// What a new-mail notice says: the same filled-in message as the new-mail window, and below it
// the sender and subject of the newest arrivals with their accounts.
#include <QString>

namespace ormisk {

struct AppState;
class MailEngine;

// The template the new-mail window shows: the option's message, or the designed text when the
// option is empty.
[[nodiscard]] QString NoticeTemplate(const QString& dialogMessage);

struct NewMailNotice {
    QString summary;
    QString body;
};

inline constexpr int kNoticeArrivals = 5;

// Built from the messages the last checks left marked new (`newMail` of them): up to
// kNoticeArrivals of them, newest first by their Date field (messages without one after those
// with one, later ones first), one line each as "account: sender — subject", then a line with the
// number of the others.
[[nodiscard]] NewMailNotice ComposeNewMailNotice(const AppState& state, const MailEngine& engine, qint32 newMail);

} // namespace ormisk

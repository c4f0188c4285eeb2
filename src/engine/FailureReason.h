#pragma once
// Why an account's check failed, in words a user can act on: the server's own answer to a refused
// command, or the cause named plainly. The status texts of the tree stay short; this is what the
// account's tool tip and `--once`'s error output add to them.
#include <QString>

namespace ormisk {

struct PopFailure;
class PopComponent;

// `step` names what the check was doing ("connecting", "logging in", "listing the messages").
[[nodiscard]] QString FailureReason(const PopFailure& failure, const QString& host, qint32 port, const QString& step,
    const PopComponent& pop, qint32 checkTimeLimitSeconds);

} // namespace ormisk

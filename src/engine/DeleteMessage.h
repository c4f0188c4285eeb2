#pragma once
// "Delete Message": deletes the selected message on its server in a conversation of its own and
// renumbers the account's later message nodes to the server's new numbering. The message is
// deleted only if the server still holds the node's header under the node's number.
#include <QCoro/QCoroTask>

namespace ormisk {

class MailEngine;
class PollScheduler;

// Does nothing unless a live message (one that shows its number) is selected. The countdown is
// paused for the command and runs again afterwards unless monitoring is suspended.
[[nodiscard]] QCoro::Task<> DeleteMessage(MailEngine& engine, PollScheduler& scheduler);

} // namespace ormisk

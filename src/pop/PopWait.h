#pragma once
// Waiting for the server without spinning: a nested event loop that re-checks its conditions
// whenever the client reports a change. Window events keep running meanwhile.
#include <functional>

namespace ormisk {

class PopComponent;

enum class WaitResult { Success, Failure };

// Waits until the client is not busy and success() or failure() holds (success is tested first).
// A client that is idle in a state meeting neither condition counts as failure: the client's
// time-outs guarantee that every request ends idle, so the wait always ends.
WaitResult waitFor(PopComponent& pop, const std::function<bool()>& success, const std::function<bool()>& failure);

// Waits until the client is no longer busy.
void waitUntilIdle(PopComponent& pop);

// Closes the conversation the way every check and command does: cancel if busy, else quit if
// still connected; then waits until idle and closed.
void closeConversation(PopComponent& pop);

} // namespace ormisk

#pragma once
// How a check protects an account's connection: the client's TLS mode from the account's choice
// before it connects, and the choice an automatic account earns by its first connection over TLS
// (remembered like a security policy, so that a later downgrade is refused instead of followed).
#include <QtGlobal>

namespace ormisk {

struct AppState;
struct AccountRecord;
struct Options;
class PopComponent;

// Sets the client's TLS mode for `account` and the check's time limit. A component that is not
// our own POP client (a test's fake) is left as it is.
void ApplyConnectionSecurity(PopComponent& pop, const AccountRecord& account, const Options& options);

// After a successful connect of account `index` (1-based): an automatic account whose connection
// used TLS keeps "TLS" (TLS from the first byte) or "STARTTLS" from now on, in memory and in the
// store. Returns whether the choice was recorded.
bool RememberConnectionSecurity(AppState& state, qint16 index, const PopComponent& pop);

} // namespace ormisk

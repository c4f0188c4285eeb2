#pragma once
// "Add Account", "Modify Account" and "Delete Account": each keeps the account table, the
// settings store and the tree in step, and checks an added or changed account at once.
class QWidget;

namespace ormisk {

class DialogService;
class MailEngine;
class PollScheduler;
class SettingsStore;

struct AccountCommandContext {
    MailEngine& engine;
    PollScheduler& scheduler;
    SettingsStore& store;
    DialogService& dialogs;
    QWidget* owner;
};

void AddAccountCommand(const AccountCommandContext& c);
void ModifyAccountCommand(const AccountCommandContext& c);
void DeleteAccountCommand(const AccountCommandContext& c);

} // namespace ormisk

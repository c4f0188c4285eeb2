#pragma once
// The account tree's controller: it owns the selection, turns the tree's clicks, expansions and
// keys into it, hides the tree's highlight after a command, and runs "Add Account", "Modify
// Account" and "Delete Account", each keeping the table, the store and the tree in step.
#include "store/Records.h"
#include "tree/Selection.h"

#include <QCoro/QCoroTask>
#include <QString>

#include <optional>

class QWidget;

namespace ormisk {

class DialogService;
class Keyring;
class MailEngine;
class PollScheduler;
class SettingsStore;

// The context menu a right click opens.
enum class PopupMenu { None, Monitoring, Accounts, Messages };

class AccountController {
public:
    AccountController(
        MailEngine& engine, PollScheduler& scheduler, SettingsStore& store, DialogService& dialogs, QWidget* owner);

    [[nodiscard]] const Selection& selection() const { return m_selection; }
    // The keyring passwords saved by the editor are moved into; none keeps them in the file.
    void setKeyring(const Keyring* keyring) { m_keyring = keyring; }

    // A mouse button pressed over `key` (empty: over empty space). Returns the menu to pop up:
    // only for the right button, and only if that menu is enabled.
    [[nodiscard]] PopupMenu nodePressed(const QString& key, bool rightButton);
    // The user expanded or collapsed an account node.
    void nodeExpanded(const QString& key);
    void treeClicked();
    void treeDoubleClicked();
    // The keyboard moved the selection to `key`: as a left click there, then the menus follow,
    // so no command acts on a stale selection.
    void nodeSelectedByKeyboard(const QString& key);

    // Clears the tree's highlight, unless a dialog that shows the selection is open.
    void hideSelection();
    // While one lives, hideSelection() leaves the highlight alone: the About box, the account
    // editor and the options dialog hold one.
    class SelectionHold {
    public:
        explicit SelectionHold(AccountController& controller);
        ~SelectionHold();
        SelectionHold(const SelectionHold&) = delete;
        SelectionHold& operator=(const SelectionHold&) = delete;

    private:
        AccountController& m_controller;
    };
    [[nodiscard]] SelectionHold holdSelection() { return SelectionHold(*this); }

    // The account commands; an added or changed account is checked at once, and the command
    // ends when its check has.
    [[nodiscard]] QCoro::Task<> addAccount();
    [[nodiscard]] QCoro::Task<> modifyAccount();
    void deleteAccount();

private:
    void selectNode(const QString& key);
    void refreshMenus();
    // The selected node's account node; a message node stands for its account.
    [[nodiscard]] QString selectAccountNode();
    [[nodiscard]] QCoro::Task<> checkAccount(qint16 index);
    // The account editor over the window, for a new account or the one at `row`.
    [[nodiscard]] std::optional<AccountRecord> editAccount(std::optional<qsizetype> row);
    // Starts the countdown again when a command is over, unless monitoring is suspended.
    void restartUnlessSuspended();
    // After the table was saved: passwords the file still holds go into the keyring, if any.
    void movePasswordsToKeyring();
    // The keyring entry of an account deleted or moved to another user or host goes with it,
    // unless another account still logs in with it.
    void forgetKeyringPassword(const AccountRecord& gone);

    MailEngine& m_engine;
    PollScheduler& m_scheduler;
    SettingsStore& m_store;
    DialogService& m_dialogs;
    QWidget* m_owner;
    Selection m_selection;
    int m_holds = 0;
    const Keyring* m_keyring = nullptr;
};

} // namespace ormisk

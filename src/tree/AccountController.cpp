#include "tree/AccountController.h"

#include "engine/AccountCheck.h"
#include "engine/NodeTree.h"
#include "engine/PollScheduler.h"
#include "engine/SeenLists.h"
#include "engine/ShellHost.h"
#include "engine/TreeOps.h"
#include "store/AccountTable.h"
#include "store/AppState.h"
#include "store/Keyring.h"
#include "store/KeyringPasswords.h"
#include "tree/AccountEditorDialog.h"

#include <algorithm>

namespace ormisk {

AccountController::SelectionHold::SelectionHold(AccountController& controller)
    : m_controller(controller)
{
    ++m_controller.m_holds;
}

AccountController::SelectionHold::~SelectionHold() { --m_controller.m_holds; }

AccountController::AccountController(
    MailEngine& engine, PollScheduler& scheduler, SettingsStore& store, DialogService& dialogs, QWidget* owner)
    : m_engine(engine)
    , m_scheduler(scheduler)
    , m_store(store)
    , m_dialogs(dialogs)
    , m_owner(owner)
{
}

void AccountController::refreshMenus() { m_engine.host().applyMenus(); }

void AccountController::selectNode(const QString& key)
{
    NodeTree& tree = m_engine.tree();
    const AppState& state = m_engine.state();
    tree.setSelected(key);
    if (isAccountKey(key)) {
        m_selection.account = FindAccountByKey(state, key);
        m_selection.message = 0;
    } else {
        m_selection.message = tree.image(key) == Image::Deleted ? 0 : FindNodePosition(tree, key);
        m_selection.account = FindAccountByKey(state, tree.parent(key));
    }
}

PopupMenu AccountController::nodePressed(const QString& key, bool rightButton)
{
    NodeTree& tree = m_engine.tree();
    // A check disables the top-level menus; a right click then opens none of them.
    const MenuState menus = MonitoringMenus(m_scheduler.monitoring());
    if (key.isEmpty() || !tree.contains(key)) {
        tree.setSelected(QString());
        m_selection = {};
        if (rightButton && menus.mnuMonitoring.enabled)
            return PopupMenu::Monitoring;
        return PopupMenu::None;
    }
    selectNode(key);
    if (!rightButton)
        return PopupMenu::None;
    refreshMenus();
    if (m_selection.message < 1)
        return menus.mnuAccounts.enabled ? PopupMenu::Accounts : PopupMenu::None;
    return menus.mnuMessages.enabled ? PopupMenu::Messages : PopupMenu::None;
}

void AccountController::nodeExpanded(const QString& key)
{
    m_engine.tree().setSelected(key);
    m_selection.account = FindAccountByKey(m_engine.state(), key);
    m_selection.message = 0;
    refreshMenus();
}

void AccountController::treeClicked()
{
    refreshMenus();
    if (m_selection.isEmpty())
        hideSelection();
}

void AccountController::treeDoubleClicked()
{
    if (m_selection.isEmpty())
        hideSelection();
    else
        refreshMenus();
}

void AccountController::nodeSelectedByKeyboard(const QString& key)
{
    if (key.isEmpty() || !m_engine.tree().contains(key))
        return;
    selectNode(key);
    refreshMenus();
}

void AccountController::hideSelection()
{
    if (m_holds > 0)
        return;
    NodeTree& tree = m_engine.tree();
    tree.clearDropHighlight();
    tree.setSelected(QString());
}

QString AccountController::selectAccountNode()
{
    NodeTree& tree = m_engine.tree();
    QString key = tree.selected();
    if (isMessageKey(key)) {
        key = tree.parent(key);
        tree.setSelected(key);
    }
    return key;
}

QCoro::Task<> AccountController::checkAccount(qint16 index)
{
    AppState& state = m_engine.state();
    // The check takes the title from this index and the rest from the selected node's account;
    // both are the account in hand here.
    state.CurrentAccount = index;
    // Suspended, the account is not checked until monitoring resumes.
    MailCounts counts;
    if (!m_scheduler.Suspended())
        counts = co_await m_engine.CheckAccount();
    // What the check showed counts as read.
    SnapshotRead(state, m_engine.tree());
    ShowCheckedAsRead(m_engine.host(), counts);
}

std::optional<AccountRecord> AccountController::editAccount(std::optional<qsizetype> row)
{
    const SelectionHold hold = holdSelection();
    return AccountEditorDialog::ask(m_engine.state().accounts, row, m_dialogs, m_owner);
}

void AccountController::restartUnlessSuspended()
{
    if (!m_scheduler.Suspended())
        m_scheduler.PoolingEvent().start();
}

void AccountController::movePasswordsToKeyring()
{
    // Runs on while the command goes on; every account is found again by its node key after each
    // wait, so a later edit or delete is never overwritten.
    const AppState& state = m_engine.state();
    if (m_keyring && state.options.PasswordsInKeyring)
        (void)SettlePasswords(m_engine.state().accounts, m_store, *m_keyring);
}

void AccountController::forgetKeyringPassword(const AccountRecord& gone)
{
    if (!m_keyring || !gone.PasswordInKeyring)
        return;
    const QString entry = Keyring::entryFor(gone);
    const AccountTable& accounts = m_engine.state().accounts;
    const bool stillUsed = std::any_of(accounts.begin(), accounts.end(),
        [&](const AccountRecord& account) { return Keyring::entryFor(account) == entry; });
    if (!stillUsed)
        (void)m_keyring->remove(entry);
}

QCoro::Task<> AccountController::addAccount()
{
    AppState& state = m_engine.state();
    NodeTree& tree = m_engine.tree();
    m_scheduler.PoolingEvent().stop();
    hideSelection();
    std::optional<AccountRecord> added = editAccount(std::nullopt);
    if (added) {
        added->NodeKey = state.accounts.newKey(state.random);
        state.accounts.append(*added);
        const qint16 index = state.AccountCount();
        state.accounts.save(m_store);
        movePasswordsToKeyring();
        SnapshotRead(state, tree);
        // The new node shows the bare title (or the disabled text) until its check writes one.
        AddAccountNode(state, tree, index, QString());
        tree.setSelected(added->NodeKey);
        if (!added->Disabled)
            co_await checkAccount(index);
    }
    restartUnlessSuspended();
    hideSelection();
}

QCoro::Task<> AccountController::modifyAccount()
{
    AppState& state = m_engine.state();
    NodeTree& tree = m_engine.tree();
    if (tree.selected().isEmpty())
        co_return;
    const bool wasMessage = isMessageKey(tree.selected());
    const QString key = selectAccountNode();
    if (wasMessage) {
        m_selection.message = 0;
        refreshMenus();
    }
    const qint16 index = FindAccountByKey(state, key);
    m_selection.account = index;
    if (index == 0)
        co_return;
    // The countdown also waits while the editor is open: a poll cycle in the middle would rebuild
    // the tree under the account being changed.
    m_scheduler.PoolingEvent().stop();
    const std::optional<AccountRecord> changed = editAccount(index - 1);
    if (!changed) {
        restartUnlessSuspended();
        co_return;
    }
    const AccountRecord before = state.account(index);
    state.account(index) = *changed;
    state.accounts.save(m_store);
    forgetKeyringPassword(before);
    movePasswordsToKeyring();
    SnapshotRead(state, tree);
    if (changed->Disabled) {
        ShowAccountDisabled(tree, key, changed->Title);
    } else {
        tree.setImage(key, Image::NoMail);
        tree.setText(key, changed->Title);
    }
    while (!tree.firstChild(key).isEmpty())
        tree.remove(tree.firstChild(key));
    m_engine.forgetListing(key);
    tree.setSelected(key);
    co_await checkAccount(index);
    restartUnlessSuspended();
    hideSelection();
}

void AccountController::deleteAccount()
{
    AppState& state = m_engine.state();
    NodeTree& tree = m_engine.tree();
    if (tree.selected().isEmpty())
        return;
    m_scheduler.PoolingEvent().stop();
    const QString key = selectAccountNode();
    const qint16 index = FindAccountByKey(state, key);
    if (index != 0) {
        const AccountRecord gone = state.account(index);
        state.accounts.removeAt(index - 1);
        state.accounts.save(m_store);
        forgetKeyringPassword(gone);
        tree.setSelected(QString());
        tree.remove(key);
        m_engine.forgetListing(key);
        // Nothing selected is left: the account and its message nodes are gone.
        m_selection = {};
        refreshMenus();
    }
    restartUnlessSuspended();
    hideSelection();
}

} // namespace ormisk

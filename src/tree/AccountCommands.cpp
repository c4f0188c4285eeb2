#include "tree/AccountCommands.h"

#include "engine/AccountCheck.h"
#include "engine/NodeTree.h"
#include "engine/PollScheduler.h"
#include "engine/SeenLists.h"
#include "engine/TreeOps.h"
#include "store/AccountTable.h"
#include "store/AppState.h"
#include "tree/AccountEditorDialog.h"

namespace ormisk {

namespace {

// Starts the countdown again when the command is over, unless monitoring is suspended.
void restartUnlessSuspended(PollScheduler& scheduler, const AppState& state)
{
    if (!state.Suspended)
        scheduler.PoolingEvent().start();
}

// A message node stands for its account in the account commands.
QString selectAccountNode(AppState& state, NodeTree& tree, bool resetMessage)
{
    QString key = tree.selected();
    if (isMessageKey(key)) {
        key = tree.parent(key);
        tree.setSelected(key);
        if (resetMessage)
            state.CurrentMessage = 0;
    }
    return key;
}

// Checks the account of the selected node at once, then remembers what it showed as read.
void checkSelectedAccount(const AccountCommandContext& c)
{
    c.engine.state().NewMailCount = 0;
    c.engine.CheckAccount();
    SnapshotRead(c.engine.state(), c.engine.tree());
}

} // namespace

void AddAccountCommand(const AccountCommandContext& c)
{
    AppState& state = c.engine.state();
    NodeTree& tree = c.engine.tree();
    c.scheduler.PoolingEvent().stop();
    state.CurrentAccount = 0;
    HideSelection(state, tree);
    {
        AccountEditorDialog editor(state, c.dialogs, c.owner);
        editor.exec();
    }
    if (state.CurrentAccount != 0) {
        state.accounts.save(c.store);
        SnapshotRead(state, tree);
        // The new node shows the bare title (or the disabled text) until its check writes one.
        AddAccountNode(state, tree, state.CurrentAccount, QString());
        tree.setSelected(state.EditAccount.NodeKey);
        if (!state.EditAccount.Disabled)
            checkSelectedAccount(c);
    }
    restartUnlessSuspended(c.scheduler, state);
    HideSelection(state, tree);
}

void ModifyAccountCommand(const AccountCommandContext& c)
{
    AppState& state = c.engine.state();
    NodeTree& tree = c.engine.tree();
    if (tree.selected().isEmpty())
        return;
    const bool wasMessage = isMessageKey(tree.selected());
    const QString key = selectAccountNode(state, tree, true);
    if (wasMessage)
        c.scheduler.RefreshMenuState();
    state.CurrentAccount = FindAccountByKey(state, key);
    if (state.CurrentAccount == 0)
        return;
    // The countdown also waits while the editor is open: a poll cycle in the middle would rebuild
    // the tree and move CurrentAccount, and OK would then change the wrong account.
    c.scheduler.PoolingEvent().stop();
    {
        AccountEditorDialog editor(state, c.dialogs, c.owner);
        editor.exec();
    }
    if (state.CurrentAccount == 0) {
        restartUnlessSuspended(c.scheduler, state);
        return;
    }
    state.accounts.save(c.store);
    SnapshotRead(state, tree);
    const AccountRecord& changed = state.EditAccount;
    if (changed.Disabled) {
        ShowAccountDisabled(tree, key, changed.Title);
    } else {
        tree.setImage(key, Image::NoMail);
        tree.setText(key, changed.Title);
    }
    while (!tree.firstChild(key).isEmpty())
        tree.remove(tree.firstChild(key));
    tree.setSelected(key);
    checkSelectedAccount(c);
    restartUnlessSuspended(c.scheduler, state);
    HideSelection(state, tree);
}

void DeleteAccountCommand(const AccountCommandContext& c)
{
    AppState& state = c.engine.state();
    NodeTree& tree = c.engine.tree();
    if (tree.selected().isEmpty())
        return;
    c.scheduler.PoolingEvent().stop();
    const QString key = selectAccountNode(state, tree, false);
    state.CurrentAccount = FindAccountByKey(state, key);
    if (state.CurrentAccount != 0) {
        state.accounts.removeAt(state.CurrentAccount - 1);
        state.CurrentAccount = 0;
        state.accounts.save(c.store);
        tree.setSelected(QString());
        tree.remove(key);
    }
    restartUnlessSuspended(c.scheduler, state);
    HideSelection(state, tree);
}

} // namespace ormisk

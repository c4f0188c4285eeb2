#pragma once
// A fresh engine over an in-memory tree, a scripted POP server and a recording window.
#include "engine/AccountCheck.h"
#include "engine/MemoryTree.h"
#include "engine/TreeOps.h"
#include "store/AppState.h"
#include "support/FakePop.h"
#include "support/QtPrinters.h"
#include "support/RecordingHost.h"
#include "support/TreeQueries.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace ormisk::test {

class EngineFixture : public ::testing::Test {
protected:
    EngineFixture()
    {
        state.options.LogFilesPath = logDir.path() + QStringLiteral("/logs/");
        state.options.LogDisabled = false;
        state.options.LogAllInOne = true;
    }

    int addAccount(const QString& title, bool disabled = false)
    {
        AccountRecord a;
        a.Title = title;
        a.Host = QStringLiteral("127.0.0.1");
        a.User = QStringLiteral("user");
        a.Password = QStringLiteral("secret");
        a.Port = 1110;
        a.NodeKey = QStringLiteral("P%1").arg(state.AccountCount() + 1);
        a.Disabled = disabled;
        state.accounts.append(a);
        return state.AccountCount();
    }

    // What a caller of the check does: add and select the account's node, set CurrentAccount.
    void check(int index)
    {
        AddAccountNode(state, tree, index, QStringLiteral(" --- Checking..."));
        tree.setSelected(state.account(index).NodeKey);
        state.CurrentAccount = static_cast<qint16>(index);
        counts += QCoro::waitFor(engine.CheckAccount());
    }

    [[nodiscard]] QString key(int index) const { return state.account(index).NodeKey; }
    [[nodiscard]] QString accountText(int index) const { return tree.text(key(index)); }
    [[nodiscard]] QStringList messageKeys(int index) const { return testing::childKeys(tree, key(index)); }
    [[nodiscard]] QStringList messageTexts(int index) const { return testing::childTexts(tree, key(index)); }
    [[nodiscard]] QStringList messageImages(int index) const { return testing::childImages(tree, key(index)); }
    [[nodiscard]] QString logFile(const QString& name) const { return state.options.LogFilesPath + name; }

    QTemporaryDir logDir;
    AppState state;
    // What the checks so far counted, added up as a poll cycle does.
    MailCounts counts;
    MemoryTree tree;
    FakePop pop;
    RecordingHost host { &engine };
    MailEngine engine { state, tree, pop, host };
};

inline QString header(const QString& subject, const QString& from, const QString& id)
{
    return QStringLiteral("Subject : ") + subject + QStringLiteral("\r\nFrom : ") + from
        + QStringLiteral("\r\nMessage-Id : ") + id + QStringLiteral("\r\n");
}

} // namespace ormisk::test

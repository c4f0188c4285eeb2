#pragma once
// The engine over the real POP client, for checks against the scriptable test server and a
// private dovecot on loopback: mail with exact sizes and known header lines, an engine whose
// account texts are recorded as they change, and short client time-outs.
#include "engine/AccountCheck.h"
#include "engine/MemoryTree.h"
#include "engine/TreeOps.h"
#include "pop/PopClient.h"
#include "store/AppState.h"
#include "support/QtPrinters.h"
#include "support/RecordingHost.h"
#include "support/TreeQueries.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace ormisk::test {

// A message with the given header lines (LF ends, as "Name: value") padded with body lines so
// that it is exactly wireSize bytes once every line end is CR LF, as both servers count it.
inline QByteArray mailWithSize(const QByteArray& headerLines, qint32 wireSize)
{
    QByteArray raw = headerLines + '\n';
    qint64 remaining = wireSize - (raw.size() + raw.count('\n'));
    const QByteArray line = QByteArray(76, 'x') + '\n';
    while (remaining >= 2 * (line.size() + 1) + 2) {
        raw += line;
        remaining -= line.size() + 1;
    }
    if (remaining >= 2)
        raw += QByteArray(remaining - 2, 'y') + '\n';
    return raw;
}

inline QByteArray mail(const QByteArray& subject, const QByteArray& from, const QByteArray& id, qint32 wireSize)
{
    QByteArray headers;
    if (!subject.isNull())
        headers += "Subject: " + subject + '\n';
    headers += "From: " + from + '\n';
    headers += "Message-Id: " + id + '\n';
    return mailWithSize(headers, wireSize);
}

// Failures on loopback are immediate; these only bound a test that would otherwise hang.
// Dovecot answers a wrong password after a delay of a few seconds (more after repeated failures
// from one address), so replies get well more than that.
inline void shortenTimeouts(PopClient& client)
{
    client.setConnectTimeout(5000);
    client.setTlsHandshakeTimeout(5000);
    client.setReplyTimeout(10000);
}

// Sizes are grouped with the locale's separator; the texts of these tests are written for ",".
struct CLocaleScope {
    CLocaleScope() { QLocale::setDefault(QLocale::c()); }
    ~CLocaleScope() { QLocale::setDefault(QLocale::system()); }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;
};

// A tree that remembers every text an account node was given, in order.
class RecordingTree : public MemoryTree {
public:
    void setText(const QString& key, const QString& text) override
    {
        if (isAccountKey(key))
            accountTexts << text;
        MemoryTree::setText(key, text);
    }
    QStringList accountTexts;
};

class RealServerFixture : public ::testing::Test {
protected:
    RealServerFixture()
    {
        state.options.LogFilesPath = logDir.path() + QStringLiteral("/logs/");
        state.options.LogDisabled = false;
        state.options.LogAllInOne = true;
        shortenTimeouts(pop);
    }

    int addAccount(
        const QString& title, quint16 port, const QString& user, const QString& password = QStringLiteral("secret"))
    {
        AccountRecord a;
        a.Title = title;
        a.Host = QStringLiteral("127.0.0.1");
        a.User = user;
        a.Password = password;
        a.Port = port;
        a.NodeKey = QStringLiteral("P%1").arg(state.AccountCount() + 1);
        state.accounts.append(a);
        return state.AccountCount();
    }

    // What a caller of the check does: add and select the account's node, set CurrentAccount.
    void check(int index)
    {
        AddAccountNode(state, tree, index, Status::Checking);
        tree.setSelected(state.account(index).NodeKey);
        state.CurrentAccount = static_cast<qint16>(index);
        counts += QCoro::waitFor(engine.CheckAccount());
    }

    [[nodiscard]] QString key(int index) const { return state.account(index).NodeKey; }
    [[nodiscard]] QString accountText(int index) const { return tree.text(key(index)); }
    [[nodiscard]] QStringList messageKeys(int index) const { return testing::childKeys(tree, key(index)); }
    [[nodiscard]] QStringList messageTexts(int index) const { return testing::childTexts(tree, key(index)); }
    [[nodiscard]] QStringList messageImages(int index) const { return testing::childImages(tree, key(index)); }
    [[nodiscard]] QString masterLog() const { return state.options.LogFilesPath + QStringLiteral("Master.doc"); }
    [[nodiscard]] int logRecords() const
    {
        QFile file(masterLog());
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count("[Begin Header]\r\n")) : 0;
    }
    [[nodiscard]] bool logFolderEmpty() const
    {
        return QDir(state.options.LogFilesPath).entryList(QDir::Files | QDir::NoDotAndDotDot).isEmpty();
    }
    void expectMenusRestored() const
    {
        EXPECT_FALSE(engine.inConversation());
        ASSERT_GE(host.events.size(), 2);
        EXPECT_EQ(host.events.mid(host.events.size() - 2),
            (QStringList { QStringLiteral("menus 1111"), QStringLiteral("normal") }));
        EXPECT_TRUE(pop.isClosed());
        EXPECT_FALSE(pop.busy());
    }

    CLocaleScope locale;
    QTemporaryDir logDir;
    AppState state;
    // What the checks so far counted, added up as a poll cycle does.
    MailCounts counts;
    RecordingTree tree;
    PopClient pop;
    RecordingHost host { &engine };
    MailEngine engine { state, tree, pop, host };
};

} // namespace ormisk::test

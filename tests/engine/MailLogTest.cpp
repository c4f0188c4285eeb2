#include "EngineFixture.h"

#include "engine/MailLog.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

using namespace ormisk;
using namespace ormisk::test;

namespace {
QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
class MailLogCheck : public EngineFixture { };
} // namespace

TEST(MailLog, RecordBytesAndFileNames)
{
    EXPECT_EQ(MailLog::record(QStringLiteral("Subject : Grüße\r\nFrom : A\r\n")),
        QByteArray("[Begin Header]\r\nSubject : Gr\xc3\xbc\xc3\x9f"
                   "e\r\nFrom : A\r\n[End Header]\r\n\r\n"));
    AppState s;
    EXPECT_EQ(MailLog::fileName(s, QStringLiteral("Work")), QStringLiteral("Master.doc"));
    s.options.LogAllInOne = false;
    EXPECT_EQ(MailLog::fileName(s, QStringLiteral("Work")), QStringLiteral("Work.doc"));
    EXPECT_EQ(MailLog::fileName(s, QStringLiteral("a/b\tc")), QStringLiteral("a_b_c.doc"));
    EXPECT_EQ(MailLog::fileName(s, QString()), QStringLiteral("_.doc"));
    EXPECT_EQ(MailLog::fileName(s, QStringLiteral("..")), QStringLiteral("__.doc"));
    EXPECT_EQ(MailLog::fileName(s, QStringLiteral("..a")), QStringLiteral("..a.doc"));
    EXPECT_LE(MailLog::fileName(s, QString(300, QChar(0x00E9))).toUtf8().size(), 255);
}

TEST_F(MailLogCheck, MasterFileGetsBothAccountsInVisitOrder)
{
    const int work = addAccount(QStringLiteral("Work"));
    const int home = addAccount(QStringLiteral("Home"));
    pop.mailbox = { fakeMessage(QStringLiteral("W"), QStringLiteral("X"), QStringLiteral("<w>")) };
    check(work);
    pop.mailbox = { fakeMessage(QStringLiteral("H"), QStringLiteral("X"), QStringLiteral("<h>")) };
    check(home);
    EXPECT_EQ(readAll(logFile(QStringLiteral("Master.doc"))),
        MailLog::record(header(QStringLiteral("W"), QStringLiteral("X"), QStringLiteral("<w>")))
            + MailLog::record(header(QStringLiteral("H"), QStringLiteral("X"), QStringLiteral("<h>"))));
}

TEST_F(MailLogCheck, PerAccountFileWithAnUnsafeTitle)
{
    state.options.LogAllInOne = false;
    const int work = addAccount(QStringLiteral("Work/Home"));
    pop.mailbox = { fakeMessage(QStringLiteral("W"), QStringLiteral("X"), QStringLiteral("<w>")) };
    check(work);
    EXPECT_EQ(readAll(logFile(QStringLiteral("Work_Home.doc"))),
        MailLog::record(header(QStringLiteral("W"), QStringLiteral("X"), QStringLiteral("<w>"))));
    EXPECT_EQ(QDir(state.options.LogFilesPath).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot),
        QStringList { QStringLiteral("Work_Home.doc") });
}

TEST_F(MailLogCheck, OnlyBrandNewMessagesAreLogged)
{
    const int work = addAccount(QStringLiteral("Work"));
    FilterRule spam;
    spam.SubjectText = QStringLiteral("spam");
    spam.SubjectMatch = false;
    state.filters = { spam };
    state.SeenHeaders = { header(QStringLiteral("Old"), QStringLiteral("X"), QStringLiteral("<old>")) };
    FakeMessage broken = fakeMessage(QStringLiteral("Broken"), QStringLiteral("X"), QStringLiteral("<br>"));
    broken.headerFails = true;
    pop.mailbox = { fakeMessage(QStringLiteral("Old"), QStringLiteral("X"), QStringLiteral("<old>")),
        fakeMessage(QStringLiteral("Buy spam"), QStringLiteral("X"), QStringLiteral("<s>")), broken,
        fakeMessage(QStringLiteral("New"), QStringLiteral("X"), QStringLiteral("<new>")) };
    check(work);
    EXPECT_EQ(readAll(logFile(QStringLiteral("Master.doc"))),
        MailLog::record(header(QStringLiteral("New"), QStringLiteral("X"), QStringLiteral("<new>"))));
}

TEST_F(MailLogCheck, LogDisabledTouchesNothing)
{
    state.options.LogDisabled = true;
    const int work = addAccount(QStringLiteral("Work"));
    pop.mailbox = { fakeMessage(QStringLiteral("W"), QStringLiteral("X"), QStringLiteral("<w>")) };
    check(work);
    EXPECT_FALSE(QFileInfo::exists(state.options.LogFilesPath));
}

TEST_F(MailLogCheck, UnwritableLogNeverStopsTheCheck)
{
    const int work = addAccount(QStringLiteral("Work"));
    pop.mailbox = { fakeMessage(QStringLiteral("W"), QStringLiteral("X"), QStringLiteral("<w>")) };
    // The log file's place is taken by a folder, then by a pipe nobody reads (opening it for
    // writing would block).
    ASSERT_TRUE(QDir().mkpath(logFile(QStringLiteral("Master.doc"))));
    check(work);
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- 1 message --- Totaling 1,000 bytes."));
    EXPECT_EQ(counts.unseen, 1);
    ASSERT_TRUE(QDir().rmdir(logFile(QStringLiteral("Master.doc"))));
    ASSERT_EQ(::mkfifo(QFile::encodeName(logFile(QStringLiteral("Master.doc"))).constData(), 0600), 0);
    tree.clear();
    state.SeenHeaders.clear();
    check(work);
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- 1 message --- Totaling 1,000 bytes."));
    // A log folder that cannot be created (not even by root: /proc takes no new folders).
    state.options.LogFilesPath = QStringLiteral("/proc/ormisk-no-such/logs/");
    tree.clear();
    check(work);
    EXPECT_EQ(accountText(work), QStringLiteral("Work --- 1 message --- Totaling 1,000 bytes."));
}

TEST(MailLog, UnfinishedLastLineIsClosedBeforeTheNextRecord)
{
    QTemporaryDir dir;
    AppState s;
    s.options.LogFilesPath = dir.path() + QStringLiteral("/");
    {
        QFile f(s.options.LogFilesPath + QStringLiteral("Master.doc"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[Begin Header]\r\nSubject : cut");
    }
    MailLog log;
    ASSERT_TRUE(log.open(s, QStringLiteral("Work")));
    log.write(QStringLiteral("Subject : A\r\n"));
    log.write(QStringLiteral("Subject : B\r\n"));
    log.close();
    EXPECT_EQ(readAll(s.options.LogFilesPath + QStringLiteral("Master.doc")),
        QByteArray("[Begin Header]\r\nSubject : cut\r\n") + MailLog::record(QStringLiteral("Subject : A\r\n"))
            + MailLog::record(QStringLiteral("Subject : B\r\n")));
}

TEST(MailLog, LinksInPlaceOfTheFileOrTheFolderAreRefusedAndTheirTargetsUntouched)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("bashrc"));
    {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("# mine\n");
    }
    AppState s;
    s.options.LogFilesPath = dir.filePath(QStringLiteral("logs/"));
    ASSERT_TRUE(QDir().mkpath(s.options.LogFilesPath));
    ASSERT_TRUE(QFile::link(target, s.options.LogFilesPath + QStringLiteral("Master.doc")));
    MailLog log;
    EXPECT_FALSE(log.open(s, QStringLiteral("Work")));
    log.write(QStringLiteral("Subject : $(touch pwned)\r\n"));

    // The whole folder replaced by a link to a folder of the user's.
    const QString other = dir.filePath(QStringLiteral("other"));
    ASSERT_TRUE(QDir().mkpath(other));
    s.options.LogFilesPath = dir.filePath(QStringLiteral("linked")) + QStringLiteral("/");
    ASSERT_TRUE(QFile::link(other, dir.filePath(QStringLiteral("linked"))));
    EXPECT_FALSE(log.open(s, QStringLiteral("Work")));

    EXPECT_EQ(readAll(target), QByteArray("# mine\n"));
    EXPECT_TRUE(QDir(other).isEmpty());
}

TEST(MailLog, CreatedFolderAndFileAreOwnerOnlyUnderAnOpenUmask)
{
    QTemporaryDir dir;
    AppState s;
    s.options.LogFilesPath = dir.filePath(QStringLiteral("a/Logs/"));
    const mode_t before = ::umask(022);
    MailLog log;
    const bool opened = log.open(s, QStringLiteral("Work"));
    ::umask(before);
    ASSERT_TRUE(opened);
    log.write(QStringLiteral("Subject : A\r\n"));
    log.close();
    const auto mode = [](const QString& path) {
        struct stat info { };
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0777u;
    };
    EXPECT_EQ(mode(dir.filePath(QStringLiteral("a"))), 0700u);
    EXPECT_EQ(mode(s.options.LogFilesPath), 0700u);
    EXPECT_EQ(mode(s.options.LogFilesPath + QStringLiteral("Master.doc")), 0600u);
}

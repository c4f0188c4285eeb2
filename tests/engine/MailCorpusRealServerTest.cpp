// Real mail nobody here wrote, from Debian packages: CPython's email test messages, the test
// mails of a Go MIME library, and real bounces from many mail servers gathered by a bounce
// detector. Served by a private dovecot and checked like any account, every message must be
// listed with its size, and its Subject and From must read as Python's email package reads them
// (put in the form the program shows by design: see tests/support/read_subject_from.py), apart
// from the differences listed below, each with its reason.
#include "engine/ByteFormat.h"
#include "pop/PopClient.h"
#include "support/CheckRun.h"
#include "support/Dovecot.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

using namespace ormisk;
using namespace ormisk::testing;

namespace {

// Where the packages put their mail; scripts/install-deps.sh installs them.
struct Source {
    const char* package;
    const char* folder;
    const char* pattern;
};
const Source kSources[] = {
    { "libpython3.11-testsuite", "/usr/lib/python3.11/test/test_email/data", "msg_*.txt" },
    { "golang-github-jhillyerd-enmime-dev", "/usr/share/gocode/src/github.com/jhillyerd/enmime/testdata/mail",
        "*.raw" },
    { "golang-github-jhillyerd-enmime-dev", "/usr/share/gocode/src/github.com/jhillyerd/enmime/testdata/low-quality",
        "*.raw" },
    { "python3-flufl.bounce", "/usr/lib/python3/dist-packages/flufl/bounce/tests/data", "*.txt" },
};

// Fields the program reads differently from Python on purpose: what it shows instead, and why.
struct Difference {
    const char* field; // "subject" or "from"
    QString shown;
    const char* why;
};
const QHash<QString, Difference> kAcceptedDifferences = {
    { QStringLiteral("sina_01.txt"),
        { "subject",
            QStringLiteral("\u00d3\u00ca\u00bc\u00fe\u00b4\u00ab\u00ca\u00e4\u00ca\u00a7\u00b0\u00dc\u00a3\u00a1"),
            "a raw 8-bit Subject that is not UTF-8 (GB2312 in fact) reads as Windows-1252, as mail readers read "
            "unlabelled bytes; Python shows U+FFFD for the bytes it cannot read as UTF-8" } },
};

QString python()
{
    // The interpreter scripts/install-deps.sh installs, else any on the path.
    const QString debian = QStringLiteral("/usr/bin/python3");
    return QFileInfo::exists(debian) ? debian : QStandardPaths::findExecutable(QStringLiteral("python3"));
}

// The size a POP3 server gives a message stored with LF line ends: every line end counts as CR LF.
qint64 wireSize(QByteArray message)
{
    message.replace("\r\n", "\n");
    return message.size() + message.count('\n');
}

// "Name : value" as the node text shows a field, or nothing when Python found no such field.
QString shownField(const QJsonValue& field)
{
    const QJsonArray nameAndValue = field.toArray();
    return nameAndValue.isEmpty() ? QString()
                                  : nameAndValue[0].toString() + QStringLiteral(" : ") + nameAndValue[1].toString();
}

} // namespace

TEST(MailCorpus, EveryMessageReadsAsPythonReadsIt)
{
    ORMISK_REQUIRE_DOVECOT();
    QStringList files;
    QStringList missing;
    for (const Source& source : kSources) {
        const QDir folder(QString::fromLatin1(source.folder));
        const QStringList names = folder.entryList({ QString::fromLatin1(source.pattern) }, QDir::Files, QDir::Name);
        if (names.isEmpty())
            missing << QString::fromLatin1(source.package);
        for (const QString& name : names)
            files << folder.filePath(name);
    }
    if (python().isEmpty())
        missing << QStringLiteral("python3");
    if (!missing.isEmpty()) {
        const QString why = QStringLiteral("mail corpus incomplete, install: ") + missing.join(u' ');
        if (Dovecot::required())
            FAIL() << qPrintable(why);
        GTEST_SKIP() << qPrintable(why);
    }
    ASSERT_GE(files.size(), 100);

    QProcess reader;
    reader.start(
        python(), QStringList { QStringLiteral(ORMISK_SOURCE_DIR "/tests/support/read_subject_from.py") } + files);
    ASSERT_TRUE(reader.waitForFinished(120000));
    ASSERT_EQ(reader.exitCode(), 0) << reader.readAllStandardError().constData();
    const QJsonArray readings = QJsonDocument::fromJson(reader.readAllStandardOutput()).array();
    ASSERT_EQ(readings.size(), files.size());

    Dovecot dovecot;
    const QString user = QStringLiteral("corpus");
    dovecot.addUser(user, user);
    QList<qint64> sizes;
    for (const QString& path : files) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(path);
        const QByteArray message = file.readAll();
        sizes << wireSize(message);
        ASSERT_TRUE(dovecot.deliver(user, message));
    }
    QString error;
    ASSERT_TRUE(dovecot.start(&error)) << qPrintable(error);
    PopClient pop;
    pop.setTlsMode(PopClient::TlsMode::Plain);
    const CheckOutcome out = runCheck(pop, QStringLiteral("127.0.0.1"), dovecot.plainPort(), user, user);
    ASSERT_EQ(out.messageTexts.size(), files.size()) << qPrintable(out.accountText);

    for (qsizetype i = 0; i < files.size(); ++i) {
        const QString name = QFileInfo(files[i]).fileName();
        SCOPED_TRACE(qPrintable(files[i]));
        const QString label = QStringLiteral("#%1 --- %2 bytes --- ").arg(i + 1).arg(FormatBytes(sizes[i]));
        QJsonObject reading = readings[i].toObject();
        if (const auto difference = kAcceptedDifferences.constFind(name); difference != kAcceptedDifferences.cend()) {
            const QString field = QString::fromLatin1(difference->field);
            QJsonArray nameAndValue = reading[field].toArray();
            SCOPED_TRACE(difference->why);
            ASSERT_EQ(nameAndValue.size(), 2);
            EXPECT_NE(nameAndValue[1].toString(), difference->shown) << "reads as Python does now: drop the difference";
            nameAndValue[1] = difference->shown;
            reading[field] = nameAndValue;
        }
        const QString expected = label + shownField(reading[QStringLiteral("subject")]) + QStringLiteral(" --- ")
            + shownField(reading[QStringLiteral("from")]);
        EXPECT_EQ(out.messageTexts[i], expected);
    }
}

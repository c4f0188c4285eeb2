// ormisk-popserver: the test POP3 server on loopback, for trying the program by hand.
//   ormisk-popserver [--port N] (--mailbox DIR | --generate N [--max-size B]) [--seed S] [--user U]
//                    [--password P] [--pipelining]
// DIR holds one message per file (a Maildir's new/ and cur/ are read too), in name order.
#include "demo/MailboxGenerator.h"
#include "demo/ScriptedPopServer.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <cstdio>

using ormisk::testing::MailboxGenerator;
using ormisk::testing::ScriptedPopServer;

namespace {

QList<QByteArray> readMailbox(const QString& path)
{
    QList<QByteArray> messages;
    QStringList folders { path };
    for (const char* sub : { "cur", "new" }) {
        if (QDir(path).exists(QString::fromLatin1(sub)))
            folders << QDir(path).filePath(QString::fromLatin1(sub));
    }
    for (const QString& folder : folders) {
        const QDir dir(folder);
        for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
            QFile file(dir.filePath(name));
            if (file.open(QIODevice::ReadOnly))
                messages << file.readAll();
        }
    }
    return messages;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ormisk-popserver"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A POP3 server on 127.0.0.1 for trying Ormisk by hand."));
    parser.addHelpOption();
    const QCommandLineOption port(
        QStringLiteral("port"), QStringLiteral("Port (0 = any free one)."), QStringLiteral("N"), QStringLiteral("0"));
    const QCommandLineOption mailbox(
        QStringLiteral("mailbox"), QStringLiteral("Folder of messages."), QStringLiteral("DIR"));
    const QCommandLineOption generate(
        QStringLiteral("generate"), QStringLiteral("Generate N messages."), QStringLiteral("N"));
    const QCommandLineOption maxSize(QStringLiteral("max-size"),
        QStringLiteral("Largest generated message in bytes (0 = sizes up to 300 KB)."), QStringLiteral("B"),
        QStringLiteral("0"));
    const QCommandLineOption pipelining(QStringLiteral("pipelining"), QStringLiteral("Offer PIPELINING."));
    const QCommandLineOption seed(
        QStringLiteral("seed"), QStringLiteral("Seed of the generator."), QStringLiteral("S"), QStringLiteral("1"));
    const QCommandLineOption user(
        QStringLiteral("user"), QStringLiteral("User id."), QStringLiteral("U"), QStringLiteral("demo"));
    const QCommandLineOption password(
        QStringLiteral("password"), QStringLiteral("Password."), QStringLiteral("P"), QStringLiteral("demo"));
    parser.addOptions({ port, mailbox, generate, maxSize, pipelining, seed, user, password });
    parser.process(app);

    QList<QByteArray> messages;
    if (parser.isSet(mailbox))
        messages = readMailbox(parser.value(mailbox));
    else if (parser.isSet(generate)) {
        MailboxGenerator generator(parser.value(seed).toUInt());
        generator.setMaxSize(parser.value(maxSize).toLongLong());
        messages = generator.generateRaw(parser.value(generate).toInt());
    } else
        parser.showHelp(1);

    ScriptedPopServer server;
    ScriptedPopServer::Capabilities capabilities(
        ScriptedPopServer::Top | ScriptedPopServer::Uidl | ScriptedPopServer::User);
    if (parser.isSet(pipelining))
        capabilities |= ScriptedPopServer::Pipelining;
    server.setCapabilities(capabilities);
    server.addUser(parser.value(user), parser.value(password), messages);
    if (!server.start(static_cast<quint16>(parser.value(port).toUInt()))) {
        std::fprintf(stderr, "cannot listen: %s\n", qPrintable(server.errorString()));
        return 1;
    }
    std::printf("listening on 127.0.0.1:%u with %lld messages for user %s\n", server.port(),
        static_cast<long long>(messages.size()), qPrintable(parser.value(user)));
    std::fflush(stdout);
    return app.exec();
}

// Sizes and headers of N messages (default 1000) from a private dovecot on loopback through
// PopClient, one request at a time as the check does it. Prints messages per second, bytes
// read and peak memory. Usage: pop_fetch [N]
#include "ProcessFigures.h"
#include "demo/MailboxGenerator.h"
#include "pop/PopAwait.h"
#include "pop/PopClient.h"
#include "support/Dovecot.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

using namespace ormisk;
using ormisk::bench::peakMemory;

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    if (testing::Dovecot::binary().isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(testing::Dovecot::missingMessage()));
        return 2;
    }
    testing::Dovecot dovecot;
    dovecot.addUser(QStringLiteral("bench"), QStringLiteral("bench"));
    const QList<QByteArray> messages = testing::MailboxGenerator(42).generateRaw(count);
    qint64 mailboxBytes = 0;
    for (const QByteArray& m : messages) {
        dovecot.deliver(QStringLiteral("bench"), m);
        mailboxBytes += m.size();
    }
    QString error;
    if (!dovecot.start(&error)) {
        std::fprintf(stderr, "dovecot: %s\n", qPrintable(error));
        return 1;
    }

    PopClient pop;
    pop.setRemoteHost(QStringLiteral("127.0.0.1"));
    pop.setRemotePort(dovecot.plainPort());
    pop.setUserId(QStringLiteral("bench"));
    pop.setPassword(QStringLiteral("bench"));
    pop.setTlsMode(PopClient::TlsMode::Plain);
    qint64 sizes = 0;
    qint64 headerItems = 0;
    qint64 headerBytes = 0;
    QObject::connect(&pop, &PopComponent::messageSize, [&](qint32 size) { sizes += size; });
    QObject::connect(&pop, &PopComponent::docOutput, [&](const DocOutput& doc) {
        headerItems += doc.headers.size();
        for (const HeaderItem& item : doc.headers)
            headerBytes += item.name.size() + item.value.toUtf8().size() + 4;
    });

    QElapsedTimer clock;
    clock.start();
    PopAwait requests(pop);
    (void)QCoro::waitFor(requests.connect());
    if (QCoro::waitFor(requests.authenticate()) != WaitEnd::Success) {
        std::fprintf(stderr, "login failed: %s\n", qPrintable(pop.lastError()));
        return 1;
    }
    const int n = pop.messageCount();
    QCoro::waitFor([&]() -> QCoro::Task<> {
        for (qint32 i = 1; i <= n; ++i) {
            (void)co_await requests.messageSize(i);
            (void)co_await requests.header(i);
        }
        co_await requests.close();
    }());
    const double seconds = clock.elapsed() / 1000.0;
    std::printf("messages: %d (mailbox %lld bytes)\n", n, static_cast<long long>(mailboxBytes));
    std::printf("time: %.3f s, %.0f messages/s\n", seconds, n / std::max(seconds, 1e-9));
    std::printf("sizes reported: %lld bytes; header items: %lld, header bytes read: %lld\n",
        static_cast<long long>(sizes), static_cast<long long>(headerItems), static_cast<long long>(headerBytes));
    std::printf("peak memory (VmHWM): %s\n", peakMemory().constData());
    return 0;
}

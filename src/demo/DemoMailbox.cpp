#include "demo/DemoMailbox.h"

#include "demo/MailboxGenerator.h"
#include "demo/ScriptedPopServer.h"
#include "store/Scramble.h"
#include "store/SettingsStore.h"

#include <QDir>
#include <QFile>

#include <cmath>

namespace ormisk {

namespace {
constexpr int kInitialMessages = 25;
// A new message lands a little before every second check, so the demo shows arrivals too.
constexpr int kArrivalIntervalMs = 100 * 1000;
const QString kUser = QStringLiteral("demo");
const QString kPassword = QStringLiteral("demo");
// A short two-note chime, so the demo announces new mail the way a user's own sound would.
bool writeChime(const QString& path)
{
    constexpr int rate = 22050;
    constexpr double notes[] = { 880.0, 1318.5 };
    constexpr int perNote = rate * 18 / 100;
    QByteArray pcm;
    for (double frequency : notes) {
        for (int i = 0; i < perNote; ++i) {
            const double fade = 1.0 - double(i) / perNote;
            const auto sample = static_cast<qint16>(9000.0 * fade * std::sin(2.0 * M_PI * frequency * i / rate));
            pcm.append(char(sample & 0xff));
            pcm.append(char((sample >> 8) & 0xff));
        }
    }
    const auto le = [](quint32 v, int bytes) {
        QByteArray out;
        for (int i = 0; i < bytes; ++i)
            out.append(char((v >> (8 * i)) & 0xff));
        return out;
    };
    const auto le32 = [&](quint32 v) { return le(v, 4); };
    const auto le16 = [&](quint16 v) { return le(v, 2); };
    QByteArray wav = "RIFF" + le32(36 + pcm.size()) + "WAVEfmt " + le32(16) + le16(1) + le16(1) + le32(rate)
        + le32(rate * 2) + le16(2) + le16(16) + "data" + le32(pcm.size()) + pcm;
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(wav) == wav.size();
}

} // namespace

DemoMailbox::DemoMailbox()
    : m_profile(QDir::tempPath() + QStringLiteral("/ormisk-demo-XXXXXX"))
{
    m_arrivals.setInterval(kArrivalIntervalMs);
    QObject::connect(&m_arrivals, &QTimer::timeout, [this] { deliverOne(); });
}

DemoMailbox::~DemoMailbox() = default;

quint16 DemoMailbox::port() const { return m_server ? m_server->port() : 0; }

bool DemoMailbox::start(QString* error)
{
    if (!m_profile.isValid()) {
        *error = QStringLiteral("cannot create a temporary profile folder");
        return false;
    }
    m_server = std::make_unique<testing::ScriptedPopServer>();
    m_server->addUser(kUser, kPassword, testing::MailboxGenerator(2026).generateRaw(kInitialMessages));
    m_delivered = kInitialMessages;
    if (!m_server->start(0)) {
        *error = QStringLiteral("cannot listen on a loopback port");
        return false;
    }

    SettingsStore store(m_profile.filePath(QStringLiteral("Ormisk.conf")));
    const QString& a = Section::Accounts;
    struct Demo {
        const char* title;
        const char* password;
        bool disabled;
    };
    const Demo accounts[] = { { "Demo Mailbox", "demo", false }, { "Wrong Password", "not-the-password", false },
        { "Holiday Account", "demo", true } };
    store.write(a, QStringLiteral("Total"), QStringLiteral("3"));
    int i = 0;
    for (const Demo& d : accounts) {
        const QString n = QString::number(++i);
        store.write(a, QStringLiteral("Title") + n, QLatin1String(d.title));
        store.write(a, QStringLiteral("Host") + n, QStringLiteral("127.0.0.1"));
        store.write(a, QStringLiteral("User") + n, kUser);
        store.write(a, QStringLiteral("Password") + n, ScrambleText(QLatin1String(d.password)));
        store.write(a, QStringLiteral("Port") + n, QString::number(m_server->port()));
        store.write(a, QStringLiteral("Disabled") + n, SettingsStore::fromBool(d.disabled));
    }
    const QString& c = Section::Config;
    store.write(c, QStringLiteral("PoolingTime"), QStringLiteral("2"));
    const QString chime = m_profile.filePath(QStringLiteral("chime.wav"));
    if (writeChime(chime)) {
        store.write(c, QStringLiteral("PlayWav"), QStringLiteral("True"));
        store.write(c, QStringLiteral("WavFile"), chime);
    }
    store.write(c, QStringLiteral("LogDisabled"), QStringLiteral("False"));
    store.write(c, QStringLiteral("LogFilesPath"), m_profile.filePath(QStringLiteral("Logs")) + QLatin1Char('/'));
    store.sync();
    m_arrivals.start();
    return true;
}

void DemoMailbox::deliverOne()
{
    ++m_delivered;
    QList<QByteArray> mailbox = m_server->messages(kUser);
    mailbox.append(testing::MailboxGenerator(2026).generateRaw(m_delivered).constLast());
    m_server->setMessages(kUser, mailbox);
}

} // namespace ormisk

#include "store/Keyring.h"

#include "store/Profile.h"
#include "store/Records.h"

#include <QCoroSignal>
#include <QFileInfo>
#include <qt6keychain/keychain.h>

#include <memory>

namespace ormisk {

namespace {

// The job's answer.
QCoro::Task<QKeychain::Error> run(QKeychain::Job& job)
{
    // Never the library's plain-text file in place of a keyring: that would only move the
    // password to a second readable file.
    job.setInsecureFallback(false);
    job.setAutoDelete(false);
    // A job that fails at once may answer before anything awaits it.
    bool finished = false;
    QObject::connect(&job, &QKeychain::Job::finished, &job, [&finished] { finished = true; });
    job.start();
    if (!finished)
        co_await qCoro(&job, &QKeychain::Job::finished);
    co_return job.error();
}

Keyring::Outcome outcomeOf(QKeychain::Error error)
{
    switch (error) {
    case QKeychain::NoError:
        return Keyring::Outcome::Done;
    case QKeychain::EntryNotFound:
        return Keyring::Outcome::NotFound;
    default:
        return Keyring::Outcome::Unavailable;
    }
}

} // namespace

Keyring::Keyring(QString service)
    : m_service(std::move(service))
{
}

QString Keyring::serviceFor(const Profile& profile)
{
    if (profile.settingsFile == Profile::standard().settingsFile)
        return QStringLiteral("Ormisk");
    return QStringLiteral("Ormisk (") + QFileInfo(profile.settingsFile).absolutePath() + QLatin1Char(')');
}

QString Keyring::entryFor(const AccountRecord& account) { return account.User + QLatin1Char('@') + account.Host; }

QCoro::Task<Keyring::Reading> Keyring::read(QString entry) const
{
    auto job = std::make_unique<QKeychain::ReadPasswordJob>(m_service);
    job->setKey(entry);
    const Outcome outcome = outcomeOf(co_await run(*job));
    co_return Reading { outcome, outcome == Outcome::Done ? job->textData() : QString() };
}

QCoro::Task<Keyring::Outcome> Keyring::write(QString entry, QString password) const
{
    auto job = std::make_unique<QKeychain::WritePasswordJob>(m_service);
    job->setKey(entry);
    job->setTextData(password);
    co_return outcomeOf(co_await run(*job));
}

QCoro::Task<Keyring::Outcome> Keyring::remove(QString entry) const
{
    auto job = std::make_unique<QKeychain::DeletePasswordJob>(m_service);
    job->setKey(entry);
    co_return outcomeOf(co_await run(*job));
}

} // namespace ormisk

#include "store/secretstore.h"

#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QPointer>

#include <qt5keychain/keychain.h>

const QString SecretStore::service = QStringLiteral("kakikomi");

namespace {

SecretStore::Result resultOf(const QKeychain::Job &job)
{
    SecretStore::Result result;
    result.ok = job.error() == QKeychain::NoError;
    result.missing = job.error() == QKeychain::EntryNotFound;
    if (!result.ok) {
        result.error = job.errorString();
    }
    return result;
}

// Jobs delete themselves once finished, so one still running when its owner goes away ends safely.
void run(QKeychain::Job *job, QObject *context, const SecretStore::Done &done)
{
    // Never fall back to an unencrypted settings file: that is what the store is meant to avoid.
    job->setInsecureFallback(false);
    job->setAutoDelete(true);
    if (done) {
        QPointer<QObject> guard(context);
        QObject::connect(job, &QKeychain::Job::finished, [guard, done](QKeychain::Job *finished) {
            if (guard) {
                done(resultOf(*finished));
            }
        });
    }
    job->start();
}

} // namespace

SecretStore::SecretStore(const QString &folder)
{
    setFolder(folder);
}

void SecretStore::setFolder(const QString &folder)
{
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    m_folder = canonical.isEmpty() ? QDir::cleanPath(QDir(folder).absolutePath()) : canonical;
}

QString SecretStore::entryName(const QString &key) const
{
    return m_folder + QLatin1Char('#') + key;
}

SecretStore::Result SecretStore::read(const QString &key) const
{
    auto *job = new QKeychain::ReadPasswordJob(service);
    job->setKey(entryName(key));
    Result result;
    bool answered = false;
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job *finished) {
        result = resultOf(*finished);
        result.value = job->textData();
        answered = true;
        loop.quit();
    });
    run(job, nullptr, Done());
    // The store answers over D-Bus; a prompt to unlock it is a process of its own.
    if (!answered) {
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    return result;
}

void SecretStore::write(const QString &key, const QString &value, QObject *context, Done done) const
{
    auto *job = new QKeychain::WritePasswordJob(service);
    job->setKey(entryName(key));
    job->setTextData(value);
    run(job, context, done);
}

void SecretStore::remove(const QString &key, QObject *context, Done done) const
{
    auto *job = new QKeychain::DeletePasswordJob(service);
    job->setKey(entryName(key));
    run(job, context, done);
}

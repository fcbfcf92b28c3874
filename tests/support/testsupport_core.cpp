#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QMutex>

#include <algorithm>
#include <csignal>

#include <sys/resource.h>

namespace TestSupport {

WorkDir::WorkDir()
    : m_previous(QDir::currentPath())
{
    QDir::setCurrent(m_dir.path());
}

WorkDir::~WorkDir()
{
    QDir::setCurrent(m_previous);
}

void WorkDir::write(const QString &name, const QByteArray &bytes) const
{
    QFile file(filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write test file %s", qPrintable(file.fileName()));
    }
}

QByteArray WorkDir::read(const QString &name) const
{
    QFile file(filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WorkDir::copyDemoFile(const QString &name) const
{
    const QString source = QStringLiteral(KAKIKOMI_SOURCE_DIR "/demo/") + name;
    if (!QFile::copy(source, filePath(name))) {
        qFatal("cannot copy %s", qPrintable(source));
    }
}

QJsonObject savedDocument(const WorkDir &dir)
{
    return QJsonDocument::fromJson(dir.read(QStringLiteral("profile.json"))).object();
}

FileSizeLimit::FileSizeLimit(qint64 limit)
{
    // Without this the kernel ends the process instead of failing the write.
    m_previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit current{};
    if (getrlimit(RLIMIT_FSIZE, &current) != 0) {
        return;
    }
    m_previousSoft = current.rlim_cur;
    current.rlim_cur = rlim_t(limit);
    m_active = setrlimit(RLIMIT_FSIZE, &current) == 0;
}

FileSizeLimit::~FileSizeLimit()
{
    if (m_active) {
        rlimit current{};
        getrlimit(RLIMIT_FSIZE, &current);
        current.rlim_cur = rlim_t(m_previousSoft);
        setrlimit(RLIMIT_FSIZE, &current);
    }
    std::signal(SIGXFSZ, m_previousHandler);
}

namespace {
QMutex logMutex;
QList<QPair<QtMsgType, QString>> logged;
MessageLog *activeLog = nullptr;
QtMessageHandler forwardTo = nullptr;
} // namespace

MessageLog::MessageLog()
{
    QMutexLocker lock(&logMutex);
    Q_ASSERT(!activeLog);
    activeLog = this;
    logged.clear();
    m_previous = qInstallMessageHandler(&MessageLog::handler);
    forwardTo = m_previous;
}

MessageLog::~MessageLog()
{
    qInstallMessageHandler(m_previous);
    QMutexLocker lock(&logMutex);
    activeLog = nullptr;
    logged.clear();
}

void MessageLog::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        QMutexLocker lock(&logMutex);
        logged.append({type, message});
    }
    if (forwardTo) {
        forwardTo(type, context, message);
    }
}

QStringList MessageLog::lines() const
{
    QMutexLocker lock(&logMutex);
    QStringList all;
    for (const auto &entry : logged) {
        all.append(entry.second);
    }
    return all;
}

static QStringList linesOfType(QtMsgType type)
{
    QMutexLocker lock(&logMutex);
    QStringList matching;
    for (const auto &entry : logged) {
        if (entry.first == type) {
            matching.append(entry.second);
        }
    }
    return matching;
}

QStringList MessageLog::debugLines() const
{
    return linesOfType(QtDebugMsg);
}

QStringList MessageLog::warnings() const
{
    return linesOfType(QtWarningMsg);
}

bool MessageLog::contains(const QString &text) const
{
    const QStringList all = lines();
    return std::any_of(all.begin(), all.end(), [&](const QString &line) { return line.contains(text); });
}

void MessageLog::clear()
{
    QMutexLocker lock(&logMutex);
    logged.clear();
}

} // namespace TestSupport

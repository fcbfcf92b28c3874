#include "app/profilelock.h"

#include "logging.h"

#include "store/profilestore.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QLocalSocket>
#include <QTextStream>
#include <QThread>
#include <QWidget>

namespace {
const QByteArray raiseRequest = QByteArrayLiteral("raise\n");
const QByteArray raisedReply = QByteArrayLiteral("raised\n");
// How long a later start waits for the first one, which may itself be still starting.
const int answerTimeoutMs = 5000;
} // namespace

ProfileLock::ProfileLock(QObject *parent)
    : QObject(parent)
    , folder(QDir::currentPath())
    , lockFile(ProfileStore::profilePath() + QStringLiteral(".lock"))
{
    // Only a lock whose program is gone is stale, however long the program has been running.
    lockFile.setStaleLockTime(0);
}

QString ProfileLock::serverName(const QString &folder)
{
    const QByteArray key = QDir(folder).canonicalPath().toUtf8();
    return QStringLiteral("kakikomi-")
           + QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(24));
}

std::optional<int> ProfileLock::acquire()
{
    const QDeadlineTimer deadline(answerTimeoutMs);
    for (;;) {
        if (lockFile.tryLock(0)) {
            answerStarts();
            return std::nullopt;
        }
        if (lockFile.error() != QLockFile::LockFailedError) {
            qCWarning(lcApp) << "profile lock: cannot lock the profile folder, going on without:" << folder;
            return std::nullopt;
        }
        if (askHolderToRaise(int(deadline.remainingTime()))) {
            return 0;
        }
        if (deadline.hasExpired()) {
            break;
        }
        // The holder may be between taking the lock and listening, or just quitting.
        QThread::msleep(100);
    }
    qint64 pid = 0;
    QString host;
    QString program;
    lockFile.getLockInfo(&pid, &host, &program);
    QTextStream(stderr) << QCoreApplication::applicationName() << ": the profile in " << folder
                        << " is in use by another program (process " << pid << " on "
                        << (host.isEmpty() ? QStringLiteral("this computer") : host)
                        << "), which did not answer; nothing was read or written.\n";
    return 1;
}

bool ProfileLock::askHolderToRaise(int timeoutMs)
{
    const QDeadlineTimer deadline(qMax(timeoutMs, 0));
    QLocalSocket socket;
    socket.connectToServer(serverName(folder));
    if (!socket.waitForConnected(int(deadline.remainingTime()))) {
        return false;
    }
    socket.write(raiseRequest);
    if (!socket.waitForBytesWritten(int(deadline.remainingTime()))) {
        return false;
    }
    while (!socket.canReadLine()) {
        if (deadline.hasExpired() || !socket.waitForReadyRead(int(deadline.remainingTime()))) {
            return false;
        }
    }
    return socket.readLine() == raisedReply;
}

void ProfileLock::answerStarts()
{
    const QString name = serverName(folder);
    // The lock is ours, so a socket of that name was left by a program that crashed.
    QLocalServer::removeServer(name);
    server.setSocketOptions(QLocalServer::UserAccessOption);
    if (!server.listen(name)) {
        qCWarning(lcApp) << "profile lock: later starts cannot reach this one:" << server.errorString();
        return;
    }
    connect(&server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *socket = server.nextPendingConnection()) {
            connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
                if (!socket->canReadLine()) {
                    if (socket->bytesAvailable() > raiseRequest.size()) {
                        socket->abort();
                    }
                    return;
                }
                if (socket->readLine() == raiseRequest) {
                    qCDebug(lcApp) << "another start in this profile folder: raising the window";
                    emit raiseRequested();
                    socket->write(raisedReply);
                }
                socket->disconnectFromServer();
            });
        }
    });
}

void ProfileLock::raiseOnRequest(QWidget *window)
{
    connect(this, &ProfileLock::raiseRequested, window, [window] {
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window->show();
        window->raise();
        window->activateWindow();
    });
}

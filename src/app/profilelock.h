#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>

#include <optional>

class QWidget;

// One program per profile folder. Each program keeps the whole document in memory and saves it
// whole, so a second one in the same folder would silently drop the first one's choices. The first
// start locks the folder, as browsers lock their profile, and listens for later starts; a later
// start asks it to bring its window to the front and quits without reading or writing anything.
// The lock of a program that crashed is taken over.
class ProfileLock : public QObject
{
    Q_OBJECT

public:
    // The lock of the current directory's profile.
    explicit ProfileLock(QObject *parent = nullptr);

    // Takes the lock and starts answering later starts. When another program holds it, asks that
    // one to come to the front instead and returns the exit code: 0 when it did; 1, after saying on
    // standard error that the profile is in use, when it did not answer. A folder where no lock can
    // be made (read-only) is used without one, as it was before locks.
    std::optional<int> acquire();

    // Brings window to the front whenever a later start asks.
    void raiseOnRequest(QWidget *window);

    // The local socket's name for a profile folder.
    static QString serverName(const QString &folder);

signals:
    void raiseRequested();

private:
    bool askHolderToRaise(int timeoutMs);
    void answerStarts();

    QString folder;
    QLockFile lockFile;
    QLocalServer server;
};

#pragma once

#include <QObject>
#include <QSet>
#include <QString>
#include <QUrl>

class Download;

// Where the files the engine hands over go: the desktop's download folder (made when missing), each
// under the name its site gave it, cleaned of anything that would lead out of the folder or hide the
// file, and never over an existing file ("name (1).pdf", …). Nothing downloaded is opened or run.
class Downloads : public QObject
{
    Q_OBJECT

public:
    explicit Downloads(QObject *parent = nullptr);

    QString folder() const { return m_folder; }
    void setFolder(const QString &folder) { m_folder = folder; }

    // Stores the download, or cancels it when the folder cannot be made; answers at once, as the
    // engines need.
    void take(Download *download);

    // The file name for what a site suggested: no folders, no leading dot, no control characters, not
    // empty (the address's last part, or "download").
    static QString cleanName(const QString &suggested, const QUrl &url);
    // A path in folder for name that is neither an existing file nor one of taken: name itself, or
    // with " (1)", " (2)", … before its extension.
    static QString freePath(const QString &folder, const QString &name, const QSet<QString> &taken = {});

signals:
    void started(const QString &name);
    void saved(const QString &path);
    void failed(const QString &reason);

private:
    QString m_folder;
    // Paths given to downloads still running: their files may not exist yet.
    QSet<QString> m_running;
};

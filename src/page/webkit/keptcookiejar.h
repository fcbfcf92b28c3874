#pragma once

#include <QByteArray>
#include <QNetworkCookieJar>
#include <QString>
#include <QTimer>

// The classic engine's cookies, with those that carry an expiry kept in a file, so that a login a
// site remembers survives a restart; session cookies end with the program. The file is read when the
// jar is made and rewritten whole (atomically, readable by the owner only) a moment after a change
// and when the jar goes. A file that cannot be read is kept aside under another name and the jar
// starts empty.
class KeptCookieJar : public QNetworkCookieJar
{
    Q_OBJECT

public:
    // With an empty path nothing is read or written: every cookie ends with the program.
    explicit KeptCookieJar(const QString &path, QObject *parent = nullptr);
    ~KeptCookieJar() override;

    bool setCookiesFromUrl(const QList<QNetworkCookie> &cookies, const QUrl &url) override;

    // Writes the file now if the kept cookies changed since it was last read or written.
    bool save();

    // The file's text for the cookies, and the cookies of a file's text; false when the text is not
    // such a file.
    static QByteArray serialize(const QList<QNetworkCookie> &cookies);
    static bool parse(const QByteArray &text, QList<QNetworkCookie> *cookies);

private:
    void load();

    const QString m_path;
    QTimer m_saveSoon;
    // The text on disk, to leave the file alone when nothing it holds changed.
    QByteArray m_written;
    bool m_changed = false;
    // Set when an unreadable file could not be kept aside: it is then never replaced.
    bool m_readOnly = false;
};

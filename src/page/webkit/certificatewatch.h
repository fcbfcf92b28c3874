#pragma once

#include <QObject>
#include <QSet>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;
class QWebFrame;

// Remembers whether the document shown in a frame came over a connection whose certificate failed.
// The browser accepts every certificate error, so this is how it knows not to hand recorded personal
// data to such a page on its own. Errors of resources from other addresses do not count.
class CertificateWatch : public QObject
{
    Q_OBJECT

public:
    CertificateWatch(QNetworkAccessManager *network, QWebFrame *frame);

    // Whether the frame's current document was received with certificate errors.
    bool documentInsecure() const;

private:
    void noteErrors(QNetworkReply *reply);
    void noteFinished(QNetworkReply *reply);
    // Whether the frame's address came with certificate errors.
    bool addressInsecure() const;

    QWebFrame *m_frame;
    // Addresses whose latest reply to the frame came with certificate errors.
    QSet<QUrl> m_insecure;
    bool m_loading = false;
    bool m_documentInsecure = false;
};

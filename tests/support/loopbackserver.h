#pragma once

#include <QByteArray>
#include <QMap>
#include <QSet>
#include <QSslCertificate>
#include <QSslKey>
#include <QString>
#include <QStringList>
#include <QTcpServer>

class QSslSocket;

// A tiny web server on 127.0.0.1 for tests: answers GET requests from a map of path to HTML body,
// over plain HTTP or, once given a certificate, over HTTPS. Every answer closes the connection.
// Qt 5 has no TLS server class, so each accepted connection is handed to a QSslSocket.
class LoopbackServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit LoopbackServer(QObject *parent = nullptr);

    // Serve HTTPS with this certificate and private key (PEM files); false if either is unusable.
    bool useTls(const QString &certificateFile, const QString &keyFile);
    // Unknown paths are answered with 404.
    void setPage(const QString &path, const QByteArray &html);
    // An answer with headers of its own ("Name: value" lines, each ending in CRLF) besides the
    // status line, the length and the closing of the connection.
    void setResponse(const QString &path, const QByteArray &headers, const QByteArray &body);
    // Requests for path get no answer while the server lives: a load that never ends.
    void hold(const QString &path) { m_held.insert(path); }
    // Answers for path promise twice the body they send before closing: a connection that breaks.
    void cutShort(const QString &path) { m_cut.insert(path); }
    // Listens on a free port of 127.0.0.1.
    bool start();

    // "http(s)://127.0.0.1:port" followed by path.
    QString url(const QString &path = QStringLiteral("/")) const;
    QStringList requestedPaths() const { return m_requested; }
    // The request line and headers of each request for path, in order.
    QList<QByteArray> requestsFor(const QString &path) const;

signals:
    void requested(const QString &path);

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    void answer(QSslSocket *socket, const QString &path, const QByteArray &request);

    QMap<QString, QByteArray> m_pages;
    QMap<QString, QByteArray> m_headers;
    QSet<QString> m_held;
    QSet<QString> m_cut;
    QMultiMap<QString, QByteArray> m_requests;
    QSslCertificate m_certificate;
    QSslKey m_key;
    QStringList m_requested;
};

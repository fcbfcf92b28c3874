#pragma once

#include <QByteArray>
#include <QMap>
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
    // Listens on a free port of 127.0.0.1.
    bool start();

    // "http(s)://127.0.0.1:port" followed by path.
    QString url(const QString &path = QStringLiteral("/")) const;
    QStringList requestedPaths() const { return m_requested; }

signals:
    void requested(const QString &path);

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    void answer(QSslSocket *socket, const QString &path);

    QMap<QString, QByteArray> m_pages;
    QSslCertificate m_certificate;
    QSslKey m_key;
    QStringList m_requested;
};

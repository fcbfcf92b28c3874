#include "loopbackserver.h"

#include <QFile>
#include <QHostAddress>
#include <QSslSocket>
#include <QUrl>

#include <algorithm>
#include <memory>

LoopbackServer::LoopbackServer(QObject *parent)
    : QTcpServer(parent)
{
}

static QByteArray readFile(const QString &name)
{
    QFile file(name);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool LoopbackServer::useTls(const QString &certificateFile, const QString &keyFile)
{
    m_certificate = QSslCertificate(readFile(certificateFile), QSsl::Pem);
    m_key = QSslKey(readFile(keyFile), QSsl::Rsa, QSsl::Pem);
    return !m_certificate.isNull() && !m_key.isNull();
}

void LoopbackServer::setPage(const QString &path, const QByteArray &html)
{
    m_pages.insert(path, html);
    m_headers.remove(path);
}

void LoopbackServer::setResponse(const QString &path, const QByteArray &headers, const QByteArray &body)
{
    m_pages.insert(path, body);
    m_headers.insert(path, headers);
}

bool LoopbackServer::start()
{
    return listen(QHostAddress::LocalHost, 0);
}

QString LoopbackServer::url(const QString &path) const
{
    const QString scheme = m_certificate.isNull() ? QStringLiteral("http") : QStringLiteral("https");
    return QStringLiteral("%1://127.0.0.1:%2%3").arg(scheme).arg(serverPort()).arg(path);
}

void LoopbackServer::incomingConnection(qintptr socketDescriptor)
{
    auto *socket = new QSslSocket(this);
    if (!socket->setSocketDescriptor(socketDescriptor)) {
        delete socket;
        return;
    }
    connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    // Requests are small and come whole before the answer, so reading up to the blank line will do.
    auto request = std::make_shared<QByteArray>();
    connect(socket, &QSslSocket::readyRead, this, [this, socket, request]() {
        request->append(socket->readAll());
        if (request->contains("\r\n\r\n")) {
            const QByteArray head = request->left(request->indexOf("\r\n\r\n"));
            const QList<QByteArray> requestLine = request->left(request->indexOf("\r\n")).split(' ');
            request->clear();
            answer(socket, QUrl(QString::fromLatin1(requestLine.value(1))).path(), head);
        }
    });
    if (!m_certificate.isNull()) {
        socket->setLocalCertificate(m_certificate);
        socket->setPrivateKey(m_key);
        socket->startServerEncryption();
    }
}

void LoopbackServer::answer(QSslSocket *socket, const QString &path, const QByteArray &request)
{
    m_requested.append(path);
    m_requests.insert(path, request);
    emit requested(path);
    if (m_held.contains(path)) {
        return;
    }

    const auto page = m_pages.constFind(path);
    const bool found = page != m_pages.constEnd();
    const QByteArray body = found ? page.value() : QByteArrayLiteral("<html><body>Not Found</body></html>");
    QByteArray response = found ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 404 Not Found\r\n";
    const auto headers = m_headers.constFind(path);
    response +=
        headers != m_headers.constEnd() ? headers.value() : "Content-Type: text/html; charset=utf-8\r\n";
    response +=
        "Content-Length: " + QByteArray::number(body.size() * (m_cut.contains(path) ? 2 : 1)) + "\r\n";
    response += "Connection: close\r\n\r\n";
    response += body;
    socket->write(response);
    socket->disconnectFromHost();
}

QList<QByteArray> LoopbackServer::requestsFor(const QString &path) const
{
    // QMultiMap answers the latest first.
    QList<QByteArray> requests = m_requests.values(path);
    std::reverse(requests.begin(), requests.end());
    return requests;
}

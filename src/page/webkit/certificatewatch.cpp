#include "page/webkit/certificatewatch.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QWebFrame>

namespace {

bool fromFrame(const QNetworkReply *reply, const QWebFrame *frame)
{
    return reply->request().originatingObject() == frame;
}

// The address without its fragment: a fragment never reaches the server.
QUrl documentAddress(const QUrl &url)
{
    return url.adjusted(QUrl::RemoveFragment);
}

const char errorsProperty[] = "kakikomiCertificateErrors";

} // namespace

CertificateWatch::CertificateWatch(QNetworkAccessManager *network, QWebFrame *frame)
    : QObject(frame)
    , m_frame(frame)
{
    connect(network, &QNetworkAccessManager::sslErrors, this, &CertificateWatch::noteErrors);
    connect(network, &QNetworkAccessManager::finished, this, &CertificateWatch::noteFinished);
    connect(frame, &QWebFrame::loadStarted, this, [this] { m_loading = true; });
    // The engine reports a finished load for history.replaceState and fragment changes too, with no
    // start before it: those keep the document's state.
    connect(frame, &QWebFrame::loadFinished, this, [this] {
        if (m_loading) {
            m_documentInsecure = addressInsecure();
            m_loading = false;
        }
    });
}

// A document keeps what its load found: a page that changes its address with history.replaceState
// afterwards stays as secure or insecure as it came.
bool CertificateWatch::documentInsecure() const
{
    return m_loading ? addressInsecure() : m_documentInsecure;
}

bool CertificateWatch::addressInsecure() const
{
    return m_insecure.contains(documentAddress(m_frame->url()));
}

void CertificateWatch::noteErrors(QNetworkReply *reply)
{
    if (fromFrame(reply, m_frame)) {
        reply->setProperty(errorsProperty, true);
    }
}

// Judged when the reply is done: the errors, if any, have been reported by then.
void CertificateWatch::noteFinished(QNetworkReply *reply)
{
    if (!fromFrame(reply, m_frame)) {
        return;
    }
    const QUrl address = documentAddress(reply->url());
    if (reply->property(errorsProperty).toBool()) {
        m_insecure.insert(address);
        return;
    }
    if (reply->url().scheme() == QLatin1String("https")) {
        // A connection kept open after its errors were ignored reports none for later replies:
        // their certificate chain still tells.
        const QList<QSslCertificate> chain = reply->sslConfiguration().peerCertificateChain();
        if (chain.isEmpty() || !QSslCertificate::verify(chain, reply->url().host()).isEmpty()) {
            m_insecure.insert(address);
            return;
        }
    }
    m_insecure.remove(address);
}

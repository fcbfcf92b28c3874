#include "page/webkit/webkitbrowsing.h"

#include "logging.h"

#include <QFile>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPointer>
#include <QPrinter>
#include <QRegularExpression>
#include <QTextCodec>
#include <QWebFrame>
#include <QWebHistory>
#include <QWebPage>
#include <QWebView>

namespace {

// The file name a Content-Disposition header gives: filename*= (RFC 6266, percent-encoded in a
// named charset) wins over filename=, whose text sites send in UTF-8 more often than in Latin-1.
QString nameFromDisposition(const QByteArray &header)
{
    static const QRegularExpression extended(
        QStringLiteral("(?:^|;)\\s*filename\\*\\s*=\\s*([^';\\s]*)'[^']*'([^;\\s]*)"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression plain(
        QStringLiteral("(?:^|;)\\s*filename\\s*=\\s*(?:\"((?:[^\"\\\\]|\\\\.)*)\"|([^;]*))"),
        QRegularExpression::CaseInsensitiveOption);
    const QString text = QString::fromLatin1(header);
    const QRegularExpressionMatch star = extended.match(text);
    if (star.hasMatch()) {
        const QByteArray bytes = QByteArray::fromPercentEncoding(star.captured(2).toLatin1());
        QTextCodec *codec = QTextCodec::codecForName(star.captured(1).toLatin1());
        if (codec) {
            return codec->toUnicode(bytes);
        }
    }
    const QRegularExpressionMatch match = plain.match(text);
    if (!match.hasMatch()) {
        return QString();
    }
    QString quoted = match.captured(1);
    quoted.replace(QRegularExpression(QStringLiteral("\\\\(.)")), QStringLiteral("\\1"));
    const QByteArray bytes = (match.capturedLength(1) > 0 ? quoted : match.captured(2).trimmed()).toLatin1();
    QTextCodec::ConverterState state;
    const QString utf8 =
        QTextCodec::codecForName("UTF-8")->toUnicode(bytes.constData(), bytes.size(), &state);
    return state.invalidChars == 0 ? utf8 : QString::fromLatin1(bytes);
}

// A reply written to a file as it arrives; what came before the file was chosen is kept until then.
class ReplyDownload : public Download
{
public:
    explicit ReplyDownload(QNetworkReply *reply)
        : Download(reply)
        , m_reply(reply)
    {
        connect(reply, &QNetworkReply::readyRead, this, &ReplyDownload::write);
        connect(reply, &QNetworkReply::finished, this, &ReplyDownload::end);
    }

    QString suggestedName() const override
    {
        return nameFromDisposition(m_reply->rawHeader("Content-Disposition"));
    }
    QUrl url() const override { return m_reply->url(); }

    void saveTo(const QString &path) override
    {
        m_file.setFileName(path);
        // Never over a file that appeared since the path was chosen.
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            fail(m_file.errorString());
            return;
        }
        write();
        if (m_reply->isFinished()) {
            end();
        }
    }

    void cancel() override
    {
        m_done = true;
        m_reply->abort();
        m_reply->deleteLater();
    }

private:
    void write()
    {
        if (m_done || !m_file.isOpen()) {
            return;
        }
        const QByteArray bytes = m_reply->readAll();
        if (m_file.write(bytes) != bytes.size()) {
            fail(m_file.errorString());
        }
    }

    void end()
    {
        if (m_done || !m_file.isOpen()) {
            return;
        }
        write();
        if (m_done) {
            return;
        }
        if (m_reply->error() != QNetworkReply::NoError) {
            fail(m_reply->errorString());
            return;
        }
        if (!m_file.flush()) {
            fail(m_file.errorString());
            return;
        }
        m_file.close();
        m_done = true;
        emit finished(true, QString());
        m_reply->deleteLater();
    }

    // Nothing half written stays behind.
    void fail(const QString &error)
    {
        m_done = true;
        if (m_file.isOpen()) {
            m_file.close();
            m_file.remove();
        }
        m_reply->abort();
        emit finished(false, error);
        m_reply->deleteLater();
    }

    QNetworkReply *m_reply;
    QFile m_file;
    bool m_done = false;
};

} // namespace

WebKitBrowsing::WebKitBrowsing(QWebView *view, QObject *parent)
    : Browsing(parent)
    , m_view(view)
{
    QWebPage *page = view->page();
    // Attachments and types the engine cannot show come here instead of being dropped.
    page->setForwardUnsupportedContent(true);
    connect(page, &QWebPage::unsupportedContent, this, &WebKitBrowsing::takeReply);
    connect(page, &QWebPage::downloadRequested, this, [this](const QNetworkRequest &request) {
        takeReply(m_view->page()->networkAccessManager()->get(request));
    });
}

void WebKitBrowsing::takeReply(QNetworkReply *reply)
{
    // The reply is ours now; the download deletes it when it ends.
    emit downloadRequested(new ReplyDownload(reply));
    // Left alone, the engine would go on to show an empty document in place of the page.
    if (reply->request().originatingObject() == m_view->page()->mainFrame()) {
        m_view->page()->triggerAction(QWebPage::Stop);
    }
}

void WebKitBrowsing::go(Step step)
{
    switch (step) {
    case Step::Back:
        m_view->back();
        break;
    case Step::Forward:
        m_view->forward();
        break;
    case Step::Reload:
        m_view->reload();
        break;
    case Step::ReloadFresh:
        m_view->page()->triggerAction(QWebPage::ReloadAndBypassCache);
        break;
    case Step::Stop:
        m_view->stop();
        break;
    }
}

bool WebKitBrowsing::canGoBack() const
{
    return m_view->history()->canGoBack();
}

bool WebKitBrowsing::canGoForward() const
{
    return m_view->history()->canGoForward();
}

void WebKitBrowsing::print(QPrinter *printer, const std::function<void(bool)> &done)
{
    m_view->page()->mainFrame()->print(printer);
    done(printer->printerState() != QPrinter::Error && printer->printerState() != QPrinter::Aborted);
}

#include "page/webkit/classicwebpage.h"

#include "logging.h"
#include "page/newwindow.h"

#include <QNetworkRequest>
#include <QWebFrame>

ClassicWebPage::ClassicWebPage(QObject *parent)
    : QWebPage(parent)
{
}

void ClassicWebPage::javaScriptConsoleMessage(const QString &message, int lineNumber, const QString &sourceId)
{
    if (message.startsWith(QLatin1String("SyntaxError"))) {
        qCDebug(lcBridge) << "script not run:" << Logging::masked(message) << Logging::masked(sourceId)
                          << lineNumber;
        emit scriptSyntaxError(message);
    }
    QWebPage::javaScriptConsoleMessage(message, lineNumber, sourceId);
}

QWebPage *ClassicWebPage::createWindow(WebWindowType type)
{
    QWebPage *page = QWebPage::createWindow(type);
    m_windowRequested = page == this;
    return page;
}

bool ClassicWebPage::acceptNavigationRequest(QWebFrame *frame, const QNetworkRequest &request,
                                             NavigationType type)
{
    if (frame == mainFrame() && std::exchange(m_windowRequested, false)) {
        // The engine tells no opener; the request's referrer names the document that asked.
        const QUrl opener(QString::fromUtf8(request.rawHeader("Referer")));
        if (!NewWindow::allowed(request.url(), opener.isEmpty() ? mainFrame()->url() : opener,
                                mainFrame()->url())) {
            return false;
        }
    }
    return QWebPage::acceptNavigationRequest(frame, request, type);
}

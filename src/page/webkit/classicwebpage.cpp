#include "page/webkit/classicwebpage.h"

#include "logging.h"

ClassicWebPage::ClassicWebPage(QObject *parent)
    : QWebPage(parent)
{
}

void ClassicWebPage::javaScriptConsoleMessage(const QString &message, int lineNumber, const QString &sourceId)
{
    if (message.startsWith(QLatin1String("SyntaxError"))) {
        qCDebug(lcBridge) << "script not run:" << message << sourceId << lineNumber;
        emit scriptSyntaxError(message);
    }
    QWebPage::javaScriptConsoleMessage(message, lineNumber, sourceId);
}

#pragma once

#include <QWebPage>

// The classic engine's page, telling when a script of the page could not even be parsed: the engine
// dates from 2016, and pages built for today's browsers stop there.
class ClassicWebPage : public QWebPage
{
    Q_OBJECT

public:
    explicit ClassicWebPage(QObject *parent = nullptr);

signals:
    void scriptSyntaxError(const QString &message);

protected:
    void javaScriptConsoleMessage(const QString &message, int lineNumber, const QString &sourceId) override;
    // A new window's address loads in this page, the view's one page: unless a frame of another site
    // asked for it, or it names a local file or data.
    QWebPage *createWindow(WebWindowType type) override;
    bool acceptNavigationRequest(QWebFrame *frame, const QNetworkRequest &request,
                                 NavigationType type) override;

private:
    bool m_windowRequested = false;
};

#pragma once

#include "page/browsing.h"

class QNetworkReply;
class QWebView;

// Browsing with Qt WebKit: the view's history and loader, printing the main frame, and as downloads
// the replies the page cannot show (attachments included) and the links the user saves.
class WebKitBrowsing : public Browsing
{
    Q_OBJECT

public:
    explicit WebKitBrowsing(QWebView *view, QObject *parent = nullptr);

    void go(Step step) override;
    bool canGoBack() const override;
    bool canGoForward() const override;
    void print(QPrinter *printer, const std::function<void(bool ok)> &done) override;

private:
    void takeReply(QNetworkReply *reply);

    QWebView *m_view;
};

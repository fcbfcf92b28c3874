#pragma once

#include "page/browsing.h"

#include <QHash>
#include <QPointer>

class ChromiumView;
class QWebEngineDownloadItem;

// Browsing with Chromium: the view's history and page actions, printing through the page, and the
// downloads of the view's profile.
class ChromiumBrowsing : public Browsing
{
    Q_OBJECT

public:
    explicit ChromiumBrowsing(ChromiumView *view, QObject *parent = nullptr);

    void go(Step step) override;
    bool canGoBack() const override;
    bool canGoForward() const override;
    void print(QPrinter *printer, const std::function<void(bool ok)> &done) override;

private:
    void take(QWebEngineDownloadItem *item);

    ChromiumView *m_view;
    // By Chromium's id, the downloads not finished yet.
    QHash<quint32, QPointer<Download>> m_running;
};

#include "page/chromium/chromiumbrowsing.h"

#include "page/chromium/chromiumview.h"

#include <QDir>
#include <QFileInfo>
#include <QWebEngineDownloadItem>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>

namespace {

class ItemDownload : public Download
{
public:
    explicit ItemDownload(QWebEngineDownloadItem *item)
        : Download(item)
        , m_item(item)
    {
    }

    // The name as the site gave it; Chromium's own choice already has a number for files in its
    // default folder.
    QString suggestedName() const override
    {
        const QString suggested = m_item->suggestedFileName();
        return suggested.isEmpty() ? m_item->downloadFileName() : suggested;
    }
    QUrl url() const override { return m_item->url(); }

    void saveTo(const QString &path) override
    {
        const QFileInfo target(path);
        m_item->setDownloadDirectory(target.absolutePath());
        m_item->setDownloadFileName(target.fileName());
        connect(m_item, &QWebEngineDownloadItem::finished, this, [this] {
            if (m_item->state() == QWebEngineDownloadItem::DownloadCompleted) {
                emit finished(true, QString());
            } else {
                emit finished(false, m_item->interruptReasonString());
            }
        });
        m_item->accept();
    }

    // An item not accepted while it is being offered is cancelled by Chromium.
    void cancel() override { m_item->cancel(); }

private:
    QWebEngineDownloadItem *m_item;
};

} // namespace

ChromiumBrowsing::ChromiumBrowsing(ChromiumView *view, QObject *parent)
    : Browsing(parent)
    , m_view(view)
{
    connect(view->profile(), &QWebEngineProfile::downloadRequested, this, &ChromiumBrowsing::take);
}

void ChromiumBrowsing::take(QWebEngineDownloadItem *item)
{
    emit downloadRequested(new ItemDownload(item));
}

void ChromiumBrowsing::go(Step step)
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
        m_view->triggerPageAction(QWebEnginePage::ReloadAndBypassCache);
        break;
    case Step::Stop:
        m_view->stop();
        break;
    }
}

bool ChromiumBrowsing::canGoBack() const
{
    return m_view->history()->canGoBack();
}

bool ChromiumBrowsing::canGoForward() const
{
    return m_view->history()->canGoForward();
}

void ChromiumBrowsing::print(QPrinter *printer, const std::function<void(bool)> &done)
{
    m_view->page()->print(printer, [done](bool ok) { done(ok); });
}

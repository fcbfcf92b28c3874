#include "page/chromium/chromiumbrowsing.h"

#include "page/chromium/chromiumview.h"

#include <QDir>
#include <QFile>
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
        m_path = path;
        follow(m_item);
    }

    // Chromium resumes a download whose connection broke by offering it again, as another item of
    // the same id: it goes on into the same file.
    void resume(QWebEngineDownloadItem *item)
    {
        if (m_path.isEmpty()) {
            item->cancel();
            return;
        }
        m_item = item;
        follow(item);
    }

    // An item not accepted while it is being offered is cancelled by Chromium.
    void cancel() override { m_item->cancel(); }

private:
    void follow(QWebEngineDownloadItem *item)
    {
        const QFileInfo target(m_path);
        item->setDownloadDirectory(target.absolutePath());
        item->setDownloadFileName(target.fileName());
        connect(item, &QWebEngineDownloadItem::finished, this, [this, item] {
            if (item != m_item || m_done) {
                return;
            }
            m_done = true;
            if (item->state() == QWebEngineDownloadItem::DownloadCompleted) {
                emit finished(true, QString());
            } else {
                // Nothing half written stays behind.
                QFile::remove(m_path);
                emit finished(false, item->interruptReasonString());
            }
        });
        item->accept();
    }

    QWebEngineDownloadItem *m_item;
    QString m_path;
    bool m_done = false;
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
    const auto running = m_running.constFind(item->id());
    if (running != m_running.constEnd() && running.value()) {
        static_cast<ItemDownload *>(running.value().data())->resume(item);
        return;
    }
    // Kept by the first item: the download lives as long as Chromium keeps that.
    auto *download = new ItemDownload(item);
    m_running.insert(item->id(), download);
    connect(download, &Download::finished, this, [this, id = item->id()] { m_running.remove(id); });
    emit downloadRequested(download);
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

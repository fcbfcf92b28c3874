#include "page/chromium/chromiumview.h"

#include "logging.h"

#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineProfile>

namespace {

QString hostKey(const QUrl &url)
{
    return url.host().toLower() + QLatin1Char(':') + QString::number(url.port(443));
}

} // namespace

class ChromiumWebPage : public QWebEnginePage
{
public:
    ChromiumWebPage(ChromiumView *view, QWebEngineProfile *profile)
        : QWebEnginePage(profile, view)
        , m_view(view)
    {
    }

protected:
    // The page goes on in this view: Chromium loads the new window's document here.
    QWebEnginePage *createWindow(WebWindowType) override { return this; }

    bool certificateError(const QWebEngineCertificateError &error) override
    {
        qCDebug(lcBridge) << "certificate error accepted for" << error.url() << error.errorDescription();
        m_view->m_failedHosts.insert(hostKey(error.url()));
        return true;
    }

    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &message, int line,
                                  const QString &source) override
    {
        qCDebug(lcBridge).noquote() << "page console:" << message
                                    << source + QLatin1Char(':') + QString::number(line);
    }

private:
    ChromiumView *m_view;
};

ChromiumView::ChromiumView(QWidget *parent)
    : QWebEngineView(parent)
    // Without a storage name the profile keeps everything in memory.
    , m_profile(new QWebEngineProfile(this))
{
    setPage(new ChromiumWebPage(this, m_profile));
}

ChromiumView::~ChromiumView()
{
    // The page must go before its profile.
    delete page();
}

bool ChromiumView::insecure() const
{
    const QUrl url = page()->url();
    return url.scheme() == QLatin1String("https") && m_failedHosts.contains(hostKey(url));
}

#include "page/chromium/chromiumview.h"

#include "logging.h"

#include <QDir>
#include <QFile>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineProfile>

namespace {

QString hostKey(const QUrl &url)
{
    return url.host().toLower() + QLatin1Char(':') + QString::number(url.port(443));
}

} // namespace

namespace {

class WindowStandIn : public QWebEnginePage
{
public:
    explicit WindowStandIn(QWebEnginePage *target)
        : QWebEnginePage(target->profile(), target)
        , m_target(target)
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override
    {
        if (isMainFrame && m_target) {
            m_target->load(url);
            m_target = nullptr;
            deleteLater();
        }
        return false;
    }

private:
    QWebEnginePage *m_target;
};

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
    // The new window's address is loaded in this view. Handing Chromium this page to adopt the new
    // window's contents leaves the page's script calls unanswered for long seconds, so a stand-in
    // page takes the first navigation and passes it on.
    QWebEnginePage *createWindow(WebWindowType) override { return new WindowStandIn(this); }

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
    : ChromiumView(parent, QString())
{
}

ChromiumView::ChromiumView(QWidget *parent, const QString &storage)
    : QWebEngineView(parent)
    // Without a storage name the profile keeps everything in memory.
    , m_profile(storage.isEmpty() ? new QWebEngineProfile(this) : keptProfile(storage, this))
{
    setPage(new ChromiumWebPage(this, m_profile));
}

QWebEngineProfile *ChromiumView::keptProfile(const QString &storage, QObject *parent)
{
    // The folder holds logins: for its owner only, like the profile folder.
    QDir().mkpath(storage);
    QFile::setPermissions(storage, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    auto *profile = new QWebEngineProfile(QStringLiteral("kakikomi"), parent);
    profile->setPersistentStoragePath(storage);
    profile->setCachePath(storage);
    profile->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    // Cookies with an expiry are kept; session cookies end with the program.
    profile->setPersistentCookiesPolicy(QWebEngineProfile::AllowPersistentCookies);
    return profile;
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

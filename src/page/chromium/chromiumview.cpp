#include "page/chromium/chromiumview.h"

#include "logging.h"
#include "page/newwindow.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QPointer>
#include <QWebEngineCertificateError>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>

namespace {

QString hostKey(const QUrl &url)
{
    return url.host().toLower() + QLatin1Char(':') + QString::number(url.port(443));
}

} // namespace

// Sees the first request of a new window's page, which tells the document that asked for it, and
// stops it: the address is then loaded in the view, or not at all. Interceptors may be called off the
// window's thread.
class WindowGate : public QWebEngineUrlRequestInterceptor
{
public:
    using Decide = std::function<void(const QUrl &address, const QUrl &opener)>;

    explicit WindowGate(QObject *parent)
        : QWebEngineUrlRequestInterceptor(parent)
    {
    }

    // The next request of a page's own document for address is the new window's.
    void expect(const QUrl &address, Decide decide)
    {
        const QMutexLocker lock(&m_mutex);
        m_address = address;
        m_decide = std::move(decide);
    }

    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        if (info.resourceType() != QWebEngineUrlRequestInfo::ResourceTypeMainFrame) {
            return;
        }
        Decide decide;
        {
            const QMutexLocker lock(&m_mutex);
            if (!m_decide || info.requestUrl() != m_address) {
                return;
            }
            decide = std::exchange(m_decide, nullptr);
        }
        info.block(true);
        const QUrl address = info.requestUrl();
        const QUrl opener = info.initiator();
        QMetaObject::invokeMethod(
            this, [decide, address, opener] { decide(address, opener); }, Qt::QueuedConnection);
    }

private:
    QMutex m_mutex;
    QUrl m_address;
    Decide m_decide;
};

namespace {

class WindowStandIn : public QWebEnginePage
{
public:
    WindowStandIn(QWebEnginePage *target, WindowGate *gate)
        : QWebEnginePage(target->profile(), target)
        , m_target(target)
        , m_gate(gate)
    {
    }

protected:
    bool acceptNavigationRequest(const QUrl &url, NavigationType, bool isMainFrame) override
    {
        if (!isMainFrame || !m_target) {
            return false;
        }
        if (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")) {
            // Requested only to learn who asked: the gate stops it.
            QPointer<WindowStandIn> self(this);
            m_gate->expect(url, [self](const QUrl &address, const QUrl &opener) {
                if (self && self->m_target && NewWindow::allowed(address, opener, self->m_target->url())) {
                    self->m_target->load(address);
                }
                if (self) {
                    self->done();
                }
            });
            return true;
        }
        // Data, local files, scripts: nothing a page may open at the top.
        qCDebug(lcBridge) << "new window refused:" << url.scheme();
        done();
        return false;
    }

private:
    void done()
    {
        m_target = nullptr;
        deleteLater();
    }

    QWebEnginePage *m_target;
    WindowGate *m_gate;
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
    QWebEnginePage *createWindow(WebWindowType) override
    {
        return new WindowStandIn(this, m_view->m_windowGate);
    }

    bool certificateError(const QWebEngineCertificateError &error) override
    {
        qCDebug(lcBridge) << "certificate error accepted for" << Logging::masked(error.url())
                          << error.errorDescription();
        m_view->m_failedHosts.insert(hostKey(error.url()));
        return true;
    }

    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString &message, int line,
                                  const QString &source) override
    {
        qCDebug(lcBridge).noquote() << "page console:" << Logging::masked(message)
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
    m_windowGate = new WindowGate(this);
    m_profile->setUrlRequestInterceptor(m_windowGate);
    setPage(new ChromiumWebPage(this, m_profile));
    connect(page(), &QWebEnginePage::loadStarted, this, [this] { m_loading = true; });
    connect(page(), &QWebEnginePage::loadFinished, this, [this] {
        m_documentInsecure = addressInsecure();
        m_loading = false;
    });
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

// A document keeps what its load found: a page that changes its address with history.replaceState
// afterwards stays as secure or insecure as it came.
bool ChromiumView::insecure() const
{
    return m_loading ? addressInsecure() : m_documentInsecure;
}

bool ChromiumView::addressInsecure() const
{
    const QUrl url = page()->url();
    return url.scheme() == QLatin1String("https") && m_failedHosts.contains(hostKey(url));
}

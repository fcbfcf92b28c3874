#include "page/enginefactory.h"

#include "page/chromium/chromiumfactory.h"
#include "page/chromium/chromiummodule.h"
#include "page/webkit/keptcookiejar.h"
#include "page/webkit/singlewebview.h"
#include "page/webkit/webkitbrowsing.h"
#include "page/webkit/webkitpage.h"

#include <QDir>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QTimer>
#include <QWebPage>
#include <QWebView>

namespace {
// Beside profile.json: the classic engine's kept cookies, and Chromium's folder for cookies and site
// data. Names of their own, as the profile folder may be any folder the program was started in.
const char cookieFileName[] = "profile.cookies";
const char chromiumStorageName[] = "profile.chromium";

QString besideProfile(bool keep, const char *name)
{
    return keep ? QDir::current().absoluteFilePath(QLatin1String(name)) : QString();
}
} // namespace

namespace EngineFactory {

EngineParts create(Engine engine, QWidget *parent, bool keepCookies)
{
    EngineParts parts;
    if (engine == Engine::Chromium) {
        const ChromiumFactory &chromium = ChromiumModule::required();
        parts.view = chromium.createView(parent, besideProfile(keepCookies, chromiumStorageName));
        parts.page.reset(chromium.createPage(parts.view));
        parts.browsing.reset(chromium.createBrowsing(parts.view));
        return parts;
    }
    auto *view = new SingleWebView(parent);
    parts.view = view;
    parts.network = view->page()->networkAccessManager();
    parts.network->setCookieJar(new KeptCookieJar(besideProfile(keepCookies, cookieFileName)));
    parts.page = std::make_unique<WebKitPage>(view);
    parts.browsing = std::make_unique<WebKitBrowsing>(view);
    return parts;
}

bool load(Engine engine, QString *error)
{
    return engine != Engine::Chromium || ChromiumModule::factory(error);
}

QString checkPageTitle(Engine engine, const QString &html)
{
    if (engine == Engine::Chromium) {
        return ChromiumModule::required().checkPageTitle(html);
    }
    QEventLoop loop;
    bool finished = false;
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    QWebView view;
    QObject::connect(&view, &QWebView::loadFinished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    view.setHtml(html);
    // WebKit may be done within setHtml().
    if (!finished) {
        loop.exec();
    }
    return view.title();
}

} // namespace EngineFactory

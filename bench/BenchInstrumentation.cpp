// What the browser's load-finished handling costs next to the engine's own load of the same page:
// finding the inputs, their identifiers and click handlers, the registration, starting the watcher
// and applying the page's rules (none here, so no scan, as in the window; the scan a page with
// rules gets is timed apart). Also what watching for controls that appear
// costs on a page that keeps adding to its DOM. Also what the engine has to redo afterwards before the page
// can be painted, next to a bare view: nothing, now that the previous page's handles are freed and the
// engine's caches cleared after the first paint.

#include "benchsupport.h"
#include "fill/rulefiller.h"
#include "page/webkit/pagebridge.h"
#include "page/webkit/webkitpage.h"
#include "store/profiledocument.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWebElement>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

#include <algorithm>
#include <ctime>
#include <memory>

namespace {

// Makes the engine bring styles and layout up to date, as painting would.
qint64 forcedLayoutNs(QWebView *view)
{
    QElapsedTimer timer;
    timer.start();
    view->page()->mainFrame()->evaluateJavaScript(QStringLiteral("document.documentElement.offsetHeight"));
    return timer.nsecsElapsed();
}

struct Figures
{
    int elements = 0;
    double engineMs = 0;
    double handlingMs = 0;
    double scanMs = 0;
    double walkMs = 0;
    double relayoutMs = 0;
    double plainRelayoutMs = 0;
};

Figures measure(int elements)
{
    const QString html = Bench::generatedForm(elements);
    const QUrl address(Bench::generatedFormAddress());
    const int rounds = elements > 10000 ? 5 : 9;
    std::vector<qint64> engine, handling, scans, walk, relayout, plainRelayout;

    // The bridge on a view of its own, so that the engine's part and ours are timed apart: in the
    // window, the bridge's handling runs inside the view's load-finished signal.
    ProfileDocument document;
    document.load();
    QWebView view;
    view.show();
    WebKitPage page(&view);
    RuleFiller rules(page, document);
    PageBridge &bridge = page.bridge();
    document.showPage(address.toString());
    for (int round = 0; round < rounds; ++round) {
        QElapsedTimer timer;
        Bench::loadAndWait(
            &view,
            [&]() {
                timer.start();
                view.setHtml(html, address);
            },
            [&](bool ok) {
                engine.push_back(timer.nsecsElapsed());
                timer.restart();
                page.pageLoaded(ok);
                // As the window does: a page without recorded rules is not scanned at its load.
                const auto applyRules = [&]() {
                    page.scan([&rules](const QVector<PageControl> &controls) {
                        rules.apply(controls, RuleFiller::Controls::Any);
                    });
                };
                if (!document.pageRules().isEmpty()) {
                    applyRules();
                }
                handling.push_back(timer.nsecsElapsed());
                // What the scan would add on a page with rules, timed apart; not on the larger pages,
                // where it takes minutes.
                if (elements <= 10000) {
                    timer.restart();
                    applyRules();
                    scans.push_back(timer.nsecsElapsed());
                }
            });
        relayout.push_back(forcedLayoutNs(&view));
    }
    // The walk alone: the previous page's handles put aside beforehand, untimed.
    for (int round = 0; round < rounds; ++round) {
        Bench::loadAndWait(&view, [&]() { view.setHtml(html, address); });
        bridge.pageLoaded(false);
        QElapsedTimer timer;
        timer.start();
        bridge.instrumentPage();
        walk.push_back(timer.nsecsElapsed());
        forcedLayoutNs(&view);
    }
    Figures figures;
    // The document element and everything in it.
    figures.elements = view.page()->mainFrame()->documentElement().findAll(QStringLiteral("*")).count() + 1;

    QWebView plain;
    plain.show();
    for (int round = 0; round < rounds; ++round) {
        Bench::loadAndWait(&plain, [&]() { plain.setHtml(html, address); });
        plainRelayout.push_back(forcedLayoutNs(&plain));
    }
    figures.engineMs = Bench::medianMs(engine);
    figures.handlingMs = Bench::medianMs(handling);
    figures.scanMs = Bench::medianMs(scans);
    figures.walkMs = Bench::medianMs(walk);
    figures.relayoutMs = Bench::medianMs(relayout);
    figures.plainRelayoutMs = Bench::medianMs(plainRelayout);
    return figures;
}

// A page that adds 1,000 elements a second for three seconds, in steps of ten every 10 ms, and
// drops the oldest so that its size stays put; with controls, one element in ten is an input.
QString churningPage(bool controls)
{
    return QStringLiteral("<div id=feed></div><script>"
                          "var feed = document.getElementById('feed'), n = 0;"
                          "var timer = setInterval(function () {"
                          "  for (var i = 0; i < 10; ++i, ++n) {"
                          "    var e = document.createElement(%1 && n % 10 == 0 ? 'input' : 'div');"
                          "    if (e.tagName == 'DIV') e.textContent = 'item ' + n;"
                          "    feed.appendChild(e);"
                          "    if (feed.childNodes.length > 500) feed.removeChild(feed.firstChild);"
                          "  }"
                          "  if (n >= 3000) { clearInterval(timer); document.title = 'done'; }"
                          "}, 10);</script>")
        .arg(controls ? QStringLiteral("true") : QStringLiteral("false"));
}

// Processor time the process spends while the page churns, with and without the page script
// watching it.
double churnCpuMs(bool watched, bool controls, int *reports)
{
    ProfileDocument document;
    QWebView view;
    view.show();
    std::unique_ptr<WebKitPage> page;
    if (watched) {
        page = std::make_unique<WebKitPage>(&view);
        QObject::connect(page.get(), &Page::controlsAppeared,
                         [reports](const QVector<PageControl> &) { ++*reports; });
    }
    Bench::loadAndWait(
        &view,
        [&]() { view.setHtml(churningPage(controls), QUrl(QStringLiteral("http://127.0.0.1:1/feed"))); },
        [&](bool ok) {
            if (page) {
                page->pageLoaded(ok);
            }
        });
    const std::clock_t start = std::clock();
    // Waits without spinning, so that the processor time is the page's and ours.
    QEventLoop loop;
    QTimer poll;
    QElapsedTimer limit;
    limit.start();
    QObject::connect(&poll, &QTimer::timeout, [&]() {
        if (view.title() == QLatin1String("done") || limit.hasExpired(20000)) {
            loop.quit();
        }
    });
    poll.start(50);
    loop.exec();
    // The last batch is reported after its interval.
    QTimer::singleShot(200, &loop, &QEventLoop::quit);
    loop.exec();
    if (view.title() != QLatin1String("done")) {
        qFatal("the churning page did not finish");
    }
    return 1000.0 * double(std::clock() - start) / CLOCKS_PER_SEC;
}

void measureObserving()
{
    for (const bool controls : {false, true}) {
        std::vector<double> watched, plain;
        int reports = 0;
        for (int round = 0; round < 3; ++round) {
            plain.push_back(churnCpuMs(false, controls, &reports));
            reports = 0;
            watched.push_back(churnCpuMs(true, controls, &reports));
        }
        std::sort(watched.begin(), watched.end());
        std::sort(plain.begin(), plain.end());
        const double extra = std::max(0.0, watched[1] - plain[1]);
        Bench::printRow(
            {QStringLiteral("1 watching a page adding 1,000 elements/s, CPU over 3 s"),
             controls ? QStringLiteral("10% inputs, %1 reports").arg(reports) : QStringLiteral("no controls"),
             Bench::ms(watched[1]), Bench::ms(plain[1]), Bench::percent(extra / plain[1]),
             QStringLiteral("small"), extra / plain[1] <= 0.1});
    }
}

} // namespace

int main(int argc, char *argv[])
{
    const Bench::GuiProgram program(argc, argv);

    const double target = 0.02;
    std::vector<Figures> all;
    // Other sizes may be given as arguments, for a closer look at one of them.
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        if (const int elements = QString::fromLocal8Bit(argv[i]).toInt(); elements > 0) {
            sizes.push_back(elements);
        }
    }
    if (sizes.empty()) {
        sizes = {1000, 10000, 50000, 100000};
    }
    for (const int elements : sizes) {
        const Figures f = measure(elements);
        all.push_back(f);
        const QString size = Bench::count(f.elements) + QStringLiteral(" elements");
        const double ratio = f.handlingMs / f.engineMs;
        Bench::printRow({QStringLiteral("1 load handling"), size, Bench::ms(f.handlingMs),
                         Bench::ms(f.engineMs), Bench::percent(ratio), QStringLiteral("<= 2%"),
                         ratio <= target});
        Bench::printRow({QStringLiteral("1   of it, the walk"), size, Bench::ms(f.walkMs),
                         Bench::ms(f.engineMs), Bench::percent(f.walkMs / f.engineMs), QStringLiteral("-"),
                         true});
        if (f.scanMs > 0) {
            Bench::printRow({QStringLiteral("1 refill scan, a page with rules"), size, Bench::ms(f.scanMs),
                             Bench::ms(f.engineMs), Bench::percent(f.scanMs / f.engineMs),
                             QStringLiteral("-"), true});
        }
        // What a bare view needs for the same is subtracted: the page was laid out before it finished.
        const double relayoutMs = std::max(0.0, f.relayoutMs - f.plainRelayoutMs);
        Bench::printRow({QStringLiteral("1 relayout before first paint"), size, Bench::ms(relayoutMs),
                         Bench::ms(f.engineMs), Bench::percent(relayoutMs / f.engineMs), QStringLiteral("-"),
                         true});
    }
    measureObserving();
    // Linear growth: the time per element does not rise with the page's size.
    std::vector<double> perElement;
    for (const Figures &f : all) {
        perElement.push_back(1000 * f.handlingMs / f.elements);
    }
    const double least = *std::min_element(perElement.begin(), perElement.end());
    for (size_t i = 0; i < all.size(); ++i) {
        Bench::printRow({QStringLiteral("1 handling per element"),
                         Bench::count(all[i].elements) + QStringLiteral(" elements"),
                         QString::number(perElement[i], 'f', 2) + QStringLiteral(" µs"), QString(), QString(),
                         QStringLiteral("linear"), perElement.back() <= 1.5 * least});
    }
    return 0;
}

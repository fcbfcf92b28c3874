// How soon a loaded page reaches the screen: from the start of a load to the first paint of the web
// view after its load has finished, in the browser's window next to a bare web view (the engine's
// view and nothing else, as BareWebView), on generated pages of 1k, 10k and 50k elements and on a
// long Japanese sign-up page. Also the longest time the event loop could not run in the second
// after that paint (what would hold up typing or scrolling), on the 10k page.
//
// Each side runs in processes of its own (the engine's caches are per process), alternating, a
// few rounds each; every process navigates several times and the first loads warm it up. The
// platform is the environment's (offscreen unless QT_QPA_PLATFORM says otherwise): run it under
// Xvfb with QT_QPA_PLATFORM=xcb to paint through a real X server.
//
// With --chromium both sides show the page with Chromium: the window with Engine::Chromium next to
// a bare QWebEngineView. Chromium draws in its own process and hands frames to a widget inside the
// view, so the paint watched is that of the view or any widget within it; it shows the latest frame
// Chromium delivered.

#include "app/mainwindow.h"
#include "benchsupport.h"
#include "page/webkit/singlewebview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QUrl>
#include <QWebEngineView>
#include <QWebView>

#include <algorithm>
#include <memory>

namespace {

const QSize windowSize(1280, 960);
const int warmUpLoads = 2;

// Notes when the watched view has finished painting, for the first time after its load finished.
class PaintClock : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject *receiver, QEvent *event) override
    {
        const bool painting = event->type() == QEvent::Paint && view && receiver->isWidgetType()
                              && (receiver == view || view->isAncestorOf(static_cast<QWidget *>(receiver)));
        const bool result = QApplication::notify(receiver, event);
        if (painting && finished && paintedNs < 0) {
            paintedNs = timer.nsecsElapsed();
            if (waiting) {
                waiting->quit();
            }
        }
        return result;
    }

    QWidget *view = nullptr;
    QEventLoop *waiting = nullptr;
    QElapsedTimer timer;
    bool finished = false;
    qint64 paintedNs = -1;
};

// Runs the event loop for a while; returns the longest time between two turns of it.
qint64 longestStallNs(int milliseconds, qint64 fromNs, const QElapsedTimer &clock)
{
    QEventLoop loop;
    qint64 last = fromNs, longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&]() {
        const qint64 now = clock.nsecsElapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    tick.start();
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
    return longest;
}

// One process of one side: navigates to the page again and again and prints, per load after the
// warm-up, "paint" and the time to the first paint, and "stall" with the longest stall after it.
int runChild(bool ours, bool chromium, const QString &page, int loads, bool stalls, int argc, char *argv[])
{
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        if (type == QtCriticalMsg || type == QtFatalMsg) {
            QTextStream(stderr) << message << '\n';
        }
    });
    PaintClock app(argc, argv);
    QTemporaryDir directory;
    QDir::setCurrent(directory.path());

    std::unique_ptr<MainWindow> window;
    std::unique_ptr<QWidget> bare;
    if (ours) {
        QJsonObject actions;
        for (const QString &key : Bench::profileKeys()) {
            actions.insert(key, QJsonArray{key});
        }
        Bench::writeProfile({{"profile", Bench::fullProfile()}, {"actions", actions}});
        window = std::make_unique<MainWindow>(chromium ? Engine::Chromium : Engine::WebKit);
        window->resize(windowSize);
        window->show();
        app.view = window->view();
    } else {
        if (chromium) {
            bare = std::make_unique<QWebEngineView>();
        } else {
            bare = std::make_unique<QWebView>();
        }
        bare->resize(windowSize);
        bare->show();
        app.view = bare.get();
    }
    const auto startLoad = [&app, chromium](const QUrl &url) {
        if (chromium) {
            static_cast<QWebEngineView *>(app.view)->load(url);
        } else {
            static_cast<QWebView *>(app.view)->load(url);
        }
    };
    // Connected after the browser's own handler, so that runs first. A view may have painted the
    // page before its load finished, with nothing left to paint after it: one repaint is asked
    // for on both sides, so that every load ends with a paint that shows it.
    const auto finished = [&app](bool) {
        app.finished = true;
        app.view->update();
        // Chromium's frames are drawn by the widget inside its view.
        if (QWidget *proxy = app.view->focusProxy()) {
            proxy->update();
        }
    };
    if (chromium) {
        QObject::connect(static_cast<QWebEngineView *>(app.view), &QWebEngineView::loadFinished, finished);
    } else {
        QObject::connect(static_cast<QWebView *>(app.view), &QWebView::loadFinished, finished);
    }

    QTextStream out(stdout);
    for (int load = 0; load < loads; ++load) {
        QUrl url = QUrl::fromLocalFile(page);
        url.setQuery(QString::number(load));
        QEventLoop loop;
        QTimer::singleShot(120000, &loop, [&loop]() { loop.exit(1); });
        app.waiting = &loop;
        app.finished = false;
        app.paintedNs = -1;
        app.timer.start();
        startLoad(url);
        if (app.paintedNs < 0 && loop.exec() != 0) {
            qFatal("the page was not painted");
        }
        app.waiting = nullptr;
        // Whatever the load left for later runs now, inside the stall measurement.
        const qint64 stall = longestStallNs(stalls ? 1000 : 300, app.paintedNs, app.timer);
        if (load >= warmUpLoads) {
            out << "paint " << app.paintedNs << '\n';
            if (stalls) {
                out << "stall " << stall << '\n';
            }
            out.flush();
        }
    }
    return 0;
}

struct Figures
{
    std::vector<qint64> paint;
    std::vector<qint64> stall;
};

bool chromium = false;

Figures runSide(const QString &program, const QString &side, const QString &page, int loads, bool stalls)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, {QStringLiteral("--child"), side, page, QString::number(loads),
                            stalls ? QStringLiteral("stalls") : QStringLiteral("-"),
                            chromium ? QStringLiteral("chromium") : QStringLiteral("webkit")});
    if (!process.waitForFinished(600000) || process.exitCode() != 0) {
        qFatal("the %s side stopped", qPrintable(side));
    }
    Figures figures;
    for (const QByteArray &line : process.readAllStandardOutput().split('\n')) {
        const QList<QByteArray> words = line.split(' ');
        if (words.size() == 2 && words[0] == "paint") {
            figures.paint.push_back(words[1].toLongLong());
        } else if (words.size() == 2 && words[0] == "stall") {
            figures.stall.push_back(words[1].toLongLong());
        }
    }
    if (figures.paint.empty()) {
        qFatal("the %s side measured nothing", qPrintable(side));
    }
    return figures;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct TestPage
{
    QString size;
    QString html;
    int rounds;
    int loads;
    bool stalls;
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    if (argc >= 7 && qstrcmp(argv[1], "--child") == 0) {
        return runChild(qstrcmp(argv[2], "ours") == 0, qstrcmp(argv[6], "chromium") == 0,
                        QString::fromLocal8Bit(argv[3]), atoi(argv[4]), qstrcmp(argv[5], "stalls") == 0, argc,
                        argv);
    }
    for (int i = 1; i < argc; ++i) {
        chromium = chromium || qstrcmp(argv[i], "--chromium") == 0;
    }
    QCoreApplication app(argc, argv);
    Bench::printHeader(argc, argv);
    const QString platform = QString::fromLocal8Bit(qgetenv("QT_QPA_PLATFORM"))
                             + (chromium ? QStringLiteral(", chromium") : QString());
    const QString program = QCoreApplication::applicationFilePath();

    QTemporaryDir directory;
    const std::vector<TestPage> pages = {
        {QStringLiteral("1k elements"), Bench::generatedForm(1000), 5, 12, false},
        {QStringLiteral("10k elements"), Bench::generatedForm(10000), 5, 10, true},
        {QStringLiteral("50k elements"), Bench::generatedForm(50000), 3, 8, false},
        {QStringLiteral("300-field JP form"), Bench::japaneseForm(300), 5, 12, false},
    };
    QStringList only;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] != '-') {
            only << QString::fromLocal8Bit(argv[i]);
        }
    }
    for (const TestPage &page : pages) {
        // Sizes may be named as arguments ("10k", "JP"), for a closer look at some of them.
        if (!only.isEmpty() && std::none_of(only.begin(), only.end(), [&](const QString &o) {
                return page.size.contains(o);
            })) {
            continue;
        }
        const QString path = QDir(directory.path()).filePath(QStringLiteral("page.html"));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(page.html.toUtf8()) < 0) {
            qFatal("cannot write the page");
        }
        file.close();

        // Ratios are taken within each round, where both sides met the same load on the machine.
        std::vector<double> ours, bare, ratios, ourStall, bareStall;
        // Chromium's paints vary more from round to round: twice the rounds.
        const int rounds = chromium ? 2 * page.rounds - 1 : page.rounds;
        for (int round = 0; round < rounds; ++round) {
            Figures our, theirs;
            if (round % 2 == 0) {
                our = runSide(program, QStringLiteral("ours"), path, page.loads, page.stalls);
                theirs = runSide(program, QStringLiteral("bare"), path, page.loads, page.stalls);
            } else {
                theirs = runSide(program, QStringLiteral("bare"), path, page.loads, page.stalls);
                our = runSide(program, QStringLiteral("ours"), path, page.loads, page.stalls);
            }
            ours.push_back(Bench::medianMs(our.paint));
            bare.push_back(Bench::medianMs(theirs.paint));
            ratios.push_back(ours.back() / bare.back());
            if (page.stalls) {
                ourStall.push_back(*std::max_element(our.stall.begin(), our.stall.end()) / 1e6);
                bareStall.push_back(*std::max_element(theirs.stall.begin(), theirs.stall.end()) / 1e6);
            }
        }
        const Bench::Spread spread = Bench::spreadOf(ratios);
        const double ratio = spread.median;
        Bench::printRow({QStringLiteral("first paint after load, ") + platform, page.size,
                         Bench::ms(median(ours)), Bench::ms(median(bare)), QString::number(ratio, 'f', 2),
                         QStringLiteral("<= 1.05x"), ratio <= 1.05},
                        Bench::spreadText(spread));
        if (page.stalls) {
            const double stall = median(ourStall);
            Bench::printRow({QStringLiteral("longest stall 1 s after, ") + platform, page.size,
                             Bench::ms(stall), Bench::ms(median(bareStall)),
                             QString::number(stall / median(bareStall), 'f', 2), QStringLiteral("<= 50 ms"),
                             stall <= 50});
        }
    }
    return 0;
}

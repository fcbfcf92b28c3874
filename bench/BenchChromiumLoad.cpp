// What the browser adds to a page load with Chromium, next to a bare QWebEngineView loading the
// same page in the same process. With Chromium the browser's load-time work is mostly not in this
// process: the page script is run by the page's own process as the document is parsed, and what
// is left here is the script's announcement through the web channel and, on a page with recorded
// rules, the scan that finds the controls to refill. So three figures, on generated sign-up pages:
// - the load itself, start to load-finished, with the page script against without it;
// - the refill scan: from load-finished to the scan's answer, as the window waits for it;
// - CPU time: this process's main thread (where our slots run, along with Chromium's own browser
//   side) and the whole process tree (helpers included), over the load and the scan, against the
//   bare view's over its load.
// Both views use a profile that keeps everything in memory, as the browser's does, and are shown at
// the same size; loads alternate between them.

#include "benchsupport.h"
#include "page/chromium/chromiumpage.h"
#include "page/chromium/chromiumview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <ctime>
#include <unistd.h>

namespace {

const QSize viewSize(1280, 960);

qint64 mainThreadCpuNs()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return qint64(now.tv_sec) * 1000000000 + now.tv_nsec;
}

// User and system time of a process and everything it started, in clock ticks, from /proc.
qint64 treeCpuTicks(qint64 root)
{
    QHash<qint64, QList<qint64>> children;
    QHash<qint64, qint64> ticks;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!number || !stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        const QByteArray line = stat.readAll();
        // Fields after the command name, which may hold spaces: state is the first of them.
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        children[fields.value(1).toLongLong()].append(pid);
        ticks[pid] = fields.value(11).toLongLong() + fields.value(12).toLongLong();
    }
    qint64 sum = ticks.value(root);
    QList<qint64> pending{root};
    while (!pending.isEmpty()) {
        for (const qint64 child : children.value(pending.takeFirst())) {
            sum += ticks.value(child);
            pending.append(child);
        }
    }
    return sum;
}

struct Times
{
    qint64 loadNs = 0;
    qint64 scanNs = 0;
    qint64 mainCpuNs = 0;
    qint64 treeTicks = 0;
};

// Loads url in view; with page, then scans it as the window does for its rules.
Times loadOnce(QWebEngineView *view, ChromiumPage *page, const QUrl &url)
{
    Times times;
    QEventLoop loop;
    QTimer::singleShot(120000, &loop, [&loop]() { loop.exit(1); });
    QElapsedTimer timer;
    const qint64 cpuBefore = mainThreadCpuNs();
    const qint64 ticksBefore = treeCpuTicks(getpid());
    const auto connection = QObject::connect(view, &QWebEngineView::loadFinished, [&](bool ok) {
        if (!ok) {
            qFatal("the page did not load");
        }
        times.loadNs = timer.nsecsElapsed();
        if (!page) {
            loop.quit();
            return;
        }
        timer.restart();
        page->scan([&](const QVector<PageControl> &controls) {
            if (controls.isEmpty()) {
                qFatal("the scan found nothing");
            }
            times.scanNs = timer.nsecsElapsed();
            loop.quit();
        });
    });
    timer.start();
    view->load(url);
    if (loop.exec() != 0) {
        qFatal("the load or the scan did not end");
    }
    QObject::disconnect(connection);
    times.mainCpuNs = mainThreadCpuNs() - cpuBefore;
    times.treeTicks = treeCpuTicks(getpid()) - ticksBefore;
    return times;
}

} // namespace

int main(int argc, char *argv[])
{
    const Bench::GuiProgram program(argc, argv);
    const double tickMs = 1000.0 / sysconf(_SC_CLK_TCK);

    QWebEngineProfile bareProfile;
    QWebEngineView bare;
    bare.setPage(new QWebEnginePage(&bareProfile, &bare));
    bare.resize(viewSize);
    bare.show();
    ChromiumView view;
    view.resize(viewSize);
    view.show();
    ChromiumPage page(&view);

    QTemporaryDir directory;
    const struct
    {
        int elements;
        int rounds;
    } sizes[] = {{1000, 15}, {10000, 9}, {50000, 5}, {100000, 3}};
    int serial = 0;
    for (const auto &size : sizes) {
        const QString path =
            QDir(directory.path()).filePath(QStringLiteral("form%1.html").arg(size.elements));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)
            || file.write(Bench::generatedForm(size.elements).toUtf8()) < 0) {
            qFatal("cannot write the page");
        }
        file.close();
        std::vector<qint64> ourLoad, bareLoad, scan, ourCpu, bareCpu;
        qint64 ourTicks = 0, bareTicks = 0;
        // One unmeasured load on each side first: the processes and caches warm up.
        for (int round = -1; round < size.rounds; ++round) {
            QUrl url = QUrl::fromLocalFile(path);
            url.setQuery(QString::number(++serial));
            Times ours, theirs;
            if (round % 2 == 0) {
                ours = loadOnce(&view, &page, url);
                theirs = loadOnce(&bare, nullptr, url);
            } else {
                theirs = loadOnce(&bare, nullptr, url);
                ours = loadOnce(&view, &page, url);
            }
            if (round < 0) {
                continue;
            }
            ourLoad.push_back(ours.loadNs);
            bareLoad.push_back(theirs.loadNs);
            scan.push_back(ours.scanNs);
            ourCpu.push_back(ours.mainCpuNs);
            bareCpu.push_back(theirs.mainCpuNs);
            ourTicks += ours.treeTicks;
            bareTicks += theirs.treeTicks;
        }
        const QString label = Bench::count(size.elements) + QStringLiteral(" elements");
        const double load = Bench::medianMs(ourLoad), bareMs = Bench::medianMs(bareLoad);
        Bench::printRow({QStringLiteral("1 load with the page script, chr"), label, Bench::ms(load),
                         Bench::ms(bareMs), Bench::percent(load / bareMs - 1), QStringLiteral("<= 2%"),
                         load - bareMs <= 0.02 * bareMs});
        const double scanMs = Bench::medianMs(scan);
        Bench::printRow({QStringLiteral("1 refill scan after load, chr"), label, Bench::ms(scanMs),
                         Bench::ms(bareMs), Bench::percent(scanMs / bareMs), QStringLiteral("-"), true});
        const double cpu = Bench::medianMs(ourCpu), bareCpuMs = Bench::medianMs(bareCpu);
        Bench::printRow({QStringLiteral("1 main-thread CPU, load+scan, chr"), label, Bench::ms(cpu),
                         Bench::ms(bareCpuMs), Bench::percent((cpu - bareCpuMs) / bareMs),
                         QStringLiteral("<= 2%"), cpu - bareCpuMs <= 0.02 * bareMs});
        const double tree = ourTicks * tickMs / size.rounds, bareTree = bareTicks * tickMs / size.rounds;
        Bench::printRow({QStringLiteral("1 process-tree CPU, load+scan, chr"), label, Bench::ms(tree),
                         Bench::ms(bareTree), Bench::percent(tree / bareTree - 1), QStringLiteral("<= 2%"),
                         tree <= 1.02 * bareTree});
    }
    return 0;
}

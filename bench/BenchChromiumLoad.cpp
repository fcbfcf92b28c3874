// What the browser adds to a page load with Chromium, next to a bare QWebEngineView loading the
// same page in the same process. With Chromium the browser's load-time work is mostly not in this
// process: a small watcher goes into every document, the page script only where the browser asks
// for it, and what is left here is asking the document for its token at the load and, on a page
// with recorded rules, the scan that finds the controls to refill. So, on generated sign-up pages:
// - the load itself, start to load-finished, with the page script against without it;
// - the refill scan: from load-finished to the scan's answer, as the window waits for it;
// - CPU time: this process's main thread (where our slots run, along with Chromium's own browser
//   side) and the whole process tree (helpers included), over the load and the scan, against the
//   bare view's over its load;
// and what a document without controls costs: the same pages with no control in them, loaded
// without a scan.
// Both views use a profile that keeps everything in memory, as the browser's does, and are shown at
// the same size; loads alternate between them, and every ratio is taken within its round, where
// both sides met the same load on the machine: the median of those is the figure, and their spread
// is printed with it.

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

// Loads url in view; with page, then scans it as the window does for its rules, when scan.
Times loadOnce(QWebEngineView *view, ChromiumPage *page, const QUrl &url, bool scan)
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
        if (!page || !scan) {
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
        bool controls;
    } sizes[] = {{1000, 21, true},  {10000, 13, true}, {50000, 7, true},
                 {100000, 5, true}, {1000, 21, false}, {10000, 13, false}};
    int serial = 0;
    for (const auto &size : sizes) {
        const QString path = QDir(directory.path())
                                 .filePath(QStringLiteral("form%1%2.html")
                                               .arg(size.elements)
                                               .arg(size.controls ? QString() : QStringLiteral("-plain")));
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)
            || file.write(Bench::generatedForm(size.elements, size.controls).toUtf8()) < 0) {
            qFatal("cannot write the page");
        }
        file.close();
        std::vector<qint64> ourLoad, bareLoad, scan, ourCpu, bareCpu;
        std::vector<double> loadRatios, cpuShares, treeRatios;
        qint64 ourTicks = 0, bareTicks = 0;
        // One unmeasured load on each side first: the processes and caches warm up.
        for (int round = -1; round < size.rounds; ++round) {
            QUrl url = QUrl::fromLocalFile(path);
            url.setQuery(QString::number(++serial));
            Times ours, theirs;
            if (round % 2 == 0) {
                ours = loadOnce(&view, &page, url, size.controls);
                theirs = loadOnce(&bare, nullptr, url, false);
            } else {
                theirs = loadOnce(&bare, nullptr, url, false);
                ours = loadOnce(&view, &page, url, size.controls);
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
            loadRatios.push_back(double(ours.loadNs) / theirs.loadNs);
            // As a share of the load, counted as a ratio over 1 for spreadText.
            cpuShares.push_back(1 + double(ours.mainCpuNs - theirs.mainCpuNs) / theirs.loadNs);
            treeRatios.push_back(double(ours.treeTicks + 1) / (theirs.treeTicks + 1));
        }
        const QString label =
            Bench::count(size.elements)
            + (size.controls ? QStringLiteral(" elements") : QStringLiteral(", no controls"));
        const QString what =
            size.controls ? QStringLiteral("with the page script") : QStringLiteral("no controls");
        const Bench::Spread load = Bench::spreadOf(loadRatios);
        Bench::printRow({QStringLiteral("1 load, ") + what + QStringLiteral(", chr"), label,
                         Bench::ms(Bench::medianMs(ourLoad)), Bench::ms(Bench::medianMs(bareLoad)),
                         Bench::percent(load.median - 1), QStringLiteral("<= 2%"), load.median <= 1.02},
                        Bench::spreadText(load, true));
        const double bareMs = Bench::medianMs(bareLoad);
        if (size.controls) {
            const double scanMs = Bench::medianMs(scan);
            Bench::printRow({QStringLiteral("1 refill scan after load, chr"), label, Bench::ms(scanMs),
                             Bench::ms(bareMs), Bench::percent(scanMs / bareMs), QStringLiteral("-"), true});
        }
        const Bench::Spread cpu = Bench::spreadOf(cpuShares);
        Bench::printRow({QStringLiteral("1 main-thread CPU, load")
                             + (size.controls ? QStringLiteral("+scan") : QString())
                             + QStringLiteral(", chr"),
                         label, Bench::ms(Bench::medianMs(ourCpu)), Bench::ms(Bench::medianMs(bareCpu)),
                         Bench::percent(cpu.median - 1), QStringLiteral("<= 2%"), cpu.median <= 1.02},
                        Bench::spreadText(cpu, true));
        const double tree = ourTicks * tickMs / size.rounds, bareTree = bareTicks * tickMs / size.rounds;
        const Bench::Spread treeSpread = Bench::spreadOf(treeRatios);
        Bench::printRow({QStringLiteral("1 process-tree CPU, load")
                             + (size.controls ? QStringLiteral("+scan") : QString())
                             + QStringLiteral(", chr"),
                         label, Bench::ms(tree), Bench::ms(bareTree), Bench::percent(tree / bareTree - 1),
                         QStringLiteral("<= 2%"), tree <= 1.02 * bareTree},
                        Bench::spreadText(treeSpread, true));
    }
    return 0;
}

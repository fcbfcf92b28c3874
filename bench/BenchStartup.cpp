// Start-up and memory of the browser itself (the real program, unchanged) next to BareWebView, a
// bare web view showing the same page: the time from starting the process to the demo page's
// load having finished, the peak resident memory, and how resident memory grows over 300
// navigations and how high it peaks during them. Both programs run headless with the same
// environment, one process per sample.
//
// With --chromium the browser runs with --engine chromium next to BareWebEngineView. Chromium draws
// and runs pages in helper processes, so memory is that of the whole process tree: the resident
// sizes of the program and all its descendants added up, read every 20 ms (the kernel keeps a
// peak per process only, and those peaks need not coincide).

#include "benchsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QUrl>

#include <algorithm>
#include <csignal>

namespace {

const int navigations = 300;

struct Program
{
    QString name;
    QString path;
    QStringList arguments;
};

// A memory figure of a running process, in kB, from the kernel's status file.
qint64 statusKb(qint64 pid, const char *field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly)) {
        return 0;
    }
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field)) {
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong();
        }
    }
    return 0;
}

// The process's descendants, children first, from the kernel's process table.
QList<qint64> descendants(qint64 root)
{
    QHash<qint64, QList<qint64>> children;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &entry : entries) {
        bool number = false;
        const qint64 pid = entry.toLongLong(&number);
        if (!number) {
            continue;
        }
        QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
        if (!stat.open(QIODevice::ReadOnly)) {
            continue;
        }
        // The command name may hold spaces and parentheses: the fields start after its last ')'.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        children[fields.value(1).toLongLong()].append(pid);
    }
    QList<qint64> found;
    QList<qint64> pending{root};
    while (!pending.isEmpty()) {
        for (const qint64 child : children.value(pending.takeFirst())) {
            found.append(child);
            pending.append(child);
        }
    }
    return found;
}

qint64 treeRssKb(qint64 root)
{
    qint64 sum = statusKb(root, "VmRSS:");
    for (const qint64 pid : descendants(root)) {
        sum += statusKb(pid, "VmRSS:");
    }
    return sum;
}

struct Sample
{
    qint64 startNs = 0;
    qint64 peakKb = 0;
    qint64 firstRssKb = 0;
    qint64 lastRssKb = 0;
};

bool wholeTree = false;

qint64 residentKb(qint64 pid)
{
    return wholeTree ? treeRssKb(pid) : statusKb(pid, "VmRSS:");
}

// Runs the program until it has reported loads finished, then stops it and its helpers.
Sample run(const Program &program, int loads)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    QElapsedTimer timer;
    timer.start();
    process.start(program.path, program.arguments);
    Sample sample;
    int finished = 0;
    QByteArray pending;
    qint64 sampledPeakKb = 0;
    QElapsedTimer quiet;
    quiet.start();
    while (finished < loads) {
        if (!process.waitForReadyRead(wholeTree ? 20 : 60000)) {
            if (process.state() != QProcess::Running || quiet.elapsed() > 60000) {
                qFatal("%s stopped or hung before its load %d finished", qPrintable(program.name),
                       finished + 1);
            }
            sampledPeakKb = std::max(sampledPeakKb, treeRssKb(process.processId()));
            continue;
        }
        quiet.restart();
        pending += process.readAll();
        int end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(end);
            pending.remove(0, end + 1);
            if (line.contains("finished with ok:")) {
                if (!line.contains("true")) {
                    qFatal("%s could not load its page", qPrintable(program.name));
                }
                if (++finished == 1) {
                    sample.startNs = timer.nsecsElapsed();
                    sample.firstRssKb = residentKb(process.processId());
                }
                if (finished == loads) {
                    sample.lastRssKb = residentKb(process.processId());
                    break;
                }
            }
        }
    }
    // Let the page be painted before the peak is read.
    if (wholeTree) {
        for (int i = 0; i < 25; ++i) {
            QThread::msleep(20);
            sampledPeakKb = std::max(sampledPeakKb, treeRssKb(process.processId()));
        }
        sample.peakKb = std::max({sampledPeakKb, sample.firstRssKb, sample.lastRssKb});
    } else {
        QThread::msleep(500);
        sample.peakKb = statusKb(process.processId(), "VmHWM:");
    }
    // Helpers left behind would take the machine's time from the next sample.
    const QList<qint64> helpers = descendants(process.processId());
    process.kill();
    process.waitForFinished();
    for (const qint64 pid : helpers) {
        ::kill(pid_t(pid), SIGKILL);
    }
    return sample;
}

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

QString megabytes(double kb)
{
    return QString::number(kb / 1024, 'f', 1) + QStringLiteral(" MB");
}

// The demo's files in dir, with the start page pointing at page.
void prepareDemo(const QDir &dir, const QString &page)
{
    const QString demo = QStringLiteral(KAKIKOMI_DEMO_DIR);
    QFile::copy(demo + QStringLiteral("/jp-prefectures.txt"),
                dir.filePath(QStringLiteral("jp-prefectures.txt")));
    QFile source(demo + QStringLiteral("/profile.json"));
    QFile profile(dir.filePath(QStringLiteral("profile.json")));
    if (!source.open(QIODevice::ReadOnly) || !profile.open(QIODevice::WriteOnly)) {
        qFatal("cannot prepare the demo profile");
    }
    profile.write(source.readAll().replace("@DEMO_FORM_URL@", page.toUtf8()));
}

// The demo form, and a copy of it that moves on to its next copy a moment after loading, until
// the number in its query reaches the count of navigations. Not sooner than 60 ms: Chromium refuses
// a page more than 200 navigations in ten seconds.
void writePages(const QDir &dir)
{
    QFile form(QStringLiteral(KAKIKOMI_DEMO_DIR "/form.html"));
    if (!form.open(QIODevice::ReadOnly)) {
        qFatal("cannot read the demo form");
    }
    const QByteArray html = form.readAll();
    QFile::copy(form.fileName(), dir.filePath(QStringLiteral("form.html")));
    QByteArray walking = html;
    walking.replace("</body>", QByteArrayLiteral("<script>setTimeout(function () {"
                                                 "  var n = Number(location.search.slice(1)) || 0;"
                                                 "  if (n < ")
                                   + QByteArray::number(navigations)
                                   + ") location.href = location.pathname + '?' + (n + 1);"
                                     "}, 60);</script></body>");
    QFile walkingFile(dir.filePath(QStringLiteral("walk.html")));
    if (!walkingFile.open(QIODevice::WriteOnly)) {
        qFatal("cannot write the walking page");
    }
    walkingFile.write(walking);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    Bench::printHeader(argc, argv);
    for (int i = 1; i < argc; ++i) {
        wholeTree = wholeTree || qstrcmp(argv[i], "--chromium") == 0;
    }
    const QString engine = wholeTree ? QStringLiteral(", chromium") : QString();

    QTemporaryDir startDir, walkDir;
    const QDir start(startDir.path()), walk(walkDir.path());
    writePages(start);
    writePages(walk);
    const QString formUrl = QUrl::fromLocalFile(start.filePath(QStringLiteral("form.html"))).toString();
    const QString walkUrl = QUrl::fromLocalFile(walk.filePath(QStringLiteral("walk.html"))).toString();
    prepareDemo(start, formUrl);
    prepareDemo(walk, walkUrl);

    const QString bareName = wholeTree ? QStringLiteral("BareWebEngineView") : QStringLiteral("BareWebView");
    const QString barePath =
        wholeTree ? QStringLiteral(BARE_WEBENGINEVIEW_PROGRAM) : QStringLiteral(BARE_WEBVIEW_PROGRAM);
    const Program browser{QStringLiteral("kakikomi"), QStringLiteral(KAKIKOMI_PROGRAM),
                          wholeTree ? QStringList{QStringLiteral("--engine"), QStringLiteral("chromium")}
                                    : QStringList()};
    const Program bareForm{bareName, barePath, {formUrl}};
    const Program bareWalk{bareName, barePath, {walkUrl}};

    // Start-up: alternating, after one unmeasured start of each to warm the file cache.
    QDir::setCurrent(start.path());
    run(browser, 1);
    run(bareForm, 1);
    // Chromium's starts vary more (helper processes, a busier machine): more rounds. Each ratio is
    // taken within its round, the two sides one after the other, which goes first alternating.
    const int rounds = wholeTree ? 15 : 7;
    std::vector<double> ourStart, bareStart, ourPeak, barePeak, startRatios, peakRatios;
    for (int round = 0; round < rounds; ++round) {
        Sample ours, bare;
        if (round % 2 == 0) {
            ours = run(browser, 1);
            bare = run(bareForm, 1);
        } else {
            bare = run(bareForm, 1);
            ours = run(browser, 1);
        }
        ourStart.push_back(ours.startNs / 1e6);
        bareStart.push_back(bare.startNs / 1e6);
        ourPeak.push_back(ours.peakKb);
        barePeak.push_back(bare.peakKb);
        startRatios.push_back(double(ours.startNs) / bare.startNs);
        peakRatios.push_back(double(ours.peakKb) / bare.peakKb);
    }
    const double startMs = medianOf(ourStart), bareStartMs = medianOf(bareStart);
    const double peakKb = medianOf(ourPeak), barePeakKb = medianOf(barePeak);
    const Bench::Spread startUp = Bench::spreadOf(startRatios), peak = Bench::spreadOf(peakRatios);
    Bench::printRow({QStringLiteral("5 start-up to page loaded") + engine, QStringLiteral("demo form"),
                     Bench::ms(startMs), Bench::ms(bareStartMs), Bench::percent(startUp.median - 1),
                     QStringLiteral("<= +10%"), startUp.median <= 1.1},
                    Bench::spreadText(startUp, true));
    Bench::printRow({QStringLiteral("5 peak resident memory") + engine, QStringLiteral("demo form"),
                     megabytes(peakKb), megabytes(barePeakKb), Bench::percent(peak.median - 1),
                     QStringLiteral("<= +10%"), peak.median <= 1.1},
                    Bench::spreadText(peak, true));

    // Memory over a session: the walking page navigates 300 times in each program.
    QDir::setCurrent(walk.path());
    const Sample ours = run(browser, navigations + 1);
    const Sample bare = run(bareWalk, navigations + 1);
    const double growth = ours.lastRssKb - ours.firstRssKb, bareGrowth = bare.lastRssKb - bare.firstRssKb;
    const double growthTargetKb = 5 * 1024;
    Bench::printRow({QStringLiteral("5 memory growth") + engine,
                     QStringLiteral("%1 navigations").arg(navigations), megabytes(growth),
                     megabytes(bareGrowth), QString(), QStringLiteral("<= 5 MB"), growth <= growthTargetKb});
    Bench::printRow({QStringLiteral("5 peak resident memory over them") + engine,
                     QStringLiteral("%1 navigations").arg(navigations), megabytes(ours.peakKb),
                     megabytes(bare.peakKb), Bench::percent(double(ours.peakKb) / bare.peakKb - 1),
                     QStringLiteral("<= baseline"), ours.peakKb <= bare.peakKb});
    Bench::printRow({QStringLiteral("5 resident memory after them") + engine,
                     QStringLiteral("%1 navigations").arg(navigations), megabytes(ours.lastRssKb),
                     megabytes(bare.lastRssKb), Bench::percent(double(ours.lastRssKb) / bare.lastRssKb - 1),
                     QStringLiteral("-"), true});
    return 0;
}

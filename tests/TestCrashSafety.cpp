// profile.json survives a crash in the middle of a save and a disk that fills up during one: the
// file always holds one whole document, the previous one or the new one. A child process (this test
// program with an argument) saves ever larger profiles in a loop and is killed at random moments.

#include "store/profilestore.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <cstdio>

using namespace TestSupport;
using Values = QHash<QString, QVariant>;

namespace {

const char *const saveLoopArgument = "--save-until-killed";
const int kills = 200;

// Each generation of the profile is checkable on its own: its number, how many items it holds, and
// items that name the generation, so a torn file or one that mixes two generations is caught. Both
// the number of items and their length grow, up to a few hundred kilobytes.
int itemCount(int generation)
{
    return 20 + qMin(generation, 300);
}

QString item(int generation, int index)
{
    return QStringLiteral("g%1 i%2 ").arg(generation).arg(index)
           + QStringLiteral("山田花子 やまだはなこ ").repeated(1 + qMin(generation, 300) / 8);
}

void fillGeneration(Values &values, int generation)
{
    values.clear();
    values.insert(QStringLiteral("generation"), double(generation));
    values.insert(QStringLiteral("count"), double(itemCount(generation)));
    for (int i = 0; i < itemCount(generation); ++i) {
        values.insert(QStringLiteral("item%1").arg(i), item(generation, i));
    }
}

// A member that the store does not know: every save must carry it over unchanged.
QJsonObject startingRoot()
{
    return QJsonObject{{QStringLiteral("sites"),
                        QJsonObject{{QStringLiteral("https://example.com/"),
                                     QJsonObject{{QStringLiteral("email"), QStringLiteral("mail")}}}}},
                       {QStringLiteral("extra"), QJsonArray{1, QStringLiteral("two"), QJsonValue()}}};
}

// The generation that the bytes hold whole, or -1 with the reason.
int wholeGeneration(const QByteArray &bytes, QString *problem)
{
    bool wellFormed = false;
    QJsonObject root = ProfileStore::parseDocument(bytes, &wellFormed);
    Values values;
    ProfileStore(values).readProfileObject(root.value(QStringLiteral("profile")).toObject());
    root.remove(QStringLiteral("profile"));
    const int generation = values.value(QStringLiteral("generation")).toInt();
    Values expected;
    fillGeneration(expected, generation);
    if (!wellFormed || bytes.isEmpty()) {
        *problem = QStringLiteral("not a JSON object (%1 bytes)").arg(bytes.size());
    } else if (root != startingRoot()) {
        *problem = QStringLiteral("the other members changed");
    } else if (values != expected) {
        *problem = QStringLiteral("generation %1 is incomplete or mixed").arg(generation);
    } else {
        return generation;
    }
    return -1;
}

// The child: continues from the generation on disk and saves the next ones until it is killed,
// reporting each one that save() has confirmed.
int saveUntilKilled(const char *directory)
{
    if (!QDir::setCurrent(QString::fromLocal8Bit(directory))) {
        return 2;
    }
    Values values;
    ProfileStore store(values);
    std::optional<QJsonObject> root = store.load();
    if (!root) {
        return 3;
    }
    int generation = values.value(QStringLiteral("generation")).toInt();
    std::printf("loaded %d\n", generation);
    std::fflush(stdout);
    for (;;) {
        fillGeneration(values, ++generation);
        if (!store.save(*root)) {
            return 4;
        }
        std::printf("saved %d\n", generation);
        std::fflush(stdout);
    }
}

// Starts the profile at generation 1 with the extra member.
bool saveFirstGeneration(ProfileStore &store, Values &values, QJsonObject &root)
{
    root = startingRoot();
    fillGeneration(values, 1);
    return store.save(root);
}

// The last generation the child reported as saved, or fallback when it reported none. Only
// complete lines count: the kill may cut the last one short.
int lastReported(const QByteArray &output, int fallback)
{
    int last = fallback;
    for (const QByteArray &line : output.left(output.lastIndexOf('\n') + 1).split('\n')) {
        if (line.startsWith("saved ")) {
            last = line.mid(6).toInt();
        }
    }
    return last;
}

} // namespace

class TestCrashSafety : public QObject
{
    Q_OBJECT

private slots:
    void killedWhileSaving();
    void fullDiskDuringSave_data();
    void fullDiskDuringSave();
};

void TestCrashSafety::killedWhileSaving()
{
    WorkDir dir;
    {
        Values values;
        ProfileStore store(values);
        QJsonObject root;
        QVERIFY(saveFirstGeneration(store, values, root));
    }
    const quint32 seed = QRandomGenerator::global()->generate();
    QRandomGenerator random(seed);
    qInfo("kill moments drawn with seed %u", seed);

    int onDisk = 1;
    for (int kill = 1; kill <= kills; ++kill) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(), {saveLoopArgument, dir.path()});
        QVERIFY2(child.waitForStarted(30000), qPrintable(child.errorString()));
        QByteArray output;
        while (!output.contains('\n')) {
            QVERIFY2(child.waitForReadyRead(30000), "the saving child did not start its loop");
            output += child.readAllStandardOutput();
        }
        QCOMPARE(output.left(output.indexOf('\n')), QByteArray("loaded ") + QByteArray::number(onDisk));

        // The child does nothing but save, so almost every moment is inside a save: serialising,
        // writing, syncing or replacing the file.
        QThread::usleep(random.bounded(50000));
        child.kill();
        QVERIFY(child.waitForFinished(30000));
        QVERIFY2(child.exitStatus() == QProcess::CrashExit,
                 qPrintable(QStringLiteral("the child stopped by itself with %1").arg(child.exitCode())));
        output += child.readAllStandardOutput();

        const int confirmed = lastReported(output, onDisk);
        QString problem;
        const int generation = wholeGeneration(dir.read(QStringLiteral("profile.json")), &problem);
        QVERIFY2(generation >= 0, qPrintable(QStringLiteral("after kill %1: %2").arg(kill).arg(problem)));
        // The last confirmed save, or the one after it if the kill came between its commit and the
        // report.
        QVERIFY2(generation == confirmed || generation == confirmed + 1,
                 qPrintable(QStringLiteral("after kill %1: generation %2 on disk, %3 confirmed")
                                .arg(kill)
                                .arg(generation)
                                .arg(confirmed)));
        onDisk = generation;
    }
    qInfo("survived %d kills; %d generations saved, the last one %lld bytes", kills, onDisk - 1,
          QFileInfo(dir.filePath(QStringLiteral("profile.json"))).size());
}

void TestCrashSafety::fullDiskDuringSave_data()
{
    QTest::addColumn<int>("generation");

    // The file writes a small document from its buffer when the save is committed, a large one
    // while it is written.
    QTest::newRow("smaller than the write buffer") << 2;
    QTest::newRow("larger than the write buffer") << 200;
}

void TestCrashSafety::fullDiskDuringSave()
{
    QFETCH(int, generation);
    WorkDir dir;
    Values values;
    ProfileStore store(values);
    QJsonObject root;
    QVERIFY(saveFirstGeneration(store, values, root));
    const QByteArray previous = dir.read(QStringLiteral("profile.json"));

    fillGeneration(values, generation);
    MessageLog log;
    bool saved = true;
    QString error;
    {
        FileSizeLimit limit(256);
        QVERIFY(limit.active());
        saved = store.save(root, &error);
    }
    QVERIFY(!saved);
    QCOMPARE(dir.read(QStringLiteral("profile.json")), previous);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"profile.json"});
    const QStringList warnings = log.warnings().filter(QStringLiteral("saveProfile"));
    QCOMPARE(warnings.size(), 1);
    QVERIFY2(warnings.first().contains(dir.filePath(QStringLiteral("profile.json"))),
             qPrintable(warnings.first()));
    // The reason given to the caller names the step and the file's error, as the warning does.
    QVERIFY2(error.startsWith(QStringLiteral("書き込めません (")), qPrintable(error));
    QVERIFY2(warnings.first().contains('"' + error.mid(error.indexOf('(') + 1).chopped(1) + '"'),
             qPrintable(error));

    // The values stayed in memory: the next save with room writes them.
    QVERIFY(store.save(root));
    QString problem;
    QCOMPARE(wholeGeneration(dir.read(QStringLiteral("profile.json")), &problem), generation);
}

int main(int argc, char **argv)
{
    if (argc == 3 && qstrcmp(argv[1], saveLoopArgument) == 0) {
        return saveUntilKilled(argv[2]);
    }
    QCoreApplication app(argc, argv);
    TestCrashSafety test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestCrashSafety.moc"

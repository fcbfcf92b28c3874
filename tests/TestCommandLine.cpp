#include "programrun.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace TestSupport;

namespace {

// Every file and folder below root, as paths relative to it.
QStringList tree(const QString &root)
{
    QStringList paths;
    const QDir dir(root);
    const auto filters = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System;
    for (const QFileInfo &info : dir.entryInfoList(filters, QDir::Name)) {
        paths.append(info.fileName());
        if (info.isDir() && !info.isSymLink()) {
            for (const QString &below : tree(info.filePath())) {
                paths.append(info.fileName() + '/' + below);
            }
        }
    }
    return paths;
}

int mode(const QString &path)
{
    struct stat status;
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 ? int(status.st_mode & 07777) : -1;
}

} // namespace

class TestCommandLine : public QObject
{
    Q_OBJECT

private slots:
    void answers_data();
    void answers();
    void refusals_data();
    void refusals();
    void profileFolders_data();
    void profileFolders();
    void engines_data();
    void engines();
};

// Help and version need no display.
void TestCommandLine::answers_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("--help") << QStringList{"--help"}
                            << QStringList{"Usage:", "--profile-dir <folder>", "--user-profile",
                                           "--engine <engine>", "--version"};
    QTest::newRow("-h") << QStringList{"-h"} << QStringList{"--profile-dir <folder>"};
    QTest::newRow("--version") << QStringList{"--version"} << QStringList{"kakikomi " KAKIKOMI_VERSION "\n"};
    QTest::newRow("-v after a folder")
        << QStringList{"--profile-dir", "x", "-v"} << QStringList{"kakikomi " KAKIKOMI_VERSION "\n"};
}

void TestCommandLine::answers()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, shown);

    QTemporaryDir work;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
        environment.remove(name);
    }
    const ProgramRun run = runProgram(arguments, work.path(), environment);
    QVERIFY2(run.finished, run.err.constData());
    QCOMPARE(run.exitCode, 0);
    for (const QString &text : shown) {
        QVERIFY2(run.out.contains(text.toUtf8()), run.out.constData());
    }
    QVERIFY(!run.out.contains("check-prefectures"));
    QVERIFY(!run.out.contains("check-engine"));
    QVERIFY(tree(work.path()).isEmpty());
}

// Mistakes on the command line stop the program before it reads or writes anything, with a message
// that says what is wrong.
void TestCommandLine::refusals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("unknown option") << QStringList{"--nonsense"} << 2
                                    << "kakikomi: Unknown option 'nonsense'.\nTry 'kakikomi --help'";
    QTest::newRow("missing folder") << QStringList{"--profile-dir"} << 2
                                    << "kakikomi: Missing value after '--profile-dir'.";
    QTest::newRow("empty folder") << QStringList{"--profile-dir", ""} << 2 << "--profile-dir needs a folder";
    QTest::newRow("argument") << QStringList{"https://example.jp/"} << 2
                              << "kakikomi: Unexpected argument 'https://example.jp/'.";
    QTest::newRow("both folders") << QStringList{"--user-profile", "--profile-dir", "@/p"} << 2
                                  << "either --profile-dir or --user-profile";
    QTest::newRow("below a file")
        << QStringList{"--profile-dir", "@/file/new/profile"} << 1
        << "kakikomi: cannot create the profile folder @/file/new: Not a directory\n";
    QTest::newRow("unknown engine") << QStringList{"--engine", "gecko"} << 2
                                    << "kakikomi: Unknown engine 'gecko': give webkit or chromium.\nTry";
    // Checked before the folder is made.
    QTest::newRow("engine names are exact") << QStringList{"--profile-dir", "@/new", "--engine", "Chromium"}
                                            << 2 << "kakikomi: Unknown engine 'Chromium'";
    QTest::newRow("missing engine") << QStringList{"--engine"} << 2 << "Missing value after '--engine'.";
    QTest::newRow("a file") << QStringList{"--profile-dir", "@/file"} << 1
                            << "kakikomi: the profile folder @/file is not a folder\n";
    QTest::newRow("name too long") << QStringList{"--profile-dir", "@/new/" + QString(300, 'x')} << 1
                                   << "kakikomi: cannot create the profile folder @/new/xxx";
}

void TestCommandLine::refusals()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    // "@" stands for a folder holding a file, "file"; the program runs in another, empty one.
    QTemporaryDir root;
    QFile file(root.filePath("file"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.close();
    QTemporaryDir work;
    arguments.replaceInStrings("@", root.path());
    const ProgramRun run = runProgram(arguments, work.path());
    QVERIFY2(run.finished, run.err.constData());
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message.replace("@", root.path()).toUtf8()), run.err.constData());
    QVERIFY(run.out.isEmpty());
    QCOMPARE(tree(root.path()), QStringList{"file"});
    QCOMPARE(tree(work.path()), QStringList());
}

// Which folder the program works in, what it creates there, and which prefecture list the
// 個人情報入力 dialog then shows.
void TestCommandLine::profileFolders_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("environment"); // NAME=value, or NAME alone to remove it
    QTest::addColumn<QString>("folder"); // relative to the test's temporary folder
    QTest::addColumn<QStringList>("created");
    QTest::addColumn<QByteArray>("list"); // null: none in the folder

    const QByteArray three("01\t北海道\tHokkaido\n13\t東京都\tTokyo\n47\t沖縄県\tOkinawa\n");
    QTest::newRow("new folder") << QStringList{"--profile-dir", "@/a/b/profile"} << QStringList{}
                                << "a/b/profile" << QStringList{"a", "a/b", "a/b/profile"} << QByteArray();
    QTest::newRow("relative to the current directory")
        << QStringList{"--profile-dir", "profile"} << QStringList{} << "work/profile"
        << QStringList{"work/profile"} << QByteArray();
    QTest::newRow("user profile in XDG_DATA_HOME")
        << QStringList{"--user-profile"} << QStringList{"XDG_DATA_HOME=@/data", "HOME=@/home"}
        << "data/kakikomi" << QStringList{"data", "data/kakikomi"} << QByteArray();
    QTest::newRow("user profile in the home folder")
        << QStringList{"--user-profile"} << QStringList{"XDG_DATA_HOME", "HOME=@/home"}
        << "home/.local/share/kakikomi"
        << QStringList{"home", "home/.local", "home/.local/share", "home/.local/share/kakikomi"}
        << QByteArray();
    QTest::newRow("relative XDG_DATA_HOME ignored")
        << QStringList{"--user-profile"} << QStringList{"XDG_DATA_HOME=data", "HOME=@/home"}
        << "home/.local/share/kakikomi"
        << QStringList{"home", "home/.local", "home/.local/share", "home/.local/share/kakikomi"}
        << QByteArray();
    QTest::newRow("existing folder with its own list")
        << QStringList{"--profile-dir", "@/work"} << QStringList{} << "work" << QStringList{} << three;
    QTest::newRow("current directory") << QStringList{} << QStringList{} << "work" << QStringList{} << three;
}

void TestCommandLine::profileFolders()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, environment);
    QFETCH(QString, folder);
    QFETCH(QStringList, created);
    QFETCH(QByteArray, list);

    QTemporaryDir root;
    QVERIFY(QDir(root.path()).mkdir("work"));
    QVERIFY(QFile::setPermissions(root.filePath("work"), QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                             | QFileDevice::ExeOwner | QFileDevice::ReadGroup
                                                             | QFileDevice::ExeGroup));
    if (!list.isNull()) {
        QFile file(root.filePath(folder + "/jp-prefectures.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(list);
    }
    const QStringList before = tree(root.path());
    QProcessEnvironment variables = programEnvironment();
    for (QString variable : environment) {
        variable.replace("@", root.path());
        const int equals = variable.indexOf('=');
        if (equals < 0) {
            variables.remove(variable);
        } else {
            variables.insert(variable.left(equals), variable.mid(equals + 1));
        }
    }
    arguments.replaceInStrings("@", root.path());
    const ProgramRun run = runProgram(arguments << "--check-prefectures", root.filePath("work"), variables);
    QVERIFY2(run.finished, run.err.constData());
    QCOMPARE(run.exitCode, 0);

    QStringList expectedTree = before + created;
    expectedTree.sort();
    QStringList actualTree = tree(root.path());
    actualTree.sort();
    QCOMPARE(actualTree, expectedTree);
    for (const QString &path : created) {
        QCOMPARE(mode(root.filePath(path)), 0700);
    }
    QCOMPARE(mode(root.filePath("work")), 0750);

    const QList<QByteArray> fields = run.out.trimmed().split('\t');
    QCOMPARE(fields.size(), 2);
    if (list.isNull()) {
        // The dialog falls back on the list the build keeps beside the program.
        QCOMPARE(fields.at(0), QByteArray("47"));
        QCOMPARE(QFileInfo(QString::fromUtf8(fields.at(1))).canonicalFilePath(),
                 QFileInfo(QFileInfo(KAKIKOMI_PROGRAM).path() + "/../share/kakikomi/jp-prefectures.txt")
                     .canonicalFilePath());
    } else {
        QCOMPARE(fields.at(0), QByteArray("3"));
        QCOMPARE(QString::fromUtf8(fields.at(1)), root.filePath(folder + "/jp-prefectures.txt"));
    }
}

// The engine for the window: the command line's, else the profile's "engine" member, else WebKit;
// and as root, Chromium only when its sandbox has been turned off. The chosen engine must run a page.
// Chromium comes from the module beside the program, which a WebKit start does without.
void TestCommandLine::engines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("profile"); // null: no profile.json
    QTest::addColumn<QStringList>("environment"); // NAME=value
    QTest::addColumn<bool>("onlyAsRoot");
    // Null: the built program. Else a copy of it in a folder of its own, with this in place of its
    // module, or without one when empty.
    QTest::addColumn<QByteArray>("module");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("shown"); // on standard output when 0, else on standard error

    const QStringList noSandbox{"QTWEBENGINE_DISABLE_SANDBOX=1"};
    const QByteArray chromium(R"({"engine": "chromium", "profile": {}})");
    QTest::newRow("plain start") << QStringList{} << QByteArray() << QStringList{} << false << QByteArray()
                                 << 0 << QByteArray("webkit\n");
    QTest::newRow("profile without a choice")
        << QStringList{} << QByteArray(R"({"profile": {}})") << QStringList{} << false << QByteArray() << 0
        << QByteArray("webkit\n");
    QTest::newRow("profile's choice")
        << QStringList{} << chromium << noSandbox << false << QByteArray() << 0 << QByteArray("chromium\n");
    QTest::newRow("command line over the profile")
        << QStringList{"--engine", "webkit"} << chromium << QStringList{} << false << QByteArray() << 0
        << QByteArray("webkit\n");
    QTest::newRow("command line over a webkit profile")
        << QStringList{"--engine", "chromium"} << QByteArray(R"({"engine": "webkit"})") << noSandbox << false
        << QByteArray() << 0 << QByteArray("chromium\n");
    QTest::newRow("unknown name in the profile")
        << QStringList{} << QByteArray(R"({"engine": "gecko"})") << QStringList{} << false << QByteArray()
        << 0 << QByteArray("webkit\n");
    QTest::newRow("unreadable profile")
        << QStringList{} << QByteArray("{\"engine\": \"chromium\"") << QStringList{} << false << QByteArray()
        << 0 << QByteArray("webkit\n");
    QTest::newRow("root with the sandbox")
        << QStringList{"--engine", "chromium"} << QByteArray() << QStringList{} << true << QByteArray() << 1
        << QByteArray(
               "kakikomi: the chromium engine cannot run as root with its sandbox. Start Kakikomi as a "
               "normal user, or use --engine webkit; to run Chromium without its sandbox, set "
               "QTWEBENGINE_DISABLE_SANDBOX=1.\n");
    QTest::newRow("root with the profile's choice") << QStringList{} << chromium << QStringList{} << true
                                                    << QByteArray() << 1 << QByteArray("cannot run as root");
    QTest::newRow("root, sandbox off in Chromium's flags")
        << QStringList{"--engine", "chromium"} << QByteArray()
        << QStringList{"QTWEBENGINE_CHROMIUM_FLAGS=--disable-gpu --no-sandbox"} << true << QByteArray() << 0
        << QByteArray("chromium\n");
    const QByteArray noModule(""), notALibrary("not a library\n");
    QTest::newRow("webkit without the module")
        << QStringList{} << QByteArray() << QStringList{} << false << noModule << 0 << QByteArray("webkit\n");
    QTest::newRow("chromium without the module")
        << QStringList{"--engine", "chromium"} << QByteArray() << noSandbox << false << noModule << 1
        << QByteArray("kakikomi: the chromium engine cannot be loaded: ");
    QTest::newRow("profile's choice without the module")
        << QStringList{} << chromium << noSandbox << false << noModule << 1 << QByteArray("cannot be loaded");
    QTest::newRow("a module that is no library")
        << QStringList{"--engine", "chromium"} << QByteArray() << noSandbox << false << notALibrary << 1
        << QByteArray("cannot be loaded");
}

void TestCommandLine::engines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, profile);
    QFETCH(QStringList, environment);
    QFETCH(bool, onlyAsRoot);
    QFETCH(QByteArray, module);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, shown);

    if (onlyAsRoot && ::getuid() != 0) {
        QSKIP("Chromium's sandbox refuses only root");
    }
    QTemporaryDir work;
    if (!profile.isNull()) {
        QFile file(work.filePath("profile.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(profile);
    }
    QProcessEnvironment variables = programEnvironment();
    variables.remove("QTWEBENGINE_DISABLE_SANDBOX");
    variables.remove("QTWEBENGINE_CHROMIUM_FLAGS");
    // Offscreen has no OpenGL for Chromium's view to draw with.
    variables.insert("QT_QUICK_BACKEND", "software");
    for (const QString &variable : environment) {
        variables.insert(variable.section('=', 0, 0), variable.section('=', 1));
    }
    QTemporaryDir installation;
    QString program = QStringLiteral(KAKIKOMI_PROGRAM);
    const QString modulePath = installation.filePath("lib/kakikomi/libkakikomi-chromium.so");
    if (!module.isNull()) {
        QVERIFY(QDir().mkpath(installation.filePath("bin")));
        program = installation.filePath("bin/kakikomi");
        QVERIFY(QFile::copy(QStringLiteral(KAKIKOMI_PROGRAM), program));
        if (!module.isEmpty()) {
            QVERIFY(QDir().mkpath(QFileInfo(modulePath).path()));
            QFile file(modulePath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(module);
        }
    }
    // A start that must fail is a real one, not the check: it has to end before any window.
    if (exitCode == 0) {
        arguments << "--check-engine";
    }
    const ProgramRun run = runProgram(arguments, work.path(), variables, 30000, program);
    QVERIFY2(run.finished, run.err.constData());
    QCOMPARE(run.exitCode, exitCode);
    if (exitCode == 0) {
        QCOMPARE(run.out, shown);
    } else {
        QVERIFY2(run.err.contains(shown), run.err.constData());
        QVERIFY(run.out.isEmpty());
    }
    if (exitCode != 0 && !module.isNull()) {
        // Says which file it could not load.
        QVERIFY2(run.err.contains(modulePath.toLocal8Bit()), run.err.constData());
    }
    // Choosing reads the profile and leaves it as it was.
    QCOMPARE(tree(work.path()), profile.isNull() ? QStringList() : QStringList{"profile.json"});
    if (!profile.isNull()) {
        QFile file(work.filePath("profile.json"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), profile);
    }
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "TestCommandLine.moc"

#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/profilelock.h"
#include "browser.h"
#include "loopbackserver.h"
#include "page/webkit/singlewebview.h"
#include "programrun.h"
#include "testsupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLockFile>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

#include <csignal>

using namespace TestSupport;

namespace {

const QString formAddress = "http://form.test/register";

QByteArray profileDocument()
{
    const QJsonObject document{
        {"profile", QJsonObject{{"familyName", "山田"}, {"city", "港区"}}},
        {"actions", QJsonObject{{"姓", QJsonArray{"familyName"}}, {"市区町村", QJsonArray{"city"}}}},
        {"sites", QJsonObject{{"http://other.test/", QJsonObject{{"q", "city"}}}}},
    };
    return QJsonDocument(document).toJson();
}

QJsonObject savedSites(const WorkDir &dir)
{
    return QJsonDocument::fromJson(dir.read("profile.json")).object().value("sites").toObject();
}

QStringList entries(const WorkDir &dir)
{
    return QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

} // namespace

class TestDesktopStart : public QObject
{
    Q_OBJECT

private slots:
    void laterStartRaisesTheFirstAndLosesNothing();
    void silentHolderKeepsTheFolder();
    void greeting_data();
    void greeting();
    void stopSignalEndsInOrder_data() { engineRows(); }
    void stopSignalEndsInOrder();
};

// Two programs in one folder: the later one hands over to the first and writes nothing, so every
// choice made in the first stays in profile.json. The first takes over the lock that a crashed
// program left behind.
void TestDesktopStart::laterStartRaisesTheFirstAndLosesNothing()
{
    WorkDir dir;
    dir.write("profile.json", profileDocument());
    {
        QProcess crashed;
        crashed.setWorkingDirectory(dir.path());
        crashed.setProcessEnvironment(programEnvironment());
        crashed.start(KAKIKOMI_PROGRAM, QStringList());
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(dir.filePath("profile.json.lock")), 20000);
        crashed.kill();
        QVERIFY(crashed.waitForFinished());
    }

    ProfileLock lock;
    QCOMPARE(lock.acquire(), std::optional<int>());
    MainWindow window;
    lock.raiseOnRequest(&window);
    QSignalSpy raised(&lock, &ProfileLock::raiseRequested);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(loadHtml(qobject_cast<QWebView *>(window.view()), "<input type=text id=a><input type=text id=b>",
                     formAddress));
    clickAndChoose(qobject_cast<QWebView *>(window.view()), "#a", "姓: ");
    const QByteArray afterFirstChoice = dir.read("profile.json");

    QProcess later;
    later.setWorkingDirectory(dir.path());
    later.setProcessEnvironment(programEnvironment());
    later.start(KAKIKOMI_PROGRAM, QStringList());
    QTRY_COMPARE_WITH_TIMEOUT(later.state(), QProcess::NotRunning, 20000);
    QCOMPARE(later.exitStatus(), QProcess::NormalExit);
    QCOMPARE(later.exitCode(), 0);
    QCOMPARE(raised.count(), 1);
    QCOMPARE(dir.read("profile.json"), afterFirstChoice);

    clickAndChoose(qobject_cast<QWebView *>(window.view()), "#b", "市区町村: ");
    const QJsonObject expected{{"http://other.test/", QJsonObject{{"q", "city"}}},
                               {formAddress, QJsonObject{{"a", "familyName"}, {"b", "city"}}}};
    QCOMPARE(savedSites(dir), expected);
    QCOMPARE(entries(dir), (QStringList{"profile.json", "profile.json.lock"}));
}

// A holder that does not answer (hung, or an older program) keeps the folder: the later start says
// so and quits without touching anything.
void TestDesktopStart::silentHolderKeepsTheFolder()
{
    WorkDir dir;
    dir.write("profile.json", profileDocument());
    QLockFile held(dir.filePath("profile.json.lock"));
    QVERIFY(held.tryLock(0));
    const QStringList before = entries(dir);

    const ProgramRun run = runProgram({}, dir.path());
    QVERIFY2(run.finished, run.err.constData());
    QCOMPARE(run.exitCode, 1);
    const QString message = QString("kakikomi: the profile in %1 is in use by another program (process %2 ")
                                .arg(QDir(dir.path()).canonicalPath())
                                .arg(QCoreApplication::applicationPid());
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    QVERIFY2(!run.err.contains("loadProfile"), run.err.constData());
    QCOMPARE(entries(dir), before);
    QCOMPARE(dir.read("profile.json"), profileDocument());
}

// Started in a profile folder that has no profile yet, the window says where the data is entered.
void TestDesktopStart::greeting_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("profile");
    QTest::addColumn<QString>("message");

    const QString greeting = "情報入力 → 個人情報入力 で個人情報を入力してください";
    const QString loaded = "ページが表示されました";
    QTest::newRow("first start in a profile folder")
        << QStringList{"--profile-dir", "new"} << false << greeting;
    QTest::newRow("first start in the user's folder") << QStringList{"--user-profile"} << false << greeting;
    QTest::newRow("profile already there") << QStringList{"--profile-dir", "."} << true << loaded;
    QTest::newRow("current directory, as before") << QStringList{} << false << loaded;
}

void TestDesktopStart::greeting()
{
    QFETCH(QStringList, arguments);
    QFETCH(bool, profile);
    QFETCH(QString, message);

    WorkDir dir;
    const QByteArray dataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", dir.filePath("data").toUtf8());
    if (profile) {
        dir.write("profile.json", profileDocument());
    }
    CommandLine commandLine;
    QCOMPARE(commandLine.apply(QStringList{"kakikomi"} + arguments), std::optional<int>());
    if (dataHome.isNull()) {
        qunsetenv("XDG_DATA_HOME");
    } else {
        qputenv("XDG_DATA_HOME", dataHome);
    }
    MainWindow window;
    window.show();
    window.loadStartPage();
    commandLine.greetNewUser(window);
    QTRY_COMPARE(window.statusBar()->currentMessage(), message);
    QTest::qWait(100);
    QCOMPARE(window.statusBar()->currentMessage(), message);
    QVERIFY(!QFile::exists("profile.json") || profile);
}

// A session that ends asks the program to stop: it ends as when its window is closed, so the login
// a site just gave it is on disk for the next start (Chromium writes its cookies only now and then).
void TestDesktopStart::stopSignalEndsInOrder()
{
    QFETCH(Engine, engine);
    LoopbackServer http;
    const QByteArray expires =
        QDateTime::currentDateTimeUtc().addDays(30).toString(Qt::RFC2822Date).toLatin1();
    http.setResponse(
        "/login", "Content-Type: text/html\r\nSet-Cookie: member=yamada; Path=/; Expires=" + expires + "\r\n",
        "<p>ようこそ</p>");
    QVERIFY(http.start());
    WorkDir dir;
    dir.write("profile.json", QJsonDocument(QJsonObject{{"startPage", http.url("/login")}}).toJson());

    QProcess program;
    program.setWorkingDirectory(dir.path());
    program.setProcessEnvironment(programEnvironment());
    program.start(KAKIKOMI_PROGRAM, {"--engine", Engines::name(engine)});
    QTRY_VERIFY_WITH_TIMEOUT(!http.requestsFor("/login").isEmpty(), 30000);
    // Time for the answer to reach the engine, not for the program to save on its own.
    QTest::qWait(300);
    ::kill(pid_t(program.processId()), SIGTERM);
    QVERIFY(program.waitForFinished(30000));
    QCOMPARE(program.exitStatus(), QProcess::NormalExit);
    QCOMPARE(program.exitCode(), 0);
    QVERIFY(!QFile::exists(dir.filePath("profile.json.lock")));
    const QByteArray kept =
        dir.read(engine == Engine::WebKit ? "profile.cookies" : "profile.chromium/Cookies");
    QVERIFY2(kept.contains("member") && kept.contains("yamada"),
             program.readAllStandardError().right(2000).constData());
}

QTEST_MAIN(TestDesktopStart)
#include "TestDesktopStart.moc"

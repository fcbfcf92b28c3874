// What a browser people live in needs besides filling forms, on both engines: the history and reload
// keys and mouse buttons, downloads into the download folder, printing, and cookies that outlive a
// restart. Pages come from a loopback server in this process.

#include "app/browsingcontrols.h"
#include "app/downloads.h"
#include "browser.h"
#include "loopbackserver.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>
#include <QNetworkCookie>
#include <QPrintDialog>
#include <QPrinter>
#include <QSignalSpy>
#include <QTest>

using namespace TestSupport;

namespace {

const int loadTimeout = 30000;

QByteArray page(const QByteArray &marker, const QByteArray &body = QByteArray())
{
    // Every page counts the Escape presses it gets.
    return "<html><head><title>" + marker
           + "</title><script>var escapes = 0; document.addEventListener("
             "'keydown', function (e) { if (e.keyCode == 27) { escapes++; } }, true);</script></head>"
             "<body><p id=\"marker\">"
           + marker + "</p>" + body + "</body></html>";
}

QString markerText(const Browser &browser)
{
    return browser.run(QStringLiteral("(document.getElementById('marker') || {}).textContent || ''"))
        .toString();
}

QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class TestEverydayBrowsing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void keysAndButtons_data();
    void keysAndButtons();
    void downloads_data();
    void downloads();
    void printing_data() { engineRows(); }
    void printing();
    void cookiesAcrossRestart_data();
    void cookiesAcrossRestart();

private:
    LoopbackServer http;
};

void TestEverydayBrowsing::initTestCase()
{
    http.setPage(QStringLiteral("/first"), page("first"));
    http.setPage(QStringLiteral("/second"), page("second", "<input id=\"field\" type=\"text\">"));
    http.setPage(QStringLiteral("/files"),
                 page("files",
                      "<a id=\"go\" href=\"/download\" style=\"display:block;width:300px;height:60px\">"
                      "file</a>"));
    http.setPage(QStringLiteral("/check"), page("check"));
    http.hold(QStringLiteral("/never"));
    QVERIFY(http.start());
}

// Each step is a key sequence, a mouse button ("BackButton", "ForwardButton"), "focus" to put the
// caret into the page's text field, or "load" to start a load that never ends; marker is the page shown after
// the steps.
void TestEverydayBrowsing::keysAndButtons_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("marker");
    QTest::addColumn<int>("reloads");
    QTest::addColumn<bool>("fresh");
    QTest::addColumn<int>("escapesSeen");

    forEachEngine([](Engine engine, const QByteArray &prefix) {
        const auto row = [&](const char *name, const QStringList &steps) -> QTestData & {
            return QTest::newRow(prefix + name) << engine << steps;
        };
        row("Alt+Left goes back", {"Alt+Left"}) << "first" << 0 << false << 0;
        row("Alt+Right goes forward again", {"Alt+Left", "Alt+Right"}) << "second" << 0 << false << 0;
        row("Alt+Left from a text field", {"focus", "Alt+Left"}) << "first" << 0 << false << 0;
        row("the mouse's back button", {"BackButton"}) << "first" << 0 << false << 0;
        row("the mouse's forward button", {"BackButton", "ForwardButton"}) << "second" << 0 << false << 0;
        row("F5 reloads", {"F5"}) << "second" << 1 << false << 0;
        row("Ctrl+R reloads", {"Ctrl+R"}) << "second" << 1 << false << 0;
        row("Ctrl+F5 reloads without the cache", {"Ctrl+F5"}) << "second" << 1 << true << 0;
        row("Ctrl+Shift+R reloads without the cache", {"Ctrl+Shift+R"}) << "second" << 1 << true << 0;
        row("Escape stops a load", {"load", "Escape"}) << "second" << 0 << false << 0;
        row("Escape without a load is the page's", {"Escape"}) << "second" << 0 << false << 1;
    });
}

void TestEverydayBrowsing::keysAndButtons()
{
    QFETCH(Engine, engine);
    QFETCH(QStringList, steps);
    QFETCH(QString, marker);
    QFETCH(int, reloads);
    QFETCH(bool, fresh);
    QFETCH(int, escapesSeen);

    Browser browser(QByteArray(), Browser::Showing::Exposed, engine);
    QApplication::setActiveWindow(&browser.window());
    QVERIFY(QTest::qWaitForWindowActive(&browser.window()));
    QVERIFY(browser.load(http.url(QStringLiteral("/first"))));
    QVERIFY(browser.load(http.url(QStringLiteral("/second"))));
    const int requestsBefore = http.requestsFor(QStringLiteral("/second")).size();
    QAction *stop = browser.window().browsingControls().stop();
    QVERIFY(!stop->isEnabled());
    browser.input()->setFocus();

    QSignalSpy finished(browser.window().view(), SIGNAL(loadFinished(bool)));
    for (const QString &step : qAsConst(steps)) {
        finished.clear();
        if (step == QLatin1String("focus")) {
            // A click would open the field menu.
            browser.run(QStringLiteral("document.getElementById('field').focus()"));
            QTRY_COMPARE(browser.run(QStringLiteral("document.activeElement.id")).toString(),
                         QStringLiteral("field"));
            continue;
        }
        if (step == QLatin1String("load")) {
            const int held = http.requestsFor(QStringLiteral("/never")).size();
            browser.run(QStringLiteral("location.href = '/never'"));
            QTRY_VERIFY_WITH_TIMEOUT(http.requestsFor(QStringLiteral("/never")).size() > held, loadTimeout);
            QVERIFY(stop->isEnabled());
            continue;
        }
        const QPoint middle = browser.input()->rect().center();
        if (step.endsWith(QLatin1String("Button"))) {
            QTest::mouseClick(browser.input(),
                              step.startsWith(QLatin1String("Back")) ? Qt::BackButton : Qt::ForwardButton,
                              Qt::NoModifier, middle);
        } else {
            const QKeySequence keys = QKeySequence::fromString(step);
            QTest::keyClick(browser.input(), Qt::Key(keys[0] & ~Qt::KeyboardModifierMask),
                            Qt::KeyboardModifiers(keys[0] & Qt::KeyboardModifierMask));
        }
        if (escapesSeen > 0) {
            // Nothing loads: the key went to the page.
            QTRY_COMPARE(browser.run(QStringLiteral("escapes")).toInt(), escapesSeen);
            QVERIFY(finished.isEmpty());
        } else {
            QVERIFY2(!finished.isEmpty() || finished.wait(loadTimeout), qPrintable(step));
        }
    }
    QCOMPARE(markerText(browser), marker);
    QVERIFY(!stop->isEnabled());
    const QList<QByteArray> requests = http.requestsFor(QStringLiteral("/second"));
    QCOMPARE(requests.size() - requestsBefore, reloads);
    if (reloads > 0) {
        QCOMPARE(requests.last().toLower().contains("no-cache"), fresh);
    }
}

void TestEverydayBrowsing::downloads_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("headers");
    QTest::addColumn<QStringList>("there");
    QTest::addColumn<bool>("folderBlocked");
    QTest::addColumn<QString>("saved");

    const QByteArray pdf = "Content-Type: application/pdf\r\n";
    forEachEngine([&](Engine engine, const QByteArray &prefix) {
        const auto row = [&](const char *name, const char *path, const QByteArray &headers) -> QTestData & {
            return QTest::newRow(prefix + name) << engine << QString::fromLatin1(path) << headers;
        };
        row("attachment", "/download", pdf + "Content-Disposition: attachment; filename=\"receipt.pdf\"\r\n")
            << QStringList() << false << "receipt.pdf";
        row("name taken", "/download", pdf + "Content-Disposition: attachment; filename=\"receipt.pdf\"\r\n")
            << QStringList{"receipt.pdf", "receipt (1).pdf"} << false << "receipt (2).pdf";
        row("Japanese name", "/download",
            pdf + "Content-Disposition: attachment; filename*=UTF-8''%E7%94%B3%E8%BE%BC%E6%9B%B8.pdf\r\n")
            << QStringList() << false << "申込書.pdf";
        row("name leading out of the folder", "/download",
            pdf + "Content-Disposition: attachment; filename=\"../../.profile\"\r\n")
            << QStringList() << false << QString();
        row("type the engine cannot show", "/download/data.bin", "Content-Type: application/octet-stream\r\n")
            << QStringList() << false << "data.bin";
        if (engine == Engine::WebKit) {
            // Chromium resumes such a download by itself and leaves it unfinished.
            row("connection breaks", "/download/cut.pdf",
                pdf + "Content-Disposition: attachment; filename=\"cut.pdf\"\r\n")
                << QStringList() << false << QString();
        }
        row("folder cannot be made", "/download",
            pdf + "Content-Disposition: attachment; filename=\"receipt.pdf\"\r\n")
            << QStringList() << true << QString();
    });
}

void TestEverydayBrowsing::downloads()
{
    QFETCH(Engine, engine);
    QFETCH(QString, path);
    QFETCH(QByteArray, headers);
    QFETCH(QStringList, there);
    QFETCH(bool, folderBlocked);
    QFETCH(QString, saved);

    const QByteArray body = "%PDF-1.4 申込書の控え " + QByteArray(20000, 'x');
    http.setResponse(QStringLiteral("/download"), QByteArray(), QByteArray());
    http.setResponse(path, headers, body);
    http.cutShort(QStringLiteral("/download/cut.pdf"));
    http.setPage(QStringLiteral("/files"),
                 page("files", "<a id=\"go\" href=\"" + path.toLatin1()
                                   + "\" style=\"display:block;width:300px;height:60px\">file</a>"));

    Browser browser(QByteArray(), Browser::Showing::Exposed, engine);
    // A file where a folder would have to be: the folder cannot be made, whoever runs the test.
    browser.dir.write(QStringLiteral("blocker"), "a file");
    const QString folder = browser.dir.filePath(folderBlocked ? "blocker/Downloads" : "home/Downloads");
    browser.window().downloads().setFolder(folder);
    for (const QString &name : qAsConst(there)) {
        QVERIFY(QDir().mkpath(folder));
        browser.dir.write("home/Downloads/" + name, "earlier");
    }
    QVERIFY(browser.load(http.url(QStringLiteral("/files"))));
    browser.click(QStringLiteral("#go"));
    QTRY_VERIFY_WITH_TIMEOUT(
        browser.statusMessage().startsWith(QStringLiteral("ダウンロードしました: "))
            || browser.statusMessage().startsWith(QStringLiteral("ダウンロードできませんでした: ")),
        loadTimeout);
    // The page stays, and nothing is loading.
    QCOMPARE(markerText(browser), QStringLiteral("files"));
    QVERIFY(browser.progressBar()->isHidden());
    QCOMPARE(browser.url(), http.url(QStringLiteral("/files")));

    if (folderBlocked) {
        QCOMPARE(browser.statusMessage(),
                 QStringLiteral("ダウンロードできませんでした: フォルダ %1 を作れません").arg(folder));
        QCOMPARE(browser.dir.read(QStringLiteral("blocker")), QByteArray("a file"));
        return;
    }
    if (path.contains(QLatin1String("cut"))) {
        // Nothing half written stays behind.
        QVERIFY2(browser.statusMessage().startsWith(QStringLiteral("ダウンロードできませんでした: ")),
                 qPrintable(browser.statusMessage()));
        QCOMPARE(filesIn(folder), QStringList());
        return;
    }
    const QStringList files = filesIn(folder);
    QCOMPARE(files.size(), there.size() + 1);
    for (const QString &name : qAsConst(there)) {
        QCOMPARE(browser.dir.read("home/Downloads/" + name), QByteArray("earlier"));
    }
    QString name = saved;
    if (name.isEmpty()) {
        // Whatever the engine made of it, the file is in the folder and not hidden.
        name = files.first();
        QVERIFY2(!name.startsWith(QLatin1Char('.')), qPrintable(name));
    }
    QVERIFY2(files.contains(name), qPrintable(files.join(", ")));
    const QString target = QDir(folder).filePath(name);
    QCOMPARE(browser.statusMessage(), QStringLiteral("ダウンロードしました: ") + target);
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), body);
    QVERIFY(!(file.permissions() & (QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther)));
}

// Ctrl+P opens the print dialog; printing itself goes to a PDF file here, without one.
void TestEverydayBrowsing::printing()
{
    QFETCH(Engine, engine);
    Browser browser(QByteArray(), Browser::Showing::Exposed, engine);
    QVERIFY(browser.load(http.url(QStringLiteral("/second"))));
    BrowsingControls &controls = browser.window().browsingControls();
    QCOMPARE(controls.print()->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    QVERIFY(browser.window().actions().contains(controls.print()));

    bool dialogShown = false;
    onNextDialog([&](QDialog *dialog) { dialogShown = qobject_cast<QPrintDialog *>(dialog) != nullptr; });
    controls.print()->trigger();
    QVERIFY(dialogShown);
    QCOMPARE(browser.statusMessage(), QStringLiteral("ページが表示されました"));

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(browser.dir.filePath(QStringLiteral("page.pdf")));
    QSignalSpy printed(&controls, &BrowsingControls::printed);
    controls.printTo(&printer);
    QVERIFY(!printed.isEmpty() || printed.wait(loadTimeout));
    QCOMPARE(printed.first().value(0).toBool(), true);
    QCOMPARE(browser.statusMessage(), QStringLiteral("印刷しました"));
    const QByteArray pdf = browser.dir.read(QStringLiteral("page.pdf"));
    QVERIFY2(pdf.startsWith("%PDF") && pdf.size() > 1000, pdf.left(100).constData());
}

// A login with an expiry survives a restart in the same folder; session cookies and, with
// forgetCookiesAtExit, every cookie end with the program. An unreadable cookie file is kept aside.
void TestEverydayBrowsing::cookiesAcrossRestart_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<bool>("forget");
    QTest::addColumn<QByteArray>("cookieFile");

    forEachEngine([](Engine engine, const QByteArray &prefix) {
        QTest::newRow(prefix + "kept") << engine << false << QByteArray();
        QTest::newRow(prefix + "forgotten at exit") << engine << true << QByteArray();
    });
    QTest::newRow("webkit: unreadable cookie file")
        << Engine::WebKit << false << QByteArray("\x01\x02 not cookies");
}

void TestEverydayBrowsing::cookiesAcrossRestart()
{
    QFETCH(Engine, engine);
    QFETCH(bool, forget);
    QFETCH(QByteArray, cookieFile);

    const QByteArray expires =
        QDateTime::currentDateTimeUtc().addDays(30).toString(Qt::RFC2822Date).toLatin1();
    http.setResponse(QStringLiteral("/login"),
                     "Content-Type: text/html\r\nSet-Cookie: member=yamada; Path=/; Expires=" + expires
                         + "\r\nSet-Cookie: visit=1; Path=/\r\n",
                     page("login"));
    const QString check = QStringLiteral("/check");
    const auto lastCookies = [this, &check]() {
        const QList<QByteArray> requests = http.requestsFor(check);
        for (const QByteArray &line : requests.last().split('\n')) {
            if (line.toLower().startsWith("cookie:")) {
                return line.trimmed();
            }
        }
        return QByteArray();
    };

    const QByteArray profile =
        QJsonDocument(QJsonObject{{"profile", QJsonObject()}, {"forgetCookiesAtExit", forget}}).toJson();
    Browser browser(profile, Browser::Showing::Hidden, engine);
    MessageLog log;
    if (!cookieFile.isEmpty()) {
        browser.dir.write(QStringLiteral("profile.cookies"), cookieFile);
        browser.restart();
        const QStringList aside = QDir(browser.dir.path()).entryList({"profile.cookies.corrupt-*"});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(browser.dir.read(aside.first()), cookieFile);
        QVERIFY(log.contains(QStringLiteral("cookies: cannot read")));
    }
    QVERIFY(browser.load(http.url(QStringLiteral("/login"))));
    QVERIFY(browser.load(http.url(check)));
    QVERIFY(lastCookies().contains("member=yamada"));
    QVERIFY(lastCookies().contains("visit=1"));

    browser.restart();
    QVERIFY(browser.load(http.url(check)));
    QCOMPARE(lastCookies().contains("member=yamada"), !forget);
    QVERIFY(!lastCookies().contains("visit=1"));

    // Kept beside profile.json, for the owner only; nothing at all when forgotten.
    const QString kept =
        browser.dir.filePath(engine == Engine::WebKit ? "profile.cookies" : "profile.chromium");
    QCOMPARE(QFileInfo::exists(kept), !forget);
    if (!forget) {
        const QFileDevice::Permissions others = QFileDevice::ReadGroup | QFileDevice::WriteGroup
                                                | QFileDevice::ExeGroup | QFileDevice::ReadOther
                                                | QFileDevice::WriteOther | QFileDevice::ExeOther;
        QCOMPARE(QFileInfo(kept).permissions() & others, QFileDevice::Permissions());
    }
}

QTEST_MAIN(TestEverydayBrowsing)
#include "TestEverydayBrowsing.moc"

// The browsing controls under a real web engine: certificate errors, new-window requests, the
// progress bar and status bar, the language actions and the home and Go buttons. Pages come from
// loopback servers in this process.

#include "browser.h"
#include "loopbackserver.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QNetworkAccessManager>
#include <QProgressBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>
#include <QStatusBar>
#include <QTest>
#include <QWebEngineView>
#include <QWebFrame>
#include <QWebPage>

#include <algorithm>
#include <memory>

using namespace TestSupport;

namespace {

const int loadTimeout = 30000;

QString markerText(const Browser &browser)
{
    return browser.run(QStringLiteral("(document.getElementById('marker') || {}).textContent || ''"))
        .toString();
}

// Connects f to a signal the views of both engines have.
template <typename WebKitSignal, typename ChromiumSignal, typename F>
void onView(const Browser &browser, WebKitSignal webkit, ChromiumSignal chromium, QObject *context, F f)
{
    if (browser.view()) {
        QObject::connect(browser.view(), webkit, context, f);
    } else {
        QObject::connect(static_cast<QWebEngineView *>(browser.window().view()), chromium, context, f);
    }
}

QByteArray page(const QByteArray &marker, const QByteArray &body = QByteArray())
{
    return "<html><head><title>" + marker + "</title></head><body><p id=\"marker\">" + marker + "</p>" + body
           + "</body></html>";
}

QStringList linesStartingWith(const MessageLog &log, const QStringList &prefixes)
{
    QStringList matching;
    const QStringList all = log.debugLines();
    for (const QString &line : all) {
        if (std::any_of(prefixes.begin(), prefixes.end(),
                        [&](const QString &p) { return line.startsWith(p); })) {
            matching.append(line);
        }
    }
    return matching;
}

} // namespace

class TestBrowsing : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void certificateErrorsAreLoggedAndIgnored_data();
    void certificateErrorsAreLoggedAndIgnored();
    void noRefillOverCertificateErrors_data() { engineRows(); }
    void noRefillOverCertificateErrors();
    void newWindowRequestsLoadInPlace_data();
    void newWindowRequestsLoadInPlace();
    void newWindowRequestsRefused_data();
    void newWindowRequestsRefused();
    void progressBarDuringSuccessfulLoad_data() { engineRows(); }
    void progressBarDuringSuccessfulLoad();
    void progressBarAfterFailedLoad_data() { engineRows(); }
    void progressBarAfterFailedLoad();
    void languageActions_data();
    void languageActions();
    void homeButton_data();
    void homeButton();
    void goButton();

private:
    LoopbackServer http;
};

void TestBrowsing::initTestCase()
{
    QVERIFY2(QSslSocket::supportsSsl(), "Qt Network has no TLS backend");
    qRegisterMetaType<QNetworkReply *>();
    qRegisterMetaType<QList<QSslError>>();

    http.setPage(QStringLiteral("/"), page("first"));
    http.setPage(QStringLiteral("/second"), page("second"));
    http.setPage(QStringLiteral("/home"), page("home"));
    http.setPage(QStringLiteral("/target"), page("target"));
    const QByteArray big = "<div style=\"display:block;width:300px;height:60px\">";
    http.setPage(QStringLiteral("/blank-link"),
                 page("opener", "<a id=\"go\" href=\"/target\" target=\"_blank\">" + big + "open</div></a>"));
    http.setPage(
        QStringLiteral("/named-link"),
        page("opener", "<a id=\"go\" href=\"/target\" target=\"elsewhere\">" + big + "open</div></a>"));
    http.setPage(QStringLiteral("/window-open"),
                 page("opener", "<button id=\"go\" style=\"width:300px;height:60px\""
                                " onclick=\"window.open('/target')\">open</button>"));
    QVERIFY(http.start());
    // Pages that ask for new windows they may not have: from a frame of another site (the same
    // server under another name), or to data or a local file.
    const QString button = QStringLiteral("<button id=\"go\" style=\"width:300px;height:60px\" "
                                          "onclick=\"window.open('%1')\">open</button>");
    http.setPage(QStringLiteral("/ad"), page("ad", button.arg(http.url(QStringLiteral("/target"))).toUtf8()));
    http.setPage(QStringLiteral("/framed-ad"),
                 page("opener", QStringLiteral("<iframe id=\"go\" style=\"width:400px;height:100px\" "
                                               "src=\"http://localhost:%1/ad\"></iframe>")
                                    .arg(http.serverPort())
                                    .toUtf8()));
    http.setPage(QStringLiteral("/open-data"),
                 page("opener", button.arg("data:text/html,<p>data</p>").toUtf8()));
    http.setPage(QStringLiteral("/open-file"), page("opener", button.arg("file:///etc/hostname").toUtf8()));
}

// The certificates are self-signed and valid from 2000 to 2125 (tests/data/make-certificates.sh).
void TestBrowsing::certificateErrorsAreLoggedAndIgnored_data()
{
    QTest::addColumn<QString>("certificate");
    QTest::addColumn<QList<int>>("expectedErrors");

    QTest::newRow("self-signed for 127.0.0.1")
        << QStringLiteral("loopback.crt") << QList<int>{QSslError::SelfSignedCertificate};
    QTest::newRow("self-signed for another host")
        << QStringLiteral("otherhost.crt")
        << QList<int>{QSslError::SelfSignedCertificate, QSslError::HostNameMismatch};
}

void TestBrowsing::certificateErrorsAreLoggedAndIgnored()
{
    QFETCH(QString, certificate);
    QFETCH(QList<int>, expectedErrors);

    LoopbackServer https;
    QVERIFY(https.useTls(QFINDTESTDATA("data/" + certificate), QFINDTESTDATA("data/loopback.key")));
    https.setPage(QStringLiteral("/secure"), page("secure"));
    QVERIFY(https.start());

    Browser browser(Browser::Showing::Shown);
    QSignalSpy sslErrors(browser.view()->page()->networkAccessManager(), &QNetworkAccessManager::sslErrors);
    MessageLog log;
    QVERIFY(loadUrl(browser.view(), https.url(QStringLiteral("/secure"))));
    QCOMPARE(markerText(browser), QStringLiteral("secure"));

    // Every connection reports its errors; each report gives one handler line, then one line per error.
    QVERIFY(!sslErrors.isEmpty());
    QStringList expectedLines;
    for (const QList<QVariant> &report : qAsConst(sslErrors)) {
        const auto errors = report.at(1).value<QList<QSslError>>();
        QList<int> codes;
        for (const QSslError &error : errors) {
            codes.append(error.error());
        }
        std::sort(codes.begin(), codes.end());
        QCOMPARE(codes, expectedErrors);

        expectedLines.append(QStringLiteral("handleSslErrors: "));
        for (const QSslError &error : errors) {
            expectedLines.append(QStringLiteral("ssl error:  \"%1\"").arg(error.errorString()));
        }
    }
    QStringList logged =
        linesStartingWith(log, {QStringLiteral("handleSslErrors: "), QStringLiteral("ssl error: ")});
    // The handler line ends with the reply's error string, whatever the engine put there.
    for (QString &line : logged) {
        if (line.startsWith(QLatin1String("handleSslErrors: "))) {
            line.truncate(int(qstrlen("handleSslErrors: ")));
        }
    }
    QCOMPARE(logged, expectedLines);
}

// Recorded values go into a page on their own only when it came over a sound connection; the user
// may still fill it.
void TestBrowsing::noRefillOverCertificateErrors()
{
    QFETCH(Engine, engine);
    const QString certificate = QFINDTESTDATA("data/loopback.crt");
    LoopbackServer https;
    QVERIFY(https.useTls(certificate, QFINDTESTDATA("data/loopback.key")));
    const QByteArray form = page(
        "form", "<input type=text id=a><input type=text id=b><label>メールアドレス <input id=c></label>");
    https.setPage(QStringLiteral("/form"), form);
    http.setPage(QStringLiteral("/form"), form);
    QVERIFY(https.start());
    const QString secure = https.url(QStringLiteral("/form"));
    const QString plain = http.url(QStringLiteral("/form"));

    const QString elsewhere = https.url(QStringLiteral("/elsewhere"));
    const QJsonObject rules{{"a", "mail"}};
    Browser browser(QJsonObject{{"profile", QJsonObject{{"mail", "a@b.jp"}, {"familyName", "山田"}}},
                                {"actions", QJsonObject{{"姓", QJsonArray{"familyName"}}}},
                                {"sites", QJsonObject{{secure, rules}, {plain, rules}, {elsewhere, rules}}},
                                {"wholeFormFill", QJsonArray{secure, elsewhere}}},
                    Browser::Showing::Exposed, engine);
    const auto *marker = browser.child<QLabel>("insecureMarker");
    QVERIFY(marker);
    QVERIFY(browser.load(plain));
    QTRY_COMPARE(browser.value("#a"), QString("a@b.jp"));
    QVERIFY(!marker->isVisible());

    QVERIFY(browser.load(secure));
    QCOMPARE(markerText(browser), QStringLiteral("form"));
    QTRY_COMPARE(browser.statusMessage(), QStringLiteral("証明書に問題があるため自動入力しませんでした"));
    QCOMPARE(browser.value("#a"), QString());
    QCOMPARE(browser.value("#c"), QString());
    QVERIFY(marker->isVisible());
    QVERIFY(browser.clickAndChoose("#b", "姓: "));
    QTRY_COMPARE(browser.value("#b"), QStringLiteral("山田"));
    QCOMPARE(browser.saved().value("sites").toObject().value(secure).toObject(),
             QJsonObject({{"a", "mail"}, {"b", "familyName"}}));
    // The page moves itself to another address of its site and builds a form there: it still came
    // over the failed certificate, and gets nothing on its own.
    browser.run("history.replaceState(null, '', '/elsewhere');"
                "document.body.insertAdjacentHTML('beforeend', '<p><input type=text id=a2 name=a>"
                "<label>メールアドレス <input id=c2></label></p>');");
    QTRY_COMPARE(browser.url(), elsewhere);
    QTest::qWait(500);
    QCOMPARE(browser.value("#a2"), QString());
    QCOMPARE(browser.value("#c2"), QString());

    QVERIFY(browser.load(plain));
    QVERIFY(!marker->isVisible());
    if (engine == Engine::Chromium) {
        // Chromium keeps a certificate error it accepted for the host, so the host stays insecure.
        return;
    }

    // The same address once its certificate is trusted is refilled as before.
    const QSslConfiguration previous = QSslConfiguration::defaultConfiguration();
    const auto restore = qScopeGuard([previous]() { QSslConfiguration::setDefaultConfiguration(previous); });
    QSslConfiguration trusting = previous;
    trusting.setCaCertificates(previous.caCertificates() + QSslCertificate::fromPath(certificate));
    QSslConfiguration::setDefaultConfiguration(trusting);
    // Connections made before keep the configuration they were made with.
    browser.view()->page()->networkAccessManager()->clearConnectionCache();
    QVERIFY(loadUrl(browser.view(), secure));
    QCOMPARE(browser.value("#a"), QString("a@b.jp"));
    QCOMPARE(browser.value("#b"), QStringLiteral("山田"));
    QCOMPARE(browser.value("#c"), QString("a@b.jp"));
    QCOMPARE(browser.statusMessage(),
             QStringLiteral("前回と同じく一括入力: 1 項目を入力しました（0 項目は未入力）"));
    QVERIFY(!marker->isVisible());
}

void TestBrowsing::newWindowRequestsLoadInPlace_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QString>("opener");

    forEachEngine([](Engine engine, const QByteArray &prefix) {
        QTest::newRow(prefix + "link with target _blank") << engine << QStringLiteral("/blank-link");
        QTest::newRow(prefix + "link with a named target") << engine << QStringLiteral("/named-link");
        QTest::newRow(prefix + "window.open on a click") << engine << QStringLiteral("/window-open");
    });
}

void TestBrowsing::newWindowRequestsRefused_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QString>("opener");

    forEachEngine([](Engine engine, const QByteArray &prefix) {
        QTest::newRow(prefix + "from a frame of another site") << engine << QStringLiteral("/framed-ad");
        QTest::newRow(prefix + "to data") << engine << QStringLiteral("/open-data");
        QTest::newRow(prefix + "to a local file") << engine << QStringLiteral("/open-file");
    });
}

void TestBrowsing::newWindowRequestsRefused()
{
    QFETCH(Engine, engine);
    QFETCH(QString, opener);

    Browser browser(QByteArray(), Browser::Showing::Exposed, engine);
    QVERIFY(browser.load(http.url(opener)));
    const QWidgetList topLevels = QApplication::topLevelWidgets();
    const int targets = http.requestedPaths().count(QStringLiteral("/target"));
    browser.click(QStringLiteral("#go"));
    if (opener == QLatin1String("/framed-ad")) {
        // The frame's button: the click lands in the middle of the frame.
        QTRY_VERIFY_WITH_TIMEOUT(http.requestedPaths().contains(QStringLiteral("/ad")), loadTimeout);
    }
    QTest::qWait(1500);
    QCOMPARE(browser.url(), http.url(opener));
    QCOMPARE(markerText(browser), QStringLiteral("opener"));
    QCOMPARE(QApplication::topLevelWidgets().size(), topLevels.size());
    QCOMPARE(http.requestedPaths().count(QStringLiteral("/target")), targets);
}

void TestBrowsing::newWindowRequestsLoadInPlace()
{
    QFETCH(Engine, engine);
    QFETCH(QString, opener);

    Browser browser(QByteArray(), Browser::Showing::Exposed, engine);
    QVERIFY(browser.load(http.url(opener)));
    const QWidgetList topLevels = QApplication::topLevelWidgets();

    MessageLog log;
    QSignalSpy finished(browser.window().view(), SIGNAL(loadFinished(bool)));
    browser.click(QStringLiteral("#go"));
    const QString target = http.url(QStringLiteral("/target"));
    QTRY_COMPARE_WITH_TIMEOUT(browser.url(), target, loadTimeout);
    QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), loadTimeout);
    QCOMPARE(finished.last().value(0).toBool(), true);
    QCOMPARE(markerText(browser), QStringLiteral("target"));

    if (engine == Engine::WebKit) {
        // The classic engine's request for a new view.
        QCOMPARE(linesStartingWith(log, {QStringLiteral("window type: ")}),
                 QStringList{QStringLiteral("window type:  0")});
    }
    const QStringList seen = linesStartingWith(log, {"on_webview_urlChanged url: ", "finished with ok: "});
    QVERIFY2(seen.contains(QStringLiteral("on_webview_urlChanged url:  QUrl(\"%1\")").arg(target)),
             qPrintable(seen.join('\n')));
    QCOMPARE(seen.last(), QStringLiteral("finished with ok:  true"));
    QCOMPARE(QApplication::topLevelWidgets().size(), topLevels.size());
}

void TestBrowsing::progressBarDuringSuccessfulLoad()
{
    QFETCH(Engine, engine);
    Browser browser(QByteArray(), Browser::Showing::Shown, engine);
    QProgressBar *bar = browser.progressBar();
    QVERIFY(bar->isHidden());

    QVERIFY(browser.load(http.url(QStringLiteral("/"))));
    QVERIFY(bar->isHidden());
    browser.child<QStatusBar>("statusBar")->showMessage(QStringLiteral("before the load"));

    // Connected after the window's own slots, so these see what the slots left behind.
    bool startedSeen = false;
    QStringList faults;
    onView(browser, &QWebView::loadStarted, &QWebEngineView::loadStarted, this, [&]() {
        startedSeen = true;
        if (!bar->isVisible() || bar->value() != 0 || !browser.statusMessage().isEmpty()) {
            faults.append(QStringLiteral("at start: visible %1, value %2, message \"%3\"")
                              .arg(bar->isVisible())
                              .arg(bar->value())
                              .arg(browser.statusMessage()));
        }
    });
    QList<int> reported;
    onView(browser, &QWebView::loadProgress, &QWebEngineView::loadProgress, this, [&](int v) {
        reported.append(v);
        if (!bar->isVisible() || bar->value() != v) {
            faults.append(
                QStringLiteral("at %1: visible %2, value %3").arg(v).arg(bar->isVisible()).arg(bar->value()));
        }
    });

    QVERIFY(browser.load(http.url(QStringLiteral("/second"))));
    QVERIFY(startedSeen);
    QVERIFY(!reported.isEmpty());
    QCOMPARE(faults, QStringList());
    QVERIFY(bar->isHidden());
    QCOMPARE(browser.statusMessage(), QStringLiteral("ページが表示されました"));
}

void TestBrowsing::progressBarAfterFailedLoad()
{
    // A port that was free a moment ago: the connection is refused.
    QTcpServer closed;
    QVERIFY(closed.listen(QHostAddress::LocalHost, 0));
    const QString refused = QStringLiteral("http://127.0.0.1:%1/").arg(closed.serverPort());
    closed.close();

    QFETCH(Engine, engine);
    Browser browser(QByteArray(), Browser::Showing::Shown, engine);
    QProgressBar *bar = browser.progressBar();
    QVERIFY(browser.load(http.url(QStringLiteral("/"))));

    QList<int> reported;
    onView(browser, &QWebView::loadProgress, &QWebEngineView::loadProgress, this,
           [&](int v) { reported.append(v); });
    QVERIFY(!browser.load(refused));
    QVERIFY(bar->isVisible());
    QCOMPARE(bar->value(), reported.isEmpty() ? 0 : reported.last());

    // The next load starts the bar from 0 again and hides it when it succeeds.
    QList<int> valuesAtStart;
    onView(browser, &QWebView::loadStarted, &QWebEngineView::loadStarted, this,
           [&]() { valuesAtStart.append(bar->value()); });
    QVERIFY(browser.load(http.url(QStringLiteral("/second"))));
    QCOMPARE(valuesAtStart, QList<int>{0});
    QVERIFY(bar->isHidden());
}

void TestBrowsing::languageActions_data()
{
    // J chooses 日本語, E chooses 英語, in the menu's way: the action toggles, then triggers.
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QString>("choices");
    QTest::addColumn<int>("language");

    forEachEngine([](Engine engine, const QByteArray &prefix) {
        const auto row = [&](const char *name) -> QTestData & {
            return QTest::newRow(prefix + name) << engine;
        };
        row("at start") << QString() << 0;
        row("日本語 while checked") << QStringLiteral("J") << 0;
        row("英語") << QStringLiteral("E") << 1;
        row("英語 while checked") << QStringLiteral("EE") << 1;
        row("英語 then 日本語") << QStringLiteral("EJ") << 0;
        row("日本語 twice after 英語") << QStringLiteral("EJJ") << 0;
        row("back and forth") << QStringLiteral("EJEJE") << 1;
    });
}

void TestBrowsing::languageActions()
{
    QFETCH(Engine, engine);
    QFETCH(QString, choices);
    QFETCH(int, language);

    Browser browser(QByteArray(), Browser::Showing::Shown, engine);
    auto *japanese = browser.child<QAction>("actionToJapanese");
    auto *english = browser.child<QAction>("actionToEnglish");
    QVERIFY(japanese && english);
    QCOMPARE(browser.filler().inputLanguage(), 0);
    QVERIFY(japanese->isChecked());
    QVERIFY(!english->isChecked());

    MessageLog log;
    for (int i = 0; i < choices.size(); ++i) {
        const bool toJapanese = choices.at(i) == QLatin1Char('J');
        (toJapanese ? japanese : english)->trigger();
        QVERIFY2(japanese->isChecked() == toJapanese && english->isChecked() != toJapanese,
                 qPrintable(QStringLiteral("after choice %1 of %2").arg(i + 1).arg(choices)));
        QCOMPARE(browser.filler().inputLanguage(), toJapanese ? 0 : 1);
    }
    QCOMPARE(browser.filler().inputLanguage(), language);
    QCOMPARE(log.count(QStringLiteral("on_actionToJapanese_triggered")), choices.count(QLatin1Char('J')));
    QCOMPARE(log.count(QStringLiteral("on_actionToEnglish_triggered")), choices.count(QLatin1Char('E')));
}

void TestBrowsing::homeButton_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QString>("startPage");

    forEachEngine([this](Engine engine, const QByteArray &prefix) {
        QTest::newRow(prefix + "start page on the server") << engine << http.url(QStringLiteral("/home"));
        QTest::newRow(prefix + "empty start page") << engine << QString();
    });
}

void TestBrowsing::homeButton()
{
    QFETCH(Engine, engine);
    QFETCH(QString, startPage);

    Browser browser(R"({"profile": {}, "actions": {}, "sites": {}, "startPage": ")" + startPage.toUtf8()
                        + "\"}",
                    Browser::Showing::Exposed, engine);
    QCOMPARE(browser.window().startPage(), startPage);
    QVERIFY(browser.load(http.url(QStringLiteral("/second"))));

    QSignalSpy finished(browser.window().view(), SIGNAL(loadFinished(bool)));
    QTest::mouseClick(browser.child<QPushButton>("goHome"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), loadTimeout);
    QCOMPARE(finished.last().value(0).toBool(), true);
    if (startPage.isEmpty()) {
        // The engine shows the empty address as a blank page.
        const QUrl shown(browser.url());
        QVERIFY2(shown.isEmpty() || shown == QUrl(QStringLiteral("about:blank")),
                 qPrintable(shown.toString()));
        QCOMPARE(markerText(browser), QString());
    } else {
        QCOMPARE(browser.url(), startPage);
        QCOMPARE(markerText(browser), QStringLiteral("home"));
    }
}

void TestBrowsing::goButton()
{
    Browser browser(Browser::Showing::Shown);
    auto *address = browser.child<QLineEdit>("url");
    auto *go = browser.child<QPushButton>("pushButton");
    QVERIFY(address->isHidden());
    QVERIFY(go->isHidden());

    QSignalSpy started(browser.view(), &QWebView::loadStarted);
    QSignalSpy finished(browser.view(), &QWebView::loadFinished);
    go->click();
    // An empty field navigates nowhere: the one load seen below is the one for the address.
    address->setText(http.url(QStringLiteral("/second")));
    go->click();
    QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), loadTimeout);
    QCOMPARE(finished.last().value(0).toBool(), true);
    QCOMPARE(started.size(), 1);
    QCOMPARE(finished.size(), 1);
    QCOMPARE(markerText(browser), QStringLiteral("second"));
}

QTEST_MAIN(TestBrowsing)
#include "TestBrowsing.moc"

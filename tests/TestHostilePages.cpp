// Pages that work against the browser: hostile identifiers and values, scripts that replace or
// flood the bridge, and pages that go away while the field menu is open. The bridge's cases are the
// classic engine's alone: Chromium's page script lives in a world the page cannot reach.

#include "browser.h"
#include "fill/formfiller.h"
#include "testsupport.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMenu>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QWebElement>
#include <QWebEngineView>
#include <QWebFrame>
#include <QWebView>

using namespace TestSupport;

namespace {

const QString address = QStringLiteral("http://127.0.0.1:1/hostile");

QStringList hostileTexts()
{
    return {"O'Brien",
            "back\\slash\\",
            "two\nlines\r\n",
            QString::fromUtf16(u"sep\u2028ara\u2029tors"),
            "</script><script>document.title='owned'</script>",
            "'); document.title='owned'; ('",
            "\\'); document.title='owned'; //",
            QString::fromUtf16(u"😀 👨‍👩‍👧"),
            QString(10240, QChar(u'字')) + "'\\"};
}

QJsonObject profileWith(const QStringList &values)
{
    QJsonObject profile;
    QJsonObject actions;
    for (int i = 0; i < values.size(); ++i) {
        const QString key = QStringLiteral("value%1").arg(i, 2, 10, QLatin1Char('0'));
        profile.insert(key, values[i]);
        actions.insert(key, QJsonArray{key});
    }
    return {{"profile", profile}, {"actions", actions}};
}

QJsonObject recordedSites(const Browser &browser)
{
    return browser.saved().value("sites").toObject();
}

// Guards the page's own script state: any script we altered would show here.
const QString pageScript = QStringLiteral("<script>var integrity = 42; document.title = 'page';</script>");

bool pageUntouched(const Browser &browser)
{
    return browser.run("document.title + ' ' + integrity + (typeof owned)").toString() == "page 42undefined";
}

} // namespace

class TestHostilePages : public QObject
{
    Q_OBJECT

private slots:
    void hostileIdentifiersAndValues_data() { engineRows(); }
    void hostileIdentifiersAndValues();
    void redefinedSendSignal();
    void floodedBridge();
    void callsWhileMenuIsOpen_data() { engineRows(); }
    void callsWhileMenuIsOpen();
    void navigationWhileMenuIsOpen_data() { engineRows(); }
    void navigationWhileMenuIsOpen();
    void onlyTheUsersClickOpensTheMenu_data();
    void onlyTheUsersClickOpensTheMenu();
    void destroyedBridgeComesBack();
    void documentsOfOtherKinds_data();
    void documentsOfOtherKinds();
    void pagesOwnClickHandlersStillRun_data() { engineRows(); }
    void pagesOwnClickHandlersStillRun();
    void pageThatLeavesDuringTheFill_data() { engineRows(); }
    void pageThatLeavesDuringTheFill();
};

void TestHostilePages::hostileIdentifiersAndValues()
{
    QFETCH(Engine, engine);
    const QStringList texts = hostileTexts();
    Browser browser(profileWith(texts), Browser::Showing::Exposed, engine);
    QString page = pageScript;
    for (int i = 0; i < texts.size(); ++i) {
        page += QStringLiteral("<input type=text class=f%1 id=\"%2\">").arg(i).arg(attributeText(texts[i]));
    }
    QVERIFY(browser.open(page, address));

    // Each field gets the value of the same index: identifier i is recorded with key value<i>.
    for (int i = 0; i < texts.size(); ++i) {
        const QString selector = QStringLiteral(".f%1").arg(i);
        QVERIFY(
            browser.clickAndChoose(selector, QStringLiteral("value%1: ").arg(i, 2, 10, QLatin1Char('0'))));
        // WebKit's insertion keeps line breaks that an assignment would drop, turning CR LF into LF;
        // Chromium's field holds one line, as HTML has it.
        QString inserted = QString(texts[i]).replace("\r\n", "\n");
        QTRY_COMPARE(browser.value(selector), engine == Engine::WebKit ? inserted : inserted.remove('\n'));
    }
    QVERIFY(pageUntouched(browser));
    const QJsonObject rules = recordedSites(browser).value(address).toObject();
    QCOMPARE(rules.size(), texts.size());
    for (int i = 0; i < texts.size(); ++i) {
        QCOMPARE(rules.value(texts[i]).toString(), QStringLiteral("value%1").arg(i, 2, 10, QLatin1Char('0')));
    }

    // On the next visit the rules fill every field by its identifier.
    QVERIFY(browser.open(page, address));
    for (int i = 0; i < texts.size(); ++i) {
        QTRY_COMPARE(browser.value(QStringLiteral(".f%1").arg(i)),
                     QString(texts[i]).remove('\n').remove('\r'));
    }
    QVERIFY(pageUntouched(browser));
}

void TestHostilePages::redefinedSendSignal()
{
    // A page that takes the bridge away does not take the menu with it: the user's click still
    // opens it, and the choice is written and recorded as always.
    Browser browser(profileWith({"one"}), Browser::Showing::Shown);
    MessageLog log;
    QVERIFY(loadHtml(browser.view(),
                     "<script>sendSignal = function (s) { delegate.doSignal('forged'); };"
                     "delegate.doSignal = null;</script><input type=text id=a>",
                     address));
    bool opened = false;
    onNextMenu([&](QMenu *menu) {
        opened = true;
        choose(menu, "value00: one");
    });
    click(browser.view(), "#a");
    QTRY_VERIFY(opened);
    QCOMPARE(fieldValue(browser.view(), "#a"), QString("one"));
    QCOMPARE(recordedSites(browser).value(address).toObject(), QJsonObject({{"a", "value00"}}));
    QVERIFY(!log.debugLines().contains("on_signal( \"a\" )"));
}

void TestHostilePages::floodedBridge()
{
    Browser browser(Browser::Showing::Shown);
    QVERIFY(loadHtml(browser.view(), "<input type=checkbox id=box>", address));
    MessageLog log;
    browser.view()->page()->mainFrame()->evaluateJavaScript(
        "for (var i = 0; i < 20000; ++i) { delegate.doSignal('box'); delegate.send('nothing' + i); }");
    QCOMPARE(log.debugLines().filter("on_signal").size() - log.count("on_signal( \"test\" )"), 40000);
    QCOMPARE(browser.bridge().liveBridges(), 1);
    QVERIFY(!QFile::exists(browser.dir.filePath("profile.json")));
}

void TestHostilePages::callsWhileMenuIsOpen()
{
    QFETCH(Engine, engine);
    Browser browser(profileWith({"one"}), Browser::Showing::Exposed, engine);
    // Once clicked, the page clicks another field from a timer, while the menu is open, noting what the
    // first field held at each call; the title tells when it is done. The classic bridge hears each.
    QVERIFY(browser.open("<input type=text id=a><input type=text id=b><script>var seen = [];"
                         "document.getElementById('a').addEventListener('click', function () {"
                         "  var timer = setInterval(function () {"
                         "    document.getElementById('b').click();"
                         "    seen.push(document.getElementById('a').value);"
                         "    if (seen.length == 20) { clearInterval(timer); document.title = 'done'; }"
                         "  }, 5);"
                         "});</script>",
                         address));
    MessageLog log;
    int menus = 0;
    QWidget *view = browser.window().view();
    onNextMenu([&](QMenu *menu) {
        ++menus;
        // Chromium answers no page script while the menu is open, but tells the title.
        QVERIFY(QTest::qWaitFor([view]() { return view->property("title") == "done"; }, 30000));
        choose(menu, "value00: one");
    });
    browser.click("#a");
    QTRY_COMPARE(browser.value("#a"), QString("one"));
    // All twenty calls came before the value: while the menu was open.
    QCOMPARE(browser.run("seen.join()").toString(), QString(19, ','));
    QCOMPARE(browser.value("#b"), QString());
    QCOMPARE(recordedSites(browser).value(address).toObject(), QJsonObject({{"a", "value00"}}));
    QCOMPARE(menus, 1);
    if (engine == Engine::WebKit) {
        QCOMPARE(log.count("on_signal( \"b\" )"), 20);
    }
}

void TestHostilePages::navigationWhileMenuIsOpen()
{
    QFETCH(Engine, engine);
    Browser browser(profileWith({"one"}), Browser::Showing::Exposed, engine);
    // Opens the menu on field "a", lets another page replace this one, then picks the value.
    const auto replaceUnderMenu = [&](const QString &nextPage, const QString &next) {
        QVERIFY(browser.open("<input type=text id=a>", address));
        auto *chromium = qobject_cast<QWebEngineView *>(browser.window().view());
        QSignalSpy loaded(browser.window().view(), SIGNAL(loadFinished(bool)));
        onNextMenu([&](QMenu *menu) {
            if (chromium) {
                // Chromium goes on with the load once the menu has closed.
                chromium->setHtml(nextPage, QUrl(next));
            } else {
                QVERIFY(browser.open(nextPage, next));
            }
            choose(menu, "value00: one");
        });
        browser.click("#a");
        QVERIFY(!loaded.isEmpty() || loaded.wait(10000));
        // Chromium writes a moment after the load: time for a write that should not come.
        QTest::qWait(200);
    };

    // The field the menu was opened for is gone: nothing is written or recorded, whatever answers
    // to its identifier now, on this site or another, and the user is told.
    const QStringList nextPages{"<input type=text id=other>", "<input type=text id=a>"};
    for (const QString &next : {QString("http://127.0.0.1:1/next"), QString("http://127.0.0.2:1/next")}) {
        for (const QString &nextPage : nextPages) {
            replaceUnderMenu(nextPage, next);
            QCOMPARE(browser.value("input"), QString());
            QVERIFY(recordedSites(browser).isEmpty());
            QCOMPARE(browser.child<QStatusBar>("statusBar")->currentMessage(),
                     QString("ページが変わったため、選んだ値は入力しませんでした"));
        }
    }
    if (engine == Engine::WebKit) {
        QCOMPARE(browser.bridge().liveBridges(), 1);
    }
}

void TestHostilePages::onlyTheUsersClickOpensTheMenu_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("pressFirst");
    QTest::addColumn<QString>("userClick");

    QTest::newRow("click() from a timer") << "document.getElementById('b').click()" << QString() << "#b";
    QTest::newRow("bridge called from a timer") << "delegate.doSignal('b')" << QString() << "#b";
    QTest::newRow("sendSignal from a timer") << "sendSignal('b')" << QString() << "#b";
    // The user's press on one input does not let the page open the menu on another; a click on the
    // field's label is the user's click on the field.
    QTest::newRow("right after the user clicked elsewhere") << "document.getElementById('b').click()"
                                                            << "#c"
                                                            << "label";
}

// A menu the page opens at the pointer would take the user's next Return as a choice, writing a
// stored value into a field the page reads.
void TestHostilePages::onlyTheUsersClickOpensTheMenu()
{
    QFETCH(QString, script);
    QFETCH(QString, pressFirst);
    QFETCH(QString, userClick);

    Browser browser(profileWith({"one"}), Browser::Showing::Shown);
    QVERIFY(loadHtml(browser.view(),
                     "<input type=text id=a><input type=text id=b><input type=checkbox id=c>"
                     "<label for=b>field b</label>"
                     "<script>function later() { setTimeout(function () { "
                         + script
                         + "; }, 50); }"
                           "document.getElementById('c').addEventListener('click', later);</script>",
                     address));
    // The one menu expected is the user's; a menu the page opened would take the choice first.
    int menus = 0;
    onNextMenu([&menus](QMenu *menu) {
        ++menus;
        choose(menu, "value00: one");
    });
    MessageLog log;
    if (pressFirst.isEmpty()) {
        browser.view()->page()->mainFrame()->evaluateJavaScript("later()");
    } else {
        click(browser.view(), pressFirst);
    }
    QVERIFY(QTest::qWaitFor([&log]() { return log.count("on_signal( \"b\" )") == 1; }, 5000));
    QTest::qWait(100);
    QCOMPARE(menus, 0);
    QCOMPARE(fieldValue(browser.view(), "#b"), QString());

    // The user's own click still opens it.
    click(browser.view(), userClick);
    QCOMPARE(menus, 1);
    QCOMPARE(fieldValue(browser.view(), "#b"), QString("one"));
}

void TestHostilePages::destroyedBridgeComesBack()
{
    Browser browser(profileWith({"one"}), Browser::Showing::Shown);
    MessageLog log;
    QVERIFY(
        loadHtml(browser.view(), "<input type=text id=a><script>delegate.deleteLater();</script>", address));
    QTRY_COMPARE(log.count("the page destroyed its bridge object: published a new one"), 1);
    QCOMPARE(browser.bridge().liveBridges(), 1);
    int menus = 0;
    onNextMenu([&menus](QMenu *menu) {
        ++menus;
        choose(menu, "value00: one");
    });
    click(browser.view(), "#a");
    QCOMPARE(menus, 1);
    QCOMPARE(fieldValue(browser.view(), "#a"), QString("one"));
}

namespace {

const QJsonObject nameAndMail{{"profile", QJsonObject{{"familyName", "山田"}, {"mail", "a@b.jp"}}},
                              {"actions", QJsonObject{{"姓", QJsonArray{"familyName"}}}}};

// Runs このページに一括入力 and answers how many fields it filled.
int fillPage(Browser &browser)
{
    QSignalSpy finished(&browser.window().formFiller(), &FormFiller::finished);
    browser.child<QAction>("actionFillPage")->trigger();
    return finished.isEmpty() && !finished.wait(5000) ? -1 : finished.first().value(0).toInt();
}

} // namespace

void TestHostilePages::documentsOfOtherKinds_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("mimeType");
    const QString fields =
        QStringLiteral("<p>姓 <input id=\"sei\" type=\"text\" autocomplete=\"family-name\"/></p>"
                       "<p>メール <input id=\"mail\" type=\"email\" autocomplete=\"email\"/></p>");
    forEachEngine([&fields](Engine engine, const QByteArray &prefix) {
        // Served as XML, tag names keep their lower case.
        QTest::newRow(prefix + "XHTML")
            << engine
            << "<?xml version=\"1.0\" encoding=\"UTF-8\"?><html xmlns=\"http://www.w3.org/1999/xhtml\">"
               "<head><title>x</title></head><body><form>"
                   + fields + "</form></body></html>"
            << "application/xhtml+xml";
        // An element of another language that happens to be called input.
        QTest::newRow(prefix + "input in an SVG")
            << engine << "<svg width=10 height=10><input id=drawn /></svg><form>" + fields + "</form>"
            << QString();
    });
}

// Pages that break what the scripts could assume of a document still get their fields filled, and the
// menu.
void TestHostilePages::documentsOfOtherKinds()
{
    QFETCH(Engine, engine);
    QFETCH(QString, page);
    QFETCH(QString, mimeType);
    Browser browser(nameAndMail, Browser::Showing::Exposed, engine);
    QVERIFY(browser.open(page, address, mimeType));
    QCOMPARE(fillPage(browser), 2);
    QCOMPARE(browser.value("#sei"), QStringLiteral("山田"));
    QCOMPARE(browser.value("#mail"), QStringLiteral("a@b.jp"));
    browser.run("document.getElementById('sei').value = ''");
    QVERIFY(browser.clickAndChoose("#sei", "姓: "));
    QTRY_COMPARE(browser.value("#sei"), QStringLiteral("山田"));
}

// The page's own click handlers go on working where the browser listens for clicks too.
void TestHostilePages::pagesOwnClickHandlersStillRun()
{
    QFETCH(Engine, engine);
    Browser browser(nameAndMail, Browser::Showing::Exposed, engine);
    QVERIFY(
        browser.open("<form><label><input type=radio name=kind id=corp "
                     "onclick=\"document.getElementById('company').style.display = 'block'\"> 法人</label>"
                     "<div id=company style='display:none'>会社名 <input id=name></div>"
                     "<p>姓 <input type=text id=sei onclick=\"window.clicks = (window.clicks || 0) + 1\"></p>"
                     "</form>",
                     address));
    browser.click("#corp");
    QTRY_COMPARE(browser.run("document.getElementById('company').style.display").toString(),
                 QString("block"));
    QVERIFY(browser.clickAndChoose("#sei", "姓: "));
    QTRY_COMPARE(browser.value("#sei"), QStringLiteral("山田"));
    QCOMPARE(browser.run("window.clicks").toInt(), 1);
    if (engine == Engine::WebKit) {
        // The classic bridge's call comes first, then the page's own handler.
        QCOMPARE(browser.run("document.getElementById('sei').getAttribute('onclick')").toString(),
                 QString("sendSignal('sei');window.clicks = (window.clicks || 0) + 1"));
    }
}

// The page goes as soon as the postal code is typed, while the fill waits for its lookup: the rest
// goes nowhere, nothing is recorded, and the user is told.
void TestHostilePages::pageThatLeavesDuringTheFill()
{
    QFETCH(Engine, engine);
    QJsonObject document = nameAndMail;
    QJsonObject profile = document.value("profile").toObject();
    profile.insert("zipcode", "100-0001");
    document.insert("profile", profile);
    Browser browser(document, Browser::Showing::Exposed, engine);
    QVERIFY(browser.open("<form><p>郵便番号 <input id=zip autocomplete=postal-code"
                         " onchange=\"location.href = 'about:blank'\"></p>"
                         "<p>姓 <input id=sei autocomplete=family-name></p></form>",
                         address));
    QSignalSpy gone(&browser.window().formFiller(), &FormFiller::pageGone);
    browser.child<QAction>("actionFillPage")->trigger();
    QTRY_COMPARE(gone.size(), 1);
    QTRY_COMPARE(browser.child<QStatusBar>("statusBar")->currentMessage(),
                 QString("ページが変わったため、一括入力の残りは入力しませんでした"));
    QVERIFY(recordedSites(browser).isEmpty());
}

QTEST_MAIN(TestHostilePages)
#include "TestHostilePages.moc"

#include "browser.h"
#include "store/profiledocument.h"
#include "testsupport.h"

#include <QAction>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMenu>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QWebElement>
#include <QWebFrame>
#include <QWebView>

using namespace TestSupport;

namespace {

QString input(const QString &attributes)
{
    return QStringLiteral("<input %1>").arg(attributes);
}

// The engine sets up a page's script environment, and so our bridge, on the first use of scripts:
// a page with a script of its own gets it while it loads.
const QString withScript = QStringLiteral("<script>var loaded = true;</script>");

// The identifier and value the menu was built for, read from the records of the menu that opens
// when the element is clicked.
QPair<QString, QString> menuRecordOnClick(QWebView *view, const QString &selector)
{
    QPair<QString, QString> record;
    onNextMenu([&record](QMenu *menu) {
        const QVariantMap first = menu->actions().value(0)->data().toMap();
        record = {first.value("element").toString(), first.value("value").toString()};
    });
    click(view, selector);
    return record;
}

} // namespace

class TestBridge : public QObject
{
    Q_OBJECT

private slots:
    void identifiers_data();
    void identifiers();
    void nameRegistration();
    void generatedIdsRestartPerAddress();
    void lowerCaseTagsAreNotInputs();
    void walkOrder_data();
    void walkOrder();
    void slidingPopup();
    void scriptsReachTheWindow();
    void testCallNeverOpensMenu();
    void failedLoadEmptiesTables();
    void rulesApplyToExactAddress_data();
    void rulesApplyToExactAddress();
    void rulesNotCarriedToNextPage();
    void malformedSites();
    void hostileTextsArriveExactly_data();
    void hostileTextsArriveExactly();
    void navigationsKeepOneBridge();
    void bridgeOnItsOwn();
};

void TestBridge::identifiers_data()
{
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<QString>("idAfter");

    QTest::newRow("id") << "id=email value=kept"
                        << "email"
                        << "email";
    QTest::newRow("name only") << "name=user"
                               << "user"
                               << "";
    QTest::newRow("blank id, name") << "id='  ' name=q"
                                    << "q"
                                    << "  ";
    QTest::newRow("id and name") << "id=a name=b"
                                 << "a"
                                 << "a";
    QTest::newRow("id kept untrimmed") << "id=' a '"
                                       << " a "
                                       << " a ";
    QTest::newRow("name of spaces") << "name='  '"
                                    << "unknown1"
                                    << "unknown1";
    QTest::newRow("nothing") << "type=text"
                             << "unknown1"
                             << "unknown1";
    QTest::newRow("hidden, no form") << "type=hidden name=h"
                                     << "h"
                                     << "";
}

void TestBridge::identifiers()
{
    QFETCH(QString, attributes);
    QFETCH(QString, identifier);
    QFETCH(QString, idAfter);

    Browser browser;
    QVERIFY(loadHtml(browser.view(), "<p>" + input(attributes) + "</p>", "http://127.0.0.1:1/"));
    const QWebElement field = element(browser.view(), "input");
    QCOMPARE(field.attribute("onclick"), QStringLiteral("sendSignal('%1');").arg(identifier));
    QCOMPARE(field.attribute("id"), idAfter);
    QCOMPARE(*browser.bridge().inputs().value(identifier), field);
    if (attributes.contains("value=kept")) {
        QCOMPARE(fieldValue(browser.view(), "input"), QString("kept"));
    }
}

void TestBridge::nameRegistration()
{
    Browser browser;
    QVERIFY(
        loadHtml(browser.view(),
                 "<form><input id=a name=b></form><input class=x1 name=x><div><input class=x2 name=x></div>",
                 "http://127.0.0.1:1/"));
    const auto &inputs = browser.bridge().inputs();
    QCOMPARE(inputs.keys().size(), 3);
    QCOMPARE(*inputs.value("a"), element(browser.view(), "#a"));
    QCOMPARE(*inputs.value("b"), element(browser.view(), "#a"));
    // Two inputs share a name: both report it, the later one is registered.
    QCOMPARE(element(browser.view(), ".x1").attribute("onclick"), QString("sendSignal('x');"));
    QCOMPARE(*inputs.value("x"), element(browser.view(), ".x2"));
    // One handle per input.
    QCOMPARE(browser.bridge().handleCount(), 3);
}

void TestBridge::generatedIdsRestartPerAddress()
{
    Browser browser;
    const QString page = "<input><div><input type=text></div><input name=''>";
    for (const char *address : {"http://127.0.0.1:1/one", "http://127.0.0.1:1/two"}) {
        QVERIFY(loadHtml(browser.view(), page, address));
        const QWebElementCollection inputs = browser.view()->page()->mainFrame()->findAllElements("input");
        QCOMPARE(inputs.count(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(inputs.at(i).attribute("id"), QStringLiteral("unknown%1").arg(i + 1));
        }
    }
}

void TestBridge::lowerCaseTagsAreNotInputs()
{
    Browser browser;
    QSignalSpy finished(browser.view(), &QWebView::loadFinished);
    browser.view()->setContent(
        "<html xmlns='http://www.w3.org/1999/xhtml'><body><input id='x'/></body></html>",
        "application/xhtml+xml", QUrl("http://127.0.0.1:1/x.xhtml"));
    QVERIFY(!finished.isEmpty() || finished.wait());
    QCOMPARE(element(browser.view(), "input").tagName(), QString("input"));
    QVERIFY(browser.bridge().inputs().isEmpty());
    QVERIFY(element(browser.view(), "input").attribute("onclick").isEmpty());
}

void TestBridge::walkOrder_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("mimeType");
    // The ids of the elements reported as "INPUT", in document order, after the load.
    QTest::addColumn<QStringList>("ids");

    // Children first: an input that a script gave element children comes after them.
    QTest::newRow("input with children")
        << QByteArray("<input class=a><script>var a = document.querySelector('.a');"
                      "a.appendChild(document.createElement('span'));"
                      "a.appendChild(document.createElement('input'));</script><input>")
        << "text/html" << QStringList{"unknown2", "unknown1", "unknown3"};
    QTest::newRow("upper-case tags in XHTML")
        << QByteArray("<html xmlns='http://www.w3.org/1999/xhtml'><body><INPUT/><input id='x'/>"
                      "<div><INPUT name='n'/></div></body></html>")
        << "application/xhtml+xml" << QStringList{"unknown1", ""};
    QTest::newRow("foreign element named INPUT")
        << QByteArray("<body><input><script>document.body.appendChild("
                      "document.createElementNS('urn:x', 'INPUT'));</script></body>")
        << "text/html" << QStringList{"unknown1", "unknown2"};
}

void TestBridge::walkOrder()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, mimeType);
    QFETCH(QStringList, ids);

    Browser browser;
    QSignalSpy finished(browser.view(), &QWebView::loadFinished);
    browser.view()->setContent(content, mimeType, QUrl("http://127.0.0.1:1/order"));
    QVERIFY(!finished.isEmpty() || finished.wait());
    QStringList found;
    for (const QWebElement &e : browser.view()->page()->mainFrame()->findAllElements("*")) {
        if (e.tagName() == "INPUT") {
            found << e.attribute("id");
            const QString identifier = e.attribute("id").isEmpty() ? e.attribute("name") : e.attribute("id");
            QCOMPARE(e.attribute("onclick"), QStringLiteral("sendSignal('%1');").arg(identifier));
            QCOMPARE(*browser.bridge().inputs().value(identifier), e);
        } else {
            QVERIFY(!e.hasAttribute("onclick"));
        }
    }
    QCOMPARE(found, ids);
}

void TestBridge::slidingPopup()
{
    Browser browser;
    QVERIFY(loadHtml(browser.view(),
                     "<div id=sliding-popup style='color: red'>a</div><div id=Sliding-Popup>b</div>"
                     "<span id=sliding-popup>c</span>",
                     "http://127.0.0.1:1/"));
    const QWebElementCollection divs = browser.view()->page()->mainFrame()->findAllElements("div");
    QCOMPARE(divs.at(0).attribute("style"), QString("display: none;"));
    QVERIFY(!divs.at(1).hasAttribute("style"));
    QVERIFY(!element(browser.view(), "span").hasAttribute("style"));
    QCOMPARE(browser.statusMessage(), QString("ページが表示されました"));
    QVERIFY(browser.progressBar()->isHidden());
    QCOMPARE(browser.progressBar()->value(), 100);
}

void TestBridge::scriptsReachTheWindow()
{
    Browser browser;
    MessageLog log;
    QSignalSpy clicked(&browser.bridge(), &PageBridge::inputClicked);
    const auto reported = [&clicked]() {
        QStringList identifiers;
        for (const QList<QVariant> &call : qAsConst(clicked)) {
            identifiers.append(call.value(0).toString());
        }
        clicked.clear();
        return identifiers;
    };
    QVERIFY(loadHtml(browser.view(), "<input type=checkbox id=box><script>delegate.send('page');</script>",
                     "http://127.0.0.1:1/"));
    // The bridge's test call comes before the page's own scripts; only the page's call is reported.
    QCOMPARE(log.debugLines().filter("on_signal"),
             QStringList({"on_signal( \"test\" )", "on_signal( \"page\" )"}));
    QCOMPARE(reported(), QStringList({"page"}));
    log.clear();

    element(browser.view(), "#box").evaluateJavaScript("this.click()");
    browser.view()->page()->mainFrame()->evaluateJavaScript("delegate.send('x'); delegate.doSignal('y z');"
                                                            "sendSignal('日本語');");
    QCOMPARE(log.debugLines(), QStringList({"on_signal( \"box\" )", "on_signal( \"x\" )",
                                            "on_signal( \"y z\" )", "on_signal( \"日本語\" )"}));
    QCOMPARE(reported(), QStringList({"box", "x", "y z", "日本語"}));

    // A page without scripts gets the bridge by the first click at the latest.
    log.clear();
    QVERIFY(loadHtml(browser.view(), "<input type=checkbox id=plain>", "http://127.0.0.1:1/plain"));
    element(browser.view(), "#plain").evaluateJavaScript("this.click()");
    QCOMPARE(log.debugLines().filter("on_signal"),
             QStringList({"on_signal( \"test\" )", "on_signal( \"plain\" )"}));
    QCOMPARE(reported(), QStringList({"plain"}));

    // A page that defines its own sendSignal replaces ours.
    QVERIFY(loadHtml(browser.view(),
                     "<script>function sendSignal(s) { document.title = s; }</script><input id=a>",
                     "http://127.0.0.1:1/own"));
    log.clear();
    element(browser.view(), "#a").evaluateJavaScript("this.click()");
    QCOMPARE(browser.view()->title(), QString("a"));
    QVERIFY(log.debugLines().filter("on_signal").isEmpty());
    QVERIFY(clicked.isEmpty());
}

void TestBridge::testCallNeverOpensMenu()
{
    Browser browser(Browser::Showing::Shown);
    QVERIFY(loadHtml(browser.view(), withScript + "<input id=test type=text>", "http://127.0.0.1:1/first"));
    QStringList menusFor;
    const auto watch = [&menusFor]() {
        onNextMenu([&menusFor](QMenu *menu) {
            menusFor.append(menu->actions().value(0)->data().toMap().value("element").toString());
        });
    };

    // The test call of the next page finds the previous page's "test" input still registered.
    watch();
    MessageLog log;
    QVERIFY(loadHtml(browser.view(), withScript + "<p>next</p>", "http://127.0.0.1:1/second"));
    QCOMPARE(log.count("on_signal( \"test\" )"), 1);

    // On a page without scripts the test call comes with the first click, with this page's inputs
    // registered: only the clicked input gets a menu.
    QVERIFY(loadHtml(browser.view(), "<input id=test type=text><input id=other type=text>",
                     "http://127.0.0.1:1/third"));
    click(browser.view(), "#other");
    QCOMPARE(menusFor, QStringList({"other"}));

    // A click on the input named "test" still gets its menu.
    watch();
    click(browser.view(), "#test");
    QCOMPARE(menusFor, QStringList({"other", "test"}));
}

void TestBridge::failedLoadEmptiesTables()
{
    Browser browser;
    QVERIFY(loadHtml(browser.view(), "<input id=a>", "http://127.0.0.1:1/"));
    QVERIFY(!browser.bridge().inputs().isEmpty());
    MessageLog log;
    const QString missing = QUrl::fromLocalFile(browser.dir.filePath("missing.html")).toString();
    QVERIFY(!loadUrl(browser.view(), missing));
    QVERIFY(log.debugLines().contains("finished with ok:  false"));
    QVERIFY(browser.bridge().inputs().isEmpty());
    QCOMPARE(browser.bridge().handleCount(), 0);
    QVERIFY(browser.statusMessage() != "ページが表示されました");
    QVERIFY(!browser.progressBar()->isHidden());
}

void TestBridge::rulesApplyToExactAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("expected");

    QTest::newRow("same") << "http://127.0.0.1:1/form?a=1"
                          << "a@example.jp";
    QTest::newRow("fragment") << "http://127.0.0.1:1/form?a=1#top"
                              << "";
    QTest::newRow("other query") << "http://127.0.0.1:1/form?a=2"
                                 << "";
    QTest::newRow("no query") << "http://127.0.0.1:1/form"
                              << "";
    QTest::newRow("trailing slash") << "http://127.0.0.1:1/form/?a=1"
                                    << "";
    QTest::newRow("case of the path") << "http://127.0.0.1:1/Form?a=1"
                                      << "";
}

void TestBridge::rulesApplyToExactAddress()
{
    QFETCH(QString, address);
    QFETCH(QString, expected);

    Browser browser(R"({"profile": {"mail": "a@example.jp", "year": 1980},
        "sites": {"http://127.0.0.1:1/form?a=1": {"email": "mail", "born": "year", "gone": "__DELETE_HERE__"}}})");
    QVERIFY(loadHtml(browser.view(), "<input id=email value=old><input name=born><input id=gone value=x>",
                     address));
    QCOMPARE(fieldValue(browser.view(), "#email"), expected.isEmpty() ? "old" : expected);
    if (!expected.isEmpty()) {
        QCOMPARE(browser.document().pageRules().size(), 3);
        QCOMPARE(fieldValue(browser.view(), "input[name=born]"), QString("1980"));
        // A recorded clear has no profile value: the field is emptied.
        QCOMPARE(fieldValue(browser.view(), "#gone"), QString(""));
    } else {
        QVERIFY(browser.document().pageRules().isEmpty());
    }
}

void TestBridge::rulesNotCarriedToNextPage()
{
    Browser browser(R"({"profile": {"mail": "a@example.jp"},
        "sites": {"http://127.0.0.1:1/one": {"email": "mail"}}})");
    QVERIFY(loadHtml(browser.view(), "<input id=email>", "http://127.0.0.1:1/one"));
    QCOMPARE(fieldValue(browser.view(), "#email"), QString("a@example.jp"));
    QVERIFY(loadHtml(browser.view(), "<input id=email>", "http://127.0.0.1:1/two"));
    QCOMPARE(fieldValue(browser.view(), "#email"), QString(""));
    QVERIFY(browser.document().pageRules().isEmpty());
    QCOMPARE(browser.statusMessage(), QString("ページが表示されました"));
}

void TestBridge::malformedSites()
{
    for (const QByteArray &sites : {QByteArray(R"("text")"), QByteArray(R"({"http://127.0.0.1:1/": "mail"})"),
                                    QByteArray(R"({"http://127.0.0.1:1/": ["email"]})")}) {
        Browser browser(R"({"profile": {"mail": "m"}, "sites": )" + sites + "}");
        QVERIFY(loadHtml(browser.view(), "<input id=email>", "http://127.0.0.1:1/"));
        QVERIFY(browser.document().pageRules().isEmpty());
        QCOMPARE(fieldValue(browser.view(), "#email"), QString(""));
    }
}

void TestBridge::hostileTextsArriveExactly_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("apostrophe") << "O'Brien";
    QTest::newRow("backslash") << "a\\b\\";
    QTest::newRow("line breaks") << "a\nb\r\nc\rd";
    QTest::newRow("separators") << QString::fromUtf16(u"a\u2028b\u2029c");
    QTest::newRow("closing tag") << "</script><b>x</b>";
    QTest::newRow("script injection") << "'); document.title='owned'; ('";
    QTest::newRow("emoji") << QString::fromUtf16(u"😀 家族👨‍👩‍👧");
    QTest::newRow("10 kB") << QString(10240, QChar(u'字')) + "'\\\n";
}

void TestBridge::hostileTextsArriveExactly()
{
    QFETCH(QString, text);

    const QString address = "http://127.0.0.1:1/hostile";
    Browser browser(QJsonObject{{"profile", QJsonObject{{"value", text}}},
                                {"actions", QJsonObject{{"値", QJsonArray{"value"}}}},
                                {"sites", QJsonObject{{address, QJsonObject{{text, "value"}}}}}},
                    Browser::Showing::Shown);
    QVERIFY(loadHtml(browser.view(),
                     "<title>t</title>" + input("type=text id=\"" + attributeText(text) + "\""), address));
    // The recorded rule found the field by its identifier and wrote the value unchanged; a one-line
    // field drops line breaks by itself.
    const QString oneLine = QString(text).remove('\n').remove('\r');
    QCOMPARE(fieldValue(browser.view(), "input"), oneLine);
    QCOMPARE(browser.view()->title(), QString("t"));
    // A click reports the identifier unchanged: the menu is built for it.
    QCOMPARE(menuRecordOnClick(browser.view(), "input"), qMakePair(text, text));
}

void TestBridge::navigationsKeepOneBridge()
{
    Browser browser;
    for (int i = 0; i < 40; ++i) {
        QVERIFY(loadHtml(browser.view(), withScript + "<input id=a><input>",
                         QStringLiteral("http://127.0.0.1:1/%1").arg(i % 2)));
        QCOMPARE(browser.bridge().liveBridges(), 1);
        QCOMPARE(browser.bridge().handleCount(), 2);
    }
}

// The bridge needs no window: on a bare view it instruments the page and reports clicks.
void TestBridge::bridgeOnItsOwn()
{
    QWebView view;
    PageBridge bridge(&view);
    connect(view.page()->mainFrame(), &QWebFrame::javaScriptWindowObjectCleared, &bridge,
            [&bridge]() { bridge.publish(&bridge, SLOT(receive(QString))); });
    connect(&view, &QWebView::loadFinished, &bridge, &PageBridge::pageLoaded);
    QSignalSpy clicked(&bridge, &PageBridge::inputClicked);

    // Generated identifiers count on until the owner restarts them for a new address.
    bridge.restartIdentifiers();
    for (int visit = 0; visit < 2; ++visit) {
        QVERIFY(loadHtml(&view, "<input id=email><input name=born><input>", "http://127.0.0.1:1/"));
        QCOMPARE(element(&view, "input:nth-of-type(3)").attribute("id"), QString("unknown%1").arg(visit + 1));
    }
    QCOMPARE(bridge.inputs().keys().size(), 3);
    QCOMPARE(bridge.handleCount(), 3);

    element(&view, "input[name=born]").evaluateJavaScript("this.click()");
    QCOMPARE(clicked.size(), 1);
    QCOMPARE(clicked.first().value(0).toString(), QString("born"));
    QCOMPARE(bridge.liveBridges(), 1);
}

QTEST_MAIN(TestBridge)
#include "TestBridge.moc"

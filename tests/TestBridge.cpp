#include "mainwindowtestaccess.h"
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
// when the element is clicked from a script.
QPair<QString, QString> menuRecordOnClick(QWebView *view, const QString &selector)
{
    QPair<QString, QString> record;
    onNextMenu([&record](QMenu *menu) {
        const QVariantMap first = menu->actions().value(0)->data().toMap();
        record = {first.value("element").toString(), first.value("value").toString()};
    });
    element(view, selector).evaluateJavaScript("this.click()");
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

    WorkDir dir;
    MainWindow window;
    MainWindowTestAccess access(window);
    QVERIFY(loadHtml(access.webView(), "<p>" + input(attributes) + "</p>", "http://127.0.0.1:1/"));
    const QWebElement field = element(access.webView(), "input");
    QCOMPARE(field.attribute("onclick"), QStringLiteral("sendSignal('%1');").arg(identifier));
    QCOMPARE(field.attribute("id"), idAfter);
    QCOMPARE(*access.inputElements().value(identifier), field);
    if (attributes.contains("value=kept")) {
        QCOMPARE(fieldValue(access.webView(), "input"), QString("kept"));
    }
}

void TestBridge::nameRegistration()
{
    WorkDir dir;
    MainWindow window;
    MainWindowTestAccess access(window);
    QVERIFY(
        loadHtml(access.webView(),
                 "<form><input id=a name=b></form><input class=x1 name=x><div><input class=x2 name=x></div>",
                 "http://127.0.0.1:1/"));
    const auto &inputs = access.inputElements();
    QCOMPARE(inputs.keys().size(), 3);
    QCOMPARE(*inputs.value("a"), element(access.webView(), "#a"));
    QCOMPARE(*inputs.value("b"), element(access.webView(), "#a"));
    // Two inputs share a name: both report it, the later one is registered.
    QCOMPARE(element(access.webView(), ".x1").attribute("onclick"), QString("sendSignal('x');"));
    QCOMPARE(*inputs.value("x"), element(access.webView(), ".x2"));
    // One handle per element of the document, the document element included.
    QCOMPARE(access.elementHandles(), 8);
}

void TestBridge::generatedIdsRestartPerAddress()
{
    WorkDir dir;
    MainWindow window;
    MainWindowTestAccess access(window);
    const QString page = "<input><div><input type=text></div><input name=''>";
    for (const char *address : {"http://127.0.0.1:1/one", "http://127.0.0.1:1/two"}) {
        QVERIFY(loadHtml(access.webView(), page, address));
        const QWebElementCollection inputs = access.webView()->page()->mainFrame()->findAllElements("input");
        QCOMPARE(inputs.count(), 3);
        for (int i = 0; i < 3; ++i) {
            QCOMPARE(inputs.at(i).attribute("id"), QStringLiteral("unknown%1").arg(i + 1));
        }
    }
}

void TestBridge::lowerCaseTagsAreNotInputs()
{
    WorkDir dir;
    MainWindow window;
    MainWindowTestAccess access(window);
    QSignalSpy finished(access.webView(), &QWebView::loadFinished);
    access.webView()->setContent(
        "<html xmlns='http://www.w3.org/1999/xhtml'><body><input id='x'/></body></html>",
        "application/xhtml+xml", QUrl("http://127.0.0.1:1/x.xhtml"));
    QVERIFY(!finished.isEmpty() || finished.wait());
    QCOMPARE(element(access.webView(), "input").tagName(), QString("input"));
    QVERIFY(access.inputElements().isEmpty());
    QVERIFY(element(access.webView(), "input").attribute("onclick").isEmpty());
}

void TestBridge::slidingPopup()
{
    WorkDir dir;
    MainWindow window;
    MainWindowTestAccess access(window);
    QVERIFY(loadHtml(access.webView(),
                     "<div id=sliding-popup style='color: red'>a</div><div id=Sliding-Popup>b</div>"
                     "<span id=sliding-popup>c</span>",
                     "http://127.0.0.1:1/"));
    const QWebElementCollection divs = access.webView()->page()->mainFrame()->findAllElements("div");
    QCOMPARE(divs.at(0).attribute("style"), QString("display: none;"));
    QVERIFY(!divs.at(1).hasAttribute("style"));
    QVERIFY(!element(access.webView(), "span").hasAttribute("style"));
    QCOMPARE(window.statusBar()->currentMessage(), QString("ページが表示されました"));
    QVERIFY(access.progressBar()->isHidden());
    QCOMPARE(access.progressBar()->value(), 100);
}

void TestBridge::scriptsReachTheWindow()
{
    WorkDir dir;
    MainWindow window;
    MainWindowTestAccess access(window);
    MessageLog log;
    QVERIFY(loadHtml(access.webView(), "<input type=checkbox id=box><script>delegate.send('page');</script>",
                     "http://127.0.0.1:1/"));
    // The bridge's test call comes before the page's own scripts.
    QCOMPARE(log.debugLines().filter("on_signal"),
             QStringList({"on_signal( \"test\" )", "on_signal( \"page\" )"}));
    log.clear();

    element(access.webView(), "#box").evaluateJavaScript("this.click()");
    access.webView()->page()->mainFrame()->evaluateJavaScript("delegate.send('x'); delegate.doSignal('y z');"
                                                              "sendSignal('日本語');");
    QCOMPARE(log.debugLines(), QStringList({"on_signal( \"box\" )", "on_signal( \"x\" )",
                                            "on_signal( \"y z\" )", "on_signal( \"日本語\" )"}));

    // A page without scripts gets the bridge by the first click at the latest.
    log.clear();
    QVERIFY(loadHtml(access.webView(), "<input type=checkbox id=plain>", "http://127.0.0.1:1/plain"));
    element(access.webView(), "#plain").evaluateJavaScript("this.click()");
    QCOMPARE(log.debugLines().filter("on_signal"),
             QStringList({"on_signal( \"test\" )", "on_signal( \"plain\" )"}));

    // A page that defines its own sendSignal replaces ours.
    QVERIFY(loadHtml(access.webView(),
                     "<script>function sendSignal(s) { document.title = s; }</script><input id=a>",
                     "http://127.0.0.1:1/own"));
    log.clear();
    element(access.webView(), "#a").evaluateJavaScript("this.click()");
    QCOMPARE(access.webView()->title(), QString("a"));
    QVERIFY(log.debugLines().filter("on_signal").isEmpty());
}

void TestBridge::testCallNeverOpensMenu()
{
    WorkDir dir;
    MainWindow window;
    window.show();
    MainWindowTestAccess access(window);
    QVERIFY(loadHtml(access.webView(), withScript + "<input id=test type=text>", "http://127.0.0.1:1/first"));
    QStringList menusFor;
    const auto watch = [&menusFor]() {
        onNextMenu([&menusFor](QMenu *menu) {
            menusFor.append(menu->actions().value(0)->data().toMap().value("element").toString());
        });
    };

    // The test call of the next page finds the previous page's "test" input still registered.
    watch();
    MessageLog log;
    QVERIFY(loadHtml(access.webView(), withScript + "<p>next</p>", "http://127.0.0.1:1/second"));
    QCOMPARE(log.count("on_signal( \"test\" )"), 1);

    // On a page without scripts the test call comes with the first click, with this page's inputs
    // registered: only the clicked input gets a menu.
    QVERIFY(loadHtml(access.webView(), "<input id=test type=text><input id=other type=text>",
                     "http://127.0.0.1:1/third"));
    element(access.webView(), "#other").evaluateJavaScript("this.click()");
    QCOMPARE(menusFor, QStringList({"other"}));

    // A click on the input named "test" still gets its menu.
    watch();
    element(access.webView(), "#test").evaluateJavaScript("this.click()");
    QCOMPARE(menusFor, QStringList({"other", "test"}));
}

void TestBridge::failedLoadEmptiesTables()
{
    WorkDir dir;
    MainWindow window;
    MainWindowTestAccess access(window);
    QVERIFY(loadHtml(access.webView(), "<input id=a>", "http://127.0.0.1:1/"));
    QVERIFY(!access.inputElements().isEmpty());
    MessageLog log;
    const QString missing = QUrl::fromLocalFile(dir.filePath("missing.html")).toString();
    QVERIFY(!loadUrl(access.webView(), missing));
    QVERIFY(log.debugLines().contains("finished with ok:  false"));
    QVERIFY(access.inputElements().isEmpty());
    QCOMPARE(access.elementHandles(), 0);
    QVERIFY(window.statusBar()->currentMessage() != "ページが表示されました");
    QVERIFY(!access.progressBar()->isHidden());
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

    WorkDir dir;
    dir.write("profile.json", R"({"profile": {"mail": "a@example.jp", "year": 1980},
        "sites": {"http://127.0.0.1:1/form?a=1": {"email": "mail", "born": "year", "gone": "__DELETE_HERE__"}}})");
    MainWindow window;
    MainWindowTestAccess access(window);
    QVERIFY(loadHtml(access.webView(), "<input id=email value=old><input name=born><input id=gone value=x>",
                     address));
    QCOMPARE(fieldValue(access.webView(), "#email"), expected.isEmpty() ? "old" : expected);
    if (!expected.isEmpty()) {
        QCOMPARE(access.siteRules().size(), 3);
        QCOMPARE(fieldValue(access.webView(), "input[name=born]"), QString("1980"));
        // A recorded clear has no profile value: the field is emptied.
        QCOMPARE(fieldValue(access.webView(), "#gone"), QString(""));
    } else {
        QVERIFY(access.siteRules().isEmpty());
    }
}

void TestBridge::rulesNotCarriedToNextPage()
{
    WorkDir dir;
    dir.write("profile.json", R"({"profile": {"mail": "a@example.jp"},
        "sites": {"http://127.0.0.1:1/one": {"email": "mail"}}})");
    MainWindow window;
    MainWindowTestAccess access(window);
    QVERIFY(loadHtml(access.webView(), "<input id=email>", "http://127.0.0.1:1/one"));
    QCOMPARE(fieldValue(access.webView(), "#email"), QString("a@example.jp"));
    QVERIFY(loadHtml(access.webView(), "<input id=email>", "http://127.0.0.1:1/two"));
    QCOMPARE(fieldValue(access.webView(), "#email"), QString(""));
    QVERIFY(access.siteRules().isEmpty());
    QCOMPARE(window.statusBar()->currentMessage(), QString("ページが表示されました"));
}

void TestBridge::malformedSites()
{
    for (const QByteArray &sites : {QByteArray(R"("text")"), QByteArray(R"({"http://127.0.0.1:1/": "mail"})"),
                                    QByteArray(R"({"http://127.0.0.1:1/": ["email"]})")}) {
        WorkDir dir;
        dir.write("profile.json", R"({"profile": {"mail": "m"}, "sites": )" + sites + "}");
        MainWindow window;
        MainWindowTestAccess access(window);
        QVERIFY(loadHtml(access.webView(), "<input id=email>", "http://127.0.0.1:1/"));
        QVERIFY(access.siteRules().isEmpty());
        QCOMPARE(fieldValue(access.webView(), "#email"), QString(""));
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

    WorkDir dir;
    const QString address = "http://127.0.0.1:1/hostile";
    QJsonObject root{{"profile", QJsonObject{{"value", text}}},
                     {"actions", QJsonObject{{"値", QJsonArray{"value"}}}},
                     {"sites", QJsonObject{{address, QJsonObject{{text, "value"}}}}}};
    dir.write("profile.json", QJsonDocument(root).toJson());
    MainWindow window;
    window.show();
    MainWindowTestAccess access(window);
    QVERIFY(loadHtml(access.webView(),
                     "<title>t</title>" + input("type=text id=\"" + attributeText(text) + "\""), address));
    // The recorded rule found the field by its identifier and wrote the value unchanged; a one-line
    // field drops line breaks by itself.
    const QString oneLine = QString(text).remove('\n').remove('\r');
    QCOMPARE(fieldValue(access.webView(), "input"), oneLine);
    QCOMPARE(access.webView()->title(), QString("t"));
    // A click reports the identifier unchanged: the menu is built for it.
    QCOMPARE(menuRecordOnClick(access.webView(), "input"), qMakePair(text, text));
}

void TestBridge::navigationsKeepOneBridge()
{
    WorkDir dir;
    MainWindow window;
    MainWindowTestAccess access(window);
    for (int i = 0; i < 40; ++i) {
        QVERIFY(loadHtml(access.webView(), withScript + "<input id=a><input>",
                         QStringLiteral("http://127.0.0.1:1/%1").arg(i % 2)));
        QCOMPARE(access.liveBridges(), 1);
        QCOMPARE(access.elementHandles(), 6);
    }
}

QTEST_MAIN(TestBridge)
#include "TestBridge.moc"

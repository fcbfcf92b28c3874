// Pages as today's sites build them: fields the user cannot see, forms made by script after the
// load or replaced by a route change, forms in same-origin frames, and inputs sharing a name. The
// field menu (by a real mouse click), このページに一括入力 and the refill on the next visit must
// serve what the user sees, and only that.

#include "browser.h"
#include "fill/formfiller.h"

#include <QAction>
#include <QJsonArray>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

using namespace TestSupport;

namespace {

const QString address = QStringLiteral("http://127.0.0.1:1/entry");

QJsonObject testDocument()
{
    const QJsonObject profile{
        {"familyName", "山田"},        {"lastName", "花子"},
        {"zipcode", "100-0001"},       {"pref", "東京都"},
        {"city", "千代田区"},          {"telephone", "03-1234-5678"},
        {"mail", "hanako@example.jp"},
    };
    return {{"profile", profile},
            {"actions", QJsonObject{{"姓", QJsonArray{"familyName"}}, {"郵便番号", QJsonArray{"zipcode"}}}}};
}

// The fields a page shows the user in every test: 姓 and メール.
const QString shownFields = QStringLiteral("<p>姓 <input id=sei autocomplete=family-name></p>"
                                           "<p>メール <input id=mail type=email autocomplete=email></p>");

QString documentOf(const QString &frame)
{
    return frame.isEmpty() ? QStringLiteral("document")
                           : QStringLiteral("document.querySelector('%1').contentDocument").arg(frame);
}

// frame, when given, selects the <iframe> whose document is meant.
QString valueIn(const Browser &browser, const QString &frame, const QString &selector)
{
    return browser
        .run(QStringLiteral("(function () { var e = %1.querySelector('%2'); return e ? e.value : null; })()")
                 .arg(documentOf(frame), selector))
        .toString();
}

// A real mouse click in the middle of the control, in the main frame or in a frame.
void clickIn(const Browser &browser, const QString &frame, const QString &selector)
{
    const QVariantList point =
        browser
            .run(
                QStringLiteral(
                    "(function () {"
                    "  var f = %1, e = %2.querySelector('%3');"
                    "  e.scrollIntoView(true);"
                    "  var r = e.getBoundingClientRect(), x = r.left + r.width / 2, y = r.top + r.height / 2;"
                    "  if (f) { var o = f.getBoundingClientRect(); x += o.left + f.clientLeft; y += o.top + "
                    "f.clientTop; }"
                    "  return [x, y];"
                    "})()")
                    .arg(frame.isEmpty() ? QStringLiteral("null")
                                         : QStringLiteral("document.querySelector('%1')").arg(frame),
                         documentOf(frame), selector))
            .toList();
    QVERIFY2(point.size() == 2, qPrintable(selector));
    browser.clickAt(QPoint(point[0].toInt(), point[1].toInt()));
}

// Clicks the control and chooses the entry; answers whether a menu opened. With Chromium the value
// arrives in the page a moment after the choice.
bool chooseIn(const Browser &browser, const QString &frame, const QString &selector, const QString &entry)
{
    bool opened = false;
    onNextMenu([&](QMenu *menu) {
        opened = true;
        choose(menu, entry);
    });
    clickIn(browser, frame, selector);
    // The classic engine opens the menu inside the click; Chromium a moment after it.
    return QTest::qWaitFor([&opened] { return opened; }, browser.engine() == Engine::WebKit ? 50 : 3000);
}

// Runs このページに一括入力 and waits for it to end; answers (filled, left).
QPair<int, int> fillPage(Browser &browser)
{
    QSignalSpy finished(&browser.window().formFiller(), &FormFiller::finished);
    browser.child<QAction>("actionFillPage")->trigger();
    if (finished.isEmpty() && !finished.wait(5000)) {
        return {-1, -1};
    }
    return {finished.first().value(0).toInt(), finished.first().value(1).toInt()};
}

// Waits until the page has created the control and the browser has taken it in.
bool waitFor(const Browser &browser, const QString &frame, const QString &selector)
{
    const QString probe = QStringLiteral("!!(%1 && %1.querySelector('%2'))").arg(documentOf(frame), selector);
    if (!QTest::qWaitFor([&] { return browser.run(probe).toBool(); }, 5000)) {
        return false;
    }
    // Controls that appear are reported in batches.
    QTest::qWait(300);
    return true;
}

QJsonObject rulesOf(const Browser &browser)
{
    return browser.saved().value("sites").toObject().value(address).toObject();
}

// A form the page builds 300 ms after its load, the way a framework mounts one.
const QString lateForm =
    QStringLiteral("<div id=app>読み込み中…</div><script>"
                   "setTimeout(function () {"
                   "  document.getElementById('app').innerHTML ="
                   "    '<form><p>姓 <input type=text name=sei autocomplete=family-name></p>'"
                   "    + '<p><input type=text autocomplete=postal-code></p>'"
                   "    + '<p>メール <input type=email name=mail autocomplete=email></p></form>';"
                   "}, 300);</script>");

} // namespace

class TestDynamicPages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data();
    void hiddenFieldsAreNeverFilled_data();
    void hiddenFieldsAreNeverFilled();
    void formMadeAfterTheLoad();
    void routeChangeReplacesTheForm();
    void sameOriginFrame();
    void otherOriginFrameIsLeftAlone();
    void pressedInputOfASharedName();
};

// Every test runs on both engines.
void TestDynamicPages::initTestCase_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::newRow("webkit") << Engine::WebKit;
    QTest::newRow("chromium") << Engine::Chromium;
}

void TestDynamicPages::hiddenFieldsAreNeverFilled_data()
{
    QTest::addColumn<QString>("hiding");
    // %1 stands for the hidden fields.
    QTest::newRow("display none") << "<div style='display:none'>%1</div>";
    QTest::newRow("visibility hidden") << "<div style='visibility:hidden'>%1</div>";
    QTest::newRow("far off-screen") << "<div style='position:absolute; left:-9999px; top:-9999px'>%1</div>";
    QTest::newRow("no size") << "<div style='width:0; height:0; overflow:hidden'>%1</div>";
    QTest::newRow("transparent") << "<div style='opacity:0'>%1</div>";
    QTest::newRow("closed details") << "<details><summary>その他</summary>%1</details>";
    QTest::newRow("hidden parent") << "<section hidden>%1</section>";
    QTest::newRow("clipped away") << "<div style='position:absolute; width:1px; height:1px; overflow:hidden; "
                                     "clip:rect(0 0 0 0)'>%1</div>";
    QTest::newRow("right of a page that does not scroll")
        << "<style>html, body { overflow: hidden }</style>"
           "<div style='position:absolute; left:4000px; top:0'>%1</div>";
    QTest::newRow("below a body that clips")
        << "<style>html { overflow: auto } body { overflow: hidden; height: 200px; margin: 0 }</style>"
           "<div style='position:absolute; top:3000px'>%1</div>";
    QTest::newRow("nearly transparent twice")
        << "<div style='opacity:.15'><div style='opacity:.15'>%1</div></div>";
    QTest::newRow("covered")
        << "<div style='position:relative'>%1<div style='position:absolute; left:0; top:0; "
           "right:0; bottom:0; background:#fff'></div></div>";
    QTest::newRow("clip-path inset")
        << "<div style='clip-path:inset(50%); -webkit-clip-path:inset(50%)'>%1</div>";
    QTest::newRow("clip-path circle")
        << "<div style='clip-path:circle(0 at 50% 50%); -webkit-clip-path:circle(0 at 50% 50%)'>%1</div>";
    QTest::newRow("tiny boxes")
        << "<style>.tiny input { width: 2px; height: 2px; padding: 0; border: 0 }</style>"
           "<div class=tiny>%1</div>";
    // Pages that try to answer for the browser, or to mislead it about what shows.
    const QString hidden = QStringLiteral("<div style='display:none'>%1</div>");
    QTest::newRow("predefined globals")
        << "<script>var fake = { handleOf: function () { return 1; }, scan: function () { return []; },"
           " call: function () { return null; }, text: function () { return '[]'; } };"
           "window.__kakikomi = fake; window.__kakikomiWatch = fake;"
           "try { Object.defineProperty(window, '__kakikomiPage', { value: fake }); } catch (e) {}</script>"
               + hidden;
    QTest::newRow("its own page script")
        << "<script>function own() { return { scan: function () { return []; },"
           " text: function () { return '[]'; } }; }"
           "function offer() { try { window.__kakikomiWatch.installAllowed(own, own); } catch (e) {} }"
           "offer(); document.addEventListener('DOMContentLoaded', offer); setInterval(offer, 1);</script>"
               + hidden;
    QTest::newRow("controls named as the form's properties")
        << "<input type=hidden name=parentNode><input type=hidden name=nodeType>"
           "<input type=hidden name=children><input type=hidden name=firstChild>"
           "<input type=hidden name=nextSibling><input type=hidden name=className>"
               + hidden;
    QTest::newRow("lying natives")
        << "<script>Element.prototype.getBoundingClientRect = function () {"
           "  return { left: 10, top: 10, right: 200, bottom: 40, width: 190, height: 30 }; };"
           "window.getComputedStyle = function () { return { display: 'block', visibility: 'visible',"
           "  opacity: '1', getPropertyValue: function () { return ''; } }; };"
           "CSSStyleDeclaration.prototype.getPropertyValue = function () { return ''; };"
           "Math.max = function () { return -1e9; }; Math.min = function () { return 1e9; };"
           "RegExp.prototype.test = function () { return false; };"
           "WeakMap.prototype.get = function () { return 1; };"
           "Array.prototype.push = function () { return 0; };"
           "Object.prototype.scan = function () { return []; };</script>"
               + hidden;
    QTest::newRow("Prototype-style toJSON")
        << "<script>Array.prototype.toJSON = function () { return 'array'; };"
           "Object.prototype.toJSON = function () { return 'object'; };"
           "String.prototype.toJSON = function () { return 'string'; };"
           "JSON.stringify = function () { return '[]'; };</script>"
               + hidden;
    QTest::newRow("expandos") << "<script>document.addEventListener('DOMContentLoaded', function () {"
                                 "  var all = document.querySelectorAll('input');"
                                 "  for (var i = 0; i < all.length; ++i) {"
                                 "    all[i].__kakikomiHandle = 1; all[i].__kakikomiStamp = 1;"
                                 "    all[i].__kakikomiInherited = { hides: false, clips: [], legend: '' };"
                                 "  }});</script>"
                                     + hidden;
}

void TestDynamicPages::hiddenFieldsAreNeverFilled()
{
    QFETCH(QString, hiding);
    QFETCH_GLOBAL(Engine, engine);
    Browser browser(testDocument(), Browser::Showing::Shown, engine);
    const QString hidden = QStringLiteral("<input id=zip autocomplete=postal-code>"
                                          "<input id=city autocomplete=address-level2>"
                                          "<input id=tel type=tel autocomplete=tel>");
    QVERIFY(browser.open("<form>" + shownFields + hiding.arg(hidden) + "</form>", address));

    QCOMPARE(fillPage(browser), qMakePair(2, 0));
    QCOMPARE(browser.value("#sei"), QString("山田"));
    QCOMPARE(browser.value("#mail"), QString("hanako@example.jp"));
    for (const QString selector : {"#zip", "#city", "#tel"}) {
        QCOMPARE(browser.value(selector), QString());
    }
    QCOMPARE(rulesOf(browser), QJsonObject({{"sei", "familyName"}, {"mail", "mail"}}));
}

void TestDynamicPages::formMadeAfterTheLoad()
{
    QFETCH_GLOBAL(Engine, engine);
    Browser browser(testDocument(), Browser::Showing::Shown, engine);
    QVERIFY(browser.open(lateForm, address));
    QVERIFY(waitFor(browser, QString(), "[name=sei]"));

    // The menu opens on a field made after the load, and the choice is recorded.
    QVERIFY(chooseIn(browser, QString(), "[name=sei]", "姓: 山田"));
    QTRY_COMPARE(browser.value("[name=sei]"), QString("山田"));
    // The whole-form fill records what it fills there, the unnamed field under its generated id.
    QCOMPARE(fillPage(browser), qMakePair(2, 0));
    QCOMPARE(rulesOf(browser),
             QJsonObject({{"sei", "familyName"}, {"unknown1", "zipcode"}, {"mail", "mail"}}));

    // The next visit refills the fields as the page makes them.
    QVERIFY(browser.open(lateForm, address));
    QVERIFY(waitFor(browser, QString(), "[name=mail]"));
    QTRY_COMPARE(browser.value("[name=mail]"), QString("hanako@example.jp"));
    QCOMPARE(browser.value("[name=sei]"), QString("山田"));
    QCOMPARE(browser.value("[autocomplete=postal-code]"), QString("100-0001"));
}

void TestDynamicPages::routeChangeReplacesTheForm()
{
    // Step one asks for the name, step two (after a route change, without a load) for the address.
    const QString steps =
        QStringLiteral("<main id=view><p>姓 <input id=sei autocomplete=family-name></p>"
                       "<button id=next onclick='go()'>次へ</button></main><script>"
                       "function go() { history.pushState({}, '', '#step2');"
                       "  document.getElementById('view').innerHTML ="
                       "    '<p>郵便番号 <input type=text id=zip autocomplete=postal-code></p><p>市区町村 "
                       "<input type=text id=city autocomplete=address-level2></p>'; }"
                       "</script>");
    QJsonObject document = testDocument();
    // Rules belong to the address shown, which the route change sets.
    document["sites"] = QJsonObject{{address + "#step2", QJsonObject{{"city", "city"}}}};
    QFETCH_GLOBAL(Engine, engine);
    Browser browser(document, Browser::Showing::Shown, engine);
    QVERIFY(browser.open(steps, address));
    browser.run("go()");
    QVERIFY(waitFor(browser, QString(), "#city"));
    // The recorded rule fills the field as it appears; the menu opens on the new fields.
    QTRY_COMPARE(browser.value("#city"), QString("千代田区"));
    QVERIFY(chooseIn(browser, QString(), "#zip", "郵便番号: 100-0001"));
    QTRY_COMPARE(browser.value("#zip"), QString("100-0001"));
}

void TestDynamicPages::sameOriginFrame()
{
    // An embedded contact form: a same-origin frame with its own fields.
    const QString page =
        QStringLiteral("<h1>お問い合わせ</h1><iframe id=contact style='width:500px; height:300px' srcdoc=\""
                       "<form><p>姓 <input type=text id=sei autocomplete=family-name></p>"
                       "<p>メール <input id=mail type=email autocomplete=email></p></form>\"></iframe>");
    QFETCH_GLOBAL(Engine, engine);
    Browser browser(testDocument(), Browser::Showing::Shown, engine);
    QVERIFY(browser.open(page, address));
    QVERIFY(waitFor(browser, "#contact", "#mail"));

    QCOMPARE(fillPage(browser), qMakePair(2, 0));
    QCOMPARE(valueIn(browser, "#contact", "#sei"), QString("山田"));
    QCOMPARE(valueIn(browser, "#contact", "#mail"), QString("hanako@example.jp"));
    QCOMPARE(rulesOf(browser), QJsonObject({{"contact/sei", "familyName"}, {"contact/mail", "mail"}}));

    // The menu opens on the frame's fields; the next visit refills them.
    browser.run("document.querySelector('#contact').contentDocument.querySelector('#sei').value = ''");
    QVERIFY(chooseIn(browser, "#contact", "#sei", "消去"));
    // Chromium takes the choice a moment later; a page loaded before that would void it.
    QTRY_COMPARE(rulesOf(browser).value("contact/sei").toString(), QString("__DELETE_HERE__"));
    QVERIFY(browser.open(page, address));
    QVERIFY(waitFor(browser, "#contact", "#mail"));
    QTRY_COMPARE(valueIn(browser, "#contact", "#mail"), QString("hanako@example.jp"));
    QCOMPARE(valueIn(browser, "#contact", "#sei"), QString());
    QCOMPARE(rulesOf(browser).value("contact/sei").toString(), QString("__DELETE_HERE__"));
}

void TestDynamicPages::otherOriginFrameIsLeftAlone()
{
    // A sandboxed frame has an origin of its own: nothing reaches into it. Nor can the test, so the
    // frame tells its field's value when the page asks.
    const QString page =
        QStringLiteral("<form>") + shownFields
        + QStringLiteral(
            "</form><iframe id=ad sandbox='allow-scripts' srcdoc=\""
            "<input id=zip autocomplete=postal-code><script>"
            "addEventListener('message', function () {"
            "  parent.postMessage(document.getElementById('zip').value, '*'); });"
            "</script>\"></iframe>"
            "<script>var told = null; addEventListener('message', function (e) { told = e.data; });"
            "</script>");
    QFETCH_GLOBAL(Engine, engine);
    Browser browser(testDocument(), Browser::Showing::Shown, engine);
    QVERIFY(browser.open(page, address));
    QCOMPARE(fillPage(browser), qMakePair(2, 0));
    QCOMPARE(rulesOf(browser), QJsonObject({{"sei", "familyName"}, {"mail", "mail"}}));
    browser.run("document.getElementById('ad').contentWindow.postMessage('value?', '*')");
    QTRY_VERIFY(browser.run("told !== null").toBool());
    QCOMPARE(browser.run("told").toString(), QString());
}

void TestDynamicPages::pressedInputOfASharedName()
{
    // Two fields named alike (a page that repeats a block): the one pressed gets the menu and the
    // value, and the choice is recorded under the name they share.
    QFETCH_GLOBAL(Engine, engine);
    Browser browser(testDocument(), Browser::Showing::Shown, engine);
    QVERIFY(browser.open("<p><input type=text name=n> <input type=text name=n></p>", address));
    QVERIFY(chooseIn(browser, QString(), "input:first-child", "姓: 山田"));
    QTRY_COMPARE(browser.value("input:first-child"), QString("山田"));
    QCOMPARE(browser.value("input:last-child"), QString());
    QCOMPARE(rulesOf(browser), QJsonObject({{"n", "familyName"}}));
    QVERIFY(chooseIn(browser, QString(), "input:last-child", "姓: 山田"));
    QTRY_COMPARE(browser.value("input:last-child"), QString("山田"));
}

QTEST_MAIN(TestDynamicPages)
#include "TestDynamicPages.moc"

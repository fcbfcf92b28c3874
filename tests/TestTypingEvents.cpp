// The typing script's events in each engine, and an open input method composition ended before a
// value is written.

#include "browser.h"
#include "page/page.h"
#include "page/pagescripts.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QJsonArray>
#include <QJsonObject>
#include <QTest>

using namespace PageScripts;
using namespace TestSupport;

namespace {

// Records every event of typing as the document sees it after bubbling: "type=value".
const QString recorder = QStringLiteral(R"(<script>
var log = [];
['compositionend', 'focus', 'keydown', 'input', 'keyup', 'change', 'blur'].forEach(function (type) {
    document.addEventListener(type, function (e) { log.push(e.type + '=' + e.target.value); }, false);
});
</script>)");

// A field the way React keeps one: the element's own value property remembers what scripts set,
// an input event counts only when the value differs from that, and change and blur render the
// state back into the field.
const QString controlled = QStringLiteral(R"(<input id=c value='東京都'><script>
var field = document.getElementById('c');
var state = field.value;
var native = Object.getOwnPropertyDescriptor(HTMLInputElement.prototype, 'value');
var tracked = state;
Object.defineProperty(field, 'value', {
    get: function () { return native.get.call(this); },
    set: function (v) { tracked = '' + v; native.set.call(this, v); }
});
field.addEventListener('input', function () {
    if (field.value !== tracked) { tracked = field.value; state = field.value; }
});
function render() { field.value = state; }
field.addEventListener('change', render);
field.addEventListener('blur', render);
</script>)");

// Vue's v-model: input is ignored while a composition is open.
const QString composing = QStringLiteral(R"(<input id=v><script>
var field = document.getElementById('v');
var state = '', composing = false;
field.addEventListener('compositionstart', function () { composing = true; });
field.addEventListener('compositionend', function () { composing = false; state = field.value; });
field.addEventListener('input', function () { if (!composing) { state = field.value; } });
</script>)");

// Runs a script on the control, as "this"; the line breaks keep a leading comment from eating the
// rest.
QVariant runOn(const Browser &browser, const QString &selector, const QString &script)
{
    return browser.run(QStringLiteral("(function () { return (\n%1\n); }).call(document.querySelector('%2'))")
                           .arg(script, selector));
}

} // namespace

class TestTypingEvents : public QObject
{
    Q_OBJECT

private slots:
    void sequence_data();
    void sequence();
    void controlledComponentKeepsValues_data();
    void controlledComponentKeepsValues();
    void openCompositionEndsFirst_data();
    void openCompositionEndsFirst();
    void refillLeavesTheCompositionAlone_data() { engineRows(); }
    void refillLeavesTheCompositionAlone();
};

void TestTypingEvents::sequence_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QStringList>("scripts");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("events");

    const QString text = "<input id=f value='東京都'>";
    const QString typed = "focus=東京都 keydown=東京都 input=%1 keyup=%1 change=%1 blur=%1";
    forEachEngine([&](Engine engine, const QByteArray &prefix) {
        const auto row = [&](const char *name) -> QTestData & {
            return QTest::newRow(prefix + name) << engine;
        };
        row("value") << text << QStringList{typeValue("港区")} << "港区" << typed.arg("港区");
        row("insertion at the caret")
            << text << QStringList{"this.setSelectionRange(3, 3)", typeAtSelection("港区")} << "東京都港区"
            << typed.arg("東京都港区");
        row("insertion over the selection")
            << text << QStringList{"this.setSelectionRange(1, 3)", typeAtSelection("港区")} << "東港区"
            << typed.arg("東港区");
        row("clearing") << text << QStringList{typeValue("")} << "" << typed.arg("");
        row("around another write") << text
                                    << QStringList{"this.setSelectionRange(3, 3)", beforeTyping(),
                                                   insertAtSelection("'\\"), afterTyping()}
                                    << "東京都'\\" << typed.arg("東京都'\\");
        row("three scripts") << text << QStringList{beforeTyping(), setNativeValue("港区"), afterTyping()}
                             << "港区" << typed.arg("港区");
        row("number field has no selection")
            << "<input id=f type=number value=1>" << QStringList{typeAtSelection("42")} << "42"
            << "focus=1 keydown=1 input=42 keyup=42 change=42 blur=42";
        row("text area keeps line breaks") << "<textarea id=f>東京都</textarea>"
                                           << QStringList{typeValue("a\nb")} << "a\nb" << typed.arg("a\nb");
        row("select") << "<select id=f><option>東京都<option>大阪府</select>"
                      << QStringList{typeValue("大阪府")} << "大阪府" << typed.arg("大阪府");
        row("focused field ends a composition first")
            << text << QStringList{"this.focus()", typeValue("港区")} << "港区"
            << "compositionend=東京都 " + typed.arg("港区");
        row("engine without event constructors")
            << "<script>Event = KeyboardEvent = FocusEvent = CompositionEvent = undefined;</script>" + text
            << QStringList{typeValue("港区")} << "港区" << typed.arg("港区");
        row("handlers that throw")
            << text
                   + "<script>['focus', 'keydown', 'input', 'keyup', 'change', 'blur'].forEach(function (t) {"
                     "  document.getElementById('f').addEventListener(t, function () { throw new Error(t); "
                     "});"
                     "});</script>"
            << QStringList{typeValue("港区")} << "港区" << typed.arg("港区");
        row("broken dispatch and setter")
            << text
                   + "<script>var f = document.getElementById('f'); f.dispatchEvent = function () { throw 1; "
                     "};"
                     "Object.getOwnPropertyDescriptor = function () { throw 2; };</script>"
            << QStringList{typeValue("港区")} << "港区"
            << "";
    });
}

void TestTypingEvents::sequence()
{
    QFETCH(Engine, engine);
    QFETCH(QString, page);
    QFETCH(QStringList, scripts);
    QFETCH(QString, value);
    QFETCH(QString, events);

    Browser browser(QByteArray(), Browser::Showing::Hidden, engine);
    QVERIFY(browser.open(recorder + page, "http://127.0.0.1:1/form"));
    for (const QString &script : scripts) {
        runOn(browser, "#f", script);
    }
    QCOMPARE(runOn(browser, "#f", readValue()).toString(), value);
    QCOMPARE(browser.run("log.join(' ')").toString(), events);
}

void TestTypingEvents::controlledComponentKeepsValues_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QStringList>("scripts");
    QTest::addColumn<QString>("value");

    forEachEngine([](Engine engine, const QByteArray &prefix) {
        const auto row = [&](const char *name) -> QTestData & {
            return QTest::newRow(prefix + name) << engine;
        };
        row("value") << QStringList{typeValue("大阪府")} << "大阪府";
        row("insertion") << QStringList{"this.setSelectionRange(3, 3)", typeAtSelection("港区")}
                         << "東京都港区";
        row("clearing") << QStringList{typeValue("")} << "";
        row("insertion around") << QStringList{"this.setSelectionRange(3, 3)", beforeTyping(),
                                               insertAtSelection("1"), afterTyping()}
                                << "東京都1";
        row("three scripts") << QStringList{beforeTyping(), setNativeValue("大阪府"), afterTyping()}
                             << "大阪府";
        row("two writes") << QStringList{typeValue("a"), typeAtSelection("b")} << "ab";
    });
}

void TestTypingEvents::controlledComponentKeepsValues()
{
    QFETCH(Engine, engine);
    QFETCH(QStringList, scripts);
    QFETCH(QString, value);

    Browser browser(QByteArray(), Browser::Showing::Hidden, engine);
    QVERIFY(browser.open(controlled, "http://127.0.0.1:1/app"));
    for (const QString &script : scripts) {
        runOn(browser, "#c", script);
    }
    QCOMPARE(browser.run("state").toString(), value);
    QCOMPARE(browser.value("#c"), value);

    // The page re-renders from its state: a plain assignment followed by the same events is lost,
    // which is why the value goes through the prototype's setter.
    runOn(browser, "#c", beforeTyping());
    runOn(browser, "#c", assignValue("lost"));
    runOn(browser, "#c", afterTyping());
    QCOMPARE(browser.value("#c"), value);
}

void TestTypingEvents::openCompositionEndsFirst_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<bool>("endInView");

    // The script alone lets the page take the value. Left open in the engine, though, the composition
    // covers the written value and the input method's next text would replace it: the view ends it.
    forEachEngine([](Engine engine, const QByteArray &prefix) {
        QTest::newRow(prefix + "page only") << engine << false;
        QTest::newRow(prefix + "view and page") << engine << true;
    });
}

void TestTypingEvents::openCompositionEndsFirst()
{
    QFETCH(Engine, engine);
    QFETCH(bool, endInView);

    Browser browser(QByteArray(), Browser::Showing::Exposed, engine);
    QApplication::setActiveWindow(&browser.window());
    QVERIFY(QTest::qWaitForWindowActive(&browser.window()));
    QVERIFY(browser.open(composing, "http://127.0.0.1:1/vue"));
    // Focused without a click, which would open the field menu.
    browser.input()->setFocus();
    browser.run("field.focus()");
    QTRY_COMPARE(browser.run("document.activeElement.id").toString(), QString("v"));
    const auto send = [&browser](QInputMethodEvent event) {
        QApplication::sendEvent(browser.input(), &event);
    };
    send(QInputMethodEvent(QStringLiteral("やま"), {}));
    QTRY_COMPARE(browser.run("composing").toBool(), true);
    QCOMPARE(browser.value("#v"), QStringLiteral("やま"));

    Page &page = browser.window().page();
    if (endInView) {
        page.endComposition();
        QTRY_COMPARE(browser.value("#v"), QString());
    }
    runOn(browser, "#v", typeValue(QStringLiteral("山田")));
    QCOMPARE(browser.run("composing").toBool(), false);
    QCOMPARE(browser.run("state").toString(), QStringLiteral("山田"));
    QCOMPARE(browser.value("#v"), QStringLiteral("山田"));
    if (!endInView) {
        return;
    }

    // The input method goes on after the value.
    send(QInputMethodEvent(QStringLiteral("あ"), {}));
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("亜"));
    send(commit);
    QTRY_COMPARE(browser.value("#v"), QStringLiteral("山田亜"));
    QCOMPARE(browser.run("state").toString(), QStringLiteral("山田亜"));

    // Nothing open: ending changes nothing.
    page.endComposition();
    QCOMPARE(browser.value("#v"), QStringLiteral("山田亜"));
}

// The browser's own refill of controls a page adds, on a page it fills at every visit, does not end
// what the user is composing in another field, nor write into that field.
void TestTypingEvents::refillLeavesTheCompositionAlone()
{
    QFETCH(Engine, engine);
    const QString address = QStringLiteral("http://127.0.0.1:1/spa");
    const QJsonObject document{{"profile", QJsonObject{{"familyName", "山田"}, {"mail", "a@b.jp"}}},
                               {"sites", QJsonObject{{address, QJsonObject{{"mail", "mail"}}}}},
                               {"wholeFormFill", QJsonArray{address}}};
    Browser browser(document, Browser::Showing::Exposed, engine);
    QApplication::setActiveWindow(&browser.window());
    QVERIFY(QTest::qWaitForWindowActive(&browser.window()));
    QVERIFY(browser.open(composing, address));
    browser.input()->setFocus();
    browser.run("field.focus()");
    QTRY_COMPARE(browser.run("document.activeElement.id").toString(), QString("v"));
    const auto send = [&browser](QInputMethodEvent event) {
        QApplication::sendEvent(browser.input(), &event);
    };
    send(QInputMethodEvent(QStringLiteral("やま"), {}));
    QTRY_COMPARE(browser.run("composing").toBool(), true);

    // The page renders its next step meanwhile; the browser fills it as it appears.
    browser.run("document.body.insertAdjacentHTML('beforeend', '<p>姓 <input id=sei autocomplete=family-name>"
                "</p><p><input id=mail type=email></p>')");
    QTRY_COMPARE(browser.value("#sei"), QStringLiteral("山田"));
    QTRY_COMPARE(browser.value("#mail"), QStringLiteral("a@b.jp"));
    QCOMPARE(browser.run("composing").toBool(), true);
    QCOMPARE(browser.value("#v"), QStringLiteral("やま"));

    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("山"));
    send(commit);
    QTRY_COMPARE(browser.run("state").toString(), QStringLiteral("山"));
}

QTEST_MAIN(TestTypingEvents)
#include "TestTypingEvents.moc"

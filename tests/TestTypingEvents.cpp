#include "page/imecomposition.h"
#include "page/pagescripts.h"
#include "testsupport.h"

#include <QApplication>
#include <QInputMethodEvent>
#include <QTest>
#include <QWebElement>
#include <QWebFrame>
#include <QWebView>

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

QVariant run(QWebView *view, const QString &script)
{
    return view->page()->mainFrame()->evaluateJavaScript(script);
}

} // namespace

class TestTypingEvents : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sequence_data();
    void sequence();
    void controlledComponentKeepsValues_data();
    void controlledComponentKeepsValues();
    void openCompositionEndsFirst_data();
    void openCompositionEndsFirst();

private:
    QWebView *view = nullptr;
};

void TestTypingEvents::init()
{
    view = new QWebView;
    view->resize(600, 400);
}

void TestTypingEvents::cleanup()
{
    delete view;
    view = nullptr;
}

void TestTypingEvents::sequence_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("selector");
    QTest::addColumn<QStringList>("scripts");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("events");

    const QString text = "<input id=f value='東京都'>";
    const QString typed = "focus=東京都 keydown=東京都 input=%1 keyup=%1 change=%1 blur=%1";
    QTest::newRow("value") << text << "#f" << QStringList{typeValue("港区")} << "港区" << typed.arg("港区");
    QTest::newRow("insertion at the caret")
        << text << "#f" << QStringList{"this.setSelectionRange(3, 3)", typeAtSelection("港区")}
        << "東京都港区" << typed.arg("東京都港区");
    QTest::newRow("insertion over the selection")
        << text << "#f" << QStringList{"this.setSelectionRange(1, 3)", typeAtSelection("港区")} << "東港区"
        << typed.arg("東港区");
    QTest::newRow("clearing") << text << "#f" << QStringList{typeValue("")} << "" << typed.arg("");
    QTest::newRow("around another write") << text << "#f"
                                          << QStringList{"this.setSelectionRange(3, 3)", beforeTyping(),
                                                         insertAtSelection("'\\"), afterTyping()}
                                          << "東京都'\\" << typed.arg("東京都'\\");
    QTest::newRow("three scripts") << text << "#f"
                                   << QStringList{beforeTyping(), setNativeValue("港区"), afterTyping()}
                                   << "港区" << typed.arg("港区");
    QTest::newRow("number field has no selection") << "<input id=f type=number value=1>"
                                                   << "#f" << QStringList{typeAtSelection("42")} << "42"
                                                   << "focus=1 keydown=1 input=42 keyup=42 change=42 blur=42";
    QTest::newRow("text area keeps line breaks")
        << "<textarea id=f>東京都</textarea>"
        << "#f" << QStringList{typeValue("a\nb")} << "a\nb" << typed.arg("a\nb");
    QTest::newRow("select") << "<select id=f><option>東京都<option>大阪府</select>"
                            << "#f" << QStringList{typeValue("大阪府")} << "大阪府" << typed.arg("大阪府");
    QTest::newRow("focused field ends a composition first")
        << text << "#f" << QStringList{"this.focus()", typeValue("港区")} << "港区"
        << "compositionend=東京都 " + typed.arg("港区");
    QTest::newRow("engine without event constructors")
        << "<script>Event = KeyboardEvent = FocusEvent = CompositionEvent = undefined;</script>" + text
        << "#f" << QStringList{typeValue("港区")} << "港区" << typed.arg("港区");
    QTest::newRow("handlers that throw")
        << text
               + "<script>['focus', 'keydown', 'input', 'keyup', 'change', 'blur'].forEach(function (t) {"
                 "  document.getElementById('f').addEventListener(t, function () { throw new Error(t); });"
                 "});</script>"
        << "#f" << QStringList{typeValue("港区")} << "港区" << typed.arg("港区");
    QTest::newRow("broken dispatch and setter")
        << text
               + "<script>var f = document.getElementById('f'); f.dispatchEvent = function () { throw 1; };"
                 "Object.getOwnPropertyDescriptor = function () { throw 2; };</script>"
        << "#f" << QStringList{typeValue("港区")} << "港区"
        << "";
}

void TestTypingEvents::sequence()
{
    QFETCH(QString, page);
    QFETCH(QString, selector);
    QFETCH(QStringList, scripts);
    QFETCH(QString, value);
    QFETCH(QString, events);

    QVERIFY(loadHtml(view, recorder + page, "http://127.0.0.1:1/form"));
    QWebElement field = element(view, selector);
    for (const QString &script : scripts) {
        field.evaluateJavaScript(script);
    }
    QCOMPARE(field.evaluateJavaScript(readValue()).toString(), value);
    QCOMPARE(run(view, "log.join(' ')").toString(), events);
}

void TestTypingEvents::controlledComponentKeepsValues_data()
{
    QTest::addColumn<QStringList>("scripts");
    QTest::addColumn<QString>("value");

    QTest::newRow("value") << QStringList{typeValue("大阪府")} << "大阪府";
    QTest::newRow("insertion") << QStringList{"this.setSelectionRange(3, 3)", typeAtSelection("港区")}
                               << "東京都港区";
    QTest::newRow("clearing") << QStringList{typeValue("")} << "";
    QTest::newRow("insertion around")
        << QStringList{"this.setSelectionRange(3, 3)", beforeTyping(), insertAtSelection("1"), afterTyping()}
        << "東京都1";
    QTest::newRow("three scripts") << QStringList{beforeTyping(), setNativeValue("大阪府"), afterTyping()}
                                   << "大阪府";
    QTest::newRow("two writes") << QStringList{typeValue("a"), typeAtSelection("b")} << "ab";
}

void TestTypingEvents::controlledComponentKeepsValues()
{
    QFETCH(QStringList, scripts);
    QFETCH(QString, value);

    QVERIFY(loadHtml(view, controlled, "http://127.0.0.1:1/app"));
    QWebElement field = element(view, "#c");
    for (const QString &script : scripts) {
        field.evaluateJavaScript(script);
    }
    QCOMPARE(run(view, "state").toString(), value);
    QCOMPARE(fieldValue(view, "#c"), value);

    // The page re-renders from its state: a plain assignment followed by the same events is lost,
    // which is why the value goes through the prototype's setter.
    field.evaluateJavaScript(beforeTyping());
    field.evaluateJavaScript(assignValue("lost"));
    field.evaluateJavaScript(afterTyping());
    QCOMPARE(fieldValue(view, "#c"), value);
}

void TestTypingEvents::openCompositionEndsFirst_data()
{
    QTest::addColumn<bool>("endInView");

    // The script alone lets the page take the value. Left open in the engine, though, the composition
    // covers the written value and the input method's next text would replace it: the view ends it.
    QTest::newRow("page only") << false;
    QTest::newRow("view and page") << true;
}

void TestTypingEvents::openCompositionEndsFirst()
{
    QFETCH(bool, endInView);

    view->show();
    QApplication::setActiveWindow(view);
    QVERIFY(QTest::qWaitForWindowActive(view));
    QVERIFY(loadHtml(view, composing, "http://127.0.0.1:1/vue"));
    QWebElement field = element(view, "#v");
    click(view, "#v");
    QInputMethodEvent preedit(QStringLiteral("やま"), {});
    QApplication::sendEvent(view, &preedit);
    QCOMPARE(run(view, "composing").toBool(), true);
    QCOMPARE(fieldValue(view, "#v"), QStringLiteral("やま"));

    if (endInView) {
        ImeComposition::end(view);
        QCOMPARE(fieldValue(view, "#v"), QString());
    }
    field.evaluateJavaScript(typeValue(QStringLiteral("山田")));
    QCOMPARE(run(view, "composing").toBool(), false);
    QCOMPARE(run(view, "state").toString(), QStringLiteral("山田"));
    QCOMPARE(fieldValue(view, "#v"), QStringLiteral("山田"));
    if (!endInView) {
        return;
    }

    // The input method goes on after the value.
    QInputMethodEvent next(QStringLiteral("あ"), {});
    QApplication::sendEvent(view, &next);
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("亜"));
    QApplication::sendEvent(view, &commit);
    QCOMPARE(fieldValue(view, "#v"), QStringLiteral("山田亜"));
    QCOMPARE(run(view, "state").toString(), QStringLiteral("山田亜"));

    // Nothing open: ending changes nothing.
    ImeComposition::end(view);
    QCOMPARE(fieldValue(view, "#v"), QStringLiteral("山田亜"));
}

QTEST_MAIN(TestTypingEvents)
#include "TestTypingEvents.moc"

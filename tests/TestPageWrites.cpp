// What a page sees of the values the window writes: the events of typing around every kind of
// write, controlled fields that keep each value, and derived values offered, recorded and refilled.

#include "browser.h"
#include "testsupport.h"

#include <QFile>
#include <QJsonArray>
#include <QTest>

using namespace TestSupport;

namespace {

const QString formAddress = QStringLiteral("http://127.0.0.1:1/signup");

// Every field is controlled the way React keeps one: the element's own value property remembers
// what scripts set, an input event counts only when the value differs from that, and change and
// blur render the state back into the field. The document records each typing event after bubbling
// as "type=value"; a click starts the log afresh, before the field menu opens.
const QString controlledPage = QStringLiteral(R"(<!DOCTYPE html><body style='margin:20px'>
<input id=name type=text style='width:300px'> <input id=mail type=email style='width:300px'>
<input id=zip01 type=tel maxlength=3> <input id=zip02 type=tel maxlength=4>
<script>
var log = [], byField = {}, state = {};
document.addEventListener('click', function () { log = []; }, true);
['compositionend', 'focus', 'keydown', 'input', 'keyup', 'change', 'blur'].forEach(function (type) {
    document.addEventListener(type, function (e) {
        log.push(e.type + '=' + e.target.value);
        (byField[e.target.id] = byField[e.target.id] || []).push(e.type + '=' + e.target.value);
    }, false);
});
var native = Object.getOwnPropertyDescriptor(HTMLInputElement.prototype, 'value');
Array.prototype.forEach.call(document.querySelectorAll('input'), function (field) {
    var tracked = '';
    state[field.id] = '';
    Object.defineProperty(field, 'value', {
        get: function () { return native.get.call(this); },
        set: function (v) { tracked = '' + v; native.set.call(this, v); }
    });
    field.addEventListener('input', function () {
        if (field.value !== tracked) { tracked = field.value; state[field.id] = field.value; }
    });
    function render() { field.value = state[field.id]; }
    field.addEventListener('change', render);
    field.addEventListener('blur', render);
});
// The user typed into the name field before.
function typed(id, text) { document.getElementById(id).focus(); native.set.call(document.getElementById(id), text);
    document.getElementById(id).dispatchEvent(new Event('input', {bubbles: true})); log = []; }
</script>)");

QJsonObject profile()
{
    return {{"profile", QJsonObject{{"familyName", "山田"},
                                    {"lastName", "花子"},
                                    {"familyNameK", "ヤマダ"},
                                    {"mail", "hanako@example.jp"},
                                    {"zipcode", "100-0001"}}},
            {"actions", QJsonObject{{"姓", QJsonArray{"familyName"}},
                                    {"氏名", QJsonArray{"fullName"}},
                                    {"せい", QJsonArray{"familyNameK.hiragana"}},
                                    {"メール", QJsonArray{"mail"}},
                                    {"郵便番号（3桁）", QJsonArray{"zipcode.part1"}},
                                    {"郵便番号（4桁）", QJsonArray{"zipcode.part2"}}}}};
}

} // namespace

class TestPageWrites : public QObject
{
    Q_OBJECT

private slots:
    void everyWriteIsTyped_data();
    void everyWriteIsTyped();
    void derivedRuleIsRefilled_data();
    void derivedRuleIsRefilled();
    void demoSplitAndSpelledFields_data();
    void demoSplitAndSpelledFields();
};

void TestPageWrites::everyWriteIsTyped_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QString>("typedBefore");
    QTest::addColumn<QString>("selector");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("value");

    forEachEngine([](Engine engine, const QByteArray &prefix) {
        const auto row = [&](const char *name) -> QTestData & {
            return QTest::newRow(prefix + name) << engine;
        };
        // The caret ends up after the typed text, where the click puts it.
        row("value at the caret") << "東京都"
                                  << "#name"
                                  << "姓: "
                                  << "東京都山田";
        row("derived value") << ""
                             << "#name"
                             << "氏名: "
                             << "山田\u3000花子";
        row("e-mail replaces the content") << "x@y.jp"
                                           << "#mail"
                                           << "メール: "
                                           << "hanako@example.jp";
        row("clearing") << "東京都"
                        << "#name"
                        << "消去"
                        << "";
        row("to half width") << "ＡＢＣ　１ー２"
                             << "#name"
                             << "→半角"
                             << "ABC\u30001-2";
        row("to full width") << "abc 1"
                             << "#name"
                             << "→全角"
                             << "ａｂｃ １";
    });
}

// Each write reaches the page as typing: the field had the focus from the click, so compositionend
// comes first; then focus, keydown, the value, input, keyup, change, blur. The controlled field's
// state follows, and a re-render keeps the value.
void TestPageWrites::everyWriteIsTyped()
{
    QFETCH(Engine, engine);
    QFETCH(QString, typedBefore);
    QFETCH(QString, selector);
    QFETCH(QString, entry);
    QFETCH(QString, value);

    Browser browser(profile(), Browser::Showing::Exposed, engine);
    QVERIFY(browser.open(controlledPage, formAddress));
    const QString id = selector.mid(1);
    if (!typedBefore.isEmpty()) {
        browser.run(QStringLiteral("typed('%1', '%2')").arg(id, typedBefore));
    }
    MessageLog messages;
    QVERIFY(browser.clickAndChoose(selector, entry));

    QTRY_COMPARE(browser.value(selector), value);
    const QString expected =
        QStringLiteral("compositionend=%1 focus=%1 keydown=%1 input=%2 keyup=%2 change=%2 blur=%2")
            .arg(typedBefore, value);
    QCOMPARE(browser.run("log.slice(0, 7).join(' ')").toString(), expected);
    QCOMPARE(browser.run(QStringLiteral("state['%1']").arg(id)).toString(), value);
    browser.run(QStringLiteral("document.getElementById('%1').blur()").arg(id));
    QCOMPARE(browser.value(selector), value);
    // The log lines of the write are those of a plain one.
    QCOMPARE(messages.debugLines().filter("on_profileSelected(").size(), 1);
}

void TestPageWrites::derivedRuleIsRefilled_data()
{
    engineRows();
}

// A derived key picked from the menu is recorded like a stored one, and the next visit fills it in
// with the same events, so the page's state holds it.
void TestPageWrites::derivedRuleIsRefilled()
{
    QFETCH(Engine, engine);
    Browser browser(profile(), Browser::Showing::Exposed, engine);
    QVERIFY(browser.open(controlledPage, formAddress));
    QVERIFY(browser.clickAndChoose("#zip01", "郵便番号（3桁）: "));
    QVERIFY(browser.clickAndChoose("#zip02", "郵便番号（4桁）: "));
    QTRY_COMPARE(browser.value("#zip01"), QString("100"));
    QTRY_COMPARE(browser.value("#zip02"), QString("0001"));
    QTRY_COMPARE(browser.saved().value("sites").toObject().value(formAddress).toObject(),
                 QJsonObject({{"zip01", "zipcode.part1"}, {"zip02", "zipcode.part2"}}));

    QVERIFY(browser.open("<p>elsewhere</p>", "http://127.0.0.1:1/other"));
    QVERIFY(browser.open(controlledPage, formAddress));
    QTRY_COMPARE(browser.value("#zip01"), QString("100"));
    QTRY_COMPARE(browser.value("#zip02"), QString("0001"));
    QCOMPARE(browser.run("state.zip01 + ' ' + state.zip02").toString(), QString("100 0001"));
    // Nothing had the focus: no composition to end.
    QCOMPARE(browser.run("byField.zip01.join(' ')").toString(),
             QString("focus= keydown= input=100 keyup=100 change=100 blur=100"));
    QCOMPARE(browser.run("byField.zip02.join(' ')").toString(),
             QString("focus= keydown= input=0001 keyup=0001 change=0001 blur=0001"));
}

void TestPageWrites::demoSplitAndSpelledFields_data()
{
    derivedRuleIsRefilled_data();
}

// The demo as a new user meets it: split postal code and phone, ふりがな and the one-field name from
// the menu, the controlled section showing its state after each fill and conversion; all of it
// refilled after a restart.
void TestPageWrites::demoSplitAndSpelledFields()
{
    QFETCH(Engine, engine);
    QFile demoProfile(QFINDTESTDATA("../demo/profile.json"));
    QVERIFY(demoProfile.open(QIODevice::ReadOnly));
    Browser browser(demoProfile.readAll(), Browser::Showing::Exposed, engine);
    browser.dir.copyDemoFile("form.html");
    const QString form = QUrl::fromLocalFile(browser.dir.filePath("form.html")).toString();
    QVERIFY(browser.load(form));

    const QList<QPair<QString, QString>> fills{
        {"#zip01", "郵便番号（3桁）: 100"},
        {"#zip02", "郵便番号（4桁）: 0001"},
        {"#tel01", "電話番号（1）: 03"},
        {"#tel02", "電話番号（2）: 1234"},
        {"#tel03", "電話番号（3）: 5678"},
        {"#sei_hira", "せい: やまだ"},
        {"#mei_hira", "めい: はなこ"},
        {"#ship_name", "氏名: 山田　花子"},
        {"#app_name", "氏名: "},
        {"#app_kana", "めい: "},
        {"#app_zip", "郵便番号: "},
        {"#app_mail", "メールアドレス: "},
    };
    for (const auto &fill : fills) {
        QStringList offered;
        browser.clickAndChoose(fill.first, fill.second, &offered);
        QVERIFY2(offered.filter(fill.second).size() == 1, qPrintable(fill.first));
    }
    QTRY_COMPARE(browser.value("#app_zip"), QString("100-0001"));
    browser.clickAndChoose("#app_zip", "→全角");

    QList<QPair<QString, QString>> values{
        {"#zip01", "100"},
        {"#zip02", "0001"},
        {"#tel01", "03"},
        {"#tel02", "1234"},
        {"#tel03", "5678"},
        {"#sei_hira", "やまだ"},
        {"#mei_hira", "はなこ"},
        {"#ship_name", "山田　花子"},
        {"#app_name", "山田　花子"},
        {"#app_kana", "はなこ"},
        {"#app_zip", "１００－０００１"},
        {"#app_mail", "hanako.yamada@example.jp"},
    };
    const auto check = [&values, &browser]() {
        for (const auto &value : values) {
            QTRY_COMPARE(browser.value(value.first), value.second);
            // Patterns and lengths of the split and spelled fields are met.
            QVERIFY2(
                browser.run(QStringLiteral("document.querySelector('%1').checkValidity()").arg(value.first))
                    .toBool(),
                qPrintable(value.first));
            if (value.first.startsWith("#app_")) {
                QCOMPARE(
                    browser
                        .run(
                            QStringLiteral("document.querySelector('%1_state').textContent").arg(value.first))
                        .toString(),
                    QString("状態: \"%1\"").arg(value.second));
            }
        }
    };
    check();
    if (QTest::currentTestFailed()) {
        return;
    }

    // After a restart on the same profile the demo page is filled in again, converted text apart
    // (conversions are not remembered), the page's state with it.
    values[10].second = "100-0001";
    browser.restart();
    QVERIFY(browser.load(form));
    check();
}

QTEST_MAIN(TestPageWrites)
#include "TestPageWrites.moc"

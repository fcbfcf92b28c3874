// このページに一括入力 on the realistic form pages: every control ends with the right value or as it
// was, the page sees typing in document order (postal code first), the status bar counts, one save
// records the fields, and the next visit refills them, selects included.

#include "browser.h"
#include "fill/fieldmenu.h"
#include "fill/formfiller.h"

#include <QAction>
#include <QDir>
#include <QJsonArray>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QWebElement>
#include <QWebFrame>

using namespace TestSupport;

namespace {

const QString formsDir = QStringLiteral(KAKIKOMI_FORMS_DIR);

// The demo's values.
QJsonObject testDocument()
{
    const QJsonObject profile{
        {"familyName", "山田"},
        {"familyNameE", "Yamada"},
        {"familyNameK", "ヤマダ"},
        {"lastName", "花子"},
        {"lastNameE", "Hanako"},
        {"lastNameK", "ハナコ"},
        {"zipcode", "100-0001"},
        {"pref", "東京都"},
        {"prefE", "Tokyo"},
        {"city", "千代田区"},
        {"cityE", "Chiyoda-ku"},
        {"address1", "千代田"},
        {"address1E", "Chiyoda"},
        {"address2", "一丁目"},
        {"address2E", "1-chome"},
        {"street", "1-1"},
        {"building", "サンプルハイツ101"},
        {"buildingE", "Sample Heights 101"},
        {"telephone", "03-1234-5678"},
        {"mail", "hanako.yamada@example.jp"},
        {"userID", "hanako_y"},
        {"password", "demo-Passw0rd"},
        {"year", 1985},
        {"month", 4},
        {"day", 12},
    };
    return {{"profile", profile}, {"actions", QJsonObject{{"姓", QJsonArray{"familyName"}}}}};
}

// Records the fields that get an input event, in order, from the page's own point of view.
const QString recordTyping = QStringLiteral("window.typedFields = [];"
                                            "document.addEventListener('input', function (e) {"
                                            "  typedFields.push(e.target.id || e.target.name); }, true);");

QString identifierOf(const QWebElement &element)
{
    const QString id = element.attribute("id");
    return id.trimmed().isEmpty() ? element.attribute("name") : id;
}

struct Expected
{
    QWebElement element;
    QString key; // empty: left as it was
    QString before; // the value (or selected option text) before the fill
};

QString shown(QWebElement element)
{
    if (element.tagName() == QLatin1String("SELECT")) {
        return element
            .evaluateJavaScript("this.selectedIndex < 0 ? '' : this.options[this.selectedIndex].text")
            .toString()
            .simplified();
    }
    return element.evaluateJavaScript("this.value").toString();
}

// What the control should show after the fill and after the refill.
QString wanted(const Expected &control, const ProfileDocument &document)
{
    if (control.element.hasAttribute("data-expect-value")) {
        return control.element.attribute("data-expect-value");
    }
    if (control.key.isEmpty()) {
        return control.before;
    }
    if (control.element.tagName() == QLatin1String("SELECT")) {
        return control.element.attribute("data-expect-option");
    }
    return document.value(control.key);
}

} // namespace

class TestWholeFormFill : public QObject
{
    Q_OBJECT

private slots:
    void menuEntry();
    void pages_data();
    void pages();
    void nothingToFillSavesNothing();
    void selectsTakeNoIdentifiers();
    void englishFallsBackLikeTheMenu();
    void leavingThePageStopsTheFill();
    void eraButtonsAndTextAreas();
};

void TestWholeFormFill::menuEntry()
{
    Browser browser;
    const QList<QAction *> entries = browser.window().menuBar()->actions().value(0)->menu()->actions();
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries[0]->objectName(), QString("actionProfile"));
    QCOMPARE(entries[1]->objectName(), QString("actionFillPage"));
    QCOMPARE(entries[1]->text(), QString("このページに一括入力"));
    QCOMPARE(entries[1]->shortcut(), QKeySequence("Ctrl+Shift+U"));
}

void TestWholeFormFill::pages_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("language");
    const QStringList files = QDir(formsDir).entryList({"*.html"}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 11);
    for (const QString &file : files) {
        QTest::newRow(qPrintable(file)) << file << int(FieldMenu::Japanese);
    }
    QTest::newRow("english.html in English") << "english.html" << int(FieldMenu::English);
}

void TestWholeFormFill::pages()
{
    QFETCH(QString, file);
    QFETCH(int, language);
    Browser browser(testDocument());
    if (language == FieldMenu::English) {
        browser.child<QAction>("actionToEnglish")->trigger();
    }
    const QString address = QUrl::fromLocalFile(QDir(formsDir).filePath(file)).toString();
    QVERIFY(loadUrl(browser.view(), address));
    QWebFrame *frame = browser.view()->page()->mainFrame();
    frame->evaluateJavaScript(recordTyping);

    const char *keyAttribute = language == FieldMenu::English ? "data-expect-key-en" : "data-expect-key";
    QVector<Expected> controls;
    for (const QWebElement &element : frame->findAllElements("input, select, textarea")) {
        QVERIFY2(element.hasAttribute("data-expect-key"), qPrintable(identifierOf(element)));
        const QString key =
            element.attribute(element.hasAttribute(keyAttribute) ? keyAttribute : "data-expect-key");
        controls.append({element, key, shown(element)});
    }
    // Typed in document order, the postal code first; fields the page filled itself are kept as
    // they are, without typing.
    QStringList typing, postal;
    QJsonObject rules;
    int filled = 0;
    for (const Expected &control : qAsConst(controls)) {
        // A field the page filled with something else first (a postal lookup) is left as it is.
        if (control.key.isEmpty()
            || (control.element.hasAttribute("data-expect-value")
                && control.element.attribute("data-expect-value") != browser.document().value(control.key))) {
            continue;
        }
        ++filled;
        rules.insert(identifierOf(control.element), control.key);
        if (!control.element.hasAttribute("data-expect-by-page")) {
            (control.key.startsWith("zipcode") ? postal : typing).append(identifierOf(control.element));
        }
    }
    typing = postal + typing;
    const QWebElement body = frame->findFirstElement("body");
    QCOMPARE(filled, body.attribute("data-expect-filled").toInt());

    MessageLog log;
    QSignalSpy saves(&browser.document(), &ProfileDocument::saved);
    QSignalSpy finished(&browser.window().formFiller(), &FormFiller::finished);
    browser.child<QAction>("actionFillPage")->trigger();
    QVERIFY(!finished.isEmpty() || finished.wait(5000));

    QStringList wrong;
    for (const Expected &control : qAsConst(controls)) {
        const QString want = wanted(control, browser.document());
        if (shown(control.element) != want) {
            wrong.append(QStringLiteral("%1: \"%2\", want \"%3\"")
                             .arg(identifierOf(control.element), shown(control.element), want));
        }
    }
    for (const QString &line : qAsConst(wrong)) {
        qWarning().noquote() << line;
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("%1 controls wrong").arg(wrong.size())));
    QCOMPARE(frame->evaluateJavaScript("typedFields").toStringList(), typing);

    const QString status = QStringLiteral("一括入力: %1 項目を入力しました（%2 項目は未入力）")
                               .arg(filled)
                               .arg(body.attribute("data-expect-left").toInt());
    QCOMPARE(browser.statusMessage(), status);
    QCOMPARE(saves.size(), filled > 0 ? 1 : 0);
    QCOMPARE(browser.saved().value("sites").toObject().value(address).toObject(), rules);
    // Every control has its line: what was decided and why.
    QCOMPARE(log.debugLines().filter(QRegularExpression("^fillPage (filled|kept|skipped) ")).size(),
             controls.size());
    for (auto rule = rules.constBegin(); rule != rules.constEnd(); ++rule) {
        const QString line = QStringLiteral("\"%1\" \"%2\" ").arg(rule.key(), rule.value().toString());
        QVERIFY2(log.debugLines().filter(QRegularExpression("^fillPage (filled|kept) ")).filter(line).size()
                     == 1,
                 qPrintable(line));
    }

    // The next visit refills every recorded field, selects included, without a save.
    QVERIFY(browser.open("<p>elsewhere</p>", "http://127.0.0.1:1/elsewhere"));
    QVERIFY(loadUrl(browser.view(), address));
    frame = browser.view()->page()->mainFrame();
    for (const Expected &before : qAsConst(controls)) {
        if (before.key.isEmpty() || before.element.hasAttribute("data-expect-value")) {
            continue;
        }
        const QString identifier = identifierOf(before.element);
        const QWebElement element =
            frame->findFirstElement(QStringLiteral("%1[%2='%3']")
                                        .arg(before.element.tagName().toLower(),
                                             before.element.hasAttribute("id") ? "id" : "name", identifier));
        QVERIFY2(!element.isNull(), qPrintable(identifier));
        QCOMPARE(shown(element), wanted(before, browser.document()));
    }
    QCOMPARE(saves.size(), filled > 0 ? 1 : 0);
}

void TestWholeFormFill::nothingToFillSavesNothing()
{
    Browser browser(testDocument());
    QVERIFY(browser.open("<form><input name=q type=search><input type=password name=pw>"
                         "<input name=memo placeholder='ご意見'></form>",
                         "http://127.0.0.1:1/nothing"));
    QSignalSpy saves(&browser.document(), &ProfileDocument::saved);
    QSignalSpy finished(&browser.window().formFiller(), &FormFiller::finished);
    browser.child<QAction>("actionFillPage")->trigger();
    QCOMPARE(finished.size(), 1);
    QCOMPARE(browser.statusMessage(), QString("一括入力: 0 項目を入力しました（0 項目は未入力）"));
    QCOMPARE(saves.size(), 0);
    QCOMPARE(browser.value("input[name=pw]"), QString());
}

// Selects are registered by id or name in a table of their own: inputs are numbered as before and
// keep their click handlers, and a select with neither is not registered.
void TestWholeFormFill::selectsTakeNoIdentifiers()
{
    Browser browser(testDocument());
    QVERIFY(browser.open("<select><option>a</option></select><input>"
                         "<select name=s><option>a</option></select><input>"
                         "<select id=t name=u><option>a</option></select>",
                         "http://127.0.0.1:1/selects"));
    const PageBridge &bridge = browser.bridge();
    QVERIFY(bridge.input("unknown1") && bridge.input("unknown2"));
    QCOMPARE(bridge.input("unknown2")->attribute("onclick"), QString("sendSignal('unknown2');"));
    QCOMPARE(bridge.inputs().size(), 2);
    QVERIFY(element(browser.view(), "select").attribute("id").isEmpty());
    QVERIFY(element(browser.view(), "select").attribute("onclick").isEmpty());
    QVERIFY(bridge.select("s") && bridge.select("t") && bridge.select("u"));
    QCOMPARE(*bridge.select("t"), *bridge.select("u"));
    QVERIFY(!bridge.select("unknown1") && !bridge.select(""));
}

// In English a Latin-letter value the profile lacks gives way to the Japanese one, as in the field
// menu, except in a field that asks for Latin letters itself.
void TestWholeFormFill::englishFallsBackLikeTheMenu()
{
    QJsonObject document = testDocument();
    QJsonObject profile = document.value("profile").toObject();
    profile.remove("familyNameE");
    document.insert("profile", profile);
    Browser browser(document);
    browser.child<QAction>("actionToEnglish")->trigger();
    QVERIFY(browser.open("<form><label for=a>Last name</label><input id=a>"
                         "<label for=b>City</label><input id=b>"
                         "<label for=c>Last name (romaji)</label><input id=c name=last_roma></form>",
                         "http://127.0.0.1:1/english"));
    browser.child<QAction>("actionFillPage")->trigger();
    QCOMPARE(browser.value("#a"), QString("山田"));
    QCOMPARE(browser.value("#b"), QString("Chiyoda-ku"));
    QCOMPARE(browser.value("#c"), QString());
    QCOMPARE(browser.statusMessage(), QString("一括入力: 2 項目を入力しました（1 項目は未入力）"));
    QCOMPARE(browser.saved().value("sites").toObject().value("http://127.0.0.1:1/english").toObject(),
             QJsonObject({{"a", "familyName"}, {"b", "cityE"}}));
}

// A page left while the fill waits for it to react to the postal code: nothing more is written,
// recorded or reported.
void TestWholeFormFill::leavingThePageStopsTheFill()
{
    Browser browser(testDocument());
    QVERIFY(browser.open("<form>〒<input name=zip autocomplete=postal-code>"
                         "<input name=city autocomplete=address-level2></form>",
                         "http://127.0.0.1:1/leaving"));
    QSignalSpy finished(&browser.window().formFiller(), &FormFiller::finished);
    browser.child<QAction>("actionFillPage")->trigger();
    QVERIFY(browser.window().formFiller().busy());
    QCOMPARE(browser.value("input[name=zip]"), QString("100-0001"));
    QVERIFY(browser.open("<form><input name=city autocomplete=address-level2></form>",
                         "http://127.0.0.1:1/next"));
    QVERIFY(!browser.window().formFiller().busy());
    QTest::qWait(FormFiller::reactionMs + 100);
    QCOMPARE(finished.size(), 0);
    QCOMPARE(browser.value("input[name=city]"), QString());
    QVERIFY(browser.saved().value("sites").toObject().isEmpty());
}

// The era's radio button is checked the way a click does, the others of its group stay off, and
// none is recorded (a refill would type into it); a 住所 text area takes the address.
void TestWholeFormFill::eraButtonsAndTextAreas()
{
    Browser browser(testDocument());
    QVERIFY(browser.open("<form><fieldset><legend>生年月日</legend>"
                         "<label><input type=radio name=gengo value=H>平成</label>"
                         "<label><input type=radio name=gengo value=S>昭和</label>"
                         "<input name=birth_y maxlength=2>年</fieldset>"
                         "<label for=addr>住所</label><textarea id=addr></textarea></form>",
                         "http://127.0.0.1:1/era"));
    browser.view()->page()->mainFrame()->evaluateJavaScript(
        "window.changes = 0; document.addEventListener('change', function () { ++changes; }, true);");
    browser.child<QAction>("actionFillPage")->trigger();
    const auto checked = [&](const QString &selector) {
        return element(browser.view(), selector).evaluateJavaScript("this.checked").toBool();
    };
    QVERIFY(checked("input[value=S]"));
    QVERIFY(!checked("input[value=H]"));
    QCOMPARE(element(browser.view(), "input[value=S]").attribute("value"), QString("S"));
    QCOMPARE(browser.value("input[name=birth_y]"), QString("60"));
    QCOMPARE(browser.value("#addr"), QString("東京都千代田区千代田一丁目1-1 サンプルハイツ101"));
    QVERIFY(browser.view()->page()->mainFrame()->evaluateJavaScript("changes").toInt() >= 3);
    QCOMPARE(browser.saved().value("sites").toObject().value("http://127.0.0.1:1/era").toObject(),
             QJsonObject({{"birth_y", "birthEraYear"}, {"addr", "fullAddress"}}));
}

QTEST_MAIN(TestWholeFormFill)
#include "TestWholeFormFill.moc"

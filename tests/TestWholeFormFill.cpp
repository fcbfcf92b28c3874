// このページに一括入力 on the realistic form pages: every control ends with the right value or as it
// was, the page sees typing in document order (postal code first), the status bar counts, one save
// records the fields, and the next visit refills them, selects included.

#include "browser.h"
#include "fill/fieldmenu.h"
#include "fill/formfiller.h"
#include "loopbackserver.h"

#include <QAction>
#include <QApplication>
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

// What a control shows: a select its chosen option's text.
const QString shownFunction = QStringLiteral(R"(function shown(e) {
    if (e.tagName !== 'SELECT') return e.value;
    return e.selectedIndex < 0 ? '' : e.options[e.selectedIndex].text.replace(/\s+/g, ' ').trim();
})");

// Each control in document order: its identifier (the id, else the name), whether it is a select,
// its data-expect-* attributes (KEY is the key attribute asked for) and what it shows.
const QString readControls = QStringLiteral(R"((function () {
    SHOWN
    return Array.prototype.map.call(document.querySelectorAll('input, select, textarea'), function (e) {
        var a = function (n) { return e.getAttribute(n); };
        return [(a('id') || '').trim() ? a('id') : a('name'), e.tagName === 'SELECT', e.hasAttribute('data-expect-key'),
                a(e.hasAttribute('KEY') ? 'KEY' : 'data-expect-key'), e.hasAttribute('data-expect-value'),
                a('data-expect-value'), a('data-expect-option'), e.hasAttribute('data-expect-by-page'), shown(e)];
    });
})())");

// A control of the page and what its data-expect-* attributes ask of it.
struct Expected
{
    QString identifier; // the id, else the name
    bool select = false;
    bool hasKey = false;
    QString key; // empty: left as it was
    bool hasValue = false;
    QString value; // data-expect-value: what the control ends with, the page's own value perhaps
    QString option; // data-expect-option: the text of the option a select ends at
    bool byPage = false; // the page fills it itself, without typing
    QString before; // the value (or selected option text) before the fill
};

QVector<Expected> expectedControls(const Browser &browser, const QString &keyAttribute)
{
    const QVariantList records =
        browser.run(QString(readControls).replace("SHOWN", shownFunction).replace("KEY", keyAttribute))
            .toList();
    QVector<Expected> controls;
    for (const QVariant &record : records) {
        const QVariantList r = record.toList();
        controls.append({r.value(0).toString(), r.value(1).toBool(), r.value(2).toBool(),
                         r.value(3).toString(), r.value(4).toBool(), r.value(5).toString(),
                         r.value(6).toString(), r.value(7).toBool(), r.value(8).toString()});
    }
    return controls;
}

// What each key the pages ask for reads with the demo's values, written out by hand: the cut
// addresses, readings and era years are worked out by the code under test.
QString demoText(const QString &key)
{
    static const QHash<QString, QString> texts{
        {"familyName", "山田"},
        {"familyNameE", "Yamada"},
        {"familyNameK", "ヤマダ"},
        {"lastName", "花子"},
        {"lastNameE", "Hanako"},
        {"lastNameK", "ハナコ"},
        {"fullName", "山田　花子"},
        {"fullNameK.hiragana", "やまだ　はなこ"},
        {"fullNameK.halfwidthKana", "ﾔﾏﾀﾞ ﾊﾅｺ"},
        {"zipcode", "100-0001"},
        {"zipcode.digits", "1000001"},
        {"zipcode.part1", "100"},
        {"zipcode.part2", "0001"},
        {"pref", "東京都"},
        {"prefE", "Tokyo"},
        {"city", "千代田区"},
        {"cityE", "Chiyoda-ku"},
        {"street", "1-1"},
        {"building", "サンプルハイツ101"},
        {"buildingE", "Sample Heights 101"},
        {"fullAddress", "東京都千代田区千代田一丁目1-1 サンプルハイツ101"},
        {"cityStreet", "千代田区千代田一丁目1-1"},
        {"cityTown", "千代田区千代田一丁目"},
        {"townStreet", "千代田一丁目1-1"},
        {"townStreetE", "1-1 1-chome Chiyoda"},
        {"telephone", "03-1234-5678"},
        {"telephone.digits", "0312345678"},
        {"telephone.part1", "03"},
        {"telephone.part2", "1234"},
        {"telephone.part3", "5678"},
        {"mail", "hanako.yamada@example.jp"},
        {"userID", "hanako_y"},
        {"year", "1985"},
        {"month", "4"},
        {"day", "12"},
        {"birthEra", "昭和"},
        {"birthEraYear", "60"},
    };
    return texts.value(key, QStringLiteral("<no text written out for %1>").arg(key));
}

// What the control should show after the fill and after the refill.
QString wanted(const Expected &control)
{
    if (control.hasValue) {
        return control.value;
    }
    if (control.key.isEmpty()) {
        return control.before;
    }
    if (control.select) {
        return control.option;
    }
    return demoText(control.key);
}

} // namespace

class TestWholeFormFill : public QObject
{
    Q_OBJECT

private slots:
    void menuEntries_data();
    void menuEntries();
    void shortcutsReachTheFillFromAField_data();
    void shortcutsReachTheFillFromAField();
    void laterVisitsAreFilledAgain_data();
    void laterVisitsAreFilledAgain();
    void aFillAskedDuringTheRefillFollowsIt_data() { engineRows(); }
    void aFillAskedDuringTheRefillFollowsIt();
    void undoPutsBackWhatTheFillChanged_data();
    void undoPutsBackWhatTheFillChanged();
    void householdSectionsGoToTheirPeople_data();
    void householdSectionsGoToTheirPeople();
    void formsRenderedAgainAfterEachChange_data();
    void formsRenderedAgainAfterEachChange();
    void pages_data();
    void pages();
    void nothingToFillSavesNothing();
    void selectsTakeNoIdentifiers();
    void englishFallsBackLikeTheMenu();
    void leavingThePageStopsTheFill();
    void eraButtonsAndTextAreas();
};

void TestWholeFormFill::menuEntries_data()
{
    QTest::addColumn<QJsonValue>("shortcuts");
    QTest::addColumn<QList<QKeySequence>>("fill");
    QTest::addColumn<QList<QKeySequence>>("undo");
    QTest::addColumn<int>("warnings");
    const QList<QKeySequence> defaults{QKeySequence("Ctrl+Shift+L"), QKeySequence("Ctrl+Shift+U")};
    QTest::newRow("defaults") << QJsonValue() << defaults << QList<QKeySequence>() << 0;
    QTest::newRow("one") << QJsonValue(QJsonObject{{"fillPage", "Ctrl+Alt+J"}, {"undoFill", "Ctrl+Alt+Z"}})
                         << QList<QKeySequence>{QKeySequence("Ctrl+Alt+J")}
                         << QList<QKeySequence>{QKeySequence("Ctrl+Alt+Z")} << 0;
    QTest::newRow("a list") << QJsonValue(QJsonObject{{"fillPage", QJsonArray{"F4", "Ctrl+Shift+U"}}})
                            << QList<QKeySequence>{QKeySequence("F4"), QKeySequence("Ctrl+Shift+U")}
                            << QList<QKeySequence>() << 0;
    QTest::newRow("turned off") << QJsonValue(QJsonObject{{"fillPage", ""}}) << QList<QKeySequence>()
                                << QList<QKeySequence>() << 0;
    QTest::newRow("not keys") << QJsonValue(QJsonObject{{"fillPage", "Ctrl+Nonsense"}, {"undoFill", 5}})
                              << defaults << QList<QKeySequence>() << 2;
    QTest::newRow("unknown action") << QJsonValue(QJsonObject{{"print", "Ctrl+P"}}) << defaults
                                    << QList<QKeySequence>() << 1;
}

// 情報入力 holds the dialog, the fill and its undo, which waits for a fill; the fill's shortcut
// is one no input method takes, shown in the menu, and profile.json may change both.
void TestWholeFormFill::menuEntries()
{
    QFETCH(QJsonValue, shortcuts);
    QFETCH(QList<QKeySequence>, fill);
    QFETCH(QList<QKeySequence>, undo);
    QFETCH(int, warnings);
    QJsonObject document = testDocument();
    if (!shortcuts.isUndefined() && !shortcuts.isNull()) {
        document.insert("shortcuts", shortcuts);
    }
    MessageLog log;
    Browser browser(document);
    const QList<QAction *> entries = browser.window().menuBar()->actions().value(0)->menu()->actions();
    QCOMPARE(entries.size(), 3);
    QCOMPARE(entries[0]->objectName(), QString("actionProfile"));
    QCOMPARE(entries[1]->objectName(), QString("actionFillPage"));
    QCOMPARE(entries[1]->text(), QString("このページに一括入力"));
    QCOMPARE(entries[1]->shortcuts(), fill);
    QCOMPARE(entries[2]->objectName(), QString("actionUndoFill"));
    QCOMPARE(entries[2]->text(), QString("一括入力を元に戻す"));
    QCOMPARE(entries[2]->shortcuts(), undo);
    QVERIFY(!entries[2]->isEnabled());
    QCOMPARE(log.warnings().filter("shortcuts: ").size(), warnings);
}

void TestWholeFormFill::shortcutsReachTheFillFromAField_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QKeySequence>("shortcut");
    forEachEngine([](Engine engine, const QByteArray &prefix) {
        QTest::newRow(prefix + "Ctrl+Shift+L") << engine << QKeySequence("Ctrl+Shift+L");
        QTest::newRow(prefix + "Ctrl+Shift+U") << engine << QKeySequence("Ctrl+Shift+U");
    });
}

// Pressed while a text field of the page has the focus, as it will be when the user wants the fill.
void TestWholeFormFill::shortcutsReachTheFillFromAField()
{
    QFETCH(Engine, engine);
    QFETCH(QKeySequence, shortcut);
    Browser browser(testDocument(), Browser::Showing::Exposed, engine);
    QVERIFY(browser.open("<form><label>メモ <input id=memo></label>"
                         "<label>メールアドレス <input id=mail type=email></label></form>",
                         "http://127.0.0.1:1/keys"));
    QWidget *view = browser.window().view();
    QApplication::setActiveWindow(&browser.window());
    view->setFocus();
    browser.run("document.getElementById('memo').focus()");
    QTRY_COMPARE(browser.run("document.activeElement.id").toString(), QString("memo"));
    QSignalSpy finished(&browser.window().formFiller(), &FormFiller::finished);
    const int key = shortcut[0];
    QTest::keyClick(view->focusProxy() ? view->focusProxy() : view, Qt::Key(key & ~Qt::KeyboardModifierMask),
                    Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
    QTRY_COMPARE(finished.size(), 1);
    QTRY_COMPARE(browser.value("#mail"), QString("hanako.yamada@example.jp"));
    QCOMPARE(browser.value("#memo"), QString());
}

// The page builds its form after the load, and the fields get new random ids and names every time,
// as some sites do.
const QString randomIds = QStringLiteral(
    "<div id=app></div><script>setTimeout(function () {"
    "  document.getElementById('app').innerHTML = '<form><label>姓 <input></label>"
    "<label>メールアドレス <input type=email></label><label>セイ <input id=kana></label></form>';"
    "  var f = document.querySelectorAll('input:not([id])');"
    "  for (var i = 0; i < f.length; ++i) {"
    "    f[i].id = 'f' + Math.random().toString(36).slice(2);"
    "    f[i].name = 'n' + Math.random().toString(36).slice(2); }"
    "}, 200);</script>");

void TestWholeFormFill::laterVisitsAreFilledAgain_data()
{
    engineRows();
}

// After a whole-form fill on a page, every later visit to it is filled again, whatever its query and
// ids; a field the user cleared from the menu stays as the rule says; undo stops the refills.
void TestWholeFormFill::laterVisitsAreFilledAgain()
{
    QFETCH(Engine, engine);
    const QString page = QStringLiteral("http://127.0.0.1:1/entry");
    QJsonObject document = testDocument();
    document.insert("sites", QJsonObject{{page + "?sid=2", QJsonObject{{"kana", "__DELETE_HERE__"}}}});
    Browser browser(document, Browser::Showing::Hidden, engine);
    FormFiller &filler = browser.window().formFiller();
    const QString family = QStringLiteral("label:nth-of-type(1) input"),
                  mail = QStringLiteral("input[type=email]");

    QVERIFY(browser.open(randomIds, page + "?sid=1"));
    QTRY_VERIFY(browser.run("!!document.getElementById('kana')").toBool());
    QSignalSpy finished(&filler, &FormFiller::finished);
    browser.child<QAction>("actionFillPage")->trigger();
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(browser.value("#kana"), QString("ヤマダ"));
    QCOMPARE(browser.saved().value("wholeFormFill").toArray(), QJsonArray{page});

    QSignalSpy refilled(&filler, &FormFiller::refilled);
    QVERIFY(browser.open(randomIds, page + "?sid=2"));
    QTRY_COMPARE(refilled.size(), 1);
    QCOMPARE(browser.value(family), QString("山田"));
    QCOMPARE(browser.value(mail), QString("hanako.yamada@example.jp"));
    QCOMPARE(browser.value("#kana"), QString());
    QCOMPARE(browser.statusMessage(),
             QString("前回と同じく一括入力: 2 項目を入力しました（1 項目は未入力）"));
    // Nothing is recorded for the session's address: the list says it all.
    QCOMPARE(browser.saved().value("sites").toObject().keys(),
             QStringList({page + "?sid=1", page + "?sid=2"}));

    QAction *undo = browser.child<QAction>("actionUndoFill");
    QVERIFY(undo->isEnabled());
    undo->trigger();
    QTRY_COMPARE(browser.value(mail), QString());
    QCOMPARE(browser.value(family), QString());
    QVERIFY(!undo->isEnabled());
    QTRY_VERIFY(!browser.saved().contains("wholeFormFill"));

    QVERIFY(browser.open(randomIds, page + "?sid=3"));
    QTest::qWait(300);
    QCOMPARE(browser.value(mail), QString());
    QCOMPARE(refilled.size(), 1);
}

// The user's own fill, asked for while the browser refills the page (waiting for its postal lookup),
// runs after it instead of being lost.
void TestWholeFormFill::aFillAskedDuringTheRefillFollowsIt()
{
    QFETCH(Engine, engine);
    QJsonObject document = testDocument();
    document.insert("wholeFormFill", QJsonArray{"http://127.0.0.1:1/zip"});
    Browser browser(document, Browser::Showing::Hidden, engine);
    FormFiller &filler = browser.window().formFiller();
    QSignalSpy finished(&filler, &FormFiller::finished);
    QSignalSpy refilled(&filler, &FormFiller::refilled);
    QVERIFY(browser.open("<form>〒<input name=zip autocomplete=postal-code>"
                         "<input name=city autocomplete=address-level2></form>",
                         "http://127.0.0.1:1/zip?visit=2"));
    QTRY_VERIFY(filler.busy());
    browser.child<QAction>("actionFillPage")->trigger();
    QTRY_COMPARE(refilled.size(), 1);
    QTRY_COMPARE(finished.size(), 1);
    // The refill left the user's fill nothing to do, and it says so.
    QCOMPARE(browser.value("input[name=city]"), QString("千代田区"));
    QCOMPARE(browser.statusMessage(), QString("一括入力: 0 項目を入力しました（0 項目は未入力）"));
}

void TestWholeFormFill::undoPutsBackWhatTheFillChanged_data()
{
    engineRows();
}

// Undo puts back the earlier value of every control the fill changed, with the events typing gives,
// leaves what the user changed since and what the fill did not change, and takes back the rules the
// fill recorded; another page makes it unavailable.
void TestWholeFormFill::undoPutsBackWhatTheFillChanged()
{
    QFETCH(Engine, engine);
    Browser browser(testDocument(), Browser::Showing::Hidden, engine);
    const QString address = QStringLiteral("http://127.0.0.1:1/undo");
    QVERIFY(browser.open("<form><label>姓 <input id=sei></label><label>名 <input id=mei value='花子'></label>"
                         "<label>メールアドレス <input id=mail type=email></label>"
                         "<label>都道府県 <select id=pref><option value=''>選択</option>"
                         "<option>東京都</option></select></label>"
                         "<fieldset><legend>生年月日</legend>"
                         "<label><input type=radio name=era value=H checked>平成</label>"
                         "<label><input type=radio name=era value=S>昭和</label>"
                         "<input id=y name=birth_y maxlength=2>年</fieldset></form>",
                         address));
    QAction *undo = browser.child<QAction>("actionUndoFill");
    QSignalSpy finished(&browser.window().formFiller(), &FormFiller::finished);
    browser.child<QAction>("actionFillPage")->trigger();
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(browser.value("#sei"), QString("山田"));
    QCOMPARE(browser.value("#pref"), QString("東京都"));
    QVERIFY(browser.run("document.querySelector('input[value=S]').checked").toBool());
    QVERIFY(undo->isEnabled());
    QVERIFY(!browser.saved().value("sites").toObject().value(address).toObject().isEmpty());

    // The user's own change after the fill stays.
    browser.run("document.getElementById('mail').value = 'mine@example.jp';"
                "window.typed = [];"
                "document.addEventListener('input', function (e) {"
                "  if (e.target.id) typed.push(e.target.id); }, true);");
    QSignalSpy undone(&browser.window().formFiller(), &FormFiller::undone);
    undo->trigger();
    QTRY_COMPARE(undone.size(), 1);
    QCOMPARE(browser.value("#sei"), QString());
    QCOMPARE(browser.value("#mei"), QString("花子"));
    QCOMPARE(browser.value("#mail"), QString("mine@example.jp"));
    QCOMPARE(browser.value("#pref"), QString());
    QCOMPARE(browser.value("#y"), QString());
    QVERIFY(browser.run("document.querySelector('input[value=H]').checked").toBool());
    QCOMPARE(browser.run("typed.join(' ')").toString(), QString("sei pref y"));
    QCOMPARE(undone.first().first().toInt(), 4);
    QCOMPARE(browser.statusMessage(), QString("一括入力を元に戻しました（4 項目）"));
    QVERIFY(!undo->isEnabled());
    QVERIFY(!browser.saved().value("sites").toObject().contains(address));
    QVERIFY(!browser.saved().contains("wholeFormFill"));

    // Only the page shown can be put back.
    browser.child<QAction>("actionFillPage")->trigger();
    QTRY_COMPARE(finished.size(), 2);
    QVERIFY(undo->isEnabled());
    QVERIFY(browser.open("<p>next</p>", "http://127.0.0.1:1/next"));
    QVERIFY(!undo->isEnabled());
}

void TestWholeFormFill::pages_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QString>("file");
    QTest::addColumn<int>("language");
    const QStringList files = QDir(formsDir).entryList({"*.html"}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 11);
    forEachEngine([&files](Engine engine, const QByteArray &prefix) {
        for (const QString &file : files) {
            QTest::newRow(prefix + file.toUtf8()) << engine << file << int(FieldMenu::Japanese);
        }
        QTest::newRow(prefix + "english.html in English")
            << engine << "english.html" << int(FieldMenu::English);
    });
}

void TestWholeFormFill::pages()
{
    QFETCH(Engine, engine);
    QFETCH(QString, file);
    QFETCH(int, language);
    // Shown: Chromium slows a hidden page's timers, and the postal lookup would answer after the fill
    // has stopped waiting for it.
    Browser browser(testDocument(), Browser::Showing::Shown, engine);
    if (language == FieldMenu::English) {
        browser.child<QAction>("actionToEnglish")->trigger();
    }
    const QString address = QUrl::fromLocalFile(QDir(formsDir).filePath(file)).toString();
    QVERIFY(browser.load(address));
    browser.run(recordTyping);

    const QString keyAttribute = language == FieldMenu::English ? "data-expect-key-en" : "data-expect-key";
    const QVector<Expected> controls = expectedControls(browser, keyAttribute);
    QVERIFY(!controls.isEmpty());
    for (const Expected &control : controls) {
        QVERIFY2(control.hasKey, qPrintable(control.identifier));
    }
    // Typed in document order, the postal code first; fields the page filled itself are kept as
    // they are, without typing.
    // A field the page wrote the beginning of (a postal lookup) is completed after the others.
    QStringList typing, postal, completed;
    QJsonObject rules;
    int filled = 0;
    for (const Expected &control : controls) {
        // A field the page filled with something else first is left as it is.
        if (control.key.isEmpty() || (control.hasValue && control.value != demoText(control.key))) {
            continue;
        }
        ++filled;
        rules.insert(control.identifier, control.key);
        if (!control.byPage) {
            (control.key.startsWith("zipcode") ? postal
             : control.hasValue                ? completed
                                               : typing)
                .append(control.identifier);
        }
    }
    typing = postal + typing + completed;
    QCOMPARE(filled, browser.run("+document.body.getAttribute('data-expect-filled')").toInt());
    const int left = browser.run("+document.body.getAttribute('data-expect-left')").toInt();

    MessageLog log;
    QSignalSpy saves(&browser.document(), &ProfileDocument::saved);
    QSignalSpy finished(&browser.window().formFiller(), &FormFiller::finished);
    browser.child<QAction>("actionFillPage")->trigger();
    QVERIFY(!finished.isEmpty() || finished.wait(5000));

    // Read again in document order: radio buttons share their name.
    const QVector<Expected> after = expectedControls(browser, keyAttribute);
    QCOMPARE(after.size(), controls.size());
    QStringList wrong;
    for (int i = 0; i < controls.size(); ++i) {
        const QString want = wanted(controls[i]);
        if (after[i].before != want) {
            wrong.append(
                QStringLiteral("%1: \"%2\", want \"%3\"").arg(controls[i].identifier, after[i].before, want));
        }
    }
    for (const QString &line : qAsConst(wrong)) {
        qWarning().noquote() << line;
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("%1 controls wrong").arg(wrong.size())));
    QCOMPARE(browser.run("typedFields").toStringList(), typing);

    const QString status =
        QStringLiteral("一括入力: %1 項目を入力しました（%2 項目は未入力）").arg(filled).arg(left);
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
    QStringList refill;
    for (const Expected &control : controls) {
        refill.append(!control.key.isEmpty() && !control.hasValue ? wanted(control) : "");
    }
    const auto refilled = [&]() {
        QStringList shown;
        const QVector<Expected> now = expectedControls(browser, keyAttribute);
        for (int i = 0; i < now.size(); ++i) {
            shown.append(!refill.value(i).isEmpty() ? now[i].before : "");
        }
        return shown;
    };
    // Away by a load: with Chromium in a shown window, a load now and then ends unfinished when it
    // follows one of setHtml().
    QVERIFY(browser.load("about:blank"));
    QVERIFY(browser.load(address));
    QTRY_COMPARE(refilled(), refill);
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
    // Rules reach a select by its id or its name.
    QStringList selects;
    QVector<PageControl> controls;
    browser.window().page().scan([&controls](const QVector<PageControl> &scanned) { controls = scanned; });
    for (const PageControl &control : qAsConst(controls)) {
        if (control.tag == "SELECT") {
            selects.append(control.identifier + (control.ownsIdentifier ? "+" : "-")
                           + (control.ownsName ? control.name : QString()));
        }
    }
    QCOMPARE(selects, QStringList({"-", "s+s", "t+u"}));
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

void TestWholeFormFill::householdSectionsGoToTheirPeople_data()
{
    engineRows();
}

// With people stored, a section about someone else is filled from the one person who fits it, its
// relationship select included; a section nobody fits stays empty. What was filled for each person is
// said, recorded under keys that name the person, refilled on the next visit and taken back by undo.
void TestWholeFormFill::householdSectionsGoToTheirPeople()
{
    QFETCH(Engine, engine);
    QJsonObject document = testDocument();
    document.insert(
        "people",
        QJsonArray{QJsonObject{{"relation", "夫"},
                               {"roles", QJsonArray()},
                               {"livesWithUser", true},
                               {"profile", QJsonObject{{"familyName", "山田"}, {"lastName", "太郎"}}}},
                   QJsonObject{{"relation", "母"},
                               {"roles", QJsonArray{"緊急連絡先"}},
                               {"livesWithUser", false},
                               {"profile", QJsonObject{{"familyName", "佐藤"},
                                                       {"lastName", "和子"},
                                                       {"telephone", "045-111-2222"}}}}});
    const QString page = QStringLiteral(
        "<form><fieldset><legend>ご本人</legend><label>姓 <input id=sei></label>"
        "<label>名 <input id=mei></label><label>電話番号 <input id=tel type=tel></label></fieldset>"
        "<fieldset><legend>配偶者</legend><label>姓 <input id=sp_sei></label><label>名 <input "
        "id=sp_mei></label>"
        "<label>続柄 <select id=sp_rel><option value=''>選択</option><option value=h>夫</option>"
        "<option value=w>妻</option></select></label><label>電話番号 <input id=sp_tel "
        "type=tel></label></fieldset>"
        "<fieldset><legend>緊急連絡先</legend><label>姓 <input id=em_sei></label><label>名 <input "
        "id=em_mei></label>"
        "<label>電話番号 <input id=em_tel type=tel></label></fieldset>"
        "<fieldset><legend>連帯保証人</legend><label>姓 <input id=g_sei></label><label>名 <input "
        "id=g_mei></label>"
        "</fieldset></form>");
    const QString address = QStringLiteral("http://127.0.0.1:1/household");
    Browser browser(document, Browser::Showing::Hidden, engine);
    QSignalSpy finished(&browser.window().formFiller(), &FormFiller::finished);
    QVERIFY(browser.open(page, address));
    browser.child<QAction>("actionFillPage")->trigger();
    QTRY_COMPARE(finished.size(), 1);
    const QStringList ids{"sei",    "mei",    "tel",    "sp_sei", "sp_mei", "sp_rel",
                          "sp_tel", "em_sei", "em_mei", "em_tel", "g_sei",  "g_mei"};
    const auto values = [&] {
        QStringList shown;
        for (const QString &id : ids) {
            shown.append(browser.value("#" + id));
        }
        return shown;
    };
    // The husband lives with the user: her home phone is his too.
    const QStringList filled{"山田",         "花子", "03-1234-5678", "山田",         "太郎", "h",
                             "03-1234-5678", "佐藤", "和子",         "045-111-2222", "",     ""};
    QCOMPARE(values(), filled);
    QCOMPARE(browser.statusMessage(),
             QString("一括入力: 本人 3 項目、配偶者 山田 太郎 4 項目、母 佐藤 和子 3 項目"));
    const QJsonObject rules = browser.saved().value("sites").toObject().value(address).toObject();
    QCOMPARE(rules.value("sp_mei").toString(), QString("lastName@夫 山田 太郎"));
    QCOMPARE(rules.value("em_tel").toString(), QString("telephone@母 佐藤 和子"));
    QVERIFY(!rules.contains("g_sei"));

    browser.child<QAction>("actionUndoFill")->trigger();
    QTRY_COMPARE(values(), QVector<QString>(ids.size()).toList());
    QVERIFY(!browser.saved().value("sites").toObject().contains(address));

    browser.child<QAction>("actionFillPage")->trigger();
    QTRY_COMPARE(finished.size(), 2);
    QVERIFY(browser.load("about:blank"));
    QVERIFY(browser.open(page, address));
    QTRY_COMPARE(values(), filled);
}

void TestWholeFormFill::formsRenderedAgainAfterEachChange_data()
{
    engineRows();
}

// A single-page app that changes its route and renders its form again from its own state after each
// change: the fill goes on in the new controls, and the count says what it wrote. A page that throws
// away whatever is written ends the fill instead of keeping it busy.
void TestWholeFormFill::formsRenderedAgainAfterEachChange()
{
    QFETCH(Engine, engine);
    const QString app = QStringLiteral(
        "<div id=app></div><script>"
        "var state = {sei: '', mei: '', mail: '', tel: ''}, keep = %1;"
        "function render() {"
        "  var html = '<form>';"
        "  [['sei', '姓'], ['mei', '名'], ['mail', 'メールアドレス'], ['tel', '電話番号']].forEach("
        "    function (f) { html += '<label>' + f[1] + ' <input name=' + f[0] + ' value=\"'"
        "      + state[f[0]] + '\"></label>'; });"
        "  document.getElementById('app').innerHTML = html + '</form>';"
        "}"
        "document.addEventListener(keep ? 'change' : 'input', function (e) {"
        "  if (keep) state[e.target.name] = e.target.value;"
        "  render();"
        "}, true);"
        "history.pushState({}, '', location.pathname + '/step2'); render();"
        "</script>");
    LoopbackServer http;
    http.setPage("/apply", app.arg("true").toUtf8());
    http.setPage("/hostile", app.arg("false").toUtf8());
    QVERIFY(http.start());
    Browser browser(testDocument(), Browser::Showing::Hidden, engine);
    QSignalSpy finished(&browser.window().formFiller(), &FormFiller::finished);
    QVERIFY(browser.load(http.url("/apply")));
    QTRY_VERIFY(browser.run("!!document.querySelector('input[name=tel]')").toBool());
    browser.child<QAction>("actionFillPage")->trigger();
    QTRY_COMPARE(finished.size(), 1);
    QCOMPARE(browser.run("[state.sei, state.mei, state.mail, state.tel].join()").toString(),
             QString("山田,花子,hanako.yamada@example.jp,03-1234-5678"));
    QCOMPARE(browser.statusMessage(), QString("一括入力: 4 項目を入力しました（0 項目は未入力）"));
    QCOMPARE(browser.saved().value("sites").toObject().value(browser.url()).toObject().size(), 4);

    QVERIFY(browser.load(http.url("/hostile")));
    QTRY_VERIFY(browser.run("!!document.querySelector('input[name=tel]')").toBool());
    browser.child<QAction>("actionFillPage")->trigger();
    QTRY_COMPARE(finished.size(), 2);
    QCOMPARE(browser.statusMessage(), QString("一括入力: 0 項目を入力しました（0 項目は未入力）"));
    QCOMPARE(browser.value("input[name=sei]"), QString());
}

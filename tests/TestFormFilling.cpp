#include "browser.h"
#include "fill/formfiller.h"
#include "testsupport.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWebView>

#include <functional>
#include <memory>

using namespace TestSupport;

namespace {

const QString formAddress = QStringLiteral("http://127.0.0.1:1/form?step=1");

// A shown window on a temporary working directory holding the given profile document.
class Session : public Browser
{
public:
    explicit Session(const QJsonObject &document = defaultDocument(), Engine engine = Engine::WebKit)
        : Browser(document, Showing::Exposed, engine)
    {
    }

    static QJsonObject defaultDocument()
    {
        const QJsonObject profile{{"familyName", "山田"},  {"familyNameE", "Yamada"},
                                  {"city", "港区"},        {"mail", "hanako@example.jp"},
                                  {"zipcode", "100-0001"}, {"year", 1980},
                                  {"password", "s3cret!"}, {"quote", "O'Brien \\ \n x"}};
        QJsonObject actions;
        const QList<QPair<QString, QString>> labels{
            {"姓", "familyName"}, {"市区町村", "city"},       {"メール", "mail"}, {"郵便番号", "zipcode"},
            {"生まれ年", "year"}, {"パスワード", "password"}, {"引用", "quote"},  {"電話", "telephone"}};
        for (const auto &label : labels) {
            actions.insert(label.first, QJsonArray{label.second});
        }
        return {{"profile", profile}, {"actions", actions}};
    }

    bool open(const QString &body, const QString &address = formAddress) const
    {
        return Browser::open("<!DOCTYPE html><body style='margin:20px'>" + body + "</body>", address);
    }
    QJsonObject savedRules(const QString &address = formAddress) const
    {
        return saved().value("sites").toObject().value(address).toObject();
    }
    // Clicks the field, selects in it after the click has placed the caret, and picks the entry. The
    // classic engine runs the menu inside the click, so the selection is made while it is open;
    // Chromium answers no script while a menu is open, so a listener of the page makes it there.
    void chooseWithSelection(const QString &selector, const QString &selection, const QString &entryPrefix)
    {
        const QString select = QStringLiteral("setSelectionRange(%1)").arg(selection);
        const bool classic = engine() == Engine::WebKit;
        if (!selection.isEmpty() && !classic) {
            run(QStringLiteral(
                    "document.querySelector('%1').addEventListener('click', function () { this.%2; })")
                    .arg(selector, select));
        }
        onNextMenu([=](QMenu *menu) {
            if (!selection.isEmpty() && classic) {
                run(QStringLiteral("document.querySelector('%1').%2").arg(selector, select));
            }
            for (const QString &text : entryTexts(menu)) {
                if (text.startsWith(entryPrefix)) {
                    choose(menu, text);
                    return;
                }
            }
        });
        click(selector);
    }
};

} // namespace

class TestFormFilling : public QObject
{
    Q_OBJECT

private slots:
    void chosenValueIsWrittenRecordedAndRefilled_data() { engineRows(); }
    void chosenValueIsWrittenRecordedAndRefilled();
    void menuAtPointer_data() { engineRows(); }
    void menuAtPointer();
    void menuEntries_data() { engineRows(); }
    void menuEntries();
    void englishEntries_data() { engineRows(); }
    void englishEntries();
    void personSubmenus_data() { engineRows(); }
    void personSubmenus();
    void menuOnlyForTextTypes_data();
    void menuOnlyForTextTypes();
    void insertion_data();
    void insertion();
    void clearingIsRemembered_data() { engineRows(); }
    void clearingIsRemembered();
    void conversions_data();
    void conversions();
    void choicesAccumulatePerPage_data() { engineRows(); }
    void choicesAccumulatePerPage();
    void passwordsStayOutOfTheLog_data();
    void passwordsStayOutOfTheLog();
    void dismissingDoesNothing_data() { engineRows(); }
    void dismissingDoesNothing();
    void failedSaveIsShownAndRetried_data();
    void failedSaveIsShownAndRetried();
};

void TestFormFilling::chosenValueIsWrittenRecordedAndRefilled()
{
    QFETCH(Engine, engine);
    Session session(Session::defaultDocument(), engine);
    const QString page = "<input type=text id=sei><input type=email name=mail_address value=old>";
    QVERIFY(session.open(page));
    MessageLog log;

    QVERIFY(session.clickAndChoose("#sei", "姓: "));
    QTRY_COMPARE(session.value("#sei"), QString("山田"));
    QVERIFY(session.clickAndChoose("input[name=mail_address]", "メール: "));
    QTRY_COMPARE(session.value("input[name=mail_address]"), QString("hanako@example.jp"));
    QCOMPARE(session.document().pageRules(), QVariantMap({{"sei", "familyName"}, {"mail_address", "mail"}}));
    QCOMPARE(session.savedRules(), QJsonObject({{"sei", "familyName"}, {"mail_address", "mail"}}));
    if (engine == Engine::WebKit) {
        // The classic bridge's call from the page's click handler.
        QVERIFY(log.debugLines().contains("on_signal( \"sei\" )"));
    }
    QVERIFY(log.debugLines().contains("on_profileSelected( QVariant(QString, \"familyName\") )"));
    QVERIFY(log.debugLines().contains("QVariant(QString, \"山田\")"));

    // The next visit of the same address fills both without a click; the profile is untouched.
    QCOMPARE(session.saved().value("profile").toObject().value("year").toDouble(), 1980.0);
    QVERIFY(session.load("about:blank"));
    QVERIFY(session.open(page));
    QTRY_COMPARE(session.value("#sei"), QString("山田"));
    QTRY_COMPARE(session.value("input[name=mail_address]"), QString("hanako@example.jp"));

    // So does a new window in the same directory.
    session.restart();
    QVERIFY(session.open(page));
    QTRY_COMPARE(session.value("#sei"), QString("山田"));
}

void TestFormFilling::menuAtPointer()
{
    QFETCH(Engine, engine);
    Session session(Session::defaultDocument(), engine);
    QVERIFY(session.open("<input type=text id=sei>"));
    const QPoint pointer = session.window().mapToGlobal(QPoint(60, 70));
    QCursor::setPos(pointer);
    QPoint shownAt;
    QWidget *parent = nullptr;
    onNextMenu([&](QMenu *menu) {
        shownAt = menu->pos();
        parent = menu->parentWidget();
    });
    session.click("#sei");
    QTRY_VERIFY(parent);
    QCOMPARE(shownAt, pointer);
    QCOMPARE(parent, session.window().view());
}

void TestFormFilling::menuEntries()
{
    QJsonObject document{
        {"profile", QJsonObject{{"userID", "u1"}, {"mail", "m@x.jp"}, {"city", "港区"}, {"year", 1980}}},
        {"actions", QJsonObject{{"住所", QJsonArray{"city"}},
                                {"メール", QJsonArray{"mail"}},
                                {"ID", QJsonArray{"userID"}},
                                {"年", QJsonArray{"year"}},
                                {"電話", QJsonArray{"telephone"}},
                                {"壊れた", QJsonArray{}}}}};
    QFETCH(Engine, engine);
    Session session(document, engine);
    QVERIFY(session.open("<input type=search id=q>"));
    QStringList texts;
    QVERIFY(session.clickAndChoose("#q", "no such entry", &texts));
    QCOMPARE(texts, QStringList({"ID: u1", "メール: m@x.jp", "住所: 港区", "年: 1980", "電話: ", "消去",
                                 "→半角", "→全角"}));
    QVERIFY(!session.document().values().contains("telephone"));
}

void TestFormFilling::englishEntries()
{
    QFETCH(Engine, engine);
    Session session(Session::defaultDocument(), engine);
    QVERIFY(session.open("<input type=text id=name><input type=text id=zip>"));
    session.window().findChild<QAction *>("actionToEnglish")->trigger();
    QStringList texts;
    QVERIFY(session.clickAndChoose("#name", "姓: ", &texts));
    QVERIFY(texts.contains("姓: Yamada"));
    QVERIFY(texts.contains("郵便番号: 100-0001"));
    QTRY_COMPARE(session.value("#name"), QString("Yamada"));
    QVERIFY(session.clickAndChoose("#zip", "郵便番号: "));
    QTRY_COMPARE(session.savedRules(), QJsonObject({{"name", "familyNameE"}, {"zip", "zipcode"}}));

    session.window().findChild<QAction *>("actionToJapanese")->trigger();
    QVERIFY(session.clickAndChoose("#name", "no such entry", &texts));
    QVERIFY(texts.contains("姓: 山田"));
}

// Each stored person's values in a submenu between the user's entries and the commands: only the
// values the person has, with what a person living with the user shares; a choice writes the person's
// value and is remembered as theirs for the next visit.
void TestFormFilling::personSubmenus()
{
    QFETCH(Engine, engine);
    QJsonObject document = Session::defaultDocument();
    document.insert(
        "people",
        QJsonArray{
            QJsonObject{{"relation", "夫"},
                        {"livesWithUser", true},
                        {"profile", QJsonObject{{"familyName", "渡辺"},
                                                {"lastName", "健"},
                                                {"telephone", "090-2222-3333"},
                                                {"password", "his"}}}},
            QJsonObject{{"relation", "母"},
                        {"roles", QJsonArray{"緊急連絡先"}},
                        {"profile",
                         QJsonObject{{"familyName", "佐藤"}, {"lastName", "和子"}, {"city", "横浜市中区"}}}},
            QJsonObject{{"relation", "長女"}, {"profile", QJsonObject{{"lastName", "さくら"}}}}});
    Session session(document, engine);
    QVERIFY(session.open("<input type=text id=sei><input type=text id=city>"));

    QStringList top, inner;
    bool chosen = false;
    // Opens the person's submenu from the keyboard and picks the entry that starts with prefix.
    const auto choosePersonEntry = [&](const QString &selector, const QString &person,
                                       const QString &prefix) {
        chosen = false;
        onNextMenu([&, person, prefix](QMenu *menu) {
            top = entryTexts(menu);
            const QList<QAction *> actions = menu->actions();
            for (QAction *action : actions) {
                if (action->text() == person && action->menu()) {
                    menu->setActiveAction(action);
                    QTest::keyClick(menu, Qt::Key_Right);
                    QMenu *submenu = action->menu();
                    inner = entryTexts(submenu);
                    for (QAction *entry : submenu->actions()) {
                        if (entry->text().startsWith(prefix)) {
                            submenu->setActiveAction(entry);
                            QTest::keyClick(submenu, Qt::Key_Return);
                            chosen = true;
                        }
                    }
                }
            }
        });
        session.click(selector);
        return QTest::qWaitFor([&] { return chosen; }, 5000);
    };

    QVERIFY(choosePersonEntry("#sei", "配偶者 渡辺 健", "姓: "));
    // After the user's own entries (the last is 電話), before the commands.
    QCOMPARE(top.mid(top.indexOf("電話: ")), QStringList({"電話: ", "配偶者 渡辺 健", "母 佐藤 和子",
                                                          "長女 さくら", "消去", "→半角", "→全角"}));
    // His own phone, the user's city and postal code; never a password, secret or not.
    QCOMPARE(inner, QStringList({"姓: 渡辺", "市区町村: 港区", "郵便番号: 100-0001", "電話: 090-2222-3333"}));
    QTRY_COMPARE(session.value("#sei"), QString("渡辺"));

    QVERIFY(choosePersonEntry("#city", "母 佐藤 和子", "市区町村: "));
    QCOMPARE(inner, QStringList({"姓: 佐藤", "市区町村: 横浜市中区"}));
    QTRY_COMPARE(session.value("#city"), QString("横浜市中区"));
    const QJsonObject rules{{"sei", "familyName@夫 渡辺 健"}, {"city", "city@母 佐藤 和子"}};
    QTRY_COMPARE(session.savedRules(), rules);

    // The next visit fills both from the same people.
    QVERIFY(session.load("about:blank"));
    QVERIFY(session.open("<input type=text id=sei><input type=text id=city>"));
    QTRY_COMPARE(session.value("#sei"), QString("渡辺"));
    QTRY_COMPARE(session.value("#city"), QString("横浜市中区"));

    // In a section about someone else, its fields go in at once from the person the user picks.
    QVERIFY(session.open("<form><fieldset><legend>ご本人</legend><label>姓 <input type=text id=sei></label>"
                         "<label>名 <input type=text id=mei></label></fieldset>"
                         "<fieldset><legend>連帯保証人</legend><label>姓 <input type=text id=g_sei></label>"
                         "<label>名 <input type=text id=g_mei></label></fieldset></form>"));
    QVERIFY(choosePersonEntry("#g_mei", "この欄をまとめて入力", "母 佐藤 和子"));
    QCOMPARE(inner, QStringList({"配偶者 渡辺 健", "母 佐藤 和子", "長女 さくら"}));
    QTRY_COMPARE(session.value("#g_sei"), QString("佐藤"));
    QCOMPARE(session.value("#g_mei"), QString("和子"));
    QCOMPARE(session.value("#mei"), QString());
    QTRY_COMPARE(session.savedRules().value("g_mei").toString(), QString("lastName@母 佐藤 和子"));
    // The user's own section offers no such entry.
    QVERIFY(!choosePersonEntry("#mei", "この欄をまとめて入力", "母"));
    QVERIFY(!top.contains("この欄をまとめて入力"));
}

void TestFormFilling::menuOnlyForTextTypes_data()
{
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<bool>("menu");

    QTest::newRow("email") << "type=email" << true;
    QTest::newRow("password") << "type=password" << true;
    QTest::newRow("number") << "type=number" << true;
    QTest::newRow("url") << "type=url" << true;
    QTest::newRow("tel") << "type=tel" << true;
    QTest::newRow("capitals") << "type=TEXT" << false;
    QTest::newRow("no type") << "" << false;
    QTest::newRow("checkbox") << "type=checkbox" << false;
    QTest::newRow("button") << "type=button value=go" << false;
}

void TestFormFilling::menuOnlyForTextTypes()
{
    QFETCH(QString, attributes);
    QFETCH(bool, menu);

    Session session;
    QVERIFY(session.open(QStringLiteral("<input id=f %1 style='width:200px'>").arg(attributes)));
    MessageLog log;
    QStringList texts = clickAndChoose(session.view(), "#f", "no such entry");
    QCOMPARE(log.count("on_signal( \"f\" )"), 1);
    QCOMPARE(!texts.isEmpty(), menu);
    if (menu) {
        QCOMPARE(texts.size(), 11);
    }
}

void TestFormFilling::insertion_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("selection");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("expected");

    forEachEngine([](Engine engine, const QByteArray &prefix) {
        QTest::newRow(prefix + "email replaces the content") << engine << "type=email value='x@y.jp'"
                                                             << ""
                                                             << "メール: "
                                                             << "hanako@example.jp";
        QTest::newRow(prefix + "caret at the end appends") << engine << "type=text value='東京都'"
                                                           << "3,3"
                                                           << "市区町村: "
                                                           << "東京都港区";
        QTest::newRow(prefix + "selection is replaced") << engine << "type=text value='東京都'"
                                                        << "1,3"
                                                        << "市区町村: "
                                                        << "東港区";
        QTest::newRow(prefix + "caret in the middle") << engine << "type=tel value='()'"
                                                      << "1,1"
                                                      << "郵便番号: "
                                                      << "(100-0001)";
        QTest::newRow(prefix + "number field") << engine << "type=number value='7'"
                                               << ""
                                               << "生まれ年: "
                                               << "1980";
        QTest::newRow(prefix + "quotes, backslash, line break")
            << engine << "type=text"
            << ""
            << "引用: "
            << (engine == Engine::WebKit ? "O'Brien \\ \n x"
                                         // HTML drops line breaks from a text input.
                                         : "O'Brien \\  x");
        QTest::newRow(prefix + "missing key inserts nothing") << engine << "type=text value='ab'"
                                                              << "1,1"
                                                              << "電話: "
                                                              << "ab";
    });
}

void TestFormFilling::insertion()
{
    QFETCH(Engine, engine);
    QFETCH(QString, field);
    QFETCH(QString, selection);
    QFETCH(QString, entry);
    QFETCH(QString, expected);

    Session session(Session::defaultDocument(), engine);
    QVERIFY(session.open(QStringLiteral("<input id=f %1>").arg(field)));
    session.chooseWithSelection("#f", selection, entry);
    QTRY_COMPARE(session.savedRules().contains("f"), true);
    QTRY_COMPARE(session.value("#f"), expected);
}

void TestFormFilling::clearingIsRemembered()
{
    QFETCH(Engine, engine);
    Session session(Session::defaultDocument(), engine);
    const QString page = "<input type=text id=a value=typed><input type=text id=b value=kept>";
    QVERIFY(session.open(page));
    QVERIFY(session.clickAndChoose("#a", "消去"));
    QTRY_COMPARE(session.value("#a"), QString(""));
    QTRY_COMPARE(session.savedRules(), QJsonObject({{"a", "__DELETE_HERE__"}}));

    QVERIFY(session.open(page));
    QTRY_COMPARE(session.value("#a"), QString(""));
    QCOMPARE(session.value("#b"), QString("kept"));
}

void TestFormFilling::conversions_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("entry");
    QTest::addColumn<QString>("after");

    forEachEngine([](Engine engine, const QByteArray &prefix) {
        QTest::newRow(prefix + "to full width") << engine << "abc 123"
                                                << "→全角" << QString::fromUtf16(u"ａｂｃ １２３");
        QTest::newRow(prefix + "to half width") << engine << QString::fromUtf16(u"ＡＢＣ\u3000１ー２")
                                                << "→半角" << QString::fromUtf16(u"ABC\u30001-2");
        QTest::newRow(prefix + "apostrophe to full width") << engine << "O'B"
                                                           << "→全角" << QString::fromUtf16(u"Ｏ＇Ｂ");
        QTest::newRow(prefix + "apostrophe and backslash to half width")
            << engine << QString::fromUtf16(u"Ｏ＇Ｂ＼") << "→半角"
            << "O'B\\";
    });
}

void TestFormFilling::conversions()
{
    QFETCH(Engine, engine);
    QFETCH(QString, before);
    QFETCH(QString, entry);
    QFETCH(QString, after);

    Session session(QJsonObject{}, engine);
    QVERIFY(session.open("<input type=text id=f>"));
    session.run("document.querySelector('#f').value = " + QString(QJsonDocument(QJsonArray{before}).toJson())
                + "[0]");
    MessageLog log;
    QVERIFY(session.clickAndChoose("#f", entry));
    QTRY_COMPARE(session.value("#f"), after);
    // A conversion is not a choice: nothing is recorded and nothing is saved.
    QVERIFY(session.document().pageRules().isEmpty());
    QVERIFY(!QFile::exists(session.dir.filePath("profile.json")));
    QVERIFY(log.contains("] → ["));
}

void TestFormFilling::choicesAccumulatePerPage()
{
    QFETCH(Engine, engine);
    Session session(Session::defaultDocument(), engine);
    QVERIFY(session.open("<input type=text id=a><input type=text id=b>"));
    QVERIFY(session.clickAndChoose("#a", "姓: "));
    QTRY_COMPARE(session.savedRules(), QJsonObject({{"a", "familyName"}}));
    QVERIFY(session.clickAndChoose("#b", "市区町村: "));
    QTRY_COMPARE(session.savedRules(), QJsonObject({{"a", "familyName"}, {"b", "city"}}));
    session.run("document.querySelector('#a').value = ''");
    QVERIFY(session.clickAndChoose("#a", "市区町村: "));
    QTRY_COMPARE(session.savedRules(), QJsonObject({{"a", "city"}, {"b", "city"}}));
    QCOMPARE(session.value("#a"), QString("港区"));

    // Another address is another page, even when it differs only in its query.
    QVERIFY(session.open("<input type=text id=a>", "http://127.0.0.1:1/form?step=2"));
    QCOMPARE(session.value("#a"), QString(""));
    QVERIFY(session.clickAndChoose("#a", "姓: "));
    QTRY_COMPARE(session.savedRules("http://127.0.0.1:1/form?step=2"), QJsonObject({{"a", "familyName"}}));
    QCOMPARE(session.savedRules(), QJsonObject({{"a", "city"}, {"b", "city"}}));
}

void TestFormFilling::passwordsStayOutOfTheLog_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("secret");
    QTest::addColumn<QString>("wide");

    forEachEngine([](Engine engine, const QByteArray &prefix) {
        QTest::newRow(prefix + "password") << engine << "パスワード"
                                           << "s3cret!" << QString::fromUtf16(u"ｓ３ｃｒｅｔ！");
        // The menu writes the digits of the stored "4111-1111".
        QTest::newRow(prefix + "key the profile names secret")
            << engine << "カード"
            << "41111111" << QString::fromUtf16(u"４１１１１１１１");
    });
}

// No stored secret reaches the message stream in a whole session, from the window's start to its
// end: picked from the menu into password boxes and a text box, converted either way, through the
// profile dialog and the whole-form fill. The menu shows it as dots.
void TestFormFilling::passwordsStayOutOfTheLog()
{
    QFETCH(Engine, engine);
    QFETCH(QString, label);
    QFETCH(QString, secret);
    QFETCH(QString, wide);

    QJsonObject document = Session::defaultDocument();
    QJsonObject profile = document.value("profile").toObject();
    profile.insert("cardNumber", "4111-1111");
    document.insert("profile", profile);
    QJsonObject actions = document.value("actions").toObject();
    actions.insert("カード", QJsonArray{"cardNumber.digits"});
    document.insert("actions", actions);
    document.insert("secretKeys", QJsonArray{"cardNumber"});
    MessageLog log;
    {
        Session session(document, engine);
        QVERIFY(session.open("<input type=password id=pw> <input type=PASSWORD id=caps> "
                             "<input type=text name=暗証番号 id=pin> <label>姓 <input id=sei></label>"));
        for (const QString selector : {"#pw", "#caps", "#pin"}) {
            if (selector == "#caps" && engine == Engine::WebKit) {
                // The classic bridge offers the menu by the type as written.
                continue;
            }
            QStringList texts;
            QVERIFY2(session.clickAndChoose(selector, label + ": ", &texts), qPrintable(selector));
            QVERIFY(texts.contains(label + QString::fromUtf16(u": ••••••••")));
            QVERIFY(texts.contains(QString::fromUtf16(u"メール: hanako@example.jp")));
            QTRY_COMPARE(session.value(selector), secret);
            QVERIFY(session.clickAndChoose(selector, "→全角"));
            QTRY_COMPARE(session.value(selector), wide);
            QVERIFY(session.clickAndChoose(selector, "→半角"));
            QTRY_COMPARE(session.value(selector), secret);
        }
        onNextDialog([](QDialog *dialog) {
            auto *password = dialog->findChild<QLineEdit *>("password");
            password->setFocus();
            QTest::keyClick(password, Qt::Key_Tab);
            QTest::mouseClick(
                dialog->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok),
                Qt::LeftButton);
        });
        session.child<QAction>("actionProfile")->trigger();
        QSignalSpy finished(&session.window().formFiller(), &FormFiller::finished);
        session.child<QAction>("actionFillPage")->trigger();
        QVERIFY(!finished.isEmpty() || finished.wait(5000));
        QCOMPARE(session.value("#sei"), QString("山田"));
        // A form sent by GET carries the secret in the address.
        QVERIFY(session.open("<p>sent</p>", formAddress + "&pw=" + QUrl::toPercentEncoding(secret)));
    }
    QVERIFY(log.contains("on_buttonBox_accepted"));
    QStringList leaked;
    for (const QString &text : {secret, wide, QString("s3cret!"), QString("4111-1111")}) {
        leaked += log.lines().filter(text);
    }
    QVERIFY2(leaked.isEmpty(), qPrintable(leaked.join('\n')));
    QVERIFY(log.lines().contains(QStringLiteral("[ \"%1\" ] → [ \"%1\" ]").arg(QString(secret.size(), '*'))));
}

void TestFormFilling::dismissingDoesNothing()
{
    QFETCH(Engine, engine);
    Session session(Session::defaultDocument(), engine);
    QVERIFY(session.open("<input type=text id=a value=x>"));
    bool dismissed = false;
    onNextMenu([&dismissed](QMenu *menu) {
        QTest::keyClick(menu, Qt::Key_Escape);
        dismissed = true;
    });
    session.click("#a");
    QTRY_VERIFY(dismissed);
    QCOMPARE(session.value("#a"), QString("x"));
    QVERIFY(!QFile::exists(session.dir.filePath("profile.json.tmp")));
    QVERIFY(session.savedRules().isEmpty());
    QCOMPARE(session.saved(), Session::defaultDocument());
}

void TestFormFilling::failedSaveIsShownAndRetried_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<bool>("fullDisk");

    forEachEngine([](Engine engine, const QByteArray &prefix) {
        QTest::newRow(prefix + "directory in the file's place") << engine << false;
        QTest::newRow(prefix + "full disk") << engine << true;
    });
}

// A choice that cannot be saved is filled in and kept in memory; the status bar says why the save
// failed, and the next choice saves both.
void TestFormFilling::failedSaveIsShownAndRetried()
{
    QFETCH(Engine, engine);
    QFETCH(bool, fullDisk);

    Session session(Session::defaultDocument(), engine);
    const QString path = session.dir.filePath("profile.json");
    const QByteArray before = session.dir.read("profile.json");
    QVERIFY(session.open("<input type=text id=a><input type=text id=b>"));
    if (!fullDisk) {
        // Whoever runs the test, a directory cannot be replaced by a file.
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir(session.dir.path()).mkdir("profile.json"));
    }
    MessageLog log;
    {
        // Until the choice is saved, which Chromium does a moment after the menu has closed.
        std::unique_ptr<FileSizeLimit> limit;
        if (fullDisk) {
            limit = std::make_unique<FileSizeLimit>(256);
            QVERIFY(limit->active());
        }
        QVERIFY(session.clickAndChoose("#a", "姓: 山田"));
        QTRY_COMPARE(log.warnings().filter("saveProfile").size(), 1);
    }
    QTRY_COMPARE(session.value("#a"), QString("山田"));
    QCOMPARE(session.document().pageRules(), QVariantMap({{"a", "familyName"}}));
    const QStringList warnings = log.warnings().filter("saveProfile");
    QCOMPARE(warnings.size(), 1);
    const QString prefix = "profile.json を保存できませんでした: ";
    const QString shown = session.statusMessage();
    QVERIFY2(shown.startsWith(prefix) && shown.size() > prefix.size(), qPrintable(shown));
    // The reason names the file's error, as the warning does.
    const QString reason = shown.mid(prefix.size());
    QVERIFY2(reason.endsWith(')'), qPrintable(reason));
    const QString detail = reason.mid(reason.indexOf('(') + 1).chopped(1);
    QVERIFY2(warnings.first().contains('"' + detail + '"'), qPrintable(warnings.first()));
    if (fullDisk) {
        QCOMPARE(session.dir.read("profile.json"), before);
    } else {
        QVERIFY(QFileInfo(path).isDir());
        QVERIFY(QDir(session.dir.path()).rmdir("profile.json"));
    }

    QVERIFY(session.clickAndChoose("#b", "市区町村: "));
    QTRY_COMPARE(session.savedRules(), QJsonObject({{"a", "familyName"}, {"b", "city"}}));
    QCOMPARE(session.saved().value("profile"), Session::defaultDocument().value("profile"));
    QCOMPARE(session.statusMessage(), QString());
}

QTEST_MAIN(TestFormFilling)
#include "TestFormFilling.moc"

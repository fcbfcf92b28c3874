// A form built with a current Vue 3 release, as sites ship them today: the classic engine cannot
// even parse it and says so; with Chromium the menu, このページに一括入力 and the refill all reach
// the framework's own state, and only the user's own click opens the menu.

#include "browser.h"
#include "fill/formfiller.h"

#include <QAction>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

using namespace TestSupport;

namespace {

const QString page =
    QUrl::fromLocalFile(QDir(QStringLiteral(KAKIKOMI_TEST_DATA)).filePath("vue3/registration.html"))
        .toString();

QJsonObject testDocument()
{
    const QJsonObject profile{
        {"familyName", "山田"},        {"lastName", "花子"},    {"familyNameK", "ヤマダ"},
        {"lastNameK", "ハナコ"},       {"zipcode", "100-0001"}, {"pref", "東京都"},
        {"city", "千代田区"},          {"street", "1-1"},       {"telephone", "03-1234-5678"},
        {"mail", "hanako@example.jp"},
    };
    return {{"profile", profile}, {"actions", QJsonObject{{"姓", QJsonArray{"familyName"}}}}};
}

// The framework's model, as the page shows it.
QJsonObject state(const Browser &browser)
{
    return QJsonDocument::fromJson(
               browser.run("document.getElementById('state').textContent").toString().toUtf8())
        .object();
}

void clickField(const Browser &browser, const QString &name)
{
    const QVariantList point =
        browser
            .run(QStringLiteral(
                     "(function () { var r = document.querySelector('[name=%1]').getBoundingClientRect();"
                     " return [r.left + r.width / 2, r.top + r.height / 2]; })()")
                     .arg(name))
            .toList();
    browser.clickAt(QPoint(point.value(0).toInt(), point.value(1).toInt()));
}

} // namespace

class TestModernPages : public QObject
{
    Q_OBJECT

private slots:
    void classicEngineSaysWhatToDo();
    void vueFormWithChromium();
};

void TestModernPages::classicEngineSaysWhatToDo()
{
    Browser browser(testDocument(), Browser::Showing::Shown, Engine::WebKit);
    QVERIFY(browser.load(page));
    QVERIFY(browser.statusMessage().contains("--engine chromium"));
    // A page the engine runs says nothing of the kind.
    QVERIFY(browser.open("<p>ok</p><script>var a = 1;</script>", "http://127.0.0.1:1/"));
    QCOMPARE(browser.statusMessage(), QString("ページが表示されました"));
}

void TestModernPages::vueFormWithChromium()
{
    Browser browser(testDocument(), Browser::Showing::Shown, Engine::Chromium);
    QVERIFY(browser.load(page));
    QTRY_VERIFY(state(browser).contains("sei"));

    // A click the page makes opens nothing.
    int menus = 0;
    onNextMenu([&menus](QMenu *menu) {
        ++menus;
        choose(menu, "姓: 山田");
    });
    browser.run("document.querySelector('[name=sei]').click()");
    QTest::qWait(500);
    QCOMPARE(menus, 0);

    // The user's click does, and the framework keeps the value.
    clickField(browser, "sei");
    QTRY_COMPARE(menus, 1);
    QTRY_COMPARE(state(browser).value("sei").toString(), QString("山田"));

    // このページに一括入力 fills the rest into the framework's state.
    QSignalSpy finished(&browser.window().formFiller(), &FormFiller::finished);
    browser.child<QAction>("actionFillPage")->trigger();
    QVERIFY(finished.wait(10000));
    const QJsonObject filled = state(browser);
    QCOMPARE(filled.value("mail").toString(), QString("hanako@example.jp"));
    QCOMPARE(filled.value("zip").toString(), QString("100-0001"));
    QCOMPARE(filled.value("pref").toString(), QString("東京都"));

    // The next visit refills what was recorded.
    QVERIFY(browser.load(page));
    QTRY_COMPARE(state(browser).value("mail").toString(), QString("hanako@example.jp"));
    QCOMPARE(state(browser).value("sei").toString(), QString("山田"));
}

QTEST_MAIN(TestModernPages)
#include "TestModernPages.moc"

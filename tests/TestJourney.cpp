// A user's whole visit, driven the way a person drives the browser: real clicks, the keyboard in
// the field menu and in the profile dialog, a restart in the same directory.

#include "browser.h"
#include "testsupport.h"

#include <QAction>
#include <QCursor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace TestSupport;

namespace {

// The demo's working directory: the sample profile starting at the demo form, and the prefectures.
void prepareDemo(const WorkDir &dir)
{
    dir.copyDemoFile("form.html");
    dir.copyDemoFile("jp-prefectures.txt");
    dir.copyDemoFile("profile.json");
    const QString form = QUrl::fromLocalFile(dir.filePath("form.html")).toString();
    dir.write("profile.json", dir.read("profile.json").replace("@DEMO_FORM_URL@", form.toUtf8()));
}

// Shows the window as large as the screen and its start page, as the program starts.
bool startAndWait(MainWindow &window)
{
    QSignalSpy loaded(window.view(), SIGNAL(loadFinished(bool)));
    window.showMaximized();
    window.loadStartPage();
    return QTest::qWaitForWindowExposed(&window) && (!loaded.isEmpty() || loaded.wait(10000))
           && loaded.last().value(0).toBool();
}

// Clicks the field where it is on the screen, with the pointer moved there first.
void clickAtPointer(const Browser &browser, const QString &selector)
{
    const QPoint point = browser.centre(selector);
    QCursor::setPos(browser.input()->mapToGlobal(point));
    browser.clickAt(point);
}

// In an open menu: Down until the entry starting with prefix is active, then Return.
void pickWithKeyboard(QMenu *menu, const QString &prefix)
{
    const QStringList texts = entryTexts(menu);
    const auto target =
        std::find_if(texts.begin(), texts.end(), [&](const QString &t) { return t.startsWith(prefix); });
    if (target == texts.end()) {
        qWarning("no menu entry %s", qPrintable(prefix));
        return;
    }
    for (int down = 0; down <= target - texts.begin(); ++down) {
        QTest::keyClick(menu, Qt::Key_Down);
    }
    QTest::keyClick(menu, Qt::Key_Return);
}

} // namespace

class TestJourney : public QObject
{
    Q_OBJECT

private slots:
    void fillEditRestartRefill_data();
    void fillEditRestartRefill();
};

void TestJourney::fillEditRestartRefill_data()
{
    engineRows();
}

void TestJourney::fillEditRestartRefill()
{
    QFETCH(Engine, engine);
    Browser browser(QByteArray(), Browser::Showing::Hidden, engine);
    // The window reads its directory as it starts: started again once the demo is there.
    prepareDemo(browser.dir);
    browser.restart();
    const QString form = QUrl::fromLocalFile(browser.dir.filePath("form.html")).toString();
    MessageLog log;

    QVERIFY(startAndWait(browser.window()));
    QCOMPARE(browser.url(), form);

    // 氏名: the menu opens at the pointer, the keyboard picks the family name.
    QPoint menuAt;
    onNextMenu([&menuAt](QMenu *menu) {
        menuAt = menu->pos();
        pickWithKeyboard(menu, "姓: ");
    });
    clickAtPointer(browser, "#sei");
    QTRY_COMPARE(browser.value("#sei"), QString("山田"));
    QVERIFY(!menuAt.isNull());
    QTRY_COMPARE(browser.saved().value("sites").toObject().value(form).toObject(),
                 QJsonObject({{"sei", "familyName"}}));

    // Typed text turned to full width.
    bool dismissed = false;
    onNextMenu([&dismissed](QMenu *menu) {
        dismissed = true;
        QTest::keyClick(menu, Qt::Key_Escape);
    });
    clickAtPointer(browser, "input[name=last_roma]");
    QTRY_VERIFY(dismissed);
    QTest::keyClicks(browser.input(), "Yamada 1");
    QTRY_COMPARE(browser.value("input[name=last_roma]"), QString("Yamada 1"));
    onNextMenu([](QMenu *menu) { pickWithKeyboard(menu, "→全角"); });
    clickAtPointer(browser, "input[name=last_roma]");
    QTRY_COMPARE(browser.value("input[name=last_roma]"), QString::fromUtf16(u"Ｙａｍａｄａ １"));

    // The profile dialog from its menu entry: a new city, confirmed with OK.
    onNextDialog([](QDialog *dialog) {
        auto *city = dialog->findChild<QLineEdit *>("city");
        QCOMPARE(city->text(), QString("千代田区"));
        city->setFocus();
        city->selectAll();
        type(city, "港区");
        QTest::keyClick(city, Qt::Key_Tab);
        QTest::mouseClick(dialog->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
    });
    browser.child<QAction>("actionProfile")->trigger();
    QCOMPARE(browser.document().values().value("city").toString(), QString("港区"));
    QCOMPARE(browser.saved().value("profile").toObject().value("city").toString(), QString("港区"));
    QVERIFY(browser.window().close());

    // A new window in the same directory: the recorded field is filled at once, the menu offers the
    // edited city, and a choice made now is remembered beside the first.
    browser.restart();
    QCOMPARE(log.debugLines().filter("closeEvent(): ").size(), 1);
    for (const char *line :
         {"on_profileSelected( QVariant(QString, \"familyName\") )",
          "on_profileSelected( QVariant(QString, \"__HAN_2_ZEN__\") )", "on_actionProfile_triggered",
          "showProfile", "city:  QVariant(QString, \"港区\")", "on_buttonBox_accepted"}) {
        QVERIFY2(log.debugLines().contains(line), qPrintable(line));
    }
    // The classic bridge hears of the click through the field's onclick attribute.
    QCOMPARE(log.debugLines().contains("on_signal( \"sei\" )"), engine == Engine::WebKit);

    QVERIFY(startAndWait(browser.window()));
    QTRY_COMPARE(browser.value("#sei"), QString("山田"));
    QCOMPARE(browser.value("input[name=last_roma]"), QString());
    QStringList offered;
    onNextMenu([&offered](QMenu *menu) {
        offered = entryTexts(menu);
        pickWithKeyboard(menu, "市区町村: ");
    });
    clickAtPointer(browser, "#city");
    QTRY_COMPARE(browser.value("#city"), QString("港区"));
    QVERIFY(offered.contains("市区町村: 港区"));
    QTRY_COMPARE(browser.saved().value("sites").toObject().value(form).toObject(),
                 QJsonObject({{"sei", "familyName"}, {"city", "city"}}));
}

QTEST_MAIN(TestJourney)
#include "TestJourney.moc"

// A user's whole visit, driven the way a person drives the browser: real clicks, the keyboard in
// the field menu and in the profile dialog, a restart in the same directory.

#include "app/mainwindow.h"
#include "app/singlewebview.h"
#include "store/profiledocument.h"
#include "testsupport.h"

#include <QAction>
#include <QDialog>
#include <QDialogButtonBox>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QWebElement>
#include <QWebFrame>
#include <QWebView>

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

bool startAndWait(MainWindow &window)
{
    QSignalSpy loaded(window.webView(), &QWebView::loadFinished);
    window.showMaximized();
    window.loadStartPage();
    return loaded.wait(10000) && loaded.last().value(0).toBool();
}

// Clicks the field where it is on the screen, with the pointer moved there first.
void clickAtPointer(QWebView *view, const QString &selector)
{
    QWebElement field = element(view, selector);
    field.evaluateJavaScript("this.scrollIntoView(false)");
    QCursor::setPos(
        view->mapToGlobal(field.geometry().center() - view->page()->mainFrame()->scrollPosition()));
    click(view, selector);
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
    void fillEditRestartRefill();
};

void TestJourney::fillEditRestartRefill()
{
    WorkDir dir;
    prepareDemo(dir);
    const QString form = QUrl::fromLocalFile(dir.filePath("form.html")).toString();
    MessageLog log;

    {
        MainWindow window;
        QVERIFY(startAndWait(window));
        QWebView *view = window.webView();
        QCOMPARE(view->url().toString(), form);

        // 氏名: the menu opens at the pointer, the keyboard picks the family name.
        QPoint menuAt;
        onNextMenu([&menuAt](QMenu *menu) {
            menuAt = menu->pos();
            pickWithKeyboard(menu, "姓: ");
        });
        clickAtPointer(view, "#sei");
        QCOMPARE(fieldValue(view, "#sei"), QString("山田"));
        QVERIFY(!menuAt.isNull());
        QCOMPARE(savedDocument(dir).value("sites").toObject().value(form).toObject(),
                 QJsonObject({{"sei", "familyName"}}));

        // Typed text turned to full width.
        onNextMenu([](QMenu *menu) { QTest::keyClick(menu, Qt::Key_Escape); });
        clickAtPointer(view, "input[name=last_roma]");
        QTest::keyClicks(view, "Yamada 1");
        QCOMPARE(fieldValue(view, "input[name=last_roma]"), QString("Yamada 1"));
        onNextMenu([](QMenu *menu) { pickWithKeyboard(menu, "→全角"); });
        clickAtPointer(view, "input[name=last_roma]");
        QCOMPARE(fieldValue(view, "input[name=last_roma]"), QString::fromUtf16(u"Ｙａｍａｄａ １"));

        // The profile dialog from its menu entry: a new city, confirmed with OK.
        onNextDialog([](QDialog *dialog) {
            auto *city = dialog->findChild<QLineEdit *>("city");
            QCOMPARE(city->text(), QString("千代田区"));
            city->setFocus();
            city->selectAll();
            type(city, "港区");
            QTest::keyClick(city, Qt::Key_Tab);
            QTest::mouseClick(
                dialog->findChild<QDialogButtonBox *>("buttonBox")->button(QDialogButtonBox::Ok),
                Qt::LeftButton);
        });
        window.findChild<QAction *>("actionProfile")->trigger();
        QCOMPARE(window.document().values().value("city").toString(), QString("港区"));
        QCOMPARE(savedDocument(dir).value("profile").toObject().value("city").toString(), QString("港区"));

        QVERIFY(window.close());
    }
    QCOMPARE(log.debugLines().filter("closeEvent(): ").size(), 1);
    for (const char *line :
         {"on_signal( \"sei\" )", "on_profileSelected( QVariant(QString, \"familyName\") )",
          "on_profileSelected( QVariant(QString, \"__HAN_2_ZEN__\") )", "on_actionProfile_triggered",
          "showProfile", "city:  QVariant(QString, \"港区\")", "on_buttonBox_accepted"}) {
        QVERIFY2(log.debugLines().contains(line), qPrintable(line));
    }

    // A new window in the same directory: the recorded field is filled at once, the menu offers the
    // edited city, and a choice made now is remembered beside the first.
    MainWindow again;
    QVERIFY(startAndWait(again));
    QWebView *view = again.webView();
    QCOMPARE(fieldValue(view, "#sei"), QString("山田"));
    QCOMPARE(fieldValue(view, "input[name=last_roma]"), QString());
    QStringList offered;
    onNextMenu([&offered](QMenu *menu) {
        offered = entryTexts(menu);
        pickWithKeyboard(menu, "市区町村: ");
    });
    clickAtPointer(view, "#city");
    QVERIFY(offered.contains("市区町村: 港区"));
    QCOMPARE(fieldValue(view, "#city"), QString("港区"));
    QCOMPARE(savedDocument(dir).value("sites").toObject().value(form).toObject(),
             QJsonObject({{"sei", "familyName"}, {"city", "city"}}));
}

QTEST_MAIN(TestJourney)
#include "TestJourney.moc"

#include "app/mainwindow.h"
#include "page/webkit/singlewebview.h"
#include "store/defaultactions.h"
#include "store/profiledocument.h"
#include "testsupport.h"
#include "ui_mainwindow.h"

#include <QAction>
#include <QFrame>
#include <QJsonDocument>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMetaMethod>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QWebView>

using namespace TestSupport;

// The widget that Tab moves to from this one.
static QWidget *nextTabStop(QWidget *widget)
{
    QWidget *next = widget->nextInFocusChain();
    while (next != widget && !(next->focusPolicy() & Qt::TabFocus)) {
        next = next->nextInFocusChain();
    }
    return next;
}

class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    void widgets_data();
    void widgets();
    void windowAndMenus();
    void formTabOrder();
    void startsWithoutProfile();
    void defaultMenuIsNotSaved();
    void startPage_data();
    void startPage();
    void loadSlotsRunOncePerLoad();
    void closingWritesNothing();
    void slotsInOrder();
};

void TestMainWindow::widgets_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("hidden");

    QTest::newRow("home") << "goHome"
                          << "QPushButton"
                          << "スタートページに戻る" << false;
    QTest::newRow("go") << "pushButton"
                        << "QPushButton"
                        << "Go" << true;
    QTest::newRow("address") << "url"
                             << "QLineEdit"
                             << "URL" << true;
    QTest::newRow("frame") << "frame"
                           << "QFrame"
                           << "" << false;
    QTest::newRow("view") << "webview"
                          << "SingleWebView"
                          << "" << false;
    QTest::newRow("status") << "statusBar"
                            << "QStatusBar"
                            << "" << false;
}

void TestMainWindow::widgets()
{
    QFETCH(QString, name);
    QFETCH(QString, className);
    QFETCH(QString, text);
    QFETCH(bool, hidden);

    WorkDir dir;
    MainWindow window;
    window.show();
    auto *widget = window.findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(QString(widget->metaObject()->className()),
             className == "SingleWebView" ? "QWebView" : className);
    QCOMPARE(widget->isHidden(), hidden);
    if (auto *button = qobject_cast<QPushButton *>(widget)) {
        QCOMPARE(button->text(), text);
        QVERIFY(button->isDefault());
    } else if (auto *line = qobject_cast<QLineEdit *>(widget)) {
        QCOMPARE(line->placeholderText(), text);
    }
}

void TestMainWindow::windowAndMenus()
{
    WorkDir dir;
    MainWindow window;
    QCOMPARE(window.objectName(), QString("MainWindow"));
    QCOMPARE(window.windowTitle(), QString("MainWindow"));
    QCOMPARE(window.size(), QSize(916, 696));
    QCOMPARE(window.baseSize(), QSize(1400, 650));

    // The view fills the frame; the progress bar sits hidden in the status bar.
    QCOMPARE(qobject_cast<QWebView *>(window.view())->parentWidget(), window.findChild<QFrame *>("frame"));
    QCOMPARE(window.progressBar()->parentWidget(), window.statusBar());
    QVERIFY(window.progressBar()->isHidden());
    QCOMPARE(window.progressBar()->value(), 0);

    const QList<QAction *> menus = window.menuBar()->actions();
    QCOMPARE(menus.size(), 2);
    QCOMPARE(menus[0]->text(), QString("情報入力"));
    QCOMPARE(menus[1]->text(), QString("言語"));
    QCOMPARE(menus[0]->menu()->actions().value(0)->objectName(), QString("actionProfile"));
    QCOMPARE(menus[0]->menu()->actions().value(0)->text(), QString("個人情報入力"));
    const QList<QAction *> languages = menus[1]->menu()->actions();
    QCOMPARE(languages.size(), 2);
    QCOMPARE(languages[0]->text(), QString("日本語"));
    QCOMPARE(languages[1]->text(), QString("英語"));
    QVERIFY(languages[0]->isCheckable() && languages[0]->isChecked());
    QVERIFY(languages[1]->isCheckable() && !languages[1]->isChecked());
}

void TestMainWindow::formTabOrder()
{
    // The form's own order; the window later adds the page view to the chain.
    QMainWindow bare;
    Ui_MainWindow form;
    form.setupUi(&bare);
    QCOMPARE(nextTabStop(form.url), form.pushButton);
    QCOMPARE(nextTabStop(form.pushButton), form.goHome);
}

void TestMainWindow::startsWithoutProfile()
{
    WorkDir dir;
    MessageLog log;
    {
        MainWindow window;
        QVERIFY(window.startPage().isEmpty());
        QCOMPARE(window.document().menuTable(), ProfileStore::menuTable(DefaultActions::table()));
        QVERIFY(window.document().values().isEmpty());
        QCOMPARE(window.document().root(), QJsonObject({{"profile", QJsonObject()}}));
        QCOMPARE(log.warnings().filter("profile.json").size(), 1);
        window.show();
        window.close();
    }
    QVERIFY(!QFile::exists(dir.filePath("profile.json")));
}

// The built-in menu stands in for a missing "actions" member and never reaches the file.
void TestMainWindow::defaultMenuIsNotSaved()
{
    WorkDir dir;
    dir.write("profile.json", R"({"profile": {"mail": "a@b.jp"}})");
    MainWindow window;
    QCOMPARE(window.document().menuTable(), ProfileStore::menuTable(DefaultActions::table()));
    window.document().save();
    const QJsonObject saved = savedDocument(dir);
    QCOMPARE(saved.value("profile").toObject().value("mail").toString(), QString("a@b.jp"));
    QVERIFY(!saved.contains("actions"));
}

void TestMainWindow::startPage_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("expected");

    QTest::newRow("address") << QByteArray(R"({"startPage": "http://127.0.0.1:1/form.html"})")
                             << "http://127.0.0.1:1/form.html";
    QTest::newRow("bare host, unchanged") << QByteArray(R"({"startPage": "example.test"})") << "example.test";
    QTest::newRow("number") << QByteArray(R"({"startPage": 12})") << "";
    QTest::newRow("object") << QByteArray(R"({"startPage": {"url": "x"}})") << "";
    QTest::newRow("missing") << QByteArray(R"({"profile": {}})") << "";
    QTest::newRow("not json") << QByteArray("{startPage: x") << "";
}

void TestMainWindow::startPage()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, expected);

    WorkDir dir;
    dir.write("profile.json", document);
    MainWindow window;
    QCOMPARE(window.startPage(), expected);
}

void TestMainWindow::loadSlotsRunOncePerLoad()
{
    WorkDir dir;
    MainWindow window;
    window.show();
    MessageLog log;
    QWebView *view = qobject_cast<QWebView *>(window.view());
    QVERIFY(loadHtml(view, "<p>one</p>", "http://127.0.0.1:1/one"));
    QVERIFY(loadHtml(view, "<p>two</p>", "http://127.0.0.1:1/two"));

    QCOMPARE(log.debugLines().filter("finished with ok: ").size(), 2);
    QCOMPARE(log.debugLines().filter("on_webview_urlChanged url: ").size(), 2);
    QCOMPARE(window.statusBar()->currentMessage(), QString("ページが表示されました"));
}

void TestMainWindow::closingWritesNothing()
{
    WorkDir dir;
    const QByteArray document = R"({"profile": {"familyName": "山田"}, "zzz": [1, 2]})";
    dir.write("profile.json", document);
    MessageLog log;
    {
        MainWindow window;
        window.show();
        QVERIFY(window.close());
    }
    QCOMPARE(dir.read("profile.json"), document);
    const QStringList closing = log.debugLines().filter("closeEvent(): ");
    QCOMPARE(closing.size(), 1);
    QCOMPARE(closing.first().simplified(), QString("closeEvent(): 19"));
}

// Scripts and checks outside the program find the window's slots by name and position.
void TestMainWindow::slotsInOrder()
{
    const QMetaObject &meta = MainWindow::staticMetaObject;
    QStringList slotList;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        if (meta.method(i).methodType() == QMetaMethod::Slot) {
            slotList.append(QString::fromLatin1(meta.method(i).methodSignature()));
        }
    }
    QCOMPARE(slotList,
             QStringList({"handleSslErrors(QNetworkReply*,QList<QSslError>)", "connectDelegate()",
                          "on_signal(QString)", "on_pushButton_clicked()", "on_actionProfile_triggered()",
                          "on_webview_loadFinished(bool)", "on_webview_loadProgress(int)",
                          "on_webview_loadStarted()", "on_profileSelected(QAction*)",
                          "on_webview_urlChanged(QUrl)", "on_actionToJapanese_triggered()",
                          "on_actionToEnglish_triggered()", "on_goHome_clicked()"}));
}

QTEST_MAIN(TestMainWindow)
#include "TestMainWindow.moc"

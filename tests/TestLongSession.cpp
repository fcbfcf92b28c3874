// A long session: hundreds of navigations with choices between them must leave no bridge objects,
// element handles or rules behind.

#include "browser.h"
#include "testsupport.h"

#include <QJsonDocument>
#include <QTest>
#include <QWebView>

using namespace TestSupport;

class TestLongSession : public QObject
{
    Q_OBJECT

private slots:
    void manyNavigations();
};

void TestLongSession::manyNavigations()
{
    Browser browser(R"({"profile": {"familyName": "山田", "mail": "m@example.jp"},
                                  "actions": {"姓": ["familyName"], "メール": ["mail"]}})",
                    Browser::Showing::Shown);
    QWebView *view = browser.view();

    const QString pages[] = {
        "<script>var page = 1;</script><form><input type=text id=sei><input type=email "
        "name=mail></form><input>",
        "<div><input type=text id=other><p><input type=search name=q></p></div><div id=sliding-popup></div>",
    };
    const QString addresses[] = {"http://127.0.0.1:1/a", "http://127.0.0.1:1/b"};
    // Inputs per page, and registered identifiers.
    const int handles[] = {3, 2};
    const int registered[] = {3, 2};

    for (int i = 0; i < 300; ++i) {
        const int which = i % 2;
        QVERIFY(loadHtml(view, pages[which], addresses[which]));
        QCOMPARE(browser.bridge().handleCount(), handles[which]);
        QCOMPARE(browser.bridge().inputs().size(), registered[which]);
        if (i % 10 == 0) {
            clickAndChoose(view, which == 0 ? "#sei" : "#other", "姓: ");
        }
        if (i % 10 == 1) {
            clickAndChoose(view, which == 0 ? "#sei" : "#other", "消去");
        }
        QCOMPARE(browser.bridge().liveBridges(), 1);
    }
    // The earlier pages' handles are all freed soon after the last page is shown.
    QTRY_COMPARE(browser.bridge().retiredCount(), 0);

    // Every choice went to its own page, and only the last one for a field counts.
    const QJsonObject sites = browser.saved().value("sites").toObject();
    QCOMPARE(sites, QJsonObject({{addresses[0], QJsonObject{{"sei", "familyName"}}},
                                 {addresses[1], QJsonObject{{"other", "__DELETE_HERE__"}}}}));
}

QTEST_MAIN(TestLongSession)
#include "TestLongSession.moc"

// The profile document as the other parts see it: what it answers after loading, the rules of the
// page shown, recording a choice, and saving that fails and is tried again.

#include "store/defaultactions.h"
#include "store/profiledocument.h"
#include "testsupport.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTest>

using namespace TestSupport;

namespace {

QByteArray sampleDocument()
{
    const QJsonObject document{
        {"profile",
         QJsonObject{
             {"familyName", "山田"}, {"year", 1980}, {"mail", QJsonValue()}, {"tags", QJsonArray{"a"}}}},
        {"actions",
         QJsonObject{{"姓", QJsonArray{"familyName"}}, {"年", QJsonArray{"year"}}, {"壊れた", QJsonArray{}}}},
        {"sites", QJsonObject{{"http://a.test/form",
                               QJsonObject{{"sei", "familyName"}, {"gone", "__DELETE_HERE__"}}}}},
        {"startPage", "http://a.test/"},
        {"engine", "chromium"}};
    return QJsonDocument(document).toJson();
}

} // namespace

class TestProfileDocument : public QObject
{
    Q_OBJECT

private slots:
    void answersAfterLoading();
    void missingFile();
    void values_data();
    void values();
    void pageRules_data();
    void pageRules();
    void choicesAreRecordedAndSaved();
    void wholeFormPages_data();
    void wholeFormPages();
    void failedSaveKeepsTheChoice();
    void secretsListedAsInTheStore_data();
    void secretsListedAsInTheStore();
};

void TestProfileDocument::answersAfterLoading()
{
    WorkDir dir;
    dir.write("profile.json", sampleDocument());
    ProfileDocument profile;
    QVERIFY(profile.load());
    QCOMPARE(profile.startPage(), QString("http://a.test/"));
    QCOMPARE(profile.engine(), QString("chromium"));
    QCOMPARE(profile.menuTable().keys(), QStringList({"姓", "年"}));
    QCOMPARE(profile.rulesFor("http://a.test/form"),
             QVariantMap({{"sei", "familyName"}, {"gone", "__DELETE_HERE__"}}));
    QVERIFY(profile.rulesFor("http://a.test/form?x").isEmpty());
    QVERIFY(profile.holds("mail"));
    QVERIFY(!profile.holds("telephone"));
    QVERIFY(profile.pageRules().isEmpty());
}

void TestProfileDocument::missingFile()
{
    WorkDir dir;
    ProfileDocument profile;
    QVERIFY(!profile.load());
    QCOMPARE(profile.root(), QJsonObject({{"profile", QJsonObject()}}));
    QVERIFY(profile.values().isEmpty());
    // A new user's document offers the built-in menu.
    QCOMPARE(profile.menuTable(), ProfileStore::menuTable(DefaultActions::table()));
    QVERIFY(profile.startPage().isEmpty());
    QVERIFY(profile.engine().isEmpty());
}

void TestProfileDocument::values_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");

    QTest::newRow("text") << "familyName"
                          << "山田";
    QTest::newRow("whole number") << "year"
                                  << "1980";
    QTest::newRow("null") << "mail" << QString();
    QTest::newRow("list") << "tags" << QString();
    QTest::newRow("missing") << "telephone" << QString();
    QTest::newRow("clear marker") << "__DELETE_HERE__" << QString();
}

void TestProfileDocument::values()
{
    QFETCH(QString, key);
    QFETCH(QString, text);

    WorkDir dir;
    dir.write("profile.json", sampleDocument());
    ProfileDocument profile;
    profile.load();
    QCOMPARE(profile.value(key), text);
}

void TestProfileDocument::pageRules_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("rules");

    QTest::newRow("recorded page") << "http://a.test/form" << 2;
    QTest::newRow("other page") << "http://a.test/other" << 0;
    QTest::newRow("empty address") << "" << 0;
}

void TestProfileDocument::pageRules()
{
    QFETCH(QString, address);
    QFETCH(int, rules);

    WorkDir dir;
    dir.write("profile.json", sampleDocument());
    ProfileDocument profile;
    profile.load();
    profile.showPage("http://a.test/form");
    profile.showPage(address);
    QCOMPARE(profile.pageRules().size(), rules);
}

void TestProfileDocument::wholeFormPages_data()
{
    QTest::addColumn<QString>("visited");
    QTest::addColumn<bool>("fills");
    QTest::newRow("the same address") << "https://a.test/entry?sid=1" << true;
    QTest::newRow("another query and fragment") << "https://a.test/entry?sid=2#step2" << true;
    QTest::newRow("signed in") << "https://me:pw@a.test/entry" << true;
    QTest::newRow("another path") << "https://a.test/entry/2" << false;
    QTest::newRow("plain http") << "http://a.test/entry?sid=1" << false;
    QTest::newRow("another port") << "https://a.test:8443/entry" << false;
    QTest::newRow("another host") << "https://b.test/entry" << false;
    QTest::newRow("no address") << "" << false;
}

// A whole-form fill lists its page by scheme, host, port and path; undoing it takes back its rules
// and the listing, and the file keeps every other page as it was.
void TestProfileDocument::wholeFormPages()
{
    QFETCH(QString, visited);
    QFETCH(bool, fills);
    WorkDir dir;
    dir.write("profile.json", sampleDocument());
    ProfileDocument profile;
    profile.load();
    const QString address = QStringLiteral("https://a.test/entry?sid=1");
    profile.showPage(address);
    QVERIFY(profile.recordWholeFormFill(address, {{"mail", "mail"}}));
    QVERIFY(profile.recordWholeFormFill("https://c.test/", {}));
    QCOMPARE(savedDocument(dir).value("wholeFormFill").toArray(),
             QJsonArray({"https://a.test/entry", "https://c.test/"}));
    QCOMPARE(profile.fillsWholeForm(visited), fills);

    QVERIFY(profile.undoWholeFormFill(address, {{"mail", QVariant()}}));
    QVERIFY(!profile.fillsWholeForm(visited));
    const QJsonObject onDisk = savedDocument(dir);
    QCOMPARE(onDisk.value("wholeFormFill").toArray(), QJsonArray({"https://c.test/"}));
    QVERIFY(!onDisk.value("sites").toObject().contains(address));
    QVERIFY(onDisk.value("sites").toObject().contains("http://a.test/form"));
}

void TestProfileDocument::choicesAreRecordedAndSaved()
{
    WorkDir dir;
    dir.write("profile.json", sampleDocument());
    ProfileDocument profile;
    profile.load();
    QSignalSpy saved(&profile, &ProfileDocument::saved);
    profile.showPage("http://a.test/form");
    QVERIFY(profile.recordChoice("http://a.test/form", "mei", "year"));
    QVERIFY(profile.recordChoice("http://a.test/form", "sei", "__DELETE_HERE__"));
    QCOMPARE(saved.size(), 2);
    const QJsonObject expected{{"sei", "__DELETE_HERE__"}, {"gone", "__DELETE_HERE__"}, {"mei", "year"}};
    QCOMPARE(QJsonObject::fromVariantMap(profile.pageRules()), expected);
    const QJsonObject onDisk = savedDocument(dir);
    QCOMPARE(onDisk.value("sites").toObject(), QJsonObject({{"http://a.test/form", expected}}));
    QCOMPARE(onDisk.value("startPage").toString(), QString("http://a.test/"));
    QCOMPARE(onDisk.value("engine").toString(), QString("chromium"));

    // New values replace the old ones as a whole and are saved with the next save.
    profile.setValues({{"familyName", "田中"}});
    QVERIFY(profile.save());
    QCOMPARE(savedDocument(dir).value("profile").toObject(), QJsonObject({{"familyName", "田中"}}));
    QCOMPARE(profile.value("year"), QString());
}

void TestProfileDocument::failedSaveKeepsTheChoice()
{
    WorkDir dir;
    ProfileDocument profile;
    profile.load();
    QSignalSpy failed(&profile, &ProfileDocument::saveFailed);
    QVERIFY(QDir(dir.path()).mkdir("profile.json"));
    profile.showPage("http://a.test/");
    MessageLog log;
    QString error;
    QVERIFY(!profile.recordChoice("http://a.test/", "sei", "familyName"));
    QCOMPARE(failed.size(), 1);
    QVERIFY(!failed.first().value(0).toString().isEmpty());
    QVERIFY(!profile.save(&error));
    QCOMPARE(error, failed.first().value(0).toString());
    QCOMPARE(log.warnings().filter("saveProfile").size(), 2);

    QVERIFY(QDir(dir.path()).rmdir("profile.json"));
    QVERIFY(profile.recordChoice("http://a.test/", "mei", "lastName"));
    QCOMPARE(savedDocument(dir).value("sites").toObject().value("http://a.test/").toObject(),
             QJsonObject({{"sei", "familyName"}, {"mei", "lastName"}}));
    QCOMPARE(failed.size(), 2);
}

void TestProfileDocument::secretsListedAsInTheStore_data()
{
    QTest::addColumn<QJsonObject>("profile");
    QTest::addColumn<bool>("listed");

    QTest::newRow("only listed") << QJsonObject{{"familyName", "山田"}} << true;
    QTest::newRow("written back by an older version") << QJsonObject{{"password", "newer"}} << false;
}

// Without a store in reach (the tests' session bus leads nowhere): a secret the file lists as in the
// store is offered without being read, and saving keeps the list, so nothing is lost; a value in the
// file itself wins and stays there.
void TestProfileDocument::secretsListedAsInTheStore()
{
    QFETCH(QJsonObject, profile);
    QFETCH(bool, listed);

    WorkDir dir;
    dir.write("profile.json", QJsonDocument(QJsonObject{{"profile", profile},
                                                        {"inSecretStore", QJsonArray{"password"}},
                                                        {"startPage", "http://a.test/"}})
                                  .toJson());
    ProfileDocument document;
    QVERIFY(document.load());
    QVERIFY(document.holds("password"));
    QVERIFY(document.hasText("password"));
    QCOMPARE(document.values().contains("password"), !listed);
    QVERIFY(document.save());
    const QJsonObject saved = savedDocument(dir);
    QCOMPARE(saved.value("inSecretStore").toArray(), listed ? QJsonArray{"password"} : QJsonArray());
    QCOMPARE(saved.value("profile").toObject(), profile);
    QCOMPARE(saved.value("startPage").toString(), QString("http://a.test/"));
}

QTEST_GUILESS_MAIN(TestProfileDocument)
#include "TestProfileDocument.moc"

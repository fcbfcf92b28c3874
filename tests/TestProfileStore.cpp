#include "store/defaultactions.h"
#include "store/profilestore.h"
#include "testsupport.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

#include <sys/stat.h>

using namespace TestSupport;
using Values = QHash<QString, QVariant>;

namespace {

QJsonObject parse(const QByteArray &json)
{
    return QJsonDocument::fromJson(json).object();
}

// Loads profile.json of the current directory into a fresh store.
struct Loaded
{
    Values values;
    ProfileStore store{values};
    std::optional<QJsonObject> root = store.load();
};

} // namespace

class TestProfileStore : public QObject
{
    Q_OBJECT

private slots:
    void reading_data();
    void reading();
    void savingRebuildsProfile();
    void unknownMembersSurviveSaves();
    void unreadableFiles_data();
    void unreadableFiles();
    void unreadableFileIsKeptBeforeReplacing();
    void emptyFileIsNotKept();
    void newFileIsPrivate();
    void existingFileKeepsPermissions();
    void saveFailureKeepsFileAndWarns();
    void pathFollowsCurrentDirectory();
    void menuTable();
    void defaultMenu_data();
    void defaultMenu();
    void defaultMenuIsTheDemos();
    void siteRules();
};

void TestProfileStore::reading_data()
{
    QTest::addColumn<QByteArray>("profile");
    QTest::addColumn<Values>("expected");

    QTest::newRow("plain values") << QByteArray(R"({"familyName": "山田", "year": 1980, "ok": true})")
                                  << Values{{"familyName", "山田"}, {"year", 1980.0}, {"ok", true}};
    QTest::newRow("names trimmed") << QByteArray(R"({" familyName ": "山田"})")
                                   << Values{{"familyName", "山田"}};
    QTest::newRow("blank name stores nothing")
        << QByteArray(R"({"  ": "x", "a": "y"})") << Values{{"a", "y"}};
    QTest::newRow("null kept") << QByteArray(R"({"mail": null})") << Values{{"mail", QVariant()}};
    QTest::newRow("array") << QByteArray(R"({"tags": ["a", 2]})") << Values{{"tags", QVariantList{"a", 2.0}}};
    QTest::newRow("nested object flattened")
        << QByteArray(R"({"name": {"familyName": "山田", "deeper": {"lastName": "花子"}}})")
        << Values{{"familyName", "山田"}, {"lastName", "花子"}};
    QTest::newRow("later name wins") << QByteArray(R"({"a": {"x": 1}, "b": {"x": 2}})") << Values{{"x", 2.0}};
    QTest::newRow("object in array: kept and flattened")
        << QByteArray(R"({"list": [{"x": "1"}]})")
        << Values{{"list", QVariantList{QVariantMap{{"x", "1"}}}}, {"x", "1"}};
}

void TestProfileStore::reading()
{
    QFETCH(QByteArray, profile);
    QFETCH(Values, expected);

    WorkDir dir;
    dir.write("profile.json", R"({"profile": )" + profile + "}");
    Loaded loaded;
    QVERIFY(loaded.root);
    QCOMPARE(loaded.values, expected);
}

void TestProfileStore::savingRebuildsProfile()
{
    WorkDir dir;
    dir.write("profile.json", R"({"profile": {" name": {"familyName": "山田"}, "year": 1980, "mail": null,
                                              "tags": ["a", "b"]}})");
    MessageLog log;
    Loaded loaded;
    QCOMPARE(log.count("parsed as Null"), 1);
    loaded.values.insert("month", 4);
    QVERIFY(loaded.store.save(*loaded.root));

    const QByteArray saved = dir.read("profile.json");
    const QJsonObject profile = parse(saved).value("profile").toObject();
    QCOMPARE(profile, parse(R"({"familyName": "山田", "year": 1980, "mail": null, "tags": ["a", "b"],
                                "month": 4})"));
    // Whole numbers stay whole, and the file is indented by four spaces in key order.
    QVERIFY(saved.contains("\n        \"year\": 1980\n"));
    QCOMPARE(saved, QJsonDocument(parse(saved)).toJson(QJsonDocument::Indented));
    QCOMPARE(loaded.root->value("profile").toObject(), profile);
}

void TestProfileStore::unknownMembersSurviveSaves()
{
    WorkDir dir;
    const QJsonObject extra = parse(R"({"x": [1, {"y": null}], "z": "text"})");
    dir.write("profile.json",
              QJsonDocument(QJsonObject{{"custom", extra}, {"sites", "not an object"}}).toJson());
    Loaded loaded;
    for (int round = 0; round < 3; ++round) {
        QVERIFY(loaded.store.save(*loaded.root));
    }
    const QJsonObject saved = parse(dir.read("profile.json"));
    QCOMPARE(saved.value("custom").toObject(), extra);
    QCOMPARE(saved.value("sites").toString(), QString("not an object"));
    // Loading never adds members: no "actions" or "startPage" appear, "profile" does.
    QCOMPARE(saved.keys(), QStringList({"custom", "profile", "sites"}));
}

void TestProfileStore::unreadableFiles_data()
{
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("not json") << QByteArray("{\"profile\": ");
    QTest::newRow("top-level array") << QByteArray(R"([{"profile": {"a": "b"}}])");
    QTest::newRow("empty") << QByteArray();
}

void TestProfileStore::unreadableFiles()
{
    QFETCH(QByteArray, bytes);

    WorkDir dir;
    dir.write("profile.json", bytes);
    Loaded loaded;
    QVERIFY(loaded.root);
    QVERIFY(loaded.root->isEmpty());
    QVERIFY(loaded.values.isEmpty());
}

void TestProfileStore::unreadableFileIsKeptBeforeReplacing()
{
    WorkDir dir;
    const QByteArray damaged = "{\"profile\": {\"familyName\": \"山田\"";
    dir.write("profile.json", damaged);
    MessageLog log;
    Loaded first;
    Loaded second;
    first.values.insert("familyName", "新");
    QVERIFY(first.store.save(*first.root));
    QVERIFY(first.store.save(*first.root));
    QVERIFY(second.store.save(*second.root));

    // Each store kept what it found, under a name of its own; the second kept first's new file.
    const QStringList copies =
        QDir(dir.path()).entryList({"profile.json.corrupt-*"}, QDir::Files, QDir::Name);
    QCOMPARE(copies.size(), 2);
    QCOMPARE(dir.read(copies[0]), damaged);
    QCOMPARE(parse(dir.read(copies[1])).value("profile").toObject().value("familyName").toString(),
             QString("新"));
    QCOMPARE(log.warnings().filter(dir.filePath(copies[0]) + '"').size(), 1);
    QVERIFY(parse(dir.read("profile.json")).contains("profile"));
}

void TestProfileStore::emptyFileIsNotKept()
{
    WorkDir dir;
    dir.write("profile.json", QByteArray());
    Loaded loaded;
    QVERIFY(loaded.store.save(*loaded.root));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList({"profile.json"}));
}

void TestProfileStore::newFileIsPrivate()
{
    WorkDir dir;
    Loaded loaded;
    QVERIFY(!loaded.root);
    QJsonObject root;
    QVERIFY(loaded.store.save(root));
    struct stat info
    { };
    QCOMPARE(::stat(QFile::encodeName(dir.filePath("profile.json")).constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0600));
}

void TestProfileStore::existingFileKeepsPermissions()
{
    WorkDir dir;
    dir.write("profile.json", "{}");
    const QByteArray path = QFile::encodeName(dir.filePath("profile.json"));
    QCOMPARE(::chmod(path.constData(), 0640), 0);
    Loaded loaded;
    QVERIFY(loaded.store.save(*loaded.root));
    struct stat info
    { };
    QCOMPARE(::stat(path.constData(), &info), 0);
    QCOMPARE(info.st_mode & 0777, mode_t(0640));
}

void TestProfileStore::saveFailureKeepsFileAndWarns()
{
    WorkDir dir;
    // A directory in the file's place cannot be replaced, whoever runs the test.
    QVERIFY(QDir(dir.path()).mkdir("profile.json"));
    MessageLog log;
    Loaded loaded;
    QVERIFY(!loaded.root);
    loaded.values.insert("familyName", "山田");
    QJsonObject root;
    QString error;
    QVERIFY(!loaded.store.save(root, &error));
    QVERIFY2(error.startsWith("開けません ("), qPrintable(error));
    QVERIFY(!loaded.store.save(root));
    const QStringList warnings = log.warnings().filter("saveProfile").filter(dir.filePath("profile.json"));
    QCOMPARE(warnings.size(), 2);
    QVERIFY2(warnings.first().contains('"' + error.mid(error.indexOf('(') + 1).chopped(1) + '"'),
             qPrintable(error));
    QVERIFY(QFileInfo(dir.filePath("profile.json")).isDir());
    QCOMPARE(loaded.values.value("familyName").toString(), QString("山田"));
}

void TestProfileStore::pathFollowsCurrentDirectory()
{
    WorkDir first;
    first.write("profile.json", R"({"profile": {"a": "b"}})");
    Loaded loaded;
    WorkDir second;
    QVERIFY(loaded.store.save(*loaded.root));
    QCOMPARE(parse(second.read("profile.json")).value("profile").toObject(), parse(R"({"a": "b"})"));
    QCOMPARE(first.read("profile.json"), QByteArray(R"({"profile": {"a": "b"}})"));
}

void TestProfileStore::menuTable()
{
    MessageLog log;
    const QVariantMap table = ProfileStore::menuTable(parse(R"({
        "メール": ["mail", "ignored"], "ID": ["userID"], "住所": ["city"],
        "empty": [], "number": [3], "string": "mail", "object": {"0": "mail"}, "null": null})"));
    QCOMPARE(table.keys(), QStringList({"ID", "メール", "住所"}));
    QCOMPARE(table.value("メール").toList().first().toString(), QString("mail"));
    QCOMPARE(log.debugLines().filter("menu entry").size(), 5);

    // The password is always secret; the file may name more, and odd entries are ignored.
    using Keys = QSet<QString>;
    QCOMPARE(ProfileStore::secretKeys({}), Keys({"password"}));
    QCOMPARE(ProfileStore::secretKeys(parse(R"({"secretKeys": "cardNumber"})")), Keys({"password"}));
    QCOMPARE(ProfileStore::secretKeys(parse(R"({"secretKeys": ["cardNumber", 3, "", null, "pin"]})")),
             Keys({"password", "cardNumber", "pin"}));
}

void TestProfileStore::defaultMenu_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QJsonObject>("actions");

    const QJsonObject builtIn = DefaultActions::table();
    QTest::newRow("no member") << QByteArray(R"({"profile": {"mail": "a@b.jp"}})") << builtIn;
    QTest::newRow("empty document") << QByteArray("{}") << builtIn;
    QTest::newRow("empty member wins") << QByteArray(R"({"actions": {}})") << QJsonObject();
    QTest::newRow("null member wins") << QByteArray(R"({"actions": null})") << QJsonObject();
    QTest::newRow("array member wins") << QByteArray(R"({"actions": [["mail"]]})") << QJsonObject();
    QTest::newRow("own entries win") << QByteArray(R"({"actions": {"メール": ["mail"]}})")
                                     << QJsonObject{{"メール", QJsonArray{"mail"}}};
}

void TestProfileStore::defaultMenu()
{
    QFETCH(QByteArray, document);
    QFETCH(QJsonObject, actions);

    const QJsonObject root = parse(document);
    QCOMPARE(DefaultActions::actionsOf(root), actions);
}

// A new user's menu is the demo's; a change to either shows here.
void TestProfileStore::defaultMenuIsTheDemos()
{
    QFile demo(QFINDTESTDATA("../demo/profile.json"));
    QVERIFY2(demo.open(QIODevice::ReadOnly), qPrintable(demo.errorString()));
    const QJsonObject demoActions = parse(demo.readAll()).value("actions").toObject();
    QCOMPARE(DefaultActions::table(), demoActions);
    const QVariantMap table = ProfileStore::menuTable(DefaultActions::table());
    QCOMPARE(table.size(), 33);
    QCOMPARE(table.value("姓").toList(), QVariantList{"familyName"});
}

void TestProfileStore::siteRules()
{
    const QString form = "http://a.test/form?x=1";
    QJsonObject root{{"sites", QJsonObject{{form, QJsonObject{{"email", "mail"}}}}}};
    QCOMPARE(ProfileStore::siteRules(root, form), QVariantMap({{"email", "mail"}}));
    QVERIFY(ProfileStore::siteRules(root, "http://a.test/form?x=2").isEmpty());
    QVERIFY(ProfileStore::siteRules(root, "http://a.test/Form?x=1").isEmpty());
    QVERIFY(ProfileStore::siteRules(QJsonObject{{"sites", "x"}}, "x").isEmpty());

    ProfileStore::storeSiteRules(root, "http://b.test/", {{"a", "familyName"}, {"b", "__DELETE_HERE__"}});
    ProfileStore::storeSiteRules(root, form, {{"email", "mailE"}});
    const QJsonObject expected{
        {form, QJsonObject{{"email", "mailE"}}},
        {"http://b.test/", QJsonObject{{"a", "familyName"}, {"b", "__DELETE_HERE__"}}},
    };
    QCOMPARE(root.value("sites").toObject(), expected);
}

QTEST_GUILESS_MAIN(TestProfileStore)
#include "TestProfileStore.moc"

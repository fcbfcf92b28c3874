#include "store/documentwriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTest>

#include <functional>

namespace {

QByteArray libraryText(const QJsonObject &root)
{
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

QJsonObject parse(const char *json)
{
    return QJsonDocument::fromJson(json).object();
}

// Sets one page's rules, as recording a choice does.
void setPage(QJsonObject &root, const QString &address, const QJsonValue &rules)
{
    QJsonObject sites = root.value("sites").toObject();
    sites.insert(address, rules);
    root.insert("sites", sites);
}

// Text that the writer has to escape or encode, picked at random.
QString awkwardText(QRandomGenerator &random)
{
    static const QStringList pieces{"field",
                                    "\"",
                                    "\\",
                                    "\n        \"",
                                    "\r\n",
                                    "\t",
                                    QString(QChar(0x01)),
                                    QString(QChar(0x7f)),
                                    "氏名",
                                    "😀",
                                    QString(QChar(0xd800)),
                                    "\u2028",
                                    "/",
                                    "https://例え.jp/?q=1#a",
                                    " ",
                                    ""};
    QString text;
    for (int i = random.bounded(4); i >= 0; --i) {
        text += pieces.at(random.bounded(pieces.size()));
    }
    return text;
}

QJsonValue randomRules(QRandomGenerator &random)
{
    switch (random.bounded(12)) {
    case 0:
        return QJsonObject();
    case 1:
        return awkwardText(random);
    case 2:
        return QJsonArray{1, "a", QJsonObject{{"x", QJsonArray()}}};
    case 3:
        return QJsonObject{{"n", random.bounded(2) ? 0.0 : -0.0}, {"big", 9007199254740993.0}};
    default:
        break;
    }
    QJsonObject rules;
    for (int i = random.bounded(5); i >= 0; --i) {
        rules.insert(awkwardText(random),
                     random.bounded(10) ? QJsonValue(awkwardText(random)) : QJsonValue());
    }
    return rules;
}

} // namespace

// The writer must give exactly the bytes of the JSON library's indented form: the file is compared
// with that form nowhere else, and a page written from a stale text would lose the user's choice.
class TestDocumentWriter : public QObject
{
    Q_OBJECT

private slots:
    void singleDocuments_data();
    void singleDocuments();
    void editsBetweenSaves();
    void randomEditSequences();
};

void TestDocumentWriter::singleDocuments_data()
{
    QTest::addColumn<QJsonObject>("root");
    QTest::newRow("empty") << QJsonObject();
    QTest::newRow("no sites") << parse(R"({"profile": {"a": "b", "n": null, "y": 1980}, "startPage": "x"})");
    QTest::newRow("empty sites") << parse(R"({"sites": {}, "z": []})");
    QTest::newRow("sites not an object")
        << parse(R"({"sites": "none", "actions": {"氏名": ["familyName"]}})");
    QTest::newRow("sites alone") << parse(R"({"sites": {"https://a.jp/": {"email": "mail"}}})");
    QTest::newRow("odd pages") << parse(R"({"aaa": 1, "sites": {"": {}, "a\"b": [1, {"c": {}}],
        "line\nbreak": {"\u0001": "\\", "x": null}, "n": -0, "s": "t", "😀": {"k": [[], {}]}}, "zzz": {}})");
    QTest::newRow("page address like a member start")
        << QJsonObject{{"sites", QJsonObject{{"\n        \"", QJsonObject{{"\n        \"", "v"}}},
                                             {"b", QJsonObject{{"c", "d"}}}}}};
}

void TestDocumentWriter::singleDocuments()
{
    QFETCH(QJsonObject, root);
    DocumentWriter writer;
    QCOMPARE(writer.write(root), libraryText(root));
    // The second time the kept page texts are used.
    QCOMPARE(writer.write(root), libraryText(root));
}

void TestDocumentWriter::editsBetweenSaves()
{
    QJsonObject root = parse(R"({"profile": {}, "sites": {
        "https://a.jp/": {"email": "mail"}, "https://b.jp/": {"name": "familyName"}, "https://c.jp/": {}}})");
    DocumentWriter writer;
    const std::vector<std::pair<const char *, std::function<void()>>> edits{
        {"choice on a page",
         [&] {
             setPage(root, "https://b.jp/", QJsonObject{{"name", "lastName"}});
         }},
        {"new page first",
         [&] {
             setPage(root, "https://0.jp/", QJsonObject{{"q", "mail"}});
         }},
        {"new page last",
         [&] {
             setPage(root, "https://z.jp/", QJsonObject{{"q", "mail"}});
         }},
        {"page removed",
         [&] {
             QJsonObject sites = root.value("sites").toObject();
             sites.remove("https://a.jp/");
             root.insert("sites", sites);
         }},
        {"page no longer an object", [&] { setPage(root, "https://c.jp/", "text"); }},
        {"page an object again",
         [&] {
             setPage(root, "https://c.jp/", QJsonObject{{"a", "b"}});
         }},
        {"sites replaced", [&] { root.insert("sites", 5); }},
        {"sites back, same addresses, other rules",
         [&] { root.insert("sites", parse(R"({"s": {"https://b.jp/": {"name": "mail"}}})").value("s")); }},
        {"profile changed",
         [&] {
             root.insert("profile", QJsonObject{{"mail", "a@b.jp"}});
         }},
        {"all pages removed", [&] { root.insert("sites", QJsonObject()); }},
        {"pages again",
         [&] {
             setPage(root, "https://b.jp/", QJsonObject{{"name", "familyName"}});
         }},
    };
    QCOMPARE(writer.write(root), libraryText(root));
    for (const auto &[what, edit] : edits) {
        edit();
        QVERIFY2(writer.write(root) == libraryText(root), what);
    }
}

void TestDocumentWriter::randomEditSequences()
{
    for (quint32 seed = 1; seed <= 40; ++seed) {
        QRandomGenerator random(seed);
        QJsonObject root{{"profile", QJsonObject{{"familyName", "山田"}}}};
        DocumentWriter writer;
        for (int step = 0; step < 30; ++step) {
            const int pages = random.bounded(8);
            setPage(root, QStringLiteral("https://shop%1.jp/").arg(pages) + awkwardText(random),
                    randomRules(random));
            if (random.bounded(6) == 0) {
                QJsonObject sites = root.value("sites").toObject();
                if (!sites.isEmpty()) {
                    sites.remove(sites.keys().at(random.bounded(sites.size())));
                }
                root.insert("sites", sites);
            }
            const QByteArray written = writer.write(root);
            if (written != libraryText(root)) {
                QFAIL(qPrintable(QStringLiteral("seed %1, step %2:\n%3")
                                     .arg(seed)
                                     .arg(step)
                                     .arg(QString::fromUtf8(libraryText(root)))));
            }
        }
    }
}

QTEST_GUILESS_MAIN(TestDocumentWriter)
#include "TestDocumentWriter.moc"

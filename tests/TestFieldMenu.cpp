#include "fill/fieldmenu.h"
#include "store/profiledocument.h"
#include "testsupport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

using namespace FieldMenu;
using Values = QHash<QString, QVariant>;

static QStringList texts(const QVector<Entry> &entries)
{
    QStringList all;
    for (const Entry &entry : entries) {
        all.append(entry.text);
    }
    return all;
}

class TestFieldMenu : public QObject
{
    Q_OBJECT

private slots:
    void types_data();
    void types();
    void entriesInLabelOrder();
    void records();
    void englishForms_data();
    void englishForms();
    void secretValuesMasked_data();
    void secretValuesMasked();
    void englishFormsOfDerivedKeys_data();
    void englishFormsOfDerivedKeys();
    void joinedFromAnUnreadSecret();
};

void TestFieldMenu::types_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("accepted");

    for (const char *type : {"text", "search", "tel", "url", "email", "password", "number"}) {
        QTest::newRow(type) << type << true;
    }
    for (const char *type : {"TEXT", "Email", "", "hidden", "checkbox", "submit", " text"}) {
        QTest::newRow(qPrintable(QStringLiteral("refused '%1'").arg(type))) << type << false;
    }
}

void TestFieldMenu::types()
{
    QFETCH(QString, type);
    QFETCH(bool, accepted);
    QCOMPARE(acceptsType(type), accepted);
}

void TestFieldMenu::entriesInLabelOrder()
{
    const QVariantMap actions{{"住所", QVariantList{"city"}},
                              {"メール", QVariantList{"mail", "ignored"}},
                              {"ID", QVariantList{"userID"}},
                              {"年", QVariantList{"year"}},
                              {"%2 %1", QVariantList{"userID"}}};
    const Values values{{"city", "港区"}, {"mail", "a@b.jp"}, {"year", 1980.0}, {"userID", "u%1"}};
    QCOMPARE(texts(entries("x", actions, values, Japanese)),
             QStringList({"%2 %1: u%1", "ID: u%1", "メール: a@b.jp", "住所: 港区", "年: 1980", "消去",
                          "→半角", "→全角"}));
    QCOMPARE(texts(entries("x", {}, {}, Japanese)), QStringList({"消去", "→半角", "→全角"}));
}

void TestFieldMenu::records()
{
    Values values{{"mail", "a@b.jp"}};
    const QVector<Entry> menu = entries(
        "email", {{"メール", QVariantList{"mail"}}, {"電話", QVariantList{"telephone"}}}, values, Japanese);
    QCOMPARE(menu.size(), 5);
    QCOMPARE(menu[0].record, QVariantMap({{"element", "email"}, {"key", "mail"}, {"value", "a@b.jp"}}));
    // A key the profile lacks offers empty text and is not added to the profile.
    QCOMPARE(menu[1].text, QString("電話: "));
    QCOMPARE(menu[1].record, QVariantMap({{"element", "email"}, {"key", "telephone"}, {"value", ""}}));
    QVERIFY(!values.contains("telephone"));
    QCOMPARE(menu[2].record, QVariantMap({{"element", "email"}, {"key", "__DELETE_HERE__"}, {"value", ""}}));
    QCOMPARE(menu[3].record.value("key").toString(), QString("__ZEN_2_HAN__"));
    QCOMPARE(menu[4].record.value("key").toString(), QString("__HAN_2_ZEN__"));
}

void TestFieldMenu::englishForms_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("baseKey");
    QTest::addColumn<QString>("key");

    QTest::newRow("English with a Latin form") << int(English) << "familyName"
                                               << "familyNameE";
    QTest::newRow("English without one") << int(English) << "zipcode"
                                         << "zipcode";
    QTest::newRow("English, Latin form held empty") << int(English) << "city"
                                                    << "cityE";
    QTest::newRow("Japanese ignores the Latin form") << int(Japanese) << "familyName"
                                                     << "familyName";
}

void TestFieldMenu::englishForms()
{
    QFETCH(int, language);
    QFETCH(QString, baseKey);
    QFETCH(QString, key);

    const Values values{{"familyName", "山田"},
                        {"familyNameE", "Yamada"},
                        {"zipcode", "100-0001"},
                        {"city", "港区"},
                        {"cityE", QVariant()}};
    QCOMPARE(resolveKey(baseKey, values, language), key);
    const QVector<Entry> menu = entries("f", {{"label", QVariantList{baseKey}}}, values, language);
    QCOMPARE(menu[0].record.value("key").toString(), key);
    QCOMPARE(menu[0].record.value("value").toString(), values.value(key).toString());
}

void TestFieldMenu::secretValuesMasked_data()
{
    QTest::addColumn<QStringList>("secretKeys");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("masked");

    const QStringList none;
    const QStringList card{"password", "cardNumber"};
    QTest::newRow("password by default") << none << "password" << true;
    QTest::newRow("its Latin form") << none << "passwordE" << true;
    QTest::newRow("a value derived from it") << none << "password.digits" << true;
    QTest::newRow("other keys shown") << none << "mail" << false;
    QTest::newRow("a key named secret") << card << "cardNumber" << true;
    QTest::newRow("derived from a named key") << card << "cardNumber.part1" << true;
    QTest::newRow("a longer name is another key") << card << "cardNumberHolder" << false;
}

void TestFieldMenu::secretValuesMasked()
{
    QFETCH(QStringList, secretKeys);
    QFETCH(QString, key);
    QFETCH(bool, masked);

    QSet<QString> secret{"password", "empty"};
    for (const QString &name : secretKeys) {
        secret.insert(name);
    }
    const Values values{{key, "s3cret-Value"}, {"empty", ""}};
    const QVariantMap actions{{"a", QVariantList{key}}, {"b", QVariantList{"empty"}}};
    const QVector<Entry> menu = entries("f", actions, values, Japanese, secret);
    QCOMPARE(menu[0].text, masked ? QString("a: ••••••••") : QString("a: s3cret-Value"));
    // Choosing the entry still writes the value itself.
    QCOMPARE(menu[0].record.value("value").toString(), QString("s3cret-Value"));
    // An empty secret has nothing to hide.
    QCOMPARE(menu[1].text, QString("b: "));
}

void TestFieldMenu::englishFormsOfDerivedKeys_data()
{
    QTest::addColumn<QString>("baseKey");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("joined name has a Latin form") << "fullName"
                                                  << "fullNameE"
                                                  << "Hanako Yamada";
    QTest::newRow("suffix: no Latin form") << "zipcode.part1"
                                           << "zipcode.part1"
                                           << "100";
    QTest::newRow("reading: no Latin form") << "familyNameK.hiragana"
                                            << "familyNameK.hiragana"
                                            << "やまだ";
    QTest::newRow("stored Latin form of a suffixed key") << "telephone.part1"
                                                         << "telephone.part1E"
                                                         << "+81-3";
    QTest::newRow("derived Latin form empty") << "fullAddress"
                                              << "fullAddress"
                                              << "東京都";
}

// In English the menu asks the document, so derived keys find their Latin form as stored ones do;
// an appended "E" that makes no key leaves the Japanese value.
void TestFieldMenu::englishFormsOfDerivedKeys()
{
    QFETCH(QString, baseKey);
    QFETCH(QString, key);
    QFETCH(QString, value);

    const TestSupport::WorkDir dir;
    const QJsonObject profile{
        {"familyName", "山田"},        {"lastName", "花子"},          {"familyNameE", "Yamada"},
        {"lastNameE", "Hanako"},       {"familyNameK", "ヤマダ"},     {"zipcode", "100-0001"},
        {"telephone", "03-1234-5678"}, {"telephone.part1E", "+81-3"}, {"pref", "東京都"}};
    const QJsonObject actions{{"label", QJsonArray{baseKey}}};
    dir.write("profile.json",
              QJsonDocument(QJsonObject{{"profile", profile}, {"actions", actions}}).toJson());
    ProfileDocument document;
    QVERIFY(document.load());
    const QVector<Entry> menu = entries("f", document, English);
    QCOMPARE(menu[0].record.value("key").toString(), key);
    QCOMPARE(menu[0].record.value("value").toString(), value);
}

// A value joined from a secret still in the store is masked and carries no text, so that it is read
// whole when picked rather than written without that part.
void TestFieldMenu::joinedFromAnUnreadSecret()
{
    const TestSupport::WorkDir dir;
    dir.write("profile.json",
              QJsonDocument(QJsonObject{{"profile", QJsonObject{{"lastName", "花子"}}},
                                        {"secretKeys", QJsonArray{"familyName"}},
                                        {"inSecretStore", QJsonArray{"familyName"}},
                                        {"actions", QJsonObject{{"氏名", QJsonArray{"fullName"}},
                                                                {"名", QJsonArray{"lastName"}}}}})
                  .toJson());
    ProfileDocument document;
    QVERIFY(document.load());
    const QVector<Entry> menu = entries("f", document, Japanese);
    QCOMPARE(menu[0].text, QString::fromUtf16(u"名: 花子"));
    QCOMPARE(menu[1].text, QString::fromUtf16(u"氏名: ••••••••"));
    QCOMPARE(menu[1].record.value("value").toString(), QString());
}

QTEST_GUILESS_MAIN(TestFieldMenu)
#include "TestFieldMenu.moc"

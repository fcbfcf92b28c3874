#include "profile/profile.h"
#include "testsupport.h"
#include "text/postalcodes.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

Q_DECLARE_METATYPE(PostalCodes::Address)

namespace {
const QString excerpt = QStringLiteral(KAKIKOMI_TEST_DATA "/postal/SKK-JISYO.zipcode");

PostalCodes::Address address(const char *prefecture, const char *city, const char *town)
{
    return {QString::fromUtf8(prefecture), QString::fromUtf8(city), QString::fromUtf8(town)};
}
} // namespace

namespace QTest {
template <> char *toString(const PostalCodes::Address &address)
{
    return qstrdup(QStringList{address.prefecture, address.city, address.town}.join('|').toUtf8());
}
} // namespace QTest

class TestPostalCodes : public QObject
{
    Q_OBJECT

private slots:
    void lookup_data();
    void lookup();
    void absentFile();
    void dialogFill_data();
    void dialogFill();
};

// Each row against the excerpt in tests/data and, where skkdic-extra is installed, against the
// whole file, whose codes the excerpt's lines are.
void TestPostalCodes::lookup_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QVector<PostalCodes::Address>>("addresses");

    using List = QVector<PostalCodes::Address>;
    const struct
    {
        const char *name;
        const char *code;
        List addresses;
        bool excerptOnly;
    } rows[] = {
        {"designated-city ward", "530-0001", {address("大阪府", "大阪市北区", "梅田")}, false},
        {"whole ward", "5300000", {address("大阪府", "大阪市北区", "")}, false},
        {"郡 town", "0610201", {address("北海道", "石狩郡当別町", "青山")}, false},
        // Names holding the kanji a municipality ends in: 町田市, 郡山市, 四日市市.
        {"町 in the city's name", "１９４－００１３", {address("東京都", "町田市", "原町田")}, false},
        {"郡 in the city's name", "9630201", {address("福島県", "郡山市", "大槻町")}, false},
        {"市 in the city's name", "5100001", {address("三重県", "四日市市", "八田")}, false},
        {"code spanning two municipalities",
         "4300854",
         {address("静岡県", "浜松市中区", "瓜内町"), address("静岡県", "浜松市南区", "瓜内町")},
         true},
        {"municipalities of one code",
         "0350000",
         {address("青森県", "むつ市", ""), address("青森県", "下北郡東通村", "")},
         false},
        {"two towns",
         "0028089",
         {address("北海道", "石狩郡当別町", "ビトエ"), address("北海道", "石狩郡当別町", "ビトエ中島")},
         false},
        {"garbled town", "4506205", {address("愛知県", "名古屋市中村区", "")}, false},
        {"unknown", "5300009", {}, false},
        {"too long", "53000011", {}, false},
        {"not digits", "53O-0001", {}, false},
    };
    const QString installed = PostalCodes::debianPath();
    for (const auto &row : rows) {
        QTest::addRow("excerpt: %s", row.name) << excerpt << QString::fromUtf8(row.code) << row.addresses;
        // Japan Post renumbers and merges now and then: rows that depend on one year's data stay
        // with the excerpt.
        if (QFileInfo::exists(installed) && !row.excerptOnly) {
            QTest::addRow("installed: %s", row.name)
                << installed << QString::fromUtf8(row.code) << row.addresses;
        }
    }
}

void TestPostalCodes::lookup()
{
    QFETCH(QString, file);
    QFETCH(QString, code);
    QFETCH(QVector<PostalCodes::Address>, addresses);
    PostalCodes codes;
    QVERIFY(codes.load(file));
    QCOMPARE(codes.lookup(code), addresses);
}

// Without skkdic-extra the feature is off: nothing loads and every lookup finds nothing.
void TestPostalCodes::absentFile()
{
    PostalCodes codes;
    QVERIFY(codes.load(excerpt));
    QVERIFY(!codes.load(QStringLiteral(KAKIKOMI_TEST_DATA "/postal/absent")));
    QVERIFY(codes.isEmpty());
    QVERIFY(codes.lookup(QStringLiteral("5300001")).isEmpty());
}

using Values = QHash<QString, QVariant>;

void TestPostalCodes::dialogFill_data()
{
    QTest::addColumn<QString>("dictionary");
    QTest::addColumn<Values>("entered");
    QTest::addColumn<QString>("code");
    // The prefecture, the municipality and the town after the code, then after 住所を反映 when it shows.
    QTest::addColumn<QStringList>("filled");
    QTest::addColumn<QStringList>("applied");
    QTest::addColumn<QString>("note");

    const QStringList umeda{"大阪府", "大阪市北区", "梅田"};
    QTest::newRow("empty address") << excerpt << Values{} << "5300001" << umeda << QStringList() << "";
    QTest::newRow("entered differs") << excerpt
                                     << Values{{"pref", "大阪府"}, {"prefE", "Osaka"}, {"city", "堺市"}}
                                     << "5300001" << QStringList{"大阪府", "堺市", "梅田"} << umeda << "";
    QTest::newRow("another prefecture entered")
        << excerpt
        << Values{{"pref", "東京都"}, {"prefE", "Tokyo"}, {"city", "千代田区"}, {"address1", "丸の内"}}
        << "5300001" << QStringList{"東京都", "千代田区", "丸の内"} << umeda << "";
    QTest::newRow("same address entered")
        << excerpt << Values{{"pref", "大阪府"}, {"city", "大阪市北区"}, {"address1", "梅田"}} << "5300001"
        << umeda << QStringList() << "";
    QTest::newRow("code spanning two municipalities")
        << excerpt << Values{} << "4300854" << QStringList{"静岡県", "", ""} << QStringList()
        << "複数の市区町村の番号です";
    QTest::newRow("unknown code") << excerpt << Values{} << "5300009" << QStringList{"", "", ""}
                                  << QStringList() << "郵便番号が見つかりません";
    // As a new user has it: the dialog reads the installed file itself.
    QTest::newRow("installed file") << QString() << Values{} << "5300001" << umeda << QStringList() << "";
    QTest::newRow("absent file") << QStringLiteral("absent") << Values{} << "5300001"
                                 << QStringList{"", "", ""} << QStringList() << "";
}

// As a user enters the code: typed into the box and finished with Return.
void TestPostalCodes::dialogFill()
{
    QFETCH(QString, dictionary);
    QFETCH(Values, entered);
    QFETCH(QString, code);
    QFETCH(QStringList, filled);
    QFETCH(QStringList, applied);
    QFETCH(QString, note);

    TestSupport::WorkDir dir;
    dir.write("jp-prefectures.txt",
              "01\t北海道\tHokkaido\n13\t東京都\tTokyo\n22\t静岡県\tShizuoka\n27\t大阪府\tOsaka\n");
    Profile dialog;
    PostalCodes codes;
    if (dictionary.isEmpty()) {
        if (!QFileInfo::exists(PostalCodes::debianPath())) {
            QSKIP("skkdic-extra is not installed");
        }
    } else {
        QCOMPARE(codes.load(dictionary == excerpt ? excerpt : dir.filePath(dictionary)),
                 dictionary == excerpt);
        dialog.setPostalCodes(&codes);
    }
    Values values = entered;
    dialog.setProfileValues(&values);
    auto *zipcode = dialog.findChild<QLineEdit *>("zipcode");
    auto *apply = dialog.findChild<QPushButton *>("applyPostalAddress");
    auto *shownNote = dialog.findChild<QLabel *>("postalNote");
    zipcode->clear();
    TestSupport::type(zipcode, code);
    QTest::keyClick(zipcode, Qt::Key_Return);

    const auto address = [&dialog] {
        const Values *result = dialog.resultValues();
        return QStringList{result->value("pref").toString(), result->value("city").toString(),
                           result->value("address1").toString()};
    };
    QCOMPARE(address(), filled);
    // What is stored is what the editors show.
    QCOMPARE(dialog.findChild<QLineEdit *>("city")->text(), filled[1]);
    QCOMPARE(dialog.findChild<QLineEdit *>("address1")->text(), filled[2]);
    if (!filled[0].isEmpty()) {
        QCOMPARE(dialog.findChild<QComboBox *>("pref")->currentText(), filled[0]);
    }
    QCOMPARE(shownNote->isVisibleTo(&dialog) ? shownNote->text() : QString(), note);
    QCOMPARE(apply->isVisibleTo(&dialog), !applied.isEmpty());
    if (!applied.isEmpty()) {
        QTest::mouseClick(apply, Qt::LeftButton);
        QCOMPARE(address(), applied);
        QCOMPARE(dialog.resultValues()->value("prefE").toString(), QStringLiteral("Osaka"));
        QVERIFY(!apply->isVisibleTo(&dialog));
    }
}

QTEST_MAIN(TestPostalCodes)
#include "TestPostalCodes.moc"

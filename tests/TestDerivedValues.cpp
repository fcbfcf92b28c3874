#include "store/derivedvalues.h"

#include <QTest>

using Values = QHash<QString, QVariant>;

Q_DECLARE_METATYPE(Values)

namespace {

QString u16(const char16_t *text)
{
    return QString::fromUtf16(text);
}

// The demo profile's values, numbers as JSON gives them.
Values profile()
{
    return {
        {"familyName", u16(u"山田")},
        {"lastName", u16(u"花子")},
        {"familyNameK", u16(u"ヤマダ")},
        {"lastNameK", u16(u"ハナコ")},
        {"familyNameE", "Yamada"},
        {"lastNameE", "Hanako"},
        {"zipcode", "100-0001"},
        {"pref", u16(u"東京都")},
        {"city", u16(u"千代田区")},
        {"address1", u16(u"千代田")},
        {"address2", u16(u"一丁目")},
        {"street", "1-1"},
        {"building", u16(u"サンプルハイツ101")},
        {"telephone", "03-1234-5678"},
        {"year", 1985.0},
        {"month", 4.0},
        {"day", 12.0},
    };
}

Values with(Values values, const Values &changes)
{
    for (auto it = changes.constBegin(); it != changes.constEnd(); ++it) {
        if (it.value().isValid()) {
            values.insert(it.key(), it.value());
        } else {
            values.remove(it.key());
        }
    }
    return values;
}

Values birth(const QVariant &year, const QVariant &month, const QVariant &day)
{
    return with(profile(), {{"year", year}, {"month", month}, {"day", day}});
}

} // namespace

class TestDerivedValues : public QObject
{
    Q_OBJECT

private slots:
    void derived_data();
    void derived();
    void unknownKeys_data();
    void unknownKeys();
    void longChainsOfSuffixes();
};

void TestDerivedValues::derived_data()
{
    QTest::addColumn<Values>("values");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    const Values demo = profile();
    QTest::newRow("stored key") << demo << "familyName" << u16(u"山田");
    QTest::newRow("stored number") << demo << "year"
                                   << "1985";
    QTest::newRow("hiragana reading") << demo << "familyNameK.hiragana" << u16(u"やまだ");
    QTest::newRow("half-width reading") << demo << "familyNameK.halfwidthKana" << u16(u"ﾔﾏﾀﾞ");
    QTest::newRow("half-width from hiragana")
        << with(demo, {{"familyNameK", u16(u"やまだ")}}) << "familyNameK.halfwidthKana" << u16(u"ﾔﾏﾀﾞ");
    QTest::newRow("katakana from half width")
        << with(demo, {{"familyNameK", u16(u"ﾔﾏﾀﾞ")}}) << "familyNameK.katakana" << u16(u"ヤマダ");
    QTest::newRow("postal code parts") << demo << "zipcode.part2"
                                       << "0001";
    QTest::newRow("postal code digits") << demo << "zipcode.digits"
                                        << "1000001";
    QTest::newRow("postal code of seven digits")
        << with(demo, {{"zipcode", u16(u"１０００００１")}}) << "zipcode.part1" << u16(u"１００");
    QTest::newRow("phone parts") << demo << "telephone.part3"
                                 << "5678";
    QTest::newRow("phone without separators is one part")
        << with(demo, {{"telephone", "0312345678"}}) << "telephone.part1"
        << "0312345678";
    QTest::newRow("no such part") << with(demo, {{"telephone", "0312345678"}}) << "telephone.part2"
                                  << QString();
    QTest::newRow("full name") << demo << "fullName" << u16(u"山田　花子");
    QTest::newRow("full name without given name")
        << with(demo, {{"lastName", {}}}) << "fullName" << u16(u"山田");
    QTest::newRow("full name reading") << demo << "fullNameK" << u16(u"ヤマダ　ハナコ");
    QTest::newRow("full name reading in hiragana") << demo << "fullNameK.hiragana" << u16(u"やまだ　はなこ");
    QTest::newRow("full name reading, half width") << demo << "fullNameK.halfwidthKana" << u16(u"ﾔﾏﾀﾞ ﾊﾅｺ");
    QTest::newRow("full name in Latin letters") << demo << "fullNameE"
                                                << "Hanako Yamada";
    QTest::newRow("full address") << demo << "fullAddress"
                                  << u16(u"東京都千代田区千代田一丁目1-1 サンプルハイツ101");
    QTest::newRow("full address without building")
        << with(demo, {{"building", ""}}) << "fullAddress" << u16(u"東京都千代田区千代田一丁目1-1");
    // The address as forms cut it.
    QTest::newRow("address to the lot number")
        << demo << "streetAddress" << u16(u"東京都千代田区千代田一丁目1-1");
    QTest::newRow("address from the city")
        << demo << "cityAddress" << u16(u"千代田区千代田一丁目1-1 サンプルハイツ101");
    QTest::newRow("city to lot number") << demo << "cityStreet" << u16(u"千代田区千代田一丁目1-1");
    QTest::newRow("city and town") << demo << "cityTown" << u16(u"千代田区千代田一丁目");
    QTest::newRow("town and lot number") << demo << "townStreet" << u16(u"千代田一丁目1-1");
    QTest::newRow("lot number and building") << demo << "streetBuilding" << u16(u"1-1 サンプルハイツ101");
    QTest::newRow("lot number without building")
        << with(demo, {{"building", ""}}) << "streetBuilding" << QStringLiteral("1-1");
    // The building's name and room apart; no half of a building whose end is unclear.
    QTest::newRow("building without its room") << demo << "buildingName" << u16(u"サンプルハイツ");
    QTest::newRow("room alone") << demo << "roomNumber" << QStringLiteral("101");
    QTest::newRow("room with its unit, after a space")
        << with(demo, {{"building", u16(u"サンプルハイツ　１０１号室")}}) << "roomNumber" << u16(u"１０１");
    QTest::newRow("building without a room")
        << with(demo, {{"building", u16(u"サンプル荘")}}) << "buildingName" << u16(u"サンプル荘");
    QTest::newRow("no room in a building without one")
        << with(demo, {{"building", u16(u"サンプル荘")}}) << "roomNumber" << QString();
    QTest::newRow("unclear end: no building name")
        << with(demo, {{"building", u16(u"サンプルハイツ2-101")}}) << "buildingName" << QString();
    QTest::newRow("unclear end: no room")
        << with(demo, {{"building", u16(u"101号室")}}) << "roomNumber" << QString();
    QTest::newRow("room in Latin letters")
        << with(demo, {{"buildingE", "Sample Heights 101"}}) << "roomNumberE" << QStringLiteral("101");
    QTest::newRow("town in Latin letters")
        << with(demo, {{"address1E", "Chiyoda"}, {"address2E", ""}}) << "townStreetE"
        << "1-1 Chiyoda";
    QTest::newRow("chome in Latin letters")
        << with(demo, {{"address1E", "Kita 1-jo Nishi"}, {"address2E", ""}, {"street", u16(u"2丁目3番4号")}})
        << "townStreetE"
        << "2-3-4 Kita 1-jo Nishi";
    QTest::newRow("no Latin line with kanji left in the lot number")
        << with(demo, {{"address1E", "Chiyoda"}, {"street", u16(u"字東1-1")}}) << "townStreetE" << QString();
    QTest::newRow("chome and lot number after a town box")
        << with(demo, {{"address2", ""}, {"street", u16(u"2丁目3-4")}}) << "address2Street"
        << u16(u"2丁目3-4");
    QTest::newRow("birth date in the era's years") << with(demo, {{"year", 1989}, {"month", 6}, {"day", 21}})
                                                   << "birthDateEra.fullWidth" << u16(u"平成元年６月２１日");
    QTest::newRow("full-width lot number") << demo << "townStreet.fullWidth" << u16(u"千代田一丁目１－１");
    QTest::newRow("capitals, family name first")
        << with(demo, {{"familyNameE", "Yamada"}, {"lastNameE", "Hanako"}})
        << "fullNameEFamilyFirst.upperCase"
        << "YAMADA HANAKO";
    QTest::newRow("name without spaces") << demo << "fullNameK.noSpaces" << u16(u"ヤマダハナコ");
    QTest::newRow("name with an ASCII space") << demo << "fullName.asciiSpaces" << u16(u"山田 花子");
    QTest::newRow("month of two digits") << demo << "month.twoDigits"
                                         << "04";
    QTest::newRow("birth date with slashes") << demo << "birthDateSlashed"
                                             << "1985/04/12";
    QTest::newRow("birth date day first") << demo << "birthDateDMY"
                                          << "12/04/1985";
    QTest::newRow("birth date") << demo << "birthDate"
                                << "1985-04-12";
    QTest::newRow("birth date from texts") << birth("1985", u16(u"４"), "05") << "birthDate"
                                           << "1985-04-05";
    QTest::newRow("birth date, day missing") << birth(1985, 4, {}) << "birthDate" << QString();
    QTest::newRow("birth date, no such day") << birth(1985, 2, 30) << "birthDate" << QString();
    QTest::newRow("birth date, not a number") << birth("19x5", 2, 3) << "birthDate" << QString();
    QTest::newRow("showa 64") << birth(1989, 1, 7) << "birthEra" << u16(u"昭和");
    QTest::newRow("showa 64, year") << birth(1989, 1, 7) << "birthEraYear"
                                    << "64";
    QTest::newRow("heisei first day") << birth(1989, 1, 8) << "birthEra" << u16(u"平成");
    QTest::newRow("heisei gannen") << birth(1989, 1, 8) << "birthEraYear"
                                   << "1";
    QTest::newRow("heisei last day") << birth(2019, 4, 30) << "birthEraYear"
                                     << "31";
    QTest::newRow("reiwa first day") << birth(2019, 5, 1) << "birthEra" << u16(u"令和");
    QTest::newRow("reiwa gannen") << birth(2019, 5, 1) << "birthEraYear"
                                  << "1";
    QTest::newRow("before meiji") << birth(1867, 12, 31) << "birthEra" << QString();
    QTest::newRow("era of a missing date") << birth({}, {}, {}) << "birthEraYear" << QString();
    QTest::newRow("era year digits") << birth(1985, 4, 12) << "birthEraYear.digits"
                                     << "60";
    QTest::newRow("missing source") << Values() << "building.katakana" << QString();
    QTest::newRow("joined from nothing") << Values() << "fullAddress" << QString();
    QTest::newRow("stored key wins") << with(demo, {{"fullName", "kept"}}) << "fullName"
                                     << "kept";
    QTest::newRow("stored dotted key wins") << with(demo, {{"zipcode.part1", "kept"}}) << "zipcode.part1"
                                            << "kept";
    QTest::newRow("stored key inside a chain wins")
        << with(demo, {{"fullNameK", u16(u"ヤマダハナコ")}}) << "fullNameK.hiragana" << u16(u"やまだはなこ");
    QTest::newRow("chain") << demo << "telephone.part2.digits.part1"
                           << "1234";
}

void TestDerivedValues::derived()
{
    QFETCH(Values, values);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const std::optional<QString> found = DerivedValues::find(values, key);
    QVERIFY(found);
    QCOMPARE(*found, expected);
    QCOMPARE(DerivedValues::text(values, key), expected);
}

void TestDerivedValues::unknownKeys_data()
{
    QTest::addColumn<QString>("key");

    QTest::newRow("missing plain key") << "nickname";
    QTest::newRow("unknown suffix") << "zipcode.part4";
    QTest::newRow("suffix case matters") << "zipcode.Digits";
    QTest::newRow("suffix alone") << ".digits";
    QTest::newRow("empty") << "";
    QTest::newRow("trailing dot") << "zipcode.";
}

void TestDerivedValues::unknownKeys()
{
    QFETCH(QString, key);
    QVERIFY(!DerivedValues::find(profile(), key));
    QCOMPARE(DerivedValues::text(profile(), key), QString());
    QVERIFY(!DerivedValues::isDerivedKey(key));
}

void TestDerivedValues::longChainsOfSuffixes()
{
    // Keys come from the profile file: a very long one must neither exhaust the stack nor take long.
    QString key = QStringLiteral("zipcode");
    for (int i = 0; i < 16; ++i) {
        key += i % 2 ? QStringLiteral(".digits") : QStringLiteral(".part1");
    }
    QCOMPARE(DerivedValues::text(profile(), key), QString("100"));
    for (int i = 0; i < 100000; ++i) {
        key += QStringLiteral(".digits");
    }
    QVERIFY(!DerivedValues::find(profile(), key));
}

QTEST_APPLESS_MAIN(TestDerivedValues)
#include "TestDerivedValues.moc"

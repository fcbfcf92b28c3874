#include "text/japaneseera.h"

#include <QTest>

class TestJapaneseEra : public QObject
{
    Q_OBJECT

private slots:
    void eraText_data();
    void eraText();
};

void TestJapaneseEra::eraText_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("text");

    QTest::newRow("invalid") << QDate() << QString();
    QTest::newRow("before meiji") << QDate(1867, 12, 31) << QString();
    QTest::newRow("meiji first") << QDate(1868, 1, 1) << QStringLiteral("明治元年");
    QTest::newRow("meiji last") << QDate(1912, 7, 29) << QStringLiteral("明治45年");
    QTest::newRow("taisho first") << QDate(1912, 7, 30) << QStringLiteral("大正元年");
    QTest::newRow("taisho last") << QDate(1926, 12, 24) << QStringLiteral("大正15年");
    QTest::newRow("showa first") << QDate(1926, 12, 25) << QStringLiteral("昭和元年");
    QTest::newRow("showa 60") << QDate(1985, 4, 1) << QStringLiteral("昭和60年");
    QTest::newRow("showa last") << QDate(1989, 1, 7) << QStringLiteral("昭和64年");
    QTest::newRow("heisei first") << QDate(1989, 1, 8) << QStringLiteral("平成元年");
    QTest::newRow("heisei 2") << QDate(1990, 1, 1) << QStringLiteral("平成2年");
    QTest::newRow("heisei last") << QDate(2019, 4, 30) << QStringLiteral("平成31年");
    QTest::newRow("reiwa first") << QDate(2019, 5, 1) << QStringLiteral("令和元年");
    QTest::newRow("reiwa 8") << QDate(2026, 12, 7) << QStringLiteral("令和8年");
}

void TestJapaneseEra::eraText()
{
    QFETCH(QDate, date);
    QFETCH(QString, text);
    QCOMPARE(JapaneseEra::text(JapaneseEra::of(date)), text);
}

QTEST_APPLESS_MAIN(TestJapaneseEra)
#include "TestJapaneseEra.moc"

#include "testsupport.h"
#include "text/prefecturelist.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

class TestPrefectureList : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void bundledList();
    void lookup();
};

void TestPrefectureList::parse_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("names");
    QTest::addColumn<QStringList>("latinNames");

    const QStringList none;
    QTest::newRow("LF, three fields, file order")
        << QByteArray("13\t東京都\tTokyo\n01\t北海道\tHokkaido\n") << QStringList{"東京都", "北海道"}
        << QStringList{"Tokyo", "Hokkaido"};
    QTest::newRow("CRLF") << QByteArray("13\t東京都\tTokyo\r\n27\t大阪府\tOsaka\r\n")
                          << QStringList{"東京都", "大阪府"} << QStringList{"Tokyo", "Osaka"};
    QTest::newRow("last line without terminator")
        << QByteArray("13\t東京都\tTokyo") << QStringList{"東京都"} << QStringList{"Tokyo"};
    QTest::newRow("four fields") << QByteArray("13\t東京都\tTokyo\tTōkyō\r\n") << QStringList{"東京都"}
                                 << QStringList{"Tokyo"};
    QTest::newRow("two fields skipped")
        << QByteArray("01\t北海道\n13\t東京都\tTokyo\n") << QStringList{"東京都"} << QStringList{"Tokyo"};
    QTest::newRow("blank lines and headings skipped") << QByteArray("\n都道府県\r\n\r\n\n") << none << none;
    QTest::newRow("empty fields count")
        << QByteArray("\t\t\n\t\tTokyo\n") << QStringList{"", ""} << QStringList{"", "Tokyo"};
    QTest::newRow("fields not trimmed")
        << QByteArray("13\t 東京都 \t Tokyo \n") << QStringList{" 東京都 "} << QStringList{" Tokyo "};
    QTest::newRow("CR inside a line kept")
        << QByteArray("13\t東京都\tTo\rkyo\n") << QStringList{"東京都"} << QStringList{"To\rkyo"};
    QTest::newRow("NUL ends the last field") << QByteArrayLiteral("13\t東京都\tTo\0kyo\n27\t大阪府\tOsaka\n")
                                             << QStringList{"東京都", "大阪府"} << QStringList{"To", "Osaka"};
    QTest::newRow("stray carriage returns end no name")
        << QByteArrayLiteral("13\t東京都\tTokyo\r\r\n27\t大阪府\tOsaka\r\0x\n01\t北海道\tHokkaido\r")
        << QStringList{"東京都", "大阪府", "北海道"} << QStringList{"Tokyo", "Osaka", "Hokkaido"};
    QTest::newRow("NUL before the third field") << QByteArrayLiteral("13\t東京\0都\tTokyo\n") << none << none;
    QTest::newRow("invalid UTF-8") << QByteArray("13\t\xff\tTokyo\n")
                                   << QStringList{QString(QChar::ReplacementCharacter)}
                                   << QStringList{"Tokyo"};
    QTest::newRow("empty") << QByteArray() << none << none;
}

void TestPrefectureList::parse()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, names);
    QFETCH(QStringList, latinNames);

    QBuffer buffer(&bytes);
    QVERIFY(buffer.open(QIODevice::ReadOnly));
    QStringList parsedNames;
    QStringList parsedLatinNames;
    const QVector<Prefecture> prefectures = PrefectureList::parse(buffer);
    for (const Prefecture &prefecture : prefectures) {
        parsedNames.append(prefecture.name);
        parsedLatinNames.append(prefecture.latinName);
    }
    QCOMPARE(parsedNames, names);
    QCOMPARE(parsedLatinNames, latinNames);
}

// The list shipped with the demo: every prefecture once, no terminator or TAB in any name.
void TestPrefectureList::bundledList()
{
    QFile file(QFINDTESTDATA("../demo/jp-prefectures.txt"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.errorString()));
    const QVector<Prefecture> prefectures = PrefectureList::parse(file);
    QCOMPARE(prefectures.size(), 47);
    QCOMPARE(prefectures.first().name, QStringLiteral("北海道"));
    QCOMPARE(prefectures.last().latinName, QStringLiteral("Okinawa"));
    for (const Prefecture &prefecture : prefectures) {
        QVERIFY(!prefecture.latinName.isEmpty());
        QVERIFY(!prefecture.latinName.contains(QRegularExpression("[\t\r\n]")));
    }
}

// The build puts a copy of the demo's list where an installation keeps it, beside the programs'
// folder; the current directory's list always wins over it.
void TestPrefectureList::lookup()
{
    TestSupport::WorkDir dir;
    TestSupport::MessageLog log;
    const QString shipped = PrefectureList::filePath();
    QCOMPARE(QFileInfo(shipped).canonicalFilePath(),
             QFileInfo(QCoreApplication::applicationDirPath() + "/../share/kakikomi/jp-prefectures.txt")
                 .canonicalFilePath());
    QCOMPARE(log.lines(),
             QStringList{"loadPrefectures: none in the current directory, reading \"" + shipped + "\""});
    QFile file(shipped);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(PrefectureList::parse(file).size(), 47);

    log.clear();
    dir.write("jp-prefectures.txt", "13\t東京都\tTokyo\n");
    QCOMPARE(QFileInfo(PrefectureList::filePath()), QFileInfo(dir.filePath("jp-prefectures.txt")));
    QVERIFY(log.lines().isEmpty());
}

QTEST_GUILESS_MAIN(TestPrefectureList)
#include "TestPrefectureList.moc"

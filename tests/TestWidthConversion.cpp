#include "text/widthconversion.h"

#include <QTest>

using namespace WidthConversion;

class TestWidthConversion : public QObject
{
    Q_OBJECT

private slots:
    void toFull_data();
    void toFull();
    void toHalf_data();
    void toHalf();
    void wholeRanges();
};

void TestWidthConversion::toFull_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("letters, space stays") << "abc 123" << QString::fromUtf16(u"ａｂｃ １２３");
    QTest::newRow("apostrophe and backslash") << "O'B\\" << QString::fromUtf16(u"Ｏ＇Ｂ＼");
    QTest::newRow("range ends") << "!~" << QString::fromUtf16(u"！～");
    QTest::newRow("hyphen is not the sound mark") << "-" << QString::fromUtf16(u"－");
    QTest::newRow("kana, kanji and full width stay")
        << QString::fromUtf16(u"ヤマダ山田Ａ") << QString::fromUtf16(u"ヤマダ山田Ａ");
    QTest::newRow("controls and DEL stay") << QString("\t\n\x7f") << QString("\t\n\x7f");
    QTest::newRow("empty") << ""
                           << "";
}

void TestWidthConversion::toFull()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(toFullWidth(text), expected);
}

void TestWidthConversion::toHalf_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("ideographic space stays, sound mark to hyphen")
        << QString::fromUtf16(u"ＡＢＣ\u3000１ー２") << QString::fromUtf16(u"ABC\u30001-2");
    QTest::newRow("apostrophe and backslash") << QString::fromUtf16(u"＇＼") << "'\\";
    QTest::newRow("half-width katakana and brackets stay")
        << QString::fromUtf16(u"ｱｲｳ｡\uFF5F\uFF60") << QString::fromUtf16(u"ｱｲｳ｡\uFF5F\uFF60");
    QTest::newRow("surrogate pair untouched") << QString::fromUtf16(u"😀Ａ") << QString::fromUtf16(u"😀A");
}

void TestWidthConversion::toHalf()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(toHalfWidth(text), expected);
}

void TestWidthConversion::wholeRanges()
{
    // Every printable ASCII character goes up and comes back; nothing else moves, lengths never change.
    for (char16_t u = 0; u < 0xFFFF; ++u) {
        const QString c(QChar{u});
        const QString full = toFullWidth(c);
        const QString half = toHalfWidth(c);
        QCOMPARE(full.size(), 1);
        QCOMPARE(half.size(), 1);
        if (u >= 0x21 && u <= 0x7E) {
            QCOMPARE(full.at(0).unicode(), char16_t(u + 0xFEE0));
            QCOMPARE(toHalfWidth(full), c);
        } else {
            QCOMPARE(full, c);
        }
        if (!(u >= 0xFF01 && u <= 0xFF5E) && u != 0x30FC) {
            QCOMPARE(half, c);
        }
    }
}

QTEST_GUILESS_MAIN(TestWidthConversion)
#include "TestWidthConversion.moc"

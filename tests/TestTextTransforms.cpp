#include "text/texttransforms.h"

#include <QTest>

using namespace TextTransforms;

namespace {

QString u16(const char16_t *text)
{
    return QString::fromUtf16(text);
}

} // namespace

class TestTextTransforms : public QObject
{
    Q_OBJECT

private slots:
    void kana_data();
    void kana();
    void halfWidth_data();
    void halfWidth();
    void fullWidth_data();
    void fullWidth();
    void wholeKatakanaBlockComesBack();
    void digits_data();
    void digits();
    void split_data();
    void split();
};

void TestTextTransforms::kana_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("hiragana");
    QTest::addColumn<QString>("katakana");

    QTest::newRow("empty") << QString() << QString() << QString();
    QTest::newRow("name") << u16(u"やまだ　はなこ") << u16(u"やまだ　はなこ") << u16(u"ヤマダ　ハナコ");
    QTest::newRow("range ends") << u16(u"ぁゖ") << u16(u"ぁゖ") << u16(u"ァヶ");
    QTest::newRow("voiced and small") << u16(u"ガッコウ") << u16(u"がっこう") << u16(u"ガッコウ");
    QTest::newRow("vu both ways") << u16(u"ゔヴ") << u16(u"ゔゔ") << u16(u"ヴヴ");
    QTest::newRow("iteration marks") << u16(u"ゝゞヽヾ") << u16(u"ゝゞゝゞ") << u16(u"ヽヾヽヾ");
    QTest::newRow("va vi ve vo have no hiragana") << u16(u"ヷヸヹヺ") << u16(u"ヷヸヹヺ") << u16(u"ヷヸヹヺ");
    QTest::newRow("marks and digraphs stay")
        << u16(u"ー・゠ゟヿㇰ") << u16(u"ー・゠ゟヿㇰ") << u16(u"ー・゠ゟヿㇰ");
    QTest::newRow("NFC first") << u16(u"か\u3099ハ\u309A") << u16(u"がぱ") << u16(u"ガパ");
    QTest::newRow("ke between kanji stays") << u16(u"霞ヶ関") << u16(u"霞ヶ関") << u16(u"霞ヶ関");
    QTest::newRow("ka between kanji stays") << u16(u"茅ヵ崎") << u16(u"茅ヵ崎") << u16(u"茅ヵ崎");
    QTest::newRow("ke as kana") << u16(u"ヶ関ヶ") << u16(u"ゖ関ゖ") << u16(u"ヶ関ヶ");
    QTest::newRow("ke between supplementary kanji") << u16(u"𠀋ヶ𠀋") << u16(u"𠀋ヶ𠀋") << u16(u"𠀋ヶ𠀋");
    QTest::newRow("half width made full") << u16(u"ﾔﾏﾀﾞ ﾊﾟﾝ") << u16(u"やまだ ぱん") << u16(u"ヤマダ パン");
    QTest::newRow("others stay") << u16(u"山田Ａa1😀") << u16(u"山田Ａa1😀") << u16(u"山田Ａa1😀");
}

void TestTextTransforms::kana()
{
    QFETCH(QString, text);
    QFETCH(QString, hiragana);
    QFETCH(QString, katakana);
    QCOMPARE(toHiragana(text), hiragana);
    QCOMPARE(toKatakana(text), katakana);
}

void TestTextTransforms::halfWidth_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("name with ideographic space") << u16(u"ヤマダ　ハナコ") << u16(u"ﾔﾏﾀﾞ ﾊﾅｺ");
    QTest::newRow("voiced split") << u16(u"ガパヴヷヺ") << u16(u"ｶﾞﾊﾟｳﾞﾜﾞｦﾞ");
    QTest::newRow("small kana and marks") << u16(u"ァッャョー") << u16(u"ｧｯｬｮｰ");
    QTest::newRow("punctuation") << u16(u"。「」、・") << u16(u"｡｢｣､･");
    QTest::newRow("sound marks") << u16(u"゛゜") << u16(u"ﾞﾟ");
    QTest::newRow("lone combining marks") << u16(u"a\u3099\u309A") << u16(u"aﾞﾟ");
    QTest::newRow("combining mark joined first") << u16(u"カ\u3099") << u16(u"ｶﾞ");
    QTest::newRow("no half-width form") << u16(u"ヮヵヶヰヱヸヹヽヾ") << u16(u"ヮヵヶヰヱヸヹヽヾ");
    QTest::newRow("hiragana, kanji, ASCII stay") << u16(u"やま山Ａa-") << u16(u"やま山Ａa-");
    QTest::newRow("half width stays") << u16(u"ｶﾞ") << u16(u"ｶﾞ");
}

void TestTextTransforms::halfWidth()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(toHalfWidthKana(text), expected);
}

void TestTextTransforms::fullWidth_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("voiced joined") << u16(u"ｶﾞｷﾞﾄﾞﾊﾞﾎﾟｳﾞﾜﾞｦﾞ") << u16(u"ガギドバポヴヷヺ");
    QTest::newRow("marks that cannot join stay marks") << u16(u"ﾞｱﾞﾅﾟｶﾟﾟ") << u16(u"゛ア゛ナ゜カ゜゜");
    QTest::newRow("whole table")
        << u16(u"｡｢｣､･ｦｧｨｩｪｫｬｭｮｯｰｱｲｳｴｵｶｷｸｹｺｻｼｽｾｿﾀﾁﾂﾃﾄﾅﾆﾇﾈﾉﾊﾋﾌﾍﾎﾏﾐﾑﾒﾓﾔﾕﾖﾗﾘﾙﾚﾛﾜﾝﾞﾟ")
        << u16(u"。「」、・ヲァィゥェォャュョッーアイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホ"
               u"マミムメモヤユヨラリルレロワン゛゜");
    QTest::newRow("not NFKC") << u16(u"～①㈱ ") << u16(u"～①㈱ ");
    QTest::newRow("kana at the end") << u16(u"ｶ") << u16(u"カ");
}

void TestTextTransforms::fullWidth()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(toFullWidthKana(text), expected);
}

void TestTextTransforms::wholeKatakanaBlockComesBack()
{
    // Every katakana, with or without a half-width form, survives the way there and back; those
    // with one are changed on the way.
    for (char16_t u = 0x30A0; u <= 0x30FF; ++u) {
        const QString kana(QChar{u});
        const QString half = toHalfWidthKana(kana);
        QCOMPARE(toFullWidthKana(half), kana);
        const bool keeps = QString::fromUtf16(u"゠ヮヵヶヰヱヸヹヽヾヿ").contains(kana);
        QCOMPARE(half == kana, keeps);
    }
}

void TestTextTransforms::digits_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("postal code") << "100-0001"
                                 << "1000001";
    QTest::newRow("full-width") << u16(u"〒１００－０００１") << "1000001";
    QTest::newRow("phone with every dash") << u16(u"03−1234‐5678 ext.９") << "03123456789";
    QTest::newRow("no digits") << u16(u"山田") << QString();
    QTest::newRow("other scripts' digits are not digits") << u16(u"٣१") << QString();
}

void TestTextTransforms::digits()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    QCOMPARE(digitsOnly(text), expected);
}

void TestTextTransforms::split_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty") << QString() << QStringList();
    QTest::newRow("postal code") << "100-0001" << QStringList{"100", "0001"};
    QTest::newRow("postal code, seven digits") << "1000001" << QStringList{"100", "0001"};
    QTest::newRow("postal code, full-width")
        << u16(u"１０００００１") << QStringList{u16(u"１００"), u16(u"０００１")};
    QTest::newRow("phone") << "03-1234-5678" << QStringList{"03", "1234", "5678"};
    QTest::newRow("phone without separators") << "0312345678" << QStringList{"0312345678"};
    QTest::newRow("six and eight digits") << "123456" << QStringList{"123456"};
    QTest::newRow("phone, full-width") << u16(u"０９０－１２３４－５６７８")
                                       << QStringList{u16(u"０９０"), u16(u"１２３４"), u16(u"５６７８")};
    QTest::newRow("every dash") << u16(u"1−2‐3‑4–5—6―7ｰ8ー9")
                                << QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9"};
    QTest::newRow("spaces, runs and ends")
        << u16(u" 山田　 花子- ") << QStringList{u16(u"山田"), u16(u"花子")};
    QTest::newRow("prolonged marks in names stay")
        << u16(u"ルーシー ｽﾐｰｽ") << QStringList{u16(u"ルーシー"), u16(u"ｽﾐｰｽ")};
    QTest::newRow("prolonged mark after digits only") << u16(u"3ー") << QStringList{u16(u"3ー")};
}

void TestTextTransforms::split()
{
    QFETCH(QString, text);
    QFETCH(QStringList, expected);
    QCOMPARE(parts(text), expected);
}

QTEST_APPLESS_MAIN(TestTextTransforms)
#include "TestTextTransforms.moc"

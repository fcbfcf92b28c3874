#include "page/pagescripts.h"

#include <QTest>
#include <QWebElement>
#include <QWebFrame>
#include <QWebPage>

using namespace PageScripts;

// Runs the assignment script on a page's text area (which, unlike a one-line input, keeps line
// breaks) and returns what it then holds.
static QString roundTrip(const QString &text, QString (*write)(const QString &) = assignValue)
{
    QWebPage page;
    page.mainFrame()->setHtml("<textarea id=f></textarea>");
    QWebElement field = page.mainFrame()->findFirstElement("#f");
    field.evaluateJavaScript(write(text));
    return field.evaluateJavaScript(readValue()).toString();
}

class TestPageScripts : public QObject
{
    Q_OBJECT

private slots:
    void textsArriveExactly_data();
    void textsArriveExactly();
    void escaping();
    void patterns();
};

void TestPageScripts::textsArriveExactly_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("plain") << "山田 花子";
    QTest::newRow("apostrophe") << "O'Brien";
    QTest::newRow("backslashes") << "C:\\new\\table\\";
    QTest::newRow("line breaks") << "a\nb\n";
    QTest::newRow("separators") << QString::fromUtf16(u"a\u2028b\u2029c");
    QTest::newRow("controls") << QString::fromUtf16(u"\u0000\u0001\u001f\u007f\u0085\u009f");
    QTest::newRow("closing tag") << "</script><script>alert(1)</script>";
    QTest::newRow("quote games") << "'); alert(1); ('\\";
    QTest::newRow("emoji") << QString::fromUtf16(u"😀👨‍👩‍👧");
    QTest::newRow("place markers") << "%1 %2 %L1";
    QTest::newRow("10 kB") << QString(10240, QChar(u'あ')) + "'\\";
}

void TestPageScripts::textsArriveExactly()
{
    QFETCH(QString, text);
    QCOMPARE(roundTrip(text), text);
    QCOMPARE(roundTrip(text, typeValue), text);
    QCOMPARE(roundTrip(text, setNativeValue), text);
}

void TestPageScripts::escaping()
{
    QCOMPARE(quoteForScript("a'b\\c"), QString("a\\'b\\\\c"));
    QCOMPARE(quoteForScript(QString::fromUtf16(u"\n\r\t\u2028")), QString("\\n\\r\\u0009\\u2028"));
    QCOMPARE(quoteForScript(QString::fromUtf16(u"あ\"")), QString::fromUtf16(u"あ\""));
}

void TestPageScripts::patterns()
{
    QCOMPARE(bridgeSetup(), QString("delegate.doSignal('test');\n"
                                    "function sendSignal(sender) {\n"
                                    "    delegate.doSignal(sender);\n"
                                    "}"));
    QCOMPARE(clickHandler("email"), QString("sendSignal('email');"));
    QCOMPARE(clickHandler("it's"), QString("sendSignal('it\\'s');"));
    QCOMPARE(readValue(), QString("this.value"));
    QCOMPARE(assignValue("x"), QString("this.value='x'"));
    QCOMPARE(insertAtSelection("x"), QString("this.setRangeText('x')"));
    QCOMPARE(clearValue(), QString("this.value=''"));
}

QTEST_MAIN(TestPageScripts)
#include "TestPageScripts.moc"

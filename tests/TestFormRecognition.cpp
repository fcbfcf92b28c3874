#include "fill/fieldmenu.h"
#include "fill/fieldrecognizer.h"
#include "fill/selectmatcher.h"
#include "testsupport.h"

#include <QDir>
#include <QTest>
#include <QUrl>
#include <QWebElement>
#include <QWebFrame>
#include <QWebView>

using namespace TestSupport;

namespace {

const QString formsDir = QStringLiteral(KAKIKOMI_FORMS_DIR);

// The values of the demo profile a select is matched against, by key.
QString profileValue(const QString &key)
{
    static const QHash<QString, QString> values{
        {"pref", "東京都"}, {"prefE", "Tokyo"},   {"year", "1985"},       {"month", "4"},
        {"day", "12"},      {"birthEra", "昭和"}, {"birthEraYear", "60"},
    };
    return values.value(key);
}

QString describe(const PageControl &f)
{
    return QStringLiteral("%1 name=%2 id=%3").arg(f.tag, f.name, f.id);
}

// The inputs and selects of the page, as the whole-form fill sees them, with the marks of each.
struct Marked
{
    QVector<PageControl> controls;
    QVector<QWebElement> elements;
};

Marked scanMarked(QWebView *view)
{
    Marked marked;
    for (const PageControl &control : scanControls(view)) {
        if (control.tag != QLatin1String("TEXTAREA")) {
            marked.controls.append(control);
        }
    }
    for (const QWebElement &element :
         view->page()->mainFrame()->findAllElements(QStringLiteral("input, select"))) {
        marked.elements.append(element);
    }
    return marked;
}

// Every control of the page against its data-expect-key (data-expect-key-en in English), and every
// select the recognizer fills against the option text in data-expect-option.
QStringList mismatches(const Marked &marked, int language)
{
    const QVector<PageControl> &controls = marked.controls;
    const QVector<FieldRecognizer::Decision> decisions = FieldRecognizer::recognize(controls, language);
    QStringList wrong;
    if (marked.elements.size() != controls.size()) {
        return {QStringLiteral("%1 controls scanned, %2 on the page")
                    .arg(controls.size())
                    .arg(marked.elements.size())};
    }
    for (int i = 0; i < controls.size(); ++i) {
        const QWebElement &element = marked.elements[i];
        if (!element.hasAttribute(QStringLiteral("data-expect-key"))) {
            wrong.append(describe(controls[i]) + QStringLiteral(": not marked"));
            continue;
        }
        QString expected = element.attribute(QStringLiteral("data-expect-key"));
        if (language == FieldMenu::English && element.hasAttribute(QStringLiteral("data-expect-key-en"))) {
            expected = element.attribute(QStringLiteral("data-expect-key-en"));
        }
        const FieldRecognizer::Decision &decision = decisions[i];
        if (decision.key != expected) {
            wrong.append(QStringLiteral("%1: got \"%2\" (%3), want \"%4\"")
                             .arg(describe(controls[i]), decision.key, decision.evidence, expected));
            continue;
        }
        // A select whose options the page adds later (data-options-later) has only its key to check here.
        if (decision.fills() && controls[i].tag == QLatin1String("SELECT")
            && !element.hasAttribute(QStringLiteral("data-options-later"))) {
            const QVector<SelectMatcher::Option> &options = controls[i].options;
            const int index = SelectMatcher::match(options, profileValue(decision.key),
                                                   SelectMatcher::kindForKey(decision.key));
            const QString chosen = index < 0 ? QStringLiteral("(none)") : options[index].text;
            if (chosen != element.attribute(QStringLiteral("data-expect-option"))) {
                wrong.append(QStringLiteral("%1: option \"%2\", want \"%3\"")
                                 .arg(describe(controls[i]), chosen,
                                      element.attribute(QStringLiteral("data-expect-option"))));
            }
        }
    }
    return wrong;
}

} // namespace

class TestFormRecognition : public QObject
{
    Q_OBJECT

private slots:
    void pages_data();
    void pages();
    void scannerReadsLabelsAndState();
};

void TestFormRecognition::pages_data()
{
    QTest::addColumn<QString>("file");
    const QStringList files = QDir(formsDir).entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name);
    QVERIFY(files.size() >= 8);
    for (const QString &file : files) {
        QTest::newRow(qPrintable(file)) << file;
    }
}

void TestFormRecognition::pages()
{
    QFETCH(QString, file);
    QWebView view;
    QVERIFY(loadUrl(&view, QUrl::fromLocalFile(QDir(formsDir).filePath(file)).toString()));
    const Marked controls = scanMarked(&view);
    QVERIFY(!controls.controls.isEmpty());

    QStringList wrong = mismatches(controls, FieldMenu::Japanese);
    if (!view.page()->mainFrame()->findFirstElement(QStringLiteral("[data-expect-key-en]")).isNull()) {
        for (const QString &line : mismatches(controls, FieldMenu::English)) {
            wrong.append(QStringLiteral("English: ") + line);
        }
    }
    // One line each: a failure message would cut the list short.
    for (const QString &line : qAsConst(wrong)) {
        qWarning().noquote() << line;
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(QStringLiteral("%1 controls not as marked").arg(wrong.size())));
}

void TestFormRecognition::scannerReadsLabelsAndState()
{
    QWebView view;
    QVERIFY(loadHtml(
        &view,
        QStringLiteral(
            "<form><table><tr><th>お名前<span>必須</span></th><td>姓 <input id=a maxlength=' 20 '> "
            "<label>名 <input id=b></label></td></tr>"
            "<tr><th>都道府県</th><td><select id=c><option value=''>選択</option><option>北海道</option>"
            "<option value='13' selected>東京都</option></select></td></tr></table>"
            "<dl><dt>郵便番号</dt><dd>〒<input id=d type=tel pattern='\\d{7}' placeholder='1000001' "
            "aria-label='zip' autocomplete='postal-code' inputmode=numeric readonly disabled></dd></dl>"
            "<label for=e>メール</label><div><input id=e value='x@example.jp'></div>"
            "<fieldset disabled><input id=f></fieldset></form>"
            "<script>document.getElementById('b').value = 'typed';</script>"),
        QStringLiteral("http://127.0.0.1:1/")));
    const QVector<PageControl> controls = scanControls(&view);
    QCOMPARE(controls.size(), 6);
    const PageControl &a = controls[0];
    QCOMPARE(a.tag, QStringLiteral("INPUT"));
    QCOMPARE(a.textBefore, QStringLiteral("姓"));
    QCOMPARE(a.rowLabel, QStringLiteral("お名前必須"));
    QCOMPARE(a.maxLength, 20);
    QCOMPARE(a.type, QString());
    const PageControl &b = controls[1];
    QCOMPARE(b.label, QStringLiteral("名"));
    QCOMPARE(b.value, QStringLiteral("typed"));
    QCOMPARE(b.rowLabel, QStringLiteral("お名前必須"));
    const PageControl &c = controls[2];
    QCOMPARE(c.tag, QStringLiteral("SELECT"));
    QCOMPARE(c.options.size(), 3);
    QCOMPARE(c.options[1].value, QStringLiteral("北海道"));
    QCOMPARE(c.options[2].value, QStringLiteral("13"));
    QCOMPARE(c.selectedIndex, 2);
    QCOMPARE(c.rowLabel, QStringLiteral("都道府県"));
    const PageControl &d = controls[3];
    QCOMPARE(d.textBefore, QStringLiteral("〒"));
    QCOMPARE(d.rowLabel, QStringLiteral("郵便番号"));
    QCOMPARE(d.pattern, QStringLiteral("\\d{7}"));
    QCOMPARE(d.placeholder, QStringLiteral("1000001"));
    QCOMPARE(d.ariaLabel, QStringLiteral("zip"));
    QCOMPARE(d.autocomplete, QStringLiteral("postal-code"));
    QCOMPARE(d.inputMode, QStringLiteral("numeric"));
    QCOMPARE(d.type, QStringLiteral("tel"));
    QVERIFY(d.readOnly && d.disabled);
    QCOMPARE(controls[4].label, QStringLiteral("メール"));
    QCOMPARE(controls[4].value, QStringLiteral("x@example.jp"));
    QVERIFY(!controls[4].disabled);
    QVERIFY(controls[5].disabled);
}

QTEST_MAIN(TestFormRecognition)
#include "TestFormRecognition.moc"

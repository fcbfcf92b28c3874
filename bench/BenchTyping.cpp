// Writing fields with the typing events against a plain assignment, on a generated form whose
// document listens for every one of those events, as framework pages do; and the text of derived
// keys, which a refill asks for once per rule.

#include "benchsupport.h"
#include "page/pagescripts.h"
#include "store/derivedvalues.h"

#include <QElapsedTimer>
#include <QJsonObject>
#include <QWebElement>
#include <QWebFrame>
#include <QWebView>

#include <vector>

namespace {

const QString listeners = QStringLiteral(
    "<script>var seen = 0; ['compositionend', 'focus', 'keydown', 'input', 'keyup', 'change', 'blur']"
    ".forEach(function (t) { document.addEventListener(t, function () { ++seen; }); });</script>");

// Median time per field of writing every field with the scripts made for it, run in turn.
double perField(QWebView &view, int fields, const std::function<QStringList(int)> &scripts)
{
    std::vector<QWebElement> elements;
    for (int i = 0; i < fields; ++i) {
        elements.push_back(view.page()->mainFrame()->findFirstElement(QStringLiteral("#f%1").arg(i)));
    }
    std::vector<qint64> times;
    for (int round = 0; round < 15; ++round) {
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < fields; ++i) {
            for (const QString &script : scripts(round * fields + i)) {
                elements[i].evaluateJavaScript(script);
            }
        }
        times.push_back(timer.nsecsElapsed());
    }
    return Bench::medianMs(times) / fields;
}

} // namespace

int main(int argc, char *argv[])
{
    const Bench::GuiProgram program(argc, argv);
    // Each field gets another value, as in a refill.
    QStringList values;
    const QJsonObject profile = Bench::fullProfile();
    for (auto it = profile.constBegin(); it != profile.constEnd(); ++it) {
        values.append(it.value().toVariant().toString());
    }
    const auto value = [&](int i) { return values[i % values.size()] + QString::number(i); };

    for (const int fields : {10, 100, 1000}) {
        QWebView view;
        const QString html = listeners + Bench::generatedForm(fields * 10 + 5);
        Bench::loadAndWait(&view, [&]() { view.setHtml(html, QUrl(Bench::generatedFormAddress())); });
        const double plain =
            perField(view, fields, [&](int i) { return QStringList{PageScripts::assignValue(value(i))}; });
        const double one =
            perField(view, fields, [&](int i) { return QStringList{PageScripts::typeValue(value(i))}; });
        const double three = perField(view, fields, [&](int i) {
            return QStringList{PageScripts::beforeTyping(), PageScripts::setNativeValue(value(i)),
                               PageScripts::afterTyping()};
        });
        if (view.page()->mainFrame()->evaluateJavaScript(QStringLiteral("seen")).toInt()
            < fields * 15 * 6 * 2) {
            qFatal("the page did not see the events");
        }
        const QString size = Bench::count(fields) + QStringLiteral(" fields");
        Bench::printRow({QStringLiteral("Write with typing events, one script"), size, Bench::ms(one),
                         Bench::ms(plain), Bench::percent(one / plain - 1), QStringLiteral("< 0.2 ms"),
                         one < 0.2});
        Bench::printRow({QStringLiteral("… before, native setter, after"), size, Bench::ms(three),
                         Bench::ms(plain), Bench::percent(three / plain - 1), QStringLiteral("< 0.2 ms"),
                         three < 0.2});
    }

    const QHash<QString, QVariant> table = profile.toVariantHash();
    const QStringList keys{QStringLiteral("familyName"), QStringLiteral("fullNameK.hiragana"),
                           QStringLiteral("zipcode.part2"), QStringLiteral("birthEraYear"),
                           QStringLiteral("fullAddress")};
    std::vector<qint64> times;
    const int lookups = 10000;
    for (int round = 0; round < 15; ++round) {
        QElapsedTimer timer;
        timer.start();
        int length = 0;
        for (int i = 0; i < lookups; ++i) {
            length += DerivedValues::text(table, keys[i % keys.size()]).size();
        }
        times.push_back(timer.nsecsElapsed());
        if (length == 0) {
            qFatal("no derived text");
        }
    }
    Bench::printRow({QStringLiteral("Text of a key, stored or derived"), QStringLiteral("5 keys"),
                     Bench::ms(Bench::medianMs(times) / lookups), QString(), QString(), QString()});
    return 0;
}

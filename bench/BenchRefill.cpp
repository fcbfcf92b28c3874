// Refilling a page from its recorded rules, as at its load: the page scanned and the rules applied
// on a page with as many inputs as rules, every input with a rule, every rule naming a profile value. Each
// field gets the typing events (focus, keydown, the native setter, input, keyup, change, blur) and the
// document listens for all of them, as framework pages do; the baseline is a plain assignment of the same
// values.

#include "app/mainwindow.h"
#include "benchsupport.h"
#include "fill/rulefiller.h"
#include "page/page.h"
#include "page/pagescripts.h"
#include "page/webkit/singlewebview.h"
#include "store/profiledocument.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QWebElement>
#include <QWebFrame>
#include <QWebSettings>

namespace {

const QString listeners = QStringLiteral(
    "<script>var seen = 0; ['focus', 'keydown', 'input', 'keyup', 'change', 'blur']"
    ".forEach(function (t) { document.addEventListener(t, function () { ++seen; }); });</script>");

void writeProfile(int rules)
{
    const QStringList keys = Bench::profileKeys();
    QJsonObject pageRules;
    for (int i = 0; i < rules; ++i) {
        pageRules.insert(QStringLiteral("f%1").arg(i), keys[i % keys.size()]);
    }
    Bench::writeProfile(QJsonObject{{"profile", Bench::fullProfile()},
                                    {"sites", QJsonObject{{Bench::generatedFormAddress(), pageRules}}}});
}

} // namespace

int main(int argc, char *argv[])
{
    const Bench::GuiProgram program(argc, argv);

    for (const int rules : {10, 100, 1000}) {
        writeProfile(rules);
        MainWindow window;
        window.show();
        const QString html = listeners + Bench::generatedForm(rules * 10 + 5);
        Bench::loadAndWait(qobject_cast<QWebView *>(window.view()), [&]() {
            qobject_cast<QWebView *>(window.view())->setHtml(html, QUrl(Bench::generatedFormAddress()));
        });
        const QVariantMap &pageRules = window.document().pageRules();
        if (pageRules.size() != rules) {
            qFatal("the page's rules were not found");
        }
        QWebFrame *frame = qobject_cast<QWebView *>(window.view())->page()->mainFrame();
        RuleFiller filler(window.page(), window.document());
        std::vector<qint64> times;
        for (int round = 0; round < 15; ++round) {
            // As after a load: the engine has dropped the scripts it compiled.
            QWebSettings::clearMemoryCaches();
            QElapsedTimer timer;
            timer.start();
            window.page().scan([&filler](const QVector<PageControl> &controls) {
                filler.apply(controls, RuleFiller::Controls::Any);
            });
            times.push_back(timer.nsecsElapsed());
        }
        // The load's own refill and the rounds above, six events per field each time.
        if (frame->evaluateJavaScript(QStringLiteral("seen")).toInt() != rules * 16 * 6) {
            qFatal("the page did not see the events");
        }
        std::vector<qint64> plainTimes;
        for (int round = 0; round < 15; ++round) {
            QWebSettings::clearMemoryCaches();
            QElapsedTimer timer;
            timer.start();
            for (auto it = pageRules.constBegin(); it != pageRules.constEnd(); ++it) {
                qobject_cast<QWebView *>(window.view())
                    ->page()
                    ->mainFrame()
                    ->findFirstElement("#" + it.key())
                    .evaluateJavaScript(
                        PageScripts::assignValue(window.document().value(it.value().toString())));
            }
            plainTimes.push_back(timer.nsecsElapsed());
        }
        const double perRule = Bench::medianMs(times) / rules;
        const double plainPerRule = Bench::medianMs(plainTimes) / rules;
        Bench::printRow({QStringLiteral("2 refill with typing events, per rule"),
                         Bench::count(rules) + QStringLiteral(" rules"), Bench::ms(perRule),
                         Bench::ms(plainPerRule), Bench::percent(perRule / plainPerRule - 1),
                         QStringLiteral("< 0.2 ms"), perRule < 0.2});
    }
    return 0;
}

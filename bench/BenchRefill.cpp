// Refilling a page from its recorded rules: the bridge applying them on a page with as many inputs
// as rules, every input with a rule, every rule naming a profile value.

#include "app/mainwindow.h"
#include "app/singlewebview.h"
#include "benchsupport.h"
#include "bridge/pagebridge.h"
#include "store/profiledocument.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QJsonObject>

namespace {

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
        const QString html = Bench::generatedForm(rules * 10 + 5);
        Bench::loadAndWait(window.webView(),
                           [&]() { window.webView()->setHtml(html, QUrl(Bench::generatedFormAddress())); });
        const QVariantMap &pageRules = window.document().pageRules();
        if (pageRules.size() != rules) {
            qFatal("the page's rules were not found");
        }
        std::vector<qint64> times;
        for (int round = 0; round < 15; ++round) {
            QElapsedTimer timer;
            timer.start();
            window.bridge().applyRules(pageRules);
            times.push_back(timer.nsecsElapsed());
        }
        const double perRule = Bench::medianMs(times) / rules;
        Bench::printRow({QStringLiteral("2 refill, per rule"), Bench::count(rules) + QStringLiteral(" rules"),
                         Bench::ms(perRule), QString(), QString(), QStringLiteral("< 0.2 ms"),
                         perRule < 0.2});
    }
    return 0;
}

// What instrumenting a page costs as it grows: the time from asking for a page to its load having
// been handled, with and without the browser's walk over the page, and with every input filled
// from recorded rules.

#include "app/mainwindow.h"
#include "mainwindowtestaccess.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTextStream>
#include <QWebView>

#include <algorithm>
#include <vector>

namespace {

const QUrl address(QStringLiteral("http://127.0.0.1:1/form"));

QString pageWithInputs(int inputs)
{
    QString html = QStringLiteral("<form>");
    for (int i = 0; i < inputs; ++i) {
        html += QStringLiteral("<div><label>項目%1</label><input type=text id=f%1></div>").arg(i);
    }
    return html + QStringLiteral("</form>");
}

double medianLoadMs(QWebView *view, const QString &html, int rounds)
{
    std::vector<qint64> times;
    for (int round = 0; round < rounds; ++round) {
        QEventLoop loop;
        bool finished = false;
        const auto connection = QObject::connect(view, &QWebView::loadFinished, [&]() {
            finished = true;
            loop.quit();
        });
        QElapsedTimer timer;
        timer.start();
        view->setHtml(html, address);
        if (!finished) {
            // The load may also finish within setHtml.
            loop.exec();
        }
        times.push_back(timer.nsecsElapsed());
        QObject::disconnect(connection);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2] / 1e6;
}

void writeRules(int inputs)
{
    QJsonObject rules;
    for (int i = 0; i < inputs; ++i) {
        rules.insert(QStringLiteral("f%1").arg(i), "familyName");
    }
    const QJsonObject document{{"profile", QJsonObject{{"familyName", "山田"}}},
                               {"sites", QJsonObject{{address.toString(), rules}}}};
    QFile file("profile.json");
    file.open(QIODevice::WriteOnly);
    file.write(QJsonDocument(document).toJson());
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    QTextStream out(stdout);
    out << "inputs  plain view ms  browser ms  browser, all filled ms\n";
    for (const int inputs : {10, 100, 1000, 5000}) {
        const QString html = pageWithInputs(inputs);
        const int rounds = inputs >= 5000 ? 3 : 9;
        QWebView plain;
        const double plainMs = medianLoadMs(&plain, html, rounds);

        QFile::remove("profile.json");
        MainWindow window;
        const double browserMs = medianLoadMs(MainWindowTestAccess(window).webView(), html, rounds);

        writeRules(inputs);
        MainWindow filling;
        const double filledMs = medianLoadMs(MainWindowTestAccess(filling).webView(), html, rounds);
        out << QString::asprintf("%6d %14.2f %11.2f %23.2f\n", inputs, plainMs, browserMs, filledMs);
        out.flush();
    }
    return 0;
}

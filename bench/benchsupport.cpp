#include "benchsupport.h"

#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QLocale>
#include <QTextStream>
#include <QWebView>

#include <algorithm>

namespace Bench {

GuiProgram::GuiProgram(int &argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext &, const QString &message) {
        // Only what stops a measurement matters here; the engine's and the window's chatter does not.
        if (type == QtCriticalMsg || type == QtFatalMsg) {
            QTextStream(stderr) << message << '\n';
        }
    });
    m_application = std::make_unique<QApplication>(argc, argv);
    QDir::setCurrent(m_directory.path());
    printHeader(argc, argv);
}

GuiProgram::~GuiProgram() = default;

void writeProfile(const QJsonObject &document)
{
    QFile file(QStringLiteral("profile.json"));
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(document).toJson()) < 0) {
        qFatal("cannot write profile.json");
    }
}

double medianMs(std::vector<qint64> nanoseconds)
{
    if (nanoseconds.empty()) {
        return 0;
    }
    std::sort(nanoseconds.begin(), nanoseconds.end());
    return nanoseconds[nanoseconds.size() / 2] / 1e6;
}

namespace {
const char *const rowFormat = "%-30s %-22s %12s %12s %9s %-14s %s\n";
}

void printHeader(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--no-header") == 0) {
            return;
        }
    }
    QTextStream out(stdout);
    out << QString::asprintf(rowFormat, "measurement", "size", "ours", "baseline", "ratio", "target", "met");
}

void printRow(const Row &row)
{
    QTextStream out(stdout);
    out << QString::asprintf(rowFormat, qPrintable(row.measurement), qPrintable(row.size),
                             qPrintable(row.ours), qPrintable(row.baseline),
                             qPrintable(row.ratio.isEmpty() ? QStringLiteral("-") : row.ratio),
                             qPrintable(row.target), row.met ? "yes" : "NO");
}

QString ms(double milliseconds)
{
    return QString::number(milliseconds, 'f', milliseconds < 10 ? 3 : 1) + QStringLiteral(" ms");
}

QString percent(double fraction)
{
    return QString::number(100 * fraction, 'f', 1) + QLatin1Char('%');
}

QString count(qint64 number)
{
    return QLocale(QLocale::English).toString(number);
}

QStringList profileKeys()
{
    return {QStringLiteral("familyName"), QStringLiteral("lastName"),    QStringLiteral("familyNameK"),
            QStringLiteral("lastNameK"),  QStringLiteral("familyNameE"), QStringLiteral("lastNameE"),
            QStringLiteral("zipcode"),    QStringLiteral("pref"),        QStringLiteral("prefE"),
            QStringLiteral("city"),       QStringLiteral("cityE"),       QStringLiteral("address1"),
            QStringLiteral("address1E"),  QStringLiteral("address2"),    QStringLiteral("address2E"),
            QStringLiteral("street"),     QStringLiteral("building"),    QStringLiteral("buildingE"),
            QStringLiteral("telephone"),  QStringLiteral("mail"),        QStringLiteral("userID"),
            QStringLiteral("password"),   QStringLiteral("year"),        QStringLiteral("month"),
            QStringLiteral("day")};
}

QJsonObject fullProfile()
{
    QJsonObject profile;
    for (const QString &key : profileKeys()) {
        profile.insert(key, QStringLiteral("%1の値 テスト").arg(key));
    }
    profile.insert(QStringLiteral("year"), 1980);
    profile.insert(QStringLiteral("month"), 4);
    profile.insert(QStringLiteral("day"), 1);
    return profile;
}

QString generatedForm(int elements)
{
    // html, head, title, body and form, then rows of ten elements; a fieldset per hundred rows.
    const int rows = qMax(1, (elements - 5) / 10);
    QString html;
    html.reserve(rows * 260);
    html += QStringLiteral("<html><head><title>会員登録</title></head><body><form>");
    for (int row = 0; row < rows; ++row) {
        if (row % 100 == 0) {
            html += row == 0 ? QStringLiteral("<fieldset>") : QStringLiteral("</fieldset><fieldset>");
        }
        html += QStringLiteral("<div class=row><label for=f%1>項目%1<span class=req>*</span></label>"
                               "<span class=hint><b>例</b><i>山田</i></span>"
                               "<span><em>必須</em><small>全角</small></span>"
                               "<input type=text id=f%1 name=n%1></div>")
                    .arg(row);
    }
    return html + QStringLiteral("</fieldset></form></body></html>");
}

QString generatedFormAddress()
{
    return QStringLiteral("http://127.0.0.1:1/register");
}

bool loadAndWait(QWebView *view, const std::function<void()> &start,
                 const std::function<void(bool)> &onFinished)
{
    QEventLoop loop;
    bool finished = false;
    bool result = false;
    const auto connection = QObject::connect(view, &QWebView::loadFinished, [&](bool ok) {
        if (onFinished) {
            onFinished(ok);
        }
        finished = true;
        result = ok;
        loop.quit();
    });
    start();
    if (!finished) {
        // A page given as text may finish loading before start returns.
        loop.exec();
    }
    QObject::disconnect(connection);
    return result;
}

} // namespace Bench

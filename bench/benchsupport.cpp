#include "benchsupport.h"

#include "fill/selectmatcher.h"

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

namespace {

// Ten controls labelled the way shop forms label them, in table rows, with ids that say nothing.
QString block(int n)
{
    QString prefectures = QStringLiteral("<option value=''>都道府県を選択</option>");
    for (int code = 1; code <= 47; ++code) {
        prefectures += QStringLiteral("<option value='%1'>%2</option>")
                           .arg(code)
                           .arg(SelectMatcher::prefectureName(code));
    }
    const auto box = [n](int i) { return QStringLiteral("<input type='text' id='b%1_%2'>").arg(n).arg(i); };
    return QStringLiteral("<table>"
                          "<tr><th>氏名</th><td>姓 %1 名 %2</td></tr>"
                          "<tr><th>フリガナ</th><td>セイ %3 メイ %4</td></tr>"
                          "<tr><th>郵便番号</th><td>%5 - %6</td></tr>"
                          "<tr><th>都道府県</th><td><select id='b%11_6'>%12</select></td></tr>"
                          "<tr><th>市区町村</th><td>%7</td></tr>"
                          "<tr><th>電話番号</th><td>%8</td></tr>"
                          "<tr><th>メールアドレス</th><td>%9</td></tr>"
                          "</table>")
        .arg(box(0), box(1), box(2), box(3), box(4), box(5), box(7), box(8), box(9))
        .arg(n)
        .arg(prefectures);
}

} // namespace

QString shopForm(int controls)
{
    // A form a block: in one form the second name and address would be another person's, left alone.
    QString html = QStringLiteral("<!DOCTYPE html><html><body>");
    for (int n = 0; n < controls / 10; ++n) {
        html += QStringLiteral("<form>") + block(n) + QStringLiteral("</form>");
    }
    return html + QStringLiteral("</body></html>");
}

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

Spread spreadOf(std::vector<double> values)
{
    Spread spread;
    if (values.empty()) {
        return spread;
    }
    std::sort(values.begin(), values.end());
    spread.least = values.front();
    spread.median = values[values.size() / 2];
    spread.most = values.back();
    return spread;
}

QString spreadText(const Spread &spread, bool percentOver)
{
    const auto figure = [percentOver](double value) {
        return percentOver ? QString::number(100 * (value - 1), 'f', 1) + QLatin1Char('%')
                           : QString::number(value, 'f', 2);
    };
    return figure(spread.least) + QStringLiteral(" / ") + figure(spread.median) + QStringLiteral(" / ")
           + figure(spread.most);
}

namespace {
const char *const rowFormat = "%-36s %-22s %12s %12s %9s %-14s %s\n";
bool tabSeparated = false;

// A figure for the tab-separated table: milliseconds as a bare number, other units kept.
QString tsvFigure(const QString &figure)
{
    return figure.endsWith(QLatin1String(" ms")) ? figure.chopped(3) : figure;
}
} // namespace

void printHeader(int argc, char *argv[])
{
    bool header = true;
    for (int i = 1; i < argc; ++i) {
        if (qstrcmp(argv[i], "--no-header") == 0) {
            header = false;
        } else if (qstrcmp(argv[i], "--tsv") == 0) {
            tabSeparated = true;
        }
    }
    if (!header) {
        return;
    }
    QTextStream out(stdout);
    if (tabSeparated) {
        out << "measurement\tsize\tours_ms\tbaseline_ms\tratio\n";
    } else {
        out << QString::asprintf(rowFormat, "measurement", "size", "ours", "baseline", "ratio", "target",
                                 "met");
    }
}

void printRow(const Row &row)
{
    printRow(row, QString());
}

void printRow(const Row &row, const QString &spread)
{
    QTextStream out(stdout);
    if (tabSeparated) {
        out << QStringList{row.measurement, row.size, tsvFigure(row.ours), tsvFigure(row.baseline), row.ratio}
                   .join(QLatin1Char('\t'))
            << '\n';
        return;
    }
    QString line = QString::asprintf(rowFormat, qPrintable(row.measurement), qPrintable(row.size),
                                     qPrintable(row.ours), qPrintable(row.baseline),
                                     qPrintable(row.ratio.isEmpty() ? QStringLiteral("-") : row.ratio),
                                     qPrintable(row.target), row.met ? "yes" : "NO");
    if (!spread.isEmpty()) {
        line.insert(line.size() - 1, QStringLiteral("  rounds: ") + spread);
    }
    out << line;
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

QString generatedForm(int elements, bool controls)
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
                               "%2</div>")
                    .arg(row)
                    .arg(controls ? QStringLiteral("<input type=text id=f%1 name=n%1>").arg(row)
                                  : QStringLiteral("<span id=f%1></span>").arg(row));
    }
    return html + QStringLiteral("</fieldset></form></body></html>");
}

QString japaneseForm(int fields)
{
    static const char16_t *const labels[] = {u"お名前（姓）",
                                             u"お名前（名）",
                                             u"フリガナ（セイ）",
                                             u"フリガナ（メイ）",
                                             u"郵便番号",
                                             u"市区町村",
                                             u"番地",
                                             u"建物名・部屋番号",
                                             u"電話番号",
                                             u"携帯電話番号",
                                             u"メールアドレス",
                                             u"メールアドレス（確認）",
                                             u"ユーザーID",
                                             u"パスワード",
                                             u"生年月日",
                                             u"会社名"};
    static const char16_t *const prefectures[] = {
        u"北海道", u"青森県", u"岩手県", u"宮城県", u"秋田県", u"山形県",   u"福島県", u"茨城県",
        u"栃木県", u"群馬県", u"埼玉県", u"千葉県", u"東京都", u"神奈川県", u"新潟県", u"富山県",
        u"石川県", u"福井県", u"山梨県", u"長野県", u"岐阜県", u"静岡県",   u"愛知県", u"三重県",
        u"滋賀県", u"京都府", u"大阪府", u"兵庫県", u"奈良県", u"和歌山県", u"鳥取県", u"島根県",
        u"岡山県", u"広島県", u"山口県", u"徳島県", u"香川県", u"愛媛県",   u"高知県", u"福岡県",
        u"佐賀県", u"長崎県", u"熊本県", u"大分県", u"宮崎県", u"鹿児島県", u"沖縄県"};
    QString prefectureOptions = QStringLiteral("<option value=\"\">都道府県を選択してください</option>");
    for (int i = 0; i < 47; ++i) {
        prefectureOptions += QStringLiteral("<option value=\"%1\">%2</option>")
                                 .arg(i + 1)
                                 .arg(QString::fromUtf16(prefectures[i]));
    }
    QString html = QStringLiteral(
        "<!DOCTYPE html><html lang=\"ja\"><head><meta charset=\"utf-8\"><title>会員登録 | "
        "サンプル通販</title>"
        "<style>body{font-family:sans-serif;margin:0;color:#333;line-height:1.6}"
        "header{background:#c00;color:#fff;padding:8px 20px}nav ul{list-style:none;margin:0;padding:0}"
        "nav li{display:inline-block;margin-right:12px}table{border-collapse:collapse;width:100%}"
        "th{background:#f4f4f4;text-align:left;padding:6px 10px;width:14em;border:1px solid #ddd}"
        "td{padding:6px 10px;border:1px solid #ddd}.req{color:#fff;background:#e60;font-size:80%;"
        "padding:0 4px;margin-left:6px;border-radius:2px}.note{font-size:85%;color:#666}"
        "input[type=text],input[type=tel],input[type=email],input[type=password]{width:16em;padding:3px}"
        "footer{background:#333;color:#ccc;padding:16px 20px;font-size:85%}</style></head><body>"
        "<header><h1>サンプル通販 会員登録</h1><form><input type=\"search\" name=\"keyword\" "
        "placeholder=\"キーワードで探す\"><button>検索</button></form><nav><ul><li><a "
        "href=\"#\">ホーム</a></li>"
        "<li><a href=\"#\">新着商品</a></li><li><a href=\"#\">ランキング</a></li><li><a "
        "href=\"#\">お問い合わせ"
        "</a></li></ul></nav></"
        "header><main><p>以下の項目をご入力のうえ、「確認画面へ進む」ボタンを押してください。"
        "<span class=\"req\">必須</span>の項目は必ずご入力ください。</p>"
        "<form action=\"#\" method=\"post\" onsubmit=\"return false;\">"
        "<input type=\"hidden\" name=\"_token\" value=\"d41d8cd98f00b204\">");
    int field = 0;
    for (int section = 0; field < fields; ++section) {
        html += QStringLiteral("<h2>%1. %2</h2><table>")
                    .arg(section + 1)
                    .arg(section % 2 ? QStringLiteral("お届け先情報") : QStringLiteral("ご登録者情報"));
        for (int row = 0; row < 20 && field < fields; ++row) {
            const QString label = QString::fromUtf16(labels[row % 16]);
            html += QStringLiteral("<tr><th>%1%2</th><td>")
                        .arg(label, row % 3 ? QStringLiteral("<span class=\"req\">必須</span>") : QString());
            switch (row % 10) {
            case 4:
                html += QStringLiteral("〒<input type=\"tel\" name=\"zip%1a\" size=\"4\" maxlength=\"3\"> - "
                                       "<input type=\"tel\" name=\"zip%1b\" size=\"5\" maxlength=\"4\">"
                                       "<select name=\"pref%1\">%2</select>")
                            .arg(field)
                            .arg(prefectureOptions);
                field += 3;
                break;
            case 6:
                html += QStringLiteral(
                            "<label><input type=\"radio\" name=\"sex%1\" value=\"m\">男性</label>"
                            "<label><input type=\"radio\" name=\"sex%1\" value=\"f\">女性</label>"
                            "<label><input type=\"checkbox\" name=\"dm%1\">お知らせメールを受け取る</label>")
                            .arg(field);
                field += 3;
                break;
            case 9:
                html +=
                    QStringLiteral("<textarea name=\"memo%1\" rows=\"3\" cols=\"40\"></textarea>").arg(field);
                field += 1;
                break;
            default:
                html +=
                    QStringLiteral("<input type=\"text\" name=\"f%1\" id=\"f%1\" placeholder=\"例）山田\">")
                        .arg(field);
                field += 1;
            }
            html += QStringLiteral(
                "<p class=\"note\">※全角で入力してください。半角カナ・機種依存文字はご利用いただけません。"
                "</p></td></tr>");
        }
        html += QStringLiteral("</table>");
    }
    return html
           + QStringLiteral("<p><input type=\"submit\" value=\"確認画面へ進む\"></p></form></main>"
                            "<footer><p>会社概要 | 利用規約 | 個人情報の取り扱いについて</p>"
                            "<p>Copyright &copy; サンプル通販 All Rights Reserved.</p></footer>"
                            "<script>document.forms[1].elements[1].focus;</script></body></html>");
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

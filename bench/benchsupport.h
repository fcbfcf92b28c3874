#pragma once

#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <vector>

class QApplication;
class QWebView;

// What the benchmark programs share: one table layout for their figures, the generated form pages,
// and waiting for loads.
namespace Bench {

// What every benchmark with windows sets up first: headless unless a display platform was chosen,
// the browser's chatter kept out of the figures, a temporary directory of its own as the current
// one (where profile.json is read and written), and the table's column titles.
class GuiProgram
{
public:
    GuiProgram(int &argc, char *argv[]);
    ~GuiProgram();

private:
    std::unique_ptr<QApplication> m_application;
    QTemporaryDir m_directory;
};

// Writes document as profile.json into the current directory.
void writeProfile(const QJsonObject &document);

double medianMs(std::vector<qint64> nanoseconds);

// How figures taken round by round spread: the least, the median and the most.
struct Spread
{
    double least = 0;
    double median = 0;
    double most = 0;
};
Spread spreadOf(std::vector<double> values);
// "least / median / most", as ratios with two decimals or, with percentOver, as per cent over 1.
QString spreadText(const Spread &spread, bool percentOver = false);

// One line of the table that every benchmark prints: what was measured, at which size, our figure,
// the baseline it is compared with (empty where there is none), the ratio, and the target.
struct Row
{
    QString measurement;
    QString size;
    QString ours;
    QString baseline;
    QString ratio;
    QString target;
    bool met = true;
};

// Prints the column titles unless the program was started with --no-header (as scripts/bench does
// for all but the first). With --tsv, this and every row are printed as tab-separated
// measurement, size, ours_ms, baseline_ms and ratio (figures in milliseconds without their unit).
void printHeader(int argc, char *argv[]);
void printRow(const Row &row);
// A row whose figure is a median of per-round ratios, with how they spread (spreadText): printed
// after the table's columns, left out of the tab-separated ones.
void printRow(const Row &row, const QString &spread);

QString ms(double milliseconds);
QString percent(double fraction);
QString count(qint64 number);

// The 25 keys of a full profile, and a profile that holds a value under each: text, and numbers for
// the birth date.
QStringList profileKeys();
QJsonObject fullProfile();

// A sign-up form with about the given number of elements, a tenth of them text inputs with the
// identifiers "f0", "f1", …; rows are grouped into fieldsets of a hundred, as long forms are.
// Without controls, the same page with an empty <span> where each input was.
QString generatedForm(int elements, bool controls = true);
// A long Japanese sign-up page as real ones are built: a styled header, navigation and footer, a
// table of labelled rows with notes, prefecture selects, radio buttons, check boxes and text
// areas among the text fields, about the given number of fields in all.
QString japaneseForm(int fields);

// The address the generated pages are shown under.
QString generatedFormAddress();
// A sign-up form of shop pages' kind with this many controls: ten a block, in table rows labelled
// by their headings (names, readings, a split postal code, a prefecture select, city, phone,
// e-mail), with ids that say nothing.
QString shopForm(int controls);

// Starts a load with start and returns once the view reports it finished; onFinished runs inside the
// view's load-finished signal, before anything else returns to the event loop.
bool loadAndWait(QWebView *view, const std::function<void()> &start,
                 const std::function<void(bool)> &onFinished = {});

} // namespace Bench

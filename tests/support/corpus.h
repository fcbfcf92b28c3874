#pragma once

// The form corpus of tests/data/forms/corpus: its table of right values after a whole-form fill, and how
// a page's controls measure against it. Shared by TestCorpus and BenchRecognition.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVector>
#include <QWebElement>
#include <QWebFrame>

#include <functional>

namespace Corpus {

struct Row
{
    QString selector;
    QString expect; // "-": left as it was
    QString before; // the control's state before the fill
};

// The rows of expected.tsv by page, pages in file-name order.
inline QMap<QString, QVector<Row>> readTable(const QString &dir)
{
    QMap<QString, QVector<Row>> pages;
    QFile file(dir + QStringLiteral("/expected.tsv"));
    if (!file.open(QIODevice::ReadOnly)) {
        return pages;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList cells = lines[i].split(QLatin1Char('\t'));
        if (cells.size() == 3) {
            pages[cells[0]].append({cells[1], cells[2], QString()});
        }
    }
    return pages;
}

inline QJsonObject profile(const QString &dir)
{
    QFile file(dir + QStringLiteral("/profile.json"));
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

// Runs a script in the page's main frame and answers its result, whatever the engine.
using Script = std::function<QVariant(const QString &)>;

inline Script scriptOf(QWebFrame *frame)
{
    return [frame](const QString &script) { return frame->evaluateJavaScript(script); };
}

// What the table compares, for every row at once (one script, not one a row: a round trip to
// Chromium costs milliseconds): the value of a text control or select, "checked" or "-" for radio
// buttons and check boxes, "(missing)" when the selector finds nothing.
inline QStringList statesOf(const Script &run, const QVector<Row> &rows)
{
    QJsonArray selectors;
    for (const Row &row : rows) {
        selectors.append(row.selector);
    }
    const QString list = QString::fromUtf8(QJsonDocument(selectors).toJson(QJsonDocument::Compact));
    const QVariantList states =
        run(QStringLiteral("%1.map(function (s) {"
                           "  var e = document.querySelector(s);"
                           "  if (!e) return '(missing)';"
                           "  var t = (e.getAttribute('type') || '').toLowerCase();"
                           "  if (e.tagName === 'INPUT' && (t === 'radio' || t === 'checkbox'))"
                           "    return e.checked ? 'checked' : '-';"
                           "  return String(e.value);"
                           "})")
                .arg(list))
            .toList();
    QStringList texts;
    for (int i = 0; i < rows.size(); ++i) {
        texts.append(i < states.size() ? states[i].toString() : QStringLiteral("(missing)"));
    }
    return texts;
}

// Waits until every row's control is on the page (a page may build its form after the load), then
// notes each one's state.
inline void recordBefore(const Script &run, QVector<Row> &rows)
{
    QElapsedTimer waited;
    waited.start();
    QStringList states = statesOf(run, rows);
    while (states.contains(QStringLiteral("(missing)")) && waited.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
        states = statesOf(run, rows);
    }
    for (int i = 0; i < rows.size(); ++i) {
        rows[i].before = states[i];
    }
}

struct Tally
{
    int right = 0;
    int wrong = 0; // a value other than the right one
    int missed = 0; // left as it was where a value belongs
    int wronglyFilled = 0; // changed where it should have stayed as it was
    int leftAlone = 0;

    int toFill() const { return right + wrong + missed; }
    Tally &operator+=(const Tally &other)
    {
        right += other.right;
        wrong += other.wrong;
        missed += other.missed;
        wronglyFilled += other.wronglyFilled;
        leftAlone += other.leftAlone;
        return *this;
    }
};

// The page after the fill against its rows; problems gets one line per row that is not right.
inline Tally score(const Script &run, const QVector<Row> &rows, QStringList *problems = nullptr)
{
    Tally tally;
    const QStringList states = statesOf(run, rows);
    for (int i = 0; i < rows.size(); ++i) {
        const Row &row = rows[i];
        const QString &now = states[i];
        const bool keep = row.expect == QLatin1String("-");
        const QString want = keep ? row.before : row.expect;
        QString what;
        if (now == want) {
            ++(keep ? tally.leftAlone : tally.right);
            continue;
        }
        if (keep) {
            ++tally.wronglyFilled;
            what = QStringLiteral("wrongly filled");
        } else if (now == row.before) {
            ++tally.missed;
            what = QStringLiteral("missed");
        } else {
            ++tally.wrong;
            what = QStringLiteral("wrong");
        }
        if (problems) {
            problems->append(QStringLiteral("%1 %2: \"%3\", want \"%4\"").arg(what, row.selector, now, want));
        }
    }
    return tally;
}

} // namespace Corpus

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
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QThread>
#include <QVector>
#include <QWebElement>
#include <QWebFrame>

#include <algorithm>
#include <functional>

namespace Corpus {

// One line of expected.tsv. expect is "-" (the control stays as it was), "any:a|b|…" (any of these
// values; "?c" is a value the page writes itself, which counts as missed), or the one right value.
// A joint row ("@joint s1&s2") names boxes whose values, joined, must give one of its values.
struct Row
{
    QString selector;
    QString expect;
    QString before; // the control's state before the fill
    bool joint = false;
};

// A page of the table: its rows, and how it is filled (lines whose selector starts with @).
struct Page
{
    QString profile = QStringLiteral("profile.json"); // @profile, relative to the corpus
    int language = 0; // @language en: FieldMenu::English
    QString rerender; // @rerender: the page's function that renders it again from its own state
    QVector<Row> rows;
};

// The pages of expected.tsv by path (a file name, or a folder and file name), in path order.
inline QMap<QString, Page> readTable(const QString &dir)
{
    QMap<QString, Page> pages;
    QFile file(dir + QStringLiteral("/expected.tsv"));
    if (!file.open(QIODevice::ReadOnly)) {
        return pages;
    }
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (int i = 1; i < lines.size(); ++i) {
        const QStringList cells = lines[i].split(QLatin1Char('\t'));
        if (cells.size() != 3) {
            continue;
        }
        Page &page = pages[cells[0]];
        const QString &selector = cells[1];
        if (selector == QLatin1String("@profile")) {
            page.profile = cells[2];
        } else if (selector == QLatin1String("@language")) {
            page.language = cells[2] == QLatin1String("en") ? 1 : 0;
        } else if (selector == QLatin1String("@rerender")) {
            page.rerender = cells[2];
        } else if (selector.startsWith(QLatin1String("@joint "))) {
            page.rows.append({selector.mid(7), cells[2], QString(), true});
        } else {
            page.rows.append({selector, cells[2], QString(), false});
        }
    }
    return pages;
}

inline QJsonObject profile(const QString &dir, const QString &name = QStringLiteral("profile.json"))
{
    QFile file(dir + QLatin1Char('/') + name);
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
        selectors.append(row.joint
                             ? QJsonValue(QJsonArray::fromStringList(row.selector.split(QLatin1Char('&'))))
                             : QJsonValue(row.selector));
    }
    const QString list = QString::fromUtf8(QJsonDocument(selectors).toJson(QJsonDocument::Compact));
    const QVariantList states =
        run(QStringLiteral("%1.map(function (s) {"
                           "  function state(s) {"
                           "    var e = document.querySelector(s);"
                           "    if (!e) return '(missing)';"
                           "    var t = (e.getAttribute('type') || '').toLowerCase();"
                           "    if (e.tagName === 'INPUT' && (t === 'radio' || t === 'checkbox'))"
                           "      return e.checked ? 'checked' : '-';"
                           "    return String(e.value);"
                           "  }"
                           "  if (typeof s === 'string') return state(s);"
                           "  var parts = s.map(state);"
                           "  return parts.indexOf('(missing)') >= 0 ? '(missing)' : parts.join('');"
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

// The page after the fill against its rows; problems gets one line per row that is not right. A joint
// row only counts when it goes wrong: its boxes are rows of their own.
inline Tally score(const Script &run, const Page &page, const QVector<Row> &rows,
                   QStringList *problems = nullptr)
{
    if (!page.rerender.isEmpty()) {
        run(QStringLiteral("if (typeof window.%1 === 'function') window.%1();").arg(page.rerender));
    }
    Tally tally;
    const QStringList states = statesOf(run, rows);
    for (int i = 0; i < rows.size(); ++i) {
        const Row &row = rows[i];
        const QString &now = states[i];
        const bool keep = row.expect == QLatin1String("-");
        QStringList accepted{row.expect};
        QStringList pageWrites;
        if (row.expect.startsWith(QLatin1String("any:"))) {
            accepted = row.expect.mid(4).split(QLatin1Char('|'));
            for (int k = accepted.size() - 1; k >= 0; --k) {
                if (accepted[k].startsWith(QLatin1Char('?'))) {
                    pageWrites.append(accepted.takeAt(k).mid(1));
                }
            }
        }
        // Boxes joined are compared without white space: each box says where a space may go.
        static const QRegularExpression space(QStringLiteral("\\s"));
        const bool acceptable =
            keep        ? now == row.before
            : row.joint ? std::any_of(accepted.cbegin(), accepted.cend(),
                                      [&](const QString &value) {
                                          return QString(value).remove(space) == QString(now).remove(space);
                                      })
                        : accepted.contains(now);
        QString what;
        if (acceptable) {
            if (row.joint) {
                continue;
            }
            ++(keep || (now.isEmpty() && now == row.before) ? tally.leftAlone : tally.right);
            continue;
        }
        if (keep) {
            ++tally.wronglyFilled;
            what = QStringLiteral("wrongly filled");
        } else if (row.joint) {
            if (now == row.before) {
                continue;
            }
            ++tally.wrong;
            what = QStringLiteral("wrong together");
        } else if (now == row.before || pageWrites.contains(now)) {
            ++tally.missed;
            what = QStringLiteral("missed");
        } else {
            ++tally.wrong;
            what = QStringLiteral("wrong");
        }
        if (problems) {
            problems->append(QStringLiteral("%1 %2: \"%3\", want \"%4\"")
                                 .arg(what, row.selector, now, keep ? row.before : row.expect));
        }
    }
    return tally;
}

} // namespace Corpus

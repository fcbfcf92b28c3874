#include "fill/sectionsplitter.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace SectionSplitter {

namespace {

// Two boxes of one row (氏名 [姓][名] without labels of their own) are one value, not a repeat.
bool sameRow(const PageControl &a, const PageControl &b)
{
    return a.rowLabel == b.rowLabel && a.label == b.label && a.blockKeys == b.blockKeys && a.form == b.form;
}

bool sameContext(const PageControl &a, const PageControl &b)
{
    return a.form == b.form && a.legend == b.legend && a.heading == b.heading && a.blockKeys == b.blockKeys
           && a.rowGroup == b.rowGroup;
}

// A kind already in the section, or a whole name where a part of one was given (and the reverse):
// name kinds read "name:part:script".
bool conflicts(const QString &kind, const QSet<QString> &seen)
{
    if (seen.contains(kind)) {
        return true;
    }
    if (!kind.startsWith(QLatin1String("name:"))) {
        return false;
    }
    const QString part = kind.section(QLatin1Char(':'), 1, 1);
    const QString script = kind.section(QLatin1Char(':'), 2);
    for (const QString &other : seen) {
        if (other.startsWith(QLatin1String("name:")) && other.section(QLatin1Char(':'), 2) == script
            && (part == QLatin1String("full"))
                   != (other.section(QLatin1Char(':'), 1, 1) == QLatin1String("full"))) {
            return true;
        }
    }
    return false;
}

bool isChoice(const PageControl &control)
{
    return control.htmlType == QLatin1String("checkbox") || control.htmlType == QLatin1String("radio");
}

// The first word of a name or id that has more after it: ship in ship[zip], vac in vac_tel.
QString prefixOf(const PageControl &control)
{
    static const QRegularExpression split(QStringLiteral("^([A-Za-z]+\\d*)[_\\-\\[.:]"));
    const QRegularExpressionMatch name = split.match(control.name);
    if (name.hasMatch()) {
        return name.captured(1).toLower();
    }
    const QRegularExpressionMatch id = split.match(control.id);
    return id.hasMatch() ? id.captured(1).toLower() : QString();
}

// The texts around a control that may say whose it is, closest first.
QStringList textsOf(const PageControl &control)
{
    QStringList texts{control.column, control.rowGroup};
    for (int k = control.blockTitles.size() - 1; k >= 0; --k) {
        texts.append(control.blockTitles[k]);
    }
    texts << control.legend << (control.headingOutside ? QString() : control.heading);
    texts.removeAll(QString());
    return texts;
}

// Controls in table columns headed by parties, when such columns repeat kinds of value: each column
// a section of its own, by its header.
QHash<int, QString> columnsOf(const QVector<PageControl> &controls, const QVector<QString> &kinds)
{
    QHash<QString, QSet<QString>> kindsByColumn;
    for (int i = 0; i < controls.size(); ++i) {
        if (!controls[i].column.isEmpty() && !kinds[i].isEmpty()) {
            kindsByColumn[controls[i].form + QLatin1Char('\n') + controls[i].column].insert(kinds[i]);
        }
    }
    QHash<QString, int> columnsHolding;
    for (const QSet<QString> &held : qAsConst(kindsByColumn)) {
        for (const QString &kind : held) {
            ++columnsHolding[kind];
        }
    }
    const bool repeats =
        std::any_of(columnsHolding.cbegin(), columnsHolding.cend(), [](int n) { return n > 1; });
    QHash<int, QString> columns;
    if (!repeats) {
        return columns;
    }
    for (int i = 0; i < controls.size(); ++i) {
        const QString key = controls[i].form + QLatin1Char('\n') + controls[i].column;
        if (!controls[i].column.isEmpty() && kindsByColumn.contains(key)) {
            columns.insert(i, key);
        }
    }
    return columns;
}

} // namespace

QVector<Section> split(const QVector<PageControl> &controls, const QVector<QString> &kinds,
                       const Whose &whose)
{
    QVector<Section> sections;
    const QHash<int, QString> columns = columnsOf(controls, kinds);
    QHash<QString, int> columnSection;

    sections.append(Section());
    int current = 0;
    QSet<QString> seen; // kinds of the current section
    QHash<QString, int> lastOfKind;
    int lastKind = -1; // the last control of a kind, in the sequence
    QString scope; // the block a repeated section began with: leaving it ends the section
    int owner = 0; // whom the current section's titles gave it to
    QString ownerText; // the title that did: past the controls under it, the section ends
    QStringList previousTexts;
    for (int i = 0; i < controls.size(); ++i) {
        const PageControl &control = controls[i];
        if (columns.contains(i)) {
            const QString key = columns.value(i);
            if (!columnSection.contains(key)) {
                columnSection.insert(key, sections.size());
                Section section;
                section.repeated = true;
                sections.append(section);
            }
            sections[columnSection.value(key)].members.append(i);
            continue;
        }
        if (!scope.isEmpty() && !control.blockKeys.contains(scope)) {
            // Past the block of another person or place: what follows is the page's again.
            sections.append(Section());
            current = sections.size() - 1;
            seen.clear();
            scope.clear();
            owner = 0;
        }
        const QStringList texts = textsOf(control);
        if (!ownerText.isEmpty() && !texts.contains(ownerText)) {
            sections.append(Section());
            current = sections.size() - 1;
            seen.clear();
            scope.clear();
            owner = 0;
            ownerText.clear();
        }
        // A new title that gives what follows to someone else.
        int told = 0;
        QString telling;
        for (const QString &text : texts) {
            if (!previousTexts.contains(text) && (told = whose(text)) != 0) {
                telling = text;
                break;
            }
        }
        previousTexts = texts;
        if (told != 0 && told != owner && !sections[current].members.isEmpty()) {
            if (owner != 0 || !seen.isEmpty()) {
                sections.append(Section());
                current = sections.size() - 1;
                seen.clear();
                scope.clear();
            }
        }
        if (told != 0) {
            owner = told;
            ownerText = telling;
        }
        const QString &kind = kinds[i];
        const bool repeat = !kind.isEmpty() && conflicts(kind, seen)
                            && !(lastOfKind.value(kind) == lastKind && lastKind == i - 1
                                 && sameRow(controls[lastKind], control));
        if (repeat) {
            // The new section takes the controls before it that stand under the same heading, legend
            // and blocks (a "same as" box, a relation select), back to the last value of the one
            // before at most.
            QVector<int> &before = sections[current].members;
            // Under a heading or row group of its own the section may begin before another kind of
            // value; in one flat context only the choices right before it and the controls named like
            // it come along (a "same as" box, ship_same).
            int start = i;
            if (!sameContext(controls[lastKind], control)) {
                while (start - 1 > lastOfKind.value(kind) && sameContext(controls[start - 1], control)) {
                    --start;
                }
            } else {
                while (start - 1 > lastKind
                       && (isChoice(controls[start - 1])
                           || (!prefixOf(control).isEmpty()
                               && prefixOf(controls[start - 1]) == prefixOf(control)))) {
                    --start;
                }
            }
            scope.clear();
            for (const QString &block : control.blockKeys) {
                const bool earlier = std::any_of(before.cbegin(), before.cend(), [&](int m) {
                    return m < start && controls[m].blockKeys.contains(block);
                });
                if (!earlier) {
                    scope = block;
                    break;
                }
            }
            Section next;
            next.repeated = true;
            for (int k = before.size() - 1; k >= 0 && before[k] >= start; --k) {
                next.members.prepend(before.takeAt(k));
            }
            sections.append(next);
            current = sections.size() - 1;
            seen.clear();
            owner = 0;
            for (int m : qAsConst(sections[current].members)) {
                if (!kinds[m].isEmpty()) {
                    seen.insert(kinds[m]);
                }
            }
        }
        sections[current].members.append(i);
        if (!kind.isEmpty()) {
            seen.insert(kind);
            lastOfKind.insert(kind, i);
            lastKind = i;
        }
    }
    sections.erase(std::remove_if(sections.begin(), sections.end(),
                                  [](const Section &section) { return section.members.isEmpty(); }),
                   sections.end());
    for (Section &section : sections) {
        std::sort(section.members.begin(), section.members.end());
    }

    // Titles: the texts of a section's controls that no section before it had.
    QHash<QString, QSet<int>> sectionsSaying;
    for (int s = 0; s < sections.size(); ++s) {
        for (int m : qAsConst(sections[s].members)) {
            for (const QString &text : textsOf(controls[m])) {
                sectionsSaying[text].insert(s);
            }
        }
    }
    for (int s = 0; s < sections.size(); ++s) {
        for (int m : qAsConst(sections[s].members)) {
            for (const QString &text : textsOf(controls[m])) {
                const QSet<int> &saying = sectionsSaying[text];
                if (*std::min_element(saying.cbegin(), saying.cend()) == s
                    && !sections[s].titles.contains(text)) {
                    sections[s].titles.append(text);
                }
            }
        }
    }
    return sections;
}

} // namespace SectionSplitter

#pragma once

#include "page/pagecontrol.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// Splits the controls of a page into sections, each one about one person or one place: where the
// page groups them (fieldsets, cards, tables and groups with a title, table columns headed by a
// party) and where a kind of value repeats (a second name, a second address). Whose each section is
// is for the caller to decide from the texts gathered here.
namespace SectionSplitter {

struct Section
{
    QVector<int> members; // indexes of the controls, in document order
    // The titles that speak for this section alone (the block it starts, its column, a row group),
    // closest first; texts it shares with other sections say nothing about it.
    QStringList titles;
    bool repeated = false; // it began where a kind of value came again
};

// Whom a title gives its part to: 0 for no one, else a number for each owner (the user, another
// person, another place).
using Whose = std::function<int(const QString &title)>;

// kinds: per control, the kind of value it takes ("" for none, or a kind that may come twice for one
// person such as a phone row); controls in document order. A section also begins where a title comes
// that gives the controls to another owner than the section's. Answers the sections in order.
QVector<Section> split(const QVector<PageControl> &controls, const QVector<QString> &kinds,
                       const Whose &whose);

} // namespace SectionSplitter

#include "text/japaneseera.h"

namespace JapaneseEra {

namespace {

struct Era
{
    int year, month, day; // the era's first day
    const char16_t *name;
};

// Newest first, so the first era that started on or before a date is its era.
constexpr Era eras[] = {
    {2019, 5, 1, u"令和"},  {1989, 1, 8, u"平成"}, {1926, 12, 25, u"昭和"},
    {1912, 7, 30, u"大正"}, {1868, 1, 1, u"明治"},
};

} // namespace

EraYear of(const QDate &date)
{
    if (!date.isValid()) {
        return {};
    }
    for (const Era &era : eras) {
        const QDate start(era.year, era.month, era.day);
        if (date >= start) {
            return {QString::fromUtf16(era.name), date.year() - era.year + 1};
        }
    }
    return {};
}

QString text(const EraYear &eraYear)
{
    if (!eraYear.isValid()) {
        return QString();
    }
    const QString year = eraYear.year == 1 ? QStringLiteral("元") : QString::number(eraYear.year);
    return eraYear.era + year + QStringLiteral("年");
}

} // namespace JapaneseEra

#pragma once

#include <QDate>
#include <QString>

// The Japanese era (元号) of a Gregorian date, from 明治 on.
namespace JapaneseEra {

struct EraYear
{
    QString era; // 明治, 大正, 昭和, 平成 or 令和; empty when the date has no era
    int year = 0; // 1 for 元年

    bool isValid() const { return year > 0; }
};

// Empty for an invalid date or one before 明治. 明治 counts from 1868-01-01, as the era's name was
// given to the whole of that year.
EraYear of(const QDate &date);

// "昭和64年", "平成元年"; empty for an invalid era year.
QString text(const EraYear &eraYear);

} // namespace JapaneseEra

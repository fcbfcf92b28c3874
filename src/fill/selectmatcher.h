#pragma once

#include "page/pagecontrol.h"

#include <QString>
#include <QVector>

// Chooses the option of a <select> that stands for a profile value, whatever way the page spells
// its options: prefecture names with or without their suffix, codes, zero-padded numbers, years
// with an era, era letters.
namespace SelectMatcher {

using Option = PageControl::Option;

enum class Kind
{
    Plain,
    Prefecture,
    Year,
    Month,
    Day,
    Era,
    EraYear
};

// What kind of value a profile key holds, for the keys a select is filled from.
Kind kindForKey(const QString &key);

// The index of the option that stands for value, or -1. Placeholders ("選択してください", empty
// values) never match. Option text is tried first, then the option value as a name, then as a code.
int match(const QVector<Option> &options, const QString &value, Kind kind);

// 1 for 北海道 … 47 for 沖縄県: the name with or without its suffix, its Latin-letter form, or its
// code with or without a leading zero when codes are allowed; 0 when text names no prefecture.
int prefectureCode(const QString &text, bool allowCode);
// The full name of the prefecture with this code, or empty.
QString prefectureName(int code);

} // namespace SelectMatcher

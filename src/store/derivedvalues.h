#pragma once

#include <QHash>
#include <QString>
#include <QVariant>

#include <optional>

// Values made from the stored ones, answered wherever a profile key is turned into text, so that
// they can be offered, recorded and refilled like stored keys:
//
// - a transform suffix on any key: KEY.hiragana, KEY.katakana, KEY.halfwidthKana, KEY.digits,
//   KEY.part1, KEY.part2, KEY.part3, KEY.noSpaces, KEY.asciiSpaces, KEY.upperCase, KEY.fullWidth,
//   KEY.twoDigits (up to 16 suffixes may follow each other: fullNameK.hiragana);
// - joined values: fullName, fullNameK, fullNameE, fullNameEFamilyFirst, fullAddress, birthDate,
//   birthDateSlashed, birthDateDMY, birthDateEra (昭和64年1月7日);
// - the address as forms cut it: streetAddress (without the building), cityAddress (from the city
//   on), cityStreet, cityTown, town (町名・丁目), townStreet (町名番地), address2Street (丁目・番地 after a
//   町名 box), townAddress, streetBuilding,
//   townStreetE;
// - the era of the birth date: birthEra (明治..令和) and birthEraYear (1 for 元年).
//
// A stored key of the same name always wins. A missing source gives empty text.
namespace DerivedValues {

// The text for key: the stored value when the table holds key, else the derived value; nothing
// when key is neither stored nor derived (an unknown key, or an unknown suffix).
std::optional<QString> find(const QHash<QString, QVariant> &values, const QString &key);

// find() with an unknown key read as empty text, the way the table itself answers a missing key.
QString text(const QHash<QString, QVariant> &values, const QString &key);

// Whether key names a derived value, whatever the table holds.
bool isDerivedKey(const QString &key);

} // namespace DerivedValues

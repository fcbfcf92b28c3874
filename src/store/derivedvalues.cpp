#include "store/derivedvalues.h"

#include "text/japaneseera.h"
#include "text/texttransforms.h"
#include "text/widthconversion.h"

#include <QDate>
#include <QPair>
#include <QRegularExpression>
#include <QStringList>
#include <QVector>

namespace DerivedValues {

namespace {

const QString fullNameKey = QStringLiteral("fullName");
const QString fullNameKanaKey = QStringLiteral("fullNameK");
const QString fullNameLatinKey = QStringLiteral("fullNameE");
const QString fullAddressKey = QStringLiteral("fullAddress");
const QString birthDateKey = QStringLiteral("birthDate");
const QString birthEraKey = QStringLiteral("birthEra");
const QString birthEraYearKey = QStringLiteral("birthEraYear");

constexpr int maxSuffixes = 16;

enum class Suffix
{
    Unknown,
    Hiragana,
    Katakana,
    HalfwidthKana,
    Digits,
    Part1,
    Part2,
    Part3,
    NoSpaces,
    AsciiSpaces,
    UpperCase,
    FullWidth,
    TwoDigits,
    NoTrunkZero
};

Suffix suffixOf(const QStringRef &name)
{
    static const QHash<QString, Suffix> suffixes{
        {QStringLiteral("hiragana"), Suffix::Hiragana},
        {QStringLiteral("katakana"), Suffix::Katakana},
        {QStringLiteral("halfwidthKana"), Suffix::HalfwidthKana},
        {QStringLiteral("digits"), Suffix::Digits},
        {QStringLiteral("part1"), Suffix::Part1},
        {QStringLiteral("part2"), Suffix::Part2},
        {QStringLiteral("part3"), Suffix::Part3},
        {QStringLiteral("noSpaces"), Suffix::NoSpaces},
        {QStringLiteral("asciiSpaces"), Suffix::AsciiSpaces},
        {QStringLiteral("upperCase"), Suffix::UpperCase},
        {QStringLiteral("fullWidth"), Suffix::FullWidth},
        {QStringLiteral("twoDigits"), Suffix::TwoDigits},
        {QStringLiteral("noTrunkZero"), Suffix::NoTrunkZero},
    };
    return suffixes.value(name.toString(), Suffix::Unknown);
}

QString apply(Suffix suffix, const QString &text)
{
    switch (suffix) {
    case Suffix::Hiragana:
        return TextTransforms::toHiragana(text);
    case Suffix::Katakana:
        return TextTransforms::toKatakana(text);
    case Suffix::HalfwidthKana:
        // Readings stored in hiragana have their only half-width form through katakana.
        return TextTransforms::toHalfWidthKana(TextTransforms::toKatakana(text));
    case Suffix::Digits:
        return TextTransforms::digitsOnly(text);
    case Suffix::NoTrunkZero:
        // After a country code: 06-6345-1287 → 6-6345-1287.
        return text.startsWith(QLatin1Char('0')) ? text.mid(1) : text;
    case Suffix::Part1:
    case Suffix::Part2:
    case Suffix::Part3:
        return TextTransforms::parts(text).value(int(suffix) - int(Suffix::Part1));
    case Suffix::NoSpaces: {
        QString joined = text;
        joined.remove(QLatin1Char(' ')).remove(QChar(0x3000));
        return joined;
    }
    case Suffix::AsciiSpaces:
        return QString(text).replace(QChar(0x3000), QLatin1Char(' '));
    case Suffix::UpperCase:
        return text.toUpper();
    case Suffix::FullWidth:
        return WidthConversion::toFullWidth(text).replace(QLatin1Char(' '), QChar(0x3000));
    case Suffix::TwoDigits:
        return text.size() == 1 && text.at(0).isDigit() ? QLatin1Char('0') + text : text;
    case Suffix::Unknown:
        break;
    }
    return QString();
}

QString stored(const QHash<QString, QVariant> &values, const char *key)
{
    return values.value(QLatin1String(key)).toString();
}

// The texts that are not empty, with the separator between them.
QString joined(const QStringList &texts, const QString &separator)
{
    QStringList present;
    for (const QString &text : texts) {
        if (!text.isEmpty()) {
            present.append(text);
        }
    }
    return present.join(separator);
}

// A stored number, as a number or as text in ASCII or full-width digits.
int number(const QHash<QString, QVariant> &values, const char *key)
{
    const QString text = stored(values, key).trimmed();
    if (text.isEmpty() || TextTransforms::digitsOnly(text).size() != text.size()) {
        return 0;
    }
    bool ok = false;
    const int value = TextTransforms::digitsOnly(text).toInt(&ok);
    return ok ? value : 0;
}

QDate birthDate(const QHash<QString, QVariant> &values)
{
    const int year = number(values, "year");
    if (year < 1 || year > 9999) {
        return QDate();
    }
    return QDate(year, number(values, "month"), number(values, "day"));
}

// The building's name and its room number, where the stored building ends in the room's number
// (千代田ハイツ305, 千代田ハイツ 305号室). A building without a number at its end has no room; one
// whose end is unclear (ハイツ2-305, 305号室 alone) gives neither, so that no box gets half of it.
QPair<QString, QString> buildingAndRoom(const QString &building)
{
    QString rest = building.trimmed();
    if (rest.isEmpty()) {
        return {};
    }
    for (const QString &unit : {QStringLiteral("号室"), QStringLiteral("号")}) {
        if (rest.endsWith(unit)) {
            rest.chop(unit.size());
            break;
        }
    }
    const bool unit = rest.size() != building.trimmed().size();
    int start = rest.size();
    while (start > 0 && rest.at(start - 1).isDigit()) {
        --start;
    }
    if (start == rest.size()) {
        return unit ? QPair<QString, QString>() : qMakePair(rest, QString());
    }
    const QString room = rest.mid(start);
    QString name = rest.left(start);
    while (!name.isEmpty() && (name.endsWith(QLatin1Char(' ')) || name.endsWith(QChar(0x3000)))) {
        name.chop(1);
    }
    static const QString hyphens = QStringLiteral("-－−‐‑–—―ｰー#＃");
    if (name.isEmpty() || hyphens.contains(name.at(name.size() - 1)) || name.at(name.size() - 1).isDigit()) {
        return {};
    }
    return {name, room};
}

// 番地 in Latin letters: 2丁目3番4号 and 2丁目3-4 become 2-3-4. Empty when Japanese is left, since
// a Latin address line with kanji in it is of no use to the page.
QString latinStreet(const QString &street)
{
    static const QRegularExpression units(QStringLiteral("(\\d)\\s*(丁目|番地|番|の)\\s*(?=\\d)"));
    static const QRegularExpression last(QStringLiteral("(\\d)\\s*(丁目|番地|番|号)\\s*$"));
    QString latin = WidthConversion::toHalfWidth(street).trimmed();
    latin.replace(units, QStringLiteral("\\1-"));
    latin.replace(last, QStringLiteral("\\1"));
    for (const QChar c : qAsConst(latin)) {
        if (c.unicode() > 0x7E) {
            return QString();
        }
    }
    return latin;
}

std::optional<QString> joinedValue(const QHash<QString, QVariant> &values, const QString &key)
{
    if (key == QLatin1String("buildingName") || key == QLatin1String("buildingNameE")) {
        return buildingAndRoom(stored(values, key.endsWith(QLatin1Char('E')) ? "buildingE" : "building"))
            .first;
    }
    if (key == QLatin1String("roomNumber") || key == QLatin1String("roomNumberE")) {
        return buildingAndRoom(stored(values, key.endsWith(QLatin1Char('E')) ? "buildingE" : "building"))
            .second;
    }
    if (key == fullNameKey) {
        return joined({stored(values, "familyName"), stored(values, "lastName")}, QStringLiteral("\u3000"));
    }
    if (key == fullNameKanaKey) {
        return joined({stored(values, "familyNameK"), stored(values, "lastNameK")}, QStringLiteral("\u3000"));
    }
    if (key == fullNameLatinKey) {
        return joined({stored(values, "lastNameE"), stored(values, "familyNameE")}, QStringLiteral(" "));
    }
    if (key == QLatin1String("fullNameEFamilyFirst")) {
        return joined({stored(values, "familyNameE"), stored(values, "lastNameE")}, QStringLiteral(" "));
    }
    if (key == fullAddressKey) {
        const QString address = stored(values, "pref") + stored(values, "city") + stored(values, "address1")
                                + stored(values, "address2") + stored(values, "street");
        return joined({address, stored(values, "building")}, QStringLiteral(" "));
    }
    // The address as forms cut it: 町名 is address1 and address2 together.
    const QString town = stored(values, "address1") + stored(values, "address2");
    const QString townStreet = town + stored(values, "street");
    if (key == QLatin1String("streetAddress")) {
        return stored(values, "pref") + stored(values, "city") + townStreet;
    }
    if (key == QLatin1String("cityAddress")) {
        return joined({stored(values, "city") + townStreet, stored(values, "building")}, QStringLiteral(" "));
    }
    if (key == QLatin1String("cityStreet")) {
        return stored(values, "city") + townStreet;
    }
    if (key == QLatin1String("town")) {
        return town;
    }
    if (key == QLatin1String("cityTown")) {
        return stored(values, "city") + town;
    }
    if (key == QLatin1String("townStreet")) {
        return townStreet;
    }
    if (key == QLatin1String("address2Street")) {
        return stored(values, "address2") + stored(values, "street");
    }
    if (key == QLatin1String("townAddress")) {
        return joined({townStreet, stored(values, "building")}, QStringLiteral(" "));
    }
    if (key == QLatin1String("streetBuilding")) {
        return joined({stored(values, "street"), stored(values, "building")}, QStringLiteral(" "));
    }
    if (key == QLatin1String("townStreetE")) {
        const QString street = latinStreet(stored(values, "street"));
        if (street.isEmpty() && !stored(values, "street").isEmpty()) {
            return QString();
        }
        return joined({street, stored(values, "address2E"), stored(values, "address1E")},
                      QStringLiteral(" "));
    }
    if (key == birthDateKey) {
        const QDate date = birthDate(values);
        return date.isValid() ? date.toString(QStringLiteral("yyyy-MM-dd")) : QString();
    }
    if (key == QLatin1String("birthDateSlashed")) {
        const QDate date = birthDate(values);
        return date.isValid() ? date.toString(QStringLiteral("yyyy/MM/dd")) : QString();
    }
    if (key == QLatin1String("birthDateMDY")) {
        const QDate date = birthDate(values);
        return date.isValid() ? date.toString(QStringLiteral("MM/dd/yyyy")) : QString();
    }
    if (key == QLatin1String("birthDateDMY")) {
        const QDate date = birthDate(values);
        return date.isValid() ? date.toString(QStringLiteral("dd/MM/yyyy")) : QString();
    }
    if (key == QLatin1String("birthDateEra")) {
        const QDate date = birthDate(values);
        const QString year = JapaneseEra::text(JapaneseEra::of(date));
        return year.isEmpty() ? QString()
                              : year + QStringLiteral("%1月%2日").arg(date.month()).arg(date.day());
    }
    if (key == birthEraKey) {
        return JapaneseEra::of(birthDate(values)).era;
    }
    if (key == birthEraYearKey) {
        const JapaneseEra::EraYear era = JapaneseEra::of(birthDate(values));
        return era.isValid() ? QString::number(era.year) : QString();
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> find(const QHash<QString, QVariant> &values, const QString &key)
{
    // Suffixes are peeled off from the right until a stored or joined key is reached. Keys come from
    // the profile file and may be any length: a chain longer than anyone writes is not a key.
    QVector<Suffix> suffixes;
    QStringRef current(&key);
    QString text;
    for (;;) {
        const QString name = current.toString();
        if (values.contains(name)) {
            text = values.value(name).toString();
            break;
        }
        if (const std::optional<QString> value = joinedValue(values, name)) {
            text = *value;
            break;
        }
        const int dot = current.lastIndexOf(QLatin1Char('.'));
        const Suffix suffix = dot > 0 ? suffixOf(current.mid(dot + 1)) : Suffix::Unknown;
        if (suffix == Suffix::Unknown) {
            if (suffixes.isEmpty()) {
                return std::nullopt;
            }
            break; // a transform of a missing source: empty text
        }
        if (suffixes.size() == maxSuffixes) {
            return std::nullopt;
        }
        suffixes.append(suffix);
        current = current.left(dot);
    }
    for (auto it = suffixes.crbegin(); it != suffixes.crend(); ++it) {
        text = apply(*it, text);
    }
    return text;
}

QString text(const QHash<QString, QVariant> &values, const QString &key)
{
    return find(values, key).value_or(QString());
}

bool isDerivedKey(const QString &key)
{
    return find(QHash<QString, QVariant>(), key).has_value();
}

} // namespace DerivedValues

#include "fill/selectmatcher.h"

#include <QRegularExpression>

#include <functional>

namespace SelectMatcher {

namespace {

struct Prefecture
{
    const char16_t *name;
    const char *latin;
};

// In code order: the index plus one is the code (JIS X 0401).
constexpr Prefecture prefectures[] = {
    {u"北海道", "hokkaido"}, {u"青森県", "aomori"},      {u"岩手県", "iwate"},     {u"宮城県", "miyagi"},
    {u"秋田県", "akita"},    {u"山形県", "yamagata"},    {u"福島県", "fukushima"}, {u"茨城県", "ibaraki"},
    {u"栃木県", "tochigi"},  {u"群馬県", "gunma"},       {u"埼玉県", "saitama"},   {u"千葉県", "chiba"},
    {u"東京都", "tokyo"},    {u"神奈川県", "kanagawa"},  {u"新潟県", "niigata"},   {u"富山県", "toyama"},
    {u"石川県", "ishikawa"}, {u"福井県", "fukui"},       {u"山梨県", "yamanashi"}, {u"長野県", "nagano"},
    {u"岐阜県", "gifu"},     {u"静岡県", "shizuoka"},    {u"愛知県", "aichi"},     {u"三重県", "mie"},
    {u"滋賀県", "shiga"},    {u"京都府", "kyoto"},       {u"大阪府", "osaka"},     {u"兵庫県", "hyogo"},
    {u"奈良県", "nara"},     {u"和歌山県", "wakayama"},  {u"鳥取県", "tottori"},   {u"島根県", "shimane"},
    {u"岡山県", "okayama"},  {u"広島県", "hiroshima"},   {u"山口県", "yamaguchi"}, {u"徳島県", "tokushima"},
    {u"香川県", "kagawa"},   {u"愛媛県", "ehime"},       {u"高知県", "kochi"},     {u"福岡県", "fukuoka"},
    {u"佐賀県", "saga"},     {u"長崎県", "nagasaki"},    {u"熊本県", "kumamoto"},  {u"大分県", "oita"},
    {u"宮崎県", "miyazaki"}, {u"鹿児島県", "kagoshima"}, {u"沖縄県", "okinawa"},
};
constexpr int prefectureCount = int(sizeof prefectures / sizeof prefectures[0]);

struct Era
{
    const char16_t *name;
    char letter;
    const char *latin;
    const char *latinLong; // the spelling with a long vowel written out
    int firstYear;
};

constexpr Era eras[] = {
    {u"明治", 'm', "meiji", "meiji", 1868},  {u"大正", 't', "taisho", "taishou", 1912},
    {u"昭和", 's', "showa", "shouwa", 1926}, {u"平成", 'h', "heisei", "heisei", 1989},
    {u"令和", 'r', "reiwa", "reiwa", 2019},
};

// Full and half width, case and every kind of space fold away, so that "東京都 ", "ＴＯＫＹＯ" and
// "tokyo" compare equal. NFKC also turns half-width katakana into full width.
QString fold(const QString &text)
{
    QString folded = text.normalized(QString::NormalizationForm_KC).toLower();
    static const QRegularExpression spaces(QStringLiteral("\\s+"));
    folded.remove(spaces);
    return folded;
}

bool isPlaceholder(const Option &option)
{
    const QString text = fold(option.text);
    if (option.value.trimmed().isEmpty()) {
        return true;
    }
    static const QRegularExpression prompt(
        QStringLiteral("選択|選んで|^-+$|^—+$|^[-ー－]*(please)?(select|choose)"));
    return prompt.match(text).hasMatch();
}

// A whole number written alone, with or without zero padding and an optional unit; -1 otherwise.
int plainNumber(const QString &folded, const QString &unit)
{
    static const QRegularExpression number(QStringLiteral("^0*(\\d{1,4})$"));
    QString text = folded;
    if (!unit.isEmpty() && text.endsWith(unit)) {
        text.chop(unit.size());
    }
    const QRegularExpressionMatch m = number.match(text);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

int eraIndex(const QString &folded)
{
    for (int i = 0; i < 5; ++i) {
        const Era &era = eras[i];
        if (folded.contains(QString::fromUtf16(era.name)) || folded == QString(QLatin1Char(era.letter))
            || folded == QLatin1String(era.latin) || folded == QLatin1String(era.latinLong)) {
            return i;
        }
    }
    return -1;
}

// "昭和60年", "S60", "平成元年" → the Gregorian year; 0 when the text is no era year.
int gregorianOfEraText(const QString &folded)
{
    static const QRegularExpression eraYear(
        QStringLiteral("(明治|大正|昭和|平成|令和|^[mtshr])(\\d{1,2}|元)年?"));
    const QRegularExpressionMatch m = eraYear.match(folded);
    if (!m.hasMatch()) {
        return 0;
    }
    const int era = eraIndex(m.captured(1));
    const int year = m.captured(2) == QStringLiteral("元") ? 1 : m.captured(2).toInt();
    return era < 0 || year < 1 ? 0 : eras[era].firstYear + year - 1;
}

// The Gregorian year an option or value stands for: its four-digit number ("1985", "1985年（昭和60年）"),
// else its era year; 0 when none.
int yearOf(const QString &folded)
{
    static const QRegularExpression fourDigits(QStringLiteral("(?<!\\d)(\\d{4})(?!\\d)"));
    const QRegularExpressionMatch m = fourDigits.match(folded);
    return m.hasMatch() ? m.captured(1).toInt() : gregorianOfEraText(folded);
}

int eraYearOf(const QString &folded)
{
    QString text = folded;
    if (eraIndex(text) >= 0) {
        static const QRegularExpression eraNames(QStringLiteral("明治|大正|昭和|平成|令和"));
        text.remove(eraNames);
    }
    if (text == QStringLiteral("元") || text == QStringLiteral("元年")) {
        return 1;
    }
    return plainNumber(text, QStringLiteral("年"));
}

// 1–12 for an English month name or its three-letter abbreviation; 0 otherwise.
int monthNameOf(const QString &folded)
{
    static const char *const names[] = {"january",   "february", "march",    "april",
                                        "may",       "june",     "july",     "august",
                                        "september", "october",  "november", "december"};
    QString text = folded;
    if (text.endsWith(QLatin1Char('.'))) {
        text.chop(1);
    }
    for (int i = 0; i < 12; ++i) {
        const QLatin1String name(names[i]);
        if (text == name || (text.size() == 3 && name.startsWith(text))) {
            return i + 1;
        }
    }
    return 0;
}

// The first option whose text (or value) is the same as the value sought.
int firstOption(const QVector<Option> &options, bool byText, const std::function<bool(const QString &)> &same)
{
    for (int i = 0; i < options.size(); ++i) {
        if (!isPlaceholder(options[i]) && same(fold(byText ? options[i].text : options[i].value))) {
            return i;
        }
    }
    return -1;
}

// Option text first, then option value, each over all options.
int matchByText(const QVector<Option> &options, const std::function<bool(const QString &)> &same)
{
    const int byText = firstOption(options, true, same);
    return byText >= 0 ? byText : firstOption(options, false, same);
}

} // namespace

Kind kindForKey(const QString &key)
{
    if (key == QStringLiteral("pref") || key == QStringLiteral("prefE")) {
        return Kind::Prefecture;
    }
    if (key == QStringLiteral("year")) {
        return Kind::Year;
    }
    if (key == QStringLiteral("month")) {
        return Kind::Month;
    }
    if (key == QStringLiteral("day")) {
        return Kind::Day;
    }
    if (key == QStringLiteral("birthEra")) {
        return Kind::Era;
    }
    if (key == QStringLiteral("birthEraYear")) {
        return Kind::EraYear;
    }
    return Kind::Plain;
}

int prefectureCode(const QString &text, bool allowCode)
{
    QString folded = fold(text);
    if (folded.isEmpty()) {
        return 0;
    }
    if (allowCode) {
        const int code = plainNumber(folded, QString());
        if (code >= 1 && code <= prefectureCount) {
            return code;
        }
    }
    const bool latin = folded.at(0).unicode() < 0x80;
    if (latin) {
        static const QRegularExpression latinSuffix(QStringLiteral("(prefecture|-ken|-fu|-to|-do)$"));
        folded.remove(latinSuffix);
        folded.remove(QLatin1Char('-'));
    }
    for (int i = 0; i < prefectureCount; ++i) {
        if (latin) {
            if (folded == QLatin1String(prefectures[i].latin)) {
                return i + 1;
            }
            continue;
        }
        const QString name = QString::fromUtf16(prefectures[i].name);
        if (folded == name || folded == name.left(name.size() - 1)) {
            return i + 1;
        }
    }
    return 0;
}

QString prefectureName(int code)
{
    return code >= 1 && code <= prefectureCount ? QString::fromUtf16(prefectures[code - 1].name) : QString();
}

int match(const QVector<Option> &options, const QString &value, Kind kind)
{
    const QString wanted = fold(value);
    if (wanted.isEmpty()) {
        return -1;
    }
    switch (kind) {
    case Kind::Prefecture: {
        const int code = prefectureCode(value, true);
        if (code == 0) {
            break;
        }
        const auto named = [code](const QString &folded) { return prefectureCode(folded, false) == code; };
        int found = matchByText(options, named);
        if (found < 0) {
            found = firstOption(options, false, [code](const QString &folded) {
                const int number = plainNumber(folded, QString());
                return number == code;
            });
        }
        return found;
    }
    case Kind::Year: {
        const int year = yearOf(wanted);
        if (year <= 0) {
            break;
        }
        return matchByText(options, [year](const QString &folded) { return yearOf(folded) == year; });
    }
    case Kind::Month:
        if (const int month = plainNumber(wanted, QStringLiteral("月")); month >= 1 && month <= 12) {
            const int found = matchByText(options, [month](const QString &folded) {
                return plainNumber(folded, QStringLiteral("月")) == month || monthNameOf(folded) == month;
            });
            if (found >= 0) {
                return found;
            }
        }
        break;
    case Kind::Day: {
        const QString unit = QStringLiteral("日");
        const int number = plainNumber(wanted, unit);
        if (number <= 0) {
            break;
        }
        return matchByText(
            options, [number, unit](const QString &folded) { return plainNumber(folded, unit) == number; });
    }
    case Kind::Era: {
        const int era = eraIndex(wanted);
        if (era < 0) {
            break;
        }
        return matchByText(options, [era](const QString &folded) { return eraIndex(folded) == era; });
    }
    case Kind::EraYear: {
        const int year = eraYearOf(wanted);
        if (year <= 0) {
            break;
        }
        return matchByText(options, [year](const QString &folded) { return eraYearOf(folded) == year; });
    }
    case Kind::Plain:
        break;
    }
    return matchByText(options, [&wanted](const QString &folded) { return folded == wanted; });
}

} // namespace SelectMatcher

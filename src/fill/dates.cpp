#include "fill/recognizer_p.h"

// Dates of birth: the parts of a split one, the form of one box, the era in the era's controls.

namespace FieldRecognizer {
namespace Internal {

namespace {

// A box for the whole date in the era's years, by its example (例：昭和60年4月1日); empty when none.
QString eraDateKey(const Field &field)
{
    static const QRegularExpression example(
        QStringLiteral("(明治|大正|昭和|平成|令和)\\s*([0-9０-９]{1,2}|元)\\s*年\\s*[0-9０-９]{1,2}\\s*月\\s*"
                       "[0-9０-９]{1,2}\\s*日"));
    for (const QString *text :
         {&field.placeholder, &field.textAfter, &field.title, &field.label, &field.textBefore}) {
        const QRegularExpressionMatch match = example.match(text->left(120));
        if (match.hasMatch()) {
            static const QRegularExpression fullWidth(QStringLiteral("[０-９]"));
            return fullWidth.match(match.captured(0)).hasMatch() ? QStringLiteral("birthDateEra.fullWidth")
                                                                 : QStringLiteral("birthDateEra");
        }
    }
    return QString();
}

} // namespace

// A single box for the date of birth: the form its example shows, else ISO.
QString dateKey(const Field &field, QString &refusal)
{
    if (typeOf(field) == QStringLiteral("date")) {
        return QStringLiteral("birthDate");
    }
    const QString shown =
        (field.placeholder.left(80) + QLatin1Char(' ') + field.textAfter.left(80) + QLatin1Char(' ')
         + field.title.left(80) + QLatin1Char(' ') + field.label.left(80) + QLatin1Char(' ')
         + field.rowLabel.left(80) + QLatin1Char(' ') + field.column.left(80))
            .normalized(QString::NormalizationForm_KC);
    static const QRegularExpression slashed(QStringLiteral("\\b(\\d{4})/(\\d{1,2})/(\\d{1,2})\\b"));
    static const QRegularExpression dmy(QStringLiteral("\\b(\\d{2})/(\\d{2})/(\\d{4})\\b|dd/mm/yyyy"));
    static const QRegularExpression ymdWords(QStringLiteral("yyyy/mm/dd"));
    static const QRegularExpression mdyWords(QStringLiteral("mm/dd/yyyy"));
    static const QRegularExpression dashed(QStringLiteral("\\b\\d{4}-\\d{2}-\\d{2}\\b|yyyy-mm-dd"));
    static const QRegularExpression eightDigits(QStringLiteral("(?<!\\d)\\d{8}(?!\\d)|yyyymmdd"));
    const QString lower = shown.toLower();
    if (mdyWords.match(lower).hasMatch()) {
        return QStringLiteral("birthDateMDY");
    }
    if (dmy.match(lower).hasMatch()) {
        return QStringLiteral("birthDateDMY");
    }
    if (slashed.match(lower).hasMatch() || ymdWords.match(lower).hasMatch()) {
        return QStringLiteral("birthDateSlashed");
    }
    if (dashed.match(lower).hasMatch()) {
        return QStringLiteral("birthDate");
    }
    if (field.maxLength == 8 || eightDigits.match(lower).hasMatch()) {
        return QStringLiteral("birthDate.digits");
    }
    const QString era = eraDateKey(field);
    if (!era.isEmpty()) {
        return era;
    }
    if (shown.contains(QStringLiteral("年"))) {
        refusal = QStringLiteral("date written in another form: ") + shown.simplified().left(30);
        return QString();
    }
    if (field.maxLength >= 0 && field.maxLength < 10) {
        refusal = QStringLiteral("maxlength too short for a date");
        return QString();
    }
    return QStringLiteral("birthDate");
}

bool isEraText(const QString &text)
{
    static const QRegularExpression era(QStringLiteral("^(明治|大正|昭和|平成|令和|[mtshr])$"));
    return era.match(fold(text)).hasMatch();
}

// Birth: era, year, month, day in this order wherever the controls themselves do not say.
void splitBirthRun(const Run &run, const QVector<Field> &fields, QVector<Reading> &readings,
                   QVector<QString> &notes)
{
    const int size = run.members.size();
    bool hasEra = false;
    for (int i : run.members) {
        hasEra = hasEra || readings[i].concept == Concept::Era;
    }
    const QVector<Concept> order =
        hasEra ? QVector<Concept>{Concept::Era, Concept::EraYear, Concept::Month, Concept::Day}
               : QVector<Concept>{Concept::Year, Concept::Month, Concept::Day};
    const bool positional = size == order.size();
    if (size == 1 && readings[run.members.first()].concept == Concept::BirthAny) {
        readings[run.members.first()].concept = Concept::BirthDate; // 生年月日 in one box
    }
    bool eraChosen = false; // an era select came before in the run
    for (int p = 0; p < size; ++p) {
        Reading &r = readings[run.members[p]];
        const Field &f = fields[run.members[p]];
        // After the era's own select, a box said to be 和暦 asks for the year within it.
        if (r.concept == Concept::Era && !isSelect(f) && eraChosen) {
            r.concept = Concept::EraYear;
        }
        eraChosen = eraChosen || (r.concept == Concept::Era && isSelect(f));
        // A year beside an era control counts within the era; a two-digit box too.
        if (r.concept == Concept::Year
            && ((hasEra && (positional ? p == 1 : true))
                || (!isSelect(f) && f.maxLength > 0 && f.maxLength <= 2))) {
            r.concept = Concept::EraYear;
        }
        if (r.concept == Concept::BirthAny && positional) {
            r.concept = order[p];
            notes[run.members[p]] = QStringLiteral(", box %1 of %2").arg(p + 1).arg(size);
        }
    }
}

QString eraKey(const Field &field)
{
    // A text box for the date in the era's years (和暦で, 例：昭和60年4月1日) takes all of it.
    QString key = isSelect(field) || isRadio(field) ? QString() : eraDateKey(field);
    if (key.isEmpty()) {
        key = QStringLiteral("birthEra");
    }
    return key;
}

// An era alone, with no year of the era filled beside it, is half a date: leave it.
void leaveErasWithoutYear(const QVector<Field> &fields, QVector<Decision> &decisions)
{
    for (int i = 0; i < decisions.size(); ++i) {
        if (decisions[i].key != QLatin1String("birthEra")) {
            continue;
        }
        bool year = false;
        for (int j = i + 1; j < qMin(i + 8, decisions.size()) && !year; ++j) {
            year = fields[j].form == fields[i].form
                   && decisions[j].key.startsWith(QLatin1String("birthEraYear"));
        }
        if (!year) {
            decisions[i].key.clear();
            decisions[i].check = false;
            decisions[i].evidence = QStringLiteral("an era without its year");
        }
    }
}

// The other radio buttons of an era group take the same key: the value picks the button.
void copyToEraGroups(const QVector<Field> &fields, const QHash<int, int> &sameGroupAs,
                     QVector<Decision> &decisions)
{
    for (auto it = sameGroupAs.cbegin(); it != sameGroupAs.cend(); ++it) {
        const Decision &first = decisions[it.value()];
        if (first.fills() && !fields[it.key()].disabled) {
            decisions[it.key()] = first;
        }
    }
}

} // namespace Internal
} // namespace FieldRecognizer

#include "fill/recognizer_p.h"

// Postal codes and phone numbers: the boxes a split one takes, the form a single box takes it in, and
// which of several phone rows takes the one stored number.

namespace FieldRecognizer {
namespace Internal {

namespace {

// The key for a single box holding a postal code or phone number: with hyphens as stored, digits
// only, or empty when neither fits.
QString joinedKey(const Field &field, const QString &key, const QStringList &hyphenated,
                  const QStringList &digitsOnly, int hyphenLength, int digitLength, QString &note)
{
    bool hyphen = typeOf(field) != QStringLiteral("number");
    bool digits = true;
    if (field.maxLength >= 0) {
        hyphen = hyphen && field.maxLength >= hyphenLength;
        digits = field.maxLength >= digitLength;
        note = QStringLiteral(", maxlength %1").arg(field.maxLength);
    }
    if (!field.pattern.isEmpty()) {
        hyphen = hyphen && patternAccepts(field.pattern, hyphenated);
        digits = digits && patternAccepts(field.pattern, digitsOnly);
        note += QStringLiteral(", pattern");
    }
    const QString shown = field.placeholder.normalized(QString::NormalizationForm_KC);
    static const QRegularExpression digitRun(QStringLiteral("\\d{5,}"));
    const QString notes = ownTexts(field);
    const bool saysNoHyphen = table().noHyphen.containedIn(notes);
    const bool saysHyphen = table().hyphen.containedIn(notes);
    const bool prefersDigits =
        !saysHyphen
        && (saysNoHyphen || (!shown.contains(QLatin1Char('-')) && digitRun.match(shown).hasMatch()));
    if (digits && (prefersDigits || !hyphen)) {
        if (prefersDigits) {
            note += saysNoHyphen ? QStringLiteral(", no hyphen") : QStringLiteral(", placeholder");
        }
        return key + QStringLiteral(".digits");
    }
    return hyphen ? key : QString();
}

// Whether the control comes right after a country-code select standing on Japan's +81.
bool afterCountryCode(const QVector<Field> &fields, int i)
{
    for (int k = i - 1; k >= 0 && k >= i - 2; --k) {
        const Field &f = fields[k];
        if (isSelect(f) && f.selectedIndex >= 0 && f.selectedIndex < f.options.size()) {
            const PageControl::Option &chosen = f.options[f.selectedIndex];
            return chosen.value.trimmed() == QLatin1String("+81")
                   || chosen.text.startsWith(QLatin1String("+81"));
        }
    }
    return false;
}

} // namespace

// A numbered or labelled first box followed by unlabelled boxes after a hyphen: 〒[ ]-[ ],
// 電話[ ]-[ ]-[ ].
void continueAfterHyphens(const QVector<Field> &fields, const QVector<int> &candidates,
                          QVector<Reading> &readings)
{
    for (int c = 1; c < candidates.size(); ++c) {
        Reading &here = readings[candidates[c]];
        const Reading &before = readings[candidates[c - 1]];
        const Field &field = fields[candidates[c]];
        static const QRegularExpression hyphen(QStringLiteral("^[-－−‐‑–—―ｰー]$"));
        if (here.concept == Concept::None && here.refusal == QStringLiteral("no evidence")
            && (before.concept == Concept::Postal || before.concept == Concept::Phone)
            && hyphen.match(field.textBefore.trimmed()).hasMatch()) {
            here.concept = before.concept;
            here.evidence = QStringLiteral("after ") + before.evidence;
            here.refusal.clear();
            here.mobile = before.mobile;
            here.landline = before.landline;
        }
    }
}

void splitNumberRun(const Run &run, const QVector<Field> &fields, QVector<Reading> &readings,
                    QVector<QString> &keys, QVector<QString> &notes)
{
    const int size = run.members.size();
    const Concept concept = readings[run.members.first()].concept;
    const int parts = concept == Concept::Postal ? 2 : 3;
    const QString key = concept == Concept::Postal ? QStringLiteral("zipcode") : QStringLiteral("telephone");
    if (size == 1) {
        return; // a single box: postalKey or phoneKey
    }
    if (size != parts) {
        for (int i : run.members) {
            readings[i].refusal = QStringLiteral("%1 boxes for a value in %2 parts").arg(size).arg(parts);
        }
        return;
    }
    for (int p = 0; p < size; ++p) {
        const int i = run.members[p];
        const int needed = concept == Concept::Postal ? (p == 0 ? 3 : 4) : 2;
        if (fields[i].maxLength >= 0 && fields[i].maxLength < needed) {
            readings[i].refusal = QStringLiteral("maxlength %1 too short").arg(fields[i].maxLength);
            continue;
        }
        if (readings[i].part > 0 && readings[i].part != p + 1) {
            readings[i].refusal = QStringLiteral("numbered out of order");
            continue;
        }
        keys[i] = key + QStringLiteral(".part%1").arg(p + 1);
        notes[i] = QStringLiteral(", box %1 of %2").arg(p + 1).arg(size);
    }
}

QString postalKey(const Field &field, Reading &r, QString &note)
{
    if (r.part > 0) {
        r.refusal = QStringLiteral("a lone box of a split postal code");
        return QString();
    }
    const QString key = joinedKey(field, QStringLiteral("zipcode"), {QStringLiteral("123-4567")},
                                  {QStringLiteral("1234567")}, 8, 7, note);
    if (key.isEmpty()) {
        r.refusal = QStringLiteral("no form of the postal code fits") + note;
    }
    return key;
}

QString phoneKey(const QVector<Field> &fields, int i, Reading &r, QString &note)
{
    const Field &field = fields[i];
    if (r.part > 0) {
        r.refusal = QStringLiteral("a lone box of a split phone number");
        return QString();
    }
    if (afterCountryCode(fields, i) || table().noTrunkZero.containedIn(ownTexts(field))) {
        // The number after +81: without its leading 0.
        const QString key =
            joinedKey(field, QStringLiteral("telephone"),
                      {QStringLiteral("3-1234-5678"), QStringLiteral("90-1234-5678")},
                      {QStringLiteral("312345678"), QStringLiteral("9012345678")}, 12, 10, note);
        if (!key.isEmpty()) {
            note += QStringLiteral(", after a country code");
            return key + QStringLiteral(".noTrunkZero");
        }
    }
    const QString key = joinedKey(
        field, QStringLiteral("telephone"), {QStringLiteral("03-1234-5678"), QStringLiteral("090-1234-5678")},
        {QStringLiteral("0312345678"), QStringLiteral("09012345678")}, 13, 11, note);
    if (key.isEmpty()) {
        r.refusal = QStringLiteral("no form of the phone number fits") + note;
    }
    return key;
}

// One stored number, home and mobile rows: the row it fits, else the first that does not misfit.
void chooseFromPhoneRows(const QVector<Field> &fields, const QVector<Run> &runs, QVector<Reading> &readings,
                         QVector<QString> &keys, bool mobilePhone)
{
    QHash<QString, QVector<QVector<int>>> phoneRows;
    for (const Run &run : qAsConst(runs)) {
        if (readings[run.members.first()].concept == Concept::Phone
            && readings[run.members.first()].refusal.isEmpty()) {
            phoneRows[fields[run.members.first()].form].append(run.members);
        }
    }
    for (const QVector<QVector<int>> &rows : qAsConst(phoneRows)) {
        // Rows that do not say whose line they are (the same block repeated) all take the number.
        const bool kinds = std::any_of(rows.cbegin(), rows.cend(), [&](const QVector<int> &row) {
            return readings[row.first()].mobile || readings[row.first()].landline;
        });
        if (rows.size() < 2 || !kinds) {
            continue;
        }
        const auto fits = [&](const QVector<int> &row) {
            const Reading &r = readings[row.first()];
            return mobilePhone ? r.mobile && !r.landline : r.landline && !r.mobile;
        };
        const auto misfits = [&](const QVector<int> &row) {
            const Reading &r = readings[row.first()];
            return mobilePhone ? r.landline && !r.mobile : r.mobile && !r.landline;
        };
        int chosen = -1;
        for (int k = 0; k < rows.size() && chosen < 0; ++k) {
            if (fits(rows[k])) {
                chosen = k;
            }
        }
        for (int k = 0; k < rows.size() && chosen < 0; ++k) {
            if (!misfits(rows[k])) {
                chosen = k;
            }
        }
        for (int k = 0; k < rows.size(); ++k) {
            if (k == chosen) {
                continue;
            }
            for (int i : rows[k]) {
                readings[i].refusal = QStringLiteral("the number belongs in another phone row");
                keys[i].clear();
            }
        }
    }
}

} // namespace Internal
} // namespace FieldRecognizer

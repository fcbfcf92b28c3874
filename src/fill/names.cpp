#include "fill/recognizer_p.h"

// Names: which box of a name row holds the family name, the given name or the whole name, and the form
// of the whole name in one box.

namespace FieldRecognizer {
namespace Internal {

namespace {

// One box for the whole name or reading: the separator its example shows.
QString nameSeparator(const Field &field, const QString &key)
{
    if (key.contains(QLatin1Char('E'))) {
        return key;
    }
    if (table().noSpaces.containedIn(ownTexts(field))
        || (!field.pattern.isEmpty() && !patternAccepts(field.pattern, {QStringLiteral("ヤマダ　ハナコ")})
            && !patternAccepts(field.pattern, {QStringLiteral("ヤマダ ハナコ")})
            && patternAccepts(field.pattern, {QStringLiteral("ヤマダハナコ")}))) {
        return key + QStringLiteral(".noSpaces");
    }
    const QString shown = field.placeholder.left(80).normalized(QString::NormalizationForm_KC).trimmed();
    static const QRegularExpression example(QStringLiteral("(?:例|例え?ば|ex)[\\s:)]*(\\S+)( ?)(\\S*)"));
    const QRegularExpressionMatch m = example.match(shown);
    if (!m.hasMatch() || !hasJapanese(m.captured(1)) || key.contains(QLatin1Char('E'))) {
        return key;
    }
    if (m.captured(3).isEmpty()) {
        return key + QStringLiteral(".noSpaces");
    }
    if (!field.placeholder.contains(QChar(0x3000))) {
        return key + QStringLiteral(".asciiSpaces");
    }
    return key;
}

bool isNumericType(const Field &field)
{
    const QString type = typeOf(field);
    return type == QStringLiteral("number") || type == QStringLiteral("tel");
}

// A family or given name by its number alone needs its other part beside it: one お名前 box named
// name_2 takes the whole name.
void wholeNameWhenAlone(const QVector<Field> &fields, const QVector<int> &candidates,
                        QVector<Reading> &readings)
{
    for (int c = 0; c < candidates.size(); ++c) {
        Reading &here = readings[candidates[c]];
        if (!here.numberedName
            || (here.concept != Concept::FamilyName && here.concept != Concept::GivenName)) {
            continue;
        }
        const auto partner = [&](int other) {
            if (other < 0 || other >= candidates.size()) {
                return false;
            }
            const Reading &r = readings[candidates[other]];
            return (r.concept == Concept::FamilyName || r.concept == Concept::GivenName)
                   && r.concept != here.concept && r.script == here.script
                   && fields[candidates[other]].form == fields[candidates[c]].form;
        };
        if (!partner(c - 1) && !partner(c + 1)) {
            here.concept = Concept::FullName;
            here.evidence += QStringLiteral(", numbered but alone");
        }
    }
}

// Two boxes side by side under one name label (お名前 [ ] [ ], フリガナ [ ] [ ]): the family name in
// the first, the given name in the second. Only when the second box says nothing of itself and
// nothing stands between them, and no third such box follows. Not on English pages, where the given
// name often comes first.
void splitUnderOneLabel(const QVector<Field> &fields, const QVector<int> &candidates,
                        QVector<Reading> &readings, bool english)
{
    const auto silent = [&](int c) {
        const Field &f = fields[candidates[c]];
        return readings[candidates[c]].concept == Concept::None
               && readings[candidates[c]].refusal == QStringLiteral("no evidence")
               && f.textBefore.trimmed().isEmpty() && f.label.isEmpty() && f.ariaLabel.isEmpty()
               && f.labelledBy.isEmpty() && f.title.isEmpty() && !isSelect(f) && !isTextArea(f)
               && !isRadio(f);
    };
    for (int c = 1; c < candidates.size() && !english; ++c) {
        Reading &here = readings[candidates[c]];
        Reading &before = readings[candidates[c - 1]];
        const Field &a = fields[candidates[c - 1]];
        const Field &b = fields[candidates[c]];
        if (before.script == Script::Latin) {
            continue;
        }
        if (before.concept == Concept::FullName && before.refusal.isEmpty() && !before.fromRowOnly
            && !isSelect(a) && !isTextArea(a) && a.form == b.form && a.rowLabel == b.rowLabel && silent(c)
            && !(c + 1 < candidates.size() && silent(c + 1))) {
            before.concept = Concept::FamilyName;
            before.evidence += QStringLiteral(", first of two boxes");
            here.concept = Concept::GivenName;
            here.script = before.script;
            here.upper = before.upper;
            here.refusal.clear();
            here.evidence = QStringLiteral("beside ") + before.evidence;
        } else if (before.concept == Concept::FullName && before.refusal.isEmpty() && !before.fromRowOnly
                   && here.concept == Concept::GivenName && here.refusal.isEmpty()
                   && (here.script == before.script || here.script == Script::Unspecified)
                   && b.textBefore.trimmed().isEmpty() && b.label.isEmpty() && !isSelect(a) && !isTextArea(a)
                   && a.form == b.form && a.rowLabel == b.rowLabel) {
            // フリガナ [ ] [メイ]: the label names the pair, the second box its own part.
            before.concept = Concept::FamilyName;
            before.evidence += QStringLiteral(", before a given name");
            here.script = before.script;
        }
    }
}

// A name box right after a family-name box of its row is the given name (契約者 名 reads as a whole
// name by itself).
void givenAfterFamily(const QVector<Field> &fields, const QVector<int> &candidates,
                      QVector<Reading> &readings)
{
    for (int c = 1; c < candidates.size(); ++c) {
        Reading &here = readings[candidates[c]];
        const Reading &before = readings[candidates[c - 1]];
        const Field &a = fields[candidates[c - 1]];
        const Field &b = fields[candidates[c]];
        if (here.concept == Concept::FullName && before.concept == Concept::FamilyName
            && here.script == before.script && a.rowLabel == b.rowLabel && a.form == b.form
            && here.refusal.isEmpty()) {
            here.concept = Concept::GivenName;
            here.evidence += QStringLiteral(", after a family name");
        }
    }
}

} // namespace

QString nameKey(Concept concept, Script script)
{
    const QString base = concept == Concept::FamilyName  ? QStringLiteral("familyName")
                         : concept == Concept::GivenName ? QStringLiteral("lastName")
                                                         : QStringLiteral("fullName");
    switch (script) {
    case Script::Unspecified:
        return base;
    case Script::Katakana:
        return base + QLatin1Char('K');
    case Script::Hiragana:
        return base + QStringLiteral("K.hiragana");
    case Script::HalfwidthKana:
        return base + QStringLiteral("K.halfwidthKana");
    case Script::Latin:
        return base + QLatin1Char('E');
    }
    return base;
}

void settleNameParts(const QVector<Field> &fields, const QVector<int> &candidates, QVector<Reading> &readings,
                     bool english)
{
    wholeNameWhenAlone(fields, candidates, readings);
    splitUnderOneLabel(fields, candidates, readings, english);
    givenAfterFamily(fields, candidates, readings);
}

void splitNameRun(const Run &run, const QVector<Reading> &readings, QVector<QString> &keys,
                  QVector<QString> &notes)
{
    const int size = run.members.size();
    if (size == 2) {
        keys[run.members[0]] = nameKey(Concept::FamilyName, readings[run.members[0]].script);
        keys[run.members[1]] = nameKey(Concept::GivenName, readings[run.members[1]].script);
        notes[run.members[0]] = QStringLiteral(", box 1 of 2");
        notes[run.members[1]] = QStringLiteral(", box 2 of 2");
    }
}

// A name known from its name attribute alone, in a form of nothing else personal: a search box.
void leaveLoneNameBoxes(const QVector<Field> &fields, const QVector<int> &candidates,
                        QVector<Reading> &readings)
{
    for (int i : qAsConst(candidates)) {
        if (categoryOf(readings[i].concept) != Category::Name || !readings[i].fromNameOnly) {
            continue;
        }
        bool others = false, personal = false;
        for (int other = 0; other < fields.size(); ++other) {
            if (other != i && fields[other].form == fields[i].form) {
                others = true;
                personal = personal
                           || (readings[other].concept != Concept::None && readings[other].refusal.isEmpty());
            }
        }
        if (others && !personal) {
            readings[i].refusal = QStringLiteral("a name box alone in its form");
        }
    }
}

QString singleNameKey(const Field &field, Reading &r)
{
    if (isNumericType(field) || typeOf(field) == QStringLiteral("email")
        || QStringList{"numeric", "decimal", "tel", "email"}.contains(inputModeOf(field))) {
        r.refusal = QStringLiteral("type %1 for a name").arg(typeOf(field) + inputModeOf(field));
        return QString();
    }
    const QString key = nameKey(r.concept, r.script);
    return r.concept == Concept::FullName ? nameSeparator(field, key) : key;
}

} // namespace Internal
} // namespace FieldRecognizer

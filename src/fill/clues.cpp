#include "fill/recognizer_p.h"

#include "fill/selectmatcher.h"

// What a control says about itself: the clues of its autocomplete token, name, id, texts and options,
// weighed into one Reading.

namespace FieldRecognizer {
namespace Internal {

namespace {

// What one piece of evidence says.
struct Clue
{
    Concept concept = Concept::None;
    Script script = Script::Unspecified;
    int part = 0; // 1–3 from numbered names (zip01, tel02); 0 when none
    double weight = 0; // the rule's weight times the source's
    bool weak = false; // 年, 月, 日 and the like: only with other evidence of the same category
    QString source;
    QString evidence;
    bool numberedName = false; // family or given name by its number alone (name01, name02)
};

struct Matched
{
    Concept concept;
    double weight;
    int length;
    bool refine;
};

// The concept a set of matches stands for: the category of the heaviest, then the most specific
// concept in it; two specific ones make a combination ("市区町村・番地") or nothing.
Concept conclude(const QVector<Matched> &matches, double &weight, bool &weak)
{
    const Table &t = table();
    const Matched *best = nullptr;
    for (const Matched &m : matches) {
        if (m.refine) {
            continue;
        }
        // Ties go to a specific concept ("address[zip]" is a postal code), then to the longer word.
        const bool general = t.general.contains(m.concept);
        const bool bestGeneral = best && t.general.contains(best->concept);
        if (!best || m.weight > best->weight
            || (m.weight == best->weight
                && ((bestGeneral && !general) || (bestGeneral == general && m.length > best->length)))) {
            best = &m;
        }
    }
    if (!best) {
        return Concept::None;
    }
    const Category category = categoryOf(best->concept);
    weight = best->weight;
    weak = best->weight < 0.6;
    if (category == Category::Ignore) {
        return best->weight > 0 ? Concept::Ignore : Concept::None;
    }
    QVector<Concept> specific;
    Concept general = Concept::None;
    for (const Matched &m : matches) {
        if (categoryOf(m.concept) != category) {
            continue;
        }
        if (t.general.contains(m.concept)) {
            general = m.concept;
        } else if (!specific.contains(m.concept)) {
            specific.append(m.concept);
            weak = weak && m.weight < 0.6;
        }
    }
    if (specific.isEmpty()) {
        return general;
    }
    if (specific.size() == 1) {
        return specific.first();
    }
    // In the table's order of address parts.
    QStringList names;
    // 小字 and 丁目 are part of the town.
    int covered = 0;
    for (const char *name : {"city", "town", "street", "building", "room", "address"}) {
        const Concept c = conceptNames().value(name);
        const bool present =
            specific.contains(c) || (c == Concept::Address1 && specific.contains(Concept::Address2));
        if (present) {
            names.append(name);
            covered += int(specific.contains(c))
                       + int(c == Concept::Address1 && specific.contains(Concept::Address2));
        }
    }
    const Concept combined = covered == specific.size()
                                 ? t.combinations.value(names.join(QLatin1Char('+')), Concept::None)
                                 : Concept::None;
    // One box for parts no stored or derived value joins: not for us.
    return combined == Concept::None ? Concept::Ignore : combined;
}

Script labelScript(const QString &raw, const QString &folded)
{
    if (hasHalfwidthKana(raw) && !folded.contains(QStringLiteral("ローマ"))) {
        return Script::HalfwidthKana;
    }
    for (const auto &entry : table().scriptLabels) {
        if (entry.second.containedIn(folded)) {
            return entry.first;
        }
    }
    return Script::Unspecified;
}

Clue textClue(const QString &raw, const QString &source)
{
    Clue clue;
    clue.source = source;
    const QString t = fold(raw);
    if (t.isEmpty()) {
        return clue;
    }
    clue.evidence = QStringLiteral("%1 \"%2\"").arg(source, raw.simplified().left(30));
    clue.script = labelScript(raw, t);
    QVector<Matched> matches;
    QString rest = t;
    for (const Rule &rule : table().labels) {
        if (rule.text.isEmpty()) {
            continue;
        }
        if (rule.match == Rule::Exact) {
            if (t == rule.text) {
                matches.append({rule.concept, rule.weight, rule.text.size(), false});
            }
            continue;
        }
        if (rule.match == Rule::Prefix) {
            if (t.startsWith(rule.text)) {
                matches.append({rule.concept, rule.weight, rule.text.size(), false});
            }
            continue;
        }
        const int at = rest.indexOf(rule.text);
        if (at >= 0) {
            matches.append({rule.concept, rule.weight, rule.text.size(), rule.refine});
            rest.replace(at, rule.text.size(), QString(rule.text.size(), QChar(0x1)));
        }
    }
    // Latin words count only as whole words: "hotel" holds no phone, "ethnicity" no city.
    QString words = raw.left(200).normalized(QString::NormalizationForm_KC).toLower().simplified();
    for (const Rule &rule : table().latin) {
        const QRegularExpressionMatch m = rule.latin.match(words);
        if (m.hasMatch()) {
            matches.append({rule.concept, rule.weight, rule.text.size(), false});
            words.replace(m.capturedStart(), m.capturedLength(),
                          QString(m.capturedLength(), QLatin1Char('#')));
        }
    }
    // Refining words ("名" after "氏名" was taken) count within the category decided.
    double weight = 0;
    bool weak = false;
    Concept concept = conclude(matches, weight, weak);
    if (concept == Concept::None && clue.script != Script::Unspecified) {
        concept = Concept::FullName; // a reading or Latin spelling named alone (フリガナ, ローマ字)
        weight = 1;
    }
    if (concept != Concept::None && categoryOf(concept) != Category::Name) {
        clue.script = clue.script == Script::Latin ? Script::Latin : Script::Unspecified;
    }
    if (concept != Concept::None && categoryOf(concept) == Category::Name && concept == Concept::FullName) {
        for (const Matched &m : qAsConst(matches)) {
            if (m.refine && categoryOf(m.concept) == Category::Name) {
                concept = m.concept;
            }
        }
    }
    clue.concept = concept;
    clue.weight = weight * table().sources.value(source, 1);
    clue.weak = weak;
    return clue;
}

Clue tokenClue(const QString &raw, const QString &source)
{
    Clue clue;
    clue.source = source;
    const QStringList words = tokens(raw);
    if (words.isEmpty()) {
        return clue;
    }
    clue.evidence = QStringLiteral("%1 %2").arg(source, raw.left(30));
    for (const QString &w : words) {
        bool ok = false;
        const int n = w.toInt(&ok);
        if (ok) {
            clue.part = n >= 1 && n <= 3 ? n : -1;
        }
    }
    for (const auto &entry : table().scriptTokens) {
        for (const QString &w : words) {
            if (entry.second.contains(w)) {
                if (entry.first == Script::HalfwidthKana) {
                    if (clue.script == Script::Katakana || words.contains(QStringLiteral("kana"))) {
                        clue.script = Script::HalfwidthKana;
                    }
                } else if (clue.script == Script::Unspecified || entry.first == Script::Hiragana) {
                    clue.script = entry.first;
                }
            }
        }
    }
    QVector<Matched> matches;
    QSet<QString> used;
    for (const Rule &rule : table().tokens) {
        const bool all = std::all_of(rule.all.cbegin(), rule.all.cend(), [&](const QString &w) {
            return words.contains(w) && !used.contains(w);
        });
        if (all) {
            matches.append({rule.concept, rule.weight, rule.text.size(), false});
            for (const QString &w : rule.all) {
                used.insert(w);
            }
        }
    }
    double weight = 0;
    bool weak = false;
    Concept concept = conclude(matches, weight, weak);
    if (categoryOf(concept) == Category::Name
        || (concept == Concept::None
            && (clue.script == Script::Katakana || clue.script == Script::Hiragana))) {
        // Name words are common (shop_name, first_visit): every other word must be one that forms
        // use around a person's name.
        for (const QString &w : words) {
            if (!w.at(0).isDigit() && !table().nameFillers.contains(w) && !used.contains(w)) {
                return Clue{Concept::None, Script::Unspecified, 0, 0, false, source, QString()};
            }
        }
        if (concept == Concept::None) {
            concept = Concept::FullName;
            weight = 1;
        }
        // name01 / kana01 are the family name, name02 / kana02 the given name.
        if (concept == Concept::FullName && clue.part == 1) {
            concept = Concept::FamilyName;
            clue.numberedName = true;
        } else if (concept == Concept::FullName && clue.part == 2) {
            concept = Concept::GivenName;
            clue.numberedName = true;
        }
    } else {
        clue.script = clue.script == Script::Latin ? Script::Latin : Script::Unspecified;
    }
    if (concept == Concept::None) {
        clue.evidence.clear();
    }
    clue.concept = concept;
    clue.weight = weight * table().sources.value(source, 1);
    clue.weak = weak;
    return clue;
}

Clue autocompleteClue(const QString &raw)
{
    Clue clue;
    clue.source = QStringLiteral("autocomplete");
    static const QRegularExpression spaces(QStringLiteral("\\s+"));
    QStringList words = raw.left(200).toLower().split(spaces, Qt::SkipEmptyParts);
    while (!words.isEmpty()
           && (words.first().startsWith(QStringLiteral("section-"))
               || words.first() == QStringLiteral("shipping")
               || words.first() == QStringLiteral("billing"))) {
        words.removeFirst();
    }
    if (words.size() > 1) {
        if (words.first() == QStringLiteral("fax") || words.first() == QStringLiteral("pager")) {
            words = QStringList{QStringLiteral("fax")};
        } else {
            words.removeFirst(); // home, work, mobile
        }
    }
    if (words.size() != 1) {
        return clue;
    }
    const QString token = words.first();
    static const QHash<QString, int> parts{{QStringLiteral("tel-area-code"), 1},
                                           {QStringLiteral("tel-local-prefix"), 2},
                                           {QStringLiteral("tel-local-suffix"), 3}};
    const Rule rule = table().autocomplete.value(token, Rule{token, {}, {}, Rule::Exact, 1, Concept::Ignore});
    if (rule.weight <= 0) {
        return clue; // on, off
    }
    clue.evidence = QStringLiteral("autocomplete ") + raw.simplified().left(40);
    clue.concept = rule.concept;
    clue.weight = rule.weight * table().sources.value(clue.source, 10);
    clue.part = parts.value(token);
    return clue;
}

// ---- Select options ----------------------------------------------------------------------------

Clue optionsClue(const Field &field)
{
    Clue clue;
    clue.source = QStringLiteral("options");
    int total = 0, prefectures = 0, eras = 0, years = 0, maxNumber = 0, numbers = 0;
    static const QRegularExpression eraName(QStringLiteral("明治|大正|昭和|平成|令和"));
    static const QRegularExpression fourDigits(QStringLiteral("(?<!\\d)(18|19|20)\\d\\d(?!\\d)"));
    static const QRegularExpression number(QStringLiteral("^0*(\\d{1,2})(月|日|年)?$"));
    for (const SelectMatcher::Option &option : field.options) {
        const QString text = option.text.left(80).normalized(QString::NormalizationForm_KC).simplified();
        if (option.value.trimmed().isEmpty() || text.contains(QStringLiteral("選択"))) {
            continue;
        }
        ++total;
        if (SelectMatcher::prefectureCode(text, false) > 0) {
            ++prefectures;
        }
        if (eraName.match(text).hasMatch() && text.size() <= 6) {
            ++eras;
        }
        if (fourDigits.match(text).hasMatch()) {
            ++years;
        }
        const QRegularExpressionMatch m =
            number.match(text == QStringLiteral("元年") ? QStringLiteral("1") : text);
        if (m.hasMatch()) {
            ++numbers;
            maxNumber = qMax(maxNumber, m.captured(1).toInt());
        }
    }
    const auto is = [&](Concept c, const char *what) {
        clue.concept = c;
        clue.evidence = QStringLiteral("options ") + QLatin1String(what);
        clue.weight = table().sources.value(clue.source, 5);
        return clue;
    };
    if (total == 0) {
        return clue;
    }
    if (prefectures >= 40) {
        return is(Concept::Pref, "prefectures");
    }
    if (eras >= 2 && eras == total) {
        return is(Concept::Era, "eras");
    }
    if (years >= 10 && years * 10 >= total * 9) {
        return is(Concept::Year, "years");
    }
    if (numbers == total && total == 12 && maxNumber == 12) {
        return is(Concept::Month, "months");
    }
    if (numbers == total && total >= 28 && total <= 31 && maxNumber == total) {
        return is(Concept::Day, "days");
    }
    if (numbers == total && total > 31 && maxNumber <= 99) {
        return is(Concept::EraYear, "era years");
    }
    return clue;
}

constexpr int maxPatternLength = 500;

// Scripts a pattern lets through, as a set of bits (1 katakana, 2 hiragana, 4 half-width, 8 Latin).
int patternScripts(const QString &pattern)
{
    int scripts = 0;
    if (pattern.size() > maxPatternLength) {
        return 0; // no form asks for a script at this length: not worth reading
    }
    for (const QChar c : pattern) {
        const ushort u = c.unicode();
        if (u >= 0x30A1 && u <= 0x30FA) {
            scripts |= 1;
        } else if (u >= 0x3041 && u <= 0x3096) {
            scripts |= 2;
        } else if (u >= 0xFF66 && u <= 0xFF9F) {
            scripts |= 4;
        } else if (u >= 0x4E00 && u <= 0x9FFF) {
            return 0; // kanji allowed: no script asked for
        }
    }
    if (scripts == 0
        && (pattern.contains(QStringLiteral("a-z")) || pattern.contains(QStringLiteral("A-Z")))) {
        scripts = 8;
    }
    return scripts;
}

} // namespace

// ---- One field ---------------------------------------------------------------------------------

bool isSelect(const Field &field)
{
    return field.tag.compare(QStringLiteral("SELECT"), Qt::CaseInsensitive) == 0;
}

bool isTextArea(const Field &field)
{
    return field.tag.compare(QStringLiteral("TEXTAREA"), Qt::CaseInsensitive) == 0;
}

QString typeOf(const Field &field)
{
    return isTextArea(field) ? QStringLiteral("textarea") : field.type.trimmed().toLower();
}

bool isRadio(const Field &field)
{
    return !isSelect(field) && typeOf(field) == QStringLiteral("radio");
}

QString inputModeOf(const Field &field)
{
    return field.inputMode.trimmed().toLower();
}

// Why a control is never filled, or empty when it may be.
QString excluded(const Field &field)
{
    if (isSelect(field) || isTextArea(field)) {
        return QString();
    }
    static const QStringList textLike{QString(),
                                      QStringLiteral("text"),
                                      QStringLiteral("search"),
                                      QStringLiteral("tel"),
                                      QStringLiteral("url"),
                                      QStringLiteral("email"),
                                      QStringLiteral("number"),
                                      QStringLiteral("date"),
                                      QStringLiteral("radio")};
    const QString type = typeOf(field);
    // A type HTML does not know is a text box.
    if (!textLike.contains(type) && field.htmlType != QStringLiteral("text")) {
        return QStringLiteral("type ") + type;
    }
    return QString();
}

// A unit written after a box (1985 年, 4 月) reaches us as the text before the next one.
bool isUnit(const QString &text)
{
    static const QRegularExpression unit(QStringLiteral("^(年|月|日)$"));
    return unit.match(text.trimmed()).hasMatch();
}

// What the field's own texts say, for notes: the label, placeholder and what follows the box.
QString ownTexts(const Field &field)
{
    return fold(field.label + QLatin1Char(' ') + field.ariaLabel + QLatin1Char(' ') + field.labelledBy
                + QLatin1Char(' ') + field.title + QLatin1Char(' ') + field.placeholder + QLatin1Char(' ')
                + field.textAfter + QLatin1Char(' ') + field.rowLabel + QLatin1Char(' ') + field.textBefore);
}

bool patternAccepts(const QString &pattern, const QStringList &samples)
{
    if (pattern.size() > maxPatternLength) {
        return true;
    }
    const QRegularExpression whole(QStringLiteral("^(?:") + pattern + QStringLiteral(")$"));
    if (!whole.isValid()) {
        return true; // a pattern we cannot read does not decide
    }
    for (const QString &sample : samples) {
        if (whole.match(sample).hasMatch()) {
            return true;
        }
    }
    return false;
}

namespace {

// The clues of the control's autocomplete token, name, id, options and texts, and of its type.
QVector<Clue> cluesOf(const Field &field, const QString &unitAfter)
{
    QVector<Clue> clues;
    // An id that repeats the name says nothing more.
    clues << autocompleteClue(field.autocomplete) << tokenClue(field.name, QStringLiteral("name"))
          << tokenClue(field.id == field.name ? QString() : field.id, QStringLiteral("id"));
    if (isSelect(field)) {
        clues << optionsClue(field);
    }
    clues << textClue(field.label, QStringLiteral("label"))
          << textClue(field.ariaLabel, QStringLiteral("aria"))
          << textClue(field.labelledBy, QStringLiteral("labelledby"))
          << textClue(field.title, QStringLiteral("title"))
          << textClue(isUnit(field.textBefore) ? QString() : field.textBefore, QStringLiteral("text"))
          << textClue(unitAfter, QStringLiteral("text after"))
          << textClue(field.placeholder, QStringLiteral("placeholder"))
          << textClue(field.rowLabel, QStringLiteral("row"));
    const QString type = typeOf(field);
    if (type == QStringLiteral("email") || inputModeOf(field) == QStringLiteral("email")) {
        clues << Clue{
            Concept::Mail,          Script::Unspecified,         0, table().sources.value("type", 5), false,
            QStringLiteral("type"), QStringLiteral("type email")};
    }
    if (type == QStringLiteral("search")) {
        clues << Clue{
            Concept::Ignore,        Script::Unspecified,          0, table().sources.value("type", 5), false,
            QStringLiteral("type"), QStringLiteral("type search")};
    }
    if (type == QStringLiteral("date")) {
        clues << Clue{Concept::BirthDate,     Script::Unspecified,        0, 1, true,
                      QStringLiteral("type"), QStringLiteral("type date")};
    }

    // A placeholder that shows an example (例）東京都新宿区西新宿1-2-3 ○○マンション101) says what a value
    // looks like, not which part it is, when the control's own texts named it already.
    // So does one that is a street number and more with no 例 to mark the example off (船橋市〇〇町1-2-3
    // 〇〇マンション101, unlike 番地（例：1-3-5）).
    static const QRegularExpression example(QStringLiteral("^\\s*[(（]?(例|e\\.g\\.)"));
    static const QRegularExpression streetNumber(QStringLiteral("\\d\\s*[-－−‐]\\s*\\d"));
    if ((example.match(field.placeholder).hasMatch()
         || (streetNumber.match(field.placeholder).hasMatch()
             && !field.placeholder.contains(QStringLiteral("例"))))
        && std::any_of(clues.cbegin(), clues.cend(), [](const Clue &clue) {
               return clue.concept != Concept::None && clue.source != QLatin1String("placeholder");
           })) {
        clues.erase(
            std::remove_if(clues.begin(), clues.end(),
                           [](const Clue &clue) { return clue.source == QLatin1String("placeholder"); }),
            clues.end());
    }
    return clues;
}

// The form of the value the clues and the pattern ask for: the script, capitals, full width, and
// whether the box is a mobile or a landline one.
void readValueForm(const Field &field, const QVector<Clue> &clues, Reading &reading)
{
    // The script asked for: the pattern decides among what it allows, then texts, then names.
    Script wanted = Script::Unspecified;
    for (int pass = 0; pass < 2 && wanted == Script::Unspecified; ++pass) {
        for (int i = pass == 0 ? 3 : 0; i < (pass == 0 ? clues.size() : 3); ++i) {
            if (clues[i].script != Script::Unspecified) {
                wanted = clues[i].script;
                break;
            }
        }
    }
    const int allowed = patternScripts(field.pattern);
    if (allowed != 0) {
        const int bit = wanted == Script::Katakana        ? 1
                        : wanted == Script::Hiragana      ? 2
                        : wanted == Script::HalfwidthKana ? 4
                        : wanted == Script::Latin         ? 8
                                                          : 0;
        if (!(allowed & bit)) {
            wanted = (allowed & 1)   ? Script::Katakana
                     : (allowed & 2) ? Script::Hiragana
                     : (allowed & 4) ? Script::HalfwidthKana
                                     : Script::Latin;
        }
        reading.evidence += QStringLiteral(", pattern");
    }
    if (wanted == Script::Latin && field.pattern.contains(QStringLiteral("A-Z"))
        && !field.pattern.contains(QStringLiteral("a-z"))) {
        reading.upper = true;
    }
    static const QRegularExpression noAscii(
        QStringLiteral("^\\[\\^(?: -~|\\\\x20-\\\\x7[eE]|\\\\u0020-\\\\u007[eE])\\][+*]?$"));
    reading.fullWidth =
        noAscii.match(field.pattern).hasMatch()
        || fold(field.label + field.rowLabel + field.placeholder + field.textAfter + field.title)
               .contains(QStringLiteral("全角"));
    reading.script = wanted;
    const QString own =
        fold(field.label + QLatin1Char(' ') + field.name + QLatin1Char(' ') + field.id + QLatin1Char(' ')
             + field.ariaLabel + QLatin1Char(' ') + field.labelledBy + QLatin1Char(' ') + field.placeholder
             + QLatin1Char(' ') + field.title + QLatin1Char(' ') + field.rowLabel + QLatin1Char(' ')
             + field.textBefore + QLatin1Char(' ') + field.autocomplete);
    reading.mobile = table().mobile.containedIn(own);
    reading.landline = table().landline.containedIn(own);
}

} // namespace

Reading read(const Field &field, const QString &unitAfter)
{
    Reading reading;
    const QVector<Clue> clues = cluesOf(field, unitAfter);
    // The weight of each category, and whether anything but a weak word speaks for it.
    QHash<Category, double> weights;
    QHash<Category, bool> strong;
    for (const Clue &clue : qAsConst(clues)) {
        if (clue.concept == Concept::None) {
            continue;
        }
        const Category c = categoryOf(clue.concept);
        weights[c] += clue.weight;
        strong[c] = strong.value(c) || !clue.weak;
    }
    if (weights.isEmpty()) {
        reading.refusal = QStringLiteral("no evidence");
        return reading;
    }
    Category best = Category::None;
    double bestWeight = -1, second = 0;
    for (auto it = weights.cbegin(); it != weights.cend(); ++it) {
        if (it.value() > bestWeight) {
            second = qMax(second, bestWeight);
            bestWeight = it.value();
            best = it.key();
        } else {
            second = qMax(second, it.value());
        }
    }
    const auto firstOf = [&](Category c) {
        for (const Clue &clue : qAsConst(clues)) {
            if (clue.concept != Concept::None && categoryOf(clue.concept) == c) {
                return clue.evidence;
            }
        }
        return QString();
    };
    if (best == Category::Ignore) {
        reading.refusal = QStringLiteral("not personal data: ") + firstOf(Category::Ignore);
        return reading;
    }
    if (second > 0 && second >= bestWeight * table().doubt) {
        QStringList sides;
        for (const Clue &clue : qAsConst(clues)) {
            if (clue.concept != Concept::None && categoryOf(clue.concept) != best) {
                sides.append(clue.evidence);
            }
        }
        reading.refusal = QStringLiteral("contradiction: %1 / %2").arg(firstOf(best), sides.value(0));
        return reading;
    }
    if (!strong.value(best)) {
        reading.refusal = QStringLiteral("weak evidence: ") + firstOf(best);
        return reading;
    }
    // The most specific concept of the category, by weight; a general one only when alone.
    // A date row's heading (生年月日（和暦）) speaks for all its boxes: which part a box is, its own
    // texts and name say when they say any.
    const bool ownPart =
        best == Category::Birth && std::any_of(clues.cbegin(), clues.cend(), [&](const Clue &clue) {
            return clue.concept != Concept::None && categoryOf(clue.concept) == best
                   && clue.source != QLatin1String("row") && !table().general.contains(clue.concept);
        });
    QHash<Concept, double> conceptWeights;
    for (const Clue &clue : qAsConst(clues)) {
        if (clue.concept != Concept::None && categoryOf(clue.concept) == best
            && !(ownPart && clue.source == QLatin1String("row"))) {
            conceptWeights[clue.concept] += clue.weight;
        }
    }
    Concept chosen = Concept::None;
    double chosenWeight = -1;
    for (auto it = conceptWeights.cbegin(); it != conceptWeights.cend(); ++it) {
        const bool general = table().general.contains(it.key());
        const bool chosenGeneral = chosen == Concept::None || table().general.contains(chosen);
        if (chosen == Concept::None || (chosenGeneral && !general)
            || (general == chosenGeneral && it.value() > chosenWeight)) {
            chosen = it.key();
            chosenWeight = it.value();
        }
    }
    // A box said to hold more of the address (市区町村・番地) than its name says (addr_city) holds it.
    const QPair<int, int> narrow = partsOf(chosen);
    for (auto it = conceptWeights.cbegin(); it != conceptWeights.cend(); ++it) {
        const QPair<int, int> wide = partsOf(it.key());
        if (narrow.first >= 0 && wide.first >= 0 && wide.first <= narrow.first && wide.second >= narrow.second
            && wide != narrow) {
            chosen = it.key();
        }
    }
    reading.concept = chosen;
    reading.fromRowOnly = true;
    reading.fromNameOnly = true;
    for (const Clue &clue : qAsConst(clues)) {
        if (clue.concept == Concept::None || categoryOf(clue.concept) != best) {
            continue;
        }
        if (reading.evidence.isEmpty() && clue.concept == chosen) {
            reading.evidence = clue.evidence;
        }
        reading.fromRowOnly = reading.fromRowOnly && clue.source == QStringLiteral("row");
        reading.fromNameOnly =
            reading.fromNameOnly
            && (clue.source == QStringLiteral("name") || clue.source == QStringLiteral("id"));
        if (reading.part == 0 && clue.part != 0) {
            reading.part = clue.part;
        }
    }
    // Whether the part of the name rests on a number alone (name_2 may be the page's second field).
    for (const Clue &clue : qAsConst(clues)) {
        if (clue.concept == Concept::FamilyName || clue.concept == Concept::GivenName) {
            if (!clue.numberedName) {
                reading.numberedName = false;
                break;
            }
            reading.numberedName = true;
        }
    }
    readValueForm(field, clues, reading);
    return reading;
}

} // namespace Internal
} // namespace FieldRecognizer

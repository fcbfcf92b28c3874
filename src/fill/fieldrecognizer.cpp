#include "fill/fieldrecognizer.h"

#include "fill/sectionsplitter.h"

#include "fill/fieldmenu.h"
#include "logging.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>

#include <algorithm>

// Resources of a static library are registered by hand, from the global namespace.
static void initRecognitionResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(recognition);
        return true;
    }();
    Q_UNUSED(done)
}

namespace FieldRecognizer {

namespace {

// What a control is for, before the form of the value (script, parts, hyphens) is chosen.
enum class Concept
{
    None,
    Ignore, // something the profile has no value for, or another person's
    FamilyName,
    GivenName,
    FullName,
    Postal,
    Pref,
    City,
    Address1, // 町名 (大字, with the 小字)
    Address2,
    Street,
    Building,
    Room, // 部屋番号: the room apart from the building's name
    AddressAny, // 住所: which parts is decided by the form's other address boxes
    CityStreet,
    CityTown,
    TownStreet,
    StreetBuilding,
    CityAddress,
    Phone,
    Mail,
    UserID,
    BirthAny, // 生年月日 over one or several controls
    BirthDate,
    Year,
    Month,
    Day,
    Era,
    EraYear,
};

const QHash<QString, Concept> &conceptNames()
{
    static const QHash<QString, Concept> names{
        {"ignore", Concept::Ignore},
        {"familyName", Concept::FamilyName},
        {"givenName", Concept::GivenName},
        {"fullName", Concept::FullName},
        {"postal", Concept::Postal},
        {"pref", Concept::Pref},
        {"city", Concept::City},
        {"town", Concept::Address1},
        {"address2", Concept::Address2},
        {"street", Concept::Street},
        {"building", Concept::Building},
        {"room", Concept::Room},
        {"address", Concept::AddressAny},
        {"cityStreet", Concept::CityStreet},
        {"cityTown", Concept::CityTown},
        {"townStreet", Concept::TownStreet},
        {"streetBuilding", Concept::StreetBuilding},
        {"cityAddress", Concept::CityAddress},
        {"phone", Concept::Phone},
        {"mail", Concept::Mail},
        {"userID", Concept::UserID},
        {"birth", Concept::BirthAny},
        {"birthDate", Concept::BirthDate},
        {"year", Concept::Year},
        {"month", Concept::Month},
        {"day", Concept::Day},
        {"era", Concept::Era},
        {"eraYear", Concept::EraYear},
    };
    return names;
}

enum class Category
{
    None,
    Ignore,
    Name,
    Postal,
    Address,
    Phone,
    Mail,
    UserID,
    Birth
};

Category categoryOf(Concept c)
{
    switch (c) {
    case Concept::None:
        return Category::None;
    case Concept::Ignore:
        return Category::Ignore;
    case Concept::FamilyName:
    case Concept::GivenName:
    case Concept::FullName:
        return Category::Name;
    case Concept::Postal:
        return Category::Postal;
    case Concept::Pref:
    case Concept::City:
    case Concept::Address1:
    case Concept::Address2:
    case Concept::Street:
    case Concept::Building:
    case Concept::Room:
    case Concept::AddressAny:
    case Concept::CityStreet:
    case Concept::CityTown:
    case Concept::TownStreet:
    case Concept::StreetBuilding:
    case Concept::CityAddress:
        return Category::Address;
    case Concept::Phone:
        return Category::Phone;
    case Concept::Mail:
        return Category::Mail;
    case Concept::UserID:
        return Category::UserID;
    case Concept::BirthAny:
    case Concept::BirthDate:
    case Concept::Year:
    case Concept::Month:
    case Concept::Day:
    case Concept::Era:
    case Concept::EraYear:
        return Category::Birth;
    }
    return Category::None;
}

uint qHash(Concept c, uint seed = 0)
{
    return ::qHash(int(c), seed);
}

uint qHash(Category c, uint seed = 0)
{
    return ::qHash(int(c), seed);
}

enum class Script
{
    Unspecified,
    Katakana,
    Hiragana,
    HalfwidthKana,
    Latin
};

// ---- The table -------------------------------------------------------------------------------

// One word, token combination or autocomplete token of the table.
struct Rule
{
    enum Match
    {
        Contains,
        Exact, // "=word": the whole text
        Prefix // "^word": the start of the text
    };
    QString text;
    QStringList all; // tokens that must all be present ("post+code")
    QRegularExpression latin; // Latin words, as whole words
    Match match = Contains;
    double weight = 1;
    Concept concept = Concept::None;
    bool refine = false; // counts only within a category other words decided
};

struct Words
{
    QStringList list;
    bool containedIn(const QString &folded) const
    {
        return std::any_of(list.cbegin(), list.cend(), [&](const QString &w) { return folded.contains(w); });
    }
};

struct Table
{
    QHash<QString, double> sources;
    double doubt = 0.5;
    QVector<Rule> labels; // Japanese words, longest first
    QVector<Rule> latin; // Latin words, longest first
    QVector<Rule> tokens; // name and id tokens, combinations first
    QHash<QString, Rule> autocomplete;
    QSet<Concept> general;
    QHash<QString, Concept> combinations; // concept names joined by "+" in table order
    QSet<QString> nameFillers;
    QVector<QPair<Script, Words>> scriptLabels; // in the order they are tried
    QVector<QPair<Script, QSet<QString>>> scriptTokens;
    Words otherSection, ownSection, whenOwnToo, familyOwn, familyOther;
    QSet<QString> otherTokens;
    Words places, sameAs; // another place of the user's; a choice that copies another section
    Words relation; // 申請者との続柄: a relation to someone, not whose the value is
    QSet<QString> placeTokens;
    // Who another person's section is about, in the order tried; relationships by group.
    QVector<QPair<QString, Words>> parties;
    QVector<QPair<QString, QSet<QString>>> partyTokens;
    QVector<QPair<QString, QStringList>> relations;
    Words relationBox;
    QSet<QString> relationTokens;
    Words noHyphen, hyphen, noSpaces, familyFirst, mobile, landline, noTrunkZero;
};

QString fold(const QString &text);

Rule ruleFrom(const QString &entry, Concept concept)
{
    Rule rule;
    rule.concept = concept;
    QString text = entry;
    const int at = text.lastIndexOf(QLatin1Char('@'));
    if (at > 0) {
        rule.weight = text.mid(at + 1).toDouble();
        text = text.left(at);
    }
    if (text.startsWith(QLatin1Char('='))) {
        rule.match = Rule::Exact;
        text.remove(0, 1);
    } else if (text.startsWith(QLatin1Char('^'))) {
        rule.match = Rule::Prefix;
        text.remove(0, 1);
    }
    rule.text = text;
    return rule;
}

QStringList stringsOf(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &item : value.toArray()) {
        list.append(item.toString());
    }
    return list;
}

Words wordsOf(const QJsonValue &value)
{
    Words words;
    for (const QString &w : stringsOf(value)) {
        words.list.append(fold(w));
    }
    return words;
}

Table load()
{
    initRecognitionResources();
    Table table;
    QFile file(QStringLiteral(":/fill/recognition.json"));
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcFill) << "recognition table missing:" << file.errorString();
        return table;
    }
    QJsonParseError error;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll(), &error).object();
    if (error.error != QJsonParseError::NoError) {
        qCWarning(lcFill) << "recognition table unreadable:" << error.errorString() << error.offset;
        return table;
    }
    const QJsonObject sources = root.value("sources").toObject();
    for (auto it = sources.begin(); it != sources.end(); ++it) {
        table.sources.insert(it.key(), it.value().toDouble());
    }
    table.doubt = root.value("doubt").toDouble(0.5);
    const QJsonObject concepts = root.value("concepts").toObject();
    for (auto it = concepts.begin(); it != concepts.end(); ++it) {
        const Concept concept = conceptNames().value(it.key(), Concept::None);
        if (concept == Concept::None) {
            qCWarning(lcFill) << "recognition table: unknown concept" << it.key();
            continue;
        }
        const QJsonObject entry = it.value().toObject();
        if (entry.value("general").toBool()) {
            table.general.insert(concept);
        }
        for (const QString &word : stringsOf(entry.value("labels"))) {
            Rule rule = ruleFrom(word, concept);
            rule.text = fold(rule.text);
            table.labels.append(rule);
        }
        for (const QString &word : stringsOf(entry.value("refine"))) {
            Rule rule = ruleFrom(word, concept);
            rule.text = fold(rule.text);
            rule.refine = true;
            table.labels.append(rule);
        }
        for (const QString &word : stringsOf(entry.value("latin"))) {
            Rule rule = ruleFrom(word, concept);
            QString pattern = QRegularExpression::escape(rule.text.toLower());
            pattern.replace(QStringLiteral("\\ "), QStringLiteral("[ _-]?"));
            rule.latin =
                QRegularExpression(QStringLiteral("(?<![a-z0-9])") + pattern + QStringLiteral("(?![a-z])"));
            table.latin.append(rule);
        }
        for (const QString &token : stringsOf(entry.value("tokens"))) {
            Rule rule = ruleFrom(token, concept);
            rule.all = rule.text.split(QLatin1Char('+'));
            table.tokens.append(rule);
        }
        for (const QString &token : stringsOf(entry.value("autocomplete"))) {
            const Rule rule = ruleFrom(token, concept);
            table.autocomplete.insert(rule.text, rule);
        }
    }
    const auto longerFirst = [](const Rule &a, const Rule &b) { return a.text.size() > b.text.size(); };
    std::stable_sort(table.labels.begin(), table.labels.end(), longerFirst);
    std::stable_sort(table.latin.begin(), table.latin.end(), longerFirst);
    std::stable_sort(table.tokens.begin(), table.tokens.end(),
                     [](const Rule &a, const Rule &b) { return a.all.size() > b.all.size(); });
    const QJsonObject combinations = root.value("combinations").toObject();
    for (auto it = combinations.begin(); it != combinations.end(); ++it) {
        table.combinations.insert(it.key(), conceptNames().value(it.value().toString(), Concept::None));
    }
    for (const QString &filler : stringsOf(root.value("nameFillers"))) {
        table.nameFillers.insert(filler);
    }
    const QJsonObject scripts = root.value("scripts").toObject();
    const QVector<QPair<QString, Script>> order{{"halfwidthKana", Script::HalfwidthKana},
                                                {"katakana", Script::Katakana},
                                                {"hiragana", Script::Hiragana},
                                                {"katakanaWords", Script::Katakana},
                                                {"latin", Script::Latin}};
    for (const auto &entry : order) {
        const QJsonObject script = scripts.value(entry.first).toObject();
        table.scriptLabels.append({entry.second, wordsOf(script.value("labels"))});
        const QStringList tokens = stringsOf(script.value("tokens"));
        table.scriptTokens.append({entry.second, QSet<QString>(tokens.cbegin(), tokens.cend())});
    }
    const QJsonObject sections = root.value("sections").toObject();
    table.otherSection = wordsOf(sections.value("other"));
    table.ownSection = wordsOf(sections.value("own"));
    table.whenOwnToo = wordsOf(sections.value("whenOwnToo"));
    table.familyOwn = wordsOf(sections.value("familyOwn"));
    table.familyOther = wordsOf(sections.value("familyOther"));
    for (const QString &token : stringsOf(sections.value("otherTokens"))) {
        table.otherTokens.insert(token);
    }
    table.places = wordsOf(sections.value("places"));
    table.sameAs = wordsOf(sections.value("sameAs"));
    table.relation = wordsOf(sections.value("relation"));
    for (const QString &token : stringsOf(sections.value("placeTokens"))) {
        table.placeTokens.insert(token);
    }
    // Object members keep no order: the order of the tries is the code's.
    for (const char *party : {"emergency", "guarantor", "spouse", "child", "insured", "household"}) {
        table.parties.append(
            {QLatin1String(party), wordsOf(sections.value("parties").toObject().value(party))});
        const QStringList words = stringsOf(sections.value("partyTokens").toObject().value(party));
        table.partyTokens.append({QLatin1String(party), QSet<QString>(words.cbegin(), words.cend())});
    }
    for (const char *group : {"spouse", "child", "parent", "sibling", "grandparent"}) {
        table.relations.append(
            {QLatin1String(group), stringsOf(sections.value("relations").toObject().value(group))});
    }
    table.relationBox = wordsOf(sections.value("relationBox"));
    for (const QString &token : stringsOf(sections.value("relationTokens"))) {
        table.relationTokens.insert(token);
    }
    const QJsonObject notes = root.value("notes").toObject();
    table.noHyphen = wordsOf(notes.value("noHyphen"));
    table.hyphen = wordsOf(notes.value("hyphen"));
    table.familyFirst = wordsOf(notes.value("familyFirst"));
    table.noSpaces = wordsOf(notes.value("noSpaces"));
    table.mobile = wordsOf(notes.value("mobile"));
    table.landline = wordsOf(notes.value("landline"));
    table.noTrunkZero = wordsOf(notes.value("noTrunkZero"));
    return table;
}

const Table &table()
{
    static const Table loaded = load();
    return loaded;
}

// ---- Texts -------------------------------------------------------------------------------------

// NFKC (full width and half-width kana fold), lower case, without spaces, marks and the words that
// say whether a field is required.
QString fold(const QString &text)
{
    QString folded = text.left(200).normalized(QString::NormalizationForm_KC).toLower();
    static const QRegularExpression noise(
        QStringLiteral("\\s+|必須|任意|required|optional|[*※:：・･、,/／\\[\\]【】「」『』<>〈〉]"));
    folded.remove(noise);
    return folded.left(60);
}

bool hasHalfwidthKana(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(),
                       [](QChar c) { return c.unicode() >= 0xFF66 && c.unicode() <= 0xFF9F; });
}

bool hasJapanese(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() >= 0x3040; });
}

// "customer[lastNameKana]" → customer, last, name, kana; "zip01" → zip, 01.
QStringList tokens(const QString &text)
{
    QString spaced;
    const QString limited = text.left(200);
    for (int i = 0; i < limited.size(); ++i) {
        const QChar c = limited.at(i);
        const QChar before = i > 0 ? limited.at(i - 1) : QChar();
        if (i > 0
            && ((c.isUpper() && before.isLower()) || (c.isDigit() && before.isLetter())
                || (c.isLetter() && before.isDigit()))) {
            spaced += QLatin1Char(' ');
        }
        spaced += c.isLetterOrNumber() && c.unicode() < 0x80 ? c.toLower() : QLatin1Char(' ');
    }
    return spaced.split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

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

constexpr int maxPatternLength = 500;

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

struct Reading
{
    Concept concept = Concept::None;
    Script script = Script::Unspecified;
    int part = 0;
    bool upper = false; // a pattern of capitals alone
    bool fullWidth = false; // a pattern without ASCII
    QString evidence;
    QString refusal; // why the field is left alone despite its evidence
    bool fromRowOnly = false; // only the row's heading spoke: a group label over several boxes
    bool fromNameOnly = false; // only the name or id spoke
    bool numberedName = false; // family or given name by the number in its name alone
    bool mobile = false;
    bool landline = false;
};

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

QPair<int, int> partsOf(Concept c);

Reading read(const Field &field, const QString &unitAfter)
{
    Reading reading;
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
    return reading;
}

// ---- Whose section -----------------------------------------------------------------------------

enum class Whose
{
    Unsaid,
    Own,
    Other
};

struct PageWords
{
    bool own = false; // some part of the page is the orderer's, the applicant's …
    bool child = false; // some part of the page is about a child: 保護者 is then the user
};

Whose whoseText(const QString &raw, const PageWords &page, QString &word)
{
    const Table &t = table();
    const QString folded = fold(raw);
    if (folded.isEmpty() || t.relation.containedIn(folded)) {
        return Whose::Unsaid;
    }
    for (const QString &w : t.familyOwn.list) {
        if (folded.contains(w)) {
            // 配偶者（申請者以外の保護者）: another word outside the brackets still gives it to someone
            // else; 保護者さま（付き添いの方） stays the parent's.
            static const QRegularExpression bracketed(QStringLiteral("\\([^)]*\\)?"));
            QString rest = folded;
            rest.remove(bracketed);
            for (const QString &family : t.familyOwn.list + t.familyOther.list) {
                rest.remove(family);
            }
            for (const QString &other : t.otherSection.list) {
                if (rest.contains(other)) {
                    word = other;
                    return Whose::Other;
                }
            }
            word = w;
            return page.child ? Whose::Own : Whose::Other;
        }
    }
    for (const QString &w : t.otherSection.list) {
        if (folded.contains(w)) {
            word = w;
            return Whose::Other;
        }
    }
    if (page.own) {
        for (const QString &w : t.whenOwnToo.list) {
            if (folded.contains(w)) {
                word = w;
                return Whose::Other;
            }
        }
    }
    for (const QString &w : t.ownSection.list) {
        if (folded.contains(w)) {
            word = w;
            return Whose::Own;
        }
    }
    return Whose::Unsaid;
}

// Who a word that gives a control to someone else names ("緊急連絡先", or a name's first word "emg_").
QString partyOfWord(const QString &word)
{
    const Table &t = table();
    if (word.endsWith(QLatin1Char('_'))) {
        const QString token = word.chopped(1);
        for (const auto &party : t.partyTokens) {
            if (party.second.contains(token)) {
                return party.first;
            }
        }
        return QString();
    }
    const QString folded = fold(word);
    for (const auto &party : t.parties) {
        if (party.second.containedIn(folded)) {
            return party.first;
        }
    }
    return QString();
}

// Whether the field belongs to another person: the closest text that says whose decides (the word in
// said).
QString otherPersons(const Field &field, const PageWords &page, QString *said)
{
    QString scratch;
    QString &word = said ? *said : scratch;
    for (const QString *text : {&field.label, &field.ariaLabel, &field.labelledBy, &field.title,
                                &field.placeholder, &field.textBefore}) {
        const Whose whose = whoseText(*text, page, word);
        if (whose == Whose::Other) {
            return QStringLiteral("another person's: ") + word;
        }
        if (whose == Whose::Own) {
            return QString();
        }
    }
    for (const QString *name : {&field.name, &field.id}) {
        const QStringList words = tokens(*name);
        if (!words.isEmpty() && table().otherTokens.contains(words.first())) {
            word = words.first() + QLatin1Char('_');
            return QStringLiteral("another person's: ") + word;
        }
    }
    // Then the row, the part of the page it sits in (column, row group, titled blocks from the
    // closest), the legend and the heading.
    QVector<const QString *> around{&field.rowLabel, &field.column, &field.rowGroup};
    for (int k = field.blockTitles.size() - 1; k >= 0; --k) {
        around.append(&field.blockTitles[k]);
    }
    around << &field.legend << &field.heading;
    for (const QString *text : qAsConst(around)) {
        const Whose whose = whoseText(*text, page, word);
        if (whose == Whose::Other) {
            return QStringLiteral("another person's: ") + word;
        }
        if (whose == Whose::Own) {
            return QString();
        }
    }
    return QString();
}

// Whether the control's own texts say whose it is (学校名, 勤務先電話番号): then it is no value of a
// person's part of the page.
bool ownTextSays(const Field &field, const PageWords &page)
{
    QString word;
    for (const QString *text : {&field.label, &field.ariaLabel, &field.labelledBy, &field.title,
                                &field.placeholder, &field.textBefore}) {
        if (whoseText(*text, page, word) != Whose::Unsaid) {
            return true;
        }
    }
    return false;
}

PageWords pageWords(const QVector<Field> &fields)
{
    PageWords page;
    QSet<QString> seen;
    for (const Field &field : fields) {
        QVector<const QString *> texts{&field.legend, &field.heading, &field.rowLabel, &field.label,
                                       &field.title,  &field.column,  &field.rowGroup};
        for (const QString &title : field.blockTitles) {
            texts.append(&title);
        }
        for (const QString *text : qAsConst(texts)) {
            if (text->isEmpty() || seen.contains(*text)) {
                continue;
            }
            seen.insert(*text);
            const QString folded = fold(*text);
            page.own = page.own
                       || (table().ownSection.containedIn(folded) && !table().whenOwnToo.containedIn(folded));
            page.child = page.child || table().familyOther.containedIn(folded);
        }
    }
    return page;
}

// ---- Sections ----------------------------------------------------------------------------------

enum class Owner
{
    Unsaid,
    Own,
    Other, // another person's
    Place, // another place of the user's (請求先, 休暇中の連絡先)
    SameAs // a choice makes it a copy of another section: the page's to fill
};

// The kind of value a control takes, for telling where a second person's or place's part begins;
// empty for values one person may give twice (phone rows, an e-mail and its confirmation).
QString kindOf(const Field &field, const Reading &r, const QString &key)
{
    if (!r.refusal.isEmpty() || isRadio(field) || r.concept == Concept::None) {
        return QString();
    }
    // Only values that open a person's or a place's part: a name, a postal code, a prefecture, a birth
    // date or year. Readings, the other address boxes, months and days go with them.
    switch (categoryOf(r.concept)) {
    case Category::Name:
        if (r.script != Script::Unspecified && r.script != Script::Latin) {
            return QString();
        }
        // The boxes of one name row are told apart by the keys they got (family, given).
        {
            const QString which = key.startsWith(QLatin1String("familyName")) ? QStringLiteral("family")
                                  : key.startsWith(QLatin1String("lastName")) ? QStringLiteral("given")
                                  : r.concept == Concept::FamilyName          ? QStringLiteral("family")
                                  : r.concept == Concept::GivenName           ? QStringLiteral("given")
                                  : key.isEmpty() || key.startsWith(QLatin1String("fullName"))
                                      ? QStringLiteral("full")
                                      : QStringLiteral("given");
            return QStringLiteral("name:%1:%2").arg(which).arg(int(r.script));
        }
    case Category::Postal:
        return key.contains(QLatin1String(".part")) && !key.endsWith(QLatin1String("part1"))
                   ? QString()
                   : QStringLiteral("postal");
    case Category::Address:
        return r.concept == Concept::Pref && r.script != Script::Latin ? QStringLiteral("pref") : QString();
    case Category::Birth:
        return r.concept == Concept::BirthAny || r.concept == Concept::BirthDate || r.concept == Concept::Year
                       || r.concept == Concept::EraYear
                   ? QStringLiteral("birth")
                   : QString();
    default:
        return QString();
    }
}

// A "same as" choice after the last value of a section stands at the head of the next one.
QVector<int> choicesOf(const QVector<SectionSplitter::Section> &sections, int s,
                       const QVector<QString> &kinds)
{
    const auto tail = [&](int k) {
        QVector<int> after;
        const QVector<int> &members = sections[k].members;
        int last = -1;
        for (int m : members) {
            if (!kinds[m].isEmpty()) {
                last = m;
            }
        }
        for (int m : members) {
            if (m > last) {
                after.append(m);
            }
        }
        return after;
    };
    QVector<int> choices = s > 0 ? tail(s - 1) : QVector<int>();
    const QVector<int> own = s + 1 < sections.size() ? tail(s) : QVector<int>();
    for (int m : sections[s].members) {
        if (!own.contains(m)) {
            choices.append(m);
        }
    }
    return choices;
}

Owner ownerOf(const SectionSplitter::Section &section, const QVector<int> &choices,
              const QVector<Field> &fields, const QVector<QString> &kinds, const PageWords &page,
              QString &word)
{
    const Table &t = table();
    for (int m : choices) {
        const Field &f = fields[m];
        if (f.htmlType != QLatin1String("checkbox") && f.htmlType != QLatin1String("radio")) {
            continue;
        }
        const QString folded =
            fold(f.label + QLatin1Char(' ') + f.textAfter + QLatin1Char(' ') + f.ariaLabel);
        for (const QString &w : t.sameAs.list) {
            if (folded.contains(w)) {
                word = w;
                return Owner::SameAs;
            }
        }
    }
    // A relation select the page set to 本人 says the section is the user's.
    for (int m : section.members) {
        const Field &f = fields[m];
        if (isSelect(f) && f.selectedIndex >= 0 && f.selectedIndex < f.options.size()) {
            const QString chosen = fold(f.options[f.selectedIndex].text);
            if (t.ownSection.list.contains(chosen)) {
                word = chosen;
                return Owner::Own;
            }
        }
    }
    for (const QString &title : section.titles) {
        const Whose whose = whoseText(title, page, word);
        if (whose == Whose::Other) {
            return Owner::Other;
        }
        if (whose == Whose::Own) {
            return Owner::Own;
        }
        const QString folded = fold(title);
        for (const QString &w : t.places.list) {
            if (folded.contains(w)) {
                word = w;
                return Owner::Place;
            }
        }
    }
    // Names that carry whose: most of the section's values under ship_, vac_, txtSeikyu….
    int other = 0, place = 0, valued = 0;
    for (int m : section.members) {
        if (kinds[m].isEmpty()) {
            continue;
        }
        ++valued;
        const QStringList words = tokens(fields[m].name) + tokens(fields[m].id);
        for (const QString &token : words) {
            if (t.otherTokens.contains(token) || t.placeTokens.contains(token)) {
                word = token + QLatin1Char('_');
                ++(t.otherTokens.contains(token) ? other : place);
                break;
            }
        }
    }
    if (valued > 0 && (other + place) * 2 > valued) {
        return other >= place ? Owner::Other : Owner::Place;
    }
    return Owner::Unsaid;
}

// Leaves alone the sections that are not the user's: another person's or place's, a copy of another
// section; of the sections no word gives to anyone, those repeating the values of a section filled
// before (the user's, else the first); another place of the user's only where nothing else is filled.
// Who a section of another person's is about: the first party whose words its titles or its owner
// word hold, else whose tokens most of its named values carry; empty when nothing says.
QString partyOf(const SectionSplitter::Section &section, const QString &word, const QVector<Field> &fields)
{
    const Table &t = table();
    const QString folded = fold(section.titles.join(QLatin1Char(' ')) + QLatin1Char(' ') + word);
    for (const auto &party : t.parties) {
        if (party.second.containedIn(folded)) {
            return party.first;
        }
    }
    QHash<QString, int> votes;
    int named = 0;
    for (int m : section.members) {
        const QStringList words = tokens(fields[m].name) + tokens(fields[m].id);
        if (words.isEmpty()) {
            continue;
        }
        ++named;
        for (const auto &party : t.partyTokens) {
            if (std::any_of(words.cbegin(), words.cend(),
                            [&](const QString &w) { return party.second.contains(w); })) {
                ++votes[party.first];
                break;
            }
        }
    }
    for (auto it = votes.constBegin(); it != votes.constEnd(); ++it) {
        if (it.value() * 2 > named) {
            return it.key();
        }
    }
    return QString();
}

void decideSections(const QVector<Field> &fields, const QVector<QString> &kinds, const QVector<int> &members,
                    const PageWords &page, QVector<Reading> &readings, QVector<QString> &keys,
                    QVector<Decision> &decisions, int &sectionCount, bool leaveOthers)
{
    QVector<Field> formFields;
    QVector<QString> formKinds;
    for (int i : members) {
        formFields.append(fields[i]);
        formKinds.append(kinds[i]);
    }
    const auto whose = [&page](const QString &title) {
        QString word;
        const Whose said = whoseText(title, page, word);
        if (said != Whose::Unsaid) {
            return said == Whose::Own ? 1 : 2;
        }
        return table().places.containedIn(fold(title)) ? 3 : 0;
    };
    QVector<SectionSplitter::Section> sections = SectionSplitter::split(formFields, formKinds, whose);
    if (sections.size() < 2) {
        return;
    }
    for (SectionSplitter::Section &section : sections) {
        for (int &m : section.members) {
            m = members[m];
        }
    }
    QVector<Owner> owners;
    QStringList words;
    for (int s = 0; s < sections.size(); ++s) {
        QString word;
        owners.append(ownerOf(sections[s], choicesOf(sections, s, kinds), fields, kinds, page, word));
        words.append(word);
    }
    for (int s = 0; s < sections.size(); ++s) {
        QStringList names;
        for (int m : sections[s].members) {
            names.append(fields[m].id.isEmpty() ? fields[m].name : fields[m].id);
        }
        static const char *const ownerNames[] = {"no one's", "the user's", "another person's",
                                                 "another place's", "a copy"};
        qCDebug(lcFill) << "fillPage section" << s << ownerNames[int(owners[s])] << words[s]
                        << sections[s].titles << names;
    }
    const auto heldKinds = [&](const SectionSplitter::Section &section) {
        QStringList held;
        for (int m : section.members) {
            if (!kinds[m].isEmpty()) {
                held.append(kinds[m]);
            }
        }
        return held;
    };
    const Words &household = table().parties.last().second;
    QStringList parties;
    for (int s = 0; s < sections.size(); ++s) {
        QString party = owners[s] == Owner::Other ? partyOf(sections[s], words[s], fields) : QString();
        // The untitled rows of a members' table: after its first row (the user's, or a member's), with
        // the same values.
        if (party.isEmpty() && owners[s] == Owner::Unsaid && s > 0 && sections[s].titles.isEmpty()
            && heldKinds(sections[s]) == heldKinds(sections[s - 1]) && !heldKinds(sections[s]).isEmpty()
            && (parties[s - 1] == QLatin1String("household")
                || (owners[s - 1] == Owner::Own
                    && household.containedIn(fold(sections[s - 1].titles.join(QLatin1Char(' '))))))) {
            party = QStringLiteral("household");
        }
        parties.append(party);
        for (int m : sections[s].members) {
            decisions[m].section = sectionCount + s;
            if (!party.isEmpty() || owners[s] == Owner::Own) {
                decisions[m].party = party;
            }
        }
    }
    sectionCount += sections.size();
    if (!leaveOthers) {
        return;
    }
    const bool anyOwn = owners.contains(Owner::Own);
    QSet<QString> taken;
    QVector<QString> refusals(sections.size());
    const auto kindsOf = [&](const SectionSplitter::Section &section) {
        QSet<QString> held;
        for (int m : section.members) {
            if (anyOwn && kinds[m].startsWith(QLatin1String("name:"))) {
                // Beside the user's section, a whole name repeats a name given in parts, and the reverse.
                held.insert(QStringLiteral("name:") + kinds[m].section(QLatin1Char(':'), 2));
            } else if (!kinds[m].isEmpty()) {
                held.insert(kinds[m]);
            }
        }
        return held;
    };
    for (int s = 0; s < sections.size(); ++s) {
        if (owners[s] == Owner::Own) {
            taken += kindsOf(sections[s]);
        }
    }
    for (int s = 0; s < sections.size(); ++s) {
        const QSet<QString> held = kindsOf(sections[s]);
        switch (owners[s]) {
        case Owner::Own:
            break;
        case Owner::Other:
            refusals[s] = QStringLiteral("another person's section: ") + words[s];
            break;
        case Owner::SameAs:
            refusals[s] = QStringLiteral("a section with a choice: ") + words[s];
            break;
        case Owner::Place:
            refusals[s] = QStringLiteral("another place's section: ") + words[s];
            break;
        case Owner::Unsaid:
            if (held.intersects(taken)) {
                refusals[s] = QStringLiteral("a section of no one's repeating another");
            } else {
                taken += held;
            }
            break;
        }
    }
    // Another place of the user's is filled only where no other section takes these values (an
    // English sign-up's shipping address, the only address it asks for).
    for (int s = 0; s < sections.size(); ++s) {
        const QSet<QString> held = kindsOf(sections[s]);
        if (owners[s] == Owner::Place && !held.isEmpty() && !held.intersects(taken)) {
            refusals[s].clear();
            taken += held;
        }
    }
    for (int s = 0; s < sections.size(); ++s) {
        if (refusals[s].isEmpty()) {
            continue;
        }
        for (int m : sections[s].members) {
            if (readings[m].concept != Concept::None && readings[m].refusal.isEmpty()) {
                readings[m].refusal = refusals[s];
                keys[m].clear();
            }
        }
    }
}

// ---- Form of the value -------------------------------------------------------------------------

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

// A single box for the date of birth: the form its example shows, else ISO.
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

QString dateKey(const Field &field, QString &refusal)
{
    if (typeOf(field) == QStringLiteral("date")) {
        return QStringLiteral("birthDate");
    }
    const QString shown =
        (field.placeholder.left(80) + QLatin1Char(' ') + field.textAfter.left(80) + QLatin1Char(' ')
         + field.title.left(80) + QLatin1Char(' ') + field.label.left(80))
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

bool isNumericType(const Field &field)
{
    const QString type = typeOf(field);
    return type == QStringLiteral("number") || type == QStringLiteral("tel");
}

// Consecutive fields of one category, ignoring controls that are never filled in between.
struct Run
{
    QVector<int> members;
};

// Address parts in the order an address is written.
enum Part
{
    PrefPart,
    CityPart,
    TownPart,
    StreetPart,
    BuildingPart,
    PartCount
};

// The parts a box holds, as [first, last]; {-1, -1} for none or undecided.
QPair<int, int> partsOf(Concept c)
{
    switch (c) {
    case Concept::Pref:
        return {PrefPart, PrefPart};
    case Concept::City:
        return {CityPart, CityPart};
    case Concept::Address1:
    case Concept::Address2:
        return {TownPart, TownPart};
    case Concept::Street:
        return {StreetPart, StreetPart};
    case Concept::Building:
    case Concept::Room:
        return {BuildingPart, BuildingPart};
    case Concept::CityStreet:
        return {CityPart, StreetPart};
    case Concept::CityTown:
        return {CityPart, TownPart};
    case Concept::TownStreet:
        return {TownPart, StreetPart};
    case Concept::StreetBuilding:
        return {StreetPart, BuildingPart};
    case Concept::CityAddress:
        return {CityPart, BuildingPart};
    default:
        return {-1, -1};
    }
}

QString addressKey(int first, int last)
{
    static const QHash<int, QString> keys{
        {PrefPart * 8 + BuildingPart, QStringLiteral("fullAddress")},
        {PrefPart * 8 + StreetPart, QStringLiteral("streetAddress")},
        {PrefPart * 8 + PrefPart, QStringLiteral("pref")},
        {CityPart * 8 + BuildingPart, QStringLiteral("cityAddress")},
        {CityPart * 8 + StreetPart, QStringLiteral("cityStreet")},
        {CityPart * 8 + TownPart, QStringLiteral("cityTown")},
        {CityPart * 8 + CityPart, QStringLiteral("city")},
        {TownPart * 8 + StreetPart, QStringLiteral("townStreet")},
        {TownPart * 8 + BuildingPart, QStringLiteral("townAddress")},
        {StreetPart * 8 + BuildingPart, QStringLiteral("streetBuilding")},
        {StreetPart * 8 + StreetPart, QStringLiteral("street")},
        {BuildingPart * 8 + BuildingPart, QStringLiteral("building")},
    };
    return keys.value(first * 8 + last);
}

// Decides which parts the boxes of one form's address take: a 住所 box takes what no other box
// takes around it, a 市区町村 box followed by a 番地 box takes the town too, addr01/addr02 split
// the address after the prefecture between them.
void cutAddress(const QVector<int> &boxes, QVector<Reading> &readings, QVector<QString> &keys,
                QVector<QString> &notes)
{
    QVector<QPair<int, int>> ranges;
    bool claimed[PartCount] = {};
    for (int i : boxes) {
        QPair<int, int> range = partsOf(readings[i].concept);
        if (readings[i].concept == Concept::Address2) {
            range = {-2, -2}; // 小字 alone: as stored
        }
        if (readings[i].concept == Concept::CityAddress) {
            range = {-3, -3}; // from the city to what later boxes leave
        } else if (readings[i].concept == Concept::AddressAny && readings[i].part == 1) {
            range = {CityPart, TownPart};
        } else if (readings[i].concept == Concept::AddressAny && readings[i].part == 2) {
            range = {StreetPart, BuildingPart};
        }
        ranges.append(range);
        for (int p = range.first; p >= 0 && p <= range.second; ++p) {
            claimed[p] = true;
        }
    }
    // Parts claimed twice (addr01 after a city box) leave the numbered box the rest.
    for (int b = 0; b < boxes.size(); ++b) {
        const Reading &r = readings[boxes[b]];
        if (r.concept != Concept::AddressAny || r.part == 0) {
            continue;
        }
        for (int other = 0; other < boxes.size(); ++other) {
            if (other == b || readings[boxes[other]].concept == Concept::AddressAny) {
                continue;
            }
            const QPair<int, int> o = ranges[other];
            if (o.first <= ranges[b].first && o.second >= ranges[b].first && o.first >= 0) {
                ranges[b].first = o.second + 1;
            }
            if (o.first >= 0 && o.first <= ranges[b].second && o.second >= ranges[b].second) {
                ranges[b].second = o.first - 1;
            }
        }
    }
    for (int b = 0; b < boxes.size(); ++b) {
        const Reading &r = readings[boxes[b]];
        const bool fromCity = r.concept == Concept::CityAddress;
        if ((r.concept != Concept::AddressAny || r.part > 0) && !fromCity) {
            continue;
        }
        // From the first part no earlier box took to the last one no later box takes.
        int first = PrefPart;
        for (int other = 0; other < b; ++other) {
            if (ranges[other].second >= 0) {
                first = qMax(first, ranges[other].second + 1);
            }
        }
        int last = BuildingPart;
        for (int other = b + 1; other < boxes.size(); ++other) {
            if (ranges[other].first >= 0) {
                last = qMin(last, ranges[other].first - 1);
            }
        }
        if ((claimed[PrefPart] || fromCity) && first == PrefPart) {
            first = CityPart;
        }
        ranges[b] = {first, last};
    }
    // A city box with the street in the next box and no town box takes the town.
    if (!claimed[TownPart]) {
        for (int b = 0; b + 1 < boxes.size(); ++b) {
            if (ranges[b].second == CityPart && ranges[b + 1].first == StreetPart) {
                ranges[b].second = TownPart;
            }
        }
    }
    for (int b = 0; b < boxes.size(); ++b) {
        const int i = boxes[b];
        if (!keys[i].isEmpty() || !readings[i].refusal.isEmpty()) {
            continue;
        }
        if (ranges[b].first == -2) {
            keys[i] = QStringLiteral("address2");
            continue;
        }
        if (readings[i].concept == Concept::Address1 && ranges[b] == QPair<int, int>(TownPart, TownPart)) {
            // 町名・丁目 takes the 丁目 too, unless a box of its own does.
            const bool ownAddress2 =
                std::any_of(ranges.cbegin(), ranges.cend(),
                            [](const QPair<int, int> &range) { return range.first == -2; });
            keys[i] = ownAddress2 ? QStringLiteral("address1") : QStringLiteral("town");
            continue;
        }
        QString key = ranges[b].first < 0 ? QString() : addressKey(ranges[b].first, ranges[b].second);
        if (key == QLatin1String("townStreet")) {
            // 丁目・番地 after a box that took the town: the 丁目 and the street alone, the town once.
            for (int earlier = 0; earlier < b; ++earlier) {
                if (ranges[earlier].first >= 0 && ranges[earlier].first <= TownPart
                    && ranges[earlier].second == TownPart) {
                    key = QStringLiteral("address2Street");
                }
            }
        }
        if (key.isEmpty()) {
            readings[i].refusal = QStringLiteral("which part of the address is unclear");
        } else {
            keys[i] = key;
            if (readings[i].concept == Concept::AddressAny) {
                notes[i] = QStringLiteral(", address parts %1–%2").arg(ranges[b].first).arg(ranges[b].second);
            }
        }
    }
    // A 部屋番号 box beside a 建物名 box: the building's name goes in one, the room in the other. A room
    // box alone keeps the whole building, as before.
    const auto boxOf = [&](Concept concept) {
        for (int i : boxes) {
            if (readings[i].concept == concept && keys[i] == QLatin1String("building")) {
                return i;
            }
        }
        return -1;
    };
    const int building = boxOf(Concept::Building);
    const int room = boxOf(Concept::Room);
    if (building >= 0 && room >= 0) {
        keys[building] = QStringLiteral("buildingName");
        keys[room] = QStringLiteral("roomNumber");
        notes[building] = QStringLiteral(", without the room");
        notes[room] = QStringLiteral(", the room alone");
    }
}

bool isEraText(const QString &text)
{
    static const QRegularExpression era(QStringLiteral("^(明治|大正|昭和|平成|令和|[mtshr])$"));
    return era.match(fold(text)).hasMatch();
}

} // namespace

QVector<Decision> recognize(const QVector<Field> &fields, int inputLanguage, const Hints &hints)
{
    QVector<Decision> decisions(fields.size());
    QVector<Reading> readings(fields.size());
    QVector<int> candidates; // fields that may take a value, in order
    const PageWords page = pageWords(fields);
    // A page written in English alone, headings included, wants the Latin-letter values.
    bool english = inputLanguage == FieldMenu::English;
    if (!english) {
        // Without headings, several controls labelled in Latin letters say the same.
        bool japanese = false, headings = false;
        int latinLabels = 0;
        static const QRegularExpression letters(QStringLiteral("[A-Za-z]{2}"));
        for (const Field &field : fields) {
            const QString own = field.label + field.rowLabel + field.placeholder + field.ariaLabel
                                + field.labelledBy + field.title;
            const QString all = own + field.legend + field.heading + field.textBefore + field.textAfter;
            headings = headings || !(field.legend + field.heading).trimmed().isEmpty();
            japanese = japanese || hasJapanese(all);
            latinLabels += int(letters.match(own).hasMatch());
        }
        english = (headings || (hints.latinLabelsMakeEnglish && latinLabels >= 3)) && !japanese;
    }
    // What another person's fields ask for still tells where that person's part begins.
    QVector<QString> othersKinds(fields.size());
    for (int i = 0; i < fields.size(); ++i) {
        QString why = excluded(fields[i]);
        if (why.isEmpty()) {
            QString word;
            why = otherPersons(fields[i], page, &word);
            if (!why.isEmpty() && !ownTextSays(fields[i], page)) {
                othersKinds[i] = kindOf(fields[i], read(fields[i], QString()), QString());
            }
            if (!why.isEmpty()) {
                decisions[i].party = partyOfWord(word);
                if (!hints.leaveOthersSections) {
                    why.clear();
                }
            }
        }
        if (!why.isEmpty()) {
            decisions[i].evidence = why;
            continue;
        }
        candidates.append(i);
    }
    for (int c = 0; c < candidates.size(); ++c) {
        const int i = candidates[c];
        const bool unitAfter = c + 1 < candidates.size() && isUnit(fields[candidates[c + 1]].textBefore);
        readings[i] = read(fields[i], unitAfter ? fields[candidates[c + 1]].textBefore : QString());
        // 住所 with a note after it to begin at the city (市区町村から, 船橋市から): no prefecture.
        static const QRegularExpression fromCity(QStringLiteral("[市区町村](から|以降|以下)"));
        if (readings[i].concept == Concept::AddressAny && readings[i].part == 0
            && fromCity.match(fields[i].textAfter.left(80)).hasMatch()) {
            readings[i].concept = Concept::CityAddress;
        }
        // Text areas take an address, nothing else: their other uses are messages and notes.
        if (isTextArea(fields[i]) && readings[i].concept != Concept::None
            && categoryOf(readings[i].concept) != Category::Address) {
            readings[i] = Reading();
            readings[i].refusal = QStringLiteral("a text area for no address");
        }
        // Radio buttons stand for the era alone: the era's name on the button, the birth date around.
        if (isRadio(fields[i])) {
            const Field &f = fields[i];
            const bool eraButton = isEraText(f.value) || isEraText(f.label) || isEraText(f.textAfter);
            if (!eraButton || categoryOf(readings[i].concept) != Category::Birth) {
                readings[i] = Reading();
                readings[i].refusal = QStringLiteral("a radio button of no era");
            } else {
                readings[i].concept = Concept::Era;
            }
        }
    }

    // A numbered or labelled first box followed by unlabelled boxes after a hyphen: 〒[ ]-[ ],
    // 電話[ ]-[ ]-[ ].
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

    // A family or given name by its number alone needs its other part beside it: one お名前 box named
    // name_2 takes the whole name.
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

    // Two boxes side by side under one name label (お名前 [ ] [ ], フリガナ [ ] [ ]): the family name in
    // the first, the given name in the second. Only when the second box says nothing of itself and
    // nothing stands between them, and no third such box follows. Not on English pages, where the given
    // name often comes first.
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

    // A name box right after a family-name box of its row is the given name (契約者 名 reads as a whole
    // name by itself).
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

    // Group consecutive candidates of the same concept family; the radio buttons of one group
    // count as one control.
    QVector<Run> runs;
    QHash<int, int> sameGroupAs; // a radio button → the first of its group
    for (int c = 0; c < candidates.size(); ++c) {
        const int i = candidates[c];
        const Concept concept = readings[i].concept;
        const bool grouped = concept == Concept::Postal || concept == Concept::Phone
                             || categoryOf(concept) == Category::Birth
                             || (concept == Concept::FullName && readings[i].fromRowOnly);
        if (!grouped) {
            continue;
        }
        if (isRadio(fields[i]) && c > 0 && isRadio(fields[candidates[c - 1]])
            && fields[candidates[c - 1]].name == fields[i].name && !runs.isEmpty()
            && (runs.last().members.last() == candidates[c - 1]
                || sameGroupAs.value(candidates[c - 1], -1) == runs.last().members.last())) {
            sameGroupAs.insert(i, sameGroupAs.value(candidates[c - 1], candidates[c - 1]));
            continue;
        }
        const auto sameGroup = [&](int other) {
            const Reading &r = readings[other];
            if (categoryOf(concept) == Category::Birth) {
                return categoryOf(r.concept) == Category::Birth;
            }
            if (concept == Concept::Postal || concept == Concept::Phone) {
                // Rows of their own (自宅, 携帯) rather than the boxes of one split value.
                const Field &a = fields[other];
                const Field &b = fields[i];
                const auto own = [](const Field &f) {
                    static const QRegularExpression separator(QStringLiteral("^[-－−‐‑–—―ｰー(（)）]?$"));
                    const QString before =
                        separator.match(f.textBefore.trimmed()).hasMatch() ? QString() : f.textBefore;
                    return f.label + f.ariaLabel + f.labelledBy + f.title + before;
                };
                const bool wholeBox = b.maxLength < 0 || b.maxLength >= 10;
                if ((!a.rowLabel.isEmpty() && !b.rowLabel.isEmpty() && a.rowLabel != b.rowLabel)
                    || (wholeBox && own(a) != own(b))) {
                    return false;
                }
            }
            return r.concept == concept && r.fromRowOnly == readings[i].fromRowOnly
                   && (concept != Concept::FullName || r.script == readings[i].script);
        };
        const int previous = c > 0 ? sameGroupAs.value(candidates[c - 1], candidates[c - 1]) : -1;
        if (c > 0 && !runs.isEmpty() && runs.last().members.last() == previous && sameGroup(previous)) {
            runs.last().members.append(i);
        } else {
            runs.append(Run{QVector<int>{i}});
        }
    }

    QVector<QString> keys(fields.size());
    QVector<QString> notes(fields.size());
    for (const Run &run : qAsConst(runs)) {
        const int size = run.members.size();
        const Concept concept = readings[run.members.first()].concept;
        if (concept == Concept::Postal || concept == Concept::Phone) {
            const int parts = concept == Concept::Postal ? 2 : 3;
            const QString key =
                concept == Concept::Postal ? QStringLiteral("zipcode") : QStringLiteral("telephone");
            if (size == 1) {
                continue; // a single box: handled below
            }
            if (size != parts) {
                for (int i : run.members) {
                    readings[i].refusal =
                        QStringLiteral("%1 boxes for a value in %2 parts").arg(size).arg(parts);
                }
                continue;
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
        } else if (concept == Concept::FullName) {
            if (size == 2) {
                keys[run.members[0]] = nameKey(Concept::FamilyName, readings[run.members[0]].script);
                keys[run.members[1]] = nameKey(Concept::GivenName, readings[run.members[1]].script);
                notes[run.members[0]] = QStringLiteral(", box 1 of 2");
                notes[run.members[1]] = QStringLiteral(", box 2 of 2");
            }
        } else {
            // Birth: era, year, month, day in this order wherever the controls themselves do not say.
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
    }

    // Sections, one form at a time: a page's search box or login form is no second person.
    {
        QVector<QString> kinds = othersKinds;
        for (int i : qAsConst(candidates)) {
            kinds[i] = kindOf(fields[i], readings[i], keys[i]);
        }
        QHash<QString, QVector<int>> byForm;
        QStringList forms;
        for (int i = 0; i < fields.size(); ++i) {
            if (!byForm.contains(fields[i].form)) {
                forms.append(fields[i].form);
            }
            byForm[fields[i].form].append(i);
        }
        int sectionCount = 0;
        for (const QString &form : qAsConst(forms)) {
            decideSections(fields, kinds, byForm.value(form), page, readings, keys, decisions, sectionCount,
                           hints.leaveOthersSections);
        }
    }

    // Addresses, one form at a time.
    QHash<QString, QVector<int>> addressBoxes;
    QStringList forms;
    for (int i : qAsConst(candidates)) {
        if (categoryOf(readings[i].concept) == Category::Address && readings[i].refusal.isEmpty()) {
            if (!addressBoxes.contains(fields[i].form)) {
                forms.append(fields[i].form);
            }
            addressBoxes[fields[i].form].append(i);
        }
    }
    for (const QString &form : qAsConst(forms)) {
        cutAddress(addressBoxes.value(form), readings, keys, notes);
    }

    // One stored number, home and mobile rows: the row it fits, else the first that does not misfit.
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
            return hints.mobilePhone ? r.mobile && !r.landline : r.landline && !r.mobile;
        };
        const auto misfits = [&](const QVector<int> &row) {
            const Reading &r = readings[row.first()];
            return hints.mobilePhone ? r.landline && !r.mobile : r.mobile && !r.landline;
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

    // A name known from its name attribute alone, in a form of nothing else personal: a search box.
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

    for (int i : qAsConst(candidates)) {
        const Field &field = fields[i];
        Reading &r = readings[i];
        Decision &decision = decisions[i];
        QString key = r.refusal.isEmpty() ? keys[i] : QString();
        QString note = notes[i];
        if (key.isEmpty() && r.refusal.isEmpty()) {
            switch (r.concept) {
            case Concept::FamilyName:
            case Concept::GivenName:
            case Concept::FullName:
                if (isNumericType(field) || typeOf(field) == QStringLiteral("email")
                    || QStringList{"numeric", "decimal", "tel", "email"}.contains(inputModeOf(field))) {
                    r.refusal = QStringLiteral("type %1 for a name").arg(typeOf(field) + inputModeOf(field));
                } else {
                    key = nameKey(r.concept, r.script);
                    if (r.concept == Concept::FullName) {
                        key = nameSeparator(field, key);
                    }
                }
                break;
            case Concept::Postal:
                if (r.part > 0) {
                    r.refusal = QStringLiteral("a lone box of a split postal code");
                    break;
                }
                key = joinedKey(field, QStringLiteral("zipcode"), {QStringLiteral("123-4567")},
                                {QStringLiteral("1234567")}, 8, 7, note);
                if (key.isEmpty()) {
                    r.refusal = QStringLiteral("no form of the postal code fits") + note;
                }
                break;
            case Concept::Phone:
                if (r.part > 0) {
                    r.refusal = QStringLiteral("a lone box of a split phone number");
                    break;
                }
                if (afterCountryCode(fields, i) || table().noTrunkZero.containedIn(ownTexts(field))) {
                    // The number after +81: without its leading 0.
                    key =
                        joinedKey(field, QStringLiteral("telephone"),
                                  {QStringLiteral("3-1234-5678"), QStringLiteral("90-1234-5678")},
                                  {QStringLiteral("312345678"), QStringLiteral("9012345678")}, 12, 10, note);
                    if (!key.isEmpty()) {
                        key += QStringLiteral(".noTrunkZero");
                        note += QStringLiteral(", after a country code");
                        break;
                    }
                }
                key = joinedKey(field, QStringLiteral("telephone"),
                                {QStringLiteral("03-1234-5678"), QStringLiteral("090-1234-5678")},
                                {QStringLiteral("0312345678"), QStringLiteral("09012345678")}, 13, 11, note);
                if (key.isEmpty()) {
                    r.refusal = QStringLiteral("no form of the phone number fits") + note;
                }
                break;
            case Concept::Mail:
                key = QStringLiteral("mail");
                break;
            case Concept::UserID:
                key = QStringLiteral("userID");
                break;
            case Concept::BirthDate:
                key = dateKey(field, r.refusal);
                break;
            case Concept::Year:
                key = QStringLiteral("year");
                break;
            case Concept::Month:
                key = QStringLiteral("month");
                break;
            case Concept::Day:
                key = QStringLiteral("day");
                break;
            case Concept::Era:
                // A text box for the date in the era's years (和暦で, 例：昭和60年4月1日) takes all of it.
                key = isSelect(field) || isRadio(field) ? QString() : eraDateKey(field);
                if (key.isEmpty()) {
                    key = QStringLiteral("birthEra");
                }
                break;
            case Concept::EraYear:
                key = QStringLiteral("birthEraYear");
                break;
            case Concept::BirthAny:
                r.refusal = QStringLiteral("which part of the birth date is unclear");
                break;
            default:
                break;
            }
        }
        if (key.isEmpty()) {
            decision.evidence = r.refusal.isEmpty() ? QStringLiteral("no evidence") : r.refusal;
            continue;
        }
        // Kana readings exist for names only; Latin spellings for names and the address.
        if (r.script != Script::Unspecified && categoryOf(r.concept) != Category::Name
            && !(r.script == Script::Latin && categoryOf(r.concept) == Category::Address)) {
            decision.evidence = QStringLiteral("no reading stored for ") + r.evidence;
            continue;
        }
        // Month and day boxes whose example is zero-padded.
        if ((key == QStringLiteral("month") || key == QStringLiteral("day")) && !isSelect(field)) {
            static const QRegularExpression padded(QStringLiteral("^0\\d$|^mm$|^dd$"));
            if (padded.match(field.placeholder.trimmed().toLower()).hasMatch()) {
                key += QStringLiteral(".twoDigits");
            }
        }
        if ((english || r.script == Script::Latin) && key == QStringLiteral("town")) {
            key = QStringLiteral("address1"); // no Latin form of the 丁目 apart
        }
        if (english || r.script == Script::Latin) {
            static const QStringList latin{
                QStringLiteral("familyName"),   QStringLiteral("lastName"),  QStringLiteral("fullName"),
                QStringLiteral("pref"),         QStringLiteral("city"),      QStringLiteral("address1"),
                QStringLiteral("address2"),     QStringLiteral("building"),  QStringLiteral("townStreet"),
                QStringLiteral("buildingName"), QStringLiteral("roomNumber")};
            if (latin.contains(key)) {
                key += QLatin1Char('E');
            }
        }
        if (key == QStringLiteral("fullNameE") && table().familyFirst.containedIn(ownTexts(field))) {
            key = QStringLiteral("fullNameEFamilyFirst");
        }
        if (r.upper) {
            key += QStringLiteral(".upperCase");
        } else if (r.fullWidth && categoryOf(r.concept) == Category::Address) {
            key += QStringLiteral(".fullWidth");
        }
        if (field.readOnly) {
            decision.evidence = QStringLiteral("read-only");
        } else if (field.disabled) {
            decision.evidence = QStringLiteral("disabled");
        } else if (isSelect(field) ? field.selectedIndex > 0 && field.selectedIndex < field.options.size()
                                         && !field.options[field.selectedIndex].value.isEmpty()
                                   : !isRadio(field) && !field.value.isEmpty()) {
            decision.evidence = QStringLiteral("already filled");
        } else {
            decision.key = key;
            decision.check = isRadio(field);
            decision.evidence = r.evidence + note;
        }
    }
    // An era alone, with no year of the era filled beside it, is half a date: leave it.
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
    // The other radio buttons of an era group take the same key: the value picks the button.
    for (auto it = sameGroupAs.cbegin(); it != sameGroupAs.cend(); ++it) {
        const Decision &first = decisions[it.value()];
        if (first.fills() && !fields[it.key()].disabled) {
            decisions[it.key()] = first;
        }
    }
    // Boxes that ask how someone is related, wherever they are: filled only in another person's section.
    const Table &t = table();
    for (int i = 0; i < fields.size(); ++i) {
        const QStringList words = tokens(fields[i].name) + tokens(fields[i].id);
        decisions[i].relationBox = !isRadio(fields[i]) && fields[i].htmlType != QLatin1String("checkbox")
                                   && (t.relationBox.containedIn(ownTexts(fields[i]))
                                       || std::any_of(words.cbegin(), words.cend(), [&](const QString &w) {
                                              return t.relationTokens.contains(w);
                                          }));
    }
    return decisions;
}

QString relationGroup(const QString &relation)
{
    const QString trimmed = relation.trimmed();
    for (const auto &group : table().relations) {
        if (group.second.contains(trimmed)) {
            return group.first;
        }
    }
    return QString();
}

QStringList relationsOf(const QString &group)
{
    for (const auto &entry : table().relations) {
        if (entry.first == group) {
            return entry.second;
        }
    }
    return QStringList();
}

} // namespace FieldRecognizer

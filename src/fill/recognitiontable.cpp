#include "fill/recognizer_p.h"

#include "logging.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

// Loads recognition.json into the Table, and folds the texts matched against it.

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
namespace Internal {

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

// ---- The table ---------------------------------------------------------------------------------

namespace {

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

} // namespace

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

} // namespace Internal
} // namespace FieldRecognizer

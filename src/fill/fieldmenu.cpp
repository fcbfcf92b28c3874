#include "fill/fieldmenu.h"

#include "page/pagecontrol.h"
#include "store/household.h"
#include "store/profiledocument.h"

#include <QCoreApplication>

namespace FieldMenu {

const QString clearMarker = QStringLiteral("__DELETE_HERE__");
const QString toHalfWidthMarker = QStringLiteral("__ZEN_2_HAN__");
const QString toFullWidthMarker = QStringLiteral("__HAN_2_ZEN__");
const QString sectionMarker = QStringLiteral("__SECTION__");
const QString personField = QStringLiteral("person");

const QString elementField = QStringLiteral("element");
const QString keyField = QStringLiteral("key");
const QString valueField = QStringLiteral("value");

namespace {

QVariantMap record(const QString &element, const QString &key, const QString &value)
{
    return {{elementField, element}, {keyField, key}, {valueField, value}};
}

// The menu and the key choice over any source of values: holds(key) says whether the profile has
// the key, text(key) gives the text it offers.
template <typename Holds> QString resolveKeyIn(const QString &baseKey, int inputLanguage, const Holds &holds)
{
    if (inputLanguage == English) {
        const QString latinKey = baseKey + QLatin1Char('E');
        if (holds(latinKey)) {
            return latinKey;
        }
    }
    return baseKey;
}

// hasText(key) says whether a secret's text is empty, so that the masked entry needs no value.
template <typename Holds, typename Text, typename HasText>
QVector<Entry> valueEntriesIn(const QString &element, const QVariantMap &actionTable, int inputLanguage,
                              const Holds &holds, const Text &text, const HasText &hasText,
                              const QSet<QString> &secretKeys)
{
    QVector<Entry> menu;
    menu.reserve(actionTable.size() + 3);
    for (auto it = actionTable.constBegin(); it != actionTable.constEnd(); ++it) {
        const QVariantList keys = it.value().toList();
        if (keys.isEmpty()) {
            continue;
        }
        const QString key = resolveKeyIn(keys.first().toString(), inputLanguage, holds);
        const bool secret = isSecret(key, secretKeys);
        const QString value = text(key);
        // One pass, so a label holding "%2" cannot capture the value's place.
        const QString shown = !secret ? value : hasText(key) ? maskedText(QStringLiteral("*")) : QString();
        menu.append({QStringLiteral("%1: %2").arg(it.key(), shown), record(element, key, value)});
    }
    return menu;
}

} // namespace

bool acceptsType(const QString &type)
{
    return PageControl::typedType(type);
}

QString resolveKey(const QString &baseKey, const QHash<QString, QVariant> &values, int inputLanguage)
{
    return resolveKeyIn(baseKey, inputLanguage,
                        [&values](const QString &key) { return values.contains(key); });
}

bool isSecret(const QString &key, const QSet<QString> &secretKeys)
{
    const QString base = key.section(QLatin1Char('.'), 0, 0);
    if (secretKeys.contains(base)) {
        return true;
    }
    return base.endsWith(QLatin1Char('E')) && secretKeys.contains(base.chopped(1));
}

QString maskedText(const QString &value)
{
    return value.isEmpty() ? value : QString(8, QChar(0x2022));
}

QVector<Entry> entries(const QString &element, const QVariantMap &actionTable,
                       const QHash<QString, QVariant> &values, int inputLanguage,
                       const QSet<QString> &secretKeys)
{
    return valueEntriesIn(
               element, actionTable, inputLanguage,
               [&values](const QString &key) { return values.contains(key); },
               [&values](const QString &key) { return values.value(key).toString(); },
               [&values](const QString &key) { return !values.value(key).toString().isEmpty(); }, secretKeys)
           + commandEntries(element);
}

QVector<Entry> entries(const QString &element, const ProfileDocument &document, int inputLanguage)
{
    return valueEntries(element, document, inputLanguage) + commandEntries(element);
}

QVector<Entry> valueEntries(const QString &element, const ProfileDocument &document, int inputLanguage)
{
    // A secret's record carries no value: it may be in the secret store, read only when picked. So is
    // a value joined from one still there, which would otherwise go in without that part.
    QSet<QString> secretKeys = document.secretKeys();
    for (auto it = document.menuTable().constBegin(); it != document.menuTable().constEnd(); ++it) {
        for (const QString &key :
             {it.value().toList().value(0).toString(),
              resolveKey(it.value().toList().value(0).toString(), document.values(), inputLanguage)}) {
            if (!key.isEmpty() && document.waitsForSecret(key)) {
                secretKeys.insert(key);
            }
        }
    }
    return valueEntriesIn(
        element, document.menuTable(), inputLanguage,
        [&document](const QString &key) { return document.holds(key); },
        [&](const QString &key) { return isSecret(key, secretKeys) ? QString() : document.value(key); },
        [&document](const QString &key) { return document.hasText(key); }, secretKeys);
}

QVector<Entry> commandEntries(const QString &element)
{
    const auto command = [&](const char *label, const QString &marker) -> Entry {
        return {QCoreApplication::translate("MainWindow", label), record(element, marker, QString())};
    };
    return {command("消去", clearMarker), command("→半角", toHalfWidthMarker),
            command("→全角", toFullWidthMarker)};
}

QString personTitle(const Person &person)
{
    const QString title = Household::title(person);
    return title.isEmpty() ? QCoreApplication::translate("MainWindow", "名前なし") : title;
}

QVector<PersonMenu> personMenus(const QString &element, const ProfileDocument &document, int inputLanguage)
{
    QVector<PersonMenu> menus;
    const QSet<QString> secretKeys = document.secretKeys();
    const QVector<Person> &people = document.people();
    for (int i = 0; i < people.size(); ++i) {
        const auto text = [&document, i](const QString &key) { return document.personValue(i, key); };
        const QVector<Entry> all = valueEntriesIn(
            element, document.menuTable(), inputLanguage,
            [&text](const QString &key) { return !text(key).isEmpty(); }, text,
            [&text](const QString &key) { return !text(key).isEmpty(); }, secretKeys);
        PersonMenu menu{personTitle(people[i]), {}};
        for (Entry entry : all) {
            const QString key = entry.record.value(keyField).toString();
            if (isSecret(key, secretKeys) || entry.record.value(valueField).toString().isEmpty()) {
                continue;
            }
            entry.record.insert(keyField, Household::personKey(key, people[i]));
            menu.entries.append(entry);
        }
        menus.append(menu);
    }
    return menus;
}

} // namespace FieldMenu

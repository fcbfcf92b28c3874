#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>
#include <QVector>

class ProfileDocument;
struct Person;

// The menu that pops up on a clicked input: one entry per stored value the user has a label for,
// then the commands to clear the field and to convert its width.
namespace FieldMenu {

// Stand in the record's "key" in place of a profile key. The clear marker is also recorded per page.
extern const QString clearMarker; // "__DELETE_HERE__"
extern const QString toHalfWidthMarker; // "__ZEN_2_HAN__"
extern const QString toFullWidthMarker; // "__HAN_2_ZEN__"
// この欄をまとめて入力: the record's person field says whom; never recorded.
extern const QString sectionMarker; // "__SECTION__"
extern const QString personField;

// Names of the entries of the record attached to each menu action.
extern const QString elementField;
extern const QString keyField;
extern const QString valueField;

// The input language the menu offers values in.
enum InputLanguage
{
    Japanese = 0,
    English = 1
};

struct Entry
{
    QString text;
    QVariantMap record;
};

// A stored person's submenu: its title and the entries of the person's values.
struct PersonMenu
{
    QString title;
    QVector<Entry> entries;
};

// Whether an input of this type attribute gets a menu (compared exactly, case included).
bool acceptsType(const QString &type);

// The profile key an entry offers: in English, the key's Latin-letter form ("E" appended) when the
// profile holds one.
QString resolveKey(const QString &baseKey, const QHash<QString, QVariant> &values, int inputLanguage);

// Whether a key's value is shown masked: the key, its Latin-letter form and every value derived from
// it ("password", "passwordE", "cardNumber.digits") are secret when the key is.
bool isSecret(const QString &key, const QSet<QString> &secretKeys);

// What the menu shows in place of a secret value: a fixed number of dots, so that the entry tells
// neither the value nor its length. Nothing is hidden when there is nothing to hide.
QString maskedText(const QString &value);

// The menu's entries in order, for the input with this identifier. Values of secret keys are
// masked in the entry's text; the record still carries the value itself.
QVector<Entry> entries(const QString &element, const QVariantMap &actionTable,
                       const QHash<QString, QVariant> &values, int inputLanguage,
                       const QSet<QString> &secretKeys = {QStringLiteral("password")});
// The same from the document's menu table, with each value's text as the document gives it and its
// secret keys masked; the records of secret entries leave the value empty (see FieldFiller::apply).
QVector<Entry> entries(const QString &element, const ProfileDocument &document, int inputLanguage);
// The two parts of the above: the entries of the user's values, then the commands.
QVector<Entry> valueEntries(const QString &element, const ProfileDocument &document, int inputLanguage);
QVector<Entry> commandEntries(const QString &element);

// How a person's submenu is titled: 配偶者 for a husband or wife, else the relation, then the name
// ("配偶者 渡辺 健", "長女 渡辺 さくら"); 名前なし for a person with neither.
QString personTitle(const Person &person);
// One submenu per stored person, in stored order, none without people: the user's labels for which
// the person has a value, with that value. The records carry Household::personKey(), so a choice
// refills from the same person. Secret keys are left out: they are the user's own.
QVector<PersonMenu> personMenus(const QString &element, const ProfileDocument &document, int inputLanguage);

} // namespace FieldMenu

#pragma once

#include <QHash>
#include <QString>
#include <QVariant>
#include <QVector>

class ProfileDocument;

// The menu that pops up on a clicked input: one entry per stored value the user has a label for,
// then the commands to clear the field and to convert its width.
namespace FieldMenu {

// Stand in the record's "key" in place of a profile key. The clear marker is also recorded per page.
extern const QString clearMarker; // "__DELETE_HERE__"
extern const QString toHalfWidthMarker; // "__ZEN_2_HAN__"
extern const QString toFullWidthMarker; // "__HAN_2_ZEN__"

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

// Whether an input of this type attribute gets a menu (compared exactly, case included).
bool acceptsType(const QString &type);

// The profile key an entry offers: in English, the key's Latin-letter form ("E" appended) when the
// profile holds one.
QString resolveKey(const QString &baseKey, const QHash<QString, QVariant> &values, int inputLanguage);

// The menu's entries in order, for the input with this identifier.
QVector<Entry> entries(const QString &element, const QVariantMap &actionTable,
                       const QHash<QString, QVariant> &values, int inputLanguage);
// The same from the document's menu table, with each value's text as the document gives it.
QVector<Entry> entries(const QString &element, const ProfileDocument &document, int inputLanguage);

} // namespace FieldMenu

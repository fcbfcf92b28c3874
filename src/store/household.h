#pragma once

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>

// The people besides the user whom forms ask about (a spouse, a child, an emergency contact), as the
// profile's optional "people" member lists them. Their values answer to the same keys as the user's.
struct Person
{
    QString relation; // 続柄 as the user writes it: 夫, 妻, 長女, 母, …
    QStringList roles; // 緊急連絡先, 保証人
    bool livesWithUser = false;
    QHash<QString, QVariant> values; // the person's "profile", by key

    // How fills and rules name the person: the relation and the name ("夫 渡辺 健").
    QString reference() const;
    bool operator==(const Person &other) const;
};

namespace Household {

// The people of a profile document, in their stored order; none when the member is missing or not a
// list. Entries that are not objects are skipped.
QVector<Person> people(const QJsonObject &root);
// Writes the list into the document; an empty list takes the member away, so that a profile
// without people stays as it was.
void setPeople(QJsonObject &root, const QVector<Person> &people);

// The keys a person living with the user takes from the user's values where their own hold none:
// the address, and the phone when it is not a mobile number.
bool sharedWithHousehold(const QString &key, const QHash<QString, QVariant> &user);
// The person's values with what they share with the user filled in, and "relation".
QHash<QString, QVariant> valuesOf(const Person &person, const QHash<QString, QVariant> &user);

// How menus and messages name a person: 配偶者 for a husband or wife, else the relation, then the
// name ("配偶者 渡辺 健", "長女 渡辺 さくら").
QString title(const Person &person);

// A profile key with a person: "familyName@夫 渡辺 健". Rules and menu records carry these.
QString personKey(const QString &key, const Person &person);
QString personKey(const QString &key, const QString &reference);
// Splits a key made by personKey(); false for the user's own keys.
bool splitPersonKey(const QString &personKey, QString &key, QString &reference);
// The one person the reference names; -1 when none or several do.
int find(const QVector<Person> &people, const QString &reference);

} // namespace Household

#include "store/household.h"

#include <QJsonArray>
#include <QRegularExpression>

namespace {

const QString peopleMember = QStringLiteral("people");
const QChar personMark = QLatin1Char('@');

// The address as the profile stores it, in either script.
const QStringList addressKeys = {
    QStringLiteral("zipcode"),    QStringLiteral("pref"),         QStringLiteral("prefE"),
    QStringLiteral("city"),       QStringLiteral("cityE"),        QStringLiteral("address1"),
    QStringLiteral("address1E"),  QStringLiteral("address2"),     QStringLiteral("address2E"),
    QStringLiteral("street"),     QStringLiteral("streetE"),      QStringLiteral("building"),
    QStringLiteral("buildingE"),  QStringLiteral("buildingName"), QStringLiteral("roomNumber"),
    QStringLiteral("fullAddress")};

bool isMobile(const QString &phone)
{
    static const QRegularExpression mobile(QStringLiteral("^\\s*0[789]0"));
    return mobile.match(phone).hasMatch();
}

} // namespace

QString Person::reference() const
{
    QStringList parts{relation.trimmed()};
    for (const char *key : {"familyName", "lastName"}) {
        parts.append(values.value(QLatin1String(key)).toString().trimmed());
    }
    parts.removeAll(QString());
    return parts.join(QLatin1Char(' '));
}

bool Person::operator==(const Person &other) const
{
    return relation == other.relation && roles == other.roles && livesWithUser == other.livesWithUser
           && values == other.values;
}

namespace Household {

QVector<Person> people(const QJsonObject &root)
{
    QVector<Person> people;
    const QJsonArray list = root.value(peopleMember).toArray();
    for (const QJsonValue &entry : list) {
        if (!entry.isObject()) {
            continue;
        }
        const QJsonObject object = entry.toObject();
        Person person;
        person.relation = object.value(QStringLiteral("relation")).toString();
        for (const QJsonValue &role : object.value(QStringLiteral("roles")).toArray()) {
            if (role.isString()) {
                person.roles.append(role.toString());
            }
        }
        person.livesWithUser = object.value(QStringLiteral("livesWithUser")).toBool();
        const QJsonObject profile = object.value(QStringLiteral("profile")).toObject();
        for (auto it = profile.constBegin(); it != profile.constEnd(); ++it) {
            // Only plain values: a person's profile has no nested parts.
            if (it.value().isString() || it.value().isDouble() || it.value().isBool()) {
                person.values.insert(it.key().trimmed(), it.value().toVariant());
            }
        }
        people.append(person);
    }
    return people;
}

void setPeople(QJsonObject &root, const QVector<Person> &people)
{
    if (people.isEmpty()) {
        root.remove(peopleMember);
        return;
    }
    QJsonArray list;
    for (const Person &person : people) {
        QJsonObject profile;
        for (auto it = person.values.constBegin(); it != person.values.constEnd(); ++it) {
            profile.insert(it.key(), QJsonValue::fromVariant(it.value()));
        }
        list.append(QJsonObject{{QStringLiteral("relation"), person.relation},
                                {QStringLiteral("roles"), QJsonArray::fromStringList(person.roles)},
                                {QStringLiteral("livesWithUser"), person.livesWithUser},
                                {QStringLiteral("profile"), profile}});
    }
    root.insert(peopleMember, list);
}

bool sharedWithHousehold(const QString &key, const QHash<QString, QVariant> &user)
{
    if (key == QLatin1String("telephone")) {
        return !isMobile(user.value(key).toString());
    }
    return addressKeys.contains(key);
}

QHash<QString, QVariant> valuesOf(const Person &person, const QHash<QString, QVariant> &user)
{
    QHash<QString, QVariant> values = person.values;
    if (!values.contains(QStringLiteral("relation"))) {
        values.insert(QStringLiteral("relation"), person.relation);
    }
    if (!person.livesWithUser) {
        return values;
    }
    // The address goes as a whole: a person with an address of their own takes none of the user's.
    const bool ownAddress = std::any_of(addressKeys.cbegin(), addressKeys.cend(), [&](const QString &key) {
        return !person.values.value(key).toString().isEmpty();
    });
    for (auto it = user.constBegin(); it != user.constEnd(); ++it) {
        if (!sharedWithHousehold(it.key(), user) || !values.value(it.key()).toString().isEmpty()) {
            continue;
        }
        if (addressKeys.contains(it.key()) && ownAddress) {
            continue;
        }
        values.insert(it.key(), it.value());
    }
    return values;
}

QString title(const Person &person)
{
    static const QStringList spouse{QStringLiteral("夫"), QStringLiteral("妻"), QStringLiteral("配偶者")};
    Person shown = person;
    if (spouse.contains(person.relation.trimmed())) {
        shown.relation = QStringLiteral("配偶者");
    }
    return shown.reference();
}

QString personKey(const QString &key, const Person &person)
{
    return personKey(key, person.reference());
}

QString personKey(const QString &key, const QString &reference)
{
    return key + personMark + reference;
}

bool splitPersonKey(const QString &personKey, QString &key, QString &reference)
{
    const int mark = personKey.indexOf(personMark);
    if (mark <= 0) {
        return false;
    }
    key = personKey.left(mark);
    reference = personKey.mid(mark + 1);
    return true;
}

int find(const QVector<Person> &people, const QString &reference)
{
    int found = -1;
    for (int i = 0; i < people.size(); ++i) {
        if (people[i].reference() == reference) {
            if (found >= 0) {
                return -1; // two people of the same relation and name: neither is meant for sure
            }
            found = i;
        }
    }
    return found;
}

} // namespace Household

#include "store/profilestore.h"

#include "logging.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>
#include <QSaveFile>
#include <QUrl>

namespace {
const QString profileFileName = QStringLiteral("profile.json");
const QString profileMember = QStringLiteral("profile");
const QString sitesMember = QStringLiteral("sites");
const QString inSecretStoreMember = QStringLiteral("inSecretStore");
const QString wholeFormFillMember = QStringLiteral("wholeFormFill");
} // namespace

ProfileStore::ProfileStore(QHash<QString, QVariant> &values)
    : m_values(values)
{
}

QString ProfileStore::profilePath()
{
    return QDir::currentPath() + QDir::separator() + profileFileName;
}

std::optional<QJsonObject> ProfileStore::load()
{
    const QString path = profilePath();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcStore) << "loadProfile: cannot open" << file.errorString() << path;
        m_keepBeforeSave = QFileInfo(path).isFile();
        return std::nullopt;
    }
    const QByteArray bytes = file.readAll();
    bool wellFormed = true;
    QJsonObject root;
    if (file.error() != QFileDevice::NoError) {
        qCWarning(lcStore) << "loadProfile: cannot read" << file.errorString() << path;
        wellFormed = false;
    } else {
        root = parseDocument(bytes, &wellFormed);
    }
    m_keepBeforeSave = !wellFormed;
    readProfileObject(root.value(profileMember).toObject());
    return root;
}

QJsonObject ProfileStore::parseDocument(const QByteArray &bytes, bool *wellFormed)
{
    const QJsonDocument document = QJsonDocument::fromJson(bytes);
    if (wellFormed) {
        // An empty file holds nothing worth keeping; anything else that is not an object does.
        *wellFormed = document.isObject() || bytes.isEmpty();
    }
    return document.object();
}

void ProfileStore::readProfileObject(const QJsonObject &object)
{
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        readProfileValue(it.value(), it.key().trimmed());
    }
}

QVariant ProfileStore::readProfileValue(const QJsonValue &value, const QString &key)
{
    switch (value.type()) {
    case QJsonValue::Null:
        qCDebug(lcStore) << "parsed as Null";
        return storeProfileValue(key, QVariant());
    case QJsonValue::Bool:
        return storeProfileValue(key, value.toBool());
    case QJsonValue::Double:
        return storeProfileValue(key, value.toDouble());
    case QJsonValue::String:
        return storeProfileValue(key, value.toString());
    case QJsonValue::Array:
        return storeProfileValue(key, readProfileArray(value.toArray()));
    case QJsonValue::Object:
        // An object is not a value of its own: its members join the flat table under their names.
        readProfileObject(value.toObject());
        return value.toObject().toVariantMap();
    case QJsonValue::Undefined:
        break;
    }
    return QVariant();
}

QVariantList ProfileStore::readProfileArray(const QJsonArray &array)
{
    QVariantList list;
    list.reserve(array.size());
    for (const QJsonValue &element : array) {
        list.append(readProfileValue(element, QString()));
    }
    return list;
}

QVariant ProfileStore::storeProfileValue(const QString &key, const QVariant &value)
{
    if (!key.isEmpty()) {
        m_values.insert(key, value);
    }
    return value;
}

QVariantMap ProfileStore::menuTable(const QJsonObject &actions)
{
    QVariantMap table;
    for (auto it = actions.constBegin(); it != actions.constEnd(); ++it) {
        const QJsonArray entry = it.value().toArray();
        if (!it.value().isArray() || entry.isEmpty() || !entry.first().isString()) {
            qCDebug(lcStore) << "menu entry without a profile key left out:" << it.key();
            continue;
        }
        table.insert(it.key(), entry.toVariantList());
    }
    return table;
}

QSet<QString> ProfileStore::secretKeys(const QJsonObject &root)
{
    QSet<QString> keys{QStringLiteral("password")};
    const QJsonArray named = root.value(QStringLiteral("secretKeys")).toArray();
    for (const QJsonValue &name : named) {
        if (name.isString() && !name.toString().isEmpty()) {
            keys.insert(name.toString());
        }
    }
    return keys;
}

QSet<QString> ProfileStore::keysInSecretStore(const QJsonObject &root)
{
    QSet<QString> keys;
    const QJsonArray named = root.value(inSecretStoreMember).toArray();
    for (const QJsonValue &name : named) {
        if (name.isString() && !name.toString().isEmpty()) {
            keys.insert(name.toString());
        }
    }
    return keys;
}

void ProfileStore::setKeysInSecretStore(QJsonObject &root, const QSet<QString> &keys)
{
    if (keys.isEmpty()) {
        root.remove(inSecretStoreMember);
        return;
    }
    QStringList names = keys.values();
    names.sort();
    root.insert(inSecretStoreMember, QJsonArray::fromStringList(names));
}

QVariantMap ProfileStore::siteRules(const QJsonObject &root, const QString &address)
{
    return root.value(sitesMember).toObject().value(address).toVariant().toMap();
}

void ProfileStore::storeSiteRules(QJsonObject &root, const QString &address, const QVariantMap &rules)
{
    QJsonObject sites = root.value(sitesMember).toObject();
    if (rules.isEmpty()) {
        // No empty entry stays behind for a page whose last rule went.
        sites.remove(address);
    } else {
        sites.insert(address, QJsonObject::fromVariantMap(rules));
    }
    root.insert(sitesMember, sites);
}

QString ProfileStore::pageOf(const QString &address)
{
    const QUrl url(address);
    if (!url.isValid() || url.scheme().isEmpty()) {
        return QString();
    }
    // Who is signed in is not part of the page.
    return url.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment | QUrl::RemoveUserInfo).toString();
}

bool ProfileStore::fillsWholeForm(const QJsonObject &root, const QString &address)
{
    const QString page = pageOf(address);
    return !page.isEmpty() && root.value(wholeFormFillMember).toArray().contains(page);
}

void ProfileStore::setFillsWholeForm(QJsonObject &root, const QString &address, bool fills)
{
    const QString page = pageOf(address);
    if (page.isEmpty()) {
        return;
    }
    // Whatever else an edited list holds is kept as it is.
    QJsonArray pages = root.value(wholeFormFillMember).toArray();
    for (int i = pages.size() - 1; i >= 0; --i) {
        if (pages.at(i).toString() == page) {
            pages.removeAt(i);
        }
    }
    if (fills) {
        int at = 0;
        while (at < pages.size() && pages.at(at).toString() < page) {
            ++at;
        }
        pages.insert(at, page);
    }
    if (pages.isEmpty()) {
        root.remove(wholeFormFillMember);
    } else {
        root.insert(wholeFormFillMember, pages);
    }
}

QJsonObject ProfileStore::profileObject() const
{
    QJsonObject profile;
    for (auto it = m_values.constBegin(); it != m_values.constEnd(); ++it) {
        if (m_withheld.contains(it.key())) {
            continue;
        }
        profile.insert(it.key(), QJsonValue::fromVariant(it.value()));
    }
    return profile;
}

QByteArray ProfileStore::serializeDocument(QJsonObject &root)
{
    root.insert(profileMember, profileObject());
    return m_writer.write(root);
}

bool ProfileStore::save(QJsonObject &root, QString *error)
{
    // The reason handed to the caller is for the user: the step that failed, and the file's error.
    const auto fail = [error](const char *step, const QString &detail) {
        if (error) {
            *error = QCoreApplication::translate("ProfileStore", step);
            if (!detail.isEmpty()) {
                *error += QStringLiteral(" (") + detail + QLatin1Char(')');
            }
        }
        return false;
    };
    const QString path = profilePath();
    if (m_keepBeforeSave && !keepUnreadableFile(path)) {
        return fail("読めなかったファイルを退避できません", QString());
    }
    const bool creating = !QFileInfo::exists(path);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcStore) << "saveProfile: cannot open" << file.errorString() << path;
        return fail("開けません", file.errorString());
    }
    // The profile holds a password in plain text: a new file is for its owner only.
    if (creating && !file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner)) {
        qCWarning(lcStore) << "saveProfile: cannot restrict permissions" << file.errorString() << path;
        return fail("アクセス権を設定できません", file.errorString());
    }
    const QByteArray bytes = serializeDocument(root);
    // commit() does not notice when writing out the buffered bytes fails (a full disk): flush first.
    if (file.write(bytes) != bytes.size() || !file.flush()) {
        qCWarning(lcStore) << "saveProfile: cannot write" << file.errorString() << path;
        return fail("書き込めません", file.errorString());
    }
    if (!file.commit()) {
        qCWarning(lcStore) << "saveProfile: cannot commit" << file.errorString() << path;
        return fail("置き換えられません", file.errorString());
    }
    return true;
}

QString ProfileStore::keepAside(const QString &path)
{
    const QString stem = path + QStringLiteral(".corrupt-")
                         + QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    QString copy = stem;
    for (int n = 2; QFileInfo::exists(copy); ++n) {
        copy = stem + QLatin1Char('-') + QString::number(n);
    }
    // A copy keeps the file in place until a new one replaces it; a file we may not read can still
    // be moved aside.
    if (!QFile::copy(path, copy) && !QFile::rename(path, copy)) {
        return QString();
    }
    return copy;
}

bool ProfileStore::keepUnreadableFile(const QString &path)
{
    if (!QFileInfo(path).isFile()) {
        // Gone since start-up, or never a file: nothing to keep.
        m_keepBeforeSave = false;
        return true;
    }
    const QString copy = keepAside(path);
    if (copy.isEmpty()) {
        qCWarning(lcStore)
            << "saveProfile: the unreadable profile could not be kept aside, so it is not replaced:" << path;
        return false;
    }
    qCWarning(lcStore)
        << "saveProfile: the profile found at start-up could not be read; its bytes are kept in" << copy;
    m_keepBeforeSave = false;
    return true;
}

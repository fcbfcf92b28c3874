#pragma once

#include "store/documentwriter.h"

#include <QHash>
#include <QJsonObject>
#include <QSet>
#include <QString>
#include <QVariant>

#include <optional>

class QJsonArray;
class QJsonValue;

// Reads and writes profile.json, the one file that holds everything the browser remembers: the
// personal values, the field menu's entries, the choices recorded per page and the start page.
//
// The store fills a flat table of personal values that its owner keeps; nested objects in the
// "profile" member are flattened into it. Saving replaces the file atomically, so a crash or a full
// disk never leaves a half-written profile behind, and a file that could not be read at start-up is
// kept under another name before it is first replaced.
class ProfileStore
{
public:
    explicit ProfileStore(QHash<QString, QVariant> &values);

    // The profile's path: the current directory, worked out anew on every call.
    static QString profilePath();

    // Reads profile.json and its "profile" member into the value table. Returns nothing when the
    // file cannot be opened; otherwise the top-level object, empty when the text is not a JSON object.
    std::optional<QJsonObject> load();

    // Sets root's "profile" member from the value table and writes root to profile.json. On any
    // failure the previous file stays whole, a warning names the error, error (when given) says for
    // the user which step failed and why, and false is returned.
    bool save(QJsonObject &root, QString *error = nullptr);

    // The field menu's table from the "actions" member: label to a list whose first item is the
    // profile key. Entries that do not carry a key are left out.
    static QVariantMap menuTable(const QJsonObject &actions);

    // The keys whose values are never shown: "password", and those the top-level "secretKeys" member
    // names.
    static QSet<QString> secretKeys(const QJsonObject &root);

    // The keys whose values the secret store keeps for this folder: the top-level "inSecretStore"
    // list. The file holds only their names; an older version that finds the list keeps it as it is
    // and reads those values as missing.
    static QSet<QString> keysInSecretStore(const QJsonObject &root);
    static void setKeysInSecretStore(QJsonObject &root, const QSet<QString> &keys);
    // Values of these keys are left out of the "profile" member on save.
    void withhold(const QSet<QString> &keys) { m_withheld = keys; }

    // The rules recorded for exactly this page address, and their replacement (none: the address's
    // entry goes).
    static QVariantMap siteRules(const QJsonObject &root, const QString &address);
    static void storeSiteRules(QJsonObject &root, const QString &address, const QVariantMap &rules);

    // Pages where the whole-form fill is run again at every visit: the top-level "wholeFormFill"
    // list of page addresses without query or fragment (sessions change those on every visit).
    static QString pageOf(const QString &address);
    static bool fillsWholeForm(const QJsonObject &root, const QString &address);
    static void setFillsWholeForm(QJsonObject &root, const QString &address, bool fills);

    // Keeps the bytes of a file that could not be read under "<path>.corrupt-<date>-<time>" (with
    // "-2", … when that exists), before it is replaced; answers that name, or nothing on failure.
    static QString keepAside(const QString &path);

    // The document logic without files, for tests and fuzzing. Serialising sets root's "profile"
    // member from the value table.
    static QJsonObject parseDocument(const QByteArray &bytes, bool *wellFormed = nullptr);
    QByteArray serializeDocument(QJsonObject &root);

    void readProfileObject(const QJsonObject &object);
    QVariant readProfileValue(const QJsonValue &value, const QString &key);
    QVariantList readProfileArray(const QJsonArray &array);
    QVariant storeProfileValue(const QString &key, const QVariant &value);

private:
    QJsonObject profileObject() const;
    bool keepUnreadableFile(const QString &path);

    QHash<QString, QVariant> &m_values;
    DocumentWriter m_writer;
    QSet<QString> m_withheld;
    // The file found at load time could not be read or parsed: its bytes are kept before the first save.
    bool m_keepBeforeSave = false;
};

#pragma once

#include "store/household.h"
#include "store/profilestore.h"
#include "store/secretstore.h"

#include <QHash>
#include <QJsonObject>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVector>

#include <optional>

// The profile document in memory and on disk: owns the parsed profile.json, the personal values,
// the field menu's table and the recorded rules of the page shown.
//
// Everything else reads values through value(), the one place where a profile key becomes text.
//
// Secret values (the password and the keys named in "secretKeys") move to the desktop's secret
// store when one answers: after a save that wrote one into profile.json, it is written to the store,
// and once the store has confirmed it the file is saved again without it. A secret kept in the store
// is read from there the first time its text is asked for, and kept for the session. Without a
// store, or when it refuses, secrets stay in the file as they always have.
class ProfileDocument : public QObject
{
    Q_OBJECT

public:
    explicit ProfileDocument(QObject *parent = nullptr);
    ~ProfileDocument() override;

    // Reads profile.json of the current directory. A file that cannot be opened gives an empty
    // document ({"profile": {}}) and no menu; false is returned then.
    bool load();

    // Writes the document with the current values. On failure the file on disk stays as it was,
    // the values stay in memory for the next save, error (when given) says why, and saveFailed is
    // emitted with the same text.
    bool save(QString *error = nullptr);

    // The whole top-level object as last loaded or saved.
    const QJsonObject &root() const { return m_root; }
    QString startPage() const;
    // The "engine" member as written ("webkit", "chromium"), empty when there is none. The document
    // only keeps it; which names count is for the program's start to decide.
    QString engine() const;
    // Whether the "forgetCookiesAtExit" member is true: no cookie outlives the program, for shared
    // computers.
    bool forgetsCookiesAtExit() const;

    // Personal values by profile key.
    const QHash<QString, QVariant> &values() const { return m_values; }
    void setValues(const QHash<QString, QVariant> &values);
    // Whether the profile has a value for key: stored, or derived and not empty.
    bool holds(const QString &key) const;
    // The text a key stands for, stored or derived (fullName, zipcode.part1, …): what the menu
    // offers. A secret the secret store holds and nobody has asked for yet is not in it: this never
    // waits for the store.
    QString value(const QString &key) const;
    // The same, after reading from the secret store the secrets it is made of that are not read
    // yet: a wait on the store that runs the event loop, for the places that fill a value in (a
    // menu pick, a whole-form fill, a recorded rule). Nothing when the store did not give one.
    std::optional<QString> readValue(const QString &key);
    // Whether value(key) is not empty, without reading a secret from the store for it.
    bool hasText(const QString &key) const;
    // Whether key's text is made from a secret the store holds and nobody has read yet: a joined value
    // (fullName with a secret familyName) whose value() would leave that part out.
    bool waitsForSecret(const QString &key) const { return !unreadSecretsFor(key).isEmpty(); }
    // Reads every secret still in the store into values(), for editing them all.
    void readSecrets();

    // The people the user fills forms for, in their stored order (the "people" member).
    const QVector<Person> &people() const { return m_people; }
    // Replaces the list for the next save; none takes the member away.
    void setPeople(const QVector<Person> &people);
    // A person's text for a key, stored or derived, with what a person living with the user shares
    // from the user's values. value() answers keys made by Household::personKey() the same way.
    QString personValue(int person, const QString &key) const;

    // Keys whose values are never shown: "password" and those named in "secretKeys".
    QSet<QString> secretKeys() const { return ProfileStore::secretKeys(m_root); }

    // The field menu's entries: label to a list whose first item is a profile key, in label order.
    const QVariantMap &menuTable() const { return m_menuTable; }

    // The rules recorded for exactly this address.
    QVariantMap rulesFor(const QString &address) const;

    // Selects the rules of the page now shown (none for an empty address).
    void showPage(const QString &address);
    const QVariantMap &pageRules() const { return m_pageRules; }

    // Records that the input with this identifier got the key (or the clear marker) on the page at
    // address, stores that page's rules and saves.
    bool recordChoice(const QString &address, const QString &identifier, const QString &key);
    // The same for several inputs at once (identifier to key), with one save; nothing is saved when
    // choices is empty.
    bool recordChoices(const QString &address, const QVariantMap &choices);

    // Whether the whole-form fill runs again when address is shown: the user used it on the same
    // page (scheme, host, port and path) before.
    bool fillsWholeForm(const QString &address) const;
    // A whole-form fill on the page shown: records its choices and that the page is to be filled
    // again on later visits, with one save.
    bool recordWholeFormFill(const QString &address, const QVariantMap &choices);
    // Takes a whole-form fill back: every identifier in previous gets its earlier rule again (an
    // invalid value: none), and the page is no longer filled on its own. One save.
    bool undoWholeFormFill(const QString &address, const QVariantMap &previous);

signals:
    // After each save: the reason it failed, for the user, or that it reached the disk.
    void saveFailed(const QString &error);
    void saved();
    // The first time in a session that the store confirmed a secret and the file no longer holds it.
    void secretsMoved();

private:
    void storeRules(const QString &address, const QVariantMap &rules);
    void addRules(const QString &address, const QVariantMap &choices);
    // A key whose value the secret store holds: known once read or written in this session.
    struct StoredSecret
    {
        bool known = false;
        QString value;
    };

    // The secret values held now, for the log to mask.
    QStringList secretTexts() const;
    QStringList unreadSecretsFor(const QString &key) const;
    void readSecret(const QString &key) const;
    void moveSecrets();
    void secretWritten(const QString &key, const QString &value, const SecretStore::Result &result);

    // Secrets read from the store join the table on first use, from const readers too.
    mutable QHash<QString, QVariant> m_values;
    mutable QHash<QString, StoredSecret> m_inStore;
    mutable QSet<QString> m_reading;
    mutable bool m_toldUnreadable = false;
    // Secrets being written, with the value written.
    QHash<QString, QString> m_writing;
    // The store failed a write: secrets stay in the file for the rest of the session.
    bool m_storeRefused = false;
    bool m_toldMoved = false;
    SecretStore m_secretStore;
    ProfileStore m_store{m_values};
    QJsonObject m_root;
    QVector<Person> m_people;
    QVariantMap m_menuTable;
    QVariantMap m_pageRules;
    QString m_shownAddress;
};

#include "store/profiledocument.h"

#include "store/defaultactions.h"
#include "store/derivedvalues.h"

#include "logging.h"

#include <QDir>

namespace {
const QString profileMember = QStringLiteral("profile");
const QString startPageMember = QStringLiteral("startPage");

// A secret key's Latin-letter form is as secret as the key (the menu masks both).
bool isSecretKey(const QString &key, const QSet<QString> &secretKeys)
{
    return secretKeys.contains(key)
           || (key.endsWith(QLatin1Char('E')) && secretKeys.contains(key.chopped(1)));
}
const QString engineMember = QStringLiteral("engine");
} // namespace

ProfileDocument::ProfileDocument(QObject *parent)
    : QObject(parent)
    , m_root(QJsonObject{{profileMember, QJsonObject()}})
{
    Logging::addSecretSource(this, [this] { return secretTexts(); });
}

ProfileDocument::~ProfileDocument()
{
    Logging::removeSecretSource(this);
}

// Only what is in memory: the log never makes the store unlock.
QStringList ProfileDocument::secretTexts() const
{
    const QSet<QString> secret = secretKeys();
    QStringList texts;
    for (auto it = m_values.constBegin(); it != m_values.constEnd(); ++it) {
        if (isSecretKey(it.key(), secret)) {
            texts.append(it->toString());
        }
    }
    for (const StoredSecret &stored : qAsConst(m_inStore)) {
        texts.append(stored.value);
    }
    texts.append(m_writing.values());
    // What the menu and the recorded rules write from a secret (its digits, a part, the Latin-letter
    // form) is as secret as the secret itself.
    QSet<QString> written;
    for (const QVariant &entry : m_menuTable) {
        written.insert(entry.toList().value(0).toString());
    }
    for (const QVariant &key : m_pageRules) {
        written.insert(key.toString());
    }
    for (const QString &key : qAsConst(written)) {
        const QString base = key.section(QLatin1Char('.'), 0, 0);
        if (!isSecretKey(base, secret)) {
            continue;
        }
        texts.append(DerivedValues::text(m_values, key));
        if (!base.endsWith(QLatin1Char('E'))) {
            texts.append(DerivedValues::text(m_values, base + QLatin1Char('E') + key.mid(base.size())));
        }
    }
    texts.removeAll(QString());
    return texts;
}

bool ProfileDocument::load()
{
    m_secretStore.setFolder(QDir::currentPath());
    const std::optional<QJsonObject> root = m_store.load();
    if (!root) {
        m_root = QJsonObject{{profileMember, QJsonObject()}};
        m_people.clear();
        m_menuTable = ProfileStore::menuTable(DefaultActions::actionsOf(m_root));
        return false;
    }
    m_root = *root;
    m_people = Household::people(m_root);
    m_menuTable = ProfileStore::menuTable(DefaultActions::actionsOf(m_root));
    m_inStore.clear();
    const QSet<QString> inStore = ProfileStore::keysInSecretStore(m_root);
    for (const QString &key : inStore) {
        // A value in the file as well was written there later, by a version without the store: it
        // wins, and moves to the store with the next save.
        if (!m_values.contains(key)) {
            m_inStore.insert(key, StoredSecret());
        }
    }
    return true;
}

bool ProfileDocument::save(QString *error)
{
    // The file names the secrets the store holds as they are now; the others are written out.
    QSet<QString> inStore;
    for (auto it = m_inStore.constBegin(); it != m_inStore.constEnd(); ++it) {
        const auto value = m_values.constFind(it.key());
        if (value == m_values.constEnd() ? !it->known : it->known && value->toString() == it->value) {
            inStore.insert(it.key());
        }
    }
    ProfileStore::setKeysInSecretStore(m_root, inStore);
    m_store.withhold(inStore);
    QString reason;
    if (!m_store.save(m_root, &reason)) {
        if (error) {
            *error = reason;
        }
        emit saveFailed(reason);
        return false;
    }
    emit saved();
    moveSecrets();
    return true;
}

// Runs after a save, so that a secret is in the file before the store is asked to take it.
void ProfileDocument::moveSecrets()
{
    const QSet<QString> secret = secretKeys();
    for (auto it = m_values.constBegin(); it != m_values.constEnd(); ++it) {
        const QString &key = it.key();
        if (m_storeRefused || !isSecretKey(key, secret) || it->type() != QVariant::String
            || it->toString().isEmpty()) {
            continue;
        }
        const QString value = it->toString();
        const auto stored = m_inStore.constFind(key);
        if ((stored != m_inStore.constEnd() && stored->known && stored->value == value)
            || (m_writing.contains(key) && m_writing.value(key) == value)) {
            continue;
        }
        m_writing.insert(key, value);
        m_secretStore.write(key, value, this, [this, key, value](const SecretStore::Result &result) {
            secretWritten(key, value, result);
        });
    }
    // A secret emptied or dropped since it went to the store must not live on there.
    for (auto it = m_inStore.begin(); it != m_inStore.end();) {
        if (!it->known || !m_values.value(it.key()).toString().isEmpty()) {
            ++it;
            continue;
        }
        const QString key = it.key();
        m_secretStore.remove(key, this, [key](const SecretStore::Result &result) {
            if (!result.ok && !result.missing) {
                qCWarning(lcStore) << "secretStore: cannot remove the old entry of" << key << result.error;
            }
        });
        it = m_inStore.erase(it);
    }
}

void ProfileDocument::secretWritten(const QString &key, const QString &value,
                                    const SecretStore::Result &result)
{
    if (m_writing.value(key) == value) {
        m_writing.remove(key);
    }
    if (!result.ok) {
        if (!m_storeRefused) {
            qCWarning(lcStore) << "secretStore: not available, secret values stay in the profile file:"
                               << result.error;
        }
        m_storeRefused = true;
        return;
    }
    m_inStore.insert(key, {true, value});
    // Changed again meanwhile: the newer value's own write follows.
    if (m_values.value(key).toString() != value) {
        return;
    }
    qCDebug(lcStore) << "secretStore: moved" << key << "to the secret store";
    if (save() && !m_toldMoved) {
        m_toldMoved = true;
        emit secretsMoved();
    }
}

QString ProfileDocument::startPage() const
{
    return m_root.value(startPageMember).toString();
}

QString ProfileDocument::engine() const
{
    return m_root.value(engineMember).toString();
}

bool ProfileDocument::forgetsCookiesAtExit() const
{
    return m_root.value(QLatin1String("forgetCookiesAtExit")).toBool();
}

void ProfileDocument::setValues(const QHash<QString, QVariant> &values)
{
    m_values = values;
    for (auto it = m_inStore.constBegin(); it != m_inStore.constEnd(); ++it) {
        // A secret the store did not give showed as empty: empty then means unknown, not cleared.
        if (!it->known && m_values.value(it.key()).toString().isEmpty()) {
            m_values.remove(it.key());
        }
    }
}

void ProfileDocument::setPeople(const QVector<Person> &people)
{
    m_people = people;
    Household::setPeople(m_root, people);
}

QString ProfileDocument::personValue(int person, const QString &key) const
{
    if (person < 0 || person >= m_people.size()) {
        return QString();
    }
    // What a person shares with the user may be a secret of the user's only in name: the address
    // and the phone are never secret keys, so nothing is read from the store here.
    return DerivedValues::text(Household::valuesOf(m_people[person], m_values), key);
}

QString ProfileDocument::value(const QString &key) const
{
    QString own, reference;
    if (Household::splitPersonKey(key, own, reference)) {
        return personValue(Household::find(m_people, reference), own);
    }
    return DerivedValues::text(m_values, key);
}

std::optional<QString> ProfileDocument::readValue(const QString &key)
{
    QString own, reference;
    if (Household::splitPersonKey(key, own, reference)) {
        return personValue(Household::find(m_people, reference), own);
    }
    const QStringList unread = unreadSecretsFor(key);
    for (const QString &secret : unread) {
        readSecret(secret);
        if (!m_inStore.value(secret).known) {
            return std::nullopt;
        }
    }
    return DerivedValues::text(m_values, key);
}

bool ProfileDocument::hasText(const QString &key) const
{
    // Only text that is not empty goes to the store.
    const auto stored = m_inStore.constFind(key.section(QLatin1Char('.'), 0, 0));
    if (stored != m_inStore.constEnd() && !stored->known) {
        return true;
    }
    return !value(key).isEmpty();
}

void ProfileDocument::readSecrets()
{
    const QStringList keys = m_inStore.keys();
    for (const QString &key : keys) {
        if (!m_inStore.value(key).known) {
            readSecret(key);
        }
    }
}

// The secrets in the store, not read yet, that key's text is made from.
QStringList ProfileDocument::unreadSecretsFor(const QString &key) const
{
    QStringList unread;
    for (auto it = m_inStore.constBegin(); it != m_inStore.constEnd(); ++it) {
        if (!it->known && !m_reading.contains(it.key())) {
            unread.append(it.key());
        }
    }
    if (unread.isEmpty()) {
        return unread;
    }
    const QString base = key.section(QLatin1Char('.'), 0, 0);
    if (unread.contains(base)) {
        return {base};
    }
    if (m_values.contains(base) || !DerivedValues::isDerivedKey(base)) {
        return {};
    }
    // A joined value (fullName, birthDate, …) needs those of its parts that are secret: the ones
    // whose presence changes its text.
    QHash<QString, QVariant> probe = m_values;
    for (const QString &secret : unread) {
        probe.insert(secret, QStringLiteral("1"));
    }
    return DerivedValues::text(probe, key) == DerivedValues::text(m_values, key) ? QStringList() : unread;
}

void ProfileDocument::readSecret(const QString &key) const
{
    // The wait runs the event loop, where a page's load may ask for the same key.
    m_reading.insert(key);
    const SecretStore::Result result = m_secretStore.read(key);
    m_reading.remove(key);
    if (result.ok) {
        m_values.insert(key, result.value);
        m_inStore.insert(key, {true, result.value});
        return;
    }
    // Tried again on the next use: the user may unlock the store meanwhile.
    if (!m_toldUnreadable) {
        m_toldUnreadable = true;
        qCWarning(lcStore) << "secretStore: cannot read" << key << "from the secret store:"
                           << (result.missing ? QStringLiteral("no entry, or the store is locked")
                                              : result.error);
    }
}

bool ProfileDocument::holds(const QString &key) const
{
    QString own, reference;
    if (Household::splitPersonKey(key, own, reference)) {
        return !value(key).isEmpty();
    }
    const auto stored = m_inStore.constFind(key.section(QLatin1Char('.'), 0, 0));
    if (m_values.contains(key) || (stored != m_inStore.constEnd() && !stored->known)) {
        return true;
    }
    // A derived Latin-letter form with nothing to show leaves the menu on the Japanese one.
    const std::optional<QString> derived = DerivedValues::find(m_values, key);
    return derived && !derived->isEmpty();
}

QVariantMap ProfileDocument::rulesFor(const QString &address) const
{
    return ProfileStore::siteRules(m_root, address);
}

void ProfileDocument::showPage(const QString &address)
{
    m_shownAddress = address;
    if (address.isEmpty()) {
        m_pageRules.clear();
        return;
    }
    m_pageRules = rulesFor(address);
}

// Rules go under the address of the page whose fields were filled, which need not be the page shown
// by the time they are recorded; the shown page's rules stay in step with the file.
void ProfileDocument::storeRules(const QString &address, const QVariantMap &rules)
{
    ProfileStore::storeSiteRules(m_root, address, rules);
    if (address == m_shownAddress) {
        m_pageRules = rules;
    }
}

void ProfileDocument::addRules(const QString &address, const QVariantMap &choices)
{
    QVariantMap rules = rulesFor(address);
    for (auto it = choices.constBegin(); it != choices.constEnd(); ++it) {
        rules.insert(it.key(), it.value());
    }
    storeRules(address, rules);
}

bool ProfileDocument::recordChoice(const QString &address, const QString &identifier, const QString &key)
{
    addRules(address, {{identifier, key}});
    return save();
}

bool ProfileDocument::recordChoices(const QString &address, const QVariantMap &choices)
{
    if (choices.isEmpty()) {
        return true;
    }
    addRules(address, choices);
    return save();
}

bool ProfileDocument::fillsWholeForm(const QString &address) const
{
    return ProfileStore::fillsWholeForm(m_root, address);
}

bool ProfileDocument::recordWholeFormFill(const QString &address, const QVariantMap &choices)
{
    if (!choices.isEmpty()) {
        addRules(address, choices);
    }
    ProfileStore::setFillsWholeForm(m_root, address, true);
    return save();
}

bool ProfileDocument::undoWholeFormFill(const QString &address, const QVariantMap &previous)
{
    QVariantMap rules = rulesFor(address);
    for (auto it = previous.constBegin(); it != previous.constEnd(); ++it) {
        if (it.value().isValid()) {
            rules.insert(it.key(), it.value());
        } else {
            rules.remove(it.key());
        }
    }
    if (!previous.isEmpty()) {
        storeRules(address, rules);
    }
    ProfileStore::setFillsWholeForm(m_root, address, false);
    return save();
}

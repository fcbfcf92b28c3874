#include "store/profiledocument.h"

#include "store/defaultactions.h"
#include "store/derivedvalues.h"

namespace {
const QString profileMember = QStringLiteral("profile");
const QString startPageMember = QStringLiteral("startPage");
const QString engineMember = QStringLiteral("engine");
} // namespace

ProfileDocument::ProfileDocument(QObject *parent)
    : QObject(parent)
    , m_root(QJsonObject{{profileMember, QJsonObject()}})
{
}

ProfileDocument::~ProfileDocument() = default;

bool ProfileDocument::load()
{
    const std::optional<QJsonObject> root = m_store.load();
    if (!root) {
        m_root = QJsonObject{{profileMember, QJsonObject()}};
        m_menuTable = ProfileStore::menuTable(DefaultActions::actionsOf(m_root));
        return false;
    }
    m_root = *root;
    m_menuTable = ProfileStore::menuTable(DefaultActions::actionsOf(m_root));
    return true;
}

bool ProfileDocument::save(QString *error)
{
    QString reason;
    if (!m_store.save(m_root, &reason)) {
        if (error) {
            *error = reason;
        }
        emit saveFailed(reason);
        return false;
    }
    emit saved();
    return true;
}

QString ProfileDocument::startPage() const
{
    return m_root.value(startPageMember).toString();
}

QString ProfileDocument::engine() const
{
    return m_root.value(engineMember).toString();
}

void ProfileDocument::setValues(const QHash<QString, QVariant> &values)
{
    m_values = values;
}

QString ProfileDocument::value(const QString &key) const
{
    return DerivedValues::text(m_values, key);
}

bool ProfileDocument::holds(const QString &key) const
{
    if (m_values.contains(key)) {
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
    if (address.isEmpty()) {
        m_pageRules.clear();
        return;
    }
    m_pageRules = rulesFor(address);
}

bool ProfileDocument::recordChoice(const QString &address, const QString &identifier, const QString &key)
{
    m_pageRules.insert(identifier, key);
    ProfileStore::storeSiteRules(m_root, address, m_pageRules);
    return save();
}

bool ProfileDocument::recordChoices(const QString &address, const QVariantMap &choices)
{
    if (choices.isEmpty()) {
        return true;
    }
    for (auto it = choices.constBegin(); it != choices.constEnd(); ++it) {
        m_pageRules.insert(it.key(), it.value());
    }
    ProfileStore::storeSiteRules(m_root, address, m_pageRules);
    return save();
}

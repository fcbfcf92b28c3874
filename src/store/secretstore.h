#pragma once

#include <QObject>
#include <QString>

#include <functional>

// The desktop's secret store (the Secret Service of GNOME Keyring, KWallet), where the password and
// the other secret values of a profile folder are kept instead of profile.json.
//
// Entries belong to the service "kakikomi" and are named after the canonical path of the profile
// folder and the profile key ("/home/user/.local/share/kakikomi#password"), so that every
// --profile-dir folder has entries of its own and a folder reached through a link shares them.
class SecretStore
{
public:
    static const QString service;

    // One answer of the store. missing: the store has no such entry, or cannot show it (a locked
    // keyring answers that way too). error: why the request failed, for the log.
    struct Result
    {
        bool ok = false;
        bool missing = false;
        QString value;
        QString error;
    };
    using Done = std::function<void(const Result &)>;

    // The entries of the profile folder at path.
    explicit SecretStore(const QString &folder = QString());
    void setFolder(const QString &folder);
    QString entryName(const QString &key) const;

    // Reads key's value and waits for the answer. Timers, sockets and painting go on meanwhile, but
    // not user input; the store may first ask the user to unlock it.
    Result read(const QString &key) const;
    // Start writing or removing the entry; done gets the answer from the event loop later, unless
    // context is gone by then.
    void write(const QString &key, const QString &value, QObject *context, Done done) const;
    void remove(const QString &key, QObject *context, Done done) const;

private:
    QString m_folder;
};

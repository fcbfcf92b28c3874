#pragma once

#include <QSet>
#include <QString>
#include <QWebEngineView>

class QWebEngineProfile;
class WindowGate;

// A Qt WebEngine view as the browser shows pages in it: off the record (nothing of a session is
// left in the user's folders) unless given a storage folder, every new window loaded in this same
// view, every certificate error accepted as the classic engine does, and the page's console messages
// in the debug log only.
class ChromiumView : public QWebEngineView
{
    Q_OBJECT

public:
    explicit ChromiumView(QWidget *parent = nullptr);
    // Keeps cookies and site data in the folder storage (its HTTP cache in memory); off the record
    // when storage is empty.
    ChromiumView(QWidget *parent, const QString &storage);
    ~ChromiumView() override;

    QWebEngineProfile *profile() const { return m_profile; }

    // Whether the main frame's document came over a connection whose certificate failed.
    bool insecure() const;

private:
    // Whether the address shown is of a host whose certificate failed.
    bool addressInsecure() const;

    friend class ChromiumWebPage;

    static QWebEngineProfile *keptProfile(const QString &storage, QObject *parent);

    QWebEngineProfile *m_profile;
    // The hosts ("host:port") whose certificate failed. Chromium remembers an accepted error for its
    // host and does not ask again, so a later document from there is as insecure as the first.
    QSet<QString> m_failedHosts;
    // Stops a new window's request once it has told who asked for it.
    WindowGate *m_windowGate = nullptr;
    bool m_loading = false;
    bool m_documentInsecure = false;
};

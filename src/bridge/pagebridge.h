#pragma once

#include "bridge/bridgekeeper.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>

class ProfileDocument;
class QWebElement;
class QWebView;

// The browser's side of every page: owns the bridge object published to its scripts, the handles
// and identifiers of its inputs, and the generated-identifier counter. Reports clicks, no menus.
class PageBridge : public QObject
{
    Q_OBJECT

public:
    // Reads the values that recorded rules fill in from document.
    PageBridge(QWebView *view, const ProfileDocument &document, QObject *parent = nullptr);
    ~PageBridge() override;

    // Publishes a new bridge object as "delegate" in the main frame, connects its doSignal(QString)
    // to receiver's member (a SLOT() signature), and runs the setup script with its test call.
    void publish(QObject *receiver, const char *member);

    // A new address is shown: generated identifiers count from 1 again.
    void restartIdentifiers();

    // Releases the previous page's handles, then, after a successful load, walks the page: gives
    // every input its identifier and click handler, registers it, and hides the "sliding-popup" DIV.
    void pageLoaded(bool ok);
    // The two halves of pageLoaded, for measuring them apart.
    void releaseElements();
    void instrumentPage();

    // Fills every registered input that has a rule (identifier to profile key) with the key's value.
    void applyRules(const QVariantMap &rules);

    // Sets every registered select that has a rule to the option standing for the key's value, with
    // the events a user's choice causes; a select with no such option stays as it is.
    void applySelectRules(const QVariantMap &rules);

    // Whether applyRules or applySelectRules would fill anything on the page shown.
    bool matchesAnyRule(const QVariantMap &rules) const;

    // The registered input with this identifier (an id, a name or a generated one), or null.
    QWebElement *input(const QString &identifier) const { return m_inputs.value(identifier); }
    const QHash<QString, QWebElement *> &inputs() const { return m_inputs; }
    // The registered <select> with this identifier (its id, else its name; also its name), or null.
    const QWebElement *select(const QString &identifier) const;
    // Element handles held for the page shown, the document element included.
    int handleCount() const { return m_handles.size(); }
    // Bridge objects alive, the current one included.
    int liveBridges() const { return m_bridges.liveCount(); }

public slots:
    // A call that arrived through the bridge: emits inputClicked unless it is the bridge's own test
    // call. The bridge that called stays alive until this returns.
    void receive(const QString &identifier);

signals:
    void inputClicked(const QString &identifier);

private:
    void instrumentChildren(QWebElement *parent);
    QString nextAutoId();
    // Selects get a table of their own, filled after the inputs' walk: they take no generated
    // identifiers and no click handlers, so the inputs' numbering stays as it was.
    void registerSelects();

    QWebView *m_view;
    const ProfileDocument &m_document;
    QHash<QString, QWebElement *> m_inputs;
    QList<QWebElement *> m_handles;
    QHash<QString, QWebElement> m_selects;
    int m_autoIdCounter = 0;
    BridgeKeeper m_bridges;
};

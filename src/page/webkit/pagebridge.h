#pragma once

#include "page/webkit/bridgekeeper.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QVariant>

class QWebElement;
class QWebView;

// The browser's side of every page: owns the bridge object published to its scripts, the handles
// and identifiers of its inputs, and the generated-identifier counter. Reports clicks, no menus.
class PageBridge : public QObject
{
    Q_OBJECT

public:
    explicit PageBridge(QWebView *view, QObject *parent = nullptr);
    ~PageBridge() override;

    // Publishes a new bridge object as "delegate" in the main frame, connects its doSignal(QString)
    // to receiver's member (a SLOT() signature), and runs the setup script with its test call.
    void publish(QObject *receiver, const char *member);

    // A new address is shown: generated identifiers count from 1 again.
    void restartIdentifiers();

    // Forgets the previous page's inputs, then, after a successful load, walks the page: gives
    // every input its identifier and click handler, registers it, and hides the "sliding-popup" DIV.
    // Nothing here makes the engine redo work before it paints the new page: the previous page's
    // handles are freed, and now and then the engine's memory caches cleared, once the new page has
    // been painted (or soon after, if it is not painted).
    void pageLoaded(bool ok);
    // Frees every handle at once, the previous pages' included, empties the table of inputs and
    // clears the engine's memory caches.
    void releaseElements();
    // The walk alone.
    void instrumentPage();
    // Whether the last walk came upon frames (or could not tell).
    bool framesFound() const { return m_framesFound; }
    // Inputs added to the page since its walk get their identifiers and click handlers, and are
    // registered, as the walk does; so do those whose click handler the page replaced.
    void instrumentAppeared();

    // The registered input with this identifier (an id, a name or a generated one), or null.
    QWebElement *input(const QString &identifier) const { return m_inputs.value(identifier); }
    const QHash<QString, QWebElement *> &inputs() const { return m_inputs; }
    // Element handles held for the page shown: one per input.
    int handleCount() const { return m_handles.size(); }
    // Handles of earlier pages that wait for the new page's first paint to be freed.
    int retiredCount() const { return m_retired.size(); }
    // Bridge objects alive, the current one included.
    int liveBridges() const { return m_bridges.liveCount(); }

public slots:
    // A call that arrived through the bridge: emits inputClicked unless it is the bridge's own test
    // call. The bridge that called stays alive until this returns.
    void receive(const QString &identifier);

signals:
    void inputClicked(const QString &identifier);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Publishes a new bridge object as "delegate", connected to the receiver of publish.
    void publishObject();
    void instrument(QWebElement *input);
    void instrumentChildren(const QWebElement &parent);
    QString nextAutoId();
    // Runs once the page shown was painted or the fallback timer fired: frees the previous pages'
    // handles and, every so many pages or once resident memory has grown enough, clears the
    // engine's memory caches.
    void tidyUp();
    void clearCaches();

    QWebView *m_view;
    QObject *m_receiver = nullptr;
    const char *m_member = nullptr;
    QHash<QString, QWebElement *> m_inputs;
    QList<QWebElement *> m_handles;
    QList<QWebElement *> m_retired;
    int m_autoIdCounter = 0;
    bool m_framesFound = true;
    bool m_tidyPending = false;
    QTimer m_tidyFallback;
    QTimer m_idleClear;
    int m_pagesSinceClear = 0;
    qint64 m_residentAtClear = 0;
    BridgeKeeper m_bridges;
};

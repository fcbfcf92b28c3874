#pragma once

#include "page/page.h"

#include <QElapsedTimer>
#include <QPoint>
#include <QPointer>
#include <QTimer>
#include <QVariant>

#include <functional>

class ChromiumView;
class QWebChannel;

// The page shown in a ChromiumView. The page script lives in a script world of its own, where the
// page's scripts can neither see nor change it, and reports through a web channel that only that
// world sees. Calls answer later, from the event loop.
class ChromiumPage : public Page
{
    Q_OBJECT

public:
    explicit ChromiumPage(ChromiumView *view, QObject *parent = nullptr);
    ~ChromiumPage() override;

    QWidget *widget() const override;
    QString address() const override;
    bool insecure() const override;
    void scan(const Scanned &done, Frames frames = Frames::All) override;
    void write(const QVector<Write> &writes, const Done &done) override;
    void read(const QVector<Handle> &handles, const Done &done) override;
    void readOptions(const QVector<Handle> &handles, const OptionsRead &done) override;
    void endComposition() override;
    bool literalTypes() const override { return false; }

    // Called by the page script, through the channel.
    void report(const QString &kind, const QVariant &data);

    // How long a press stays good for the click it causes, from its release.
    static constexpr int pressLifetimeMs = 1000;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    using Answer = std::function<void(const QVariant &result)>;
    struct Call
    {
        QString function;
        QVariant arguments;
        Answer answer;
        quint32 loads = 0;
    };

    // Runs a function of the page script once the document's script is ready; answer gets its result,
    // unless a load starts first.
    void call(const QString &function, const QVariant &arguments, const Answer &answer);
    void run(const Call &call);
    void runWaiting();
    void documentReady(const QString &token);
    // Asks the document shown for its token, unless a load is under way.
    void askToken();
    void pageLoadStarted();
    void pageLoadFinished();
    void watchFocusProxy();
    void clicked(int handle);
    void takeAppeared();

    QPointer<ChromiumView> m_view;
    // The view as a plain object, likewise.
    const QObject *m_viewObject;
    QWebChannel *m_channel;
    QPointer<QWidget> m_focusProxy;
    // The focus proxy, for telling events apart without touching an object that may be going away.
    const QObject *m_focusProxyObject = nullptr;
    // Counts the loads begun: what was asked before one is not answered.
    quint32 m_loads = 0;
    // The token the current document's script announced itself with; empty before it is ready.
    QString m_token;
    // The token of the document the page script was last installed in.
    QString m_installedToken;
    // Asks again while calls wait for a document that has not said its token (one whose load
    // finished before its script ran, or a view shown with its document already there).
    QTimer m_tokenRetry;
    static constexpr int tokenRetryMs = 100;
    bool m_loading = false;
    QVector<Call> m_waiting;
    QElapsedTimer m_sincePress;
    QPoint m_pressPosition;
    bool m_pressPending = false;
    bool m_appearedPending = false;
};

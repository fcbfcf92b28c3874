#pragma once

#include "page/page.h"

#include <QPointer>
#include <QVariant>

#include <memory>

class CertificateWatch;
class ClickGate;
class PageBridge;
class QWebView;

// The page shown in a Qt WebKit view. The classic bridge (the "delegate" object, sendSignal, the
// inputs' onclick handlers and their identifiers, the refill at load) works as it always has; the page
// script does the rest, with a watcher installed once the page has loaded: describing controls, writing, and
// watching for controls that appear later or sit in same-origin frames. Every call answers at once.
class WebKitPage : public Page
{
    Q_OBJECT

public:
    explicit WebKitPage(QWebView *view, QObject *parent = nullptr);
    ~WebKitPage() override;

    PageBridge &bridge() const { return *m_bridge; }

    QWidget *widget() const override;
    QString address() const override;
    bool insecure() const override;
    void scan(const Scanned &done, Frames frames = Frames::All) override;
    void write(const QVector<Write> &writes, const Done &done) override;
    void read(const QVector<Handle> &handles, const Done &done) override;
    void readOptions(const QVector<Handle> &handles, const OptionsRead &done) override;
    void endComposition() override;
    bool literalTypes() const override { return true; }

    // After the bridge's walk of a loaded page: installs the watcher.
    void pageLoaded(bool ok);
    void viewLoadFinished(bool ok) override { pageLoaded(ok); }
    void viewAddressChanged() override;
    void publishDelegate(QObject *receiver, const char *member) override;
    void receiveSignal(const QString &sender) override;
    // The bridge reported a click on the input with this identifier.
    void inputClicked(const QString &identifier);

    // Called by the page script, through the object published for it.
    void report(const QString &kind, const QVariant &data);

private:
    // The watcher goes in with every document, before the page's own scripts (seal), and starts
    // watching once it has loaded; the page script goes in when first needed.
    void seal();
    // withoutFrames: the bridge's walk has just found no frames in the document.
    bool watch(bool withoutFrames = false);
    bool install();
    // Asks the watcher (how: "call" for a value, "text" for JSON text) to run a function.
    QVariant evaluate(const QString &how, const QString &function, const QVariantList &arguments = {});
    // Runs a function of the page script with arguments; invalid when the script is not there.
    QVariant call(const QString &function, const QVariant &arguments = QVariant());
    // The page script's handle of the control the user pressed (or its label), 0 for none.
    int pressedControl();
    void clickedOutsideBridge(int handle, quint32 document);
    void takeAppeared();

    QWebView *m_view;
    std::unique_ptr<PageBridge> m_bridge;
    ClickGate *m_clickGate;
    CertificateWatch *m_certificates;
    QObject *m_reporter;
    QString m_token;
    bool m_sealed = false;
    bool m_sealing = false;
    bool m_watching = false;
    bool m_installed = false;
    bool m_appearedPending = false;
};

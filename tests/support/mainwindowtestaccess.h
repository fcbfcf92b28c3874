#pragma once

#include "app/mainwindow.h"
#include "app/singlewebview.h"

#include <QJsonObject>
#include <QProgressBar>
#include <QWebElement>
#include <QWebFrame>
#include <QWebPage>

// The tests' view of the window's private state.
class MainWindowTestAccess
{
public:
    explicit MainWindowTestAccess(MainWindow &window)
        : w(window)
    {
    }

    SingleWebView *webView() const { return w.webView; }
    QProgressBar *progressBar() const { return w.progressBar; }
    QHash<QString, QVariant> &profileValues() const { return w.profileValues; }
    const QMap<QString, QVariant> &actionTable() const { return w.actionTable; }
    const QMap<QString, QVariant> &siteRules() const { return w.siteRules; }
    const QHash<QString, QWebElement *> &inputElements() const { return w.inputElements; }
    const QList<QWebElement *> &elementHandles() const { return w.elementHandles; }
    const QJsonObject &profileRoot() const { return *w.profileRoot; }
    int inputLanguage() const { return w.inputLanguage; }
    const QString &startPage() const { return w.startPage; }
    int liveBridges() const { return w.bridges.liveCount(); }
    void saveProfile() const { w.saveProfile(); }
    void handleLoadFinished(bool ok) const { w.on_webview_loadFinished(ok); }
    void applySiteRules() const { w.applySiteRules(); }
    void releaseElements() const { w.releaseElements(); }
    // The walk of the page shown, without the rest of the load-finished handling.
    void instrumentPage() const
    {
        auto *document = new QWebElement(w.webView->page()->mainFrame()->documentElement());
        w.elementHandles.append(document);
        w.instrumentChildren(document);
    }
    void signal(const QString &sender) const { w.on_signal(sender); }

private:
    MainWindow &w;
};

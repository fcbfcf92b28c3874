#pragma once

#include "app/mainwindow.h"
#include "app/singlewebview.h"
#include "bridge/pagebridge.h"
#include "fill/fieldfiller.h"
#include "store/profiledocument.h"

#include <QJsonObject>
#include <QProgressBar>
#include <QWebElement>
#include <QWebFrame>
#include <QWebPage>

// The tests' view of the window's parts (to be replaced by the parts' own interfaces).
class MainWindowTestAccess
{
public:
    explicit MainWindowTestAccess(MainWindow &window)
        : w(window)
    {
    }

    SingleWebView *webView() const { return w.webView(); }
    QProgressBar *progressBar() const { return w.progressBar(); }
    const QHash<QString, QVariant> &profileValues() const { return w.document().values(); }
    const QMap<QString, QVariant> &actionTable() const { return w.document().menuTable(); }
    const QMap<QString, QVariant> &siteRules() const { return w.document().pageRules(); }
    const QHash<QString, QWebElement *> &inputElements() const { return w.bridge().inputs(); }
    int elementHandles() const { return w.bridge().handleCount(); }
    const QJsonObject &profileRoot() const { return w.document().root(); }
    int inputLanguage() const { return w.filler().inputLanguage(); }
    QString startPage() const { return w.startPage(); }
    int liveBridges() const { return w.bridge().liveBridges(); }
    void saveProfile() const { w.document().save(); }
    void applySiteRules() const { w.bridge().applyRules(w.document().pageRules()); }
    void releaseElements() const { w.bridge().releaseElements(); }
    void instrumentPage() const { w.bridge().instrumentPage(); }
    void signal(const QString &sender) const { w.bridge().receive(sender); }

private:
    MainWindow &w;
};

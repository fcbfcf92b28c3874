// The main window's side of the page bridge: publishing the bridge object, instrumenting every
// input of a loaded page, and filling the inputs that have recorded rules.

#include "app/mainwindow.h"

#include "app/singlewebview.h"
#include "bridge/delegate.h"
#include "bridge/pagescripts.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QProgressBar>
#include <QWebElement>
#include <QWebFrame>
#include <QWebPage>
#include <QWebSettings>

void MainWindow::connectDelegate()
{
    QWebFrame *frame = webView->page()->mainFrame();
    auto *delegate = new Delegate;
    frame->addToJavaScriptWindowObject(QStringLiteral("delegate"), delegate, QWebFrame::QtOwnership);
    connect(delegate, SIGNAL(doSignal(const QString &)), this, SLOT(on_signal(const QString &)));
    bridges.adopt(delegate);

    const BridgeKeeper::SelfTest selfTest(bridges);
    frame->evaluateJavaScript(PageScripts::bridgeSetup());
}

void MainWindow::on_webview_loadFinished(bool ok)
{
    qDebug() << "finished with ok: " << ok;
    releaseElements();
    if (!ok) {
        return;
    }
    auto *document = new QWebElement(webView->page()->mainFrame()->documentElement());
    elementHandles.append(document);
    instrumentChildren(document);
    if (progressBar) {
        progressBar->setValue(100);
        progressBar->hide();
    }
    ui->statusBar->showMessage(tr("ページが表示されました"));
    applySiteRules();
}

void MainWindow::releaseElements()
{
    qDeleteAll(elementHandles);
    elementHandles.clear();
    inputElements.clear();
    QWebSettings::clearMemoryCaches();
    QWebSettings::clearIconDatabase();
}

void MainWindow::instrumentChildren(QWebElement *parent)
{
    for (QWebElement element = parent->firstChild(); !element.isNull(); element = element.nextSibling()) {
        auto *child = new QWebElement(element);
        // Children first: inputs are then handled in document order.
        instrumentChildren(child);
        elementHandles.append(child);

        const QString tag = child->tagName();
        if (tag == QLatin1String("INPUT")) {
            const QString id = child->attribute(QStringLiteral("id"));
            const QString name = child->attribute(QStringLiteral("name"));
            QString identifier = id;
            if (identifier.trimmed().isEmpty()) {
                identifier = name;
            }
            if (identifier.trimmed().isEmpty()) {
                identifier = nextAutoId();
                child->setAttribute(QStringLiteral("id"), identifier);
            }
            child->setAttribute(QStringLiteral("onclick"), PageScripts::clickHandler(identifier));
            inputElements.insert(identifier, child);
            if (!name.isEmpty()) {
                inputElements.insert(name, child);
            }
        } else if (tag == QLatin1String("DIV")
                   && child->attribute(QStringLiteral("id")) == QLatin1String("sliding-popup")) {
            child->setAttribute(QStringLiteral("style"), QStringLiteral("display: none;"));
        }
    }
}

QString MainWindow::nextAutoId()
{
    return QStringLiteral("unknown%1").arg(++autoIdCounter);
}

void MainWindow::applySiteRules()
{
    for (auto it = inputElements.constBegin(); it != inputElements.constEnd(); ++it) {
        const auto rule = siteRules.constFind(it.key());
        if (rule == siteRules.constEnd()) {
            continue;
        }
        const QString value = profileValues.value(rule.value().toString()).toString();
        it.value()->evaluateJavaScript(PageScripts::assignValue(value));
    }
}

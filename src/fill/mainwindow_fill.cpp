// The main window's side of form filling: the menu on a clicked input, and what a chosen entry
// does to the field and to the page's recorded rules.

#include "app/mainwindow.h"

#include "app/singlewebview.h"
#include "bridge/pagescripts.h"
#include "fill/fieldmenu.h"
#include "fill/widthconversion.h"

#include <QAction>
#include <QCursor>
#include <QDebug>
#include <QMenu>
#include <QScopedValueRollback>
#include <QWebElement>

namespace {

const QString typeAttribute = QStringLiteral("type");

// A password field's text is written to the log as asterisks of the same length.
QVariant forLog(const QWebElement &element, const QVariant &text)
{
    if (element.attribute(typeAttribute) == QLatin1String("password")) {
        return QString(text.toString().size(), QLatin1Char('*'));
    }
    return text;
}

QString textForLog(const QWebElement &element, const QString &text)
{
    return forLog(element, text).toString();
}

} // namespace

void MainWindow::on_signal(const QString &sender)
{
    qDebug() << "on_signal(" << sender << ")";
    const BridgeKeeper::Delivery delivery(bridges);
    if (bridges.selfTestRunning()) {
        // The bridge's own test call as it is published: the previous page's inputs are still
        // registered, and none of them was clicked.
        return;
    }
    if (fieldMenuOpen) {
        // Page scripts keep running while the menu is open; a page calling the bridge from a timer
        // must not stack menus on the user.
        return;
    }
    QWebElement *element = inputElements.value(sender);
    if (!element || !FieldMenu::acceptsType(element->attribute(typeAttribute))) {
        return;
    }

    QMenu menu(webView);
    const QVector<FieldMenu::Entry> entries =
        FieldMenu::entries(sender, actionTable, profileValues, inputLanguage);
    for (const FieldMenu::Entry &entry : entries) {
        menu.addAction(entry.text)->setData(entry.record);
    }
    menu.move(QCursor::pos());
    connect(&menu, SIGNAL(triggered(QAction *)), this, SLOT(on_profileSelected(QAction *)));
    const QScopedValueRollback<bool> open(fieldMenuOpen, true);
    menu.exec();
}

void MainWindow::on_profileSelected(QAction *a)
{
    const QVariantMap record = a->data().toMap();
    qDebug() << "on_profileSelected(" << record.value(FieldMenu::keyField) << ")";
    // Looked up now: the page may have changed while the menu was open.
    const QString identifier = record.value(FieldMenu::elementField).toString();
    QWebElement *element = inputElements.value(identifier);
    if (!element) {
        return;
    }
    const QString key = record.value(FieldMenu::keyField).toString();
    if (key == FieldMenu::toFullWidthMarker || key == FieldMenu::toHalfWidthMarker) {
        convertWidth(*element, key);
        return;
    }
    if (key == FieldMenu::clearMarker) {
        element->evaluateJavaScript(PageScripts::clearValue());
    } else {
        insertValue(*element, record.value(FieldMenu::valueField).toString());
    }
    recordChoice(identifier, key);
}

void MainWindow::convertWidth(QWebElement &element, const QString &marker)
{
    const bool toFull = marker == FieldMenu::toFullWidthMarker;
    if (toFull) {
        qDebug() << forLog(element, element.evaluateJavaScript(PageScripts::readValue()));
    }
    const QString oldText = element.evaluateJavaScript(PageScripts::readValue()).toString();
    const QString newText =
        toFull ? WidthConversion::toFullWidth(oldText) : WidthConversion::toHalfWidth(oldText);
    qDebug() << "[" << textForLog(element, oldText) << "] → [" << textForLog(element, newText) << "]";
    element.evaluateJavaScript(PageScripts::assignValue(newText));
}

void MainWindow::insertValue(QWebElement &element, const QString &value)
{
    if (element.attribute(typeAttribute) == QLatin1String("email")) {
        element.evaluateJavaScript(PageScripts::assignValue(value));
    } else if (!element.evaluateJavaScript(PageScripts::tryInsertAtSelection(value)).toBool()) {
        // The engine refuses selections on some field types (number): the value replaces the content.
        element.evaluateJavaScript(PageScripts::assignValue(value));
    }
    qDebug() << forLog(element, element.evaluateJavaScript(PageScripts::readValue()));
}

void MainWindow::recordChoice(const QString &element, const QString &key)
{
    siteRules.insert(element, key);
    ProfileStore::storeSiteRules(*profileRoot, webView->url().toString(), siteRules);
    saveProfile();
}

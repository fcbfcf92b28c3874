#include "fill/fieldfiller.h"

#include "bridge/clickgate.h"
#include "bridge/imecomposition.h"
#include "bridge/pagebridge.h"
#include "bridge/pagescripts.h"
#include "fill/fieldmenu.h"
#include "fill/widthconversion.h"
#include "logging.h"
#include "store/profiledocument.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QScopedValueRollback>
#include <QWebElement>
#include <QWebView>

namespace {

const QString typeAttribute = QStringLiteral("type");

// A password field's text, and a secret value wherever it goes, is written to the log as asterisks of
// the same length.
QVariant forLog(const QWebElement &element, const QVariant &text, bool secret = false)
{
    if (secret || element.attribute(typeAttribute) == QLatin1String("password")) {
        return QString(text.toString().size(), QLatin1Char('*'));
    }
    return text;
}

QString textForLog(const QWebElement &element, const QString &text)
{
    return forLog(element, text).toString();
}

} // namespace

FieldFiller::FieldFiller(QWebView *view, const PageBridge &bridge, ProfileDocument &document, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_bridge(bridge)
    , m_document(document)
    , m_inputLanguage(FieldMenu::Japanese)
    , m_clickGate(new ClickGate(view))
{
}

FieldFiller::~FieldFiller() = default;

void FieldFiller::openMenu(const QString &identifier)
{
    if (m_menuOpen) {
        // Page scripts keep running while the menu is open; a page calling the bridge from a timer
        // must not stack menus on the user.
        return;
    }
    QWebElement *element = m_bridge.input(identifier);
    if (!element || !FieldMenu::acceptsType(element->attribute(typeAttribute))) {
        return;
    }
    if (!m_clickGate->admit(*element)) {
        qCDebug(lcFill) << "no menu: the user did not click" << identifier;
        return;
    }

    QMenu menu(m_view);
    const QVector<FieldMenu::Entry> entries = FieldMenu::entries(identifier, m_document, m_inputLanguage);
    for (const FieldMenu::Entry &entry : entries) {
        menu.addAction(entry.text)->setData(entry.record);
    }
    menu.move(QCursor::pos());
    connect(&menu, &QMenu::triggered, this, &FieldFiller::entryTriggered);
    const QScopedValueRollback<bool> open(m_menuOpen, true);
    menu.exec();
}

void FieldFiller::apply(QAction *entry)
{
    const QVariantMap record = entry->data().toMap();
    qCDebug(lcFill) << "on_profileSelected(" << record.value(FieldMenu::keyField) << ")";
    // Looked up now: the page may have changed while the menu was open.
    const QString identifier = record.value(FieldMenu::elementField).toString();
    QWebElement *element = m_bridge.input(identifier);
    if (!element) {
        return;
    }
    const QString key = record.value(FieldMenu::keyField).toString();
    // An open composition would cover what is written, and the input method's next text replace it.
    ImeComposition::end(m_view);
    if (key == FieldMenu::toFullWidthMarker || key == FieldMenu::toHalfWidthMarker) {
        convertWidth(*element, key);
        return;
    }
    if (key == FieldMenu::clearMarker) {
        element->evaluateJavaScript(PageScripts::typeValue(QString()));
    } else {
        // A secret is read now, perhaps from the secret store: the menu showed only dots.
        const bool secret = FieldMenu::isSecret(key, m_document.secretKeys());
        insertValue(*element, secret ? m_document.value(key) : record.value(FieldMenu::valueField).toString(),
                    secret);
    }
    m_document.recordChoice(m_view->url().toString(), identifier, key);
}

void FieldFiller::convertWidth(QWebElement &element, const QString &marker)
{
    const bool toFull = marker == FieldMenu::toFullWidthMarker;
    if (toFull) {
        qCDebug(lcFill) << forLog(element, element.evaluateJavaScript(PageScripts::readValue()));
    }
    const QString oldText = element.evaluateJavaScript(PageScripts::readValue()).toString();
    const QString newText =
        toFull ? WidthConversion::toFullWidth(oldText) : WidthConversion::toHalfWidth(oldText);
    qCDebug(lcFill) << "[" << textForLog(element, oldText) << "] → [" << textForLog(element, newText) << "]";
    element.evaluateJavaScript(PageScripts::typeValue(newText));
}

// Every write goes through the typing scripts, so that pages keeping their own state take it.
void FieldFiller::insertValue(QWebElement &element, const QString &value, bool secret)
{
    if (element.attribute(typeAttribute) == QLatin1String("email")) {
        element.evaluateJavaScript(PageScripts::typeValue(value));
    } else {
        // At the selection; where the engine refuses selections (number) the value replaces the content.
        element.evaluateJavaScript(PageScripts::typeAtSelection(value));
    }
    qCDebug(lcFill) << forLog(element, element.evaluateJavaScript(PageScripts::readValue()), secret);
}

#include "bridge/pagebridge.h"

#include "bridge/delegate.h"
#include "bridge/pagescripts.h"
#include "fill/formscanner.h"
#include "fill/selectmatcher.h"
#include "store/profiledocument.h"

#include <QWebElement>
#include <QWebFrame>
#include <QWebPage>
#include <QWebSettings>
#include <QWebView>

#include <algorithm>

PageBridge::PageBridge(QWebView *view, const ProfileDocument &document, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_document(document)
{
}

PageBridge::~PageBridge()
{
    releaseElements();
}

void PageBridge::publish(QObject *receiver, const char *member)
{
    QWebFrame *frame = m_view->page()->mainFrame();
    auto *delegate = new Delegate;
    frame->addToJavaScriptWindowObject(QStringLiteral("delegate"), delegate, QWebFrame::QtOwnership);
    connect(delegate, SIGNAL(doSignal(const QString &)), receiver, member);
    m_bridges.adopt(delegate);

    const BridgeKeeper::SelfTest selfTest(m_bridges);
    frame->evaluateJavaScript(PageScripts::bridgeSetup());
}

void PageBridge::receive(const QString &identifier)
{
    const BridgeKeeper::Delivery delivery(m_bridges);
    if (m_bridges.selfTestRunning()) {
        // The bridge's own test call as it is published: the previous page's inputs are still
        // registered, and none of them was clicked.
        return;
    }
    emit inputClicked(identifier);
}

void PageBridge::restartIdentifiers()
{
    m_autoIdCounter = 0;
}

void PageBridge::pageLoaded(bool ok)
{
    releaseElements();
    if (ok) {
        instrumentPage();
    }
}

void PageBridge::releaseElements()
{
    qDeleteAll(m_handles);
    m_handles.clear();
    m_inputs.clear();
    m_selects.clear();
    QWebSettings::clearMemoryCaches();
    QWebSettings::clearIconDatabase();
}

void PageBridge::instrumentPage()
{
    auto *document = new QWebElement(m_view->page()->mainFrame()->documentElement());
    m_handles.append(document);
    instrumentChildren(document);
    registerSelects();
}

void PageBridge::instrumentChildren(QWebElement *parent)
{
    for (QWebElement element = parent->firstChild(); !element.isNull(); element = element.nextSibling()) {
        auto *child = new QWebElement(element);
        // Children first: inputs are then handled in document order.
        instrumentChildren(child);
        m_handles.append(child);

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
            m_inputs.insert(identifier, child);
            if (!name.isEmpty()) {
                m_inputs.insert(name, child);
            }
        } else if (tag == QLatin1String("DIV")
                   && child->attribute(QStringLiteral("id")) == QLatin1String("sliding-popup")) {
            child->setAttribute(QStringLiteral("style"), QStringLiteral("display: none;"));
        }
    }
}

QString PageBridge::nextAutoId()
{
    return QStringLiteral("unknown%1").arg(++m_autoIdCounter);
}

bool PageBridge::matchesAnyRule(const QVariantMap &rules) const
{
    const auto anyRuleFor = [&rules](const auto &table) {
        return std::any_of(table.keyBegin(), table.keyEnd(),
                           [&rules](const QString &identifier) { return rules.contains(identifier); });
    };
    return anyRuleFor(m_inputs) || anyRuleFor(m_selects);
}

void PageBridge::applyRules(const QVariantMap &rules)
{
    for (auto it = m_inputs.constBegin(); it != m_inputs.constEnd(); ++it) {
        const auto rule = rules.constFind(it.key());
        if (rule == rules.constEnd()) {
            continue;
        }
        // One script per field: each call into the engine costs more than compiling the longer text.
        it.value()->evaluateJavaScript(PageScripts::typeValue(m_document.value(rule.value().toString())));
    }
}

void PageBridge::registerSelects()
{
    m_selects.clear();
    const QWebElement document = m_view->page()->mainFrame()->documentElement();
    for (const QWebElement &select : document.findAll(QStringLiteral("select"))) {
        const QString id = select.attribute(QStringLiteral("id"));
        const QString name = select.attribute(QStringLiteral("name"));
        if (!id.trimmed().isEmpty()) {
            m_selects.insert(id, select);
        }
        if (!name.trimmed().isEmpty()) {
            m_selects.insert(name, select);
        }
    }
}

const QWebElement *PageBridge::select(const QString &identifier) const
{
    const auto found = m_selects.constFind(identifier);
    return found == m_selects.constEnd() ? nullptr : &found.value();
}

void PageBridge::applySelectRules(const QVariantMap &rules)
{
    for (auto it = m_selects.begin(); it != m_selects.end(); ++it) {
        const auto rule = rules.constFind(it.key());
        if (rule == rules.constEnd()) {
            continue;
        }
        const QString key = rule.value().toString();
        const QVector<SelectMatcher::Option> options = FormScanner::options(it.value());
        const int index =
            SelectMatcher::match(options, m_document.value(key), SelectMatcher::kindForKey(key));
        if (index >= 0) {
            it.value().evaluateJavaScript(PageScripts::typeValue(options[index].value));
        }
    }
}

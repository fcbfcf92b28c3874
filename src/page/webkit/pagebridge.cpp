#include "page/webkit/pagebridge.h"

#include "fill/selectmatcher.h"
#include "logging.h"
#include "page/pagescripts.h"
#include "page/webkit/delegate.h"
#include "store/profiledocument.h"

#include <QEvent>
#include <QFile>
#include <QWebElement>
#include <QWebFrame>
#include <QWebPage>
#include <QWebSettings>
#include <QWebView>

#include <algorithm>
#include <unistd.h>

PageBridge::PageBridge(QWebView *view, const ProfileDocument &document, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_document(document)
{
    m_tidyFallback.setSingleShot(true);
    connect(&m_tidyFallback, &QTimer::timeout, this, &PageBridge::tidyUp);
    m_idleClear.setSingleShot(true);
    connect(&m_idleClear, &QTimer::timeout, this, &PageBridge::clearCaches);
    m_view->installEventFilter(this);
}

PageBridge::~PageBridge()
{
    releaseElements();
}

void PageBridge::publish(QObject *receiver, const char *member)
{
    m_receiver = receiver;
    m_member = member;
    publishObject();
    const BridgeKeeper::SelfTest selfTest(m_bridges);
    m_view->page()->mainFrame()->evaluateJavaScript(PageScripts::bridgeSetup());
}

void PageBridge::publishObject()
{
    auto *delegate = new Delegate;
    m_view->page()->mainFrame()->addToJavaScriptWindowObject(QStringLiteral("delegate"), delegate,
                                                             QWebFrame::QtOwnership);
    connect(delegate, SIGNAL(doSignal(const QString &)), m_receiver, m_member);
    // Only the current bridge stays connected (the keeper disconnects those it retires), so this
    // fires when the page itself destroyed it, as delegate.deleteLater() does: the page gets a fresh
    // one, and the user's next click still opens the menu.
    connect(
        delegate, &QObject::destroyed, this,
        [this] {
            qCDebug(lcBridge) << "the page destroyed its bridge object: published a new one";
            publishObject();
        },
        Qt::QueuedConnection);
    m_bridges.adopt(delegate);
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

namespace {

// How often the engine's memory caches are cleared (what keeps memory flat over a long session):
// after so many pages, or once resident memory has grown by so much since the last clearing.
const int pagesPerClear = 10;
const qint64 residentGrowthPerClear = 32 * 1024 * 1024;
// Clearing empties the font cache too, so the engine styles and lays out the page shown again,
// which holds up typing and scrolling for a moment: it waits until nothing has happened in the
// view for this long. A session without such a moment gets it at twice the figures above, right
// after a paint.
const int idleBeforeClearMs = 1500;
// A page that is not painted this soon after its load (its window covered, say) gets its tidying
// up anyway; a hidden one at once.
const int tidyFallbackMs = 500;

// The options of a <select>, in order: each one's text, and its value (its text when it has no value
// attribute).
QVector<SelectMatcher::Option> optionsOf(const QWebElement &select)
{
    QVector<SelectMatcher::Option> found;
    for (const QWebElement &option : select.findAll(QStringLiteral("option"))) {
        const QString text = option.toPlainText().simplified();
        found.append({text, option.hasAttribute(QStringLiteral("value"))
                                ? option.attribute(QStringLiteral("value"))
                                : text});
    }
    return found;
}

qint64 residentBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly)) {
        return 0;
    }
    static const long pageSize = sysconf(_SC_PAGESIZE);
    return statm.readLine().split(' ').value(1).toLongLong() * pageSize;
}

} // namespace

void PageBridge::pageLoaded(bool ok)
{
    // The previous page's handles are freed only after the new page's first paint: freeing them
    // here would run the engine's teardown of that page on the way to the screen.
    m_retired += m_handles;
    m_handles.clear();
    m_inputs.clear();
    m_selects.clear();
    m_idleClear.stop();
    ++m_pagesSinceClear;
    if (ok) {
        instrumentPage();
    }
    m_tidyPending = true;
    m_tidyFallback.start(m_view->isVisible() ? tidyFallbackMs : 0);
}

bool PageBridge::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_view) {
        return false;
    }
    switch (event->type()) {
    case QEvent::Paint:
        if (m_tidyPending) {
            // After the paint has been shown, not inside it.
            m_tidyFallback.start(0);
        }
        break;
    case QEvent::KeyPress:
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::InputMethod:
        if (m_idleClear.isActive()) {
            m_idleClear.start();
        }
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

void PageBridge::tidyUp()
{
    m_tidyPending = false;
    qDeleteAll(m_retired);
    m_retired.clear();
    const qint64 resident = residentBytes();
    if (m_residentAtClear == 0) {
        m_residentAtClear = resident;
    }
    const qint64 grown = resident - m_residentAtClear;
    if (m_pagesSinceClear >= 2 * pagesPerClear || grown > 2 * residentGrowthPerClear) {
        // No idle moment came: the memory bound wins.
        clearCaches();
    } else if (m_pagesSinceClear >= pagesPerClear || grown > residentGrowthPerClear) {
        m_idleClear.start(idleBeforeClearMs);
    }
}

void PageBridge::clearCaches()
{
    m_idleClear.stop();
    QWebSettings::clearMemoryCaches();
    QWebSettings::clearIconDatabase();
    m_pagesSinceClear = 0;
    m_residentAtClear = residentBytes();
}

void PageBridge::releaseElements()
{
    m_tidyPending = false;
    m_tidyFallback.stop();
    qDeleteAll(m_retired);
    m_retired.clear();
    qDeleteAll(m_handles);
    m_handles.clear();
    m_inputs.clear();
    m_selects.clear();
    clearCaches();
}

void PageBridge::instrumentPage()
{
    const QWebElement root = m_view->page()->mainFrame()->documentElement();
    // One query finds the inputs in document order, which is the walk's order unless an input has
    // element children (only scripts can give it some): then the walk's post-order is followed.
    // Both case spellings, for documents that match names case-sensitively; the tag name decides.
    const QWebElementCollection inputs = root.findAll(QStringLiteral("input, INPUT"));
    for (const QWebElement &input : inputs) {
        if (input.tagName() == QLatin1String("INPUT") && !input.firstChild().isNull()) {
            instrumentChildren(root);
            registerSelects();
            return;
        }
    }
    for (const QWebElement &input : inputs) {
        if (input.tagName() == QLatin1String("INPUT")) {
            instrument(new QWebElement(input));
        }
    }
    for (QWebElement popup : root.findAll(QStringLiteral("[id=\"sliding-popup\"]"))) {
        if (popup.tagName() == QLatin1String("DIV")
            && popup.attribute(QStringLiteral("id")) == QLatin1String("sliding-popup")) {
            popup.setAttribute(QStringLiteral("style"), QStringLiteral("display: none;"));
        }
    }
    registerSelects();
}

void PageBridge::instrumentAppeared()
{
    const QWebElement root = m_view->page()->mainFrame()->documentElement();
    const QString bare = QStringLiteral(":not([onclick^=\"sendSignal(\"])");
    for (const QWebElement &input :
         root.findAll(QStringLiteral("input") + bare + QStringLiteral(", INPUT") + bare)) {
        if (input.tagName() == QLatin1String("INPUT")) {
            instrument(new QWebElement(input));
        }
    }
}

void PageBridge::instrumentChildren(const QWebElement &parent)
{
    for (QWebElement child = parent.firstChild(); !child.isNull(); child = child.nextSibling()) {
        // Children first: inputs without element children are then handled in document order.
        instrumentChildren(child);
        const QString tag = child.tagName();
        if (tag == QLatin1String("INPUT")) {
            instrument(new QWebElement(child));
        } else if (tag == QLatin1String("DIV")
                   && child.attribute(QStringLiteral("id")) == QLatin1String("sliding-popup")) {
            child.setAttribute(QStringLiteral("style"), QStringLiteral("display: none;"));
        }
    }
}

void PageBridge::instrument(QWebElement *input)
{
    m_handles.append(input);
    const QString id = input->attribute(QStringLiteral("id"));
    const QString name = input->attribute(QStringLiteral("name"));
    QString identifier = id;
    if (identifier.trimmed().isEmpty()) {
        identifier = name;
    }
    if (identifier.trimmed().isEmpty()) {
        identifier = nextAutoId();
        input->setAttribute(QStringLiteral("id"), identifier);
    }
    // The page's own handler runs after the browser's: a radio button that opens a section of the
    // form must go on doing so.
    const QString handler = PageScripts::clickHandler(identifier);
    const QString own = input->attribute(QStringLiteral("onclick"));
    input->setAttribute(QStringLiteral("onclick"), own.startsWith(handler) ? own : handler + own);
    m_inputs.insert(identifier, input);
    if (!name.isEmpty()) {
        m_inputs.insert(name, input);
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
        const QVector<SelectMatcher::Option> options = optionsOf(it.value());
        const int index =
            SelectMatcher::match(options, m_document.value(key), SelectMatcher::kindForKey(key));
        if (index >= 0) {
            it.value().evaluateJavaScript(PageScripts::typeValue(options[index].value));
        }
    }
}

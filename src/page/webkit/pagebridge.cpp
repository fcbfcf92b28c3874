#include "page/webkit/pagebridge.h"

#include "logging.h"
#include "page/pagescripts.h"
#include "page/webkit/delegate.h"

#include <QEvent>
#include <QFile>
#include <QWebElement>
#include <QWebFrame>
#include <QWebPage>
#include <QWebSettings>
#include <QWebView>

#include <unistd.h>

PageBridge::PageBridge(QWebView *view, QObject *parent)
    : QObject(parent)
    , m_view(view)
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
    clearCaches();
}

void PageBridge::instrumentPage()
{
    const QWebElement root = m_view->page()->mainFrame()->documentElement();
    // One query finds the inputs in document order, which is the walk's order unless an input has
    // element children (only scripts can give it some): then the walk's post-order is followed.
    // Both case spellings, for documents that match names case-sensitively; the tag name decides.
    // The same query finds the banner and tells whether the page has frames, which the watcher
    // would otherwise look for in another pass over the page.
    const QWebElementCollection found =
        root.findAll(QStringLiteral("input, INPUT, iframe, IFRAME, frame, FRAME, [id=\"sliding-popup\"]"));
    m_framesFound = false;
    QList<QWebElement> inputs;
    QList<QWebElement> popups;
    for (const QWebElement &element : found) {
        const QString tag = element.tagName();
        if (tag == QLatin1String("INPUT")) {
            if (!element.firstChild().isNull()) {
                m_framesFound = true;
                instrumentChildren(root);
                return;
            }
            inputs.append(element);
        } else if (tag == QLatin1String("IFRAME") || tag == QLatin1String("FRAME")) {
            m_framesFound = true;
        } else if (tag == QLatin1String("DIV")
                   && element.attribute(QStringLiteral("id")) == QLatin1String("sliding-popup")) {
            popups.append(element);
        }
    }
    for (const QWebElement &input : inputs) {
        instrument(new QWebElement(input));
    }
    for (QWebElement &popup : popups) {
        popup.setAttribute(QStringLiteral("style"), QStringLiteral("display: none;"));
    }
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

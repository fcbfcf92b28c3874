#include "page/chromium/chromiumpage.h"

#include "logging.h"
#include "page/chromium/chromiumview.h"
#include "page/imecomposition.h"
#include "page/pagescripts.h"

#include <QChildEvent>
#include <QFile>
#include <QMouseEvent>
#include <QTimer>
#include <QWebChannel>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>

namespace {

// What the page script reports through: the one object published on the channel.
class Reporter : public QObject
{
    Q_OBJECT

public:
    explicit Reporter(ChromiumPage *page)
        : QObject(page)
        , m_page(page)
    {
    }

    // token tells the document that reports.
    Q_INVOKABLE void report(const QString &kind, const QVariant &data, const QString &token)
    {
        m_page->report(kind, QVariantList{data, token});
    }

private:
    ChromiumPage *m_page;
};

const QString scriptName = QStringLiteral("kakikomi-page");

// Goes into every document of the main frame once it is parsed, in a script world of its own that
// the page can neither see nor change: the watcher, and the channel's code without running it. The
// channel is connected only when the document first reports (a control appeared or was clicked) or
// the browser finds controls at the load; the page script is installed once a document with
// controls is idle after its load, or by the browser's first call. What the document holds by its
// load is found by scans, not reported as appeared.
QString documentScript()
{
    QFile file(QStringLiteral(":/qtwebchannel/qwebchannel.js"));
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcBridge) << "qwebchannel.js missing:" << file.errorString();
    }
    // Inside a function the engine only skims the channel's code until it is first needed.
    const QString channel = QStringLiteral("function () {\n") + QString::fromUtf8(file.readAll())
                            + QStringLiteral("\nreturn QWebChannel;\n}");
    const QString connect = QStringLiteral("function (ready) {"
                                           "  var Channel = channelCode();"
                                           "  new Channel(qt.webChannelTransport, function (channel) {"
                                           "    ready(channel.objects.kakikomi);"
                                           "  });"
                                           "}");
    QVariantMap settings{{QStringLiteral("quietUntilLoad"), true}, {QStringLiteral("hideBanner"), true}};
    return QStringLiteral("(function (channelCode) {"
                          "  if (window.__kakikomi) return;"
                          "  var token = String(Math.random()).slice(2) + '.' + new Date().getTime();"
                          "  var watch = ")
           + PageScripts::setUpDocument(QStringLiteral("token"), connect, settings)
           + QStringLiteral(";"
                            "  watch.call(token, 'start');"
                            "  Object.defineProperty(window, '__kakikomi', {"
                            "    value: Object.freeze({ token: token, watch: watch })"
                            "  });"
                            "})(")
           + channel + QStringLiteral(");");
}

// Asked at the end of every load: the document's token, for the calls to name, and whether it has
// controls, with the channel connected where it does.
const QString probe =
    QStringLiteral("(function () {"
                   "  var k = window.__kakikomi;"
                   "  if (!k) return null;"
                   "  var controls = !!document.querySelector('input,select,textarea,INPUT,SELECT,TEXTAREA');"
                   "  if (controls) k.watch.announce(k.token);"
                   "  return [k.token, controls];"
                   "})()");

// Installs the page script in a document with controls once it is idle after its load, so that the
// user's first fill or click does not wait for it. The same text for every document: the engine
// compiles it once.
QString installWhenIdle()
{
    return QStringLiteral("(function () {"
                          "  var k = window.__kakikomi;"
                          "  if (!k) return false;"
                          "  function install() { ")
           + PageScripts::installPageScript(QStringLiteral("k.watch"), QStringLiteral("k.token"),
                                            {{QStringLiteral("generateIds"), true}})
           + QStringLiteral("; }"
                            "  if (typeof window.requestIdleCallback === 'function')"
                            "    window.requestIdleCallback(install, { timeout: 1000 });"
                            "  else setTimeout(install, 0);"
                            "  return true;"
                            "})()");
}

} // namespace

ChromiumPage::ChromiumPage(ChromiumView *view, QObject *parent)
    : Page(parent)
    , m_view(view)
    , m_viewObject(view)
    , m_channel(new QWebChannel(this))
{
    m_channel->registerObject(QStringLiteral("kakikomi"), new Reporter(this));
    QWebEnginePage *page = m_view->page();
    QWebEngineScript script;
    script.setName(scriptName);
    script.setSourceCode(documentScript());
    script.setInjectionPoint(QWebEngineScript::DocumentReady);
    script.setWorldId(QWebEngineScript::ApplicationWorld);
    script.setRunsOnSubFrames(false);
    page->scripts().insert(script);
    page->setWebChannel(m_channel, QWebEngineScript::ApplicationWorld);

    connect(page, &QWebEnginePage::loadStarted, this, &ChromiumPage::pageLoadStarted);
    connect(page, &QWebEnginePage::loadFinished, this, &ChromiumPage::pageLoadFinished);
    m_tokenRetry.setInterval(tokenRetryMs);
    connect(&m_tokenRetry, &QTimer::timeout, this, &ChromiumPage::askToken);
    m_view->installEventFilter(this);
    watchFocusProxy();
}

// Qt drops the event filters of an object being destroyed by itself; the view may be part way
// through its own destruction here, when the page is its child.
ChromiumPage::~ChromiumPage() = default;

QWidget *ChromiumPage::widget() const
{
    return m_view;
}

QString ChromiumPage::address() const
{
    return m_view->url().toString();
}

bool ChromiumPage::insecure() const
{
    return m_view->insecure();
}

void ChromiumPage::askToken()
{
    if (m_loading || m_waiting.isEmpty()) {
        // While a load is under way the document going may still answer: the next one is asked at
        // its load.
        m_tokenRetry.stop();
    }
    if (m_loading) {
        return;
    }
    const quint32 loads = m_loads;
    QPointer<ChromiumPage> self(this);
    m_view->page()->runJavaScript(
        probe, QWebEngineScript::ApplicationWorld, [self, loads](const QVariant &answer) {
            const QString token = answer.toList().value(0).toString();
            if (!self || loads != self->m_loads || token.isEmpty()) {
                return;
            }
            if (answer.toList().value(1).toBool() && self->m_installedToken != token) {
                static const QString install = installWhenIdle();
                self->m_view->page()->runJavaScript(install, QWebEngineScript::ApplicationWorld);
            }
            self->documentReady(token);
        });
}

void ChromiumPage::pageLoadFinished()
{
    m_loading = false;
    askToken();
}

void ChromiumPage::pageLoadStarted()
{
    ++m_loads;
    m_loading = true;
    m_tokenRetry.stop();
    newDocument();
    // What is asked from now on waits for the next document: the one going may answer until then.
    m_token.clear();
    const QVector<Call> gone = std::exchange(m_waiting, {});
    m_pressPending = false;
    emit loadStarted();
    // Asked of the page that is going, answered as an empty page would, after the callers have
    // heard of the load: a caller that looks again then asks the next document.
    for (const Call &c : gone) {
        c.answer(QVariant());
    }
}

void ChromiumPage::documentReady(const QString &token)
{
    if (token == m_token) {
        return;
    }
    m_token = token;
    m_tokenRetry.stop();
    newDocument();
    runWaiting();
}

void ChromiumPage::runWaiting()
{
    const QVector<Call> waiting = std::exchange(m_waiting, {});
    for (const Call &c : waiting) {
        run(c);
    }
}

void ChromiumPage::call(const QString &function, const QVariant &arguments, const Answer &answer)
{
    run(Call{function, arguments, answer, m_loads});
}

void ChromiumPage::run(const Call &c)
{
    if (m_token.isEmpty()) {
        m_waiting.append(c);
        if (!m_loading && !m_tokenRetry.isActive()) {
            askToken();
            m_tokenRetry.start();
        }
        return;
    }
    const QString token = m_token;
    // The page script goes in right before the document's first call, and until one has answered:
    // a script of its own with the same text every time, which the engine compiles once. Calls run
    // in order, so it is there for the call (were another document shown by then, the call finds
    // another token and is asked again, as always).
    const bool installing = m_installedToken != token;
    if (installing) {
        static const QString install =
            QStringLiteral("(function () { var k = window.__kakikomi;"
                           " return !!k && ")
            + PageScripts::installPageScript(QStringLiteral("k.watch"), QStringLiteral("k.token"),
                                             {{QStringLiteral("generateIds"), true}})
            + QStringLiteral("; })()");
        m_view->page()->runJavaScript(install, QWebEngineScript::ApplicationWorld);
    }
    static const QString plain =
        QStringLiteral("(function (t, f, a) { var k = window.__kakikomi;"
                       " return k && k.token === t ? [k.watch.call(t, f, a)] : 'absent'; })(");
    const QString script = plain + PageScripts::literal(token) + QLatin1Char(',')
                           + PageScripts::literal(c.function) + QLatin1Char(',')
                           + PageScripts::literal(c.arguments.isValid() ? c.arguments : QVariantList())
                           + QLatin1Char(')');
    QPointer<ChromiumPage> self(this);
    m_view->page()->runJavaScript(
        script, QWebEngineScript::ApplicationWorld, [self, c, token, installing](const QVariant &result) {
            if (!self || !self->m_view) {
                return;
            }
            if (c.loads != self->m_loads) {
                // The page asked has gone meanwhile.
                c.answer(QVariant());
                return;
            }
            const bool absent = result == QVariant(QStringLiteral("absent"));
            if (result.type() != QVariant::List && !absent && token == self->m_token) {
                // The script threw: asking again would fail again.
                qCWarning(lcBridge) << "page script failed in" << c.function << "on"
                                    << Logging::masked(self->m_view->url());
                c.answer(QVariant());
                return;
            }
            if (absent || token != self->m_token) {
                // Another document answered, or none yet: asked again of the one
                // that announces itself.
                self->m_waiting.append(c);
                if (token != self->m_token && !self->m_token.isEmpty()) {
                    self->runWaiting();
                }
                return;
            }
            if (installing) {
                self->m_installedToken = token;
            }
            c.answer(result.toList().value(0));
        });
}

void ChromiumPage::scan(const Scanned &done, Frames frames)
{
    QPointer<ChromiumPage> self(this);
    call(QStringLiteral("scan"), QVariantList{frames == Frames::Sub}, [self, done](const QVariant &records) {
        done(PageControl::listFromVariant(records, self->handleBase()));
    });
}

void ChromiumPage::write(const QVector<Write> &writes, const Done &done)
{
    const int count = writes.size();
    call(QStringLiteral("write"), QVariantList{QVariant(writeArguments(writes))},
         [done, count](const QVariant &states) { done(Page::statesFrom(states, count)); });
}

void ChromiumPage::read(const QVector<Handle> &handles, const Done &done)
{
    const int count = handles.size();
    call(QStringLiteral("read"), QVariantList{QVariant(readArguments(handles))},
         [done, count](const QVariant &states) { done(Page::statesFrom(states, count)); });
}

void ChromiumPage::readOptions(const QVector<Handle> &handles, const OptionsRead &done)
{
    const int count = handles.size();
    call(QStringLiteral("options"), QVariantList{QVariant(readArguments(handles))},
         [done, count](const QVariant &lists) { done(Page::optionListsFrom(lists, count)); });
}

void ChromiumPage::endComposition()
{
    ImeComposition::end(m_view->focusProxy());
}

void ChromiumPage::report(const QString &kind, const QVariant &data)
{
    const QVariantList message = data.toList();
    const QString token = message.value(1).toString();
    if (kind == QLatin1String("ready")) {
        documentReady(token);
        return;
    }
    if (token != m_token) {
        return;
    }
    if (kind == QLatin1String("appeared")) {
        if (!m_appearedPending) {
            m_appearedPending = true;
            QTimer::singleShot(0, this, &ChromiumPage::takeAppeared);
        }
        return;
    }
    if (kind == QLatin1String("clicked")) {
        const QVariantList click = message.value(0).toList();
        if (click.value(1).toBool()) {
            clicked(click.value(0).toInt());
        }
    }
}

void ChromiumPage::clicked(int handle)
{
    if (handle <= 0 || !m_pressPending || m_sincePress.elapsed() > pressLifetimeMs) {
        return;
    }
    // The press must be on that very control (or its label): a page cannot pass the user's click on
    // to another control.
    const qreal zoom = m_view->zoomFactor() > 0 ? m_view->zoomFactor() : 1.0;
    const QVariantList point{m_pressPosition.x() / zoom, m_pressPosition.y() / zoom};
    QPointer<ChromiumPage> self(this);
    call(QStringLiteral("pressed"), point, [self, handle](const QVariant &pressed) {
        if (pressed.toInt() != handle) {
            qCDebug(lcFill) << "no menu: the click was not on the control pressed";
            return;
        }
        self->call(QStringLiteral("describe"), QVariantList{QVariant(QVariantList{handle})},
                   [self](const QVariant &records) {
                       const QVector<PageControl> described =
                           PageControl::listFromVariant(records, self->handleBase());
                       if (described.size() != 1 || !self->m_pressPending) {
                           return;
                       }
                       self->m_pressPending = false;
                       emit self->controlClicked(described.first());
                   });
    });
}

void ChromiumPage::takeAppeared()
{
    m_appearedPending = false;
    QPointer<ChromiumPage> self(this);
    call(QStringLiteral("takeAppeared"), QVariant(), [self](const QVariant &records) {
        const QVector<PageControl> controls = PageControl::listFromVariant(records, self->handleBase());
        if (!controls.isEmpty()) {
            emit self->controlsAppeared(controls);
        }
    });
}

// The widget that takes the view's input appears once the page renders, and may be replaced.
void ChromiumPage::watchFocusProxy()
{
    QWidget *proxy = m_view->focusProxy();
    if (proxy == m_focusProxy) {
        return;
    }
    if (m_focusProxy) {
        m_focusProxy->removeEventFilter(this);
    }
    m_focusProxy = proxy;
    m_focusProxyObject = proxy;
    if (proxy) {
        proxy->installEventFilter(this);
    }
}

bool ChromiumPage::eventFilter(QObject *watched, QEvent *event)
{
    // Compared as plain objects: the view may be part way through its destruction.
    if (watched == m_viewObject) {
        if (event->type() == QEvent::ChildAdded || event->type() == QEvent::ChildPolished
            || event->type() == QEvent::ChildRemoved) {
            // The proxy is set after its widget is added.
            QTimer::singleShot(0, this, &ChromiumPage::watchFocusProxy);
        }
    } else if (watched == m_focusProxyObject && event->type() == QEvent::MouseButtonPress) {
        const auto *press = static_cast<QMouseEvent *>(event);
        if (press->button() == Qt::LeftButton) {
            m_pressPosition = press->pos();
            m_sincePress.start();
            m_pressPending = true;
        }
    } else if (watched == m_focusProxyObject && event->type() == QEvent::MouseButtonRelease) {
        // The click follows the release: a press held long, as some users do, still counts.
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton && m_pressPending) {
            m_sincePress.start();
        }
    }
    return Page::eventFilter(watched, event);
}

#include "chromiumpage.moc"

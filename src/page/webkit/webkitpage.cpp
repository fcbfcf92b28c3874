#include "page/webkit/webkitpage.h"

#include "logging.h"
#include "page/imecomposition.h"
#include "page/pagescripts.h"
#include "page/webkit/certificatewatch.h"
#include "page/webkit/classicwebpage.h"
#include "page/webkit/clickgate.h"
#include "page/webkit/pagebridge.h"

#include <QJsonDocument>
#include <QRandomGenerator>
#include <QScopedValueRollback>
#include <QTimer>
#include <QWebElement>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

namespace {

// What the page script reports through. Published to the page only for the moment the script is
// installed, which takes it into its own scope.
class Reporter : public QObject
{
    Q_OBJECT

public:
    explicit Reporter(WebKitPage *page)
        : QObject(page)
        , m_page(page)
    {
    }

    Q_INVOKABLE void report(const QString &kind, const QVariant &data) { m_page->report(kind, data); }

    // The document's token, once: taken by the watcher as it is made, so that the script that makes
    // it is the same text for every document, which the engine then compiles only once.
    Q_INVOKABLE QString takeToken() { return std::exchange(m_token, QString()); }
    void offer(const QString &token) { m_token = token; }

private:
    WebKitPage *m_page;
    QString m_token;
};

const QString reporterName = QStringLiteral("__kakikomiPage");

// What the browser's calls into a document must name: the page never sees it, so it cannot make
// the browser's objects answer to itself.
QString newToken()
{
    QRandomGenerator *random = QRandomGenerator::system();
    return QString::number(random->generate64(), 36) + QString::number(random->generate64(), 36);
}

} // namespace

WebKitPage::WebKitPage(QWebView *view, QObject *parent)
    : Page(parent)
    , m_view(view)
    , m_bridge(std::make_unique<PageBridge>(view))
    , m_clickGate(new ClickGate(view))
    , m_certificates(new CertificateWatch(view->page()->networkAccessManager(), view->page()->mainFrame()))
    , m_reporter(new Reporter(this))
{
    // A new script environment is a new document: what the page script knew is gone. The watcher
    // goes in now, before any script of the page can run.
    connect(m_view->page()->mainFrame(), &QWebFrame::javaScriptWindowObjectCleared, this, &WebKitPage::seal);
    // After the seal: the delegate comes second.
    connect(m_view->page()->mainFrame(), &QWebFrame::javaScriptWindowObjectCleared, this,
            &Page::scriptObjectsCleared);
    connect(m_view, &QWebView::loadStarted, this, &Page::loadStarted);
    connect(m_bridge.get(), &PageBridge::inputClicked, this, &WebKitPage::inputClicked);
    if (auto *page = qobject_cast<ClassicWebPage *>(m_view->page())) {
        connect(page, &ClassicWebPage::scriptSyntaxError, this, &WebKitPage::scriptsFailed);
    }
}

WebKitPage::~WebKitPage() = default;

QWidget *WebKitPage::widget() const
{
    return m_view;
}

bool WebKitPage::insecure() const
{
    return m_certificates->documentInsecure();
}

QString WebKitPage::address() const
{
    return m_view->url().toString();
}

void WebKitPage::viewAddressChanged()
{
    m_bridge->restartIdentifiers();
}

void WebKitPage::publishDelegate(QObject *receiver, const char *member)
{
    m_bridge->publish(receiver, member);
}

void WebKitPage::receiveSignal(const QString &sender)
{
    m_bridge->receive(sender);
}

void WebKitPage::pageLoaded(bool ok)
{
    m_bridge->pageLoaded(ok);
    if (ok) {
        watch(!m_bridge->framesFound());
    }
}

void WebKitPage::seal()
{
    // The engine makes a document's script environment when something first needs it, and reports
    // it then: publishing the reporter below may be that moment.
    if (m_sealing) {
        return;
    }
    const QScopedValueRollback<bool> sealing(m_sealing, true);
    newDocument();
    m_watching = false;
    m_installed = false;
    m_token = newToken();
    // The reporter is taken into the watcher's scope and off the window before the page can see it.
    static const QString script =
        QStringLiteral("(function () {"
                       "  var r = window.%1;"
                       "  try { delete window.%1; } catch (x) {}"
                       "  var token = r.takeToken();"
                       "  var w = ")
            .arg(reporterName)
        + PageScripts::setUpDocument(
            QStringLiteral("token"),
            QStringLiteral(
                "function (ready) { ready({ report: function (kind, data) { r.report(kind, data); } }); }"))
        + QStringLiteral(";"
                         "  Object.defineProperty(window, '__kakikomiWatch', { value: w });"
                         "  return true;"
                         "})()");
    QWebFrame *frame = m_view->page()->mainFrame();
    static_cast<Reporter *>(m_reporter)->offer(m_token);
    frame->addToJavaScriptWindowObject(reporterName, m_reporter, QWebFrame::QtOwnership);
    m_sealed = frame->evaluateJavaScript(script).toBool();
    static_cast<Reporter *>(m_reporter)->offer(QString());
    if (!m_sealed) {
        qCWarning(lcBridge) << "page not watched:" << Logging::masked(m_view->url());
    }
}

bool WebKitPage::watch(bool withoutFrames)
{
    if (!m_sealed) {
        // A page without scripts of its own has no script environment yet: making one seals it.
        m_view->page()->mainFrame()->evaluateJavaScript(QStringLiteral("void 0"));
    }
    if (!m_sealed) {
        // Put on a view whose document was there before it (tests, benchmarks): sealed now.
        seal();
    }
    if (!m_watching && m_sealed) {
        m_watching = evaluate(QStringLiteral("call"), QStringLiteral("start"), {withoutFrames}).toBool();
    }
    return m_watching;
}

bool WebKitPage::install()
{
    if (m_installed) {
        return true;
    }
    if (!watch()) {
        return false;
    }
    // Allowed with the token, then installed by a text without it: the engine compiles the page
    // script once for all documents.
    static const QString script = QStringLiteral("window.__kakikomiWatch.installAllowed(")
                                  + PageScripts::pageScript() + QLatin1Char(',') + PageScripts::typing()
                                  + QLatin1Char(')');
    m_installed = evaluate(QStringLiteral("call"), QStringLiteral("allowInstall"), {}).toBool()
                  && m_view->page()->mainFrame()->evaluateJavaScript(script).toBool();
    if (!m_installed) {
        qCWarning(lcBridge) << "page script not installed on" << Logging::masked(m_view->url());
    }
    return m_installed;
}

QVariant WebKitPage::evaluate(const QString &how, const QString &function, const QVariantList &arguments)
{
    const QString text = PageScripts::literal(arguments);
    return m_view->page()->mainFrame()->evaluateJavaScript(
        QStringLiteral("window.__kakikomiWatch.") + how + QLatin1Char('(') + PageScripts::literal(m_token)
        + QLatin1Char(',') + PageScripts::literal(function) + QLatin1Char(',') + text + QLatin1Char(')'));
}

QVariant WebKitPage::call(const QString &function, const QVariant &arguments)
{
    if (!install()) {
        return QVariant();
    }
    const QVariant answer = evaluate(QStringLiteral("text"), function,
                                     arguments.isValid() ? QVariantList{arguments} : QVariantList());
    if (answer.type() != QVariant::String) {
        return QVariant();
    }
    return QJsonDocument::fromJson(answer.toString().toUtf8()).toVariant();
}

int WebKitPage::pressedControl()
{
    if (!m_clickGate->pending() || !watch()) {
        return 0;
    }
    const qreal zoom = m_view->zoomFactor() > 0 ? m_view->zoomFactor() : 1.0;
    const QPointF at = QPointF(m_clickGate->position()) / zoom;
    return evaluate(QStringLiteral("call"), QStringLiteral("pressed"), QVariantList{at.x(), at.y()}).toInt();
}

void WebKitPage::scan(const Scanned &done, Frames frames)
{
    done(PageControl::listFromVariant(call(QStringLiteral("scan"), frames == Frames::Sub), handleBase()));
}

void WebKitPage::write(const QVector<Write> &writes, const Done &done)
{
    done(Page::statesFrom(call(QStringLiteral("write"), writeArguments(writes)), writes.size()));
}

void WebKitPage::read(const QVector<Handle> &handles, const Done &done)
{
    done(Page::statesFrom(call(QStringLiteral("read"), readArguments(handles)), handles.size()));
}

void WebKitPage::readOptions(const QVector<Handle> &handles, const OptionsRead &done)
{
    done(Page::optionListsFrom(call(QStringLiteral("options"), readArguments(handles)), handles.size()));
}

void WebKitPage::endComposition()
{
    ImeComposition::end(m_view);
}

void WebKitPage::inputClicked(const QString &identifier)
{
    // Inputs that get no menu stay silent, as they always have.
    const QWebElement *input = m_bridge->input(identifier);
    if (!input || !PageControl::typedType(input->attribute(QStringLiteral("type")))) {
        return;
    }
    const int pressed = pressedControl();
    const QVector<PageControl> described =
        pressed ? PageControl::listFromVariant(call(QStringLiteral("describe"), QVariantList{pressed}),
                                               handleBase())
                : QVector<PageControl>();
    // The press must be on a control that answers to the identifier the click reported: a page
    // script reporting another input's identifier opens nothing.
    if (described.size() != 1 || described.first().identifier != identifier) {
        qCDebug(lcFill) << "no menu: the user did not click" << Logging::masked(identifier);
        return;
    }
    m_clickGate->spend();
    emit controlClicked(described.first());
}

void WebKitPage::report(const QString &kind, const QVariant &data)
{
    if (kind == QLatin1String("appeared")) {
        // Handled from the event loop, not inside the page's script.
        if (!m_appearedPending) {
            m_appearedPending = true;
            QTimer::singleShot(0, this, &WebKitPage::takeAppeared);
        }
        return;
    }
    if (kind != QLatin1String("clicked")) {
        return;
    }
    const QVariantList click = data.toList();
    const int handle = click.value(0).toInt();
    const bool trusted = click.value(1).toBool();
    if (!trusted || handle <= 0) {
        return;
    }
    // Clicks on the main frame's inputs come through the bridge, inside the page's click handler,
    // which runs after this report. A click the bridge did not take (a page that replaced
    // sendSignal, an input the bridge does not know) opens the menu once the click is over.
    const quint32 document = generation();
    QTimer::singleShot(0, this, [this, handle, document] { clickedOutsideBridge(handle, document); });
}

void WebKitPage::clickedOutsideBridge(int handle, quint32 document)
{
    if (document != generation() || !m_clickGate->pending()) {
        return;
    }
    const QVector<PageControl> described =
        PageControl::listFromVariant(call(QStringLiteral("describe"), QVariantList{handle}), handleBase());
    if (described.size() != 1) {
        return;
    }
    if (pressedControl() != handle) {
        qCDebug(lcFill) << "no menu: the user did not click" << Logging::masked(described.first().identifier);
        return;
    }
    m_clickGate->spend();
    emit controlClicked(described.first());
}

void WebKitPage::takeAppeared()
{
    m_appearedPending = false;
    // Inputs of the main frame get their identifiers and click handlers as at load.
    m_bridge->instrumentAppeared();
    const QVector<PageControl> controls =
        PageControl::listFromVariant(call(QStringLiteral("takeAppeared")), handleBase());
    if (!controls.isEmpty()) {
        emit controlsAppeared(controls);
    }
}

#include "webkitpage.moc"

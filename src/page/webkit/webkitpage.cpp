#include "page/webkit/webkitpage.h"

#include "fill/fieldmenu.h"
#include "logging.h"
#include "page/imecomposition.h"
#include "page/pagescripts.h"
#include "page/webkit/certificatewatch.h"
#include "page/webkit/classicwebpage.h"
#include "page/webkit/clickgate.h"
#include "page/webkit/pagebridge.h"

#include <QJsonDocument>
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

private:
    WebKitPage *m_page;
};

const QString reporterName = QStringLiteral("__kakikomiPage");

} // namespace

WebKitPage::WebKitPage(QWebView *view, const ProfileDocument &document, QObject *parent)
    : Page(parent)
    , m_view(view)
    , m_bridge(std::make_unique<PageBridge>(view, document))
    , m_clickGate(new ClickGate(view))
    , m_certificates(new CertificateWatch(view->page()->networkAccessManager(), view->page()->mainFrame()))
    , m_reporter(new Reporter(this))
{
    // A new script environment is a new document: what the page script knew is gone.
    connect(m_view->page()->mainFrame(), &QWebFrame::javaScriptWindowObjectCleared, this, [this] {
        newDocument();
        m_watching = false;
        m_installed = false;
    });
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

void WebKitPage::pageLoaded(bool ok)
{
    m_bridge->pageLoaded(ok);
    if (ok) {
        watch();
    }
}

bool WebKitPage::watch()
{
    if (m_watching) {
        return true;
    }
    // Built once: the same text for every page.
    static const QString script =
        QStringLiteral(
            "(function () {"
            "  var r = window.%1;"
            "  try { delete window.%1; } catch (x) {}"
            "  if (window.__kakikomiWatch) return true;"
            "  var w = %2(function (kind, data) { r.report(kind, data === undefined ? null : data); });"
            "  try { Object.defineProperty(window, '__kakikomiWatch', { value: w }); }"
            "  catch (x) { window.__kakikomiWatch = w; }"
            "  return true;"
            "})()")
            .arg(reporterName, PageScripts::watcher());
    QWebFrame *frame = m_view->page()->mainFrame();
    frame->addToJavaScriptWindowObject(reporterName, m_reporter, QWebFrame::QtOwnership);
    m_watching = frame->evaluateJavaScript(script).toBool();
    if (!m_watching) {
        qCWarning(lcBridge) << "page not watched:" << m_view->url();
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
    static const QString script =
        QStringLiteral("(function () {"
                       "  if (window.__kakikomi) return true;"
                       "  var w = window.__kakikomiWatch;"
                       "  if (!w) return false;"
                       "  var api = %1(%2, w, {});"
                       "  try { Object.defineProperty(window, '__kakikomi', { value: api }); }"
                       "  catch (x) { window.__kakikomi = api; }"
                       "  return true;"
                       "})()")
            .arg(PageScripts::pageScript(), PageScripts::typing());
    m_installed = m_view->page()->mainFrame()->evaluateJavaScript(script).toBool();
    if (!m_installed) {
        qCWarning(lcBridge) << "page script not installed on" << m_view->url();
    }
    return m_installed;
}

QVariant WebKitPage::call(const QString &function, const QVariant &arguments)
{
    if (!install()) {
        return QVariant();
    }
    const QString text =
        arguments.isValid() ? PageScripts::literal(QVariantList{arguments}) : QStringLiteral("[]");
    const QVariant answer = m_view->page()->mainFrame()->evaluateJavaScript(
        QStringLiteral("(function (a) { var k = window.__kakikomi; return k ? k.text(k.") + function
        + QStringLiteral(".apply(k, a)) : null; })(") + text + QLatin1Char(')'));
    if (answer.type() != QVariant::String) {
        return answer;
    }
    return QJsonDocument::fromJson(answer.toString().toUtf8()).toVariant();
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

void WebKitPage::endComposition()
{
    ImeComposition::end(m_view);
}

void WebKitPage::inputClicked(const QString &identifier)
{
    // Inputs that get no menu stay silent, as they always have.
    const QWebElement *input = m_bridge->input(identifier);
    if (!input || !FieldMenu::acceptsType(input->attribute(QStringLiteral("type")))) {
        return;
    }
    const int pressed = watch() ? m_clickGate->pressedControl() : 0;
    const QVector<PageControl> described =
        pressed ? PageControl::listFromVariant(call(QStringLiteral("describe"), QVariantList{pressed}),
                                               handleBase())
                : QVector<PageControl>();
    // The press must be on a control that answers to the identifier the click reported: a page
    // script reporting another input's identifier opens nothing.
    if (described.size() != 1 || described.first().identifier != identifier) {
        qCDebug(lcFill) << "no menu: the user did not click" << identifier;
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
    // Clicks in the main frame come through the bridge; those in frames only this way.
    const QVariantList click = data.toList();
    const int handle = click.value(0).toInt();
    const bool trusted = click.value(1).toBool();
    if (!trusted || handle <= 0) {
        return;
    }
    const QVector<PageControl> described =
        PageControl::listFromVariant(call(QStringLiteral("describe"), QVariantList{handle}), handleBase());
    if (described.size() != 1 || described.first().frame.isEmpty()) {
        return;
    }
    if (m_clickGate->pressedControl() != handle) {
        qCDebug(lcFill) << "no menu: the user did not click" << described.first().identifier;
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

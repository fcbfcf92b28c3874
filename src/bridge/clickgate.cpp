#include "bridge/clickgate.h"

#include <QMouseEvent>
#include <QWebElement>
#include <QWebFrame>
#include <QWebHitTestResult>
#include <QWebPage>
#include <QWebView>

namespace {

// A label passes its clicks on to its control: through "for", or to the control it encloses.
bool labelControls(const QWebElement &label, const QWebElement &input)
{
    const QString target = label.attribute(QStringLiteral("for"));
    if (!target.isEmpty()) {
        return target == input.attribute(QStringLiteral("id"));
    }
    for (QWebElement parent = input.parent(); !parent.isNull(); parent = parent.parent()) {
        if (parent == label) {
            return true;
        }
    }
    return false;
}

bool pressedOn(const QWebElement &pressed, const QWebElement &input)
{
    for (QWebElement element = pressed; !element.isNull(); element = element.parent()) {
        if (element == input) {
            return true;
        }
        if (element.tagName() == QLatin1String("LABEL")) {
            return labelControls(element, input);
        }
    }
    return false;
}

} // namespace

ClickGate::ClickGate(QWebView *view)
    : QObject(view)
    , m_view(view)
{
    view->installEventFilter(this);
}

bool ClickGate::admit(const QWebElement &input)
{
    if (!m_pressPending || m_sincePress.elapsed() > pressLifetimeMs) {
        return false;
    }
    // Inputs are instrumented in the main frame only, which fills the view.
    const QWebHitTestResult hit = m_view->page()->mainFrame()->hitTestContent(m_pressPosition);
    if (!pressedOn(hit.element().isNull() ? hit.enclosingBlockElement() : hit.element(), input)) {
        return false;
    }
    m_pressPending = false;
    return true;
}

bool ClickGate::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_view && event->type() == QEvent::MouseButtonPress) {
        const auto *press = static_cast<QMouseEvent *>(event);
        if (press->button() == Qt::LeftButton) {
            m_pressPosition = press->pos();
            m_sincePress.start();
            m_pressPending = true;
        }
    }
    return QObject::eventFilter(watched, event);
}

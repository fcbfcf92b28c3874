#include "page/webkit/clickgate.h"

#include <QMouseEvent>
#include <QWebElement>
#include <QWebFrame>
#include <QWebHitTestResult>
#include <QWebPage>
#include <QWebView>

namespace {

// From the pressed element up to the control it stands for: the control itself, or the one a label
// passes its clicks on to. Answers the page script's handle of it.
const QString controlOfPressed =
    QStringLiteral("(function (n) {"
                   "  var k = top.__kakikomiWatch;"
                   "  for (; k && n && n.nodeType === 1; n = n.parentNode) {"
                   "    if (/^(INPUT|SELECT|TEXTAREA)$/.test(n.tagName)) return k.handleOf(n);"
                   "    if (n.tagName === 'LABEL') { var c = n.control; return c ? k.handleOf(c) : 0; }"
                   "  }"
                   "  return 0;"
                   "})(this)");

} // namespace

ClickGate::ClickGate(QWebView *view)
    : QObject(view)
    , m_view(view)
{
    view->installEventFilter(this);
}

int ClickGate::pressedControl() const
{
    if (!m_pressPending || m_sincePress.elapsed() > pressLifetimeMs) {
        return 0;
    }
    const QWebHitTestResult hit = m_view->page()->mainFrame()->hitTestContent(m_pressPosition);
    QWebElement pressed = hit.element().isNull() ? hit.enclosingBlockElement() : hit.element();
    if (pressed.isNull()) {
        return 0;
    }
    return pressed.evaluateJavaScript(controlOfPressed).toInt();
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

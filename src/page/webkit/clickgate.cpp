#include "page/webkit/clickgate.h"

#include <QMouseEvent>
#include <QWebView>

ClickGate::ClickGate(QWebView *view)
    : QObject(view)
    , m_view(view)
{
    view->installEventFilter(this);
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

#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>

class QWebView;

// Tells a field click made by the user from one a page script made up. The field menu opens at the
// pointer, and one stray Return then writes a stored value into a field the page reads, so only a
// real mouse press on the view, on that very control (or on its label), may open it. Each press
// opens at most one menu. The page tells which control lies under the press.
class ClickGate : public QObject
{
    Q_OBJECT

public:
    // Watches the view's mouse presses for as long as both live.
    explicit ClickGate(QWebView *view);

    // Whether a press within the last second has not opened a menu yet.
    bool pending() const { return m_pressPending && m_sincePress.elapsed() <= pressLifetimeMs; }
    // Where that press was, in the view.
    QPoint position() const { return m_pressPosition; }
    // The press opened a menu: it opens no other.
    void spend() { m_pressPending = false; }

    // How long a press stays good for the click it causes.
    static constexpr int pressLifetimeMs = 1000;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QWebView *m_view;
    QElapsedTimer m_sincePress;
    QPoint m_pressPosition;
    bool m_pressPending = false;
};

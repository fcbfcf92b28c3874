#pragma once

#include "page/browsing.h"

#include <QObject>
#include <QPrinter>

#include <memory>

class QAction;
class QWidget;

// The desktop's usual browsing keys and buttons, without a toolbar: Alt+Left and Alt+Right and the
// mouse's back and forward buttons move through the history, F5 and Ctrl+R reload, Ctrl+F5 and
// Ctrl+Shift+R reload without the cache, Escape stops a load (and only a load: otherwise the page
// gets it), Ctrl+P prints through the print dialog. The actions belong to the window, which must
// outlive this; the page's view is watched for the mouse buttons and its loads.
class BrowsingControls : public QObject
{
    Q_OBJECT

public:
    BrowsingControls(Browsing &browsing, QWidget *window, QWidget *view);

    QAction *back() const { return m_back; }
    QAction *forward() const { return m_forward; }
    QAction *reload() const { return m_reload; }
    QAction *reloadFresh() const { return m_reloadFresh; }
    QAction *stop() const { return m_stop; }
    QAction *print() const { return m_print; }

    // Prints the page shown to printer without asking, which must live until printed.
    void printTo(QPrinter *printer);

signals:
    void printed(bool ok);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private slots:
    void loadBegan();
    void loadEnded();

private:
    QAction *action(const char *name, const QString &text, const QList<QKeySequence> &keys,
                    Browsing::Step step);
    void printWithDialog();
    void watch(QObject *object);

    Browsing &m_browsing;
    QWidget *m_window;
    QWidget *m_view;
    QAction *m_back;
    QAction *m_forward;
    QAction *m_reload;
    QAction *m_reloadFresh;
    QAction *m_stop;
    QAction *m_print;
    // Made at the first print (making one loads the desktop's print system) and kept, so that the
    // dialog offers the last choices again.
    std::unique_ptr<QPrinter> m_printer;
    bool m_printing = false;
};

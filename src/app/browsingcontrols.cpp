#include "app/browsingcontrols.h"

#include "logging.h"

#include <QAction>
#include <QEvent>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QWidget>

BrowsingControls::BrowsingControls(Browsing &browsing, QWidget *window, QWidget *view)
    : m_browsing(browsing)
    , m_window(window)
    , m_view(view)
{
    m_back = action("actionBack", tr("戻る"), {QKeySequence(Qt::ALT + Qt::Key_Left)}, Browsing::Step::Back);
    m_forward =
        action("actionForward", tr("進む"), {QKeySequence(Qt::ALT + Qt::Key_Right)}, Browsing::Step::Forward);
    m_reload = action("actionReload", tr("再読み込み"),
                      {QKeySequence(Qt::Key_F5), QKeySequence(Qt::CTRL + Qt::Key_R)}, Browsing::Step::Reload);
    m_reloadFresh =
        action("actionReloadFresh", tr("キャッシュを使わずに再読み込み"),
               {QKeySequence(Qt::CTRL + Qt::Key_F5), QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_R)},
               Browsing::Step::ReloadFresh);
    m_stop = action("actionStop", tr("中止"), {QKeySequence(Qt::Key_Escape)}, Browsing::Step::Stop);
    // Escape belongs to the page (and to its dialogs) except while a load can be stopped.
    m_stop->setEnabled(false);
    // Both engines' views have these signals.
    connect(view, SIGNAL(loadStarted()), this, SLOT(loadBegan()));
    connect(view, SIGNAL(loadFinished(bool)), this, SLOT(loadEnded()));

    m_print = new QAction(tr("印刷…"), window);
    m_print->setObjectName(QStringLiteral("actionPrint"));
    m_print->setShortcut(QKeySequence(Qt::CTRL + Qt::Key_P));
    window->addAction(m_print);
    connect(m_print, &QAction::triggered, this, &BrowsingControls::printWithDialog);

    watch(view);
    for (QWidget *child : view->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly)) {
        watch(child);
    }
}

QAction *BrowsingControls::action(const char *name, const QString &text, const QList<QKeySequence> &keys,
                                  Browsing::Step step)
{
    auto *action = new QAction(text, m_window);
    action->setObjectName(QLatin1String(name));
    action->setShortcuts(keys);
    m_window->addAction(action);
    connect(action, &QAction::triggered, this, [this, step] { m_browsing.go(step); });
    return action;
}

void BrowsingControls::loadBegan()
{
    m_stop->setEnabled(true);
}

void BrowsingControls::loadEnded()
{
    m_stop->setEnabled(false);
}

void BrowsingControls::printWithDialog()
{
    if (m_printing) {
        return;
    }
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    }
    QPrintDialog dialog(m_printer.get(), m_window);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    printTo(m_printer.get());
}

void BrowsingControls::printTo(QPrinter *printer)
{
    m_printing = true;
    qCDebug(lcApp) << "print to"
                   << (printer->outputFileName().isEmpty() ? printer->printerName()
                                                           : printer->outputFileName());
    m_browsing.print(printer, [this](bool ok) {
        m_printing = false;
        if (!ok) {
            qCWarning(lcApp) << "printing failed";
        }
        emit printed(ok);
    });
}

// The view and the widgets it draws into (Chromium's is a child it may replace) are watched.
void BrowsingControls::watch(QObject *object)
{
    object->installEventFilter(this);
}

bool BrowsingControls::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::ChildAdded: {
        QObject *child = static_cast<QChildEvent *>(event)->child();
        if (watched == m_view && child->isWidgetType()) {
            watch(child);
        }
        break;
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
        const Qt::MouseButton button = static_cast<QMouseEvent *>(event)->button();
        if (button != Qt::BackButton && button != Qt::ForwardButton) {
            break;
        }
        // The step is taken on the release, as desktops do; the page sees none of the three.
        if (event->type() == QEvent::MouseButtonRelease) {
            (button == Qt::BackButton ? m_back : m_forward)->trigger();
        }
        return true;
    }
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}

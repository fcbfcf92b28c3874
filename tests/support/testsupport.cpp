#include "testsupport.h"

#include "page/webkit/webkitpage.h"
#include "store/profiledocument.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QInputMethodEvent>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebElement>
#include <QWebFrame>
#include <QWebView>

#include <algorithm>
#include <memory>

namespace TestSupport {

QString attributeText(const QString &text)
{
    QString encoded;
    for (const uint code : text.toUcs4()) {
        encoded += QStringLiteral("&#x%1;").arg(code, 0, 16);
    }
    return encoded;
}

static bool waitForLoad(QSignalSpy &spy)
{
    if (spy.isEmpty() && !spy.wait(10000)) {
        return false;
    }
    return spy.last().value(0).toBool();
}

bool loadHtml(QWebView *view, const QString &html, const QString &baseUrl)
{
    QSignalSpy finished(view, &QWebView::loadFinished);
    view->setHtml(html, QUrl(baseUrl));
    return waitForLoad(finished);
}

bool loadUrl(QWebView *view, const QString &url)
{
    QSignalSpy finished(view, &QWebView::loadFinished);
    view->setUrl(QUrl(url));
    return waitForLoad(finished);
}

QVector<PageControl> scanControls(QWebView *view)
{
    WebKitPage page(view);
    QVector<PageControl> controls;
    page.scan([&controls](const QVector<PageControl> &scanned) { controls = scanned; });
    return controls;
}

QWebElement element(QWebView *view, const QString &selector)
{
    return view->page()->mainFrame()->findFirstElement(selector);
}

QString fieldValue(QWebView *view, const QString &selector)
{
    return element(view, selector).evaluateJavaScript(QStringLiteral("this.value")).toString();
}

void click(QWebView *view, const QString &selector)
{
    QWebElement target = element(view, selector);
    if (target.isNull()) {
        qFatal("no element for %s", qPrintable(selector));
    }
    target.evaluateJavaScript(QStringLiteral("this.scrollIntoView(true)"));
    const QPoint position = target.geometry().center() - view->page()->mainFrame()->scrollPosition();
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier, position);
}

// Polls for the widget that find() returns visible and runs action on it from inside the event loop
// that shows it; close() ends it if the action did not.
static void onNextWidget(std::function<QWidget *()> find, std::function<void(QWidget *)> action,
                         std::function<void(QWidget *)> close)
{
    auto *poll = new QTimer;
    auto deadline = std::make_shared<QElapsedTimer>();
    deadline->start();
    // A watch set by a test that failed before its widget opened must not act on a later test's.
    const auto testName = []() {
        return QByteArray(QTest::currentTestFunction()) + '/' + QTest::currentDataTag();
    };
    const QByteArray owner = testName();
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [=]() {
        QPointer<QWidget> widget = find();
        if (testName() != owner || deadline->hasExpired(10000)) {
            poll->stop();
            poll->deleteLater();
        } else if (widget && widget->isVisible()) {
            poll->stop();
            poll->deleteLater();
            action(widget);
            if (widget && widget->isVisible()) {
                close(widget);
            }
        }
    });
    poll->start();
}

void onNextMenu(std::function<void(QMenu *)> action)
{
    onNextWidget([]() { return qobject_cast<QMenu *>(QApplication::activePopupWidget()); },
                 [action](QWidget *menu) { action(static_cast<QMenu *>(menu)); },
                 [](QWidget *menu) { menu->close(); });
}

void onNextDialog(std::function<void(QDialog *)> action)
{
    onNextWidget([]() { return qobject_cast<QDialog *>(QApplication::activeModalWidget()); },
                 [action](QWidget *dialog) {
                     QApplication::setActiveWindow(dialog);
                     action(static_cast<QDialog *>(dialog));
                 },
                 [](QWidget *dialog) { static_cast<QDialog *>(dialog)->reject(); });
}

void type(QWidget *widget, const QString &text)
{
    const bool ascii = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() < 0x80; });
    if (ascii) {
        QTest::keyClicks(widget, text);
        return;
    }
    QInputMethodEvent commit;
    commit.setCommitString(text);
    QApplication::sendEvent(widget, &commit);
}

void choose(QMenu *menu, const QString &text)
{
    const QList<QAction *> actions = menu->actions();
    for (QAction *action : actions) {
        if (action->text() == text) {
            menu->setActiveAction(action);
            QTest::keyClick(menu, Qt::Key_Return);
            return;
        }
    }
    qWarning("no menu entry %s", qPrintable(text));
}

QStringList entryTexts(const QMenu *menu)
{
    QStringList texts;
    const QList<QAction *> actions = menu->actions();
    for (const QAction *action : actions) {
        texts.append(action->text());
    }
    return texts;
}

QStringList clickAndChoose(QWebView *view, const QString &selector, const QString &prefix)
{
    QStringList texts;
    onNextMenu([&texts, prefix](QMenu *menu) {
        texts = entryTexts(menu);
        for (const QString &text : qAsConst(texts)) {
            if (text.startsWith(prefix)) {
                choose(menu, text);
                return;
            }
        }
    });
    click(view, selector);
    return texts;
}

} // namespace TestSupport

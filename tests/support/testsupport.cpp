#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebElement>
#include <QWebFrame>
#include <QWebView>

#include <memory>

namespace TestSupport {

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

void onNextMenu(std::function<void(QMenu *)> action)
{
    auto *poll = new QTimer;
    auto deadline = std::make_shared<QElapsedTimer>();
    deadline->start();
    // A watch set by a test that failed before its menu opened must not act on a later test's menu.
    const QByteArray owner = QByteArray(QTest::currentTestFunction()) + '/' + QTest::currentDataTag();
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, deadline, action, owner]() {
        const QByteArray current = QByteArray(QTest::currentTestFunction()) + '/' + QTest::currentDataTag();
        QPointer<QMenu> menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (current != owner || deadline->hasExpired(10000)) {
            poll->stop();
            poll->deleteLater();
        } else if (menu && menu->isVisible()) {
            poll->stop();
            poll->deleteLater();
            action(menu);
            if (menu && menu->isVisible()) {
                menu->close();
            }
        }
    });
    poll->start();
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

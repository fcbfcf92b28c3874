#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QMutex>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QWebElement>
#include <QWebFrame>
#include <QWebView>

namespace TestSupport {

WorkDir::WorkDir()
    : m_previous(QDir::currentPath())
{
    QDir::setCurrent(m_dir.path());
}

WorkDir::~WorkDir()
{
    QDir::setCurrent(m_previous);
}

void WorkDir::write(const QString &name, const QByteArray &bytes) const
{
    QFile file(filePath(name));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
        qFatal("cannot write test file %s", qPrintable(file.fileName()));
    }
}

QByteArray WorkDir::read(const QString &name) const
{
    QFile file(filePath(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WorkDir::copyDemoFile(const QString &name) const
{
    const QString source = QStringLiteral(KAKIKOMI_SOURCE_DIR "/demo/") + name;
    if (!QFile::copy(source, filePath(name))) {
        qFatal("cannot copy %s", qPrintable(source));
    }
}

namespace {
QMutex logMutex;
QList<QPair<QtMsgType, QString>> logged;
MessageLog *activeLog = nullptr;
QtMessageHandler forwardTo = nullptr;
} // namespace

MessageLog::MessageLog()
{
    QMutexLocker lock(&logMutex);
    Q_ASSERT(!activeLog);
    activeLog = this;
    logged.clear();
    m_previous = qInstallMessageHandler(&MessageLog::handler);
    forwardTo = m_previous;
}

MessageLog::~MessageLog()
{
    qInstallMessageHandler(m_previous);
    QMutexLocker lock(&logMutex);
    activeLog = nullptr;
    logged.clear();
}

void MessageLog::handler(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        QMutexLocker lock(&logMutex);
        logged.append({type, message});
    }
    if (forwardTo) {
        forwardTo(type, context, message);
    }
}

QStringList MessageLog::lines() const
{
    QMutexLocker lock(&logMutex);
    QStringList all;
    for (const auto &entry : logged) {
        all.append(entry.second);
    }
    return all;
}

static QStringList linesOfType(QtMsgType type)
{
    QMutexLocker lock(&logMutex);
    QStringList matching;
    for (const auto &entry : logged) {
        if (entry.first == type) {
            matching.append(entry.second);
        }
    }
    return matching;
}

QStringList MessageLog::debugLines() const
{
    return linesOfType(QtDebugMsg);
}

QStringList MessageLog::warnings() const
{
    return linesOfType(QtWarningMsg);
}

bool MessageLog::contains(const QString &text) const
{
    const QStringList all = lines();
    return std::any_of(all.begin(), all.end(), [&](const QString &line) { return line.contains(text); });
}

void MessageLog::clear()
{
    QMutexLocker lock(&logMutex);
    logged.clear();
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
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, [poll, deadline, action]() {
        QPointer<QMenu> menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
        if (menu && menu->isVisible()) {
            poll->stop();
            poll->deleteLater();
            action(menu);
            if (menu && menu->isVisible()) {
                menu->close();
            }
        } else if (deadline->hasExpired(10000)) {
            poll->stop();
            poll->deleteLater();
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

#include "browser.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QMenu>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QWebEngineView>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

#include <algorithm>
#include <memory>

namespace TestSupport {

Browser::Browser(const QByteArray &profileJson, Showing showing, Engine engine)
    : m_showing(showing)
{
    if (!profileJson.isEmpty()) {
        dir.write(QStringLiteral("profile.json"), profileJson);
    }
    start(engine);
}

Browser::Browser(const QJsonObject &document, Showing showing, Engine engine)
    : Browser(document.isEmpty() ? QByteArray() : QJsonDocument(document).toJson(), showing, engine)
{
}

void Browser::start(Engine engine)
{
    m_window = std::make_unique<MainWindow>(engine);
    if (m_showing != Showing::Hidden) {
        m_window->show();
    }
    if (m_showing == Showing::Exposed && !QTest::qWaitForWindowExposed(m_window.get())) {
        qWarning("the browser window was not exposed");
    }
}

void Browser::restart()
{
    const Engine engine = this->engine();
    m_window.reset();
    start(engine);
}

bool Browser::open(const QString &html, const QString &address, const QString &mimeType) const
{
    if (view() && mimeType.isEmpty()) {
        return loadHtml(view(), html, address);
    }
    if (view()) {
        QSignalSpy finished(view(), &QWebView::loadFinished);
        view()->setContent(html.toUtf8(), mimeType + QStringLiteral(";charset=utf-8"), QUrl(address));
        return (!finished.isEmpty() || finished.wait(10000)) && finished.first().value(0).toBool();
    }
    auto *chromium = static_cast<QWebEngineView *>(m_window->view());
    QSignalSpy finished(chromium, &QWebEngineView::loadFinished);
    if (mimeType.isEmpty()) {
        chromium->setHtml(html, QUrl(address));
    } else {
        chromium->setContent(html.toUtf8(), mimeType + QStringLiteral(";charset=utf-8"), QUrl(address));
    }
    return finished.wait(10000) && finished.first().value(0).toBool();
}

bool Browser::load(const QString &url) const
{
    if (view()) {
        return loadUrl(view(), url);
    }
    auto *chromium = static_cast<QWebEngineView *>(m_window->view());
    QSignalSpy finished(chromium, &QWebEngineView::loadFinished);
    chromium->setUrl(QUrl(url));
    return finished.wait(10000) && finished.first().value(0).toBool();
}

QVariant Browser::run(const QString &script) const
{
    if (view()) {
        return view()->page()->mainFrame()->evaluateJavaScript(script);
    }
    auto *chromium = static_cast<QWebEngineView *>(m_window->view());
    // Shared with the callback, which may come after this has given up waiting.
    struct Answer
    {
        QVariant value;
        bool given = false;
    };
    const auto answer = std::make_shared<Answer>();
    chromium->page()->runJavaScript(script, [answer](const QVariant &value) {
        answer->value = value;
        answer->given = true;
    });
    if (!QTest::qWaitFor([&answer] { return answer->given; }, 10000)) {
        qWarning("no answer from the page to %s", qPrintable(script.left(80)));
    }
    return answer->value;
}

QPoint Browser::centre(const QString &selector) const
{
    const QVariantList point =
        run(QStringLiteral("(function () { var e = document.querySelector('%1'); e.scrollIntoView(true);"
                           " var r = e.getBoundingClientRect(); return [r.left + r.width / 2, r.top + "
                           "r.height / 2]; })()")
                .arg(selector))
            .toList();
    if (point.size() != 2) {
        qFatal("no element for %s", qPrintable(selector));
    }
    return QPoint(point[0].toInt(), point[1].toInt());
}

void Browser::click(const QString &selector) const
{
    clickAt(centre(selector));
}

bool Browser::clickAndChoose(const QString &selector, const QString &prefix, QStringList *offered) const
{
    bool opened = false;
    onNextMenu([&opened, prefix, offered](QMenu *menu) {
        opened = true;
        const QStringList texts = entryTexts(menu);
        if (offered) {
            *offered = texts;
        }
        const auto entry =
            std::find_if(texts.begin(), texts.end(), [&](const QString &t) { return t.startsWith(prefix); });
        if (entry != texts.end()) {
            choose(menu, *entry);
        }
    });
    click(selector);
    // The classic engine opens the menu inside the click; Chromium a moment after it.
    return QTest::qWaitFor([&opened] { return opened; }, engine() == Engine::WebKit ? 50 : 3000);
}

QString Browser::url() const
{
    return view() ? view()->url().toString()
                  : static_cast<QWebEngineView *>(m_window->view())->url().toString();
}

QString Browser::value(const QString &selector) const
{
    if (view()) {
        return fieldValue(view(), selector);
    }
    return run(QStringLiteral(
                   "(function () { var e = document.querySelector('%1'); return e ? e.value : null; })()")
                   .arg(selector))
        .toString();
}

QWidget *Browser::input() const
{
    QWidget *target = m_window->view();
    // Chromium takes its input through the widget it draws into.
    return !view() && target->focusProxy() ? target->focusProxy() : target;
}

void Browser::clickAt(const QPoint &point) const
{
    QTest::mouseClick(input(), Qt::LeftButton, Qt::NoModifier, point);
}

QString Browser::statusMessage() const
{
    return m_window->statusBar()->currentMessage();
}

} // namespace TestSupport

#pragma once

#include "app/mainwindow.h"
#include "fill/fieldfiller.h"
#include "page/webkit/pagebridge.h"
#include "page/webkit/singlewebview.h"
#include "page/webkit/webkitpage.h"
#include "store/profiledocument.h"
#include "testsupport.h"

#include <QByteArray>
#include <QJsonObject>
#include <QProgressBar>
#include <QString>
#include <QTest>
#include <QVariant>

#include <functional>
#include <memory>

Q_DECLARE_METATYPE(Engine)

namespace TestSupport {

// Rows of a data function, once for each engine, with the prefix to start the row's name.
inline void forEachEngine(const std::function<void(Engine, const QByteArray &prefix)> &rows)
{
    rows(Engine::WebKit, "webkit: ");
    rows(Engine::Chromium, "chromium: ");
}

// A data function's only column, the engine: one row for each.
inline void engineRows()
{
    QTest::addColumn<Engine>("engine");
    forEachEngine(
        [](Engine engine, const QByteArray &prefix) { QTest::newRow(prefix.chopped(2)) << engine; });
}

// A browser window in a fresh working directory, with a profile.json written before the window
// reads it (none when the text or document is empty).
class Browser
{
public:
    enum class Showing
    {
        Hidden,
        Shown,
        // Shown, and the test waits until the window is on the screen.
        Exposed
    };

    explicit Browser(const QByteArray &profileJson = QByteArray(), Showing showing = Showing::Hidden,
                     Engine engine = Engine::WebKit);
    explicit Browser(const QJsonObject &document, Showing showing = Showing::Hidden,
                     Engine engine = Engine::WebKit);
    explicit Browser(Showing showing)
        : Browser(QByteArray(), showing)
    {
    }

    MainWindow &window() const { return *m_window; }
    Engine engine() const { return m_window->engine(); }
    // The classic engine's view (null with Chromium).
    QWebView *view() const { return qobject_cast<QWebView *>(m_window->view()); }
    QProgressBar *progressBar() const { return m_window->progressBar(); }
    ProfileDocument &document() const { return m_window->document(); }
    PageBridge &bridge() const { return dynamic_cast<WebKitPage &>(m_window->page()).bridge(); }
    FieldFiller &filler() const { return m_window->filler(); }
    QString statusMessage() const;
    // The widget that takes the page's mouse, keyboard and input method events.
    QWidget *input() const;
    // The window's child of this type and object name.
    template <typename T> T *child(const char *name) const
    {
        return m_window->findChild<T *>(QLatin1String(name));
    }

    // Shows html (or another text of type mimeType) under address and waits for the load to finish.
    bool open(const QString &html, const QString &address, const QString &mimeType = QString()) const;
    // Navigates to url and waits for the load to finish.
    bool load(const QString &url) const;
    // Runs a script in the main frame, as the page's own scripts would, and answers its result.
    QVariant run(const QString &script) const;
    // The field's current value, as scripts see it.
    QString value(const QString &selector) const;
    // A real mouse click at a point of the page's view.
    void clickAt(const QPoint &point) const;
    // The middle of the element, scrolled into view, in the view's coordinates.
    QPoint centre(const QString &selector) const;
    // A real mouse click in the middle of the element, scrolled into view.
    void click(const QString &selector) const;
    // Clicks the element and chooses the menu entry whose text starts with prefix; answers whether a
    // menu opened, and gives its entries' texts to offered. With Chromium the value arrives in the
    // page a moment after the choice.
    bool clickAndChoose(const QString &selector, const QString &prefix, QStringList *offered = nullptr) const;
    // Closes the window and opens a new one on the same directory, as a restart of the program does.
    void restart();
    // The address shown.
    QString url() const;
    // profile.json as last saved.
    QJsonObject saved() const { return savedDocument(dir); }

    const WorkDir dir;

private:
    void start(Engine engine);

    const Showing m_showing;
    std::unique_ptr<MainWindow> m_window;
};

} // namespace TestSupport

#include "browser.h"

#include <QJsonDocument>
#include <QStatusBar>
#include <QTest>

namespace TestSupport {

Browser::Browser(const QByteArray &profileJson, Showing showing)
{
    if (!profileJson.isEmpty()) {
        dir.write(QStringLiteral("profile.json"), profileJson);
    }
    m_window = std::make_unique<MainWindow>();
    if (showing != Showing::Hidden) {
        m_window->show();
    }
    if (showing == Showing::Exposed && !QTest::qWaitForWindowExposed(m_window.get())) {
        qWarning("the browser window was not exposed");
    }
}

Browser::Browser(const QJsonObject &document, Showing showing)
    : Browser(document.isEmpty() ? QByteArray() : QJsonDocument(document).toJson(), showing)
{
}

QString Browser::statusMessage() const
{
    return m_window->statusBar()->currentMessage();
}

} // namespace TestSupport

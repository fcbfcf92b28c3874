// The field menu: from the click reaching the bridge to the menu on screen, with a short and a long
// list of entries.

#include "app/mainwindow.h"
#include "benchsupport.h"
#include "page/webkit/pagebridge.h"
#include "page/webkit/singlewebview.h"
#include "page/webkit/webkitpage.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QJsonArray>
#include <QJsonObject>
#include <QMenu>
#include <QMouseEvent>
#include <QWebElement>

namespace {

void writeProfile(int actions)
{
    QJsonObject profile;
    QJsonObject menu;
    for (int i = 0; i < actions; ++i) {
        const QString key = QStringLiteral("key%1").arg(i, 3, 10, QLatin1Char('0'));
        profile.insert(key, QStringLiteral("登録値 %1").arg(i));
        menu.insert(QStringLiteral("項目 %1").arg(i, 3, 10, QLatin1Char('0')), QJsonArray{key});
    }
    Bench::writeProfile({{"profile", profile}, {"actions", menu}});
}

// Notes when the first menu is shown and when it is first painted, then closes it.
class MenuWatch : public QObject
{
public:
    explicit MenuWatch(QElapsedTimer &timer)
        : m_timer(timer)
    {
    }
    qint64 shownNs = 0;
    qint64 paintedNs = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *menu = qobject_cast<QMenu *>(watched);
        if (menu && event->type() == QEvent::Show && !shownNs) {
            shownNs = m_timer.nsecsElapsed();
        } else if (menu && event->type() == QEvent::Paint && shownNs && !paintedNs) {
            paintedNs = m_timer.nsecsElapsed();
            QMetaObject::invokeMethod(menu, &QMenu::close, Qt::QueuedConnection);
        }
        return false;
    }

private:
    QElapsedTimer &m_timer;
};

} // namespace

int main(int argc, char *argv[])
{
    const Bench::GuiProgram program(argc, argv);

    for (const int actions : {10, 200}) {
        writeProfile(actions);
        MainWindow window;
        window.show();
        Bench::loadAndWait(qobject_cast<QWebView *>(window.view()), [&]() {
            qobject_cast<QWebView *>(window.view())
                ->setHtml(QStringLiteral("<input type=text id=f0>"), QUrl(Bench::generatedFormAddress()));
        });
        std::vector<qint64> shown, painted;
        for (int round = 0; round < 21; ++round) {
            QElapsedTimer timer;
            MenuWatch watch(timer);
            qApp->installEventFilter(&watch);
            // The menu opens only for the user's own press on the input, made just before the click.
            QWebElement *input =
                dynamic_cast<WebKitPage &>(window.page()).bridge().input(QStringLiteral("f0"));
            QMouseEvent press(QEvent::MouseButtonPress, input->geometry().center(), Qt::LeftButton,
                              Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(qobject_cast<QWebView *>(window.view()), &press);
            timer.start();
            dynamic_cast<WebKitPage &>(window.page()).bridge().receive(QStringLiteral("f0"));
            qApp->removeEventFilter(&watch);
            if (!watch.paintedNs) {
                qFatal("the menu was not painted");
            }
            shown.push_back(watch.shownNs);
            painted.push_back(watch.paintedNs);
        }
        const QString size = Bench::count(actions) + QStringLiteral(" entries");
        const double shownMs = Bench::medianMs(shown);
        const double paintedMs = Bench::medianMs(painted);
        Bench::printRow({QStringLiteral("3 menu shown"), size, Bench::ms(shownMs), QString(), QString(),
                         QStringLiteral("< 16 ms"), shownMs < 16});
        Bench::printRow({QStringLiteral("3 menu painted"), size, Bench::ms(paintedMs), QString(), QString(),
                         QStringLiteral("-"), true});
    }
    return 0;
}

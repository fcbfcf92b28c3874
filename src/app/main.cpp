#include "app/commandline.h"
#include "app/mainwindow.h"
#include "app/profilelock.h"
#include "app/quitonsignals.h"
#include "logging.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (const std::optional<int> answered = CommandLine::answerWithoutWindow(argc, argv)) {
        return *answered;
    }
    // The parts log under categories of their own (kakikomi.app, …); the lines keep their plain form.
    Logging::usePlainMessages();
    // Plug-ins placed beside the program are found before the system's.
    QApplication::addLibraryPath(QStringLiteral("./"));
    // On high-density screens the window and the fixed-size dialog scale with the screen instead of
    // coming out tiny, and icons are drawn at the screen's density. Both must precede the application.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(QStringLiteral(KAKIKOMI_APP_ID));
    CommandLine commandLine;
    if (const std::optional<int> stop = commandLine.apply(QApplication::arguments())) {
        return *stop;
    }
    // Fixed from here on; the window is to show its pages with it.
    const Engine engine = commandLine.engine();
    qCDebug(lcApp) << "engine:" << Engines::name(engine);
    ProfileLock lock;
    if (const std::optional<int> handedOver = lock.acquire()) {
        return *handedOver;
    }
    // A session that ends stops the program as closing the window does.
    QuitOnSignals quitOnSignals;
    MainWindow window(engine);
    lock.raiseOnRequest(&window);
    window.showMaximized();
    window.loadStartPage();
    commandLine.greetNewUser(window);
    return app.exec();
}

#include "app/mainwindow.h"
#include "logging.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The parts log under categories of their own (kakikomi.app, …); the lines keep their plain form.
    Logging::usePlainMessages();
    // Plug-ins placed beside the program are found before the system's.
    QApplication::addLibraryPath(QStringLiteral("./"));
    QApplication app(argc, argv);
    MainWindow window;
    window.showMaximized();
    window.loadStartPage();
    return app.exec();
}

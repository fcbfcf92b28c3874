#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Plug-ins placed beside the program are found before the system's.
    QApplication::addLibraryPath(QStringLiteral("./"));
    QApplication app(argc, argv);
    MainWindow window;
    window.showMaximized();
    window.loadStartPage();
    return app.exec();
}

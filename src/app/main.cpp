#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // Plug-ins placed beside the program are found before the system's.
    QApplication::addLibraryPath(QStringLiteral("./"));
    // On high-density screens the window and the fixed-size dialog scale with the screen instead of
    // coming out tiny, and icons are drawn at the screen's density. Both must precede the application.
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    MainWindow window;
    window.showMaximized();
    window.loadStartPage();
    return app.exec();
}

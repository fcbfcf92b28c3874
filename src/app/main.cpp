#include "app/mainwindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    // The parts log under categories of their own (kakikomi.app, …); the lines keep their plain form
    // without the category's name. QT_MESSAGE_PATTERN still overrides this.
    qSetMessagePattern(QStringLiteral("%{message}"));
    // Plug-ins placed beside the program are found before the system's.
    QApplication::addLibraryPath(QStringLiteral("./"));
    QApplication app(argc, argv);
    MainWindow window;
    window.showMaximized();
    window.loadStartPage();
    return app.exec();
}

// The main window's side of the profile editor.

#include "app/mainwindow.h"

#include <QDebug>

void MainWindow::on_actionProfile_triggered()
{
    qDebug() << "on_actionProfile_triggered";
    showProfile();
}

void MainWindow::showProfile()
{
    qDebug() << "showProfile";
}

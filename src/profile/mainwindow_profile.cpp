// The main window's side of the profile editor.

#include "app/mainwindow.h"

#include "profile/profile.h"

#include <QDebug>

void MainWindow::on_actionProfile_triggered()
{
    qDebug() << "on_actionProfile_triggered";
    showProfile();
}

// Every way of closing the dialog but its Cancel button keeps the edits: the dialog then hands back
// its own copy, which replaces the values as a whole and is saved.
void MainWindow::showProfile()
{
    qDebug() << "showProfile";
    Profile dialog(this);
    dialog.setProfileValues(&profileValues);
    dialog.exec();
    const QHash<QString, QVariant> *result = dialog.resultValues();
    if (result && result != &profileValues) {
        profileValues = *result;
        saveProfile();
    }
}

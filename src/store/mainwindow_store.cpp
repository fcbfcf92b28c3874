// The main window's side of the profile store: loading, saving, and the rules of the page shown.

#include "app/mainwindow.h"

#include "store/defaultactions.h"
#include "ui_mainwindow.h"

#include <QDebug>
#include <QJsonObject>

void MainWindow::loadProfile()
{
    delete profileRoot;
    profileRoot = nullptr;
    const std::optional<QJsonObject> root = profileStore.load();
    if (!root) {
        profileRoot = new QJsonObject{{QStringLiteral("profile"), QJsonObject()}};
        actionTable = ProfileStore::menuTable(DefaultActions::actionsOf(*profileRoot));
        return;
    }
    profileRoot = new QJsonObject(*root);
    actionTable = ProfileStore::menuTable(DefaultActions::actionsOf(*profileRoot));
}

void MainWindow::saveProfile()
{
    profileStore.save(*profileRoot);
}

void MainWindow::on_webview_urlChanged(QUrl u)
{
    autoIdCounter = 0;
    const QString address = u.toString();
    ui->statusBar->showMessage(tr("表示中: ") + address);
    qDebug() << "on_webview_urlChanged url: " << u;
    if (address.isEmpty()) {
        siteRules.clear();
        return;
    }
    siteRules = ProfileStore::siteRules(*profileRoot, address);
}

#include "app/mainwindow.h"

#include "app/singlewebview.h"
#include "fill/fieldmenu.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QDebug>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressBar>
#include <QVBoxLayout>
#include <QWebFrame>
#include <QWebPage>

MainWindow::MainWindow(QWidget *parent)
    : QMainWindow(parent)
    , ui(new Ui_MainWindow)
{
    ui->setupUi(this);

    webView = new SingleWebView(this);
    webView->setObjectName(QStringLiteral("webview"));
    auto *frameLayout = new QVBoxLayout(ui->frame);
    frameLayout->addWidget(webView);

    // The view did not exist when setupUi connected slots by name, so these are made here, once.
    connect(webView, SIGNAL(loadFinished(bool)), this, SLOT(on_webview_loadFinished(bool)));
    connect(webView, SIGNAL(loadProgress(int)), this, SLOT(on_webview_loadProgress(int)));
    connect(webView, SIGNAL(loadStarted()), this, SLOT(on_webview_loadStarted()));
    connect(webView, SIGNAL(urlChanged(QUrl)), this, SLOT(on_webview_urlChanged(QUrl)));

    if (!connect(webView->page()->networkAccessManager(),
                 SIGNAL(sslErrors(QNetworkReply *, const QList<QSslError> &)), this,
                 SLOT(handleSslErrors(QNetworkReply *, const QList<QSslError> &)))) {
        qDebug() << "connection error.";
    }

    progressBar = new QProgressBar;
    progressBar->hide();
    progressBar->setValue(0);
    ui->statusBar->addPermanentWidget(progressBar);

    connect(webView->page()->mainFrame(), SIGNAL(javaScriptWindowObjectCleared()), this,
            SLOT(connectDelegate()));

    ui->pushButton->hide();
    ui->url->hide();

    loadProfile();
    startPage = profileRoot->value(QStringLiteral("startPage")).toString();
}

MainWindow::~MainWindow()
{
    releaseElements();
    delete ui;
    delete profileRoot;
}

void MainWindow::loadStartPage()
{
    webView->setUrl(QUrl(startPage, QUrl::TolerantMode));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    qDebug() << "closeEvent(): " << int(event->type()) << "\n";
}

void MainWindow::on_pushButton_clicked()
{
    const QString address = ui->url->text();
    if (address.isEmpty()) {
        return;
    }
    webView->setUrl(QUrl(address, QUrl::TolerantMode));
}

void MainWindow::on_goHome_clicked()
{
    loadStartPage();
}

void MainWindow::on_webview_loadStarted()
{
    ui->statusBar->showMessage(QString());
    if (!progressBar->isVisible()) {
        progressBar->setVisible(true);
    }
    progressBar->setValue(0);
}

void MainWindow::on_webview_loadProgress(int v)
{
    if (!progressBar->isVisible()) {
        progressBar->setVisible(true);
    }
    progressBar->setValue(v);
}

void MainWindow::on_actionToJapanese_triggered()
{
    qDebug() << "on_actionToJapanese_triggered";
    inputLanguage = FieldMenu::Japanese;
    ui->actionToJapanese->setChecked(true);
    ui->actionToEnglish->setChecked(false);
}

void MainWindow::on_actionToEnglish_triggered()
{
    qDebug() << "on_actionToEnglish_triggered";
    inputLanguage = FieldMenu::English;
    ui->actionToJapanese->setChecked(false);
    ui->actionToEnglish->setChecked(true);
}

void MainWindow::handleSslErrors(QNetworkReply *reply, const QList<QSslError> &errors)
{
    qDebug() << "handleSslErrors: " << reply->errorString();
    for (const QSslError &error : errors) {
        qDebug() << "ssl error: " << error;
    }
    reply->ignoreSslErrors();
}

#pragma once

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QMap>
#include <QSslError>
#include <QString>
#include <QUrl>
#include <QVariant>

#include "bridge/bridgekeeper.h"
#include "store/profilestore.h"

class QAction;
class QCloseEvent;
class QJsonObject;
class QNetworkReply;
class QProgressBar;
class QWebElement;
class SingleWebView;
class Ui_MainWindow;

// The browser's one window. It owns the web view, the profile document with its tables, and the
// element tables of the page shown; the slots below are everything the browser does.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    // Navigates to the start page.
    void loadStartPage();

protected:
    void closeEvent(QCloseEvent *event) override;

private slots:
    void handleSslErrors(QNetworkReply *reply, const QList<QSslError> &errors);
    void connectDelegate();
    void on_signal(const QString &sender);
    void on_pushButton_clicked();
    void on_actionProfile_triggered();
    void on_webview_loadFinished(bool ok);
    void on_webview_loadProgress(int v);
    void on_webview_loadStarted();
    void on_profileSelected(QAction *a);
    void on_webview_urlChanged(QUrl u);
    void on_actionToJapanese_triggered();
    void on_actionToEnglish_triggered();
    void on_goHome_clicked();

private:
    // Profile store
    void loadProfile();
    void saveProfile();

    // Page bridge
    void releaseElements();
    void instrumentChildren(QWebElement *parent);
    QString nextAutoId();
    void applySiteRules();

    // Form filling
    void convertWidth(QWebElement &element, const QString &marker);
    void insertValue(QWebElement &element, const QString &value);
    void recordChoice(const QString &element, const QString &key);

    // Profile editor
    void showProfile();

    QHash<QString, QVariant> profileValues;
    SingleWebView *webView = nullptr;
    Ui_MainWindow *ui;
    QProgressBar *progressBar = nullptr;
    QMap<QString, QVariant> actionTable;
    QMap<QString, QVariant> siteRules;
    QHash<QString, QWebElement *> inputElements;
    QList<QWebElement *> elementHandles;
    QJsonObject *profileRoot = nullptr;
    int inputLanguage = 0;
    QString startPage;
    int autoIdCounter = 0;

    ProfileStore profileStore{profileValues};
    BridgeKeeper bridges;
    bool fieldMenuOpen = false;

    friend class MainWindowTestAccess;
};

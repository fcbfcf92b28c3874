#pragma once

#include "page/engine.h"

#include <QList>
#include <QMainWindow>
#include <QSslError>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <memory>

class Browsing;
class BrowsingControls;
class Downloads;
class FieldFiller;
class FormFiller;
class Page;
class ProfileDocument;
class RuleFiller;
class QAction;
class QCloseEvent;
class QLabel;
class QNetworkReply;
class QProgressBar;
class Ui_MainWindow;

// The browser's one window: owns its widgets, the web view and the parts that do the work (the
// profile document, the page, the field filler, the form filler and the rule filler); its slots wire
// the widgets to the parts.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    // Shows its pages with engine, fixed for the window's life.
    explicit MainWindow(Engine engine, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Navigates to the start page.
    void loadStartPage();

    // The parts, for programs that drive the window.
    ProfileDocument &document() { return *m_document; }
    Engine engine() const { return m_engine; }
    Page &page() { return *m_page; }
    FieldFiller &filler() { return *m_filler; }
    FormFiller &formFiller() { return *m_formFiller; }
    // The view the pages are shown in, whatever the engine.
    QWidget *view() const { return m_view; }
    QProgressBar *progressBar() const { return m_progressBar; }
    QString startPage() const { return m_startPage; }
    // The history, printing and downloads of the view, and the keys and downloads that use them.
    Browsing &browsing() { return *m_browsing; }
    BrowsingControls &browsingControls() { return *m_browsingControls; }
    Downloads &downloads() { return *m_downloads; }

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
    void navigate(const QString &address);
    void applyPageRules();
    void refillWholeForm();
    // Says that recorded values were not filled in because of certificate errors.
    void holdBackRefill();
    void showSaveFailure(const QString &error);
    void clearSaveFailure();
    void deferStatusPaint();
    void noticeOverLoad(const QString &text);

    const Engine m_engine;
    std::unique_ptr<Ui_MainWindow> ui;
    QWidget *m_view = nullptr;
    QProgressBar *m_progressBar = nullptr;
    // Shown while the page came over a connection with certificate errors.
    QLabel *m_insecureMarker = nullptr;
    QString m_startPage;
    QString m_saveFailure;
    QTimer m_statusPaint;
    // Declared in the order they depend on each other: the page reads the document, the fillers
    // use both.
    std::unique_ptr<ProfileDocument> m_document;
    std::unique_ptr<Page> m_page;
    // Set when the classic engine could not run a script of the page being loaded.
    bool m_scriptsFailed = false;
    bool m_loading = false;
    // Said again when the page being loaded has loaded (noticeOverLoad).
    QString m_noticeAfterLoad;
    // Set when the load under way handed its response over as a download.
    bool m_loadBecameDownload = false;
    std::unique_ptr<FieldFiller> m_filler;
    std::unique_ptr<FormFiller> m_formFiller;
    std::unique_ptr<RuleFiller> m_ruleFiller;
    std::unique_ptr<Browsing> m_browsing;
    std::unique_ptr<Downloads> m_downloads;
    std::unique_ptr<BrowsingControls> m_browsingControls;
};

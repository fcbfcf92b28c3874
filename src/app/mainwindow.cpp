#include "app/mainwindow.h"

#include "app/browsingcontrols.h"
#include "app/downloads.h"
#include "app/shortcuts.h"
#include "fill/fieldfiller.h"
#include "fill/fieldmenu.h"
#include "fill/formfiller.h"
#include "fill/rulefiller.h"
#include "logging.h"
#include "page/enginefactory.h"
#include "profile/profileeditor.h"
#include "store/profiledocument.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QDir>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressBar>
#include <QVBoxLayout>

#include <utility>

namespace {
// How long the status bar may show an earlier state while a page loads. Its progress bar and
// messages would otherwise be drawn at once on every change, and with them the web view, which
// makes the engine lay out and paint a page still loading.
const int statusPaintDelayMs = 100;
} // namespace

MainWindow::MainWindow(QWidget *parent)
    : MainWindow(Engine::WebKit, parent)
{
}

MainWindow::MainWindow(Engine engine, QWidget *parent)
    : QMainWindow(parent)
    , m_engine(engine)
    , ui(std::make_unique<Ui_MainWindow>())
{
    ui->setupUi(this);

    m_document = std::make_unique<ProfileDocument>();
    // Read before the view is made: it decides where the engine keeps cookies.
    m_document->load();
    EngineParts parts = EngineFactory::create(engine, this, !m_document->forgetsCookiesAtExit());
    m_view = parts.view;
    m_page = std::move(parts.page);
    m_browsing = std::move(parts.browsing);
    connect(m_page.get(), &Page::scriptsFailed, this, [this] { m_scriptsFailed = true; });
    m_view->setObjectName(QStringLiteral("webview"));
    auto *frameLayout = new QVBoxLayout(ui->frame);
    frameLayout->addWidget(m_view);

    // Before the parts that stop their work when a load starts: they may say so, over the load.
    connect(m_page.get(), &Page::loadStarted, this, [this] { m_loading = true; });
    m_filler = std::make_unique<FieldFiller>(*m_page, *m_document);
    connect(m_page.get(), &Page::controlClicked, m_filler.get(), &FieldFiller::openMenu);
    connect(m_filler.get(), &FieldFiller::entryTriggered, this, &MainWindow::on_profileSelected);
    connect(m_filler.get(), &FieldFiller::choiceDropped, this,
            [this] { noticeOverLoad(tr("ページが変わったため、選んだ値は入力しませんでした")); });
    // このページに一括入力 goes straight to its part: the window's slots stay as they are.
    m_formFiller = std::make_unique<FormFiller>(*m_page, *m_document, *m_filler);
    m_ruleFiller = std::make_unique<RuleFiller>(*m_page, *m_document);
    connect(m_filler.get(), &FieldFiller::sectionFillRequested, m_formFiller.get(), &FormFiller::fillSection);
    connect(m_page.get(), &Page::controlsAppeared, this, [this](const QVector<PageControl> &controls) {
        if (m_page->insecure()) {
            return;
        }
        m_ruleFiller->apply(controls, RuleFiller::Controls::Seen);
        m_formFiller->refillAppeared(controls);
    });
    connect(ui->actionFillPage, &QAction::triggered, m_formFiller.get(), &FormFiller::fillPage);
    connect(m_formFiller.get(), &FormFiller::finished, this, [this](int filled, int left) {
        // A failed save of the fill keeps its own message in the status bar.
        if (!m_saveFailure.isEmpty()) {
            return;
        }
        const auto &people = m_formFiller->filledForPeople();
        if (people.isEmpty()) {
            ui->statusBar->showMessage(
                tr("一括入力: %1 項目を入力しました（%2 項目は未入力）").arg(filled).arg(left));
            return;
        }
        QStringList parts;
        for (const auto &person : people) {
            parts.append(
                tr("%1 %2 項目").arg(person.first.isEmpty() ? tr("本人") : person.first).arg(person.second));
        }
        ui->statusBar->showMessage(tr("一括入力: ") + parts.join(tr("、")));
    });
    connect(m_formFiller.get(), &FormFiller::refilled, this, [this](int filled, int left) {
        ui->statusBar->showMessage(
            tr("前回と同じく一括入力: %1 項目を入力しました（%2 項目は未入力）").arg(filled).arg(left));
    });
    connect(m_formFiller.get(), &FormFiller::pageGone, this,
            [this] { noticeOverLoad(tr("ページが変わったため、一括入力の残りは入力しませんでした")); });
    connect(ui->actionUndoFill, &QAction::triggered, m_formFiller.get(), &FormFiller::undo);
    connect(m_formFiller.get(), &FormFiller::undoAvailable, ui->actionUndoFill, &QAction::setEnabled);
    connect(m_formFiller.get(), &FormFiller::undone, this, [this](int restored) {
        if (m_saveFailure.isEmpty()) {
            ui->statusBar->showMessage(tr("一括入力を元に戻しました（%1 項目）").arg(restored));
        }
    });
    connect(m_document.get(), &ProfileDocument::saveFailed, this, &MainWindow::showSaveFailure);
    connect(m_document.get(), &ProfileDocument::saved, this, &MainWindow::clearSaveFailure);
    connect(m_document.get(), &ProfileDocument::secretsMoved, this, [this]() {
        ui->statusBar->showMessage(tr("パスワードを profile.json からキーリングに移しました"));
    });

    // The view did not exist when setupUi connected slots by name, so these are made here, once.
    // Both engines' views have these signals.
    connect(m_view, SIGNAL(loadFinished(bool)), this, SLOT(on_webview_loadFinished(bool)));
    connect(m_view, SIGNAL(loadProgress(int)), this, SLOT(on_webview_loadProgress(int)));
    connect(m_view, SIGNAL(loadStarted()), this, SLOT(on_webview_loadStarted()));
    connect(m_view, SIGNAL(urlChanged(QUrl)), this, SLOT(on_webview_urlChanged(QUrl)));

    // Chromium's view accepts certificate errors itself.
    if (parts.network
        && !connect(parts.network, SIGNAL(sslErrors(QNetworkReply *, const QList<QSslError> &)), this,
                    SLOT(handleSslErrors(QNetworkReply *, const QList<QSslError> &)))) {
        qCDebug(lcApp) << "connection error.";
    }

    m_progressBar = new QProgressBar;
    m_progressBar->hide();
    m_progressBar->setValue(0);
    ui->statusBar->addPermanentWidget(m_progressBar);
    m_insecureMarker = new QLabel(tr("⚠ 安全でない接続"));
    m_insecureMarker->setObjectName(QStringLiteral("insecureMarker"));
    m_insecureMarker->setToolTip(
        tr("このページは証明書に問題のある接続で届きました。記録した項目は自動入力しません。"));
    m_insecureMarker->hide();
    ui->statusBar->addPermanentWidget(m_insecureMarker);

    connect(m_page.get(), &Page::scriptObjectsCleared, this, &MainWindow::connectDelegate);

    ui->pushButton->hide();
    ui->url->hide();

    m_statusPaint.setSingleShot(true);
    m_statusPaint.setInterval(statusPaintDelayMs);
    connect(&m_statusPaint, &QTimer::timeout, this, [this]() { ui->statusBar->setUpdatesEnabled(true); });

    m_downloads = std::make_unique<Downloads>();
    connect(m_browsing.get(), &Browsing::downloadRequested, m_downloads.get(), &Downloads::take);
    connect(m_browsing.get(), &Browsing::downloadRequested, this, [this] {
        // The load that turned into a download ends without a page: nothing is loading any more.
        m_loadBecameDownload = true;
        m_progressBar->hide();
    });
    connect(m_downloads.get(), &Downloads::started, this,
            [this](const QString &name) { ui->statusBar->showMessage(tr("ダウンロード中: ") + name); });
    connect(m_downloads.get(), &Downloads::saved, this, [this](const QString &path) {
        ui->statusBar->showMessage(tr("ダウンロードしました: ") + QDir::toNativeSeparators(path));
    });
    connect(m_downloads.get(), &Downloads::failed, this, [this](const QString &reason) {
        ui->statusBar->showMessage(tr("ダウンロードできませんでした: ") + reason);
    });
    m_browsingControls = std::make_unique<BrowsingControls>(*m_browsing, this, m_view);
    connect(m_browsingControls.get(), &BrowsingControls::printed, this, [this](bool ok) {
        ui->statusBar->showMessage(ok ? tr("印刷しました") : tr("印刷できませんでした"));
    });

    m_startPage = m_document->startPage();
    Shortcuts::apply(m_document->root(), {{QStringLiteral("fillPage"), ui->actionFillPage},
                                          {QStringLiteral("undoFill"), ui->actionUndoFill}});
}

// The parts go before the widgets (the bridge releases its element handles while the view lives).
MainWindow::~MainWindow() = default;

void MainWindow::loadStartPage()
{
    navigate(m_startPage);
}

void MainWindow::navigate(const QString &address)
{
    // The url property of either engine's view.
    m_view->setProperty("url", QUrl(address, QUrl::TolerantMode));
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    qCDebug(lcApp) << "closeEvent(): " << int(event->type()) << "\n";
}

void MainWindow::connectDelegate()
{
    m_page->publishDelegate(this, SLOT(on_signal(const QString &)));
}

void MainWindow::on_signal(const QString &sender)
{
    qCDebug(lcBridge) << "on_signal(" << Logging::masked(sender) << ")";
    m_page->receiveSignal(sender);
}

void MainWindow::on_pushButton_clicked()
{
    const QString address = ui->url->text();
    if (address.isEmpty()) {
        return;
    }
    navigate(address);
}

void MainWindow::on_actionProfile_triggered()
{
    qCDebug(lcProfile) << "on_actionProfile_triggered";
    ProfileEditor::run(this, *m_document);
}

void MainWindow::on_webview_loadFinished(bool ok)
{
    qCDebug(lcApp) << "finished with ok: " << ok;
    m_loading = false;
    const QString notice = std::exchange(m_noticeAfterLoad, QString());
    m_page->viewLoadFinished(ok);
    if (!ok) {
        return;
    }
    m_progressBar->setValue(100);
    m_progressBar->hide();
    ui->statusBar->showMessage(tr("ページが表示されました"));
    if (std::exchange(m_scriptsFailed, false)) {
        // Said once a page: what the user sees may be missing what the page's scripts would build.
        ui->statusBar->showMessage(tr("このページのスクリプトはこのエンジンでは動きません。kakikomi --engine "
                                      "chromium で開いてください"));
    }
    // Drawn together with the page's first paint.
    m_statusPaint.stop();
    ui->statusBar->setUpdatesEnabled(true);
    if (!notice.isEmpty()) {
        ui->statusBar->showMessage(notice);
    }
    applyPageRules();
    refillWholeForm();
}

// What the user asked for went nowhere because the page changed: said now, and again once the page
// that replaced it has loaded, over the load's own message.
void MainWindow::noticeOverLoad(const QString &text)
{
    ui->statusBar->showMessage(text);
    if (m_loading) {
        m_noticeAfterLoad = text;
    }
}

// Recorded values go into a page on their own only when it came over a sound connection: whoever can
// present a false certificate for the address would receive them. The user may still fill it.
void MainWindow::applyPageRules()
{
    const bool insecure = m_page->insecure();
    m_insecureMarker->setVisible(insecure);
    if (m_document->pageRules().isEmpty()) {
        return;
    }
    m_page->scan([this, insecure](const QVector<PageControl> &controls) {
        if (!insecure) {
            m_ruleFiller->apply(controls, RuleFiller::Controls::Any);
        } else if (m_ruleFiller->wouldFill(controls)) {
            holdBackRefill();
        }
    });
}

// After the rules, which it leaves alone: a page where the user filled the whole form before is
// filled again, whatever its query string and ids are this time.
void MainWindow::refillWholeForm()
{
    if (!m_document->fillsWholeForm(m_page->address())) {
        return;
    }
    if (m_page->insecure()) {
        holdBackRefill();
    } else {
        m_formFiller->refillPage();
    }
}

void MainWindow::holdBackRefill()
{
    qCDebug(lcApp) << "rules not applied: certificate errors on" << Logging::masked(m_page->address());
    ui->statusBar->showMessage(tr("証明書に問題があるため自動入力しませんでした"));
}

void MainWindow::deferStatusPaint()
{
    ui->statusBar->setUpdatesEnabled(false);
    if (!m_statusPaint.isActive()) {
        m_statusPaint.start();
    }
}

void MainWindow::on_webview_loadProgress(int v)
{
    deferStatusPaint();
    if (m_loadBecameDownload) {
        return;
    }
    if (!m_progressBar->isVisible()) {
        m_progressBar->setVisible(true);
    }
    m_progressBar->setValue(v);
}

void MainWindow::on_webview_loadStarted()
{
    m_loadBecameDownload = false;
    deferStatusPaint();
    ui->statusBar->showMessage(QString());
    if (!m_progressBar->isVisible()) {
        m_progressBar->setVisible(true);
    }
    m_progressBar->setValue(0);
}

void MainWindow::on_profileSelected(QAction *a)
{
    m_filler->apply(a);
}

void MainWindow::on_webview_urlChanged(QUrl u)
{
    deferStatusPaint();
    m_page->viewAddressChanged();
    const QString address = u.toString();
    m_formFiller->pageChanged(address);
    ui->statusBar->showMessage(tr("表示中: ") + address);
    qCDebug(lcApp) << "on_webview_urlChanged url: " << Logging::masked(u);
    m_document->showPage(address);
}

void MainWindow::on_actionToJapanese_triggered()
{
    qCDebug(lcApp) << "on_actionToJapanese_triggered";
    m_filler->setInputLanguage(FieldMenu::Japanese);
    ui->actionToJapanese->setChecked(true);
    ui->actionToEnglish->setChecked(false);
}

void MainWindow::on_actionToEnglish_triggered()
{
    qCDebug(lcApp) << "on_actionToEnglish_triggered";
    m_filler->setInputLanguage(FieldMenu::English);
    ui->actionToJapanese->setChecked(false);
    ui->actionToEnglish->setChecked(true);
}

void MainWindow::on_goHome_clicked()
{
    loadStartPage();
}

void MainWindow::handleSslErrors(QNetworkReply *reply, const QList<QSslError> &errors)
{
    qCDebug(lcApp) << "handleSslErrors: " << reply->errorString();
    for (const QSslError &error : errors) {
        qCDebug(lcApp) << "ssl error: " << error;
    }
    reply->ignoreSslErrors();
}

// A save that failed stays in the status bar until something else is shown there or a later save
// succeeds; the values stay in memory and the next save tries again.
void MainWindow::showSaveFailure(const QString &error)
{
    m_saveFailure = tr("profile.json を保存できませんでした: ") + error;
    ui->statusBar->showMessage(m_saveFailure);
}

void MainWindow::clearSaveFailure()
{
    if (!m_saveFailure.isEmpty() && ui->statusBar->currentMessage() == m_saveFailure) {
        ui->statusBar->clearMessage();
    }
    m_saveFailure.clear();
}

// このページに一括入力 in the real window: the whole fill of sign-up forms of 30 and 300 controls
// (reading, recognising, typing every field, recording with one save), without the deliberate wait
// for the page to react to the postal code; and how the values end up on the test pages.
//
// With --chromium the window shows its pages with Chromium, where every call into the page answers
// later from the event loop: the fill's time then includes those round trips to the page's process.
// The test pages are checked with WebKit only (reading them back goes through its elements).

#include "app/mainwindow.h"
#include "benchsupport.h"
#include "fill/formfiller.h"
#include "page/webkit/singlewebview.h"
#include "store/profiledocument.h"

#include <QAction>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QTimer>
#include <QUrl>
#include <QWebElement>
#include <QWebEngineView>
#include <QWebFrame>

namespace {

// Runs the action and waits for its end; false when it did not end.
bool fillAndWait(MainWindow &window)
{
    QEventLoop loop;
    bool ended = false;
    const QMetaObject::Connection connection =
        QObject::connect(&window.formFiller(), &FormFiller::finished, [&]() {
            ended = true;
            loop.quit();
        });
    window.findChild<QAction *>(QStringLiteral("actionFillPage"))->trigger();
    if (!ended) {
        QTimer::singleShot(5000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    QObject::disconnect(connection);
    return ended;
}

QString shown(QWebElement element)
{
    if (element.tagName() == QLatin1String("SELECT")) {
        return element
            .evaluateJavaScript(
                QStringLiteral("this.selectedIndex < 0 ? '' : this.options[this.selectedIndex].text"))
            .toString()
            .simplified();
    }
    return element.evaluateJavaScript(QStringLiteral("this.value")).toString();
}

struct Tally
{
    int right = 0, wrong = 0, missed = 0, leftAlone = 0, pages = 0;
};

// Every control of the page after the fill against what its data-expect attributes say.
void tally(MainWindow &window, const QString &path, Tally &counts)
{
    QWebView *view = qobject_cast<QWebView *>(window.view());
    if (!Bench::loadAndWait(view, [&]() { view->setUrl(QUrl::fromLocalFile(path)); })) {
        qFatal("cannot load %s", qPrintable(path));
    }
    ++counts.pages;
    struct Control
    {
        QWebElement element;
        QString before;
    };
    QVector<Control> controls;
    for (const QWebElement &element :
         view->page()->mainFrame()->findAllElements(QStringLiteral("input, select"))) {
        controls.append({element, shown(element)});
    }
    if (!fillAndWait(window)) {
        qFatal("the fill of %s did not end", qPrintable(path));
    }
    for (const Control &control : qAsConst(controls)) {
        const QWebElement &element = control.element;
        const QString key = element.attribute(QStringLiteral("data-expect-key"));
        QString want = control.before;
        if (element.hasAttribute(QStringLiteral("data-expect-value"))) {
            want = element.attribute(QStringLiteral("data-expect-value"));
        } else if (!key.isEmpty()) {
            want = element.tagName() == QLatin1String("SELECT")
                       ? element.attribute(QStringLiteral("data-expect-option"))
                       : window.document().value(key);
        }
        const QString got = shown(element);
        if (key.isEmpty()) {
            ++(got == want ? counts.leftAlone : counts.wrong);
        } else if (got == want) {
            ++counts.right;
        } else {
            ++(got == control.before ? counts.missed : counts.wrong);
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    const Bench::GuiProgram program(argc, argv);
    QFile demo(QStringLiteral(KAKIKOMI_DEMO_DIR "/profile.json"));
    if (!demo.open(QIODevice::ReadOnly)) {
        qFatal("cannot read the demo profile");
    }
    QJsonObject document = QJsonDocument::fromJson(demo.readAll()).object();
    document.remove(QStringLiteral("startPage"));
    Bench::writeProfile(document);
    bool chromium = false;
    for (int i = 1; i < argc; ++i) {
        chromium = chromium || qstrcmp(argv[i], "--chromium") == 0;
    }
    MainWindow window(chromium ? Engine::Chromium : Engine::WebKit);
    const QString engine = chromium ? QStringLiteral(", chromium") : QString();

    int page = 0;
    for (const int controls : {30, 300}) {
        const QString html = Bench::shopForm(controls);
        std::vector<qint64> times;
        std::vector<qint64> saves;
        for (int round = 0; round < 9; ++round) {
            // A new page each time: recorded rules, and the whole-form fill used there before, would
            // fill the fields at load.
            const QUrl address(QStringLiteral("http://127.0.0.1:1/form%1").arg(++page));
            if (chromium) {
                auto *view = static_cast<QWebEngineView *>(window.view());
                QEventLoop loop;
                QObject::connect(view, &QWebEngineView::loadFinished, &loop, &QEventLoop::quit);
                view->setHtml(html, address);
                loop.exec();
            } else {
                Bench::loadAndWait(qobject_cast<QWebView *>(window.view()), [&]() {
                    qobject_cast<QWebView *>(window.view())->setHtml(html, address);
                });
            }
            // The user's fill comes once the page has been shown for a moment, not within the load's
            // last millisecond: by then Chromium has installed the page script where there are controls.
            QEventLoop settle;
            QTimer::singleShot(300, &settle, &QEventLoop::quit);
            settle.exec();
            if (!fillAndWait(window)) {
                qFatal("the fill did not end");
            }
            times.push_back(window.formFiller().lastWorkNanoseconds());
            saves.push_back(window.formFiller().lastSaveNanoseconds());
        }
        const QString rules =
            window.document().rulesFor(QStringLiteral("http://127.0.0.1:1/form%1").arg(page)).size()
                    == controls
                ? QString()
                : QStringLiteral(" (not all recorded)");
        const double median = Bench::medianMs(times);
        // A millisecond a control on the small form, half of one on the large.
        const double target = controls <= 30 ? controls : controls / 2.0;
        Bench::printRow({QStringLiteral("7 whole-form fill") + engine + rules,
                         Bench::count(controls) + QStringLiteral(" controls"), Bench::ms(median), QString(),
                         QString(), QStringLiteral("< %1 ms").arg(target),
                         median < target && rules.isEmpty()});
        Bench::printRow({QStringLiteral("7   of it, the one save") + engine,
                         Bench::count(controls) + QStringLiteral(" controls"),
                         Bench::ms(Bench::medianMs(saves)), QString(), QString(), QString(), true});
    }

    if (chromium) {
        return 0;
    }
    Tally counts;
    const QDir forms(QStringLiteral(KAKIKOMI_FORMS_DIR));
    for (const QString &file : forms.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name)) {
        tally(window, forms.filePath(file), counts);
    }
    const QString size = QStringLiteral("%1 pages").arg(counts.pages);
    const int toFill = counts.right + counts.wrong + counts.missed;
    Bench::printRow({QStringLiteral("7 filled right"), size,
                     QStringLiteral("%1 of %2").arg(counts.right).arg(toFill), QString(), QString(),
                     QStringLiteral("all"), counts.right == toFill});
    Bench::printRow({QStringLiteral("7 filled wrong"), size, QString::number(counts.wrong), QString(),
                     QString(), QStringLiteral("0"), counts.wrong == 0});
    Bench::printRow({QStringLiteral("7 left empty, should fill"), size, QString::number(counts.missed),
                     QString(), QString(), QStringLiteral("0"), counts.missed == 0});
    Bench::printRow({QStringLiteral("7 left as it was, rightly"), size, QString::number(counts.leftAlone),
                     QString(), QString(), QString(), true});
    return 0;
}

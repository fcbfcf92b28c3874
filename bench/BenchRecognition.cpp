// Recognising a whole form: reading its controls from the page and deciding each one's key, on
// sign-up forms of 30 and 300 controls; and how often the decision is right on the test pages.

#include "benchsupport.h"
#include "fill/fieldmenu.h"
#include "fill/fieldrecognizer.h"
#include "page/webkit/webkitpage.h"
#include "store/profiledocument.h"

#include <QDir>
#include <QElapsedTimer>
#include <QUrl>
#include <QWebElement>
#include <QWebFrame>
#include <QWebView>

namespace {

struct Tally
{
    int right = 0, wrong = 0, missed = 0, leftAlone = 0, pages = 0;
};

// What the whole-form fill recognises from: the inputs and selects of the page.
QVector<PageControl> scanInputsAndSelects(QWebView *view)
{
    static const ProfileDocument noValues;
    WebKitPage page(view, noValues);
    QVector<PageControl> controls;
    page.scan([&controls](const QVector<PageControl> &scanned) {
        for (const PageControl &control : scanned) {
            if (control.tag != QLatin1String("TEXTAREA")) {
                controls.append(control);
            }
        }
    });
    return controls;
}

void tally(QWebView *view, const QString &path, Tally &counts)
{
    if (!Bench::loadAndWait(view, [&]() { view->setUrl(QUrl::fromLocalFile(path)); })) {
        qFatal("cannot load %s", qPrintable(path));
    }
    ++counts.pages;
    const QVector<PageControl> controls = scanInputsAndSelects(view);
    const auto decisions = FieldRecognizer::recognize(controls, FieldMenu::Japanese);
    const QWebElementCollection elements =
        view->page()->mainFrame()->findAllElements(QStringLiteral("input, select"));
    for (int i = 0; i < controls.size(); ++i) {
        const QString expected = elements.at(i).attribute(QStringLiteral("data-expect-key"));
        const QString key = decisions[i].key;
        if (key.isEmpty()) {
            ++(expected.isEmpty() ? counts.leftAlone : counts.missed);
        } else {
            ++(key == expected ? counts.right : counts.wrong);
        }
    }
}

} // namespace

int main(int argc, char *argv[])
{
    const Bench::GuiProgram program(argc, argv);
    QWebView view;

    for (const int controls : {30, 300}) {
        const QString html = Bench::shopForm(controls);
        Bench::loadAndWait(&view,
                           [&]() { view.setHtml(html, QUrl(QStringLiteral("http://127.0.0.1:1/form"))); });
        std::vector<qint64> times;
        std::vector<qint64> recognising;
        int filled = 0;
        for (int round = 0; round < 15; ++round) {
            QElapsedTimer timer;
            timer.start();
            const auto scanned = scanInputsAndSelects(&view);
            const qint64 scanning = timer.nsecsElapsed();
            const auto decisions = FieldRecognizer::recognize(scanned, FieldMenu::Japanese);
            times.push_back(timer.nsecsElapsed());
            recognising.push_back(times.back() - scanning);
            filled = int(std::count_if(decisions.begin(), decisions.end(),
                                       [](const FieldRecognizer::Decision &d) { return d.fills(); }));
        }
        if (filled != controls) {
            qFatal("recognised %d of %d controls", filled, controls);
        }
        const double median = Bench::medianMs(times);
        const double target = controls; // the whole fill's budget: 1 ms per control
        Bench::printRow({QStringLiteral("6 scan and recognise"),
                         Bench::count(controls) + QStringLiteral(" controls"), Bench::ms(median), QString(),
                         QString(), QStringLiteral("< %1 ms (fill)").arg(target), median < target});
        Bench::printRow({QStringLiteral("6   of it, recognising"),
                         Bench::count(controls) + QStringLiteral(" controls"),
                         Bench::ms(Bench::medianMs(recognising)), QString(), QString(), QString(), true});
    }

    Tally counts;
    const QDir forms(QStringLiteral(KAKIKOMI_FORMS_DIR));
    for (const QString &file : forms.entryList({QStringLiteral("*.html")}, QDir::Files, QDir::Name)) {
        tally(&view, forms.filePath(file), counts);
    }
    const QString size = QStringLiteral("%1 pages").arg(counts.pages);
    const int toFill = counts.right + counts.wrong + counts.missed;
    Bench::printRow({QStringLiteral("6 recognised right"), size,
                     QStringLiteral("%1 of %2").arg(counts.right).arg(toFill), QString(), QString(),
                     QStringLiteral("all"), counts.right == toFill});
    Bench::printRow({QStringLiteral("6 recognised wrong"), size, QString::number(counts.wrong), QString(),
                     QString(), QStringLiteral("0"), counts.wrong == 0});
    Bench::printRow({QStringLiteral("6 left alone, should fill"), size, QString::number(counts.missed),
                     QString(), QString(), QStringLiteral("0"), counts.missed == 0});
    Bench::printRow({QStringLiteral("6 left alone rightly"), size, QString::number(counts.leftAlone),
                     QString(), QString(), QString(), true});
    return 0;
}

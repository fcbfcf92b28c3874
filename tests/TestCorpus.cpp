// このページに一括入力 on the corpus of pages written independently of the recognizer: every control
// against expected.tsv. A wrong value and another person's section filled fail at once; leaving a
// field empty only counts against the share of right values over the whole corpus.

#include "browser.h"
#include "corpus.h"
#include "fill/formfiller.h"

#include <QAction>
#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>
#include <QWebFrame>

using namespace TestSupport;

namespace {

const QString corpusDir = QStringLiteral(KAKIKOMI_CORPUS_DIR);

} // namespace

class TestCorpus : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pages_data();
    void pages();
    void rightShare();
    void cleanupTestCase();

private:
    QMap<QString, QVector<Corpus::Row>> m_table;
    // One window for every page: a window costs more than the fill of a page.
    std::unique_ptr<Browser> m_browser;
    Corpus::Tally m_total;
    int m_pagesDone = 0;
};

void TestCorpus::initTestCase()
{
    m_table = Corpus::readTable(corpusDir);
    QVERIFY(m_table.size() >= 41);
    m_browser = std::make_unique<Browser>(Corpus::profile(corpusDir));
}

void TestCorpus::pages_data()
{
    QTest::addColumn<QString>("page");
    for (auto page = m_table.constBegin(); page != m_table.constEnd(); ++page) {
        QTest::newRow(qPrintable(page.key())) << page.key();
    }
}

void TestCorpus::pages()
{
    QFETCH(QString, page);
    QVector<Corpus::Row> rows = m_table.value(page);
    QVERIFY(loadUrl(m_browser->view(), QUrl::fromLocalFile(QDir(corpusDir).filePath(page)).toString()));
    QWebFrame *frame = m_browser->view()->page()->mainFrame();
    Corpus::recordBefore(frame, rows);
    for (const Corpus::Row &row : qAsConst(rows)) {
        QVERIFY2(row.before != QLatin1String("(missing)"), qPrintable(row.selector));
    }

    QSignalSpy finished(&m_browser->window().formFiller(), &FormFiller::finished);
    m_browser->child<QAction>("actionFillPage")->trigger();
    QVERIFY(!finished.isEmpty() || finished.wait(5000));

    QStringList problems;
    const Corpus::Tally tally = Corpus::score(frame, rows, &problems);
    m_total += tally;
    ++m_pagesDone;
    for (const QString &line : qAsConst(problems)) {
        qWarning().noquote() << page << line;
    }
    QCOMPARE(tally.wrong, 0);
    QCOMPARE(tally.wronglyFilled, 0);
}

void TestCorpus::rightShare()
{
    if (m_pagesDone != m_table.size()) {
        QSKIP("only some pages ran");
    }
    qInfo("%d right, %d wrong, %d missed, %d wrongly filled, %d rightly left alone", m_total.right,
          m_total.wrong, m_total.missed, m_total.wronglyFilled, m_total.leftAlone);
    QVERIFY2(m_total.right * 100 >= m_total.toFill() * 97,
             qPrintable(QStringLiteral("%1 of %2 right").arg(m_total.right).arg(m_total.toFill())));
}

void TestCorpus::cleanupTestCase()
{
    m_browser.reset();
}

QTEST_MAIN(TestCorpus)
#include "TestCorpus.moc"

// The page as the fill code sees it in Chromium: the controls scanned, written and read in the page
// script's own world, clicks that open the menu only when the user made them, controls that appear
// later, and a page that can neither see nor break the script.

#include "page/chromium/chromiumpage.h"
#include "page/chromium/chromiumview.h"

#include "loopbackserver.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QWebEnginePage>

namespace {

const QUrl base(QStringLiteral("http://127.0.0.1:1/form"));

// A form with the kinds of controls the scan tells apart, and a same-origin frame.
const QString formPage = QStringLiteral(R"(<!DOCTYPE html><body>
<form><label for=sei>姓</label> <input id=sei name=family> <input name=mail type=TEXT>
<input style='width:100px'> <input id=secret type=text style='display:none'>
<select id=pref><option value=''>選択</option><option value=13>東京都</option></select>
<textarea name=note></textarea></form>
<iframe id=order srcdoc="<input id=email type=email>"></iframe>)");

// The page logs the events a write causes as "type:id".
const QString writePage = QStringLiteral(R"(<!DOCTYPE html><body>
<input id=text value=abcd> <input id=empty>
<select id=pref><option value=''>選択</option><option value=13>東京都</option><option value=27>大阪府</option></select>
<script>var log = [];
['input', 'change'].forEach(function (t) {
    document.addEventListener(t, function (e) { log.push(e.type + ':' + e.target.id); }, true);
});</script>)");

// A page that breaks, before anything else runs, what a script in it might rely on.
const QString hostilePage = QStringLiteral(R"(<!DOCTYPE html><head><script>
Array.prototype.push = function () { throw new Error('no'); };
JSON.stringify = function () { return 'x'; };
document.querySelectorAll = function () { return []; };
EventTarget.prototype.dispatchEvent = function () { return false; };
Object.defineProperty(HTMLInputElement.prototype, 'value', { set: function () {}, get: function () { return 'x'; } });
window.QWebChannel = function () {};
Object.defineProperty = function () { throw new Error('no'); };
var events = 0;
document.addEventListener('input', function () { ++events; }, true);
</script></head><body><input id=name>)");

template <typename Result, typename Ask> Result await(Ask ask)
{
    Result result{};
    bool done = false;
    ask([&](const Result &answer) {
        result = answer;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 20000)) {
        QTest::qFail("the page did not answer", __FILE__, __LINE__);
    }
    return result;
}

} // namespace

class TestChromiumPage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void scan();
    void write_data();
    void write();
    void anEarlierDocumentsHandlesReachNothing();
    void onlyTheUsersClicksOpenTheMenu();
    void controlsMadeAfterTheLoadAppear_data();
    void controlsMadeAfterTheLoadAppear();
    void thePageCannotSeeOrBreakTheScript();
    void vueStateTakesTheWrite();
    void newWindowsOpenInTheSameView();
    void certificateErrorsMakeTheirHostInsecure();

private:
    bool load(const QString &html);
    bool loadUrl(const QUrl &url);
    QVariant runInPage(const QString &script);
    QVector<PageControl> scanned();
    QVector<Page::State> writeAll(const QVector<Page::Write> &writes);
    PageControl control(const QString &identifier);
    void click(const QPoint &point);

    ChromiumView *m_view = nullptr;
    ChromiumPage *m_page = nullptr;
};

void TestChromiumPage::init()
{
    m_view = new ChromiumView;
    m_page = new ChromiumPage(m_view, m_view);
    m_view->resize(800, 600);
    m_view->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_view));
}

void TestChromiumPage::cleanup()
{
    delete m_view;
    m_view = nullptr;
    m_page = nullptr;
}

bool TestChromiumPage::loadUrl(const QUrl &url)
{
    QSignalSpy finished(m_view, &QWebEngineView::loadFinished);
    m_view->load(url);
    return finished.wait(20000) && finished.first().first().toBool();
}

bool TestChromiumPage::load(const QString &html)
{
    QSignalSpy finished(m_view, &QWebEngineView::loadFinished);
    m_view->setHtml(html, base);
    return finished.wait(20000) && finished.first().first().toBool();
}

QVariant TestChromiumPage::runInPage(const QString &script)
{
    return await<QVariant>([&](const std::function<void(const QVariant &)> &done) {
        m_view->page()->runJavaScript(script, done);
    });
}

QVector<PageControl> TestChromiumPage::scanned()
{
    return await<QVector<PageControl>>([&](const Page::Scanned &done) { m_page->scan(done); });
}

QVector<Page::State> TestChromiumPage::writeAll(const QVector<Page::Write> &writes)
{
    return await<QVector<Page::State>>([&](const Page::Done &done) { m_page->write(writes, done); });
}

PageControl TestChromiumPage::control(const QString &identifier)
{
    for (const PageControl &c : scanned()) {
        if (c.identifier == identifier) {
            return c;
        }
    }
    return {};
}

void TestChromiumPage::click(const QPoint &point)
{
    QVERIFY(QTest::qWaitFor([&] { return m_view->focusProxy() != nullptr; }, 20000));
    QTest::mouseClick(m_view->focusProxy(), Qt::LeftButton, {}, point);
}

void TestChromiumPage::scan()
{
    QVERIFY(load(formPage));
    const QVector<PageControl> controls = scanned();
    QStringList identifiers;
    for (const PageControl &c : controls) {
        identifiers << c.identifier;
    }
    QCOMPARE(identifiers, QStringList({"sei", "mail", "unknown1", "secret", "pref", "note", "order/email"}));

    const PageControl &sei = controls[0];
    QCOMPARE(sei.type, QString());
    QCOMPARE(sei.htmlType, QStringLiteral("text"));
    QCOMPARE(sei.label, QStringLiteral("姓"));
    QCOMPARE(controls[1].type, QStringLiteral("TEXT"));
    QCOMPARE(controls[1].htmlType, QStringLiteral("text"));
    QVERIFY(sei.visible);
    QVERIFY(!controls[3].visible);
    QCOMPARE(controls[4].options.size(), 2);
    QCOMPARE(controls[4].tag, QStringLiteral("SELECT"));
    QCOMPARE(controls[6].frame, QStringLiteral("order"));
    QCOMPARE(controls[6].htmlType, QStringLiteral("email"));
    QVERIFY(!m_page->literalTypes());
    // Handles are distinct and name this document.
    QVERIFY(sei.handle != 0 && sei.handle != controls[6].handle);
}

void TestChromiumPage::write_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("identifier");
    QTest::addColumn<int>("how");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("written");

    QTest::newRow("replace") << ""
                             << "text" << int(Page::How::Replace) << "山田"
                             << "山田" << true;
    QTest::newRow("at the selection") << "document.getElementById('text').setSelectionRange(1, 3)"
                                      << "text" << int(Page::How::AtSelection) << "山田"
                                      << "a山田d" << true;
    QTest::newRow("if empty, on text") << ""
                                       << "text" << int(Page::How::IfEmpty) << "山田"
                                       << "abcd" << false;
    QTest::newRow("if empty, on empty") << ""
                                        << "empty" << int(Page::How::IfEmpty) << "山田"
                                        << "山田" << true;
    QTest::newRow("if unchosen, at the placeholder") << ""
                                                     << "pref" << int(Page::How::IfUnchosen) << "27"
                                                     << "27" << true;
    QTest::newRow("if unchosen, chosen") << "document.getElementById('pref').selectedIndex = 1"
                                         << "pref" << int(Page::How::IfUnchosen) << "27"
                                         << "13" << false;
}

void TestChromiumPage::write()
{
    QFETCH(QString, setup);
    QFETCH(QString, identifier);
    QFETCH(int, how);
    QFETCH(QString, text);
    QFETCH(QString, value);
    QFETCH(bool, written);

    QVERIFY(load(writePage));
    if (!setup.isEmpty()) {
        runInPage(setup);
    }
    const PageControl target = control(identifier);
    QVERIFY(target.handle);
    const QVector<Page::State> states = writeAll({{target.handle, text, Page::How(how)}});
    QCOMPARE(states.size(), 1);
    QVERIFY(states[0].found);
    QCOMPARE(states[0].written, written);
    QCOMPARE(states[0].value, value);

    const QVector<Page::State> read =
        await<QVector<Page::State>>([&](const Page::Done &done) { m_page->read({target.handle}, done); });
    QCOMPARE(read.size(), 1);
    QCOMPARE(read[0].value, value);
    if (target.tag == QLatin1String("SELECT")) {
        QCOMPARE(read[0].selectedIndex, value == QLatin1String("27") ? 2 : 1);
    }
    const QString expectedLog = written ? QStringLiteral("input:%1,change:%1").arg(identifier) : QString();
    QCOMPARE(runInPage(QStringLiteral("log.join()")).toString(), expectedLog);
}

void TestChromiumPage::anEarlierDocumentsHandlesReachNothing()
{
    QVERIFY(load(writePage));
    const PageControl old = control(QStringLiteral("text"));
    QVERIFY(load(writePage));
    const QVector<Page::State> states = writeAll({{old.handle, QStringLiteral("山田"), Page::How::Replace}});
    QCOMPARE(states.size(), 1);
    QVERIFY(!states[0].found);
    QCOMPARE(runInPage(QStringLiteral("document.getElementById('text').value")).toString(),
             QStringLiteral("abcd"));
    QCOMPARE(control(QStringLiteral("text")).value, QStringLiteral("abcd"));
}

void TestChromiumPage::onlyTheUsersClicksOpenTheMenu()
{
    // Pressing the first field makes the page click the second, in two ways.
    QVERIFY(load(QStringLiteral(R"(<!DOCTYPE html><body style='margin:0'>
<input id=first style='position:absolute; left:10px; top:10px; width:200px; height:30px'>
<label for=second style='position:absolute; left:10px; top:100px'>名</label>
<input id=second style='position:absolute; left:100px; top:100px; width:200px; height:30px'>
<script>var second = document.getElementById('second');
document.getElementById('first').addEventListener('mousedown', function () {
    second.click();
    second.dispatchEvent(new MouseEvent('click', { bubbles: true }));
});</script>)")));
    QVector<PageControl> clicked;
    connect(m_page, &Page::controlClicked, this, [&](const PageControl &c) { clicked.append(c); });
    scanned(); // the script is ready
    runInPage(QStringLiteral("second.click()"));

    // A slow click: the button held longer than a press stays good by itself.
    QVERIFY(QTest::qWaitFor([&] { return m_view->focusProxy() != nullptr; }, 20000));
    QTest::mousePress(m_view->focusProxy(), Qt::LeftButton, {}, QPoint(50, 25));
    QTest::qWait(ChromiumPage::pressLifetimeMs + 300);
    QTest::mouseRelease(m_view->focusProxy(), Qt::LeftButton, {}, QPoint(50, 25));
    QVERIFY(QTest::qWaitFor([&] { return !clicked.isEmpty(); }, 20000));
    // Through the label: the last click, so whatever the page's clicks caused has arrived by now.
    click(QPoint(15, 110));
    QVERIFY(QTest::qWaitFor([&] { return clicked.size() >= 2; }, 20000));
    QCOMPARE(clicked.size(), 2);
    QCOMPARE(clicked[0].identifier, QStringLiteral("first"));
    QCOMPARE(clicked[1].identifier, QStringLiteral("second"));
}

void TestChromiumPage::controlsMadeAfterTheLoadAppear_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<bool>("scanFirst");
    QTest::newRow("a page with controls, scanned") << formPage << true;
    // Nothing of the browser's but the watcher is in it until the control appears: the report makes
    // the way back, and the browser's first call installs the page script.
    QTest::newRow("a page without controls, never asked")
        << QStringLiteral("<!DOCTYPE html><body><form><p>会員登録</p></form>") << false;
}

void TestChromiumPage::controlsMadeAfterTheLoadAppear()
{
    QFETCH(QString, html);
    QFETCH(bool, scanFirst);
    QVERIFY(load(html));
    QVector<QVector<PageControl>> appeared;
    connect(m_page, &Page::controlsAppeared, this,
            [&](const QVector<PageControl> &c) { appeared.append(c); });
    if (scanFirst) {
        scanned();
    }
    runInPage(QStringLiteral("var f = document.createElement('div');"
                             "f.innerHTML = '<input id=late> <select name=era></select>';"
                             "document.forms[0].appendChild(f);"));
    QVERIFY(QTest::qWaitFor([&] { return !appeared.isEmpty(); }, 20000));
    const QVector<PageControl> controls = appeared.first();
    QStringList identifiers;
    for (const PageControl &c : controls) {
        identifiers << c.identifier;
    }
    QCOMPARE(identifiers, QStringList({"late", "era"}));
}

void TestChromiumPage::thePageCannotSeeOrBreakTheScript()
{
    QVERIFY(load(hostilePage));
    const PageControl name = control(QStringLiteral("name"));
    QVERIFY(name.handle);
    QCOMPARE(
        runInPage(QStringLiteral("typeof __kakikomi + ' ' + typeof qt + ' ' "
                                 "+ typeof delegate + ' ' + Object.keys(window).join().indexOf('kakikomi')"))
            .toString(),
        QStringLiteral("undefined undefined undefined -1"));
    const QVector<Page::State> states = writeAll({{name.handle, QStringLiteral("山田"), Page::How::Replace}});
    QCOMPARE(states.size(), 1);
    QVERIFY(states[0].written);
    QCOMPARE(states[0].value, QStringLiteral("山田"));
    QCOMPARE(runInPage(QStringLiteral("events")).toInt(), 1);
}

void TestChromiumPage::vueStateTakesTheWrite()
{
    QVERIFY(loadUrl(QUrl::fromLocalFile(QStringLiteral(KAKIKOMI_TEST_DATA "/vue3/registration.html"))));
    const PageControl sei = control(QStringLiteral("sei"));
    QVERIFY(sei.handle);
    QCOMPARE(sei.textBefore, QStringLiteral("姓"));
    const QVector<Page::State> states = writeAll({{sei.handle, QStringLiteral("山田"), Page::How::Replace}});
    QCOMPARE(states.value(0).value, QStringLiteral("山田"));
    QString state;
    QVERIFY(QTest::qWaitFor(
        [&] {
            state = runInPage(QStringLiteral("document.getElementById('state').textContent")).toString();
            return state.contains(QStringLiteral("\"sei\":\"山田\""));
        },
        20000));
}

void TestChromiumPage::newWindowsOpenInTheSameView()
{
    LoopbackServer server;
    server.setPage(QStringLiteral("/"), "<!DOCTYPE html><input id=first>");
    server.setPage(QStringLiteral("/second"), "<!DOCTYPE html><input id=second>");
    QVERIFY(server.start());
    QVERIFY(loadUrl(server.url()));
    runInPage(QStringLiteral("window.open('/second', '_blank')"));
    QVERIFY(QTest::qWaitFor([&] { return m_view->url().path() == QLatin1String("/second"); }, 20000));
    QVERIFY(control(QStringLiteral("second")).handle);
}

// Chromium asks about a host's failed certificate once and then remembers the answer, so the host's
// later documents stay insecure; a sound one is not.
void TestChromiumPage::certificateErrorsMakeTheirHostInsecure()
{
    LoopbackServer tls, plain;
    QVERIFY(tls.useTls(QStringLiteral(KAKIKOMI_TEST_DATA "/loopback.crt"),
                       QStringLiteral(KAKIKOMI_TEST_DATA "/loopback.key")));
    for (LoopbackServer *server : {&tls, &plain}) {
        server->setPage(QStringLiteral("/form"), "<!DOCTYPE html><input id=name>");
        QVERIFY(server->start());
    }
    QVERIFY(loadUrl(tls.url(QStringLiteral("/form"))));
    QVERIFY(m_page->insecure());
    QVERIFY(control(QStringLiteral("name")).handle);
    QVERIFY(loadUrl(plain.url(QStringLiteral("/form"))));
    QVERIFY(!m_page->insecure());
    QVERIFY(loadUrl(tls.url(QStringLiteral("/form"))));
    QVERIFY(m_page->insecure());
}

int main(int argc, char **argv)
{
    // Chromium headless: no GPU, no sandbox (which needs privileges the test runner may not have).
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_BACKEND", "software");
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    TestChromiumPage test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestChromiumPage.moc"

// The parts' logging categories: the trace is on by default and can be turned off by rule without
// losing warnings, a message reads the same whichever category wrote it, and a value holding a
// secret is masked.

#include "logging.h"

#include <QScopeGuard>
#include <QTest>

class TestLogging : public QObject
{
    Q_OBJECT

private slots:
    void categories_data();
    void categories();
    void plainMessages();
    void masking_data();
    void masking();
};

void TestLogging::categories_data()
{
    QTest::addColumn<QString>("name");

    QTest::newRow("app") << "kakikomi.app";
    QTest::newRow("store") << "kakikomi.store";
    QTest::newRow("bridge") << "kakikomi.bridge";
    QTest::newRow("fill") << "kakikomi.fill";
    QTest::newRow("profile") << "kakikomi.profile";
}

void TestLogging::categories()
{
    QFETCH(QString, name);

    const QLoggingCategory *categories[] = {&lcApp(), &lcStore(), &lcBridge(), &lcFill(), &lcProfile()};
    const QLoggingCategory *category = nullptr;
    for (const QLoggingCategory *candidate : categories) {
        if (name == QLatin1String(candidate->categoryName())) {
            category = candidate;
        }
    }
    QVERIFY(category);
    QVERIFY(category->isDebugEnabled());
    QLoggingCategory::setFilterRules(QStringLiteral("kakikomi.*.debug=false"));
    const bool debugAfterRule = category->isDebugEnabled();
    const bool warningsAfterRule = category->isWarningEnabled();
    QLoggingCategory::setFilterRules(QString());
    QVERIFY(!debugAfterRule);
    QVERIFY(warningsAfterRule);
    QVERIFY(category->isDebugEnabled());
}

void TestLogging::plainMessages()
{
    if (qEnvironmentVariableIsSet("QT_MESSAGE_PATTERN")) {
        QSKIP("QT_MESSAGE_PATTERN overrides the program's pattern");
    }
    Logging::usePlainMessages();
    for (const QLoggingCategory *category : {&lcFill(), &lcStore()}) {
        const QMessageLogContext context(__FILE__, __LINE__, Q_FUNC_INFO, category->categoryName());
        QCOMPARE(qFormatLogMessage(QtDebugMsg, context, QStringLiteral("on_signal( \"a\" )")),
                 QStringLiteral("on_signal( \"a\" )"));
        QCOMPARE(qFormatLogMessage(QtWarningMsg, context, QStringLiteral("saveProfile: cannot open")),
                 QStringLiteral("saveProfile: cannot open"));
    }
}

void TestLogging::masking_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("masked");

    QTest::newRow("the secret") << "s3cret pass" << true;
    QTest::newRow("within other text") << "[ my s3cret pass! ]" << true;
    QTest::newRow("in full width") << QString::fromUtf16(u"ｓ３ｃｒｅｔ ｐａｓｓ") << true;
    QTest::newRow("part of it") << "s3cret" << false;
    QTest::newRow("nothing") << "" << false;
}

// Values and addresses (a form sent by GET) holding a secret become asterisks of their length;
// others, whatever the sources hold besides, stay as they are.
void TestLogging::masking()
{
    QFETCH(QString, text);
    QFETCH(bool, masked);
    Logging::addSecretSource(this, [] { return QStringList{"s3cret pass", QString()}; });
    const auto removeSource = qScopeGuard([this] { Logging::removeSecretSource(this); });

    const QString hidden(text.size(), '*');
    QCOMPARE(Logging::masked(text), masked ? hidden : text);
    QCOMPARE(Logging::masked(QVariant(text)), masked ? QVariant(hidden) : QVariant(text));
    QByteArray field = QUrl::toPercentEncoding(text, " ");
    field.replace(' ', '+');
    const QUrl sent = QUrl::fromEncoded("http://a.test/login?user=hanako&pw=" + field);
    const QUrl logged = Logging::masked(sent);
    QCOMPARE(logged == sent, !masked);
    QCOMPARE(logged.toString().count('*'), masked ? sent.toString().size() : 0);
}

QTEST_GUILESS_MAIN(TestLogging)
#include "TestLogging.moc"

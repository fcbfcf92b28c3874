// The parts' logging categories: the trace is on by default and can be turned off by rule without
// losing warnings, and a message reads the same whichever category wrote it.

#include "logging.h"

#include <QTest>

class TestLogging : public QObject
{
    Q_OBJECT

private slots:
    void categories_data();
    void categories();
    void plainMessages();
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

QTEST_GUILESS_MAIN(TestLogging)
#include "TestLogging.moc"

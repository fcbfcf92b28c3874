// The password and the other secret values in the desktop's secret store: moving them out of
// profile.json, reading them back when picked, one entry per profile folder, and profile.json left
// as it was when no store answers or the store refuses.
//
// Runs under tests/with-secret-store.sh: a private session bus with a keyring daemon of its own.

#include "browser.h"
#include "fill/fieldmenu.h"
#include "store/secretstore.h"

#include <QAction>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>

using namespace TestSupport;

namespace {

const char aloneVariable[] = "KAKIKOMI_TEST_ALONE";
// Names the session bus with-secret-store.sh started; the test support replaces any other.
const char testBusVariable[] = "KAKIKOMI_TEST_BUS";

QByteArray profileWith(const QJsonObject &values, const QJsonObject &extra = QJsonObject())
{
    QJsonObject document = extra;
    document.insert("profile", values);
    document.insert("secretKeys", QJsonArray{"cardNumber"});
    document.insert("actions", QJsonObject{{"パスワード", QJsonArray{"password"}},
                                           {"カード", QJsonArray{"cardNumber.digits"}},
                                           {"姓", QJsonArray{"familyName"}}});
    return QJsonDocument(document).toJson();
}

QString storedValue(const QString &folder, const QString &key)
{
    const SecretStore::Result result = SecretStore(folder).read(key);
    return result.ok ? result.value : QStringLiteral("<%1>").arg(result.missing ? "missing" : result.error);
}

// Writes an entry straight into the store and waits for it.
bool storeEntry(const QString &folder, const QString &key, const QString &value)
{
    QObject context;
    bool written = false;
    SecretStore(folder).write(key, value, &context,
                              [&written](const SecretStore::Result &result) { written = result.ok; });
    return QTest::qWaitFor([&written]() { return written; }, 10000);
}

// Loads dir's profile.json, saves it and waits until the secrets have left the file.
bool moveSecrets(const WorkDir &dir, const QByteArrayList &secrets)
{
    ProfileDocument document;
    const auto moved = [&]() {
        const QByteArray bytes = dir.read("profile.json");
        return std::none_of(secrets.begin(), secrets.end(),
                            [&bytes](const QByteArray &secret) { return bytes.contains(secret); });
    };
    return document.load() && document.save() && QTest::qWaitFor(moved, 10000);
}

} // namespace

class TestSecretStore : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void oldFileMovesToTheStore();
    void readOnlyWhenPicked();
    void editedSecrets();
    void separateEntriesPerFolder();
    void pickedIntoAPasswordField();
    void passwordEnteredInTheDialog();
    void withoutStore_data();
    void withoutStore();
    // Locks the keyring for good: last.
    void lockedStore();
};

// The test writes, reads and locks the keyring it finds: only ever the one of its own.
void TestSecretStore::initTestCase()
{
    const QByteArray ownBus = qgetenv(testBusVariable);
    QVERIFY2(
        !ownBus.isEmpty()
            && (qEnvironmentVariableIsSet(aloneVariable) || ownBus == qgetenv("DBUS_SESSION_BUS_ADDRESS")),
        "run through tests/with-secret-store.sh, which starts a session bus and a keyring of the "
        "test's own; this test uses no other bus");
    if (qEnvironmentVariableIsSet(aloneVariable)) {
        return;
    }
    WorkDir dir;
    QString error;
    bool done = false;
    SecretStore(dir.path()).write("probe", "x", this, [&](const SecretStore::Result &result) {
        error = result.error;
        done = true;
    });
    QTRY_VERIFY_WITH_TIMEOUT(done, 10000);
    QVERIFY2(error.isEmpty(), qPrintable("the test keyring does not answer: " + error));
}

// A file from before the store: the first save moves every secret and the status says so once.
void TestSecretStore::oldFileMovesToTheStore()
{
    WorkDir dir;
    dir.write("profile.json",
              profileWith({{"familyName", "山田"}, {"password", "pässwörd-1"}, {"cardNumber", "4111 2222"}},
                          {{"startPage", "http://a.test/"}}));
    ProfileDocument document;
    QVERIFY(document.load());
    QSignalSpy moved(&document, &ProfileDocument::secretsMoved);
    QVERIFY(document.save());
    QTRY_COMPARE_WITH_TIMEOUT(storedValue(dir.path(), "cardNumber"), QString("4111 2222"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!dir.read("profile.json").contains("2222"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!dir.read("profile.json").contains("pässwörd-1"), 10000);
    QCOMPARE(storedValue(dir.path(), "password"), QString("pässwörd-1"));
    const QJsonObject saved = savedDocument(dir);
    QCOMPARE(saved.value("inSecretStore").toArray(), QJsonArray({"cardNumber", "password"}));
    QCOMPARE(saved.value("profile").toObject(), QJsonObject({{"familyName", "山田"}}));
    QCOMPARE(saved.value("startPage").toString(), QString("http://a.test/"));

    // Later saves keep the file free of secrets and do not announce anything again.
    QVERIFY(document.recordChoice("http://a.test/", "pw", "password"));
    QVERIFY(!dir.read("profile.json").contains("pässwörd-1"));
    QTest::qWait(200);
    QCOMPARE(moved.count(), 1);
    QCOMPARE(document.readValue("password").value_or("unread"), QString("pässwörd-1"));
}

// Loading and drawing the menu leave the store alone; the value is read when asked for, derived
// values included, and the dialog gets every secret.
void TestSecretStore::readOnlyWhenPicked()
{
    WorkDir dir;
    dir.write("profile.json", profileWith({{"password", "open sesame"}, {"cardNumber", "4111-2222"}}));
    QVERIFY(moveSecrets(dir, {"sesame", "2222"}));

    ProfileDocument document;
    QVERIFY(document.load());
    QVERIFY(document.holds("password"));
    const QVector<FieldMenu::Entry> menu = FieldMenu::entries("f", document, FieldMenu::Japanese);
    QCOMPARE(menu[0].text, QString::fromUtf16(u"カード: ••••••••"));
    QCOMPARE(menu[1].text, QString::fromUtf16(u"パスワード: ••••••••"));
    QCOMPARE(menu[2].text, QString::fromUtf16(u"姓: "));
    QVERIFY(!document.values().contains("password"));
    QVERIFY(!document.values().contains("cardNumber"));

    QCOMPARE(document.value("cardNumber.digits"), QString());
    QCOMPARE(document.readValue("cardNumber.digits").value_or("unread"), QString("41112222"));
    QVERIFY(!document.values().contains("password"));
    document.readSecrets();
    QCOMPARE(document.values().value("password").toString(), QString("open sesame"));
}

// A changed secret replaces the entry and leaves the file again; an emptied one removes the entry.
void TestSecretStore::editedSecrets()
{
    WorkDir dir;
    dir.write("profile.json", profileWith({{"password", "first-one"}}));
    QVERIFY(moveSecrets(dir, {"first-one"}));

    ProfileDocument document;
    QVERIFY(document.load());
    document.readSecrets();
    QHash<QString, QVariant> values = document.values();
    values.insert("password", "second-one");
    document.setValues(values);
    QVERIFY(document.save());
    QTRY_COMPARE_WITH_TIMEOUT(storedValue(dir.path(), "password"), QString("second-one"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!dir.read("profile.json").contains("second-one"), 10000);
    QVERIFY(!dir.read("profile.json").contains("first-one"));

    values.insert("password", "");
    document.setValues(values);
    QVERIFY(document.save());
    QTRY_COMPARE_WITH_TIMEOUT(storedValue(dir.path(), "password"), QString("<missing>"), 10000);
    QCOMPARE(savedDocument(dir).value("profile").toObject(), QJsonObject({{"password", ""}}));
    QVERIFY(!savedDocument(dir).contains("inSecretStore"));
}

// Each folder has its own entry, found again through a link to the folder.
void TestSecretStore::separateEntriesPerFolder()
{
    WorkDir first;
    first.write("profile.json", profileWith({{"password", "for-first"}}));
    QVERIFY(moveSecrets(first, {"for-first"}));
    const QString firstPath = first.path();
    {
        WorkDir second;
        second.write("profile.json", profileWith({{"password", "for-second"}}));
        QVERIFY(moveSecrets(second, {"for-second"}));
        QCOMPARE(storedValue(second.path(), "password"), QString("for-second"));
        QVERIFY(SecretStore(firstPath).entryName("password")
                != SecretStore(second.path()).entryName("password"));
        QVERIFY(QFile::link(firstPath, second.filePath("link")));
        QCOMPARE(storedValue(second.filePath("link"), "password"), QString("for-first"));
    }
    QCOMPARE(storedValue(firstPath, "password"), QString("for-first"));
    ProfileDocument document;
    QVERIFY(document.load());
    QCOMPARE(document.readValue("password").value_or("unread"), QString("for-first"));
}

// The field menu still writes the password, read from the store, into a password field.
void TestSecretStore::pickedIntoAPasswordField()
{
    Browser browser(profileWith({}, {{"inSecretStore", QJsonArray{"password"}}}), Browser::Showing::Shown);
    QVERIFY(storeEntry(browser.dir.path(), "password", "pw-from-store"));
    QVERIFY(browser.open("<input type=password id=pw>", "http://a.test/login"));
    const QStringList texts = clickAndChoose(browser.view(), "#pw", QString::fromUtf16(u"パスワード: "));
    QVERIFY(texts.contains(QString::fromUtf16(u"パスワード: ••••••••")));
    QCOMPARE(browser.value("#pw"), QString("pw-from-store"));
    QVERIFY(!browser.dir.read("profile.json").contains("pw-from-store"));
    QCOMPARE(browser.saved().value("sites").toObject().value("http://a.test/login").toObject(),
             QJsonObject({{"pw", "password"}}));

    // A new password leaves the file like an old one, and the status bar says so.
    QHash<QString, QVariant> values = browser.document().values();
    values.insert("password", "pw-changed");
    browser.document().setValues(values);
    QVERIFY(browser.document().save());
    QTRY_COMPARE_WITH_TIMEOUT(browser.statusMessage(),
                              QString::fromUtf16(u"パスワードを profile.json からキーリングに移しました"),
                              10000);
    QVERIFY(!browser.dir.read("profile.json").contains("pw-changed"));
}

// 個人情報入力 shows the password from the store, and the one entered there ends up in the store
// and not in the file.
void TestSecretStore::passwordEnteredInTheDialog()
{
    Browser browser(profileWith({}, {{"inSecretStore", QJsonArray{"password"}}}), Browser::Showing::Shown);
    QVERIFY(storeEntry(browser.dir.path(), "password", "old-pw"));
    QString shown;
    onNextDialog([&](QDialog *dialog) {
        auto *password = dialog->findChild<QLineEdit *>("password");
        shown = password->text();
        password->setFocus();
        password->selectAll();
        type(password, "new-pw");
        QTest::keyClick(password, Qt::Key_Tab);
        QTest::mouseClick(dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok),
                          Qt::LeftButton);
    });
    browser.child<QAction>("actionProfile")->trigger();
    QCOMPARE(shown, QString("old-pw"));
    QTRY_COMPARE_WITH_TIMEOUT(storedValue(browser.dir.path(), "password"), QString("new-pw"), 10000);
    QTRY_VERIFY_WITH_TIMEOUT(!browser.dir.read("profile.json").contains("new-pw"), 10000);
    QVERIFY(!browser.dir.read("profile.json").contains("old-pw"));
}

void TestSecretStore::withoutStore_data()
{
    QTest::addColumn<QString>("address");
    QTest::newRow("no session bus") << QString();
    QTest::newRow("bus address pointing nowhere") << QString("unix:path=/nonexistent/bus");
}

// Nothing changes without a store: the secret stays in the file and standard error says why, once.
// A file naming secrets in the store keeps naming them, so nothing is lost until the store is back.
void TestSecretStore::withoutStore()
{
    QFETCH(QString, address);
    if (!qEnvironmentVariableIsSet(aloneVariable)) {
        // The secret store library keeps the bus it first reached for the process' lifetime.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(aloneVariable, "1");
        environment.remove("DISPLAY");
        environment.remove("DBUS_SESSION_BUS_ADDRESS");
        if (!address.isEmpty()) {
            environment.insert("DBUS_SESSION_BUS_ADDRESS", address);
        }
        QProcess child;
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("withoutStore:") + QTest::currentDataTag()});
        QVERIFY(child.waitForFinished(120000));
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 child.readAll().constData());
        return;
    }

    // Left inside with-secret-store.sh's session (its own runtime folder, no display), where no bus
    // is to be found without an address.
    if (address.isEmpty()) {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
    } else {
        qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
    }
    MessageLog log;
    WorkDir dir;
    dir.write("profile.json", profileWith({{"password", "stays-here"}}));
    ProfileDocument document;
    QVERIFY(document.load());
    QSignalSpy moved(&document, &ProfileDocument::secretsMoved);
    QVERIFY(document.save());
    QTRY_COMPARE_WITH_TIMEOUT(log.warnings().filter("secretStore").size(), 1, 10000);
    QVERIFY(document.recordChoice("http://a.test/", "pw", "password"));
    QTest::qWait(200);
    QCOMPARE(log.warnings().filter("secretStore").size(), 1);
    QCOMPARE(moved.count(), 0);
    QCOMPARE(savedDocument(dir).value("profile").toObject().value("password").toString(),
             QString("stays-here"));
    QVERIFY(!savedDocument(dir).contains("inSecretStore"));

    WorkDir moved2;
    moved2.write("profile.json",
                 profileWith({{"familyName", "山田"}}, {{"inSecretStore", QJsonArray{"password"}}}));
    ProfileDocument kept;
    QVERIFY(kept.load());
    QVERIFY(!kept.readValue("password"));
    kept.readSecrets();
    // The dialog showed an empty password: that is not a new one.
    kept.setValues({{"familyName", "山田"}, {"password", ""}});
    QVERIFY(kept.save());
    QCOMPARE(savedDocument(moved2).value("inSecretStore").toArray(), QJsonArray({"password"}));
    QCOMPARE(savedDocument(moved2).value("profile").toObject(), QJsonObject({{"familyName", "山田"}}));
}

// A locked keyring refuses new entries and hides the old ones: the file keeps what it holds.
void TestSecretStore::lockedStore()
{
    WorkDir before;
    before.write("profile.json", profileWith({{"password", "locked-away"}}));
    QVERIFY(moveSecrets(before, {"locked-away"}));

    QDBusInterface service("org.freedesktop.secrets", "/org/freedesktop/secrets",
                           "org.freedesktop.Secret.Service");
    const QDBusMessage reply =
        service.call("Lock", QVariant::fromValue(QList<QDBusObjectPath>{
                                 QDBusObjectPath("/org/freedesktop/secrets/collection/login")}));
    QVERIFY2(reply.type() == QDBusMessage::ReplyMessage, qPrintable(reply.errorMessage()));

    MessageLog log;
    WorkDir dir;
    dir.write("profile.json", profileWith({{"password", "new-secret"}}));
    ProfileDocument document;
    QVERIFY(document.load());
    QVERIFY(document.save());
    QTRY_COMPARE_WITH_TIMEOUT(log.warnings().filter("secretStore").size(), 1, 10000);
    QTest::qWait(200);
    QVERIFY(dir.read("profile.json").contains("new-secret"));

    QDir::setCurrent(before.path());
    ProfileDocument locked;
    QVERIFY(locked.load());
    QVERIFY(!locked.readValue("password"));
    QVERIFY(locked.holds("password"));
    QVERIFY(locked.save());
    QCOMPARE(savedDocument(before).value("inSecretStore").toArray(), QJsonArray({"password"}));
    QDir::setCurrent(dir.path());
}

QTEST_MAIN(TestSecretStore)
#include "TestSecretStore.moc"

#include "app/mainwindow.h"
#include "fill/fieldmenu.h"
#include "profile/profile.h"
#include "store/profiledocument.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QInputMethodEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <memory>

using TestSupport::MessageLog;
using TestSupport::type;
using TestSupport::WorkDir;
using Values = QHash<QString, QVariant>;

namespace {

struct Cell
{
    const char *name;
    const char *className;
    int row, column, rowSpan, columnSpan;
    const char *text; // labels only
    Qt::Alignment alignment;
};

const Qt::Alignment defaultAlignment = Qt::AlignLeft | Qt::AlignVCenter;
const Qt::Alignment right = Qt::AlignRight | Qt::AlignVCenter;
const Qt::Alignment centre = Qt::AlignCenter;

// The dialog's widgets in creation order.
const Cell widgetTable[] = {
    {"label_26", "QLabel", 9, 3, 1, 1, "大字", defaultAlignment},
    {"address1", "QLineEdit", 9, 5, 1, 5, nullptr, {}},
    {"address1E", "QLineEdit", 9, 11, 1, 1, nullptr, {}},
    {"label_16", "QLabel", 4, 11, 1, 1, "英語表記", defaultAlignment},
    {"year", "QSpinBox", 15, 5, 1, 1, nullptr, {}},
    {"month", "QSpinBox", 15, 7, 1, 1, nullptr, {}},
    {"lastName", "QLineEdit", 0, 11, 1, 1, nullptr, {}},
    {"lastNameE", "QLineEdit", 2, 11, 1, 1, nullptr, {}},
    {"label_24", "QLabel", 15, 8, 1, 1, "/", centre},
    {"day", "QSpinBox", 15, 9, 1, 1, nullptr, {}},
    {"buildingE", "QLineEdit", 13, 11, 1, 1, nullptr, {}},
    {"cityE", "QLineEdit", 7, 11, 1, 1, nullptr, {}},
    {"prefE", "QLineEdit", 5, 11, 1, 1, nullptr, {}},
    {"lastNameK", "QLineEdit", 1, 11, 1, 1, nullptr, {}},
    {"label_23", "QLabel", 15, 6, 1, 1, "/", centre},
    {"label_20", "QLabel", 16, 2, 1, 2, "メールアドレス", defaultAlignment},
    {"label_21", "QLabel", 17, 2, 1, 2, "ID / ユーザー名", defaultAlignment},
    {"label_22", "QLabel", 18, 2, 1, 2, "パスワード", defaultAlignment},
    {"label_14", "QLabel", 11, 3, 1, 1, "小字", defaultAlignment},
    {"label_10", "QLabel", 3, 2, 1, 1, "住所", defaultAlignment},
    {"label_7", "QLabel", 2, 3, 1, 1, "ローマ字", defaultAlignment},
    {"label", "QLabel", 0, 2, 1, 1, "名前", defaultAlignment},
    {"label_6", "QLabel", 1, 4, 1, 1, "姓", right},
    {"label_11", "QLabel", 3, 3, 1, 1, "郵便番号", right},
    {"label_4", "QLabel", 1, 3, 1, 1, "フリガナ", defaultAlignment},
    {"label_2", "QLabel", 0, 4, 1, 1, "姓", right},
    {"label_8", "QLabel", 2, 4, 1, 1, "姓", right},
    {"label_13", "QLabel", 0, 3, 1, 1, "漢字表記", defaultAlignment},
    {"label_12", "QLabel", 7, 3, 1, 1, "市区町村", defaultAlignment},
    {"label_17", "QLabel", 13, 3, 1, 1, "建物名など", defaultAlignment},
    {"label_18", "QLabel", 5, 3, 1, 1, "県", defaultAlignment},
    {"address2E", "QLineEdit", 11, 11, 1, 1, nullptr, {}},
    {"label_19", "QLabel", 14, 2, 1, 1, "電話番号", defaultAlignment},
    {"label_9", "QLabel", 2, 10, 1, 1, "名", right},
    {"label_5", "QLabel", 1, 10, 1, 1, "名", right},
    {"label_3", "QLabel", 0, 10, 1, 1, "名", right},
    {"familyName", "QLineEdit", 0, 5, 1, 5, nullptr, {}},
    {"familyNameK", "QLineEdit", 1, 5, 1, 5, nullptr, {}},
    {"familyNameE", "QLineEdit", 2, 5, 1, 5, nullptr, {}},
    {"label_15", "QLabel", 4, 5, 1, 5, "漢字表記", defaultAlignment},
    {"city", "QLineEdit", 7, 5, 1, 5, nullptr, {}},
    {"pref", "QComboBox", 5, 5, 1, 5, nullptr, {}},
    {"address2", "QLineEdit", 11, 5, 1, 5, nullptr, {}},
    {"building", "QLineEdit", 13, 5, 1, 5, nullptr, {}},
    {"telephone", "QLineEdit", 14, 5, 1, 5, nullptr, {}},
    {"zipcode", "QLineEdit", 3, 5, 1, 1, nullptr, {}},
    {"mail", "QLineEdit", 16, 5, 1, 7, nullptr, {}},
    {"userID", "QLineEdit", 17, 5, 1, 7, nullptr, {}},
    {"password", "QLineEdit", 18, 5, 1, 7, nullptr, {}},
    {"label_25", "QLabel", 15, 2, 1, 1, "生年月日", defaultAlignment},
    {"birthEra", "QLabel", 15, 11, 1, 1, "", defaultAlignment},
    {"buttonBox", "QDialogButtonBox", 19, 0, 1, 12, nullptr, {}},
    {"label_27", "QLabel", 12, 3, 1, 1, "番地", defaultAlignment},
    {"street", "QLineEdit", 12, 5, 1, 5, nullptr, {}},
};

const QByteArray threePrefectures = "01\t北海道\tHokkaido\n13\t東京都\tTokyo\n27\t大阪府\tOsaka\n";

template <typename T> T *editor(QWidget *dialog, const QString &name)
{
    T *found = dialog->findChild<T *>(name);
    if (!found) {
        qFatal("no editor %s", qPrintable(name));
    }
    return found;
}

// Replaces the field's text the way a user does and finishes the edit with Return.
void retype(QLineEdit *edit, const QString &text)
{
    edit->clear();
    edit->setCursorPosition(0);
    type(edit, text);
    QTest::keyClick(edit, Qt::Key_Return);
}

// Runs action on the next modal Profile dialog from inside its event loop.
void onNextProfile(std::function<void(Profile *)> action)
{
    TestSupport::onNextDialog([action](QDialog *dialog) { action(qobject_cast<Profile *>(dialog)); });
}

QJsonObject savedProfile(const WorkDir &dir)
{
    return savedDocument(dir).value("profile").toObject();
}

} // namespace

class TestProfileDialog : public QObject
{
    Q_OBJECT

private slots:
    void widgetTree_data();
    void widgetTree();
    void limits();
    void tabOrder();
    void fillSpinBox_data();
    void fillSpinBox();
    void fillPrefecture_data();
    void fillPrefecture();
    void choosePrefecture();
    void lineEdit_data();
    void lineEdit();
    void zipcode_data();
    void zipcode();
    void closing_data();
    void closing();
    void okSavesCorrections();
};

void TestProfileDialog::widgetTree_data()
{
    QTest::addColumn<int>("index");
    for (int i = 0; i < int(std::size(widgetTable)); ++i) {
        QTest::newRow(widgetTable[i].name) << i;
    }
}

void TestProfileDialog::widgetTree()
{
    QFETCH(int, index);
    const Cell &cell = widgetTable[index];
    Profile dialog;
    auto *grid = editor<QGridLayout>(&dialog, "gridLayout");
    QCOMPARE(dialog.layout(), grid);

    // Created in table order: the dialog's children come in the order they were made.
    QStringList order;
    for (const QObject *child : dialog.children()) {
        if (!child->objectName().isEmpty()) {
            order.append(child->objectName());
        }
    }
    QCOMPARE(order.indexOf(cell.name), index + 1);

    QWidget *widget = editor<QWidget>(&dialog, cell.name);
    QCOMPARE(widget->parent(), &dialog);
    QCOMPARE(widget->metaObject()->className(), cell.className);
    int row, column, rowSpan, columnSpan;
    grid->getItemPosition(grid->indexOf(widget), &row, &column, &rowSpan, &columnSpan);
    QCOMPARE(row, cell.row);
    QCOMPARE(column, cell.column);
    QCOMPARE(rowSpan, cell.rowSpan);
    QCOMPARE(columnSpan, cell.columnSpan);
    if (auto *label = qobject_cast<QLabel *>(widget)) {
        QCOMPARE(label->text(), QString::fromUtf8(cell.text));
        QCOMPARE(label->alignment(), cell.alignment);
    }
}

// What the typing and filling tests do not reach: the ranges themselves are checked there by clamping.
void TestProfileDialog::limits()
{
    Profile dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("個人情報入力"));
    QCOMPARE(dialog.size(), QSize(532, 423));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.sizePolicy(), QSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed));
    for (const char *name : {"year", "month", "day"}) {
        QCOMPARE(editor<QSpinBox>(&dialog, name)->maximumSize(), QSize(50, QWIDGETSIZE_MAX));
    }
    QCOMPARE(editor<QSpinBox>(&dialog, "year")->value(), 1980);
    auto *zipcode = editor<QLineEdit>(&dialog, "zipcode");
    QCOMPARE(zipcode->maximumSize(), QSize(55, QWIDGETSIZE_MAX));
    QCOMPARE(zipcode->sizePolicy(), QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed));
    QCOMPARE(editor<QLabel>(&dialog, "label_15")->sizePolicy(),
             QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed));
    QCOMPARE(editor<QLabel>(&dialog, "label_16")->sizePolicy(),
             QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed));
    QVERIFY(editor<QLineEdit>(&dialog, "prefE")->isReadOnly());
    QCOMPARE(editor<QDialogButtonBox>(&dialog, "buttonBox")->standardButtons(),
             QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
}

void TestProfileDialog::tabOrder()
{
    const QStringList expected =
        QStringLiteral("familyName lastName familyNameK lastNameK familyNameE lastNameE zipcode pref "
                       "prefE city cityE address1 address1E address2 address2E street building "
                       "buildingE telephone year month day mail userID password")
            .split(' ');
    Profile dialog;
    QStringList chain;
    QWidget *first = editor<QWidget>(&dialog, expected.first());
    QWidget *widget = first;
    do {
        if (expected.contains(widget->objectName())) {
            chain.append(widget->objectName());
        }
        widget = widget->nextInFocusChain();
    } while (widget != first);
    QCOMPARE(chain, expected);
}

void TestProfileDialog::fillSpinBox_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QVariant>("stored");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QVariant>("result");

    QTest::newRow("year read from file") << "year" << QVariant(1985.0) << 1985 << QVariant(1985);
    QTest::newRow("year below range") << "year" << QVariant(1800) << 1900 << QVariant(1900);
    QTest::newRow("year not a number") << "year" << QVariant("abc") << 1900 << QVariant(1900);
    QTest::newRow("year above range") << "year" << QVariant(12345) << 9999 << QVariant(9999);
    // Clamping onto the box's initial value changes nothing, so nothing is stored.
    QTest::newRow("year as initial") << "year" << QVariant(1980.0) << 1980 << QVariant(1980.0);
    QTest::newRow("day 0") << "day" << QVariant(0) << 1 << QVariant(0);
    QTest::newRow("month not a number") << "month" << QVariant("x") << 1 << QVariant("x");
    QTest::newRow("month 13") << "month" << QVariant(13) << 12 << QVariant(12);
    QTest::newRow("day 31") << "day" << QVariant(31.0) << 31 << QVariant(31);
}

void TestProfileDialog::fillSpinBox()
{
    QFETCH(QString, key);
    QFETCH(QVariant, stored);
    QFETCH(int, shown);
    QFETCH(QVariant, result);

    WorkDir dir;
    Values values{{key, stored}};
    Profile dialog;
    dialog.setProfileValues(&values);
    QCOMPARE(editor<QSpinBox>(&dialog, key)->value(), shown);
    const Values *edited = dialog.resultValues();
    QVERIFY(edited != &values);
    QCOMPARE(edited->value(key), result);
    QCOMPARE(edited->value(key).userType(), result.userType());
    QCOMPARE(edited->size(), 1);
    QCOMPARE(values.value(key), stored);
}

void TestProfileDialog::fillPrefecture_data()
{
    QTest::addColumn<QByteArray>("list"); // null: no file
    QTest::addColumn<Values>("stored");
    QTest::addColumn<QString>("current");
    QTest::addColumn<QString>("shownLatin");
    QTest::addColumn<Values>("result");

    const Values osaka{{"pref", "大阪府"}, {"prefE", "Tokyo"}};
    QTest::newRow("found") << threePrefectures << osaka << "大阪府"
                           << "Osaka" << Values{{"pref", "大阪府"}, {"prefE", "Osaka"}};
    const Values first{{"pref", "北海道"}, {"prefE", "Ezo"}};
    QTest::newRow("first item") << threePrefectures << first << "北海道"
                                << "Ezo" << first;
    QTest::newRow("not in list") << threePrefectures << Values{{"pref", "東京"}, {"prefE", "Tokyo"}} << ""
                                 << "" << Values{{"pref", ""}, {"prefE", ""}};
    QTest::newRow("none stored") << threePrefectures << Values{} << "北海道"
                                 << "" << Values{};
    const Values tokyo{{"pref", "東京都"}, {"prefE", "Tokyo"}};
    QTest::newRow("no list") << QByteArray() << tokyo << ""
                             << "Tokyo" << tokyo;
    QTest::newRow("empty list") << QByteArray("") << tokyo << ""
                                << "Tokyo" << tokyo;
}

void TestProfileDialog::fillPrefecture()
{
    QFETCH(QByteArray, list);
    QFETCH(Values, stored);
    QFETCH(QString, current);
    QFETCH(QString, shownLatin);
    QFETCH(Values, result);

    WorkDir dir;
    if (!list.isNull()) {
        dir.write("jp-prefectures.txt", list);
    }
    MessageLog log;
    Profile dialog;
    QCOMPARE(log.warnings().size(), list.isNull() ? 1 : 0);
    dialog.setProfileValues(&stored);
    QCOMPARE(editor<QComboBox>(&dialog, "pref")->currentText(), current);
    QCOMPARE(editor<QLineEdit>(&dialog, "prefE")->text(), shownLatin);
    QCOMPARE(*dialog.resultValues(), result);
}

void TestProfileDialog::choosePrefecture()
{
    WorkDir dir;
    dir.write("jp-prefectures.txt", threePrefectures);
    Values values{{"pref", "北海道"}, {"prefE", "Hokkaido"}};
    Profile dialog;
    dialog.setProfileValues(&values);
    MessageLog log;
    QTest::keyClick(editor<QComboBox>(&dialog, "pref"), Qt::Key_Down);
    QCOMPARE(editor<QLineEdit>(&dialog, "prefE")->text(), QStringLiteral("Tokyo"));
    QCOMPARE(*dialog.resultValues(), (Values{{"pref", "東京都"}, {"prefE", "Tokyo"}}));
    const QStringList lines = log.debugLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY2(lines.at(0).startsWith("pref: "), qPrintable(lines.at(0)));
    QVERIFY2(lines.at(1).startsWith("prefE: ") && lines.at(1).contains("Tokyo"), qPrintable(lines.at(1)));
    QCOMPARE(values.value("pref"), QVariant("北海道"));
}

void TestProfileDialog::lineEdit_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("prefix");

    const auto addRows = [](const QString &keys, const QString &prefix) {
        for (const QString &key : keys.split(' ')) {
            QTest::newRow(qPrintable(key)) << key << "x7 " + key << (prefix.isEmpty() ? key + ": " : prefix);
        }
    };
    addRows("familyName lastName familyNameK lastNameK familyNameE lastNameE city cityE building buildingE "
            "telephone mail userID password",
            QString());
    addRows("address1 address2 street", "address: ");
    addRows("address1E address2E", "addressE: ");
    QTest::newRow("emptied") << QStringLiteral("familyName") << QString() << QStringLiteral("familyName: ");
}

// Each editor stores its text under its own key as soon as the edit is finished, and only there.
void TestProfileDialog::lineEdit()
{
    QFETCH(QString, key);
    QFETCH(QString, typed);
    QFETCH(QString, prefix);

    WorkDir dir;
    Values values{{key, "before"}, {"memo", "kept"}};
    Profile dialog;
    dialog.setProfileValues(&values);
    MessageLog log;
    retype(editor<QLineEdit>(&dialog, key), typed);

    QCOMPARE(*dialog.resultValues(), (Values{{key, typed}, {"memo", "kept"}}));
    QCOMPARE(values.value(key), QVariant("before"));
    const QStringList lines = log.debugLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().startsWith(prefix), qPrintable(lines.first()));
    if (key == "password") {
        QVERIFY2(!lines.first().contains(typed), qPrintable(lines.first()));
    } else {
        QVERIFY2(lines.first().contains(typed), qPrintable(lines.first()));
    }
}

void TestProfileDialog::zipcode_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("result");

    // The last row is incomplete: the stored code stays.
    const char *const rows[][3] = {{"5300001", "530-0001", "530-0001"},
                                   {"a530b0001", "530-0001", "530-0001"},
                                   {"530000199", "530-0001", "530-0001"},
                                   {"53", "53-", "100-0001"}};
    for (const auto &row : rows) {
        QTest::newRow(row[0]) << row[0] << row[1] << row[2];
    }
}

void TestProfileDialog::zipcode()
{
    QFETCH(QString, typed);
    QFETCH(QString, shown);
    QFETCH(QString, result);

    WorkDir dir;
    Values values{{"zipcode", "100-0001"}};
    Profile dialog;
    dialog.setProfileValues(&values);
    auto *zipcode = editor<QLineEdit>(&dialog, "zipcode");
    QCOMPARE(zipcode->text(), QStringLiteral("100-0001"));
    retype(zipcode, typed);
    QCOMPARE(zipcode->text(), shown);
    QCOMPARE(dialog.resultValues()->value("zipcode"), QVariant(result));
}

void TestProfileDialog::closing_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<bool>("taken");

    QTest::newRow("OK button") << "ok" << true;
    QTest::newRow("Return") << "return" << true;
    QTest::newRow("Cancel button") << "cancel" << false;
    QTest::newRow("Escape") << "escape" << true;
    QTest::newRow("close button") << "close" << true;
}

// The whole round from the menu entry: the demo profile is shown, the city is changed, and the way
// the dialog is closed decides whether the window's values and profile.json change.
void TestProfileDialog::closing()
{
    QFETCH(QString, how);
    QFETCH(bool, taken);

    WorkDir dir;
    dir.copyDemoFile("profile.json");
    dir.copyDemoFile("jp-prefectures.txt");
    const QByteArray before = dir.read("profile.json");
    MainWindow window;

    bool seen = false;
    onNextProfile([&](Profile *dialog) {
        seen = true;
        QCOMPARE(editor<QLineEdit>(dialog, "familyName")->text(), QStringLiteral("山田"));
        QCOMPARE(editor<QComboBox>(dialog, "pref")->count(), 47);
        QCOMPARE(editor<QComboBox>(dialog, "pref")->currentText(), QStringLiteral("東京都"));
        QCOMPARE(editor<QLineEdit>(dialog, "prefE")->text(), QStringLiteral("Tokyo"));

        auto *city = editor<QLineEdit>(dialog, "city");
        city->setFocus();
        city->selectAll();
        type(city, QStringLiteral("港区"));
        auto *buttons = editor<QDialogButtonBox>(dialog, "buttonBox");
        if (how == "ok") {
            QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        } else if (how == "return") {
            QTest::keyClick(city, Qt::Key_Return);
        } else if (how == "cancel") {
            QTest::mouseClick(buttons->button(QDialogButtonBox::Cancel), Qt::LeftButton);
        } else {
            QTest::keyClick(city, Qt::Key_Tab);
            if (how == "escape") {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            } else {
                dialog->close();
            }
        }
        QVERIFY(!dialog->isVisible());
    });
    window.findChild<QAction *>("actionProfile")->trigger();
    QVERIFY(seen);

    const QString city = taken ? QStringLiteral("港区") : QStringLiteral("千代田区");
    QCOMPARE(window.document().values().value("city"), QVariant(city));
    QCOMPARE(window.document().values().value("familyName"), QVariant("山田"));
    QStringList menu;
    const auto entries = FieldMenu::entries("city", window.document(), 0);
    for (const FieldMenu::Entry &entry : entries) {
        menu.append(entry.text);
    }
    QVERIFY2(menu.contains("市区町村: " + city), qPrintable(menu.join(", ")));
    if (taken) {
        QCOMPARE(savedProfile(dir).value("city").toString(), city);
        QCOMPARE(savedProfile(dir).size(), 25);
    } else {
        QCOMPARE(dir.read("profile.json"), before);
    }
}

// Opening and pressing OK rewrites the file with what filling corrected, and keeps what it did not
// touch, including values that have no editor or are named like a widget that is not one.
void TestProfileDialog::okSavesCorrections()
{
    WorkDir dir;
    dir.copyDemoFile("jp-prefectures.txt");
    dir.write("profile.json", R"({"profile": {"year": 1800, "day": 0, "month": "x", "pref": "大阪府",
                                 "prefE": "Tokyo", "memo": "手書き", "label": [1, "a"], "buttonBox": null},
                                 "startPage": ""})");
    MainWindow window;
    onNextProfile([](Profile *dialog) {
        auto *buttons = editor<QDialogButtonBox>(dialog, "buttonBox");
        QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
    });
    window.findChild<QAction *>("actionProfile")->trigger();

    const QJsonObject saved = savedProfile(dir);
    QCOMPARE(saved.value("year").toInt(), 1900);
    QCOMPARE(saved.value("day").toInt(), 0);
    QCOMPARE(saved.value("month").toString(), QStringLiteral("x"));
    QCOMPARE(saved.value("pref").toString(), QStringLiteral("大阪府"));
    QCOMPARE(saved.value("prefE").toString(), QStringLiteral("Osaka"));
    QCOMPARE(saved.value("memo").toString(), QStringLiteral("手書き"));
    QCOMPARE(saved.value("label").toArray(), (QJsonArray{1, "a"}));
    QVERIFY(saved.value("buttonBox").isNull());
    QCOMPARE(saved.size(), 8);
    QCOMPARE(window.document().values().value("prefE"), QVariant("Osaka"));
}

QTEST_MAIN(TestProfileDialog)
#include "TestProfileDialog.moc"

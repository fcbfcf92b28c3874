#include "app/mainwindow.h"
#include "fill/fieldmenu.h"
#include "profile/profile.h"
#include "store/profiledocument.h"
#include "testsupport.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QInputMethodEvent>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTest>
#include <QTimer>
#include <QToolButton>

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
    {"birthEra", "QLabel", 15, 11, 1, 1, "昭和55年", defaultAlignment}, // the era of the boxes' 1980-01-01
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
    void wholeValueShown_data();
    void wholeValueShown();
    void tabOrder();
    void fillSpinBox_data();
    void fillSpinBox();
    void fillPrefecture_data();
    void fillPrefecture();
    void choosePrefecture();
    void birthEra_data();
    void birthEra();
    void lineEdit_data();
    void lineEdit();
    void passwordHidden();
    void zipcode_data();
    void zipcode();
    void closing_data();
    void closing();
    void okSavesCorrections();
    void people();
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
    // Their widths follow the font (wholeValueShown); their heights are free.
    for (const char *name : {"year", "month", "day"}) {
        QCOMPARE(editor<QSpinBox>(&dialog, name)->maximumHeight(), QWIDGETSIZE_MAX);
    }
    QCOMPARE(editor<QSpinBox>(&dialog, "year")->value(), 1980);
    auto *zipcode = editor<QLineEdit>(&dialog, "zipcode");
    QCOMPARE(zipcode->maximumHeight(), QWIDGETSIZE_MAX);
    QCOMPARE(zipcode->sizePolicy(), QSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed));
    QCOMPARE(editor<QLabel>(&dialog, "label_15")->sizePolicy(),
             QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed));
    QCOMPARE(editor<QLabel>(&dialog, "label_16")->sizePolicy(),
             QSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed));
    QVERIFY(editor<QLineEdit>(&dialog, "prefE")->isReadOnly());
    QCOMPARE(editor<QDialogButtonBox>(&dialog, "buttonBox")->standardButtons(),
             QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
}

void TestProfileDialog::wholeValueShown_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<bool>("whileOpen"); // the font changes while the dialog is open
    for (const char *name : {"zipcode", "year", "month", "day"}) {
        QTest::addRow("%s at 1x font", name) << QString(name) << 1.0 << false;
        QTest::addRow("%s at 1.5x font", name) << QString(name) << 1.5 << false;
        QTest::addRow("%s at 1.5x font while open", name) << QString(name) << 1.5 << true;
    }
}

// Every value an editor can hold fits between the margins of its text area at the size the fixed
// grid gives it, so none is scrolled or cut off, whatever the desktop's font size.
void TestProfileDialog::wholeValueShown()
{
    QFETCH(QString, name);
    QFETCH(qreal, scale);
    QFETCH(bool, whileOpen);

    const QFont original = QApplication::font();
    QFont font = original;
    font.setPointSizeF(original.pointSizeF() * scale);
    const auto restore = qScopeGuard([&] { QApplication::setFont(original); });
    if (!whileOpen) {
        QApplication::setFont(font);
    }
    Profile dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    if (whileOpen) {
        dialog.setFont(font);
        dialog.layout()->activate();
    }
    QCOMPARE(dialog.size(), QSize(532, 423));

    QStringList values;
    QLineEdit *edit = nullptr;
    if (auto *box = qobject_cast<QSpinBox *>(editor<QWidget>(&dialog, name))) {
        for (int v = box->minimum(); v <= box->maximum(); ++v) {
            values.append(QString::number(v));
        }
        edit = box->findChild<QLineEdit *>(); // the text area between the box's frame and its buttons
    } else {
        for (char digit = '0'; digit <= '9'; ++digit) {
            values.append(QString(3, digit) + '-' + QString(4, digit));
        }
        edit = editor<QLineEdit>(&dialog, name);
    }
    QCOMPARE(edit->font().pointSizeF(), font.pointSizeF());
    const QFontMetrics metrics(edit->font());
    int widest = 0;
    for (const QString &value : values) {
        widest = qMax(widest, metrics.horizontalAdvance(value));
    }
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth =
        edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
    // A line edit scrolls its text once the text and the cursor after it no longer fit between its
    // two-pixel margins.
    const int needed = widest + 2 + 2 * 2;
    QVERIFY2(needed <= contents.width(),
             qPrintable(QStringLiteral("needs %1, has %2").arg(needed).arg(contents.width())));
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
    // null: a folder in the list's place, so that the list in the current directory is the one
    // used and cannot be read
    QTest::addColumn<QByteArray>("list");
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
    QTest::newRow("unreadable list") << QByteArray() << tokyo << ""
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
    if (list.isNull()) {
        QVERIFY(QDir(dir.path()).mkdir("jp-prefectures.txt"));
    } else {
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

void TestProfileDialog::birthEra_data()
{
    QTest::addColumn<Values>("stored");
    QTest::addColumn<QString>("stepped"); // the box the user then steps up once, if any
    QTest::addColumn<QString>("era");

    const auto date = [](int year, int month, int day) {
        return Values{{"year", year}, {"month", month}, {"day", day}};
    };
    QTest::newRow("nothing stored") << Values{} << ""
                                    << "昭和55年";
    QTest::newRow("last day of 昭和") << date(1989, 1, 7) << ""
                                      << "昭和64年";
    QTest::newRow("first day of 平成") << date(1989, 1, 8) << ""
                                       << "平成元年";
    QTest::newRow("last day of 平成") << date(2019, 4, 30) << ""
                                      << "平成31年";
    QTest::newRow("first day of 令和") << date(2019, 5, 1) << ""
                                       << "令和元年";
    QTest::newRow("earliest year") << date(1800, 1, 1) << ""
                                   << "明治33年";
    QTest::newRow("day into 平成") << date(1989, 1, 7) << "day"
                                   << "平成元年";
    QTest::newRow("month into 令和") << date(2019, 4, 1) << "month"
                                     << "令和元年";
    QTest::newRow("year into 平成") << date(1988, 1, 8) << "year"
                                    << "平成元年";
    QTest::newRow("30 February") << date(2019, 2, 30) << ""
                                 << "";
    QTest::newRow("29 February 1989") << date(1989, 2, 29) << ""
                                      << "";
    QTest::newRow("29 February 2000") << date(2000, 2, 29) << ""
                                      << "平成12年";
    QTest::newRow("out of 31 February") << date(2019, 2, 31) << "month"
                                        << "平成31年";
    QTest::newRow("into 31 April") << date(2019, 3, 31) << "month"
                                   << "";
}

// The era follows the three boxes as they are filled and stepped, and is never stored.
void TestProfileDialog::birthEra()
{
    QFETCH(Values, stored);
    QFETCH(QString, stepped);
    QFETCH(QString, era);

    WorkDir dir;
    Profile dialog;
    dialog.setProfileValues(&stored);
    if (!stepped.isEmpty()) {
        QTest::keyClick(editor<QSpinBox>(&dialog, stepped), Qt::Key_Up);
    }
    QCOMPARE(editor<QLabel>(&dialog, "birthEra")->text(), era);
    QStringList keys = dialog.resultValues()->keys();
    keys.removeAll("year");
    keys.removeAll("month");
    keys.removeAll("day");
    QVERIFY2(keys.isEmpty(), qPrintable(keys.join(' ')));
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

// The password shows as dots until the eye inside the field is pressed, and again when it is
// pressed once more. Pressing it neither stores nor finishes an edit; typing while shown stores as ever.
void TestProfileDialog::passwordHidden()
{
    WorkDir dir;
    Values values{{"password", "s3cret"}};
    Profile dialog;
    dialog.setProfileValues(&values);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    auto *password = editor<QLineEdit>(&dialog, "password");
    password->setFocus();
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QVERIFY(!password->displayText().contains("s3cret"));
    auto *eye = password->findChild<QToolButton *>();
    QVERIFY(eye && eye->isVisible());
    QVERIFY(password->rect().contains(eye->geometry()));
    QVERIFY(!eye->icon().isNull());
    QCOMPARE(eye->toolTip(), QStringLiteral("パスワードを表示"));

    MessageLog log;
    QTest::mouseClick(eye, Qt::LeftButton);
    QCOMPARE(password->echoMode(), QLineEdit::Normal);
    QCOMPARE(password->displayText(), QStringLiteral("s3cret"));
    QCOMPARE(eye->toolTip(), QStringLiteral("パスワードを隠す"));
    QCOMPARE(QApplication::focusWidget(), password);
    QVERIFY(log.debugLines().isEmpty());
    QCOMPARE(*dialog.resultValues(), values);

    // Tab rather than Return, which would also press OK in a shown dialog.
    password->selectAll();
    type(password, QStringLiteral("n3w"));
    QTest::keyClick(password, Qt::Key_Tab);
    QCOMPARE(dialog.resultValues()->value("password"), QVariant("n3w"));
    QCOMPARE(log.debugLines().size(), 1);
    QTest::mouseClick(eye, Qt::LeftButton);
    QCOMPARE(password->echoMode(), QLineEdit::Password);
    QCOMPARE(password->text(), QStringLiteral("n3w"));
    QCOMPARE(dialog.resultValues()->value("password"), QVariant("n3w"));
    QCOMPARE(log.debugLines().size(), 1);
    QCOMPARE(values.value("password"), QVariant("s3cret"));
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

// The people beside the user's values, through the menu entry as the user meets them: switching
// shows each one's own values, Cancel forgets additions, changes and removals alike, OK saves them, and
// a profile without people gets back exactly the file it had however people came and went.
void TestProfileDialog::people()
{
    WorkDir dir;
    dir.copyDemoFile("jp-prefectures.txt");
    dir.copyDemoFile("profile.json");
    const auto openProfile = [](MainWindow &window, std::function<void(Profile *)> action) {
        bool seen = false;
        onNextProfile([&](Profile *dialog) {
            seen = true;
            action(dialog);
        });
        window.findChild<QAction *>("actionProfile")->trigger();
        QVERIFY(seen);
    };
    const auto click = [](Profile *dialog, const QByteArray &button) {
        auto *buttons = editor<QDialogButtonBox>(dialog, "buttonBox");
        QPushButton *pushed = button == "ok"       ? buttons->button(QDialogButtonBox::Ok)
                              : button == "cancel" ? buttons->button(QDialogButtonBox::Cancel)
                                                   : editor<QPushButton>(dialog, button);
        QTest::mouseClick(pushed, Qt::LeftButton);
    };
    const auto listed = [](Profile *dialog) {
        auto *list = editor<QListWidget>(dialog, "personList");
        QStringList texts;
        for (int i = 0; i < list->count(); ++i) {
            texts.append(list->item(i)->text());
        }
        return texts;
    };
    const auto person = [](const char *relation, const QJsonArray &roles, bool livesWithUser,
                           const QJsonObject &profile) {
        return QJsonObject{
            {"relation", relation}, {"roles", roles}, {"livesWithUser", livesWithUser}, {"profile", profile}};
    };

    // Without people: the dialog of old with only the button to add one; people who came and went,
    // or were left blank, leave the file exactly as OK alone writes it.
    QByteArray okAlone;
    {
        MainWindow window;
        openProfile(window, [&](Profile *dialog) {
            QVERIFY(editor<QWidget>(dialog, "peoplePanel")->isHidden());
            QCOMPARE(dialog->size(), QSize(532, 423));
            click(dialog, "ok");
        });
        okAlone = dir.read("profile.json");
        openProfile(window, [&](Profile *dialog) {
            click(dialog, "addPerson");
            QVERIFY(editor<QWidget>(dialog, "peoplePanel")->isVisible());
            QVERIFY(dialog->width() > 532);
            click(dialog, "addPerson");
            retype(editor<QLineEdit>(dialog, "familyName"), "渡辺");
            QCOMPARE(listed(dialog), QStringList({"本人", "新しい人", "渡辺"}));
            click(dialog, "removePerson");
            QCOMPARE(editor<QLineEdit>(dialog, "familyName")->text(), QStringLiteral("山田"));
            click(dialog, "ok");
        });
    }
    QCOMPARE(dir.read("profile.json"), okAlone);

    QJsonObject document = QJsonDocument::fromJson(okAlone).object();
    document.insert(
        "people",
        QJsonArray{person("夫", {}, true, {{"familyName", "渡辺"}, {"lastName", "健"}, {"year", 1986}}),
                   person("母", {"緊急連絡先", "世帯主"}, false,
                          {{"familyName", "佐藤"}, {"lastName", "和子"}, {"pref", "大阪府"}}),
                   person("子", {}, false, {{"familyName", "渡辺"}, {"lastName", "翔"}})});
    const QByteArray withPeople = QJsonDocument(document).toJson();
    dir.write("profile.json", withPeople);
    MainWindow window;

    // Each one's own values and details; Cancel throws away the edits to all of them.
    openProfile(window, [&](Profile *dialog) {
        QCOMPARE(listed(dialog), QStringList({"本人", "夫 渡辺 健", "母 佐藤 和子", "子 渡辺 翔"}));
        QVERIFY(!editor<QWidget>(dialog, "personDetails")->isEnabled());
        auto *list = editor<QListWidget>(dialog, "personList");
        list->setCurrentRow(1);
        QCOMPARE(editor<QLineEdit>(dialog, "familyName")->text(), QStringLiteral("渡辺"));
        QCOMPARE(editor<QLineEdit>(dialog, "city")->text(), QString());
        QCOMPARE(editor<QLabel>(dialog, "birthEra")->text(), QStringLiteral("昭和61年"));
        QCOMPARE(editor<QComboBox>(dialog, "personRelation")->currentText(), QStringLiteral("夫"));
        QVERIFY(editor<QCheckBox>(dialog, "personLivesWithUser")->isChecked());
        QVERIFY(!editor<QCheckBox>(dialog, "personEmergencyContact")->isChecked());
        QVERIFY(!editor<QLineEdit>(dialog, "password")->isEnabled());

        list->setCurrentRow(2);
        QCOMPARE(editor<QComboBox>(dialog, "pref")->currentText(), QStringLiteral("大阪府"));
        QCOMPARE(editor<QSpinBox>(dialog, "year")->value(), 1980); // no date of her own
        QVERIFY(editor<QCheckBox>(dialog, "personEmergencyContact")->isChecked());
        QVERIFY(!editor<QCheckBox>(dialog, "personLivesWithUser")->isChecked());
        retype(editor<QLineEdit>(dialog, "city"), "堺市");
        click(dialog, "removePerson");
        click(dialog, "addPerson");
        click(dialog, "cancel");
    });
    QCOMPARE(dir.read("profile.json"), withPeople);

    // OK keeps them: an edited person, an added one, a removed one, and the user's values untouched.
    openProfile(window, [&](Profile *dialog) {
        auto *list = editor<QListWidget>(dialog, "personList");
        list->setCurrentRow(1);
        retype(editor<QLineEdit>(dialog, "lastName"), "健太");
        editor<QCheckBox>(dialog, "personGuarantor")->click();
        list->setCurrentRow(2);
        editor<QCheckBox>(dialog, "personEmergencyContact")->click();
        editor<QCheckBox>(dialog, "personLivesWithUser")->click();
        list->setCurrentRow(3);
        click(dialog, "removePerson");
        click(dialog, "addPerson");
        editor<QComboBox>(dialog, "personRelation")->setCurrentText("長女");
        retype(editor<QLineEdit>(dialog, "familyName"), "渡辺");
        retype(editor<QLineEdit>(dialog, "lastName"), "さくら");
        editor<QSpinBox>(dialog, "year")->setValue(2015);
        QCOMPARE(listed(dialog), QStringList({"本人", "夫 渡辺 健太", "母 佐藤 和子", "長女 渡辺 さくら"}));
        list->setCurrentRow(0);
        QCOMPARE(editor<QLineEdit>(dialog, "familyName")->text(), QStringLiteral("山田"));
        QCOMPARE(editor<QSpinBox>(dialog, "year")->value(), 1985);
        click(dialog, "ok");
    });
    const QJsonObject saved = savedDocument(dir);
    QCOMPARE(saved.value("profile"), document.value("profile"));
    // Showing her changed nothing; the role the dialog does not offer stays.
    QCOMPARE(
        saved.value("people").toArray(),
        QJsonArray(
            {person("夫", {"保証人"}, true, {{"familyName", "渡辺"}, {"lastName", "健太"}, {"year", 1986}}),
             person("母", {"世帯主"}, true,
                    {{"familyName", "佐藤"}, {"lastName", "和子"}, {"pref", "大阪府"}}),
             person("長女", {}, false, {{"familyName", "渡辺"}, {"lastName", "さくら"}, {"year", 2015}})}));
    QCOMPARE(window.document().people().size(), 3);
}

QTEST_MAIN(TestProfileDialog)
#include "TestProfileDialog.moc"

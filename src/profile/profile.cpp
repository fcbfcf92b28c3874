#include "profile/profile.h"

#include "logging.h"
#include "profile/prefecturelist.h"
#include "ui_profile.h"

#include <QComboBox>
#include <QDebug>
#include <QFile>
#include <QLineEdit>
#include <QSpinBox>

Profile::Profile(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_Profile)
{
    ui->setupUi(this);
    loadPrefectures();
    // Adding the first prefecture made it current; only from here on is a change the user's choice.
    ready = true;
}

Profile::~Profile()
{
    delete ui;
}

void Profile::setProfileValues(QHash<QString, QVariant> *values)
{
    sourceValues = values;
    ownedValues = std::make_unique<QHash<QString, QVariant>>(values ? *values : QHash<QString, QVariant>());
    editedValues = ownedValues.get();
    fillWidgets();
}

void Profile::loadPrefectures()
{
    ui->pref->clear();
    QFile file(PrefectureList::filePath());
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcProfile) << "loadPrefectures: cannot open" << file.errorString() << file.fileName();
        return;
    }
    const QVector<Prefecture> prefectures = PrefectureList::parse(file);
    for (const Prefecture &prefecture : prefectures) {
        ui->pref->addItem(prefecture.name, prefecture.latinName);
    }
}

// Shows each stored value in the editor named like its key. Spin boxes clamp and the prefecture box
// may change its current item: their slots then store the corrected value, which is why a key is
// read only when its turn comes.
void Profile::fillWidgets()
{
    const QStringList keys = editedValues->keys();
    for (const QString &key : keys) {
        QWidget *editor = findChild<QWidget *>(key);
        if (!editor) {
            continue;
        }
        const QVariant value = editedValues->value(key);
        if (auto *lineEdit = qobject_cast<QLineEdit *>(editor)) {
            lineEdit->setText(value.toString());
        } else if (auto *spinBox = qobject_cast<QSpinBox *>(editor)) {
            spinBox->setValue(value.toInt());
        } else if (auto *comboBox = qobject_cast<QComboBox *>(editor)) {
            comboBox->setCurrentIndex(comboBox->findText(value.toString()));
        }
    }
}

// Stores into the dialog's own copy only: after Cancel the dialog points at the caller's map, which
// a late signal must not change.
bool Profile::store(const QString &key, const QVariant &value)
{
    if (!editedValues || editedValues != ownedValues.get()) {
        return false;
    }
    editedValues->insert(key, value);
    return true;
}

void Profile::storeNumber(const QString &key, int value, const char *prefix)
{
    if (store(key, value)) {
        qCDebug(lcProfile) << prefix << editedValues->value(key);
    }
}

void Profile::storeText(const QLineEdit *editor, const QString &key, const char *prefix)
{
    if (store(key, editor->text())) {
        qCDebug(lcProfile) << prefix << editedValues->value(key);
    }
}

void Profile::on_buttonBox_accepted()
{
    qCDebug(lcProfile) << "on_buttonBox_accepted";
}

void Profile::on_buttonBox_rejected()
{
    qCDebug(lcProfile) << "on_buttonBox_rejected";
    ownedValues.reset();
    editedValues = sourceValues;
}

void Profile::on_year_valueChanged(int v)
{
    storeNumber(QStringLiteral("year"), v, "year: ");
}

void Profile::on_month_valueChanged(int v)
{
    storeNumber(QStringLiteral("month"), v, "month: ");
}

void Profile::on_day_valueChanged(int v)
{
    storeNumber(QStringLiteral("day"), v, "day: ");
}

void Profile::on_familyName_editingFinished()
{
    storeText(ui->familyName, QStringLiteral("familyName"), "familyName: ");
}

void Profile::on_lastName_editingFinished()
{
    storeText(ui->lastName, QStringLiteral("lastName"), "lastName: ");
}

void Profile::on_familyNameK_editingFinished()
{
    storeText(ui->familyNameK, QStringLiteral("familyNameK"), "familyNameK: ");
}

void Profile::on_lastNameK_editingFinished()
{
    storeText(ui->lastNameK, QStringLiteral("lastNameK"), "lastNameK: ");
}

void Profile::on_familyNameE_editingFinished()
{
    storeText(ui->familyNameE, QStringLiteral("familyNameE"), "familyNameE: ");
}

void Profile::on_lastNameE_editingFinished()
{
    storeText(ui->lastNameE, QStringLiteral("lastNameE"), "lastNameE: ");
}

// The mask lets this signal through only for a complete code, so a partial one is never stored.
void Profile::on_zipcode_editingFinished()
{
    storeText(ui->zipcode, QStringLiteral("zipcode"), "zipcode: ");
}

// Both names of the prefecture are stored together so that they always belong to the same entry.
void Profile::on_pref_currentIndexChanged(const QString &v)
{
    if (!ready) {
        return;
    }
    const bool stored = store(QStringLiteral("pref"), v);
    ui->prefE->setText(ui->pref->currentData().toString());
    if (!stored || !store(QStringLiteral("prefE"), ui->prefE->text())) {
        return;
    }
    qCDebug(lcProfile) << "pref: " << editedValues->value(QStringLiteral("pref"));
    qCDebug(lcProfile) << "prefE: " << editedValues->value(QStringLiteral("prefE"));
}

void Profile::on_city_editingFinished()
{
    storeText(ui->city, QStringLiteral("city"), "city: ");
}

void Profile::on_cityE_editingFinished()
{
    storeText(ui->cityE, QStringLiteral("cityE"), "cityE: ");
}

void Profile::on_address1_editingFinished()
{
    storeText(ui->address1, QStringLiteral("address1"), "address: ");
}

void Profile::on_address1E_editingFinished()
{
    storeText(ui->address1E, QStringLiteral("address1E"), "addressE: ");
}

void Profile::on_address2_editingFinished()
{
    storeText(ui->address2, QStringLiteral("address2"), "address: ");
}

void Profile::on_address2E_editingFinished()
{
    storeText(ui->address2E, QStringLiteral("address2E"), "addressE: ");
}

void Profile::on_street_editingFinished()
{
    storeText(ui->street, QStringLiteral("street"), "address: ");
}

void Profile::on_building_editingFinished()
{
    storeText(ui->building, QStringLiteral("building"), "building: ");
}

void Profile::on_buildingE_editingFinished()
{
    storeText(ui->buildingE, QStringLiteral("buildingE"), "buildingE: ");
}

void Profile::on_telephone_editingFinished()
{
    storeText(ui->telephone, QStringLiteral("telephone"), "telephone: ");
}

void Profile::on_mail_editingFinished()
{
    storeText(ui->mail, QStringLiteral("mail"), "mail: ");
}

void Profile::on_userID_editingFinished()
{
    storeText(ui->userID, QStringLiteral("userID"), "userID: ");
}

// The password is stored like every other value but never written to the log.
void Profile::on_password_editingFinished()
{
    const QString key = QStringLiteral("password");
    if (store(key, ui->password->text())) {
        const QString masked = ui->password->text().isEmpty() ? QString() : QStringLiteral("********");
        qCDebug(lcProfile) << "password: " << masked;
    }
}

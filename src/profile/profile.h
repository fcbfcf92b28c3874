#pragma once

#include "store/household.h"

#include <QDialog>
#include <QHash>
#include <QSet>
#include <QString>
#include <QVariant>
#include <QVector>

#include <memory>

class QCheckBox;
class PostalCodes;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class Ui_Profile;

// The 個人情報入力 dialog. It edits a copy of the caller's personal values, storing each edit in the
// copy as soon as it is finished; the caller takes the copy over unless the dialog was cancelled.
// It edits the people the user fills forms for the same way: the list beside the fields switches
// them between 本人 and each person; it shows only once there is a person.
class Profile : public QDialog
{
    Q_OBJECT

public:
    explicit Profile(QWidget *parent = nullptr);
    ~Profile() override;

    // Copies the caller's values and shows them in the editors. Call once, before exec().
    void setProfileValues(QHash<QString, QVariant> *values);

    // Keys whose values the log never shows, besides the password, which it never does.
    void setSecretKeys(const QSet<QString> &keys);

    // Copies the people to edit beside the user's values. Call once, before exec().
    void setPeople(const QVector<Person> &people);

    // The values to take over, or the caller's own map after Cancel: nothing to take over then.
    QHash<QString, QVariant> *resultValues() const { return editedValues; }
    // The people as edited, without those left entirely blank; take them only with resultValues().
    QVector<Person> resultPeople() const;

    // The postal-code dictionary a complete code is looked up in; by default the one Debian
    // installs, read when the first code is entered.
    void setPostalCodes(const PostalCodes *codes) { postalCodes = codes; }

private slots:
    void on_buttonBox_accepted();
    void on_buttonBox_rejected();
    void on_year_valueChanged(int v);
    void on_month_valueChanged(int v);
    void on_day_valueChanged(int v);
    void on_familyName_editingFinished();
    void on_lastName_editingFinished();
    void on_familyNameK_editingFinished();
    void on_lastNameK_editingFinished();
    void on_familyNameE_editingFinished();
    void on_lastNameE_editingFinished();
    void on_zipcode_editingFinished();
    void on_pref_currentIndexChanged(const QString &v);
    void on_city_editingFinished();
    void on_cityE_editingFinished();
    void on_address1_editingFinished();
    void on_address1E_editingFinished();
    void on_address2_editingFinished();
    void on_address2E_editingFinished();
    void on_street_editingFinished();
    void on_building_editingFinished();
    void on_buildingE_editingFinished();
    void on_telephone_editingFinished();
    void on_mail_editingFinished();
    void on_userID_editingFinished();
    void on_password_editingFinished();

protected:
    void changeEvent(QEvent *event) override;

private:
    void fitEditorsToFont();
    void fitPeoplePanel();
    void showPeoplePanel();
    QString personText(int person) const;
    void addPerson();
    void removePerson();
    void showPerson(int person);
    void showPersonDetails();
    void setRole(const QString &role, bool on);
    void clearWidgets();
    // The values the fields show: the user's, or the chosen person's.
    QHash<QString, QVariant> *shownValues() const;
    void showBirthEra();
    void addPasswordToggle();
    void loadPrefectures();
    void fillWidgets();
    bool store(const QString &key, const QVariant &value);
    void storeNumber(const QString &key, int value, const char *prefix);
    void storeText(const QLineEdit *editor, const QString &key, const char *prefix);
    void addPostalAddress();
    void fillFromPostalCode();
    void setAddressPart(const QString &key, const QString &text);

    Ui_Profile *ui;
    // Points at ownedValues while the dialog edits, at the caller's map after Cancel.
    QHash<QString, QVariant> *editedValues = nullptr;
    QHash<QString, QVariant> *sourceValues = nullptr;
    std::unique_ptr<QHash<QString, QVariant>> ownedValues;
    bool ready = false;
    QSet<QString> secretKeys{QStringLiteral("password")};
    QVector<Person> people;
    // The person the fields show; -1 for the user.
    int shownPerson = -1;
    // Set while the fields change to another person's values: nothing they signal is an edit.
    bool switching = false;
    // Set while the fields show the values of the one switched to.
    bool refilling = false;
    QPushButton *addPersonButton = nullptr;
    // The size the dialog has without the people beside the fields.
    QSize ownSize;
    // What the birth date boxes show for nobody's date.
    int noBirth[3] = {};
    const PostalCodes *postalCodes = nullptr;
    // 住所を反映: puts in the parts of the code's address that differ from those entered.
    QPushButton *applyAddress = nullptr;
    QLabel *postalNote = nullptr;
    QHash<QString, QString> differingAddress;
};

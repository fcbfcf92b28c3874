#include "profile/profile.h"

#include "logging.h"
#include "text/japaneseera.h"
#include "text/postalcodes.h"
#include "text/prefecturelist.h"
#include "ui_profile.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDebug>
#include <QDialogButtonBox>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QIconEngine>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QStyleOptionSpinBox>

#include <algorithm>
#include <utility>

namespace {

const QString emergencyContactRole = QStringLiteral("緊急連絡先");
const QString guarantorRole = QStringLiteral("保証人");

// A line edit keeps this much room between its contents rectangle and the text on either side.
constexpr int lineEditTextMargin = 2;

// What the text needs to show whole in a line edit: its width with every digit as wide as the
// font's widest, the margins, and the cursor with the pixel a line edit keeps before it.
int textRoom(const QWidget *editor, QString pattern)
{
    const QFontMetrics metrics = editor->fontMetrics();
    QChar widestDigit = QLatin1Char('0');
    for (char digit = '1'; digit <= '9'; ++digit) {
        if (metrics.horizontalAdvance(QLatin1Char(digit)) > metrics.horizontalAdvance(widestDigit)) {
            widestDigit = QLatin1Char(digit);
        }
    }
    for (QChar &c : pattern) {
        if (c.isDigit()) {
            c = widestDigit;
        }
    }
    const int cursor = editor->style()->pixelMetric(QStyle::PM_TextCursorWidth, nullptr, editor);
    return metrics.horizontalAdvance(pattern) + 2 * lineEditTextMargin + cursor + 1;
}

// The smallest outer width whose text area, as the style lays it out, holds room pixels. Styles add
// a fixed frame and buttons, so one correction usually suffices; the loop only guards odd styles.
template <typename TextWidth> int outerWidthFor(int room, TextWidth textWidth)
{
    int width = room;
    for (int i = 0; i < 8; ++i) {
        const int shortfall = room - textWidth(width);
        if (shortfall <= 0) {
            break;
        }
        width += shortfall;
    }
    return width;
}

int fittingWidth(const QLineEdit *edit, const QString &pattern)
{
    QStyleOptionFrame option;
    option.initFrom(edit);
    option.lineWidth =
        edit->hasFrame() ? edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &option, edit) : 0;
    option.midLineWidth = 0;
    option.state |= QStyle::State_Sunken;
    const QMargins margins = edit->textMargins();
    return outerWidthFor(textRoom(edit, pattern), [&](int width) {
        option.rect = QRect(0, 0, width, edit->height());
        const QRect contents = edit->style()->subElementRect(QStyle::SE_LineEditContents, &option, edit);
        return contents.width() - margins.left() - margins.right();
    });
}

int fittingWidth(const QSpinBox *box)
{
    const QString widest =
        QString::number(box->maximum()).length() >= QString::number(box->minimum()).length()
            ? QString::number(box->maximum())
            : QString::number(box->minimum());
    QStyleOptionSpinBox option;
    option.initFrom(box);
    option.buttonSymbols = box->buttonSymbols();
    option.frame = box->hasFrame();
    option.subControls = QStyle::SC_SpinBoxFrame | QStyle::SC_SpinBoxEditField;
    if (box->buttonSymbols() != QAbstractSpinBox::NoButtons) {
        option.subControls |= QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown;
    }
    option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    return outerWidthFor(textRoom(box, box->prefix() + widest + box->suffix()), [&](int width) {
        option.rect = QRect(0, 0, width, box->height());
        return box->style()
            ->subControlRect(QStyle::CC_SpinBox, &option, QStyle::SC_SpinBoxEditField, box)
            .width();
    });
}

// An eye, struck through for "hide", drawn at whatever size and pixel density is asked for: the
// fallback for icon themes without one (and for no theme at all).
class EyeIconEngine : public QIconEngine
{
public:
    explicit EyeIconEngine(bool struck)
        : struck(struck)
    {
    }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State) override
    {
        const QPalette palette = QGuiApplication::palette();
        const QColor ink =
            palette.color(mode == QIcon::Disabled ? QPalette::Disabled : QPalette::Active, QPalette::Text);
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        // Drawn on a 16-unit grid centred on the rectangle.
        painter->translate(QRectF(rect).center());
        const qreal scale = qMin(rect.width(), rect.height()) / 16.0;
        painter->scale(scale, scale);
        QPen pen(ink, 1.4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
        painter->setPen(pen);
        QPainterPath outline;
        outline.moveTo(-7, 0);
        outline.quadTo(0, -9, 7, 0);
        outline.quadTo(0, 9, -7, 0);
        painter->drawPath(outline);
        painter->setBrush(ink);
        painter->drawEllipse(QPointF(0, 0), 2.4, 2.4);
        if (struck) {
            // A gap in the base colour keeps the stroke apart from the eye.
            painter->setPen(QPen(palette.color(QPalette::Base), 3.4, Qt::SolidLine, Qt::RoundCap));
            painter->drawLine(QPointF(-5.5, 5.5), QPointF(5.5, -5.5));
            painter->setPen(pen);
            painter->drawLine(QPointF(-5.5, 5.5), QPointF(5.5, -5.5));
        }
        painter->restore();
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        QPixmap pixmap(size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        paint(&painter, QRect(QPoint(0, 0), size), mode, state);
        return pixmap;
    }

    QIconEngine *clone() const override { return new EyeIconEngine(struck); }

private:
    bool struck;
};

// The theme's eye (GNOME's name first, then KDE's), else the drawn one.
QIcon eyeIcon(bool struck)
{
    const QIcon drawn(new EyeIconEngine(struck));
    if (struck) {
        return QIcon::fromTheme(QStringLiteral("view-conceal-symbolic"),
                                QIcon::fromTheme(QStringLiteral("view-hidden"), drawn));
    }
    return QIcon::fromTheme(QStringLiteral("view-reveal-symbolic"),
                            QIcon::fromTheme(QStringLiteral("view-visible"), drawn));
}

} // namespace

Profile::Profile(QWidget *parent)
    : QDialog(parent)
    , ui(new Ui_Profile()) // null widget pointers until setupUi, for changeEvent
{
    ui->setupUi(this);
    fitEditorsToFont();
    for (QSpinBox *box : {ui->year, ui->month, ui->day}) {
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this, &Profile::showBirthEra);
    }
    showBirthEra();
    addPasswordToggle();
    loadPrefectures();
    addPostalAddress();
    // Adding the first prefecture made it current; only from here on is a change the user's choice.
    ready = true;
    // A secret typed here is one before the caller takes it over.
    Logging::addSecretSource(this, [this] {
        QStringList texts;
        QVector<const QHash<QString, QVariant> *> maps{editedValues};
        for (const Person &person : qAsConst(people)) {
            maps.append(&person.values);
        }
        for (const QHash<QString, QVariant> *values : qAsConst(maps)) {
            if (!values) {
                continue;
            }
            for (const QString &key : qAsConst(secretKeys)) {
                texts.append(values->value(key).toString());
                texts.append(values->value(key + QLatin1Char('E')).toString());
            }
        }
        return texts;
    });

    ownSize = minimumSize();
    noBirth[0] = ui->year->value();
    noBirth[1] = ui->month->value();
    noBirth[2] = ui->day->value();
    // The people stay out of sight until there is one, so that a user without them sees the dialog
    // as it has always been, but for the button that adds the first. Even hidden in the grid, the
    // list would take a pixel from the rows of the fixed-size dialog, so it joins the grid when shown,
    // beside every row but the buttons'.
    ui->gridLayout->removeWidget(ui->peoplePanel);
    ui->peoplePanel->hide();
    addPersonButton = ui->buttonBox->addButton(tr("人を追加"), QDialogButtonBox::ActionRole);
    addPersonButton->setObjectName(QStringLiteral("addPerson"));
    addPersonButton->setAutoDefault(false);
    connect(addPersonButton, &QPushButton::clicked, this, &Profile::addPerson);
    connect(ui->removePerson, &QPushButton::clicked, this, &Profile::removePerson);
    ui->personList->addItem(tr("本人"));
    ui->personList->setCurrentRow(0);
    connect(ui->personList, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row - 1 != shownPerson) {
            showPerson(row - 1);
        }
    });
    connect(ui->personRelation, &QComboBox::editTextChanged, this, [this](const QString &text) {
        if (!switching && shownPerson >= 0 && editedValues == ownedValues.get()) {
            people[shownPerson].relation = text;
            ui->personList->item(shownPerson + 1)->setText(personText(shownPerson));
        }
    });
    connect(ui->personEmergencyContact, &QCheckBox::toggled, this,
            [this](bool on) { setRole(emergencyContactRole, on); });
    connect(ui->personGuarantor, &QCheckBox::toggled, this, [this](bool on) { setRole(guarantorRole, on); });
    connect(ui->personLivesWithUser, &QCheckBox::toggled, this, [this](bool on) {
        if (!switching && shownPerson >= 0 && editedValues == ownedValues.get()) {
            people[shownPerson].livesWithUser = on;
        }
    });
    showPersonDetails();
}

Profile::~Profile()
{
    Logging::removeSecretSource(this);
    delete ui;
}

void Profile::setSecretKeys(const QSet<QString> &keys)
{
    secretKeys = keys;
    secretKeys.insert(QStringLiteral("password"));
}

// The fixed widths of the form were made for one font; these editors are narrow enough that a larger
// font cut their values off, so their widths follow the font in use instead. The minimum keeps the
// fixed-size grid from squeezing them below that width when space runs short.
void Profile::fitEditorsToFont()
{
    const int zipcodeWidth = fittingWidth(ui->zipcode, QStringLiteral("000-0000"));
    ui->zipcode->setMinimumWidth(zipcodeWidth);
    ui->zipcode->setMaximumWidth(zipcodeWidth);
    for (QSpinBox *box : {ui->year, ui->month, ui->day}) {
        const int width = fittingWidth(box);
        box->setMinimumWidth(width);
        box->setMaximumWidth(width);
    }
}

void Profile::changeEvent(QEvent *event)
{
    QDialog::changeEvent(event);
    if ((event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange) && ui->zipcode) {
        fitEditorsToFont();
        if (ui->peoplePanel && !ui->peoplePanel->isHidden()) {
            fitPeoplePanel();
        }
    }
}

// The list is as wide as a relation and a full name need; the fields keep the width they have.
void Profile::fitPeoplePanel()
{
    const int listWidth =
        ui->personList->fontMetrics().horizontalAdvance(QStringLiteral("配偶者 渡辺 健太郎"))
        + 2 * ui->personList->frameWidth()
        + style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, ui->personList);
    const int width = std::max(
        {listWidth, ui->personDetails->minimumSizeHint().width(), ui->removePerson->sizeHint().width()});
    ui->peoplePanel->setFixedWidth(width);
    setFixedSize(ownSize.width() + width + qMax(0, ui->gridLayout->horizontalSpacing()), ownSize.height());
}

void Profile::showPeoplePanel()
{
    if (ui->peoplePanel->isHidden()) {
        ui->gridLayout->addWidget(ui->peoplePanel, 0, 0, ui->gridLayout->rowCount() - 1, 1);
        ui->peoplePanel->show();
        fitPeoplePanel();
    }
}

void Profile::setPeople(const QVector<Person> &list)
{
    people = list;
    for (int i = 0; i < people.size(); ++i) {
        ui->personList->addItem(personText(i));
    }
    if (!people.isEmpty()) {
        showPeoplePanel();
    }
}

QVector<Person> Profile::resultPeople() const
{
    QVector<Person> result;
    for (Person person : people) {
        person.relation = person.relation.trimmed();
        const bool blank = person.relation.isEmpty() && person.roles.isEmpty()
                           && std::all_of(person.values.cbegin(), person.values.cend(),
                                          [](const QVariant &value) { return value.toString().isEmpty(); });
        if (!blank) {
            result.append(person);
        }
    }
    return result;
}

// The relation and the name, as the user tells people apart.
QString Profile::personText(int person) const
{
    const Person &shown = people[person];
    QStringList parts{shown.relation.trimmed()};
    for (const char *key : {"familyName", "lastName"}) {
        parts.append(shown.values.value(QLatin1String(key)).toString().trimmed());
    }
    parts.removeAll(QString());
    return parts.isEmpty() ? tr("新しい人") : parts.join(QLatin1Char(' '));
}

void Profile::addPerson()
{
    if (editedValues != ownedValues.get()) {
        return;
    }
    qCDebug(lcProfile) << "addPerson";
    people.append(Person());
    ui->personList->addItem(personText(people.size() - 1));
    showPeoplePanel();
    ui->personList->setCurrentRow(people.size());
    ui->personRelation->setFocus();
}

// Like every other edit, a removal waits for OK: Cancel brings the person back.
void Profile::removePerson()
{
    if (shownPerson < 0 || editedValues != ownedValues.get()) {
        return;
    }
    qCDebug(lcProfile) << "removePerson";
    const int removed = shownPerson;
    {
        const QSignalBlocker blocker(ui->personList);
        people.remove(removed);
        delete ui->personList->takeItem(removed + 1);
        ui->personList->setCurrentRow(0);
    }
    showPerson(-1);
}

void Profile::showPerson(int person)
{
    shownPerson = person >= 0 && person < people.size() ? person : -1;
    switching = true;
    clearWidgets();
    switching = false;
    refilling = true;
    fillWidgets();
    refilling = false;
    // The sign-in values are the user's own and go to the secret store; nobody else has them.
    ui->userID->setEnabled(shownPerson < 0);
    ui->password->setEnabled(shownPerson < 0);
    showPersonDetails();
}

void Profile::showPersonDetails()
{
    const bool person = shownPerson >= 0;
    const Person shown = person ? people[shownPerson] : Person();
    switching = true;
    ui->personRelation->setEditText(shown.relation);
    ui->personEmergencyContact->setChecked(shown.roles.contains(emergencyContactRole));
    ui->personGuarantor->setChecked(shown.roles.contains(guarantorRole));
    ui->personLivesWithUser->setChecked(shown.livesWithUser);
    switching = false;
    ui->personDetails->setEnabled(person);
    ui->removePerson->setEnabled(person);
}

// Other roles a file may hold stay as they are.
void Profile::setRole(const QString &role, bool on)
{
    if (switching || shownPerson < 0 || editedValues != ownedValues.get()) {
        return;
    }
    QStringList &roles = people[shownPerson].roles;
    roles.removeAll(role);
    if (on) {
        roles.append(role);
    }
}

// Empties the fields before another's values are shown: a value the next one lacks must not stay.
void Profile::clearWidgets()
{
    ui->pref->setCurrentIndex(ui->pref->count() > 0 ? 0 : -1);
    const QList<QLineEdit *> edits = findChildren<QLineEdit *>(QString(), Qt::FindDirectChildrenOnly);
    for (QLineEdit *edit : edits) {
        edit->clear();
    }
    ui->year->setValue(noBirth[0]);
    ui->month->setValue(noBirth[1]);
    ui->day->setValue(noBirth[2]);
}

QHash<QString, QVariant> *Profile::shownValues() const
{
    if (shownPerson >= 0 && editedValues == ownedValues.get()) {
        return const_cast<QHash<QString, QVariant> *>(&people[shownPerson].values);
    }
    return editedValues;
}

// Japanese forms ask for the era year more often than for the Western one, so it is shown beside the
// date; it is derived, never stored. A day the month does not have gives no era.
void Profile::showBirthEra()
{
    const QDate date(ui->year->value(), ui->month->value(), ui->day->value());
    ui->birthEra->setText(JapaneseEra::text(JapaneseEra::of(date)));
}

// The password shows as dots, so that nobody behind the user reads it, until the eye inside the
// field is pressed; pressing it again hides it. Only the display changes, never the value.
void Profile::addPasswordToggle()
{
    QAction *toggle = ui->password->addAction(QIcon(), QLineEdit::TrailingPosition);
    toggle->setObjectName(QStringLiteral("showPassword"));
    toggle->setCheckable(true);
    const auto show = [this, toggle](bool shown) {
        ui->password->setEchoMode(shown ? QLineEdit::Normal : QLineEdit::Password);
        // The icon and text say what pressing does next.
        toggle->setIcon(eyeIcon(shown));
        toggle->setText(shown ? tr("パスワードを隠す") : tr("パスワードを表示"));
        toggle->setToolTip(toggle->text());
    };
    connect(toggle, &QAction::toggled, this, show);
    show(false);
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
    const QStringList keys = shownValues()->keys();
    for (const QString &key : keys) {
        QWidget *editor = findChild<QWidget *>(key);
        if (!editor || ui->peoplePanel->isAncestorOf(editor)) {
            continue;
        }
        const QVariant value = shownValues()->value(key);
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
    if (!editedValues || editedValues != ownedValues.get() || switching) {
        return false;
    }
    // Showing someone's values again is no edit of them.
    if (refilling && shownValues()->value(key) == value) {
        return false;
    }
    shownValues()->insert(key, value);
    if (shownPerson >= 0) {
        ui->personList->item(shownPerson + 1)->setText(personText(shownPerson));
    }
    return true;
}

void Profile::storeNumber(const QString &key, int value, const char *prefix)
{
    if (store(key, value)) {
        qCDebug(lcProfile) << prefix << Logging::masked(shownValues()->value(key));
    }
}

void Profile::storeText(const QLineEdit *editor, const QString &key, const char *prefix)
{
    if (store(key, editor->text())) {
        qCDebug(lcProfile) << prefix << Logging::masked(shownValues()->value(key));
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
    fillFromPostalCode();
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
    qCDebug(lcProfile) << "pref: " << Logging::masked(shownValues()->value(QStringLiteral("pref")));
    qCDebug(lcProfile) << "prefE: " << Logging::masked(shownValues()->value(QStringLiteral("prefE")));
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

// Beside the postal code: the button that takes over the code's address, and what the dictionary
// says of a code it cannot place. Both stay hidden until a code is entered.
void Profile::addPostalAddress()
{
    applyAddress = new QPushButton(tr("住所を反映"), this);
    applyAddress->setObjectName(QStringLiteral("applyPostalAddress"));
    applyAddress->setAutoDefault(false);
    applyAddress->hide();
    postalNote = new QLabel(this);
    postalNote->setObjectName(QStringLiteral("postalNote"));
    postalNote->hide();
    // The dialog has a fixed size: what shows here must not move the other rows' columns.
    auto *beside = new QWidget(this);
    beside->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    auto *row = new QHBoxLayout(beside);
    row->setContentsMargins(6, 0, 0, 0);
    row->setSizeConstraint(QLayout::SetNoConstraint);
    applyAddress->setParent(beside);
    applyAddress->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    postalNote->setParent(beside);
    row->addWidget(applyAddress);
    row->addWidget(postalNote, 1);
    ui->gridLayout->addWidget(beside, 3, 6, 1, 6);
    setTabOrder(ui->zipcode, applyAddress);
    setTabOrder(applyAddress, ui->pref);
    connect(applyAddress, &QPushButton::clicked, this, [this] {
        const QHash<QString, QString> parts = std::exchange(differingAddress, {});
        for (auto part = parts.cbegin(); part != parts.cend(); ++part) {
            setAddressPart(part.key(), part.value());
        }
        applyAddress->hide();
    });
}

// Every Japanese site offers 住所検索; here a complete code fills the prefecture, the municipality and
// the town where they are empty. What the user entered stays until 住所を反映 replaces it. Of a code
// that spans several municipalities or towns, only what all of them share goes in: a wrong town is
// worse than none.
void Profile::fillFromPostalCode()
{
    differingAddress.clear();
    applyAddress->hide();
    postalNote->hide();
    if (!postalCodes) {
        postalCodes = &PostalCodes::installed();
        if (postalCodes->isEmpty()) {
            qCDebug(lcProfile) << "postal codes: none at" << PostalCodes::debianPath();
        }
    }
    if (postalCodes->isEmpty()) {
        return;
    }
    const QVector<PostalCodes::Address> found = postalCodes->lookup(ui->zipcode->text());
    if (found.isEmpty()) {
        postalNote->setText(tr("郵便番号が見つかりません"));
        postalNote->show();
        return;
    }
    PostalCodes::Address shared = found.first();
    bool severalCities = false;
    bool severalTowns = false;
    for (const PostalCodes::Address &address : found) {
        if (address.prefecture != shared.prefecture) {
            shared = {};
        }
        if (address.city != shared.city) {
            // A town is nothing without its municipality.
            severalCities = true;
            shared.city.clear();
            shared.town.clear();
        }
        if (address.town != shared.town) {
            severalTowns = true;
            shared.town.clear();
        }
    }
    if (severalCities || severalTowns) {
        postalNote->setText(severalCities ? tr("複数の市区町村の番号です") : tr("複数の町域の番号です"));
        postalNote->show();
    }
    const QPair<QString, QString> parts[] = {{QStringLiteral("pref"), shared.prefecture},
                                             {QStringLiteral("city"), shared.city},
                                             {QStringLiteral("address1"), shared.town}};
    for (const auto &part : parts) {
        const QString entered = editedValues ? editedValues->value(part.first).toString() : QString();
        if (part.second.isEmpty() || entered == part.second
            || (part.first == QLatin1String("pref") && ui->pref->findText(part.second) < 0)) {
            continue;
        }
        if (entered.isEmpty()) {
            setAddressPart(part.first, part.second);
        } else {
            differingAddress.insert(part.first, part.second);
        }
    }
    if (!differingAddress.isEmpty()) {
        applyAddress->setToolTip(
            QStringList{shared.prefecture, shared.city, shared.town}.join(QLatin1Char(' ')).trimmed());
        applyAddress->show();
    }
}

// As if the user had entered it: the editor shows it and its slot stores it.
void Profile::setAddressPart(const QString &key, const QString &text)
{
    if (key == QLatin1String("pref")) {
        const int index = ui->pref->findText(text);
        if (index == ui->pref->currentIndex()) {
            on_pref_currentIndexChanged(text);
        } else {
            ui->pref->setCurrentIndex(index);
        }
        return;
    }
    QLineEdit *editor = key == QLatin1String("city") ? ui->city : ui->address1;
    editor->setText(text);
    emit editor->editingFinished();
}

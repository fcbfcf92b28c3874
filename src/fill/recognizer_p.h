#pragma once

#include "fill/fieldrecognizer.h"

#include <QHash>
#include <QPair>
#include <QRegularExpression>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVector>

#include <algorithm>

// The recognizer's parts, for its own files alone: the table (recognitiontable.cpp), a control's clues
// (clues.cpp), whose section (sections.cpp), postal codes and phone numbers (numbers.cpp), names
// (names.cpp), dates (dates.cpp) and address cuts (addresscuts.cpp). fieldrecognizer.cpp runs them in
// order.
namespace FieldRecognizer {
namespace Internal {

// ---- The table (recognitiontable.cpp) ----------------------------------------------------------

// What a control is for, before the form of the value (script, parts, hyphens) is chosen.
enum class Concept
{
    None,
    Ignore, // something the profile has no value for, or another person's
    FamilyName,
    GivenName,
    FullName,
    Postal,
    Pref,
    City,
    Address1, // 町名 (大字, with the 小字)
    Address2,
    Street,
    Building,
    Room, // 部屋番号: the room apart from the building's name
    AddressAny, // 住所: which parts is decided by the form's other address boxes
    CityStreet,
    CityTown,
    TownStreet,
    StreetBuilding,
    CityAddress,
    Phone,
    Mail,
    UserID,
    BirthAny, // 生年月日 over one or several controls
    BirthDate,
    Year,
    Month,
    Day,
    Era,
    EraYear,
};

const QHash<QString, Concept> &conceptNames();

enum class Category
{
    None,
    Ignore,
    Name,
    Postal,
    Address,
    Phone,
    Mail,
    UserID,
    Birth
};

Category categoryOf(Concept c);

inline uint qHash(Concept c, uint seed = 0)
{
    return ::qHash(int(c), seed);
}

inline uint qHash(Category c, uint seed = 0)
{
    return ::qHash(int(c), seed);
}

enum class Script
{
    Unspecified,
    Katakana,
    Hiragana,
    HalfwidthKana,
    Latin
};

// One word, token combination or autocomplete token of the table.
struct Rule
{
    enum Match
    {
        Contains,
        Exact, // "=word": the whole text
        Prefix // "^word": the start of the text
    };
    QString text;
    QStringList all; // tokens that must all be present ("post+code")
    QRegularExpression latin; // Latin words, as whole words
    Match match = Contains;
    double weight = 1;
    Concept concept = Concept::None;
    bool refine = false; // counts only within a category other words decided
};

struct Words
{
    QStringList list;
    bool containedIn(const QString &folded) const
    {
        return std::any_of(list.cbegin(), list.cend(), [&](const QString &w) { return folded.contains(w); });
    }
};

struct Table
{
    QHash<QString, double> sources;
    double doubt = 0.5;
    QVector<Rule> labels; // Japanese words, longest first
    QVector<Rule> latin; // Latin words, longest first
    QVector<Rule> tokens; // name and id tokens, combinations first
    QHash<QString, Rule> autocomplete;
    QSet<Concept> general;
    QHash<QString, Concept> combinations; // concept names joined by "+" in table order
    QSet<QString> nameFillers;
    QVector<QPair<Script, Words>> scriptLabels; // in the order they are tried
    QVector<QPair<Script, QSet<QString>>> scriptTokens;
    Words otherSection, ownSection, whenOwnToo, familyOwn, familyOther;
    QSet<QString> otherTokens;
    Words places, sameAs; // another place of the user's; a choice that copies another section
    Words relation; // 申請者との続柄: a relation to someone, not whose the value is
    QSet<QString> placeTokens;
    // Who another person's section is about, in the order tried; relationships by group.
    QVector<QPair<QString, Words>> parties;
    QVector<QPair<QString, QSet<QString>>> partyTokens;
    QVector<QPair<QString, QStringList>> relations;
    Words relationBox;
    QSet<QString> relationTokens;
    Words noHyphen, hyphen, noSpaces, familyFirst, mobile, landline, noTrunkZero;
};

const Table &table();

// ---- Texts (recognitiontable.cpp) --------------------------------------------------------------

// NFKC (full width and half-width kana fold), lower case, without spaces, marks and the words that
// say whether a field is required.
QString fold(const QString &text);
bool hasHalfwidthKana(const QString &text);
bool hasJapanese(const QString &text);
// "customer[lastNameKana]" → customer, last, name, kana; "zip01" → zip, 01.
QStringList tokens(const QString &text);

// ---- One control and its clues (clues.cpp) -----------------------------------------------------

bool isSelect(const Field &field);
bool isTextArea(const Field &field);
QString typeOf(const Field &field);
bool isRadio(const Field &field);
QString inputModeOf(const Field &field);

// Why a control is never filled, or empty when it may be.
QString excluded(const Field &field);

struct Reading
{
    Concept concept = Concept::None;
    Script script = Script::Unspecified;
    int part = 0;
    bool upper = false; // a pattern of capitals alone
    bool fullWidth = false; // a pattern without ASCII
    QString evidence;
    QString refusal; // why the field is left alone despite its evidence
    bool fromRowOnly = false; // only the row's heading spoke: a group label over several boxes
    bool fromNameOnly = false; // only the name or id spoke
    bool numberedName = false; // family or given name by the number in its name alone
    bool mobile = false;
    bool landline = false;
};

// A unit written after a box (1985 年, 4 月) reaches us as the text before the next one.
bool isUnit(const QString &text);
// What the field's own texts say, for notes: the label, placeholder and what follows the box.
QString ownTexts(const Field &field);
bool patternAccepts(const QString &pattern, const QStringList &samples);

// What the control says it is for, weighed: the concept, the script and the part, or why it is left
// alone. unitAfter is the unit written after the box (年, 月, 日), if any.
Reading read(const Field &field, const QString &unitAfter);

// ---- Whose section (sections.cpp) --------------------------------------------------------------

struct PageWords
{
    bool own = false; // some part of the page is the orderer's, the applicant's …
    bool child = false; // some part of the page is about a child: 保護者 is then the user
};

PageWords pageWords(const QVector<Field> &fields);
// Who a word that gives a control to someone else names ("緊急連絡先", or a name's first word "emg_").
QString partyOfWord(const QString &word);
// Whether the field belongs to another person: the closest text that says whose decides (the word in
// said).
QString otherPersons(const Field &field, const PageWords &page, QString *said);
// Whether the control's own texts say whose it is (学校名, 勤務先電話番号): then it is no value of a
// person's part of the page.
bool ownTextSays(const Field &field, const PageWords &page);
// The kind of value a control takes, for telling where a second person's or place's part begins;
// empty for values one person may give twice (phone rows, an e-mail and its confirmation).
QString kindOf(const Field &field, const Reading &r, const QString &key);
// Sections, one form at a time: a page's search box or login form is no second person. Numbers the
// sections in the decisions and, with leaveOthers, leaves alone those that are not the user's.
void splitSections(const QVector<Field> &fields, const QVector<int> &candidates,
                   const QVector<QString> &othersKinds, const PageWords &page, QVector<Reading> &readings,
                   QVector<QString> &keys, QVector<Decision> &decisions, bool leaveOthers);
// Boxes that ask how someone is related, wherever they are: filled only in another person's section.
void markRelationBoxes(const QVector<Field> &fields, QVector<Decision> &decisions);

// ---- Runs of boxes (fieldrecognizer.cpp) -------------------------------------------------------

// Consecutive fields of one category, ignoring controls that are never filled in between.
struct Run
{
    QVector<int> members;
};

// ---- Postal codes and phone numbers (numbers.cpp) ----------------------------------------------

// A numbered or labelled first box followed by unlabelled boxes after a hyphen: 〒[ ]-[ ],
// 電話[ ]-[ ]-[ ].
void continueAfterHyphens(const QVector<Field> &fields, const QVector<int> &candidates,
                          QVector<Reading> &readings);
// The boxes of a postal code or phone number split over a run.
void splitNumberRun(const Run &run, const QVector<Field> &fields, QVector<Reading> &readings,
                    QVector<QString> &keys, QVector<QString> &notes);
// The key of a single box for the postal code or the phone number; empty, with the refusal, when none
// fits.
QString postalKey(const Field &field, Reading &r, QString &note);
QString phoneKey(const QVector<Field> &fields, int i, Reading &r, QString &note);
// One stored number, home and mobile rows: the row it fits, else the first that does not misfit.
void chooseFromPhoneRows(const QVector<Field> &fields, const QVector<Run> &runs, QVector<Reading> &readings,
                         QVector<QString> &keys, bool mobilePhone);

// ---- Names (names.cpp) -------------------------------------------------------------------------

QString nameKey(Concept concept, Script script);
// Which box of a name row holds which part, from the boxes around it.
void settleNameParts(const QVector<Field> &fields, const QVector<int> &candidates, QVector<Reading> &readings,
                     bool english);
// A whole name split over a run of two boxes under one row's heading.
void splitNameRun(const Run &run, const QVector<Reading> &readings, QVector<QString> &keys,
                  QVector<QString> &notes);
// A name known from its name attribute alone, in a form of nothing else personal: a search box.
void leaveLoneNameBoxes(const QVector<Field> &fields, const QVector<int> &candidates,
                        QVector<Reading> &readings);
// The key of a single box for a name or its part; empty, with the refusal, when the box takes none.
QString singleNameKey(const Field &field, Reading &r);

// ---- Dates (dates.cpp) -------------------------------------------------------------------------

bool isEraText(const QString &text);
// Birth: era, year, month, day in this order wherever the controls themselves do not say.
void splitBirthRun(const Run &run, const QVector<Field> &fields, QVector<Reading> &readings,
                   QVector<QString> &notes);
// A single box for the date of birth: the form its example shows, else ISO.
QString dateKey(const Field &field, QString &refusal);
// The key of an era control: the whole date in a text box that shows it in the era's years.
QString eraKey(const Field &field);
// An era alone, with no year of the era filled beside it, is half a date: leave it.
void leaveErasWithoutYear(const QVector<Field> &fields, QVector<Decision> &decisions);
// The other radio buttons of an era group take the same key: the value picks the button.
void copyToEraGroups(const QVector<Field> &fields, const QHash<int, int> &sameGroupAs,
                     QVector<Decision> &decisions);

// ---- Address cuts (addresscuts.cpp) ------------------------------------------------------------

// The parts a box holds, as [first, last]; {-1, -1} for none or undecided.
QPair<int, int> partsOf(Concept c);
// Addresses, one form at a time: which parts each box takes.
void cutAddresses(const QVector<Field> &fields, const QVector<int> &candidates, QVector<Reading> &readings,
                  QVector<QString> &keys, QVector<QString> &notes);

} // namespace Internal
} // namespace FieldRecognizer

#include "fill/fieldrecognizer.h"

#include "fill/fieldmenu.h"
#include "fill/recognizer_p.h"

// recognize: the recognizer's steps in order, each in the file of its part (recognizer_p.h).

namespace FieldRecognizer {

using namespace Internal;

namespace {

// A page written in English alone, headings included, wants the Latin-letter values.
bool writtenInEnglish(const QVector<Field> &fields, int inputLanguage, const Hints &hints)
{
    bool english = inputLanguage == FieldMenu::English;
    if (!english) {
        // Without headings, several controls labelled in Latin letters say the same.
        bool japanese = false, headings = false;
        int latinLabels = 0;
        static const QRegularExpression letters(QStringLiteral("[A-Za-z]{2}"));
        for (const Field &field : fields) {
            const QString own = field.label + field.rowLabel + field.placeholder + field.ariaLabel
                                + field.labelledBy + field.title;
            const QString all = own + field.legend + field.heading + field.textBefore + field.textAfter;
            headings = headings || !(field.legend + field.heading).trimmed().isEmpty();
            japanese = japanese || hasJapanese(all);
            latinLabels += int(letters.match(own).hasMatch());
        }
        english = (headings || (hints.latinLabelsMakeEnglish && latinLabels >= 3)) && !japanese;
    }
    return english;
}

// The fields that may take a value, in order; the others get why not in their decisions. The kinds of
// another person's fields go to othersKinds.
QVector<int> candidatesOf(const QVector<Field> &fields, const PageWords &page, const Hints &hints,
                          QVector<Decision> &decisions, QVector<QString> &othersKinds)
{
    QVector<int> candidates;
    for (int i = 0; i < fields.size(); ++i) {
        QString why = excluded(fields[i]);
        if (why.isEmpty()) {
            QString word;
            why = otherPersons(fields[i], page, &word);
            if (!why.isEmpty() && !ownTextSays(fields[i], page)) {
                othersKinds[i] = kindOf(fields[i], read(fields[i], QString()), QString());
            }
            if (!why.isEmpty()) {
                decisions[i].party = partyOfWord(word);
                if (!hints.leaveOthersSections) {
                    why.clear();
                }
            }
        }
        if (!why.isEmpty()) {
            decisions[i].evidence = why;
            continue;
        }
        candidates.append(i);
    }
    return candidates;
}

// What each candidate says it is for, with the unit after it, the note after an address box, the kind
// of control.
void readCandidates(const QVector<Field> &fields, const QVector<int> &candidates, QVector<Reading> &readings)
{
    for (int c = 0; c < candidates.size(); ++c) {
        const int i = candidates[c];
        const bool unitAfter = c + 1 < candidates.size() && isUnit(fields[candidates[c + 1]].textBefore);
        readings[i] = read(fields[i], unitAfter ? fields[candidates[c + 1]].textBefore : QString());
        // 住所 with a note after it to begin at the city (市区町村から, 船橋市から): no prefecture.
        static const QRegularExpression fromCity(QStringLiteral("[市区町村](から|以降|以下)"));
        if (readings[i].concept == Concept::AddressAny && readings[i].part == 0
            && fromCity.match(fields[i].textAfter.left(80)).hasMatch()) {
            readings[i].concept = Concept::CityAddress;
        }
        // Text areas take an address, nothing else: their other uses are messages and notes.
        if (isTextArea(fields[i]) && readings[i].concept != Concept::None
            && categoryOf(readings[i].concept) != Category::Address) {
            readings[i] = Reading();
            readings[i].refusal = QStringLiteral("a text area for no address");
        }
        // Radio buttons stand for the era alone: the era's name on the button, the birth date around.
        if (isRadio(fields[i])) {
            const Field &f = fields[i];
            const bool eraButton = isEraText(f.value) || isEraText(f.label) || isEraText(f.textAfter);
            if (!eraButton || categoryOf(readings[i].concept) != Category::Birth) {
                readings[i] = Reading();
                readings[i].refusal = QStringLiteral("a radio button of no era");
            } else {
                readings[i].concept = Concept::Era;
            }
        }
    }
}

// Group consecutive candidates of the same concept family; the radio buttons of one group
// count as one control.
QVector<Run> runsOf(const QVector<Field> &fields, const QVector<int> &candidates,
                    const QVector<Reading> &readings, QHash<int, int> &sameGroupAs)
{
    QVector<Run> runs;
    for (int c = 0; c < candidates.size(); ++c) {
        const int i = candidates[c];
        const Concept concept = readings[i].concept;
        const bool grouped = concept == Concept::Postal || concept == Concept::Phone
                             || categoryOf(concept) == Category::Birth
                             || (concept == Concept::FullName && readings[i].fromRowOnly);
        if (!grouped) {
            continue;
        }
        if (isRadio(fields[i]) && c > 0 && isRadio(fields[candidates[c - 1]])
            && fields[candidates[c - 1]].name == fields[i].name && !runs.isEmpty()
            && (runs.last().members.last() == candidates[c - 1]
                || sameGroupAs.value(candidates[c - 1], -1) == runs.last().members.last())) {
            sameGroupAs.insert(i, sameGroupAs.value(candidates[c - 1], candidates[c - 1]));
            continue;
        }
        const auto sameGroup = [&](int other) {
            const Reading &r = readings[other];
            if (categoryOf(concept) == Category::Birth) {
                return categoryOf(r.concept) == Category::Birth;
            }
            if (concept == Concept::Postal || concept == Concept::Phone) {
                // Rows of their own (自宅, 携帯) rather than the boxes of one split value.
                const Field &a = fields[other];
                const Field &b = fields[i];
                const auto own = [](const Field &f) {
                    static const QRegularExpression separator(QStringLiteral("^[-－−‐‑–—―ｰー(（)）]?$"));
                    const QString before =
                        separator.match(f.textBefore.trimmed()).hasMatch() ? QString() : f.textBefore;
                    return f.label + f.ariaLabel + f.labelledBy + f.title + before;
                };
                const bool wholeBox = b.maxLength < 0 || b.maxLength >= 10;
                if ((!a.rowLabel.isEmpty() && !b.rowLabel.isEmpty() && a.rowLabel != b.rowLabel)
                    || (wholeBox && own(a) != own(b))) {
                    return false;
                }
            }
            return r.concept == concept && r.fromRowOnly == readings[i].fromRowOnly
                   && (concept != Concept::FullName || r.script == readings[i].script);
        };
        const int previous = c > 0 ? sameGroupAs.value(candidates[c - 1], candidates[c - 1]) : -1;
        if (c > 0 && !runs.isEmpty() && runs.last().members.last() == previous && sameGroup(previous)) {
            runs.last().members.append(i);
        } else {
            runs.append(Run{QVector<int>{i}});
        }
    }
    return runs;
}

// The boxes of a value split over a run: postal codes and phone numbers, names, dates of birth.
void splitRuns(const QVector<Run> &runs, const QVector<Field> &fields, QVector<Reading> &readings,
               QVector<QString> &keys, QVector<QString> &notes)
{
    for (const Run &run : runs) {
        const Concept concept = readings[run.members.first()].concept;
        if (concept == Concept::Postal || concept == Concept::Phone) {
            splitNumberRun(run, fields, readings, keys, notes);
        } else if (concept == Concept::FullName) {
            splitNameRun(run, readings, keys, notes);
        } else {
            splitBirthRun(run, fields, readings, notes);
        }
    }
}

// The key of a box no run and no address cut gave one, by its concept; empty, with the refusal, for
// none.
QString keyOfBox(const QVector<Field> &fields, int i, Reading &r, QString &note)
{
    const Field &field = fields[i];
    switch (r.concept) {
    case Concept::FamilyName:
    case Concept::GivenName:
    case Concept::FullName:
        return singleNameKey(field, r);
    case Concept::Postal:
        return postalKey(field, r, note);
    case Concept::Phone:
        return phoneKey(fields, i, r, note);
    case Concept::Mail:
        return QStringLiteral("mail");
    case Concept::UserID:
        return QStringLiteral("userID");
    case Concept::BirthDate:
        return dateKey(field, r.refusal);
    case Concept::Year:
        return QStringLiteral("year");
    case Concept::Month:
        return QStringLiteral("month");
    case Concept::Day:
        return QStringLiteral("day");
    case Concept::Era:
        return eraKey(field);
    case Concept::EraYear:
        return QStringLiteral("birthEraYear");
    case Concept::BirthAny:
        r.refusal = QStringLiteral("which part of the birth date is unclear");
        return QString();
    default:
        return QString();
    }
}

// The form of the value the box takes: zero-padded, in Latin letters, in capitals, in full width.
QString formOfKey(const Field &field, const Reading &r, QString key, bool english)
{
    // Month and day boxes whose example is zero-padded.
    if ((key == QStringLiteral("month") || key == QStringLiteral("day")) && !isSelect(field)) {
        static const QRegularExpression padded(QStringLiteral("^0\\d$|^mm$|^dd$"));
        if (padded.match(field.placeholder.trimmed().toLower()).hasMatch()) {
            key += QStringLiteral(".twoDigits");
        }
    }
    if ((english || r.script == Script::Latin) && key == QStringLiteral("town")) {
        key = QStringLiteral("address1"); // no Latin form of the 丁目 apart
    }
    if (english || r.script == Script::Latin) {
        static const QStringList latin{
            QStringLiteral("familyName"),   QStringLiteral("lastName"),  QStringLiteral("fullName"),
            QStringLiteral("pref"),         QStringLiteral("city"),      QStringLiteral("address1"),
            QStringLiteral("address2"),     QStringLiteral("building"),  QStringLiteral("townStreet"),
            QStringLiteral("buildingName"), QStringLiteral("roomNumber")};
        if (latin.contains(key)) {
            key += QLatin1Char('E');
        }
    }
    if (key == QStringLiteral("fullNameE") && table().familyFirst.containedIn(ownTexts(field))) {
        key = QStringLiteral("fullNameEFamilyFirst");
    }
    if (r.upper) {
        key += QStringLiteral(".upperCase");
    } else if (r.fullWidth && categoryOf(r.concept) == Category::Address) {
        key += QStringLiteral(".fullWidth");
    }
    return key;
}

// Each candidate's decision: its key, or why it is left alone.
void decide(const QVector<Field> &fields, const QVector<int> &candidates, QVector<Reading> &readings,
            const QVector<QString> &keys, const QVector<QString> &notes, bool english,
            QVector<Decision> &decisions)
{
    for (int i : qAsConst(candidates)) {
        const Field &field = fields[i];
        Reading &r = readings[i];
        Decision &decision = decisions[i];
        QString key = r.refusal.isEmpty() ? keys[i] : QString();
        QString note = notes[i];
        if (key.isEmpty() && r.refusal.isEmpty()) {
            key = keyOfBox(fields, i, r, note);
        }
        if (key.isEmpty()) {
            decision.evidence = r.refusal.isEmpty() ? QStringLiteral("no evidence") : r.refusal;
            continue;
        }
        // Kana readings exist for names only; Latin spellings for names and the address.
        if (r.script != Script::Unspecified && categoryOf(r.concept) != Category::Name
            && !(r.script == Script::Latin && categoryOf(r.concept) == Category::Address)) {
            decision.evidence = QStringLiteral("no reading stored for ") + r.evidence;
            continue;
        }
        key = formOfKey(field, r, key, english);
        if (field.readOnly) {
            decision.evidence = QStringLiteral("read-only");
        } else if (field.disabled) {
            decision.evidence = QStringLiteral("disabled");
        } else if (isSelect(field) ? field.selectedIndex > 0 && field.selectedIndex < field.options.size()
                                         && !field.options[field.selectedIndex].value.isEmpty()
                                   : !isRadio(field) && !field.value.isEmpty()) {
            decision.evidence = QStringLiteral("already filled");
        } else {
            decision.key = key;
            decision.check = isRadio(field);
            decision.evidence = r.evidence + note;
        }
    }
}

} // namespace

QVector<Decision> recognize(const QVector<Field> &fields, int inputLanguage, const Hints &hints)
{
    QVector<Decision> decisions(fields.size());
    QVector<Reading> readings(fields.size());
    const PageWords page = pageWords(fields);
    const bool english = writtenInEnglish(fields, inputLanguage, hints);
    // What another person's fields ask for still tells where that person's part begins.
    QVector<QString> othersKinds(fields.size());
    const QVector<int> candidates = candidatesOf(fields, page, hints, decisions, othersKinds);
    readCandidates(fields, candidates, readings);
    continueAfterHyphens(fields, candidates, readings);
    settleNameParts(fields, candidates, readings, english);
    QHash<int, int> sameGroupAs; // a radio button → the first of its group
    const QVector<Run> runs = runsOf(fields, candidates, readings, sameGroupAs);
    QVector<QString> keys(fields.size());
    QVector<QString> notes(fields.size());
    splitRuns(runs, fields, readings, keys, notes);
    splitSections(fields, candidates, othersKinds, page, readings, keys, decisions,
                  hints.leaveOthersSections);
    cutAddresses(fields, candidates, readings, keys, notes);
    chooseFromPhoneRows(fields, runs, readings, keys, hints.mobilePhone);
    leaveLoneNameBoxes(fields, candidates, readings);
    decide(fields, candidates, readings, keys, notes, english, decisions);
    leaveErasWithoutYear(fields, decisions);
    copyToEraGroups(fields, sameGroupAs, decisions);
    markRelationBoxes(fields, decisions);
    return decisions;
}

QString relationGroup(const QString &relation)
{
    const QString trimmed = relation.trimmed();
    for (const auto &group : table().relations) {
        if (group.second.contains(trimmed)) {
            return group.first;
        }
    }
    return QString();
}

QStringList relationsOf(const QString &group)
{
    for (const auto &entry : table().relations) {
        if (entry.first == group) {
            return entry.second;
        }
    }
    return QStringList();
}

} // namespace FieldRecognizer

#include "fill/recognizer_p.h"

#include "fill/sectionsplitter.h"
#include "logging.h"

// Whose part of the page a control is in: the words that give it to the user, to another person or to
// another place, and the sections SectionSplitter cuts a form into.

namespace FieldRecognizer {
namespace Internal {

// ---- Whose section -----------------------------------------------------------------------------

namespace {

enum class Whose
{
    Unsaid,
    Own,
    Other
};

Whose whoseText(const QString &raw, const PageWords &page, QString &word)
{
    const Table &t = table();
    const QString folded = fold(raw);
    if (folded.isEmpty() || t.relation.containedIn(folded)) {
        return Whose::Unsaid;
    }
    for (const QString &w : t.familyOwn.list) {
        if (folded.contains(w)) {
            // 保護者2: the second guardian is someone else, whatever the brackets say.
            const QRegularExpression numbered(QRegularExpression::escape(w) + QStringLiteral("\\s*[2-9]"));
            if (numbered.match(folded).hasMatch()) {
                word = w + QLatin1Char('2');
                return Whose::Other;
            }
            // 配偶者（申請者以外の保護者）: another word outside the brackets still gives it to someone
            // else; 保護者さま（付き添いの方） stays the parent's.
            static const QRegularExpression bracketed(QStringLiteral("\\([^)]*\\)?"));
            QString rest = folded;
            rest.remove(bracketed);
            for (const QString &family : t.familyOwn.list + t.familyOther.list) {
                rest.remove(family);
            }
            for (const QString &other : t.otherSection.list) {
                if (rest.contains(other)) {
                    word = other;
                    return Whose::Other;
                }
            }
            word = w;
            return page.child ? Whose::Own : Whose::Other;
        }
    }
    for (const QString &w : t.otherSection.list) {
        if (folded.contains(w)) {
            word = w;
            return Whose::Other;
        }
    }
    if (page.own) {
        for (const QString &w : t.whenOwnToo.list) {
            if (folded.contains(w)) {
                word = w;
                return Whose::Other;
            }
        }
    }
    for (const QString &w : t.ownSection.list) {
        if (folded.contains(w)) {
            word = w;
            return Whose::Own;
        }
    }
    return Whose::Unsaid;
}

} // namespace

// Who a word that gives a control to someone else names ("緊急連絡先", or a name's first word "emg_").
QString partyOfWord(const QString &word)
{
    const Table &t = table();
    if (word.endsWith(QLatin1Char('_'))) {
        const QString token = word.chopped(1);
        for (const auto &party : t.partyTokens) {
            if (party.second.contains(token)) {
                return party.first;
            }
        }
        return QString();
    }
    const QString folded = fold(word);
    for (const auto &party : t.parties) {
        if (party.second.containedIn(folded)) {
            return party.first;
        }
    }
    return QString();
}

// Whether the field belongs to another person: the closest text that says whose decides (the word in
// said).
QString otherPersons(const Field &field, const PageWords &page, QString *said)
{
    QString scratch;
    QString &word = said ? *said : scratch;
    for (const QString *text : {&field.label, &field.ariaLabel, &field.labelledBy, &field.title,
                                &field.placeholder, &field.textBefore}) {
        const Whose whose = whoseText(*text, page, word);
        if (whose == Whose::Other) {
            return QStringLiteral("another person's: ") + word;
        }
        if (whose == Whose::Own) {
            return QString();
        }
    }
    for (const QString *name : {&field.name, &field.id}) {
        const QStringList words = tokens(*name);
        if (!words.isEmpty() && table().otherTokens.contains(words.first())) {
            word = words.first() + QLatin1Char('_');
            return QStringLiteral("another person's: ") + word;
        }
    }
    // Then the row, the part of the page it sits in (column, row group, titled blocks from the
    // closest), the legend and the heading.
    QVector<const QString *> around{&field.rowLabel, &field.column, &field.rowGroup};
    for (int k = field.blockTitles.size() - 1; k >= 0; --k) {
        around.append(&field.blockTitles[k]);
    }
    around << &field.legend << &field.heading;
    for (const QString *text : qAsConst(around)) {
        const Whose whose = whoseText(*text, page, word);
        if (whose == Whose::Other) {
            return QStringLiteral("another person's: ") + word;
        }
        if (whose == Whose::Own) {
            return QString();
        }
    }
    return QString();
}

// Whether the control's own texts say whose it is (学校名, 勤務先電話番号): then it is no value of a
// person's part of the page.
bool ownTextSays(const Field &field, const PageWords &page)
{
    QString word;
    for (const QString *text : {&field.label, &field.ariaLabel, &field.labelledBy, &field.title,
                                &field.placeholder, &field.textBefore}) {
        if (whoseText(*text, page, word) != Whose::Unsaid) {
            return true;
        }
    }
    return false;
}

PageWords pageWords(const QVector<Field> &fields)
{
    PageWords page;
    QSet<QString> seen;
    for (const Field &field : fields) {
        QVector<const QString *> texts{&field.legend, &field.heading, &field.rowLabel, &field.label,
                                       &field.title,  &field.column,  &field.rowGroup};
        for (const QString &title : field.blockTitles) {
            texts.append(&title);
        }
        for (const QString *text : qAsConst(texts)) {
            if (text->isEmpty() || seen.contains(*text)) {
                continue;
            }
            seen.insert(*text);
            const QString folded = fold(*text);
            page.own = page.own
                       || (table().ownSection.containedIn(folded) && !table().whenOwnToo.containedIn(folded));
            page.child = page.child || table().familyOther.containedIn(folded);
        }
    }
    return page;
}

// ---- Sections ----------------------------------------------------------------------------------

namespace {

enum class Owner
{
    Unsaid,
    Own,
    Other, // another person's
    Place, // another place of the user's (請求先, 休暇中の連絡先)
    SameAs // a choice makes it a copy of another section: the page's to fill
};

} // namespace

// The kind of value a control takes, for telling where a second person's or place's part begins;
// empty for values one person may give twice (phone rows, an e-mail and its confirmation).
QString kindOf(const Field &field, const Reading &r, const QString &key)
{
    if (!r.refusal.isEmpty() || isRadio(field) || r.concept == Concept::None) {
        return QString();
    }
    // Only values that open a person's or a place's part: a name, a postal code, a prefecture, a birth
    // date or year. Readings, the other address boxes, months and days go with them.
    switch (categoryOf(r.concept)) {
    case Category::Name:
        if (r.script != Script::Unspecified && r.script != Script::Latin) {
            return QString();
        }
        // The boxes of one name row are told apart by the keys they got (family, given).
        {
            const QString which = key.startsWith(QLatin1String("familyName")) ? QStringLiteral("family")
                                  : key.startsWith(QLatin1String("lastName")) ? QStringLiteral("given")
                                  : r.concept == Concept::FamilyName          ? QStringLiteral("family")
                                  : r.concept == Concept::GivenName           ? QStringLiteral("given")
                                  : key.isEmpty() || key.startsWith(QLatin1String("fullName"))
                                      ? QStringLiteral("full")
                                      : QStringLiteral("given");
            return QStringLiteral("name:%1:%2").arg(which).arg(int(r.script));
        }
    case Category::Postal:
        return key.contains(QLatin1String(".part")) && !key.endsWith(QLatin1String("part1"))
                   ? QString()
                   : QStringLiteral("postal");
    case Category::Address:
        return r.concept == Concept::Pref && r.script != Script::Latin ? QStringLiteral("pref") : QString();
    case Category::Birth:
        return r.concept == Concept::BirthAny || r.concept == Concept::BirthDate || r.concept == Concept::Year
                       || r.concept == Concept::EraYear
                   ? QStringLiteral("birth")
                   : QString();
    default:
        return QString();
    }
}

namespace {

// A "same as" choice after the last value of a section stands at the head of the next one.
QVector<int> choicesOf(const QVector<SectionSplitter::Section> &sections, int s,
                       const QVector<QString> &kinds)
{
    const auto tail = [&](int k) {
        QVector<int> after;
        const QVector<int> &members = sections[k].members;
        int last = -1;
        for (int m : members) {
            if (!kinds[m].isEmpty()) {
                last = m;
            }
        }
        for (int m : members) {
            if (m > last) {
                after.append(m);
            }
        }
        return after;
    };
    QVector<int> choices = s > 0 ? tail(s - 1) : QVector<int>();
    const QVector<int> own = s + 1 < sections.size() ? tail(s) : QVector<int>();
    for (int m : sections[s].members) {
        if (!own.contains(m)) {
            choices.append(m);
        }
    }
    return choices;
}

Owner ownerOf(const SectionSplitter::Section &section, const QVector<int> &choices,
              const QVector<Field> &fields, const QVector<QString> &kinds, const PageWords &page,
              QString &word)
{
    const Table &t = table();
    for (int m : choices) {
        const Field &f = fields[m];
        if (f.htmlType != QLatin1String("checkbox") && f.htmlType != QLatin1String("radio")) {
            continue;
        }
        const QString folded =
            fold(f.label + QLatin1Char(' ') + f.textAfter + QLatin1Char(' ') + f.ariaLabel);
        for (const QString &w : t.sameAs.list) {
            if (folded.contains(w)) {
                word = w;
                return Owner::SameAs;
            }
        }
    }
    // A relation select the page set to 本人 says the section is the user's.
    for (int m : section.members) {
        const Field &f = fields[m];
        if (isSelect(f) && f.selectedIndex >= 0 && f.selectedIndex < f.options.size()) {
            const QString chosen = fold(f.options[f.selectedIndex].text);
            if (t.ownSection.list.contains(chosen)) {
                word = chosen;
                return Owner::Own;
            }
        }
    }
    for (const QString &title : section.titles) {
        const Whose whose = whoseText(title, page, word);
        if (whose == Whose::Other) {
            return Owner::Other;
        }
        if (whose == Whose::Own) {
            return Owner::Own;
        }
        const QString folded = fold(title);
        for (const QString &w : t.places.list) {
            if (folded.contains(w)) {
                word = w;
                return Owner::Place;
            }
        }
    }
    // Names that carry whose: most of the section's values under ship_, vac_, txtSeikyu….
    int other = 0, place = 0, valued = 0;
    for (int m : section.members) {
        if (kinds[m].isEmpty()) {
            continue;
        }
        ++valued;
        const QStringList words = tokens(fields[m].name) + tokens(fields[m].id);
        for (const QString &token : words) {
            if (t.otherTokens.contains(token) || t.placeTokens.contains(token)) {
                word = token + QLatin1Char('_');
                ++(t.otherTokens.contains(token) ? other : place);
                break;
            }
        }
    }
    if (valued > 0 && (other + place) * 2 > valued) {
        return other >= place ? Owner::Other : Owner::Place;
    }
    return Owner::Unsaid;
}

// Who a section of another person's is about: the first party whose words its titles or its owner
// word hold, else whose tokens most of its named values carry; empty when nothing says.
QString partyOf(const SectionSplitter::Section &section, const QString &word, const QVector<Field> &fields)
{
    const Table &t = table();
    const QString folded = fold(section.titles.join(QLatin1Char(' ')) + QLatin1Char(' ') + word);
    for (const auto &party : t.parties) {
        if (party.second.containedIn(folded)) {
            return party.first;
        }
    }
    QHash<QString, int> votes;
    int named = 0;
    for (int m : section.members) {
        const QStringList words = tokens(fields[m].name) + tokens(fields[m].id);
        if (words.isEmpty()) {
            continue;
        }
        ++named;
        for (const auto &party : t.partyTokens) {
            if (std::any_of(words.cbegin(), words.cend(),
                            [&](const QString &w) { return party.second.contains(w); })) {
                ++votes[party.first];
                break;
            }
        }
    }
    for (auto it = votes.constBegin(); it != votes.constEnd(); ++it) {
        if (it.value() * 2 > named) {
            return it.key();
        }
    }
    return QString();
}

// Leaves alone the sections that are not the user's: another person's or place's, a copy of another
// section; of the sections no word gives to anyone, those repeating the values of a section filled
// before (the user's, else the first); another place of the user's only where nothing else is filled.
void leaveOthersSections(const QVector<SectionSplitter::Section> &sections, const QVector<Owner> &owners,
                         const QStringList &words, const QVector<QString> &kinds, QVector<Reading> &readings,
                         QVector<QString> &keys)
{
    const bool anyOwn = owners.contains(Owner::Own);
    QSet<QString> taken;
    QVector<QString> refusals(sections.size());
    const auto kindsOf = [&](const SectionSplitter::Section &section) {
        QSet<QString> held;
        for (int m : section.members) {
            if (anyOwn && kinds[m].startsWith(QLatin1String("name:"))) {
                // Beside the user's section, a whole name repeats a name given in parts, and the reverse.
                held.insert(QStringLiteral("name:") + kinds[m].section(QLatin1Char(':'), 2));
            } else if (!kinds[m].isEmpty()) {
                held.insert(kinds[m]);
            }
        }
        return held;
    };
    for (int s = 0; s < sections.size(); ++s) {
        if (owners[s] == Owner::Own) {
            taken += kindsOf(sections[s]);
        }
    }
    for (int s = 0; s < sections.size(); ++s) {
        const QSet<QString> held = kindsOf(sections[s]);
        switch (owners[s]) {
        case Owner::Own:
            break;
        case Owner::Other:
            refusals[s] = QStringLiteral("another person's section: ") + words[s];
            break;
        case Owner::SameAs:
            refusals[s] = QStringLiteral("a section with a choice: ") + words[s];
            break;
        case Owner::Place:
            refusals[s] = QStringLiteral("another place's section: ") + words[s];
            break;
        case Owner::Unsaid:
            if (held.intersects(taken)) {
                refusals[s] = QStringLiteral("a section of no one's repeating another");
            } else {
                taken += held;
            }
            break;
        }
    }
    // Another place of the user's is filled only where no other section takes these values (an
    // English sign-up's shipping address, the only address it asks for).
    for (int s = 0; s < sections.size(); ++s) {
        const QSet<QString> held = kindsOf(sections[s]);
        if (owners[s] == Owner::Place && !held.isEmpty() && !held.intersects(taken)) {
            refusals[s].clear();
            taken += held;
        }
    }
    for (int s = 0; s < sections.size(); ++s) {
        if (refusals[s].isEmpty()) {
            continue;
        }
        for (int m : sections[s].members) {
            if (readings[m].concept != Concept::None && readings[m].refusal.isEmpty()) {
                readings[m].refusal = refusals[s];
                keys[m].clear();
            }
        }
    }
}

// The sections of one form: their numbers and parties in the decisions and, with leaveOthers, those
// that are not the user's left alone.
void decideSections(const QVector<Field> &fields, const QVector<QString> &kinds, const QVector<int> &members,
                    const PageWords &page, QVector<Reading> &readings, QVector<QString> &keys,
                    QVector<Decision> &decisions, int &sectionCount, bool leaveOthers)
{
    QVector<Field> formFields;
    QVector<QString> formKinds;
    for (int i : members) {
        formFields.append(fields[i]);
        formKinds.append(kinds[i]);
    }
    const auto whose = [&page](const QString &title) {
        QString word;
        const Whose said = whoseText(title, page, word);
        if (said != Whose::Unsaid) {
            return said == Whose::Own ? 1 : 2;
        }
        return table().places.containedIn(fold(title)) ? 3 : 0;
    };
    QVector<SectionSplitter::Section> sections = SectionSplitter::split(formFields, formKinds, whose);
    if (sections.size() < 2) {
        return;
    }
    for (SectionSplitter::Section &section : sections) {
        for (int &m : section.members) {
            m = members[m];
        }
    }
    QVector<Owner> owners;
    QStringList words;
    for (int s = 0; s < sections.size(); ++s) {
        QString word;
        owners.append(ownerOf(sections[s], choicesOf(sections, s, kinds), fields, kinds, page, word));
        words.append(word);
    }
    for (int s = 0; s < sections.size(); ++s) {
        QStringList names;
        for (int m : sections[s].members) {
            names.append(fields[m].id.isEmpty() ? fields[m].name : fields[m].id);
        }
        static const char *const ownerNames[] = {"no one's", "the user's", "another person's",
                                                 "another place's", "a copy"};
        qCDebug(lcFill) << "fillPage section" << s << ownerNames[int(owners[s])] << words[s]
                        << sections[s].titles << names;
    }
    const auto heldKinds = [&](const SectionSplitter::Section &section) {
        QStringList held;
        for (int m : section.members) {
            if (!kinds[m].isEmpty()) {
                held.append(kinds[m]);
            }
        }
        return held;
    };
    const Words &household = table().parties.last().second;
    QStringList parties;
    for (int s = 0; s < sections.size(); ++s) {
        QString party = owners[s] == Owner::Other ? partyOf(sections[s], words[s], fields) : QString();
        const QString titles = fold(sections[s].titles.join(QLatin1Char(' ')));
        // The further rows of a members' table, untitled but for a relationship column: after its first
        // row (the user's, or a member's), with the same values. A first row that no word gives to
        // anyone may be the user's own (同時に転居される世帯員 with the user first): it is not guessed.
        const bool untitled = sections[s].titles.isEmpty() || table().relationBox.containedIn(titles);
        if (party.isEmpty() && owners[s] == Owner::Unsaid && s > 0 && untitled
            && heldKinds(sections[s]) == heldKinds(sections[s - 1]) && !heldKinds(sections[s]).isEmpty()
            && (parties[s - 1] == QLatin1String("household")
                || (owners[s - 1] == Owner::Own
                    && household.containedIn(fold(sections[s - 1].titles.join(QLatin1Char(' '))))))) {
            party = QStringLiteral("household");
        }
        parties.append(party);
        for (int m : sections[s].members) {
            decisions[m].section = sectionCount + s;
            if (!party.isEmpty() || owners[s] == Owner::Own) {
                decisions[m].party = party;
            }
        }
    }
    sectionCount += sections.size();
    if (!leaveOthers) {
        return;
    }
    leaveOthersSections(sections, owners, words, kinds, readings, keys);
}

} // namespace

// Sections, one form at a time: a page's search box or login form is no second person.
void splitSections(const QVector<Field> &fields, const QVector<int> &candidates,
                   const QVector<QString> &othersKinds, const PageWords &page, QVector<Reading> &readings,
                   QVector<QString> &keys, QVector<Decision> &decisions, bool leaveOthers)
{
    QVector<QString> kinds = othersKinds;
    for (int i : qAsConst(candidates)) {
        kinds[i] = kindOf(fields[i], readings[i], keys[i]);
    }
    QHash<QString, QVector<int>> byForm;
    QStringList forms;
    for (int i = 0; i < fields.size(); ++i) {
        if (!byForm.contains(fields[i].form)) {
            forms.append(fields[i].form);
        }
        byForm[fields[i].form].append(i);
    }
    int sectionCount = 0;
    for (const QString &form : qAsConst(forms)) {
        decideSections(fields, kinds, byForm.value(form), page, readings, keys, decisions, sectionCount,
                       leaveOthers);
    }
}

// Boxes that ask how someone is related, wherever they are: filled only in another person's section.
void markRelationBoxes(const QVector<Field> &fields, QVector<Decision> &decisions)
{
    const Table &t = table();
    for (int i = 0; i < fields.size(); ++i) {
        const QStringList words = tokens(fields[i].name) + tokens(fields[i].id);
        // A relationship to a child (入園児との続柄) is not the one stored for the person.
        const QString texts = ownTexts(fields[i]);
        const bool toAChild = std::any_of(t.parties.cbegin(), t.parties.cend(), [&](const auto &party) {
            return party.first == QLatin1String("child") && party.second.containedIn(texts);
        });
        decisions[i].relationBox =
            !isRadio(fields[i]) && fields[i].htmlType != QLatin1String("checkbox") && !toAChild
            && (t.relationBox.containedIn(texts)
                || std::any_of(words.cbegin(), words.cend(),
                               [&](const QString &w) { return t.relationTokens.contains(w); }));
    }
}

} // namespace Internal
} // namespace FieldRecognizer

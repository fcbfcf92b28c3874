#include "fill/formfiller.h"

#include "fill/fieldfiller.h"
#include "fill/fieldmenu.h"
#include "fill/fieldrecognizer.h"
#include "fill/selectmatcher.h"
#include "logging.h"
#include "store/household.h"
#include "store/profiledocument.h"
#include "text/texttransforms.h"

#include <QMap>
#include <QRegularExpression>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>

#include <algorithm>
#include <utility>

namespace {

constexpr int pollMs = 50;

bool isPostal(const QString &key)
{
    return key.startsWith(QLatin1String("zipcode"));
}

// How the log names a control: what it is known by, else its name.
QString shownIdentifierOf(const PageControl &control)
{
    if (!control.identifier.isEmpty()) {
        return control.identifier;
    }
    return control.id.trimmed().isEmpty() ? control.name : control.id;
}

bool isEmptyState(const PageControl &control, const Page::State &state)
{
    if (control.tag != QLatin1String("SELECT")) {
        return state.value.isEmpty();
    }
    // A placeholder ("選択してください") or nothing chosen.
    const int index = state.selectedIndex;
    return index < 0 || index >= control.options.size() || control.options[index].value.isEmpty();
}

// What a lookup script would change: the values and choices of the fields still to fill.
QStringList valuesOf(const QVector<Page::State> &states)
{
    QStringList values;
    for (const Page::State &state : states) {
        values.append(state.value + QLatin1Char('\n') + QString::number(state.selectedIndex));
    }
    return values;
}

// Width, case and spaces aside; in postal codes and phone numbers only the digits count.
bool agrees(const QString &onPage, const QString &ours, const QString &key)
{
    const auto fold = [](const QString &text) {
        static const QRegularExpression spaces(QStringLiteral("\\s+"));
        return text.normalized(QString::NormalizationForm_KC).toLower().remove(spaces);
    };
    if (fold(onPage) == fold(ours)) {
        return true;
    }
    if (key.startsWith(QLatin1String("pref"))) {
        const int code = SelectMatcher::prefectureCode(onPage, false);
        return code > 0 && code == SelectMatcher::prefectureCode(ours, false);
    }
    if (isPostal(key) || key.startsWith(QLatin1String("telephone"))) {
        static const QRegularExpression nonDigits(QStringLiteral("\\D"));
        const QString digits = fold(onPage).remove(nonDigits);
        return !digits.isEmpty() && digits == fold(ours).remove(nonDigits);
    }
    return false;
}

FieldRecognizer::Hints hintsFor(const ProfileDocument &document)
{
    FieldRecognizer::Hints hints;
    static const QRegularExpression mobile(QStringLiteral("^0[789]0"));
    hints.mobilePhone =
        mobile.match(TextTransforms::digitsOnly(document.value(QStringLiteral("telephone")))).hasMatch();
    return hints;
}

// An address box after printed text that is the beginning of the user's address (大阪市北区 [ ])
// takes what follows it.
QString afterPrinted(const QString &value, const QString &key, const PageControl &field)
{
    static const QStringList addressKeys{QStringLiteral("fullAddress"), QStringLiteral("streetAddress"),
                                         QStringLiteral("cityAddress"), QStringLiteral("cityStreet"),
                                         QStringLiteral("cityTown")};
    const QString printed = field.textBefore.trimmed();
    if (printed.size() < 2 || !addressKeys.contains(key.section(QLatin1Char('.'), 0, 0))) {
        return value;
    }
    const int at = value.indexOf(printed);
    return at >= 0 && at + printed.size() < value.size() ? value.mid(at + printed.size()).trimmed() : value;
}

} // namespace

FormFiller::FormFiller(Page &page, ProfileDocument &document, const FieldFiller &menu, QObject *parent)
    : QObject(parent)
    , m_page(page)
    , m_document(document)
    , m_menu(menu)
{
    m_poll.setInterval(pollMs);
    connect(&m_poll, &QTimer::timeout, this, &FormFiller::poll);
    // A fill waiting for the page ends with the page: nothing of it is written into the next one.
    connect(&m_page, &Page::loadStarted, this, &FormFiller::cancel);
    connect(&m_page, &Page::loadStarted, this, &FormFiller::dropUndo);
}

FormFiller::~FormFiller() = default;

void FormFiller::fillPage()
{
    begin(false, {});
}

void FormFiller::refillPage()
{
    begin(true, {});
}

void FormFiller::fillSection(Page::Handle control, int person)
{
    if (m_busy) {
        qCDebug(lcFill) << "fillSection busy";
        return;
    }
    m_sectionControl = control;
    m_sectionPerson = person;
    begin(false, {});
}

void FormFiller::refillAppeared(const QVector<PageControl> &controls)
{
    if (!m_document.fillsWholeForm(m_page.address())) {
        return;
    }
    QVector<Page::Handle> appeared;
    for (const PageControl &control : controls) {
        appeared.append(control.handle);
    }
    begin(true, appeared);
}

void FormFiller::begin(bool automatic, const QVector<Page::Handle> &only)
{
    if (m_busy) {
        if (automatic) {
            // Controls that appear while a fill runs are filled right after it.
            m_queued = true;
            m_queuedOnly += only;
        } else if (m_automatic) {
            // The user's own fill follows the browser's: it is recorded and reported as always.
            m_queuedByUser = true;
        }
        qCDebug(lcFill) << "fillPage busy";
        return;
    }
    m_busy = true;
    m_fruitlessRounds = 0;
    m_sectionFill = false;
    if (automatic) {
        m_sectionControl = 0;
    }
    m_automatic = automatic;
    m_only = only;
    ++m_run;
    m_readPending = false;
    m_worked = 0;
    m_saving = 0;
    m_working.start();
    // An open composition would replace what goes into the focused field with its own text. The
    // browser's own refill leaves it open, and the field it is in alone.
    if (!automatic) {
        m_page.endComposition();
    }
    m_address = m_page.address();
    const int run = m_run;
    m_page.scan([this, run](const QVector<PageControl> &scanned) {
        if (current(run)) {
            start(scanned);
        }
    });
}

// The one stored person each section about someone else is for; -1 for the user's controls and for
// sections no single person fits (none, or several). A person fills one section of a page.
QVector<int> FormFiller::peopleFor(const QVector<PageControl> &scanned,
                                   const QVector<FieldRecognizer::Decision> &decisions,
                                   const QVector<FieldRecognizer::Decision> &asOwn) const
{
    QVector<int> personOf(scanned.size(), -1);
    const QVector<Person> &people = m_document.people();
    if (people.isEmpty() || asOwn.size() != scanned.size()) {
        return personOf;
    }
    // By number in page order; controls of no split section by whom they are about.
    QMap<QPair<int, QString>, QVector<int>> sections;
    for (int i = 0; i < decisions.size(); ++i) {
        if (!decisions[i].party.isEmpty()) {
            sections[{decisions[i].section, decisions[i].party}].append(i);
        }
    }
    QSet<int> used;
    for (auto section = sections.constBegin(); section != sections.constEnd(); ++section) {
        const QString party = decisions[section->first()].party;
        // A value asked twice is two people's (緊急連絡先 1 and 2 under one title): none of them is
        // told apart, so none is filled.
        QSet<QString> asked;
        bool twice = false;
        for (int i : *section) {
            const QString &key = asOwn[i].key;
            if (!key.isEmpty() && !asOwn[i].check) {
                twice = twice || asked.contains(key);
                asked.insert(key);
            }
        }
        if (twice) {
            qCDebug(lcFill) << "fillPage section" << section.key().first << party
                            << "asks for more than one person: left alone";
            continue;
        }
        // The relationship the page chose in the section (被保険者: 配偶者), if any.
        QString chosen;
        for (int i : *section) {
            const PageControl &c = scanned[i];
            if (decisions[i].relationBox && c.tag == QLatin1String("SELECT") && c.selectedIndex > 0
                && c.selectedIndex < c.options.size() && !c.options[c.selectedIndex].value.isEmpty()) {
                chosen = c.options[c.selectedIndex].text.trimmed();
            }
        }
        QVector<int> fitting;
        if (party == QLatin1String("household")) {
            // A members' table: its rows take the people living with the user, in their stored order.
            for (int p = 0; p < people.size() && fitting.isEmpty(); ++p) {
                if (people[p].livesWithUser && !used.contains(p)) {
                    fitting.append(p);
                }
            }
        }
        for (int p = 0; p < people.size() && party != QLatin1String("household"); ++p) {
            const Person &person = people[p];
            const QString group = FieldRecognizer::relationGroup(person.relation);
            bool fits = false;
            if (party == QLatin1String("emergency")) {
                fits = person.roles.contains(QStringLiteral("緊急連絡先"));
            } else if (party == QLatin1String("guarantor")) {
                fits = person.roles.contains(QStringLiteral("保証人"));
            } else if (party == QLatin1String("spouse") || party == QLatin1String("child")) {
                fits = group == party;
            } else if (party == QLatin1String("insured") && !chosen.isEmpty()) {
                fits = person.relation == chosen
                       || (!group.isEmpty() && group == FieldRecognizer::relationGroup(chosen));
            }
            if (fits && !used.contains(p)) {
                fitting.append(p);
            }
        }
        if (fitting.size() != 1) {
            qCDebug(lcFill) << "fillPage section" << section.key().first << party << "fits" << fitting.size()
                            << "stored people: left alone";
            continue;
        }
        used.insert(fitting.first());
        for (int i : *section) {
            personOf[i] = fitting.first();
        }
    }
    return personOf;
}

// A relationship select without the relation itself: the most general option of its group (長女 →
// 子, 夫 → 配偶者), by the options' texts.
int FormFiller::relationOption(const QVector<PageControl::Option> &options, const QString &relation)
{
    const QStringList names = FieldRecognizer::relationsOf(FieldRecognizer::relationGroup(relation));
    for (const QString &name : names) {
        for (int o = 0; o < options.size(); ++o) {
            if (options[o].text.trimmed() == name) {
                return o;
            }
        }
    }
    return -1;
}

void FormFiller::start(const QVector<PageControl> &scanned)
{
    const int language = m_menu.inputLanguage();
    const QVector<FieldRecognizer::Decision> decisions =
        FieldRecognizer::recognize(scanned, language, hintsFor(m_document));
    // In English a Latin-letter key the profile lacks falls back to the Japanese one, as in the menu;
    // not where the field itself asks for Latin letters.
    FieldRecognizer::Hints japaneseHints = hintsFor(m_document);
    japaneseHints.latinLabelsMakeEnglish = false;
    const QVector<FieldRecognizer::Decision> japanese =
        language == FieldMenu::Japanese
            ? decisions
            : FieldRecognizer::recognize(scanned, FieldMenu::Japanese, japaneseHints);

    QVector<FieldRecognizer::Decision> asOwn;
    const Page::Handle sectionControl = std::exchange(m_sectionControl, 0);
    if (!m_document.people().isEmpty()
        && (sectionControl
            || std::any_of(decisions.cbegin(), decisions.cend(),
                           [](const FieldRecognizer::Decision &d) { return !d.party.isEmpty(); }))) {
        FieldRecognizer::Hints ownHints = hintsFor(m_document);
        ownHints.leaveOthersSections = false;
        asOwn = FieldRecognizer::recognize(scanned, language, ownHints);
    }
    QVector<int> personOf = peopleFor(scanned, decisions, asOwn);
    // この欄をまとめて入力: the controls of the clicked one's section, all for the chosen person.
    QSet<Page::Handle> section;
    if (sectionControl) {
        const auto clicked = std::find_if(scanned.cbegin(), scanned.cend(),
                                          [&](const PageControl &c) { return c.handle == sectionControl; });
        const int at = clicked == scanned.cend() ? -1 : int(clicked - scanned.cbegin());
        for (int i = 0; i < scanned.size(); ++i) {
            const bool member = at >= 0 && !decisions[at].party.isEmpty()
                                && decisions[i].section == decisions[at].section
                                && decisions[i].party == decisions[at].party;
            personOf[i] = member && m_sectionPerson < m_document.people().size() ? m_sectionPerson : -1;
            if (personOf[i] >= 0) {
                section.insert(scanned[i].handle);
            }
        }
        if (section.isEmpty()) {
            qCDebug(lcFill) << "fillSection: the control is in no one else's section";
        }
        m_sectionFill = true;
    }

    static const QStringList textTypes{QString(),
                                       QStringLiteral("text"),
                                       QStringLiteral("search"),
                                       QStringLiteral("tel"),
                                       QStringLiteral("url"),
                                       QStringLiteral("email"),
                                       QStringLiteral("number"),
                                       QStringLiteral("password")};
    m_controls.clear();
    m_controls.reserve(scanned.size());
    for (int i = 0; i < scanned.size(); ++i) {
        const PageControl &field = scanned[i];
        if ((!m_only.isEmpty() && !m_only.contains(field.handle))
            || (sectionControl && !section.contains(field.handle))) {
            // Only what appeared is filled, the rest was there for an earlier fill; or the section asked.
            continue;
        }
        Control control;
        control.page = field;
        control.select = field.tag == QLatin1String("SELECT");
        if (!control.select) {
            control.earlier = field.value;
        } else if (field.selectedIndex >= 0 && field.selectedIndex < field.options.size()) {
            control.earlier = field.options[field.selectedIndex].value;
        }
        control.check = decisions[i].check;
        control.countsWhenEmpty = (control.select || textTypes.contains(field.type.trimmed().toLower()))
                                  && !field.readOnly && !field.disabled && field.visible;
        control.shownIdentifier = shownIdentifierOf(field);
        // A radio button is not recorded: a refill would type the value into it, not check it.
        if (field.ownsIdentifier && !decisions[i].check) {
            control.identifier = field.identifier;
        }
        control.evidence = decisions[i].evidence;
        QString key = decisions[i].key;
        if (!key.isEmpty() && key != japanese[i].key && !m_document.holds(key)) {
            key = japanese[i].key;
        }
        const int person = key.isEmpty() ? personOf.value(i, -1) : -1;
        if (person >= 0) {
            // Another person's section: what the control would take were it the user's, from the
            // person's values; its relationship box gets the relation.
            key = decisions[i].relationBox ? QStringLiteral("relation") : asOwn[i].key;
            control.check = !decisions[i].relationBox && asOwn[i].check;
            control.person = m_document.people()[person].reference();
            control.evidence =
                (decisions[i].relationBox ? QStringLiteral("a relationship box") : asOwn[i].evidence)
                + QStringLiteral(", for ") + control.person;
        }
        if (!key.isEmpty() && field.htmlType == QLatin1String("password")) {
            // Passwords are the user's to pick from the field menu; the whole-form fill never writes
            // or records one.
            qCWarning(lcFill) << "fillPage refused a password box"
                              << Logging::masked(shownIdentifierOf(field)) << key;
            key.clear();
            control.evidence = QStringLiteral("a password box");
        } else if (!key.isEmpty() && m_automatic && m_document.pageRules().contains(field.identifier)) {
            // What the user picked or cleared from the field menu on this page stands.
            control.evidence = QStringLiteral("a recorded rule fills it");
        } else if (!key.isEmpty() && !field.visible) {
            // What the user cannot see is not filled: a page may hide fields to collect more than it
            // shows.
            control.evidence = QStringLiteral("not visible");
        } else if (!key.isEmpty()) {
            control.value = afterPrinted(person >= 0 ? m_document.personValue(person, key)
                                                     : m_document.readValue(key).value_or(QString()),
                                         key, field);
            if (control.value.isEmpty()) {
                control.evidence = QStringLiteral("nothing stored, ") + control.evidence;
            } else if (field.maxLength >= 0 && control.value.size() > field.maxLength && !control.select) {
                // Cut short it would be wrong: the page could not take the whole value.
                control.evidence =
                    QStringLiteral("longer than maxlength %1, ").arg(field.maxLength) + control.evidence;
            } else {
                control.key = key;
                control.state = Control::Pending;
            }
        }
        if (control.state == Control::Untouched) {
            qCDebug(lcFill) << "fillPage skipped" << Logging::masked(control.shownIdentifier) << key
                            << Logging::masked(control.evidence);
        }
        m_controls.append(control);
    }

    // Postal code first: lookup scripts write the address from it, sometimes over what is there.
    const bool postal = std::any_of(m_controls.cbegin(), m_controls.cend(), [](const Control &control) {
        return control.state == Control::Pending && isPostal(control.key);
    });
    const bool more = std::any_of(m_controls.cbegin(), m_controls.cend(), [](const Control &control) {
        return control.state == Control::Pending && !isPostal(control.key);
    });
    if (!postal || !more) {
        finish();
        return;
    }
    fillPending(true, [this] { waitForPage(); });
}

void FormFiller::fillPending(bool postalOnly, const std::function<void()> &next)
{
    QVector<Page::Write> writes;
    QVector<int> asked;
    for (int i = 0; i < m_controls.size(); ++i) {
        Control &control = m_controls[i];
        if (control.state != Control::Pending || (postalOnly && !isPostal(control.key))) {
            continue;
        }
        if (control.check) {
            // A radio button of a group: only the one standing for the value is checked.
            const PageControl::Option button{control.page.label + QLatin1Char(' ') + control.page.textAfter,
                                             control.page.value};
            const QVector<PageControl::Option> buttons{button};
            if (SelectMatcher::match(buttons, control.value, SelectMatcher::kindForKey(control.key)) < 0
                && SelectMatcher::match({{control.page.value, control.page.value}}, control.value,
                                        SelectMatcher::kindForKey(control.key))
                       < 0) {
                control.state = Control::Untouched;
                qCDebug(lcFill) << "fillPage skipped" << Logging::masked(control.shownIdentifier)
                                << control.key
                                << Logging::masked(QStringLiteral("another button of the group, ")
                                                   + control.evidence);
                continue;
            }
            writes.append({control.page.handle, control.value, Page::How::Check});
        } else if (control.select) {
            control.option = SelectMatcher::match(control.page.options, control.value,
                                                  SelectMatcher::kindForKey(control.key));
            if (control.option < 0 && control.key == QLatin1String("relation")) {
                control.option = relationOption(control.page.options, control.value);
            }
            if (control.option < 0) {
                control.state = Control::Untouched;
                qCDebug(lcFill) << "fillPage skipped" << Logging::masked(control.shownIdentifier)
                                << control.key
                                << Logging::masked(QStringLiteral("no option matches, ") + control.evidence);
                continue;
            }
            writes.append(
                {control.page.handle, control.page.options[control.option].value, Page::How::IfUnchosen});
        } else {
            // The page may have filled the field since it was read (a lookup script): only if empty,
            // or over what it wrote when that is the beginning of the value.
            writes.append({control.page.handle, control.value,
                           control.completing ? Page::How::Replace : Page::How::IfEmpty});
        }
        asked.append(i);
    }
    for (Page::Write &write : writes) {
        write.unasked = m_automatic;
    }
    const int run = m_run;
    m_page.write(writes, [this, run, asked, postalOnly, next](const QVector<Page::State> &states) {
        if (!current(run)) {
            return;
        }

        bool completing = false;
        int lost = 0;
        for (int i = 0; i < asked.size(); ++i) {
            Control &control = m_controls[asked[i]];
            const bool second = control.completing;
            settle(control, states.value(i));
            completing = completing || (control.completing && !second && control.state == Control::Pending);
            lost += control.lost ? 1 : 0;
        }
        if (!m_busy || run != m_run) {
            return;
        }
        m_fruitlessRounds = lost > 0 && lost == asked.size() ? m_fruitlessRounds + 1 : 0;
        if (m_fruitlessRounds > 1) {
            // Twice not one write stayed: a page that replaces its controls whatever is written gets
            // no more rounds.
            for (Control &control : m_controls) {
                if (std::exchange(control.lost, false)) {
                    control.state = Control::Untouched;
                    qCDebug(lcFill) << "fillPage skipped" << Logging::masked(control.shownIdentifier)
                                    << control.key << Logging::masked(QStringLiteral("gone from the page"));
                }
            }
        } else if (lost > 0) {
            findReplacements([this, postalOnly, next] { fillPending(postalOnly, next); });
            return;
        }
        if (completing) {
            fillPending(postalOnly, next);
            return;
        }
        next();
    });
}

void FormFiller::settle(Control &control, const Page::State &state)
{
    const auto skip = [&control](const QString &why) {
        control.state = Control::Untouched;
        qCDebug(lcFill) << "fillPage skipped" << Logging::masked(control.shownIdentifier) << control.key
                        << Logging::masked(why);
    };
    const auto done = [&control](Control::State result, const QString &why) {
        control.state = result;
        qCDebug(lcFill) << (result == Control::Kept ? "fillPage kept" : "fillPage filled")
                        << Logging::masked(control.shownIdentifier) << control.key << Logging::masked(why);
    };
    if (!state.found || state.replaced) {
        control.lost = true;
        return;
    }
    if (control.select) {
        if (!state.written) {
            if (state.selectedIndex == control.option && control.followed) {
                control.after = state.value;
                done(Control::Filled, control.evidence + QStringLiteral(", in the control rendered again"));
            } else if (state.selectedIndex == control.option) {
                done(Control::Kept, QStringLiteral("the page chose the same option"));
            } else {
                skip(QStringLiteral("the page chose another option"));
            }
        } else if (state.selectedIndex != control.option) {
            skip(QStringLiteral("the page undid the choice"));
        } else {
            control.after = state.value;
            done(Control::Filled, control.evidence);
        }
        return;
    }
    if (!state.written) {
        static const QRegularExpression spaces(QStringLiteral("\\s+"));
        const QString page = QString(state.value).remove(spaces);
        if (agrees(state.value, control.value, control.key) && control.followed) {
            // The page took the value from the control it replaced: this fill wrote it.
            control.after = state.value;
            done(Control::Filled, control.evidence + QStringLiteral(", in the control rendered again"));
        } else if (agrees(state.value, control.value, control.key)) {
            done(Control::Kept, QStringLiteral("the page wrote the same value"));
        } else if (!control.completing && !page.isEmpty() && !control.check
                   && TextTransforms::numeralsFolded(QString(control.value).remove(spaces))
                          .startsWith(TextTransforms::numeralsFolded(page))) {
            // A lookup wrote the beginning of the address (北一条西 for 北1条西): the rest goes after
            // it, once.
            control.state = Control::Pending;
            control.completing = true;
            qCDebug(lcFill) << "fillPage completing" << control.shownIdentifier << control.key << state.value;
        } else {
            skip(QStringLiteral("the page wrote another value"));
        }
        return;
    }
    if (state.value.isEmpty()) {
        // A number field given text, or a page that clears what it does not like.
        skip(QStringLiteral("the field did not take the value"));
        return;
    }
    control.after = state.value;
    done(Control::Filled, control.evidence);
}

void FormFiller::findReplacements(const std::function<void()> &next)
{
    const int run = m_run;
    m_page.scan([this, run, next](const QVector<PageControl> &scanned) {
        if (!current(run)) {
            return;
        }
        QSet<Page::Handle> taken;
        for (const Control &control : qAsConst(m_controls)) {
            taken.insert(control.page.handle);
        }
        for (Control &control : m_controls) {
            if (!control.lost) {
                continue;
            }
            control.lost = false;
            const PageControl &was = control.page;
            // As it was, or with the value the page took from the lost control before replacing it.
            const auto holdsAsBefore = [&](const PageControl &now) {
                if (now.value == was.value || control.check) {
                    return now.value == was.value;
                }
                return control.select ? control.option >= 0 && now.selectedIndex == control.option
                                      : now.value == control.value;
            };
            // Only a control known by the same id and name counts as the same field: a generated
            // identifier says nothing about what the new control is.
            const auto same = std::find_if(scanned.cbegin(), scanned.cend(), [&](const PageControl &now) {
                return !taken.contains(now.handle) && now.frame == was.frame && now.tag == was.tag
                       && now.htmlType == was.htmlType && now.id == was.id && now.name == was.name
                       && (!now.id.isEmpty() || !now.name.isEmpty()) && holdsAsBefore(now) && now.visible
                       && !now.disabled && !now.readOnly;
            });
            if (same == scanned.cend()) {
                control.state = Control::Untouched;
                qCDebug(lcFill) << "fillPage skipped" << Logging::masked(control.shownIdentifier)
                                << control.key << Logging::masked(QStringLiteral("gone from the page"));
                continue;
            }
            taken.insert(same->handle);
            control.page = *same;
            control.followed = true;
        }
        next();
    });
}

QVector<Page::Handle> FormFiller::pendingHandles() const
{
    QVector<Page::Handle> handles;
    for (const Control &control : m_controls) {
        if (control.state == Control::Pending) {
            handles.append(control.page.handle);
        }
    }
    return handles;
}

void FormFiller::waitForPage()
{
    m_pageChanged = false;
    m_waited.start();
    m_worked += m_working.nsecsElapsed();
    const int run = m_run;
    m_page.read(pendingHandles(), [this, run](const QVector<Page::State> &states) {
        if (current(run)) {
            m_lastValues = valuesOf(states);
            m_poll.start();
        }
    });
}

void FormFiller::poll()
{
    if (m_readPending) {
        return;
    }
    m_readPending = true;
    const int run = m_run;
    m_page.read(pendingHandles(), [this, run](const QVector<Page::State> &states) {
        if (!current(run)) {
            return;
        }
        m_readPending = false;
        const QStringList values = valuesOf(states);
        if (values != m_lastValues) {
            m_lastValues = values;
            m_pageChanged = true;
            m_sinceChange.start();
        }
        const qint64 waited = m_waited.elapsed();
        if (waited < longestMs && (m_pageChanged ? m_sinceChange.elapsed() < quietMs : waited < reactionMs)) {
            return;
        }
        m_poll.stop();
        m_working.start();
        // The page may have changed its options (a city list that follows the prefecture).
        QVector<int> selects;
        QVector<Page::Handle> handles;
        for (int i = 0; i < m_controls.size(); ++i) {
            if (m_controls[i].state == Control::Pending && m_controls[i].select) {
                selects.append(i);
                handles.append(m_controls[i].page.handle);
            }
        }
        if (selects.isEmpty()) {
            finish();
            return;
        }
        m_page.readOptions(handles,
                           [this, run, selects](const QVector<QVector<PageControl::Option>> &options) {
                               if (!current(run)) {
                                   return;
                               }
                               for (int i = 0; i < selects.size(); ++i) {
                                   // None read: the select has gone, which the write finds out and follows.
                                   if (!options.value(i).isEmpty()) {
                                       m_controls[selects[i]].page.options = options.value(i);
                                   }
                               }
                               finish();
                           });
    });
}

void FormFiller::end()
{
    m_poll.stop();
    m_controls.clear();
    m_busy = false;
    m_queued = false;
    m_queuedOnly.clear();
    m_queuedByUser = false;
    m_sectionFill = false;
    qCDebug(lcFill) << "fillPage cancelled";
}

void FormFiller::finish()
{
    m_answered = false;
    fillPending(false, [this] { refillAnswered(); });
}

void FormFiller::refillAnswered()
{
    // Only when a select waits for options or is disabled: the common cascading city list.
    const bool waiting =
        !m_answered && std::any_of(m_controls.cbegin(), m_controls.cend(), [](const Control &c) {
            return c.state == Control::Untouched && c.select && c.page.visible && !c.page.readOnly
                   && (c.page.disabled || c.page.options.size() <= 1 || (c.option < 0 && !c.key.isEmpty()));
        });
    if (!waiting) {
        concludeFill();
        return;
    }
    m_answered = true;
    const int run = m_run;
    QTimer::singleShot(answerMs, this, [this, run] {
        if (!current(run)) {
            return;
        }
        m_page.scan([this, run](const QVector<PageControl> &scanned) {
            if (!current(run)) {
                return;
            }
            const QVector<FieldRecognizer::Decision> decisions =
                FieldRecognizer::recognize(scanned, m_menu.inputLanguage(), hintsFor(m_document));
            bool more = false;
            for (Control &control : m_controls) {
                if (control.state != Control::Untouched || !control.select) {
                    continue;
                }
                for (int i = 0; i < scanned.size(); ++i) {
                    if (scanned[i].handle != control.page.handle || !decisions[i].fills()) {
                        continue;
                    }
                    const QString value = m_document.readValue(decisions[i].key).value_or(QString());
                    if (!value.isEmpty() && scanned[i].visible && !scanned[i].disabled) {
                        control.page = scanned[i];
                        control.key = decisions[i].key;
                        control.value = value;
                        control.evidence =
                            decisions[i].evidence + QStringLiteral(", after the page answered");
                        control.state = Control::Pending;
                        more = true;
                    }
                }
            }
            if (more) {
                fillPending(false, [this] { concludeFill(); });
            } else {
                concludeFill();
            }
        });
    });
}

void FormFiller::concludeFill()
{
    const int run = m_run;
    {
        // The empty fields left for the user, in the forms filled.
        QVector<int> asked;
        QVector<Page::Handle> handles;
        QStringList filledForms;
        for (const Control &control : qAsConst(m_controls)) {
            if ((control.state == Control::Filled || control.state == Control::Kept)
                && !filledForms.contains(control.page.form)) {
                filledForms.append(control.page.form);
            }
        }
        for (int i = 0; i < m_controls.size(); ++i) {
            const Control &control = m_controls[i];
            if (control.state != Control::Filled && control.state != Control::Kept && control.countsWhenEmpty
                && filledForms.contains(control.page.form)) {
                asked.append(i);
                handles.append(control.page.handle);
            }
        }
        m_page.read(handles, [this, run, asked](const QVector<Page::State> &states) {
            if (current(run)) {
                conclude(states, asked);
            }
        });
    }
}

void FormFiller::conclude(const QVector<Page::State> &states, const QVector<int> &asked)
{
    int left = 0;
    for (int i = 0; i < asked.size(); ++i) {
        const Page::State &state = states.value(i);
        if (state.found && isEmptyState(m_controls[asked[i]].page, state)) {
            ++left;
        }
    }
    QVariantMap choices;
    int filled = 0;
    QHash<QString, int> filledFor; // by person; "" for the user
    for (const Control &control : qAsConst(m_controls)) {
        if (control.state != Control::Filled && control.state != Control::Kept) {
            continue;
        }
        ++filled;
        ++filledFor[control.person];
        if (m_automatic) {
            continue;
        }
        if (control.identifier.isEmpty()) {
            // Another field answers to its identifier: a rule would refill that one.
            qCDebug(lcFill) << "fillPage not recorded" << Logging::masked(control.shownIdentifier);
        } else {
            choices.insert(control.identifier, control.person.isEmpty()
                                                   ? control.key
                                                   : Household::personKey(control.key, control.person));
        }
    }
    // The rules of the page filled, which need not be the page shown by now.
    const QVariantMap rules = m_document.rulesFor(m_address);
    QVariantMap previousRules;
    for (auto it = choices.constBegin(); it != choices.constEnd(); ++it) {
        previousRules.insert(it.key(), rules.value(it.key()));
    }
    const bool changed = std::any_of(m_controls.cbegin(), m_controls.cend(),
                                     [](const Control &control) { return control.state == Control::Filled; });
    keepUndo(previousRules);
    m_controls.clear();
    const qint64 beforeSave = m_working.nsecsElapsed();
    if (std::exchange(m_sectionFill, false)) {
        // One section the user asked for: recorded as menu choices, not as a page to fill on each visit.
        m_document.recordChoices(m_address, choices);
    } else if (!m_automatic && filled > 0) {
        m_document.recordWholeFormFill(m_address, choices);
    }
    m_saving = m_working.nsecsElapsed() - beforeSave;
    m_worked += m_working.nsecsElapsed();
    m_busy = false;
    qCDebug(lcFill) << (m_automatic ? "refillPage done" : "fillPage done") << filled << left;
    m_lastPeople.clear();
    if (std::any_of(filledFor.keyBegin(), filledFor.keyEnd(),
                    [](const QString &who) { return !who.isEmpty(); })) {
        if (filledFor.value(QString()) > 0) {
            m_lastPeople.append({QString(), filledFor.value(QString())});
        }
        for (int p = 0; p < m_document.people().size(); ++p) {
            const QString reference = m_document.people()[p].reference();
            if (filledFor.value(reference) > 0) {
                m_lastPeople.append({Household::title(m_document.people()[p]), filledFor.value(reference)});
            }
        }
    }
    if (!m_automatic) {
        emit finished(filled, left);
    } else if (changed) {
        emit refilled(filled, left);
    }
    if (std::exchange(m_queuedByUser, false)) {
        // Fills everything the refill left, so a refill asked meanwhile has nothing more to do.
        m_queued = false;
        m_queuedOnly.clear();
        QTimer::singleShot(0, this, &FormFiller::fillPage);
    } else if (std::exchange(m_queued, false)) {
        const QVector<Page::Handle> only = std::exchange(m_queuedOnly, {});
        QTimer::singleShot(0, this, [this, only] { begin(true, only); });
    }
}

// Remembers how to put back what this fill changed; a later fill on the same page adds to it.
void FormFiller::keepUndo(const QVariantMap &previousRules)
{
    Undo undo;
    undo.address = m_address;
    undo.previousRules = previousRules;
    for (const Control &control : qAsConst(m_controls)) {
        if (control.state != Control::Filled) {
            continue;
        }
        Undo::Step step{control.page.handle,
                        control.check,
                        control.after,
                        {control.page.handle, control.earlier, Page::How::Replace}};
        if (control.check) {
            // The button of the group that was on before, if any, goes on again.
            const auto wasOn =
                std::find_if(m_controls.cbegin(), m_controls.cend(), [&control](const Control &c) {
                    const PageControl &other = c.page;
                    return other.checked && other.handle != control.page.handle
                           && other.htmlType == control.page.htmlType && other.name == control.page.name
                           && other.form == control.page.form && other.frame == control.page.frame;
                });
            step.restore = wasOn != m_controls.cend()
                               ? Page::Write{wasOn->page.handle, QString(), Page::How::Check}
                               : Page::Write{control.page.handle, QString(), Page::How::Uncheck};
        }
        undo.steps.append(step);
    }
    if (undo.steps.isEmpty() && (m_automatic || previousRules.isEmpty())) {
        return;
    }
    if (m_undo && m_undo->address == m_address) {
        m_undo->steps += undo.steps;
        for (auto it = previousRules.constBegin(); it != previousRules.constEnd(); ++it) {
            // The rule before the first fill is the one to go back to.
            if (!m_undo->previousRules.contains(it.key())) {
                m_undo->previousRules.insert(it.key(), it.value());
            }
        }
        return;
    }
    setUndo(undo);
}

void FormFiller::setUndo(std::optional<Undo> undo)
{
    const bool had = m_undo.has_value();
    m_undo = std::move(undo);
    if (had != m_undo.has_value() || m_undo) {
        emit undoAvailable(m_undo.has_value());
    }
}

void FormFiller::dropUndo()
{
    if (m_undo) {
        setUndo(std::nullopt);
    }
}

void FormFiller::pageChanged(const QString &address)
{
    if (m_undo && m_undo->address != address) {
        dropUndo();
    }
}

void FormFiller::undo()
{
    if (!m_undo || m_busy) {
        return;
    }
    const Undo undo = *m_undo;
    setUndo(std::nullopt);
    QVector<Page::Handle> handles;
    for (const Undo::Step &step : undo.steps) {
        handles.append(step.handle);
    }
    m_page.read(handles, [this, undo](const QVector<Page::State> &states) {
        // What the user changed since the fill is theirs: only what still shows the fill's value
        // goes back.
        QVector<Page::Write> restore;
        for (int i = 0; i < undo.steps.size(); ++i) {
            const Page::State &state = states.value(i);
            const Undo::Step &step = undo.steps[i];
            if (state.found && (step.check ? state.checked : state.value == step.after)) {
                restore.append(step.restore);
            }
        }
        m_page.write(restore, [this, undo](const QVector<Page::State> &states) {
            const int restored = int(std::count_if(states.cbegin(), states.cend(),
                                                   [](const Page::State &state) { return state.found; }));
            m_document.undoWholeFormFill(undo.address, undo.previousRules);
            qCDebug(lcFill) << "fillPage undone" << restored;
            emit undone(restored);
        });
    });
}

void FormFiller::cancel()
{
    if (!m_busy) {
        return;
    }
    // Whatever the page answers from now on belongs to a fill that is over.
    ++m_run;
    const bool asked = !m_automatic;
    end();
    if (asked) {
        emit pageGone();
    }
}

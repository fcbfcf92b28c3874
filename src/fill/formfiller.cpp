#include "fill/formfiller.h"

#include "bridge/imecomposition.h"
#include "bridge/pagebridge.h"
#include "bridge/pagescripts.h"
#include "fill/fieldfiller.h"
#include "fill/fieldmenu.h"
#include "fill/fieldrecognizer.h"
#include "fill/formscanner.h"
#include "fill/selectmatcher.h"
#include "logging.h"
#include "store/profiledocument.h"

#include <QRegularExpression>
#include <QVariantMap>
#include <QWebFrame>
#include <QWebPage>
#include <QWebView>

namespace {

constexpr int pollMs = 50;

bool isPostal(const QString &key)
{
    return key.startsWith(QLatin1String("zipcode"));
}

// The field's identifier as the page walk gives it: the id, else the name.
QString identifierOf(const FieldRecognizer::Field &field)
{
    return field.id.trimmed().isEmpty() ? field.name : field.id;
}

QWebElement formOf(const QWebElement &element)
{
    for (QWebElement up = element.parent(); !up.isNull(); up = up.parent()) {
        if (up.tagName() == QLatin1String("FORM")) {
            return up;
        }
    }
    return QWebElement();
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

} // namespace

FormFiller::FormFiller(QWebView *view, const PageBridge &bridge, ProfileDocument &document,
                       const FieldFiller &menu, QObject *parent)
    : QObject(parent)
    , m_view(view)
    , m_bridge(bridge)
    , m_document(document)
    , m_menu(menu)
{
    m_poll.setInterval(pollMs);
    connect(&m_poll, &QTimer::timeout, this, &FormFiller::poll);
    // A fill waiting for the page ends with the page: nothing of it is written into the next one.
    connect(m_view, &QWebView::loadStarted, this, &FormFiller::cancel);
}

FormFiller::~FormFiller() = default;

void FormFiller::fillPage()
{
    if (m_busy) {
        qCDebug(lcFill) << "fillPage busy";
        return;
    }
    m_busy = true;
    m_cancelled = false;
    m_worked = 0;
    m_saving = 0;
    m_working.start();
    // An open composition would replace what goes into the focused field with its own text.
    ImeComposition::end(m_view);
    m_address = m_view->url().toString();

    const QVector<FormScanner::Control> scanned = FormScanner::scan(m_view->page()->mainFrame());
    const QVector<FieldRecognizer::Field> fields = FormScanner::fields(scanned);
    const int language = m_menu.inputLanguage();
    const QVector<FieldRecognizer::Decision> decisions = FieldRecognizer::recognize(fields, language);
    // In English a Latin-letter key the profile lacks falls back to the Japanese one, as in the menu;
    // not where the field itself asks for Latin letters.
    const QVector<FieldRecognizer::Decision> japanese =
        language == FieldMenu::Japanese ? decisions : FieldRecognizer::recognize(fields, FieldMenu::Japanese);

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
        const FieldRecognizer::Field &field = fields[i];
        Control control;
        control.element = scanned[i].element;
        control.form = formOf(control.element);
        control.select = field.tag == QLatin1String("SELECT");
        control.countsWhenEmpty = (control.select || textTypes.contains(field.type.trimmed().toLower()))
                                  && !field.readOnly && !field.disabled;
        control.shownIdentifier = identifierOf(field);
        const QWebElement *known = control.select ? m_bridge.select(control.shownIdentifier)
                                                  : m_bridge.input(control.shownIdentifier);
        if (known && *known == control.element) {
            control.identifier = control.shownIdentifier;
        }
        control.evidence = decisions[i].evidence;
        QString key = decisions[i].key;
        if (!key.isEmpty() && key != japanese[i].key && !m_document.holds(key)) {
            key = japanese[i].key;
        }
        if (!key.isEmpty()) {
            control.value = m_document.value(key);
            if (control.value.isEmpty()) {
                control.evidence = QStringLiteral("nothing stored, ") + control.evidence;
            } else {
                control.key = key;
                control.state = Control::Pending;
            }
        }
        if (control.state == Control::Untouched) {
            qCDebug(lcFill) << "fillPage skipped" << control.shownIdentifier << key << control.evidence;
        }
        m_controls.append(control);
    }

    // Postal code first: lookup scripts write the address from it, sometimes over what is there.
    bool postal = false;
    bool more = false;
    for (Control &control : m_controls) {
        if (control.state != Control::Pending) {
            continue;
        }
        if (isPostal(control.key)) {
            fill(control);
            postal = true;
            if (m_cancelled) {
                end();
                return;
            }
        } else {
            more = true;
        }
    }
    if (!postal || !more) {
        finish();
        return;
    }
    m_lastValues = currentValues();
    m_pageChanged = false;
    m_waited.start();
    m_worked += m_working.nsecsElapsed();
    m_poll.start();
}

void FormFiller::poll()
{
    const QStringList values = currentValues();
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
    finish();
}

void FormFiller::end()
{
    m_controls.clear();
    m_busy = false;
    qCDebug(lcFill) << "fillPage cancelled";
}

// The values of the fields still to fill: what a lookup script would change.
QStringList FormFiller::currentValues() const
{
    QStringList values;
    for (const Control &control : m_controls) {
        if (control.state == Control::Pending) {
            QWebElement element = control.element; // a handle: the copy reads the same field
            values.append(element
                              .evaluateJavaScript(control.select ? PageScripts::readSelectedIndex()
                                                                 : PageScripts::readValue())
                              .toString());
        }
    }
    return values;
}

void FormFiller::fill(Control &control)
{
    QWebElement &element = control.element;
    const auto skip = [&control](const QString &why) {
        control.state = Control::Untouched;
        qCDebug(lcFill) << "fillPage skipped" << control.shownIdentifier << control.key << why;
    };
    const auto done = [&control](Control::State state, const QString &why) {
        control.state = state;
        qCDebug(lcFill) << (state == Control::Kept ? "fillPage kept" : "fillPage filled")
                        << control.shownIdentifier << control.key << why;
    };
    if (control.select) {
        const QVector<SelectMatcher::Option> options = FormScanner::options(element);
        const int index =
            SelectMatcher::match(options, control.value, SelectMatcher::kindForKey(control.key));
        const int current = element.evaluateJavaScript(PageScripts::readSelectedIndex()).toInt();
        if (current > 0 && current < options.size() && !options[current].value.isEmpty()) {
            if (current == index) {
                done(Control::Kept, QStringLiteral("the page chose the same option"));
            } else {
                skip(QStringLiteral("the page chose another option"));
            }
            return;
        }
        if (index < 0) {
            skip(QStringLiteral("no option matches, ") + control.evidence);
            return;
        }
        element.evaluateJavaScript(PageScripts::typeValue(options[index].value));
        if (element.evaluateJavaScript(PageScripts::readSelectedIndex()).toInt() != index) {
            skip(QStringLiteral("the page undid the choice"));
            return;
        }
        done(Control::Filled, control.evidence);
        return;
    }
    // One call: the page may have filled the field since it was read (a lookup script).
    const QVariantList typed =
        element.evaluateJavaScript(PageScripts::typeValueIfEmpty(control.value)).toList();
    const QString now = typed.value(1).toString();
    if (!typed.value(0).toBool()) {
        if (agrees(now, control.value, control.key)) {
            done(Control::Kept, QStringLiteral("the page wrote the same value"));
        } else {
            skip(QStringLiteral("the page wrote another value"));
        }
        return;
    }
    if (now.isEmpty()) {
        // A number field given text, or a page that clears what it does not like.
        skip(QStringLiteral("the field did not take the value"));
        return;
    }
    done(Control::Filled, control.evidence);
}

bool FormFiller::isEmpty(const Control &control) const
{
    QWebElement element = control.element;
    if (!control.select) {
        return element.evaluateJavaScript(PageScripts::readValue()).toString().isEmpty();
    }
    // A placeholder ("選択してください") or nothing chosen.
    const int index = element.evaluateJavaScript(PageScripts::readSelectedIndex()).toInt();
    const QVector<SelectMatcher::Option> options = FormScanner::options(element);
    return index < 0 || index >= options.size() || options[index].value.isEmpty();
}

void FormFiller::finish()
{
    for (Control &control : m_controls) {
        if (control.state == Control::Pending) {
            fill(control);
            if (m_cancelled) {
                end();
                return;
            }
        }
    }

    QVector<QWebElement> filledForms;
    QVariantMap choices;
    int filled = 0;
    for (const Control &control : qAsConst(m_controls)) {
        if (control.state != Control::Filled && control.state != Control::Kept) {
            continue;
        }
        ++filled;
        if (!filledForms.contains(control.form)) {
            filledForms.append(control.form);
        }
        if (control.identifier.isEmpty()) {
            // Another field answers to its identifier: a rule would refill that one.
            qCDebug(lcFill) << "fillPage not recorded" << control.shownIdentifier;
        } else {
            choices.insert(control.identifier, control.key);
        }
    }
    int left = 0;
    for (const Control &control : qAsConst(m_controls)) {
        if (control.state != Control::Filled && control.state != Control::Kept && control.countsWhenEmpty
            && filledForms.contains(control.form) && isEmpty(control)) {
            ++left;
        }
    }
    m_controls.clear();
    const qint64 beforeSave = m_working.nsecsElapsed();
    m_document.recordChoices(m_address, choices);
    m_saving = m_working.nsecsElapsed() - beforeSave;
    m_worked += m_working.nsecsElapsed();
    m_busy = false;
    qCDebug(lcFill) << "fillPage done" << filled << left;
    emit finished(filled, left);
}

void FormFiller::cancel()
{
    if (!m_busy) {
        return;
    }
    m_cancelled = true;
    if (m_poll.isActive()) {
        m_poll.stop();
        end();
    }
    // Else a write of ours made the page leave: the fill stops after that write.
}

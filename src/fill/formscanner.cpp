#include "fill/formscanner.h"

#include <QHash>
#include <QWebElementCollection>
#include <QWebFrame>

namespace FormScanner {

namespace {

// What attributes do not tell, in one call per control: the text right before it within its parent
// (text nodes, or the one element before it such as <span>姓</span>, never another control's text),
// its current value, its selected option, and whether it is disabled (a disabled fieldset counts).
const QString stateScript = QStringLiteral(
    "(function (e) {"
    "  var t = '';"
    "  for (var n = e.previousSibling; n; n = n.previousSibling) {"
    "    if (n.nodeType === 3) { t = n.data + t; if (/\\S/.test(t)) break; continue; }"
    "    if (n.nodeType !== 1 || n.tagName === 'BR') continue;"
    "    if (/^(INPUT|SELECT|TEXTAREA|BUTTON)$/.test(n.tagName) || n.querySelector('input,select,textarea'))"
    "      break;"
    "    t = n.textContent + t; break;"
    "  }"
    "  var disabled = false;"
    "  try { disabled = e.matches(':disabled'); } catch (x) { disabled = e.disabled; }"
    "  return [t, e.value, e.selectedIndex === undefined ? -1 : e.selectedIndex, disabled];"
    "})(this)");

QString clean(const QString &text)
{
    return text.simplified().left(80);
}

bool holdsControls(const QWebElement &element)
{
    const QString tag = element.tagName();
    return tag == QLatin1String("INPUT") || tag == QLatin1String("SELECT") || tag == QLatin1String("TEXTAREA")
           || !element.findFirst(QStringLiteral("input, select, textarea")).isNull();
}

bool isBoundary(const QWebElement &element)
{
    const QString tag = element.tagName();
    return tag == QLatin1String("FORM") || tag == QLatin1String("BODY") || tag == QLatin1String("TABLE")
           || tag == QLatin1String("FIELDSET") || tag == QLatin1String("HTML");
}

QString enclosingLabel(const QWebElement &element)
{
    for (QWebElement up = element.parent(); !up.isNull() && !isBoundary(up); up = up.parent()) {
        if (up.tagName() == QLatin1String("LABEL")) {
            QString text = up.toPlainText();
            text.remove(element.toPlainText());
            return clean(text);
        }
    }
    return QString();
}

// The heading of the row the control sits in: the cell before its cell (a <th> or a <td>), the <dt>
// before its <dd>, or the element before its container, whichever comes first going up.
QString rowLabel(const QWebElement &element)
{
    int depth = 0;
    for (QWebElement up = element.parent(); !up.isNull() && !isBoundary(up) && depth < 4;
         up = up.parent(), ++depth) {
        const QWebElement before = up.previousSibling();
        if (before.isNull() || holdsControls(before)) {
            if (up.tagName() == QLatin1String("TD") || up.tagName() == QLatin1String("DD")) {
                return QString();
            }
            continue;
        }
        const QString text = clean(before.toPlainText());
        if (!text.isEmpty() && text.size() <= 40) {
            return text;
        }
        if (up.tagName() == QLatin1String("TD") || up.tagName() == QLatin1String("DD")) {
            return QString();
        }
    }
    return QString();
}

int maxLengthOf(const QWebElement &element)
{
    bool ok = false;
    const int length = element.attribute(QStringLiteral("maxlength")).trimmed().toInt(&ok);
    return ok && length >= 0 ? length : -1;
}

} // namespace

QVector<Control> scan(QWebFrame *frame)
{
    QVector<Control> controls;
    if (!frame) {
        return controls;
    }
    const QWebElement document = frame->documentElement();
    QHash<QString, QString> labelsFor;
    for (const QWebElement &label : document.findAll(QStringLiteral("label[for]"))) {
        const QString target = label.attribute(QStringLiteral("for"));
        if (!labelsFor.contains(target)) {
            labelsFor.insert(target, clean(label.toPlainText()));
        }
    }
    for (QWebElement element : document.findAll(QStringLiteral("input, select"))) {
        Control control{element, {}};
        FieldRecognizer::Field &field = control.field;
        field.tag = element.tagName();
        field.type = element.attribute(QStringLiteral("type"));
        field.name = element.attribute(QStringLiteral("name"));
        field.id = element.attribute(QStringLiteral("id"));
        field.autocomplete = element.attribute(QStringLiteral("autocomplete"));
        field.label = field.id.isEmpty() ? QString() : labelsFor.value(field.id);
        if (field.label.isEmpty()) {
            field.label = enclosingLabel(element);
        }
        const QVariantList state = element.evaluateJavaScript(stateScript).toList();
        field.textBefore = clean(state.value(0).toString());
        field.rowLabel = rowLabel(element);
        field.placeholder = element.attribute(QStringLiteral("placeholder"));
        field.ariaLabel = element.attribute(QStringLiteral("aria-label"));
        field.maxLength = maxLengthOf(element);
        field.pattern = element.attribute(QStringLiteral("pattern"));
        field.inputMode = element.attribute(QStringLiteral("inputmode"));
        field.readOnly = element.hasAttribute(QStringLiteral("readonly"));
        field.disabled = element.hasAttribute(QStringLiteral("disabled")) || state.value(3).toBool();
        if (field.tag == QLatin1String("SELECT")) {
            field.type.clear();
            field.options = options(element);
            field.selectedIndex = state.value(2, -1).toInt();
        } else {
            field.value = state.value(1).toString();
        }
        controls.append(control);
    }
    return controls;
}

QVector<SelectMatcher::Option> options(const QWebElement &select)
{
    QVector<SelectMatcher::Option> found;
    for (const QWebElement &option : select.findAll(QStringLiteral("option"))) {
        const QString text = option.toPlainText().simplified();
        found.append({text, option.hasAttribute(QStringLiteral("value"))
                                ? option.attribute(QStringLiteral("value"))
                                : text});
    }
    return found;
}

QVector<FieldRecognizer::Field> fields(const QVector<Control> &controls)
{
    QVector<FieldRecognizer::Field> described;
    described.reserve(controls.size());
    for (const Control &control : controls) {
        described.append(control.field);
    }
    return described;
}

} // namespace FormScanner

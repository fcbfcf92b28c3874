#include "bridge/pagescripts.h"

#include <QStringList>

#include <algorithm>

namespace PageScripts {

namespace {

bool needsEscape(char16_t u)
{
    // Line and paragraph separators end a line in a script; control characters are escaped so that
    // no text can look like something else to the script parser.
    return u == u'\\' || u == u'\'' || u < 0x20 || (u >= 0x7f && u <= 0x9f) || u == 0x2028 || u == 0x2029;
}

// Called as (function)(this, mode, text). Every step is guarded on its own: a page may have replaced
// or broken any of the objects used here, and what it broke must not stop the other steps. Event
// constructors the engine lacks fall back to document.createEvent.
const QString typingFunction = QStringLiteral(R"JS(function (field, mode, text) {
    function fire(type, kind, init) {
        init.bubbles = true;
        var event = null;
        try { event = new window[kind](type, init); } catch (e) {}
        if (!event) { try { event = new Event(type, init); } catch (e) {} }
        if (!event) {
            try { event = document.createEvent('Event'); event.initEvent(type, true, !!init.cancelable); } catch (e) {}
        }
        try { field.dispatchEvent(event); } catch (e) {}
    }
    function setValue(value) {
        var prototype = null;
        try {
            prototype = field instanceof HTMLTextAreaElement ? HTMLTextAreaElement.prototype
                : field instanceof HTMLSelectElement ? HTMLSelectElement.prototype
                : field instanceof HTMLInputElement ? HTMLInputElement.prototype : null;
            var descriptor = prototype && Object.getOwnPropertyDescriptor(prototype, 'value');
            if (descriptor && descriptor.set) { descriptor.set.call(field, value); return; }
        } catch (e) {}
        field.value = value;
    }
    if (mode !== 'after') {
        var focused = false;
        try { focused = document.activeElement === field; } catch (e) {}
        if (focused) { fire('compositionend', 'CompositionEvent', {data: ''}); }
        fire('focus', 'FocusEvent', {});
        fire('keydown', 'KeyboardEvent', {cancelable: true});
    }
    if (mode === 'set') {
        try { setValue(text); } catch (e) {}
    } else if (mode === 'insert') {
        var inserted = false;
        try { field.setRangeText(text); inserted = true; } catch (e) {}
        if (!inserted) { try { setValue(text); } catch (e) {} }
    }
    if (mode !== 'before') {
        fire('input', 'InputEvent', {});
        fire('keyup', 'KeyboardEvent', {cancelable: true});
        fire('change', 'Event', {});
        fire('blur', 'FocusEvent', {});
    }
    return true;
})JS");

QString typing(QLatin1String mode, const QString &text)
{
    return QStringLiteral("(") + typingFunction + QStringLiteral(")(this,'") + mode + QStringLiteral("','")
           + quoteForScript(text) + QStringLiteral("')");
}

} // namespace

QString quoteForScript(const QString &text)
{
    // Identifiers and values seldom hold anything to escape: then the text is shared, not copied.
    if (std::none_of(text.cbegin(), text.cend(), [](QChar c) { return needsEscape(c.unicode()); })) {
        return text;
    }
    QString quoted;
    quoted.reserve(text.size() + text.size() / 8 + 2);
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        switch (u) {
        case u'\\':
            quoted += QLatin1String("\\\\");
            break;
        case u'\'':
            quoted += QLatin1String("\\'");
            break;
        case u'\n':
            quoted += QLatin1String("\\n");
            break;
        case u'\r':
            quoted += QLatin1String("\\r");
            break;
        default:
            if (needsEscape(u)) {
                quoted += QStringLiteral("\\u%1").arg(uint(u), 4, 16, QLatin1Char('0'));
            } else {
                quoted += c;
            }
        }
    }
    return quoted;
}

QString bridgeSetup()
{
    return QStringList{
        QStringLiteral("delegate.doSignal('test');"),
        QStringLiteral("function sendSignal(sender) {"),
        QStringLiteral("    delegate.doSignal(sender);"),
        QStringLiteral("}"),
    }
        .join(QLatin1Char('\n'));
}

QString clickHandler(const QString &identifier)
{
    return QStringLiteral("sendSignal('") + quoteForScript(identifier) + QStringLiteral("');");
}

QString readValue()
{
    return QStringLiteral("this.value");
}

QString assignValue(const QString &value)
{
    return QStringLiteral("this.value='%1'").arg(quoteForScript(value));
}

QString insertAtSelection(const QString &value)
{
    return QStringLiteral("this.setRangeText('%1')").arg(quoteForScript(value));
}

QString clearValue()
{
    return QStringLiteral("this.value=''");
}

QString tryInsertAtSelection(const QString &value)
{
    return insertAtSelection(value) + QStringLiteral(";true");
}

QString typeValue(const QString &value)
{
    return typing(QLatin1String("set"), value);
}

QString typeAtSelection(const QString &value)
{
    return typing(QLatin1String("insert"), value);
}

QString beforeTyping()
{
    return typing(QLatin1String("before"), QString());
}

QString afterTyping()
{
    return typing(QLatin1String("after"), QString());
}

} // namespace PageScripts

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

// Called as (function)(field, text): sets the value through the setter of the element's prototype,
// or by assignment where there is none (or a page broke the lookup).
const QString nativeSetter = QStringLiteral(
    "function(f,t){try{var P=f instanceof HTMLTextAreaElement?HTMLTextAreaElement:"
    "f instanceof HTMLSelectElement?HTMLSelectElement:f instanceof HTMLInputElement?HTMLInputElement:null,"
    "d=P&&Object.getOwnPropertyDescriptor(P.prototype,'value');if(d&&d.set){d.set.call(f,t);return true}}"
    "catch(x){}try{f.value=t}catch(x){}return true}");

// Called as (function)(this, mode, text): f the field, m the mode, t the text. Every step is guarded
// on its own: a page may have replaced or broken any of the objects used here, and what it broke
// must not stop the other steps. Event constructors the engine lacks fall back to
// document.createEvent. Kept short: the engine compiles it anew for every text written.
const QString typingFunction =
    QStringLiteral("function(f,m,t){"
                   "var E=typeof Event=='function'?Event:null;"
                   "function k(C){return typeof C=='function'?C:E}"
                   "function e(y,C,c){var v=null;"
                   "if(C)try{v=new C(y,{bubbles:true,cancelable:c,data:''})}catch(x){}"
                   "if(!v)try{v=document.createEvent('Event');v.initEvent(y,true,c)}catch(x){}"
                   "try{f.dispatchEvent(v)}catch(x){}}"
                   "var s=")
    + nativeSetter
    + QStringLiteral(
        ";"
        "var F=typeof FocusEvent=='undefined'?E:k(FocusEvent),"
        "K=typeof KeyboardEvent=='undefined'?E:k(KeyboardEvent);"
        "if(m!='after'){var a=false;try{a=document.activeElement===f}catch(x){}"
        "if(a)e('compositionend',typeof CompositionEvent=='undefined'?E:k(CompositionEvent),false);"
        "e('focus',F,false);e('keydown',K,true)}"
        "if(m=='set')s(f,t);else if(m=='insert'){var i=false;try{f.setRangeText(t);i=true}catch(x){}"
        "if(!i)s(f,t)}"
        "if(m!='before'){e('input',E,false);e('keyup',K,true);e('change',E,false);e('blur',F,false)}"
        "return true}");

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

QString setNativeValue(const QString &value)
{
    return QStringLiteral("(") + nativeSetter + QStringLiteral(")(this,'") + quoteForScript(value)
           + QStringLiteral("')");
}

} // namespace PageScripts

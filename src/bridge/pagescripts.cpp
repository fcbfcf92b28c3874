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

// The typing scripts are put together from the pieces below, each run as
// (function(f,t){...; return true})(this,'text'): f the field, t the text. Every step is guarded on
// its own: a page may have replaced or broken any of the objects used here, and what it broke must
// not stop the other steps. Event constructors the engine lacks fall back to document.createEvent.
// Kept short, and each script holds only the pieces it runs: the engine compiles a script anew
// whenever its text changes, and links the whole of it on every run.

// e(type, constructor, cancelable) dispatches a bubbling event; E, F and K are the constructors.
const QString eventsPiece = QStringLiteral(
    "var E=typeof Event=='function'?Event:null,"
    "F=typeof FocusEvent=='function'?FocusEvent:E,K=typeof KeyboardEvent=='function'?KeyboardEvent:E;"
    "function e(y,C,c){var v=null;"
    "if(C)try{v=new C(y,{bubbles:true,cancelable:c,data:''})}catch(x){}"
    "if(!v)try{v=document.createEvent('Event');v.initEvent(y,true,c)}catch(x){}"
    "try{f.dispatchEvent(v)}catch(x){}}");

// A composition the page still waits for ends first, when the field has the focus.
const QString beforePiece =
    QStringLiteral("var a=false;try{a=document.activeElement===f}catch(x){}"
                   "if(a)e('compositionend',typeof CompositionEvent=='function'?CompositionEvent:E,false);"
                   "e('focus',F,false);e('keydown',K,true);");

const QString afterPiece =
    QStringLiteral("e('input',E,false);e('keyup',K,true);e('change',E,false);e('blur',F,false);");

// s(field, text): the native setter, then assignment where there is none (or a page broke the lookup).
const QString setterPiece = QStringLiteral(
    "function s(f,t){try{var P=f instanceof HTMLTextAreaElement?HTMLTextAreaElement:"
    "f instanceof HTMLSelectElement?HTMLSelectElement:f instanceof HTMLInputElement?HTMLInputElement:null,"
    "d=P&&Object.getOwnPropertyDescriptor(P.prototype,'value');if(d&&d.set){d.set.call(f,t);return}}"
    "catch(x){}try{f.value=t}catch(x){}}");

const QString insertPiece =
    QStringLiteral("var i=false;try{f.setRangeText(t);i=true}catch(x){}if(!i)s(f,t);");

QString fieldScript(const QString &body, const QString &text = QString())
{
    return QStringLiteral("(function(f,t){") + body + QStringLiteral("return true})(this,'")
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
    return fieldScript(eventsPiece + setterPiece + beforePiece + QStringLiteral("s(f,t);") + afterPiece,
                       value);
}

QString typeAtSelection(const QString &value)
{
    return fieldScript(eventsPiece + setterPiece + beforePiece + insertPiece + afterPiece, value);
}

QString beforeTyping()
{
    return fieldScript(eventsPiece + beforePiece);
}

QString afterTyping()
{
    return fieldScript(eventsPiece + afterPiece);
}

QString typeValueIfEmpty(const QString &value)
{
    return QStringLiteral("(function(f,t){") + eventsPiece + setterPiece
           + QStringLiteral("var o=f.value;if(o!=='')return[false,o];") + beforePiece
           + QStringLiteral("s(f,t);") + afterPiece + QStringLiteral("return[true,f.value]})(this,'")
           + quoteForScript(value) + QStringLiteral("')");
}

QString readSelectedIndex()
{
    return QStringLiteral("this.selectedIndex");
}

QString setNativeValue(const QString &value)
{
    return fieldScript(setterPiece + QStringLiteral("s(f,t);"), value);
}

} // namespace PageScripts

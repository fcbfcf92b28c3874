#include "page/pagescripts.h"

#include <QDebug>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QStringList>

#include <algorithm>

// Resources of a static library are registered by hand, from the global namespace.
static void initPageScriptResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(pagescripts);
        return true;
    }();
    Q_UNUSED(done)
}

namespace PageScripts {

namespace {

bool needsEscape(char16_t u)
{
    // Line and paragraph separators end a line in a script; control characters are escaped so that
    // no text can look like something else to the script parser.
    return u == u'\\' || u == u'\'' || u < 0x20 || (u >= 0x7f && u <= 0x9f) || u == 0x2028 || u == 0x2029;
}

// The typing function, run as (function(f,t,how){...})(field, text, how); see typing.js.
enum TypingMode
{
    Replace = 0,
    AtSelection = 1,
    IfEmpty = 2,
    EventsBefore = 3,
    EventsAfter = 4,
    WriteOnly = 5
};

QString typingCall(const QString &text, TypingMode how)
{
    return typing() + QStringLiteral("(this,'") + quoteForScript(text) + QStringLiteral("',")
           + QString::number(int(how)) + QLatin1Char(')');
}

QString resourceText(const QString &name)
{
    initPageScriptResources();
    QFile file(QStringLiteral(":/page/") + name);
    if (!file.open(QIODevice::ReadOnly)) {
        qWarning() << "page script missing:" << name << file.errorString();
        return QString();
    }
    return QString::fromUtf8(file.readAll());
}

} // namespace

QString typing()
{
    static const QString text = resourceText(QStringLiteral("typing.js")).trimmed();
    return text;
}

QString watcher()
{
    static const QString text = resourceText(QStringLiteral("watcher.js")).trimmed();
    return text;
}

QString pageScript()
{
    static const QString text = resourceText(QStringLiteral("pagescript.js")).trimmed();
    return text;
}

QString bootstrap()
{
    static const QString text = resourceText(QStringLiteral("bootstrap.js")).trimmed();
    return text;
}

QString setUpDocument(const QString &token, const QString &connect, const QVariantMap &settings)
{
    return bootstrap() + QLatin1Char('(') + watcher() + QLatin1Char(',') + token + QLatin1Char(',') + connect
           + QLatin1Char(',') + literal(settings) + QLatin1Char(')');
}

QString installPageScript(const QString &watch, const QString &token, const QVariantMap &settings)
{
    static const QString functions =
        QLatin1Char(',') + pageScript() + QLatin1Char(',') + typing() + QLatin1Char(',');
    return watch + QStringLiteral(".install(") + token + functions + literal(settings) + QLatin1Char(')');
}

QString literal(const QVariant &value)
{
    QString text = QString::fromUtf8(
        QJsonDocument(QJsonArray{QJsonValue::fromVariant(value)}).toJson(QJsonDocument::Compact));
    text.replace(QChar(0x2028), QLatin1String("\\u2028"));
    text.replace(QChar(0x2029), QLatin1String("\\u2029"));
    return text.mid(1, text.size() - 2);
}

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
    return typingCall(value, Replace);
}

QString typeAtSelection(const QString &value)
{
    return typingCall(value, AtSelection);
}

QString beforeTyping()
{
    return typingCall(QString(), EventsBefore);
}

QString afterTyping()
{
    return typingCall(QString(), EventsAfter);
}

QString typeValueIfEmpty(const QString &value)
{
    return typingCall(value, IfEmpty);
}

QString readSelectedIndex()
{
    return QStringLiteral("this.selectedIndex");
}

QString setNativeValue(const QString &value)
{
    return typingCall(value, WriteOnly);
}

} // namespace PageScripts

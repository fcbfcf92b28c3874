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

} // namespace PageScripts

#include "text/texttransforms.h"

#include <algorithm>

namespace TextTransforms {

namespace {

constexpr char16_t halfWidthFirst = 0xFF61;
constexpr char16_t halfWidthLast = 0xFF9F;
constexpr char16_t halfVoicedMark = 0xFF9E;
constexpr char16_t halfSemiVoicedMark = 0xFF9F;
constexpr char16_t combiningVoicedMark = 0x3099;
constexpr char16_t combiningSemiVoicedMark = 0x309A;
constexpr char16_t kanaOffset = 0x60;

// The full-width forms of U+FF61..U+FF9F, in that order.
constexpr char16_t fullForms[] =
    u"。「」、・ヲァィゥェォャュョッー"
    u"アイウエオカキクケコサシスセソタチツテトナニヌネノハヒフヘホマミムメモヤユヨラリルレロワン゛゜";
static_assert(sizeof(fullForms) / sizeof(char16_t) - 1 == halfWidthLast - halfWidthFirst + 1);

char16_t fullForm(char16_t half)
{
    return fullForms[half - halfWidthFirst];
}

bool isHalfWidthKana(char16_t u)
{
    return u >= halfWidthFirst && u <= halfWidthLast;
}

// The half-width form of a full-width character, or 0 when it has none.
char16_t halfForm(char16_t full)
{
    if (full == u'゛') {
        return halfVoicedMark;
    }
    if (full == u'゜') {
        return halfSemiVoicedMark;
    }
    for (char16_t half = halfWidthFirst; half <= halfWidthLast; ++half) {
        if (fullForm(half) == full) {
            return half;
        }
    }
    return 0;
}

bool isHiragana(char16_t u)
{
    return (u >= 0x3041 && u <= 0x3096) || u == 0x309D || u == 0x309E;
}

bool isKatakana(char16_t u)
{
    return (u >= 0x30A1 && u <= 0x30F6) || u == 0x30FD || u == 0x30FE;
}

bool isDigit(QChar c)
{
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= 0xFF10 && u <= 0xFF19);
}

// The code point that ends just before index i, or starts at i; 0 outside the text. A lone
// surrogate stands for itself.
uint codePointBefore(const QString &text, int i)
{
    if (i <= 0) {
        return 0;
    }
    const QChar low = text.at(i - 1);
    if (low.isLowSurrogate() && i >= 2 && text.at(i - 2).isHighSurrogate()) {
        return QChar::surrogateToUcs4(text.at(i - 2), low);
    }
    return low.unicode();
}

uint codePointAt(const QString &text, int i)
{
    if (i >= text.size()) {
        return 0;
    }
    const QChar high = text.at(i);
    if (high.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
        return QChar::surrogateToUcs4(high, text.at(i + 1));
    }
    return high.unicode();
}

bool isKanji(uint codePoint)
{
    return codePoint != 0 && QChar::script(codePoint) == QChar::Script_Han;
}

QString normalized(const QString &text)
{
    return text.normalized(QString::NormalizationForm_C);
}

bool isSeparator(const QString &text, int i)
{
    switch (text.at(i).unicode()) {
    case u' ':
    case 0x3000: // ideographic space
    case u'-':
    case 0xFF0D: // fullwidth hyphen-minus
    case 0x2212: // minus sign
    case 0x2010: // hyphen
    case 0x2011: // non-breaking hyphen
    case 0x2013: // en dash
    case 0x2014: // em dash
    case 0x2015: // horizontal bar
        return true;
    case 0x30FC: // ー
    case 0xFF70: // ｰ: both lengthen kana in names, so they separate only digits
        return i > 0 && i + 1 < text.size() && isDigit(text.at(i - 1)) && isDigit(text.at(i + 1));
    default:
        return false;
    }
}

} // namespace

QString toHiragana(const QString &text)
{
    QString converted = normalized(toFullWidthKana(text));
    for (int i = 0; i < converted.size(); ++i) {
        const char16_t u = converted.at(i).unicode();
        if (!isKatakana(u)) {
            continue;
        }
        // ヶ and ヵ between kanji are counters and place-name particles (霞ヶ関), not readings.
        if ((u == u'ヵ' || u == u'ヶ') && isKanji(codePointBefore(converted, i))
            && isKanji(codePointAt(converted, i + 1))) {
            continue;
        }
        converted[i] = QChar(char16_t(u - kanaOffset));
    }
    return converted;
}

QString toKatakana(const QString &text)
{
    QString converted = normalized(toFullWidthKana(text));
    for (QChar &c : converted) {
        if (isHiragana(c.unicode())) {
            c = QChar(char16_t(c.unicode() + kanaOffset));
        }
    }
    return converted;
}

QString toHalfWidthKana(const QString &text)
{
    const QString source = normalized(text);
    QString converted;
    converted.reserve(source.size() + source.size() / 2);
    for (const QChar c : source) {
        const char16_t u = c.unicode();
        if (u == 0x3000) {
            converted += QLatin1Char(' ');
            continue;
        }
        if (u == combiningVoicedMark || u == combiningSemiVoicedMark) {
            converted += QChar(u == combiningVoicedMark ? halfVoicedMark : halfSemiVoicedMark);
            continue;
        }
        if (u >= 0x30A1 && u <= 0x30FA) {
            // A voiced kana decomposes into its plain kana and a combining mark.
            const QString parts = c.decomposition();
            if (parts.size() == 2) {
                const char16_t half = halfForm(parts.at(0).unicode());
                if (half) {
                    converted += QChar(half);
                    converted += QChar(parts.at(1).unicode() == combiningVoicedMark ? halfVoicedMark
                                                                                    : halfSemiVoicedMark);
                    continue;
                }
            }
        }
        const bool kanaOrPunctuation = (u >= 0x3001 && u <= 0x300D) || (u >= 0x309B && u <= 0x30FC);
        const char16_t half = kanaOrPunctuation ? halfForm(u) : 0;
        converted += half ? QChar(half) : c;
    }
    return converted;
}

QString toFullWidthKana(const QString &text)
{
    QString converted;
    converted.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const char16_t u = text.at(i).unicode();
        if (!isHalfWidthKana(u)) {
            converted += text.at(i);
            continue;
        }
        const char16_t full = fullForm(u);
        const char16_t next = i + 1 < text.size() ? text.at(i + 1).unicode() : 0;
        const bool haGyou = u >= 0xFF8A && u <= 0xFF8E; // ﾊ..ﾎ
        if (next == halfVoicedMark && ((u >= 0xFF76 && u <= 0xFF84) || haGyou)) {
            converted += QChar(char16_t(full + 1)); // ガ follows カ, バ follows ハ
            ++i;
        } else if (next == halfVoicedMark && (u == u'ｳ' || u == u'ﾜ' || u == u'ｦ')) {
            converted += QChar(u == u'ｳ' ? u'ヴ' : u == u'ﾜ' ? u'ヷ' : u'ヺ');
            ++i;
        } else if (next == halfSemiVoicedMark && haGyou) {
            converted += QChar(char16_t(full + 2)); // パ follows バ
            ++i;
        } else {
            converted += QChar(full);
        }
    }
    return converted;
}

QString numeralsFolded(const QString &text)
{
    static const QString kanji = QStringLiteral("〇一二三四五六七八九");
    QString folded = text;
    for (QChar &c : folded) {
        const int k = kanji.indexOf(c);
        if (k >= 0) {
            c = QChar('0' + k);
        } else if (c.unicode() >= 0xFF10 && c.unicode() <= 0xFF19) {
            c = QChar('0' + (c.unicode() - 0xFF10));
        }
    }
    return folded;
}

QString digitsOnly(const QString &text)
{
    QString digits;
    for (const QChar c : text) {
        if (isDigit(c)) {
            digits += c.unicode() >= 0xFF10 ? QChar(char16_t(c.unicode() - 0xFF10 + u'0')) : c;
        }
    }
    return digits;
}

QStringList parts(const QString &text)
{
    QStringList found;
    int start = 0;
    for (int i = 0; i <= text.size(); ++i) {
        if (i == text.size() || isSeparator(text, i)) {
            if (i > start) {
                found.append(text.mid(start, i - start));
            }
            start = i + 1;
        }
    }
    if (found.size() == 1 && found.first().size() == 7
        && std::all_of(found.first().cbegin(), found.first().cend(), isDigit)) {
        const QString postalCode = found.takeFirst();
        found << postalCode.left(3) << postalCode.mid(3);
    }
    return found;
}

} // namespace TextTransforms

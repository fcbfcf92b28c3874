#pragma once

#include <QString>

// Conversions between the half-width (ASCII) and full-width forms of the printable ASCII
// characters. Each maps single UTF-16 code units to single code units, so lengths never change.
// Inline, so that the logging below every library can compare secrets in either width.
namespace WidthConversion {

namespace Detail {
constexpr char16_t fullWidthOffset = 0xFEE0;
constexpr char16_t prolongedSoundMark = 0x30FC;
} // namespace Detail

// U+0021..U+007E become U+FF01..U+FF5E; the space and everything else stay.
inline QString toFullWidth(const QString &text)
{
    QString converted = text;
    for (QChar &c : converted) {
        if (c.unicode() >= 0x21 && c.unicode() <= 0x7E) {
            c = QChar(char16_t(c.unicode() + Detail::fullWidthOffset));
        }
    }
    return converted;
}

// U+FF01..U+FF5E become U+0021..U+007E and the prolonged sound mark U+30FC becomes "-";
// the ideographic space and half-width katakana stay.
inline QString toHalfWidth(const QString &text)
{
    QString converted = text;
    for (QChar &c : converted) {
        if (c.unicode() >= 0xFF01 && c.unicode() <= 0xFF5E) {
            c = QChar(char16_t(c.unicode() - Detail::fullWidthOffset));
        } else if (c.unicode() == Detail::prolongedSoundMark) {
            c = QLatin1Char('-');
        }
    }
    return converted;
}

} // namespace WidthConversion

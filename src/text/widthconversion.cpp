#include "text/widthconversion.h"

namespace WidthConversion {

namespace {
constexpr char16_t fullWidthOffset = 0xFEE0;
constexpr char16_t prolongedSoundMark = 0x30FC;
} // namespace

QString toFullWidth(const QString &text)
{
    QString converted = text;
    for (QChar &c : converted) {
        if (c.unicode() >= 0x21 && c.unicode() <= 0x7E) {
            c = QChar(char16_t(c.unicode() + fullWidthOffset));
        }
    }
    return converted;
}

QString toHalfWidth(const QString &text)
{
    QString converted = text;
    for (QChar &c : converted) {
        if (c.unicode() >= 0xFF01 && c.unicode() <= 0xFF5E) {
            c = QChar(char16_t(c.unicode() - fullWidthOffset));
        } else if (c.unicode() == prolongedSoundMark) {
            c = QLatin1Char('-');
        }
    }
    return converted;
}

} // namespace WidthConversion

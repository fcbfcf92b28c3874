// libFuzzer target for the text transforms and derived values: any bytes, read as UTF-16 so that lone
// surrogates, combining marks and NUL all occur, as a stored value and as a key. Besides not
// crashing:
// - hiragana to katakana and back gives back any text that is hiragana only;
// - katakana made half width and then full width again gives back the katakana it came from;
// - no part holds a separator the split should have cut at, and digits are ASCII digits only.
// The last input byte picks how the rest is read, so each property also gets texts made to satisfy
// its premise, not only the rare random one that does.

#include "store/derivedvalues.h"
#include "text/texttransforms.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what, const QString &text)
{
    std::fprintf(stderr, "transforms: %s for \"%s\"\n", what, qPrintable(text));
    std::abort();
}

bool isHiraganaOnly(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (!((u >= 0x3041 && u <= 0x3096) || u == 0x309D || u == 0x309E)) {
            return false;
        }
    }
    return true;
}

bool isKatakanaOnly(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x30A0 || c.unicode() > 0x30FF) {
            return false;
        }
    }
    return true;
}

void check(const QString &text)
{
    using namespace TextTransforms;
    const QString katakana = toKatakana(text);
    const QString hiragana = toHiragana(text);
    const QString half = toHalfWidthKana(text);
    toFullWidthKana(text);

    if (isHiraganaOnly(text) && toHiragana(katakana) != text) {
        fail("hiragana does not come back from katakana", text);
    }
    if (isKatakanaOnly(text) && toFullWidthKana(half) != text) {
        fail("katakana does not come back from half width", text);
    }
    for (const QChar c : digitsOnly(text)) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) {
            fail("digits hold something else", text);
        }
    }
    const QStringList split = parts(text);
    const QString separators = QString::fromUtf16(u" \u3000-－−‐‑–—―");
    for (const QString &part : split) {
        if (part.isEmpty()) {
            fail("an empty part", text);
        }
        for (const QChar c : part) {
            if (separators.contains(c)) {
                fail("a part holds a separator", text);
            }
        }
    }

    const QHash<QString, QVariant> values{{QStringLiteral("familyNameK"), text},
                                          {QStringLiteral("zipcode"), text}};
    for (const char *key : {"familyNameK.hiragana", "familyNameK.halfwidthKana", "fullNameK.katakana",
                            "zipcode.part2", "zipcode.digits.part1", "fullAddress"}) {
        DerivedValues::text(values, QLatin1String(key));
    }
    DerivedValues::find(values, text);
    DerivedValues::find(values, QStringLiteral("familyNameK.") + text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0) {
        return 0;
    }
    const std::uint8_t mode = data[size - 1];
    const std::size_t units = (size - 1) / 2;
    QString text(int(units), Qt::Uninitialized);
    for (std::size_t i = 0; i < units; ++i) {
        char16_t u = char16_t(data[2 * i] | data[2 * i + 1] << 8);
        switch (mode % 3) {
        case 1: // hiragana only
            u = u % 88 < 86 ? char16_t(0x3041 + u % 88) : char16_t(0x309D + u % 88 - 86);
            break;
        case 2: // katakana only
            u = char16_t(0x30A0 + u % 0x60);
            break;
        default:
            break;
        }
        text[int(i)] = QChar(u);
    }
    check(text);
    return 0;
}

#pragma once

#include <QString>
#include <QStringList>

// Re-spellings of a stored value for fields that want it in another form: the other kana script,
// half-width katakana, digits only, or in parts. Every function takes any text, including lone
// surrogates and NUL, and never fails; what it does not know it leaves as it is.
namespace TextTransforms {

// Katakana U+30A1..U+30F6 to hiragana U+3041..U+3096 and ヽヾ to ゝゞ, after NFC and after half-width
// katakana has been made full width. ヷヸヹヺ, ー, ・ and ヶ/ヵ between kanji (霞ヶ関) stay.
QString toHiragana(const QString &text);

// Hiragana U+3041..U+3096 to katakana U+30A1..U+30F6 and ゝゞ to ヽヾ, after NFC; half-width
// katakana becomes full width.
QString toKatakana(const QString &text);

// Full-width katakana and its punctuation to the half-width forms U+FF61..U+FF9F, voiced and
// semi-voiced kana split in two (ガ → ｶﾞ), after NFC; the ideographic space becomes a space.
// Kana without a half-width form (ヮヵヶヰヱヸヹヽヾ) and hiragana stay.
QString toHalfWidthKana(const QString &text);

// Half-width katakana to full width: ﾞ and ﾟ join the kana before them where a voiced or
// semi-voiced form exists (ｶﾞ → ガ, ﾊﾟ → パ, ｳﾞ → ヴ, ﾜﾞ → ヷ, ｦﾞ → ヺ); alone they become ゛ and ゜.
// Nothing else changes (unlike NFKC, which would also turn ～ into ~ or ① into 1).
QString toFullWidthKana(const QString &text);

// The ASCII and full-width digits of the text, in order, as ASCII digits.
QString digitsOnly(const QString &text);

// Kanji numerals 〇 to 九 and full-width digits as ASCII digits, one code unit each (北一条 →
// 北1条); 十 and the rest stay, so lengths never change.
QString numeralsFolded(const QString &text);
// The text split at spaces and hyphens (ASCII or full-width, and the other dashes forms use for
// them; ー and ｰ only between digits), empty parts dropped. Seven digits without a separator are a
// postal code and split 3 + 4; any other text without separators is one part.
QStringList parts(const QString &text);

} // namespace TextTransforms

#pragma once

#include <QString>

// Conversions between the half-width (ASCII) and full-width forms of the printable ASCII
// characters. Each maps single UTF-16 code units to single code units, so lengths never change.
namespace WidthConversion {

// U+0021..U+007E become U+FF01..U+FF5E; the space and everything else stay.
QString toFullWidth(const QString &text);

// U+FF01..U+FF5E become U+0021..U+007E and the prolonged sound mark U+30FC becomes "-";
// the ideographic space and half-width katakana stay.
QString toHalfWidth(const QString &text);

} // namespace WidthConversion

// Rounding to the nearest integer with halves to even, as the board's sizes are rounded.
#pragma once

#include <QtGlobal>

#include <cmath>

namespace puzzle {

// 88.5 -> 88, 120.5 -> 120, 297.5 -> 298. Relies on the default rounding mode (to nearest),
// which this program never changes. Not qRound: that rounds halves away from zero.
inline double roundHalfEven(double value) { return std::nearbyint(value); }

// The caller guarantees the value fits (the board's values are bounded by the picture limits).
inline qint16 toInt16(double value) { return qint16(roundHalfEven(value)); }

} // namespace puzzle

// Reading the piece count the player typed into the start prompt.
#pragma once

#include <QSize>
#include <QString>

namespace puzzle {

// The largest count the board holds: its indices are 16-bit.
inline constexpr int MaxPieces = 32767;
// The largest count a player can play: the largest square within MaxPieces, 181 × 181.
inline constexpr int LargestCount = 181 * 181;
static_assert(LargestCount <= MaxPieces && 182 * 182 > MaxPieces);

enum class PieceCountVerdict {
    Accepted,
    Empty,         // Cancel or nothing typed: the start quietly does nothing
    NotANumber,    // text, NaN or infinity
    NotPositive,   // 0 or negative
    NotSquare,     // no whole square root
    TooMany,       // above MaxPieces, also a number too large for a double (1e400)
    TilesTooSmall, // tiles under one pixel wide or high on this picture
};

struct PieceCount
{
    PieceCountVerdict verdict = PieceCountVerdict::Empty;
    int pieces = 0;      // N, when accepted
    qint16 gridSide = 0; // sqrt(N), when accepted
};

// Spaces around the number, a decimal point (16.0) and full-width digits are accepted.
// picture is the size of the picture that is to be cut.
PieceCount readPieceCount(const QString &entry, QSize picture);

} // namespace puzzle

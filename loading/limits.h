// How large a picture the game takes, whoever decodes it: the decoders keep within these
// limits, and the game believes no answer past them.
#pragma once

#include <QSize>
#include <QtGlobal>

namespace picture {

// Largest picture we decode: 16384 pixels a side and 32 megapixels (128 MiB at 32 bits a
// pixel). The puzzle keeps positions in 16-bit integers, which this side limit respects.
inline constexpr int MaxSide = 16384;
inline constexpr qint64 Mebi = qint64(1024) * 1024;
inline constexpr qint64 MaxPixels = 32 * Mebi;
// Largest file we read into memory.
inline constexpr qint64 MaxFileBytes = 256 * Mebi;

struct Limits
{
    int maxSide = MaxSide;
    qint64 maxPixels = MaxPixels;
};

inline bool withinLimits(QSize size, const Limits &limits)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= limits.maxSide &&
           size.height() <= limits.maxSide &&
           qint64(size.width()) * size.height() <= limits.maxPixels;
}

} // namespace picture

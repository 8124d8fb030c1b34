// HEIC, HEIF with HEVC inside as phones write it, through libheif: the primary picture at full
// size, turned and mirrored as its own properties say (an Exif orientation is never applied on
// top of them), 10 and 12 bits a sample reduced to 8, with its alpha, in sRGB.
#pragma once

#include "surveys.h"

#include "loading/kinds.h"

namespace picture {

// The picture in bytes, which its walk s found within the limits. A failure is refused as
// damaged, incomplete (the walk saw the data end early, or libheif did), unsupported (naming the
// form) or out of memory; libheif and its codecs say nothing on their own.
Picture readHeic(const QByteArray &bytes, const Survey &s, const Limits &limits);

// Registers libheif's codecs, which it otherwise does on first use.
void warmUpHeif();

} // namespace picture

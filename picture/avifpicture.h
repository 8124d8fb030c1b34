// AVIF through libavif: the primary picture, or the first frame of a sequence (also of one that
// holds no still picture, only tracks), at full size, cropped, turned and mirrored as its own
// properties say, 10 and 12 bits a sample reduced to 8, with its alpha, in sRGB.
#pragma once

#include "surveys.h"

#include "loading/kinds.h"

namespace picture {

// The picture in bytes, which its walk s found within the limits. A failure is refused as
// damaged, incomplete (the walk saw the data end early, or libavif did), unsupported or out of
// memory. libavif decodes with dav1d on this thread alone, held to the limits.
Picture readAvif(const QByteArray &bytes, const Survey &s, const Limits &limits);

} // namespace picture

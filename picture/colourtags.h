// The colour space a file says its pixels are in, found by short walks over the structure of
// each kind Qt's readers or ours decode: a JPEG's ICC_PROFILE segments, a PNG's cICP, iCCP,
// sRGB, cHRM and gAMA chunks, a WebP's ICCP chunk, a BMP's embedded profile. (A TIFF's profile
// is a tag libtiff reads, in tiffpicture.cpp.)
#pragma once

#include "bytes.h"
#include "colour.h"

#include "loading/kinds.h"

#include <QByteArray>

#include <array>

namespace picture {

// What a walk found, holding the profile's bytes (a PNG's are inflated, a JPEG's put together).
struct FileColour
{
    QByteArray iccProfile;
    int primaries = 0, transfer = 0;
    std::array<double, 8> chromaticities{};
    double gamma = 0;

    ColourTag tag() const { return {iccProfile, primaries, transfer, chromaticities, gamma}; }
};

// Each walks the bytes there are and finds nothing in a file that does not say, or that says it
// in a way that cannot be read whole: the pixels are then taken as sRGB.

// The APP2 segments before the first scan that hold a profile in pieces, put together in the
// order their sequence numbers give; nothing when a piece is missing, numbered twice or past
// the count.
FileColour jpegColour(const Bytes &f);
// A cICP chunk (H.273 code points), else an iCCP chunk's profile, else nothing for an sRGB
// chunk, else cHRM and gAMA. A gAMA of 1/2.2 with sRGB's chromaticities or none is taken as
// sRGB: it is what writers put beside an sRGB chunk, and keep when that chunk is stripped.
FileColour pngColour(const Bytes &f);
// The ICCP chunk of an extended file, before its pixels.
FileColour webpColour(const Bytes &f);
// A version 5 header's embedded profile ("MBED"); its other colour spaces are taken as sRGB.
FileColour bmpColour(const Bytes &f);

// The walk for kind; nothing for the kinds that carry no colour space we read.
FileColour colourOf(Kind kind, QByteArrayView bytes);

} // namespace picture

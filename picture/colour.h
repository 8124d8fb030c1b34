// Colours as the file meant them: a picture tagged with a colour space other than sRGB (an
// embedded ICC profile, or the code points of ITU-T H.273 that HEIF, AVIF and JPEG XL can carry
// instead) has its pixels converted to sRGB, which is what the game's screen is drawn in.
#pragma once

#include <QByteArrayView>
#include <QImage>

#include <array>

namespace picture {

// The colour space a decoder found in a file: a profile's bytes, or H.273 code points, or
// neither (then the pixels are taken as sRGB, as every untagged picture is).
struct ColourTag
{
    QByteArrayView iccProfile;
    int primaries = 0; // H.273 colour primaries: 1 BT.709/sRGB, 12 Display P3, 9 BT.2020 ...
    int transfer = 0;  // H.273 transfer characteristics: 13 sRGB, 1 BT.709, 8 linear ...
    // A colour space given by its white point and primaries (x and y of white, red, green and
    // blue, as a PNG's cHRM chunk gives them; all 0: sRGB's) and the exponent that makes the
    // samples linear (2.2 for a PNG's gAMA of 1/2.2; 0: none given). Either names a colour
    // space, with the other part taken as sRGB's.
    std::array<double, 8> chromaticities{};
    double gamma = 0;
};

// image converted to sRGB from the colour space tag names, in 8 bits a channel with its alpha
// kept. A tag that names sRGB, that is absent, or that cannot be read leaves the pixels as they
// were: a damaged profile never costs the player the picture.
//
// What tells, in order: a readable profile whose colour space fits the pixels (RGB on a colour
// picture, grey on a grey one), else the H.273 code points, else the chromaticities and
// exponent. Code points of a high dynamic range (PQ, HLG) leave the pixels as they are: they
// would need tone mapping.
QImage toSrgb(QImage image, const ColourTag &tag);

// Whether the profile's bytes describe sRGB itself, or near enough that converting would change
// no pixel (its colorants and tone curves those of sRGB): such a picture costs nothing to
// convert. False for bytes that are no profile at all.
bool isSrgbProfile(QByteArrayView iccProfile);

// Profile bytes larger than this are not read: more than any RGB or grey profile in use holds.
constexpr qsizetype MaxProfileBytes = qsizetype(4) << 20;

} // namespace picture

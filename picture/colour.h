// Colours as the file meant them: a picture tagged with a colour space other than sRGB (an
// embedded ICC profile, or the code points of ITU-T H.273 that HEIF, AVIF and JPEG XL can carry
// instead) has its pixels converted to sRGB, which is what the game's screen is drawn in.
#pragma once

#include <QByteArrayView>
#include <QImage>

namespace picture {

// The colour space a decoder found in a file: a profile's bytes, or H.273 code points, or
// neither (then the pixels are taken as sRGB, as every untagged picture is).
struct ColourTag
{
    QByteArrayView iccProfile;
    int primaries = 0; // H.273 colour primaries: 1 BT.709/sRGB, 12 Display P3, 9 BT.2020 ...
    int transfer = 0;  // H.273 transfer characteristics: 13 sRGB, 1 BT.709, 8 linear ...
};

// image converted to sRGB from the colour space tag names, in 8 bits a channel with its alpha
// kept. A tag that names sRGB, that is absent, or that cannot be read leaves the pixels as they
// were: a damaged profile never costs the player the picture.
QImage toSrgb(QImage image, const ColourTag &tag);

} // namespace picture

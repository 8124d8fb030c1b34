#include "formats.h"

#include "avifpicture.h"
#include "bmppicture.h"
#include "heifpicture.h"
#include "jxlpicture.h"
#include "pngpicture.h"
#include "svgpicture.h"
#include "tiffpicture.h"

#include "wmf/wmfrenderer.h"

#include <array>

namespace picture {

// A metafile drawn at its own size or again at the longest side asked for (decoder.cpp).
Picture drawMetafile(QByteArrayView bytes, const Request &request, const Limits &limits);

namespace {

bool isBmp(QByteArrayView h) { return h.startsWith("BM"); }
bool isJpeg(QByteArrayView h) { return h.startsWith("\xFF\xD8\xFF"); }
bool isPng(QByteArrayView h) { return h.startsWith("\x89PNG\r\n\x1A\n"); }
bool isGif(QByteArrayView h) { return h.startsWith("GIF87a") || h.startsWith("GIF89a"); }
bool isIco(QByteArrayView h)
{
    return h.size() >= 6 && h.startsWith(QByteArrayView("\0\0\1\0", 4));
}
bool isWebp(QByteArrayView h)
{
    return h.size() >= 12 && h.startsWith("RIFF") && h.sliced(8, 4) == "WEBP";
}
bool isTiff(QByteArrayView h) // classic or BigTIFF
{
    return h.startsWith(QByteArrayView("II*\0", 4)) || h.startsWith(QByteArrayView("MM\0*", 4)) ||
           h.startsWith(QByteArrayView("II+\0", 4)) || h.startsWith(QByteArrayView("MM\0+", 4));
}

// In the order files are told apart: SVG, a text, last. The phones' kinds are decoded by our own
// readers alone: HEIC through libheif; AVIF through libavif, which reads a sequence's first frame
// even without a still picture beside it, holds dav1d to one thread and to our limits on a
// frame's pixels and sides (libheif 1.15 does neither), at the cost of a second library
// (avifpicture.cpp); JPEG XL through libjxl.
constexpr std::array<Format, 12> Formats = {{
    {"bmp", Kind::Bmp, isBmp, surveyBmp, readBmp, nullptr},
    {"jpeg", Kind::Jpeg, isJpeg, surveyJpeg, nullptr, nullptr},
    {"png", Kind::Png, isPng, surveyPng, readPng, nullptr},
    {"gif", Kind::Gif, isGif, surveyGif, nullptr, nullptr},
    {"ico", Kind::Ico, isIco, surveyIco, nullptr, nullptr},
    {"webp", Kind::Webp, isWebp, surveyWebp, nullptr, nullptr},
    {"tiff", Kind::Tiff, isTiff, surveyTiff, readTiff, nullptr},
    {"heic", Kind::Heic, isHeic, surveyHeic, readHeic, nullptr},
    {"avif", Kind::Avif, isAvif, surveyAvif, readAvif, nullptr},
    {"jxl", Kind::Jxl, isJxl, surveyJxl, readJxl, nullptr},
    {"wmf", Kind::Wmf, wmf::looksLikeMetafile, nullptr, nullptr, drawMetafile},
    {"svg", Kind::Svg, looksLikeSvg, nullptr, nullptr, renderSvg},
}};

} // namespace

const Format *formatOf(QByteArrayView head)
{
    for (const Format &format : Formats)
        if (format.starts(head))
            return &format;
    return nullptr;
}

} // namespace picture

// Tagged pictures to sRGB through Little CMS: the profile a file carries, or one made from the
// code points or chromaticities it gives, to lcms's own sRGB.
//
// The rendering intent is perceptual, with black point compensation. For the matrix-and-curves
// profiles nearly every photo carries (Display P3, Adobe RGB, a camera's sRGB) there is no
// perceptual table and lcms converts colorimetrically, clipping what lies outside sRGB, as every
// browser does; a profile with tables of its own (a scanner's or a printer's) maps its gamut into
// the smaller one as its maker meant pictures to be mapped, rather than clipping them.
// Compensating for black points keeps the shadows of a profile whose black is not zero (older
// table profiles) from being lifted or crushed.
#include "colour.h"

#include <QColorSpace>

#include <lcms2.h>
#include <lcms2_plugin.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <optional>
#include <system_error>
#include <thread>
#include <vector>

namespace picture {

namespace {

// lcms reports what it cannot read through this, which says nothing: a failure shows in what
// its functions give back.
void quiet(cmsContext, cmsUInt32Number, const char *) {}

// No single allocation of lcms's may be larger: four times a profile's largest table, where a
// crafted table's header claims hundreds of megabytes it does not hold (lcms allocates what the
// header claims, then finds the data missing).
constexpr cmsUInt32Number MaxAllocation = cmsUInt32Number(MaxProfileBytes) * 4;

void *allocate(cmsContext, cmsUInt32Number size)
{
    return size <= MaxAllocation ? std::malloc(size) : nullptr;
}
void release(cmsContext, void *block) { std::free(block); }
void *reallocate(cmsContext, void *block, cmsUInt32Number size)
{
    return size <= MaxAllocation ? std::realloc(block, size) : nullptr;
}

cmsContext context()
{
    static const cmsContext made = [] {
        static cmsPluginMemHandler memory = {
            {cmsPluginMagicNumber, 2000, cmsPluginMemHandlerSig, nullptr},
            allocate,
            release,
            reallocate,
            nullptr,
            nullptr,
            nullptr};
        cmsSetLogErrorHandler(quiet); // for whatever runs in lcms's global context
        const cmsContext own = cmsCreateContext(&memory, nullptr);
        if (own)
            cmsSetLogErrorHandlerTHR(own, quiet);
        return own; // none: the global context, which is as quiet
    }();
    return made;
}

struct ProfileCloser
{
    void operator()(void *profile) const { cmsCloseProfile(profile); }
};
using Profile = std::unique_ptr<void, ProfileCloser>;

struct TransformDeleter
{
    void operator()(void *transform) const { cmsDeleteTransform(transform); }
};
using Transform = std::unique_ptr<void, TransformDeleter>;

struct CurveFreer
{
    void operator()(cmsToneCurve *curve) const { cmsFreeToneCurve(curve); }
};
using Curve = std::unique_ptr<cmsToneCurve, CurveFreer>;

constexpr cmsUInt32Number Intent = INTENT_PERCEPTUAL;
// No cache of the last pixel: it is the transform's own, which threads sharing it would race
// for, and a photo's noise seldom repeats a pixel anyway.
constexpr cmsUInt32Number Flags =
    cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_COPY_ALPHA | cmsFLAGS_NOCACHE;
// A picture of this many pixels and more is converted in bands, one a processor.
constexpr qint64 BandedPixels = qint64(1) << 22;
// QImage's ARGB32 and RGB32: a 32-bit word 0xAARRGGBB in this machine's byte order.
constexpr cmsUInt32Number Argb32 =
    Q_BYTE_ORDER == Q_LITTLE_ENDIAN ? cmsUInt32Number(TYPE_BGRA_8) : cmsUInt32Number(TYPE_ARGB_8);
// No table profile does more in more steps than this: a longer pipeline is a hostile one, which
// would take that much longer to sample when the transform is made.
constexpr cmsUInt32Number MaxStages = 16;

// sRGB's curve from light to samples.
double linearToSrgb(double l)
{
    return l <= 0.0031308 ? l * 12.92 : 1.055 * std::pow(l, 1 / 2.4) - 0.055;
}

// The IEC 61966-2-1 form of curve (lcms's type 4): (a v + b)^g from d on, c v below.
Curve curve4(double g, double a, double b, double c, double d)
{
    const cmsFloat64Number parameters[5] = {g, a, b, c, d};
    return Curve(cmsBuildParametricToneCurve(context(), 4, parameters));
}

Curve srgbCurve() { return curve4(2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045); }

// Whether curve takes every 8-bit sample where sRGB's curve does, to within half a level.
bool isSrgbCurve(const cmsToneCurve *curve)
{
    if (!curve)
        return false;
    for (int v = 0; v <= 255; v += 5) {
        const double light = double(cmsEvalToneCurveFloat(curve, cmsFloat32Number(v / 255.0)));
        if (!(std::abs(linearToSrgb(std::clamp(light, 0.0, 1.0)) * 255 - v) <= 0.5))
            return false;
    }
    return true;
}

// The table tags lcms reads a profile's colours through, in preference to its matrix and
// curves, when it has them.
constexpr cmsTagSignature TableTags[] = {cmsSigDToB0Tag, cmsSigDToB1Tag, cmsSigDToB2Tag,
                                         cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigAToB2Tag};

bool hasTables(cmsHPROFILE profile)
{
    return std::any_of(std::begin(TableTags), std::end(TableTags),
                       [profile](cmsTagSignature tag) { return cmsIsTag(profile, tag); });
}

// sRGB's colorants adapted to the profile connection space's white, as ICC profiles store them.
constexpr double SrgbColorants[3][3] = {
    {0.4361, 0.2225, 0.0139}, {0.3851, 0.7169, 0.0971}, {0.1431, 0.0606, 0.7141}};

const cmsCIEXYZ *colorant(cmsHPROFILE profile, int i)
{
    static constexpr cmsTagSignature Tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag,
                                                cmsSigBlueColorantTag};
    return static_cast<const cmsCIEXYZ *>(cmsReadTag(profile, Tags[i]));
}

// An RGB profile of matrix and curves only, whose colorants and curves are sRGB's; a grey
// profile whose curve is. Nothing is made: the tags are read and compared, a few microseconds.
bool isSrgb(cmsHPROFILE profile)
{
    if (hasTables(profile))
        return false;
    const cmsColorSpaceSignature space = cmsGetColorSpace(profile);
    if (space == cmsSigGrayData)
        return isSrgbCurve(
            static_cast<const cmsToneCurve *>(cmsReadTag(profile, cmsSigGrayTRCTag)));
    if (space != cmsSigRgbData || !cmsIsMatrixShaper(profile))
        return false;
    static constexpr cmsTagSignature Curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag,
                                                  cmsSigBlueTRCTag};
    for (int i = 0; i < 3; ++i) {
        const cmsCIEXYZ *xyz = colorant(profile, i);
        if (!xyz || !(std::abs(xyz->X - SrgbColorants[i][0]) <= 0.002) ||
            !(std::abs(xyz->Y - SrgbColorants[i][1]) <= 0.002) ||
            !(std::abs(xyz->Z - SrgbColorants[i][2]) <= 0.002))
            return false;
        if (!isSrgbCurve(static_cast<const cmsToneCurve *>(cmsReadTag(profile, Curves[i]))))
            return false;
    }
    return true;
}

// Whether lcms can take the profile, which readable() let it open, as the source of a
// picture's colours in a time that does not depend on how the profile was made: short table
// pipelines and, for matrix and curves, colorants that keep colours apart.
bool usable(cmsHPROFILE profile)
{
    for (cmsTagSignature tag : TableTags) {
        if (!cmsIsTag(profile, tag))
            continue;
        const auto *lut = static_cast<const cmsPipeline *>(cmsReadTag(profile, tag));
        if (!lut || cmsPipelineStageCount(lut) > MaxStages)
            return false;
    }
    if (cmsGetColorSpace(profile) == cmsSigRgbData && !hasTables(profile)) {
        const cmsCIEXYZ *r = colorant(profile, 0), *g = colorant(profile, 1),
                        *b = colorant(profile, 2);
        if (!r || !g || !b)
            return false;
        const double det = r->X * (g->Y * b->Z - b->Y * g->Z) - g->X * (r->Y * b->Z - b->Y * r->Z) +
                           b->X * (r->Y * g->Z - g->Y * r->Z);
        if (!(std::abs(det) > 1e-4))
            return false;
    }
    return true;
}

// What lcms would take time out of proportion to read, found in the bytes before it reads
// them: a pipeline of many steps (a multi-process-elements tag), which lcms puts together in
// time that grows with the square of their count and samples step by step (a thousand steps
// take seconds, a hundred thousand minutes). Its other tables have a fixed number of steps.
bool readable(QByteArrayView bytes)
{
    const auto be32 = [bytes](qsizetype at) {
        return quint32(uchar(bytes[at])) << 24 | quint32(uchar(bytes[at + 1])) << 16 |
               quint32(uchar(bytes[at + 2])) << 8 | quint32(uchar(bytes[at + 3]));
    };
    constexpr qsizetype Table = 128;
    constexpr quint32 MaxTags = 100; // as lcms reads no more
    // A profile that says it is longer than its bytes was cut. Of the others, those of a device
    // or a colour space (no link, abstract or named colour profile), RGB or grey, whose
    // connection space is XYZ or Lab. (Read here, not through lcms: its enumerations hold only
    // the values it knows, and a crafted header holds any.)
    const quint32 deviceClass = be32(12), space = be32(16), pcs = be32(20);
    if (be32(0) > quint64(bytes.size()) ||
        (deviceClass != cmsSigInputClass && deviceClass != cmsSigDisplayClass &&
         deviceClass != cmsSigOutputClass && deviceClass != cmsSigColorSpaceClass) ||
        (space != cmsSigRgbData && space != cmsSigGrayData) ||
        (pcs != cmsSigXYZData && pcs != cmsSigLabData))
        return false;
    const quint32 count = be32(Table);
    if (count > MaxTags || Table + 4 + qsizetype(count) * 12 > bytes.size())
        return false;
    for (quint32 i = 0; i < count; ++i) {
        const qint64 at = be32(Table + 4 + qsizetype(i) * 12 + 4);
        if (at <= bytes.size() - 16 && bytes.sliced(qsizetype(at), 4) == "mpet" &&
            be32(qsizetype(at) + 12) > MaxStages)
            return false;
    }
    return true;
}

Profile openIcc(QByteArrayView bytes)
{
    if (bytes.size() < 132 || bytes.size() > MaxProfileBytes || !readable(bytes))
        return {};
    Profile profile(
        cmsOpenProfileFromMemTHR(context(), bytes.data(), cmsUInt32Number(bytes.size())));
    if (profile && !usable(profile.get()))
        profile.reset();
    return profile;
}

// An RGB profile of white and primaries (x, y pairs) and one curve for all three channels.
Profile rgbProfile(const std::array<double, 8> &xy, const cmsToneCurve *curve)
{
    for (double v : xy)
        if (!(v > 0 && v < 1))
            return {};
    const cmsCIExyY white{xy[0], xy[1], 1};
    const cmsCIExyYTRIPLE primaries{{xy[2], xy[3], 1}, {xy[4], xy[5], 1}, {xy[6], xy[7], 1}};
    cmsToneCurve *curves[3] = {const_cast<cmsToneCurve *>(curve), const_cast<cmsToneCurve *>(curve),
                               const_cast<cmsToneCurve *>(curve)};
    return Profile(cmsCreateRGBProfileTHR(context(), &white, &primaries, curves));
}

constexpr double D65x = 0.3127, D65y = 0.3290;
constexpr std::array<double, 8> SrgbXy = {D65x, D65y, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};

// The white and primaries an H.273 code point names; nothing for those we do not know.
std::optional<std::array<double, 8>> primariesOf(int code)
{
    switch (code) {
    case 0: // not given
    case 1: // BT.709, sRGB
    case 2: // unspecified
        return SrgbXy;
    case 5: // BT.601 of 625 lines, BT.470 B/G
        return std::array<double, 8>{D65x, D65y, 0.64, 0.33, 0.29, 0.60, 0.15, 0.06};
    case 6: // BT.601 of 525 lines, SMPTE 170M
    case 7: // SMPTE 240M
        return std::array<double, 8>{D65x, D65y, 0.630, 0.340, 0.310, 0.595, 0.155, 0.070};
    case 9: // BT.2020, BT.2100
        return std::array<double, 8>{D65x, D65y, 0.708, 0.292, 0.170, 0.797, 0.131, 0.046};
    case 11: // DCI-P3, the cinema's white
        return std::array<double, 8>{0.314, 0.351, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060};
    case 12: // Display P3
        return std::array<double, 8>{D65x, D65y, 0.680, 0.320, 0.265, 0.690, 0.150, 0.060};
    default:
        return {};
    }
}

// The curve from samples to light an H.273 transfer code point names; nothing for those we do
// not know or leave alone (PQ and HLG would need tone mapping, not a curve to sRGB).
Curve transferOf(int code)
{
    switch (code) {
    case 0:  // not given
    case 2:  // unspecified
    case 13: // sRGB
        return srgbCurve();
    case 1:  // BT.709
    case 6:  // BT.601
    case 14: // BT.2020, 10 bits
    case 15: // BT.2020, 12 bits
        return curve4(1 / 0.45, 1 / 1.099, 0.099 / 1.099, 1 / 4.5, 0.081);
    case 4: // gamma 2.2
        return Curve(cmsBuildGamma(context(), 2.2));
    case 5: // gamma 2.8
        return Curve(cmsBuildGamma(context(), 2.8));
    case 8: // linear
        return Curve(cmsBuildGamma(context(), 1.0));
    default:
        return {};
    }
}

bool isSrgbCodes(int primaries, int transfer)
{
    return (primaries == 0 || primaries == 1 || primaries == 2) &&
           (transfer == 0 || transfer == 2 || transfer == 13);
}

Profile fromCodePoints(int primaries, int transfer)
{
    if (isSrgbCodes(primaries, transfer))
        return {};
    const std::optional<std::array<double, 8>> xy = primariesOf(primaries);
    const Curve curve = transferOf(transfer);
    if (!xy || !curve)
        return {};
    return rgbProfile(*xy, curve.get());
}

Profile fromChromaticities(const std::array<double, 8> &given, double gamma)
{
    const bool chromaticities =
        std::any_of(given.begin(), given.end(), [](double v) { return v != 0; });
    if (!chromaticities && gamma == 0)
        return {};
    const Curve curve = gamma == 0                 ? srgbCurve()
                        : gamma > 0 && gamma <= 10 ? Curve(cmsBuildGamma(context(), gamma))
                                                   : Curve();
    if (!curve)
        return {};
    return rgbProfile(chromaticities ? given : SrgbXy, curve.get());
}

// ---- Pixels

bool isGreyFormat(QImage::Format format)
{
    return format == QImage::Format_Grayscale8 || format == QImage::Format_Grayscale16;
}

// Whether every pixel is a grey: a grey profile applies to it.
bool greyPixels(const QImage &image)
{
    if (isGreyFormat(image.format()))
        return true;
    if (image.format() == QImage::Format_Indexed8 || image.format() == QImage::Format_Mono ||
        image.format() == QImage::Format_MonoLSB) {
        const QList<QRgb> table = image.colorTable();
        return std::all_of(table.begin(), table.end(),
                           [](QRgb c) { return qRed(c) == qGreen(c) && qGreen(c) == qBlue(c); });
    }
    return image.allGray();
}

// Whether the transform takes every colour of a coarse grid through sRGB to where it was, to
// within a level: then converting would change nothing that shows.
bool leavesAlone(cmsHTRANSFORM transform)
{
    constexpr int Steps = 9; // 0, 32, ... 224, 255
    constexpr int Count = Steps * Steps * Steps;
    std::array<QRgb, Count> in{}, out{};
    const auto level = [](int i) { return std::min(i * 32, 255); };
    for (int i = 0; i < Count; ++i)
        in[size_t(i)] =
            qRgb(level(i / (Steps * Steps)), level(i / Steps % Steps), level(i % Steps));
    cmsDoTransform(transform, in.data(), out.data(), Count);
    for (int i = 0; i < Count; ++i) {
        const QRgb a = in[size_t(i)], b = out[size_t(i)];
        if (std::abs(qRed(a) - qRed(b)) > 1 || std::abs(qGreen(a) - qGreen(b)) > 1 ||
            std::abs(qBlue(a) - qBlue(b)) > 1)
            return false;
    }
    return true;
}

QImage converted(QImage image)
{
    image.setColorSpace(QColorSpace::SRgb); // the pixels are now what the tag says they are
    return image;
}

// A colour picture through an RGB profile, 8 bits a channel straight: a picture of 16 bits is
// taken to 8 first (lcms samples transforms from 16 bits into tables, whose interpolation
// strays by several levels where colours leave sRGB; from 8 bits it applies the curves and the
// matrix themselves), a premultiplied one is made straight and its alpha copied.
QImage rgbToSrgb(QImage image, cmsHPROFILE from)
{
    const Profile srgb(cmsCreate_sRGBProfileTHR(context()));
    if (!srgb)
        return image;
    const Transform transform(
        cmsCreateTransformTHR(context(), from, Argb32, srgb.get(), Argb32, Intent, Flags));
    if (!transform)
        return image;
    if (image.format() == QImage::Format_Indexed8) { // its colours, not its pixels
        QList<QRgb> table = image.colorTable();
        cmsDoTransform(transform.get(), table.constData(), table.data(),
                       cmsUInt32Number(table.size()));
        image.setColorTable(table);
        return converted(std::move(image));
    }
    if (leavesAlone(transform.get()))
        return image;
    const QImage::Format eight =
        image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
    if (image.format() != eight)
        image.convertTo(eight);
    if (image.isNull())
        return image;
    // In place (each pixel is read before it is written), in bands of rows.
    const qint64 pixels = qint64(image.width()) * image.height();
    const int bands =
        pixels < BandedPixels ? 1 : int(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
    uchar *bits = image.bits();
    const auto convert = [&](int band) {
        const int from = image.height() * band / bands, to = image.height() * (band + 1) / bands;
        uchar *first = bits + qsizetype(from) * image.bytesPerLine();
        cmsDoTransformLineStride(transform.get(), first, first, cmsUInt32Number(image.width()),
                                 cmsUInt32Number(to - from), cmsUInt32Number(image.bytesPerLine()),
                                 cmsUInt32Number(image.bytesPerLine()), 0, 0);
    };
    std::vector<std::thread> helpers;
    for (int band = 1; band < bands; ++band) {
        try {
            helpers.emplace_back(convert, band);
        } catch (const std::system_error &) { // no thread to be had: this one does the band
            convert(band);
        }
    }
    convert(0);
    for (std::thread &helper : helpers)
        helper.join();
    return converted(std::move(image));
}

// A grey picture through a grey profile: each of the 256 greys through lcms once, then the
// pixels through that table.
QImage greyToSrgb(QImage image, cmsHPROFILE from)
{
    const Curve curve = srgbCurve();
    const Profile grey(curve ? cmsCreateGrayProfileTHR(context(), cmsD50_xyY(), curve.get())
                             : nullptr);
    if (!grey)
        return image;
    const Transform transform(cmsCreateTransformTHR(context(), from, TYPE_GRAY_8, grey.get(),
                                                    TYPE_GRAY_8, Intent,
                                                    cmsFLAGS_BLACKPOINTCOMPENSATION));
    if (!transform)
        return image;
    std::array<uchar, 256> in{}, table{};
    for (int i = 0; i < 256; ++i)
        in[size_t(i)] = uchar(i);
    cmsDoTransform(transform.get(), in.data(), table.data(), 256);
    bool alone = true;
    for (int i = 0; i < 256; ++i)
        alone = alone && std::abs(int(table[size_t(i)]) - i) <= 1;
    if (alone)
        return image;
    const auto grey8 = [&table](int v) { return int(table[size_t(v)]); };
    const auto mapped = [&grey8](QRgb c) {
        return qRgba(grey8(qRed(c)), grey8(qGreen(c)), grey8(qBlue(c)), qAlpha(c));
    };
    switch (image.format()) {
    case QImage::Format_Grayscale16:
        image.convertTo(QImage::Format_Grayscale8);
        [[fallthrough]];
    case QImage::Format_Grayscale8:
        for (int y = 0; y < image.height(); ++y) {
            uchar *line = image.scanLine(y);
            for (int x = 0; x < image.width(); ++x)
                line[x] = table[line[x]];
        }
        break;
    case QImage::Format_Indexed8:
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB: {
        QList<QRgb> colours = image.colorTable();
        std::transform(colours.begin(), colours.end(), colours.begin(), mapped);
        image.setColorTable(colours);
        break;
    }
    default:
        image.convertTo(image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        for (int y = 0; y < image.height(); ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            std::transform(line, line + image.width(), line, mapped);
        }
        break;
    }
    return converted(std::move(image));
}

} // namespace

bool isSrgbProfile(QByteArrayView iccProfile)
{
    const Profile profile = openIcc(iccProfile);
    return profile && isSrgb(profile.get());
}

QImage toSrgb(QImage image, const ColourTag &tag)
{
    if (image.isNull())
        return image;
    const bool colour = !isGreyFormat(image.format());
    if (!tag.iccProfile.isEmpty()) {
        const Profile profile = openIcc(tag.iccProfile);
        if (profile && isSrgb(profile.get()))
            return image;
        if (profile && cmsGetColorSpace(profile.get()) == cmsSigRgbData && colour)
            return rgbToSrgb(std::move(image), profile.get());
        if (profile && cmsGetColorSpace(profile.get()) == cmsSigGrayData && greyPixels(image))
            return greyToSrgb(std::move(image), profile.get());
        // A profile that cannot be read, or that does not fit the pixels: what else the file
        // said, if anything.
    }
    Profile made;
    if (tag.primaries != 0 || tag.transfer != 0)
        made = fromCodePoints(tag.primaries, tag.transfer);
    else
        made = fromChromaticities(tag.chromaticities, tag.gamma);
    if (!made)
        return image;
    // A grey picture in an RGB colour space: its greys are the space's greys, which differ from
    // sRGB's only by the curve, and the colour picture's way gives them that.
    return rgbToSrgb(std::move(image), made.get());
}

} // namespace picture

#include "tiffpicture.h"

#include "colour.h"

#include <QTransform>
#include <QtEndian>
#include <qfloat16.h>

#include <tiffio.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace picture {

namespace {

// No single allocation of libtiff's, nor one strip or tile, may be larger: more than any
// picture within the limits needs, less than the decoding process's memory.
constexpr tmsize_t MaxChunk = tmsize_t(256) << 20;

// The file in memory, as libtiff reads it.
struct Memory
{
    QByteArrayView bytes;
    quint64 at = 0;
};

tmsize_t readProc(thandle_t handle, void *out, tmsize_t size)
{
    auto *m = static_cast<Memory *>(handle);
    const quint64 total = quint64(m->bytes.size());
    if (size <= 0 || m->at >= total)
        return 0;
    const quint64 count = std::min(quint64(size), total - m->at);
    std::memcpy(out, m->bytes.data() + m->at, size_t(count));
    m->at += count;
    return tmsize_t(count);
}

tmsize_t writeProc(thandle_t, void *, tmsize_t) { return -1; }

toff_t seekProc(thandle_t handle, toff_t offset, int whence)
{
    auto *m = static_cast<Memory *>(handle);
    // Offsets wrap as libtiff's own file functions let them: a negative one comes as a large one.
    if (whence == SEEK_SET)
        m->at = offset;
    else if (whence == SEEK_CUR)
        m->at += offset;
    else if (whence == SEEK_END)
        m->at = quint64(m->bytes.size()) + offset;
    return m->at;
}

int closeProc(thandle_t) { return 0; }
toff_t sizeProc(thandle_t handle) { return toff_t(static_cast<Memory *>(handle)->bytes.size()); }
int mapProc(thandle_t, void **, toff_t *) { return 0; }
void unmapProc(thandle_t, void *, toff_t) {}

// Ours say nothing: a failure shows in what libtiff's functions give back.
int quiet(TIFF *, void *, const char *, const char *, va_list) { return 1; }

struct Closer
{
    void operator()(TIFF *tif) const { TIFFClose(tif); }
};
using Tiff = std::unique_ptr<TIFF, Closer>;

Tiff open(Memory *memory)
{
    // libtiff's global handlers write to stderr; none are left, whatever path calls them.
    static std::once_flag silenced;
    std::call_once(silenced, [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
        TIFFSetErrorHandlerExt(nullptr);
        TIFFSetWarningHandlerExt(nullptr);
    });
    TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
    if (!options)
        return {};
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, MaxChunk);
    TIFFOpenOptionsSetErrorHandlerExtR(options, quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, quiet, nullptr);
    // "m": no memory mapping, every read through readProc.
    TIFF *tif = TIFFClientOpenExt("picture", "rm", memory, readProc, writeProc, seekProc, closeProc,
                                  sizeProc, mapProc, unmapProc, options);
    TIFFOpenOptionsFree(options);
    return Tiff(tif);
}

Picture refusedAs(Reason reason, QStringList details = {kindName(Kind::Tiff)})
{
    return {QImage(), refused(reason, std::move(details))};
}

Picture unsupported(const QString &variant)
{
    return refusedAs(Reason::Unsupported, {kindName(Kind::Tiff), variant});
}

// How one sample is stored, and the reading of it as 8 bits.
struct Sample
{
    int bits = 8;
    int format = SAMPLEFORMAT_UINT;
    quint64 max = 255; // of an integer sample

    // The sample at index (counted in samples from row) as stored: whole bytes of 8, 16, 24,
    // 32 and 64 bits in this machine's order, libtiff having turned them; other depths packed
    // from the highest bit.
    quint64 raw(const uchar *row, qint64 index) const
    {
        switch (bits) {
        case 8:
            return row[index];
        case 16:
            return qFromUnaligned<quint16>(row + 2 * index);
        case 24: {
            const uchar *p = row + 3 * index;
            return std::endian::native == std::endian::little
                       ? quint64(p[0]) | quint64(p[1]) << 8 | quint64(p[2]) << 16
                       : quint64(p[2]) | quint64(p[1]) << 8 | quint64(p[0]) << 16;
        }
        case 32:
            return qFromUnaligned<quint32>(row + 4 * index);
        case 64:
            return qFromUnaligned<quint64>(row + 8 * index);
        default:
            break;
        }
        quint64 value = 0;
        qint64 bit = index * bits;
        for (int left = bits; left > 0;) {
            const int shift = int(bit & 7), take = std::min(8 - shift, left);
            value = value << take | ((row[bit >> 3] >> (8 - shift - take)) & ((1u << take) - 1));
            left -= take;
            bit += take;
        }
        return value;
    }

    // The sample widened or narrowed to 0..255: integers so that their full scale is 255
    // (signed ones from their least to their greatest), floating point from 0..1.
    uint eight(quint64 v) const
    {
        if (format == SAMPLEFORMAT_IEEEFP) {
            double f = 0;
            if (bits == 16)
                f = double(float(std::bit_cast<qfloat16>(quint16(v))));
            else if (bits == 32)
                f = double(std::bit_cast<float>(quint32(v)));
            else
                f = std::bit_cast<double>(v);
            if (!(f > 0)) // NaN too
                return 0;
            return f >= 1 ? 255 : uint(std::lround(f * 255));
        }
        if (format == SAMPLEFORMAT_INT) // two's complement to offset binary
            v ^= quint64(1) << (bits - 1);
        if (bits == 8)
            return uint(v);
        if (bits <= 32)
            return uint((v * 255 + max / 2) / max);
        return uint(
            std::lround(static_cast<long double>(v) * 255.0L / static_cast<long double>(max)));
    }
};

// What the first page holds, as libtiff read its directory.
struct Page
{
    quint32 width = 0, height = 0;
    quint16 samples = 1, photometric = 0, planar = PLANARCONFIG_CONTIG, orientation = 1;
    quint16 colours = 1;                 // the colour samples, before any extra ones
    int alpha = EXTRASAMPLE_UNSPECIFIED; // associated or not; unspecified: none
    Sample sample;
};

// The colour samples each kind of picture has; 0 for the kinds libtiff's RGBA reading reads.
quint16 coloursOf(TIFF *tif, quint16 photometric)
{
    switch (photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_PALETTE:
        return 1;
    case PHOTOMETRIC_RGB:
        return 3;
    case PHOTOMETRIC_SEPARATED: {
        quint16 inks = INKSET_CMYK;
        TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inks);
        return inks == INKSET_CMYK ? 4 : 0;
    }
    default:
        return 0;
    }
}

// The alpha sample among the extra ones, as libtiff's RGBA reading takes it: the first extra
// sample when it says it is alpha, or when it says nothing of a picture of four samples and more;
// of an RGB picture of four samples that says nothing at all, the fourth.
int alphaOf(TIFF *tif, const Page &p)
{
    quint16 count = 0;
    quint16 *kinds = nullptr;
    TIFFGetFieldDefaulted(tif, TIFFTAG_EXTRASAMPLES, &count, &kinds);
    if (count >= 1 && kinds && p.samples > p.colours) {
        if (kinds[0] == EXTRASAMPLE_ASSOCALPHA || kinds[0] == EXTRASAMPLE_UNASSALPHA)
            return kinds[0];
        if (kinds[0] == EXTRASAMPLE_UNSPECIFIED && p.samples > 3)
            return EXTRASAMPLE_ASSOCALPHA;
    }
    if (count == 0 && p.samples == 4 && p.photometric == PHOTOMETRIC_RGB)
        return EXTRASAMPLE_ASSOCALPHA;
    return EXTRASAMPLE_UNSPECIFIED;
}

// Every strip or tile lies inside the file: else the file was cut.
bool whole(TIFF *tif, quint64 fileBytes)
{
    const quint32 count = TIFFIsTiled(tif) ? TIFFNumberOfTiles(tif) : TIFFNumberOfStrips(tif);
    for (quint32 i = 0; i < count; ++i) {
        const quint64 offset = TIFFGetStrileOffset(tif, i), bytes = TIFFGetStrileByteCount(tif, i);
        if (offset > fileBytes || bytes > fileBytes - offset)
            return false;
    }
    return true;
}

// The samples of the first page, each used one (colours, then alpha) as 8 bits, or a palette
// picture's indices as they are, pixel after pixel: read strip by strip or tile by tile, one
// plane a sample or all in one. False when libtiff could not decode a part.
template <typename Out>
bool readSamples(TIFF *tif, const Page &p, int used, bool indices, std::vector<Out> *out)
{
    const bool tiled = TIFFIsTiled(tif);
    const bool separate = p.planar == PLANARCONFIG_SEPARATE;
    quint32 partWidth = p.width, partHeight = 0;
    if (tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &partWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &partHeight);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &partHeight);
        partHeight = std::min(partHeight, p.height);
    }
    const tmsize_t partBytes = tiled ? TIFFTileSize(tif) : TIFFStripSize(tif);
    const int perPixel = separate ? 1 : p.samples;
    const qint64 rowBytes = (qint64(partWidth) * perPixel * p.sample.bits + 7) / 8;
    if (partWidth == 0 || partHeight == 0 || partBytes <= 0 || partBytes > MaxChunk ||
        rowBytes * partHeight > partBytes)
        return false;
    std::vector<uchar> part(static_cast<size_t>(partBytes));
    const int planes = separate ? used : 1;
    for (int plane = 0; plane < planes; ++plane) {
        for (quint32 y0 = 0; y0 < p.height; y0 += partHeight) {
            for (quint32 x0 = 0; x0 < p.width; x0 += partWidth) {
                // What a decoder leaves unwritten reads the same every time.
                std::fill(part.begin(), part.end(), uchar(0));
                const tmsize_t got =
                    tiled
                        ? TIFFReadEncodedTile(tif, TIFFComputeTile(tif, x0, y0, 0, quint16(plane)),
                                              part.data(), partBytes)
                        : TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, y0, quint16(plane)),
                                               part.data(), partBytes);
                if (got < 0)
                    return false;
                const quint32 rows = std::min(partHeight, p.height - y0);
                const quint32 columns = std::min(partWidth, p.width - x0);
                for (quint32 y = 0; y < rows; ++y) {
                    const uchar *row = part.data() + qint64(y) * rowBytes;
                    Out *to = out->data() + ((qint64(y0) + y) * p.width + x0) * used;
                    for (quint32 x = 0; x < columns; ++x) {
                        for (int s = separate ? plane : 0; s < (separate ? plane + 1 : used); ++s) {
                            const quint64 raw =
                                p.sample.raw(row, qint64(x) * perPixel + (separate ? 0 : s));
                            to[qint64(x) * used + s] =
                                Out(indices && s == 0 ? uint(raw) : p.sample.eight(raw));
                        }
                    }
                }
            }
        }
    }
    return true;
}

// The colour map's 16-bit entries, or 8-bit ones when every entry is below 256 (as some
// writers store them, and as libtiff's RGBA reading takes them).
QList<QRgb> colourMap(TIFF *tif, int bits)
{
    quint16 *r = nullptr, *g = nullptr, *b = nullptr;
    if (bits > 16 || !TIFFGetField(tif, TIFFTAG_COLORMAP, &r, &g, &b) || !r || !g || !b)
        return {};
    const qsizetype count = qsizetype(1) << bits;
    bool sixteen = false;
    for (qsizetype i = 0; i < count && !sixteen; ++i)
        sixteen = r[i] > 255 || g[i] > 255 || b[i] > 255;
    const auto eight = [sixteen](quint16 v) { return sixteen ? int(v * 255L / 65535) : int(v); };
    QList<QRgb> colours(count);
    for (qsizetype i = 0; i < count; ++i)
        colours[i] = qRgb(eight(r[i]), eight(g[i]), eight(b[i]));
    return colours;
}

// The page turned upright as its orientation tag says.
QImage upright(QImage image, quint16 orientation)
{
    switch (orientation) {
    case ORIENTATION_TOPRIGHT:
        return image.mirrored(true, false);
    case ORIENTATION_BOTRIGHT:
        return image.mirrored(true, true);
    case ORIENTATION_BOTLEFT:
        return image.mirrored(false, true);
    case ORIENTATION_LEFTTOP: // rows are columns
        return image.transformed(QTransform(0, 1, 1, 0, 0, 0));
    case ORIENTATION_RIGHTTOP:
        return image.transformed(QTransform().rotate(90));
    case ORIENTATION_RIGHTBOT:
        return image.transformed(QTransform(0, -1, -1, 0, 0, 0));
    case ORIENTATION_LEFTBOT:
        return image.transformed(QTransform().rotate(270));
    default:
        return image;
    }
}

// Samples of 8 bits, or palette indices of up to 16 (Value wide enough for them), as pixels.
template <typename Value> Picture readOwn(TIFF *tif, const Page &p, const QList<QRgb> &colours)
{
    const bool palette = p.photometric == PHOTOMETRIC_PALETTE;
    const int used = p.colours + (p.alpha != EXTRASAMPLE_UNSPECIFIED ? 1 : 0);
    const qint64 pixels = qint64(p.width) * p.height;
    std::vector<Value> values(size_t(pixels * used));
    if (!readSamples(tif, p, used, palette, &values))
        return refusedAs(Reason::Damaged);

    const bool associated = p.alpha == EXTRASAMPLE_ASSOCALPHA;
    QImage image(int(p.width), int(p.height),
                 p.alpha == EXTRASAMPLE_UNSPECIFIED ? QImage::Format_RGB32
                 : associated                       ? QImage::Format_ARGB32_Premultiplied
                                                    : QImage::Format_ARGB32);
    if (image.isNull())
        return refusedAs(Reason::OutOfMemory, {});
    for (quint32 y = 0; y < p.height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(int(y)));
        const Value *v = values.data() + qint64(y) * p.width * used;
        for (quint32 x = 0; x < p.width; ++x, v += used) {
            int r = 0, g = 0, b = 0;
            switch (p.photometric) {
            case PHOTOMETRIC_MINISWHITE:
                r = g = b = 255 - v[0];
                break;
            case PHOTOMETRIC_MINISBLACK:
                r = g = b = v[0];
                break;
            case PHOTOMETRIC_PALETTE: {
                const QRgb c = colours.value(v[0]);
                r = qRed(c), g = qGreen(c), b = qBlue(c);
                break;
            }
            case PHOTOMETRIC_SEPARATED: { // as libtiff's RGBA reading mixes the inks
                const int k = 255 - v[3];
                r = k * (255 - v[0]) / 255, g = k * (255 - v[1]) / 255, b = k * (255 - v[2]) / 255;
                break;
            }
            default:
                r = v[0], g = v[1], b = v[2];
                break;
            }
            int a = used > p.colours ? v[p.colours] : 255;
            if (associated) // no colour above its alpha
                r = std::min(r, a), g = std::min(g, a), b = std::min(b, a);
            line[x] = qRgba(r, g, b, a);
        }
    }
    return {upright(std::move(image), p.orientation), {}};
}

// Grey, RGB, palette or CMYK samples of any depth, with alpha or without: a byte a sample as
// they are read, two for the indices of a palette of more than 256 colours.
Picture readOwn(TIFF *tif, const Page &p)
{
    if (p.photometric != PHOTOMETRIC_PALETTE)
        return readOwn<quint8>(tif, p, {});
    const QList<QRgb> colours = colourMap(tif, p.sample.bits);
    if (colours.isEmpty())
        return refusedAs(Reason::Damaged);
    return p.sample.bits > 8 ? readOwn<quint16>(tif, p, colours) : readOwn<quint8>(tif, p, colours);
}

// libtiff's own conversion to 8-bit RGBA, for the colour spaces we do not read ourselves.
Picture readRgba(TIFF *tif, const Page &p)
{
    char why[1024] = {};
    if (!TIFFRGBAImageOK(tif, why))
        return unsupported(QStringLiteral("colour %1").arg(p.photometric));
    QImage image(int(p.width), int(p.height), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return refusedAs(Reason::OutOfMemory, {});
    std::vector<quint32> raster(size_t(qint64(p.width) * p.height));
    if (!TIFFReadRGBAImageOriented(tif, p.width, p.height, raster.data(), ORIENTATION_TOPLEFT, 0))
        return refusedAs(Reason::Damaged);
    for (quint32 y = 0; y < p.height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(int(y)));
        const quint32 *from = raster.data() + qint64(y) * p.width;
        for (quint32 x = 0; x < p.width; ++x) // associated alpha, as is ours
            line[x] = qRgba(int(TIFFGetR(from[x])), int(TIFFGetG(from[x])), int(TIFFGetB(from[x])),
                            int(TIFFGetA(from[x])));
    }
    return {std::move(image), {}};
}

// The page in sRGB, from the ICC profile the page carries, if any.
Picture inSrgb(TIFF *tif, Picture page)
{
    quint32 bytes = 0;
    const void *profile = nullptr;
    if (!page.isNull() && TIFFGetField(tif, TIFFTAG_ICCPROFILE, &bytes, &profile) && profile)
        page.image = toSrgb(std::move(page.image),
                            {QByteArrayView(static_cast<const char *>(profile), qsizetype(bytes))});
    return page;
}

} // namespace

Picture readTiff(const QByteArray &bytes, const Survey &s, const Limits &limits)
{
    Memory memory{bytes};
    const Tiff tif = open(&memory);
    if (!tif)
        return refusedAs(s.ranOut ? Reason::Incomplete : Reason::Damaged);
    Page p;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &p.width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &p.height);
    const QSize size(int(std::min<quint32>(p.width, INT_MAX)),
                     int(std::min<quint32>(p.height, INT_MAX)));
    if (size.isEmpty())
        return refusedAs(Reason::NoPixels, {kindName(Kind::Tiff), QString::number(p.width),
                                            QString::number(p.height)});
    if (!withinLimits(size, limits))
        return refusedAs(Reason::TooLarge, {QString::number(p.width), QString::number(p.height)});

    quint16 compression = COMPRESSION_NONE, bits = 1, format = SAMPLEFORMAT_UINT;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_COMPRESSION, &compression);
    if (!TIFFIsCODECConfigured(compression))
        return unsupported(QStringLiteral("compression %1").arg(compression));
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &p.samples);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &p.planar);
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &p.orientation);
    if (!TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &p.photometric))
        p.photometric = p.samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    if (!whole(tif.get(), quint64(bytes.size())))
        return refusedAs(Reason::Incomplete);
    if (bits == 0 || p.samples == 0)
        return refusedAs(Reason::Damaged);

    p.colours = coloursOf(tif.get(), p.photometric);
    // libtiff's RGBA reading for the colour spaces we do not read, and for the old form of
    // JPEG inside TIFF, whose strips only it puts together.
    if (p.colours == 0 || compression == COMPRESSION_OJPEG ||
        (compression == COMPRESSION_JPEG && p.photometric == PHOTOMETRIC_YCBCR))
        return inSrgb(tif.get(), readRgba(tif.get(), p));
    if (p.samples < p.colours)
        return refusedAs(Reason::Damaged);

    const bool floating = format == SAMPLEFORMAT_IEEEFP;
    if (floating ? bits != 16 && bits != 32 && bits != 64 : bits > 64)
        return unsupported(floating ? QStringLiteral("float %1").arg(bits)
                                    : QStringLiteral("bits %1").arg(bits));
    if (format != SAMPLEFORMAT_UINT && format != SAMPLEFORMAT_INT && format != SAMPLEFORMAT_VOID &&
        !floating)
        return unsupported(QStringLiteral("sample format %1").arg(format));
    if (p.photometric == PHOTOMETRIC_PALETTE && (floating || bits > 16))
        return unsupported(QStringLiteral("bits %1").arg(bits));
    p.sample.bits = bits;
    p.sample.format = floating                     ? SAMPLEFORMAT_IEEEFP
                      : format == SAMPLEFORMAT_INT ? SAMPLEFORMAT_INT
                                                   : SAMPLEFORMAT_UINT;
    p.sample.max = bits == 64 ? ~quint64(0) : (quint64(1) << bits) - 1;
    p.alpha = alphaOf(tif.get(), p);
    return inSrgb(tif.get(), readOwn(tif.get(), p));
}

} // namespace picture

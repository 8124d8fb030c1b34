// The walks over each kind's structure: sizes from the headers, and whether the data reaches
// the end of the pixels.
#include "surveys.h"

#include <array>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>

namespace picture {

namespace {

// A size within the limits, or the verdict that it is not.
Survey sized(QSize size, const Limits &limits)
{
    return verdict(withinLimits(size, limits) ? Survey::Fine : Survey::TooLarge, size);
}

} // namespace

// ---- BMP, and the bitmaps inside an ICO

namespace {
struct Dib
{
    qint64 width = 0, height = 0; // height as stored: an icon's counts its mask too
    int bits = 0;
    quint32 compression = 0;
    qint64 headerSize = 0, paletteBytes = 0;
};

// The device-independent bitmap header at at as Qt's readers take it (one plane, a depth they
// read, a width and a height), or nothing when it is not one.
std::optional<Dib> readDib(const Bytes &f, qint64 at)
{
    const std::optional<DibHeader> h = readDibHeader(f.b, at);
    if (!h)
        return {};
    const bool depth = h->bits == 1 || h->bits == 2 || h->bits == 4 || h->bits == 8 ||
                       h->bits == 16 || h->bits == 24 || h->bits == 32;
    if (h->planes != 1 || !depth || h->width <= 0 || h->height == 0)
        return {};
    Dib d{h->width, h->height, h->bits, h->compression, h->size, 0};
    if (d.bits <= 8) {
        const quint32 colours = h->colorsUsed;
        d.paletteBytes = qint64(colours > 0 && colours < (1u << d.bits) ? colours : 1u << d.bits) *
                         (h->isCore() ? 3 : 4);
    }
    return d;
}

qint64 rowBytes(qint64 width, int bits) { return (width * bits + 31) / 32 * 4; }
} // namespace

namespace {
// The forms of BMP other programs write that we do not read, by the compression and the
// header's size (OS/2's second header, of 16 or 64 bytes, gives 3 and 4 other meanings); empty
// for the forms we do.
QString unsupportedBmp(const Dib &d)
{
    const bool os2 = d.headerSize == 16 || d.headerSize == 64;
    switch (d.compression) {
    case 0: // none
    case 1: // RLE8
    case 2: // RLE4
    case 6: // bit fields with alpha
        return {};
    case 3:
        return os2 ? QStringLiteral("Huffman") : QString(); // or bit fields
    case 4:
        return os2 ? QStringLiteral("RLE24") : QStringLiteral("JPEG inside");
    case 5:
        return QStringLiteral("PNG inside");
    default:
        return QStringLiteral("compression %1").arg(d.compression);
    }
}
} // namespace

Survey surveyBmp(const Bytes &f, const Limits &limits)
{
    const std::optional<Dib> dib = readDib(f, 14);
    if (!f.has(0, 14) || !dib)
        return verdict(Survey::Damaged);
    const QSize size(int(dib->width), int(qMin<qint64>(qAbs(dib->height), INT_MAX)));
    if (const QString form = unsupportedBmp(*dib); !form.isEmpty()) {
        Survey s = verdict(Survey::Unsupported, size);
        s.variant = form;
        return s;
    }
    Survey s = sized(size, limits);
    if (s.verdict != Survey::Fine)
        return s;

    // Qt reads the pixels at the file header's offset, or right after the headers when the
    // offset points into them.
    const qint64 headersEnd = 14 + dib->headerSize;
    const qint64 pixels = qMax<qint64>(f.le32(10), headersEnd);
    const qint64 rows = size.height();
    bool whole = true;
    const auto nothing = [](qint64, qint64, int) {};
    const QByteArrayView coded = f.has(pixels, 0) ? f.b.sliced(pixels) : QByteArrayView();
    if (dib->compression == 1 && dib->bits == 8)
        whole = walkRunLength(coded, dib->width, rows, false, nothing);
    else if (dib->compression == 2 && dib->bits == 4)
        whole = walkRunLength(coded, dib->width, rows, true, nothing);
    else if (dib->compression == 0 || dib->compression == 3 || dib->compression == 6)
        whole = f.has(pixels, rowBytes(dib->width, dib->bits) * rows);
    if (!whole)
        s.verdict = Survey::Incomplete;
    return s;
}

// ---- PNG

Survey surveyPng(const Bytes &f, const Limits &limits)
{
    if (!f.has(8, 25) || f.be32(8) != 13 || f.b.sliced(12, 4) != "IHDR")
        return verdict(Survey::Damaged);
    const quint32 width = f.be32(16), height = f.be32(20);
    if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX)
        return verdict(Survey::Damaged);
    Survey s = sized(QSize(int(width), int(height)), limits);
    if (s.verdict != Survey::Fine)
        return s;
    // Chunk by chunk to the end chunk; Qt's reader refuses a file that lacks it. Data that
    // ends in the pixels' chunks is a cut file, before them a damaged one.
    bool pixels = false;
    for (qint64 at = 8;;) {
        if (at == f.b.size()) {
            s.ranOut = pixels;
            s.endAdded = f.b.toByteArray() + QByteArray("\0\0\0\0IEND\xAE\x42\x60\x82", 12);
            return s;
        }
        pixels = pixels || (f.has(at, 8) && f.b.sliced(at + 4, 4) == "IDAT");
        if (!f.has(at, 12) || !f.has(at + 12, f.be32(at)))
            return verdict(pixels ? Survey::Incomplete : Survey::Damaged, s.size);
        if (f.b.sliced(at + 4, 4) == "IEND")
            return s;
        at += 12 + f.be32(at);
    }
}

// ---- ICO: a directory of bitmaps and PNG pictures; Qt decodes the first

Survey surveyIco(const Bytes &f, const Limits &limits)
{
    if (f.le16(4) == 0 || !f.has(6, 16))
        return verdict(Survey::Damaged);
    const qint64 bytes = f.le32(6 + 8), at = f.le32(6 + 12);
    if (!f.has(at, bytes))
        return verdict(Survey::Incomplete);
    const Bytes icon{f.b.sliced(at, bytes)};
    if (icon.b.startsWith("\x89PNG\r\n\x1A\n"))
        return surveyPng(icon, limits);
    const std::optional<Dib> dib = readDib(icon, 0);
    if (!dib)
        return verdict(Survey::Damaged);
    // The stored height counts the colour rows and the transparency mask's rows.
    const qint64 rows = qAbs(dib->height) / 2;
    Survey s = sized(QSize(int(qMin<qint64>(dib->width, INT_MAX)), int(rows)), limits);
    if (s.verdict == Survey::Fine &&
        !icon.has(dib->headerSize + dib->paletteBytes, rowBytes(dib->width, dib->bits) * rows))
        s.verdict = Survey::Incomplete;
    return s;
}

// ---- GIF

namespace {
// Counts the pixels a frame's LZW data gives, without decoding them: every code stands for as
// many pixels as its table entry is long. at is the minimum code size's byte. Nothing when the
// codes are not a valid LZW stream. Stops at the end code, at wanted pixels, or where the data
// runs out.
std::optional<qint64> countLzwPixels(const Bytes &f, qint64 at, qint64 wanted)
{
    if (!f.has(at, 1))
        return 0;
    const uint minimum = f.u8(at++);
    if (minimum < 1 || minimum > 11)
        return {};
    constexpr uint None = UINT_MAX, TableSize = 4096;
    const uint clear = 1u << minimum, end = clear + 1;
    std::array<quint16, TableSize> length;
    length.fill(1);
    uint next = clear + 2, width = minimum + 1, previous = None, held = 0;
    quint32 buffer = 0;
    qint64 pixels = 0;
    while (f.has(at, 1) && f.u8(at) > 0) {
        const qint64 block = qMin<qint64>(f.u8(at), f.b.size() - at - 1); // the last may be cut
        for (qint64 i = 1; i <= block; ++i) {
            buffer |= f.u8(at + i) << held;
            held += 8;
            while (held >= width) {
                const uint code = buffer & ((1u << width) - 1);
                buffer >>= width;
                held -= width;
                if (code == clear) {
                    next = clear + 2;
                    width = minimum + 1;
                    previous = None;
                    continue;
                }
                if (code == end || pixels >= wanted)
                    return pixels;
                quint32 run = 0;
                if (previous == None)
                    run = code < clear ? 1 : 0;
                else if (code < next)
                    run = length[code];
                else if (code == next)
                    run = length[previous] + 1u;
                if (run == 0)
                    return {};
                if (previous != None && next < TableSize) {
                    length[next++] = quint16(qMin<quint32>(length[previous] + 1u, TableSize));
                    if (next == (1u << width) && width < 12)
                        ++width;
                }
                pixels += run;
                previous = code;
            }
        }
        at += 1 + block;
    }
    return pixels;
}
} // namespace

Survey surveyGif(const Bytes &f, const Limits &limits)
{
    if (!f.has(0, 13))
        return verdict(Survey::Damaged);
    const QSize screen(int(f.le16(6)), int(f.le16(8)));
    qint64 at = 13;
    if (f.u8(10) & 0x80)
        at += 3 << ((f.u8(10) & 7) + 1);
    // Extensions up to the first frame; the frames after it are never decoded.
    // Data that ends before the first frame holds no picture at all: that is damage, not a cut.
    for (uint introducer = 0; introducer != 0x2C;) {
        if (!f.has(at, 1))
            return verdict(Survey::Damaged);
        introducer = f.u8(at++);
        if (introducer == 0x21) {
            ++at; // the extension's label, then its blocks
            while (f.has(at, 1) && f.u8(at) != 0)
                at += 1 + f.u8(at);
            ++at;
        } else if (introducer != 0x2C) {
            return verdict(Survey::Damaged);
        }
    }
    if (!f.has(at, 9))
        return verdict(Survey::Damaged);
    const QSize frame(int(f.le16(at + 4)), int(f.le16(at + 6)));
    const uint flags = f.u8(at + 8);
    at += 9;
    if (flags & 0x80)
        at += 3 << ((flags & 7) + 1);
    const qint64 wanted = qint64(frame.width()) * frame.height();
    const std::optional<qint64> pixels = countLzwPixels(f, at, wanted);
    if (!pixels)
        return verdict(Survey::Damaged);
    // Only now is the header believed: random bytes after the signature are damage.
    if (!screen.isEmpty() && !withinLimits(screen, limits))
        return verdict(Survey::TooLarge, screen);
    if (frame.isEmpty()) // a frame of no pixels is no picture, however small
        return verdict(Survey::NoPixels, frame);
    Survey s = sized(frame, limits);
    if (s.verdict == Survey::Fine && *pixels < wanted)
        s.verdict = Survey::Incomplete;
    return s;
}

// ---- JPEG

namespace {
// The forms of JPEG libjpeg does not decode, by the frame header's marker, precision and
// height; empty for the forms it does.
QString unsupportedJpeg(uint marker, uint precision, int height)
{
    if (marker == 0xF7)
        return QStringLiteral("JPEG-LS");
    if (marker == 0xC3 || marker == 0xC7 || marker == 0xCB || marker == 0xCF)
        return QStringLiteral("lossless");
    if (marker == 0xC5 || marker == 0xC6 || marker == 0xCD || marker == 0xCE)
        return QStringLiteral("hierarchical");
    if (precision == 12)
        return QStringLiteral("12-bit");
    // A height of 0 is given after the first scan, in a DNL marker, which libjpeg does not read.
    if (height == 0)
        return QStringLiteral("DNL");
    return {};
}
} // namespace

namespace {

// Where a scan's coded data, starting at `at`, ends: at the first marker other than a restart
// marker, or at the end of the data.
qint64 pastScanData(const Bytes &f, qint64 at)
{
    const qint64 size = f.b.size();
    while (at < size) {
        const char *ff =
            static_cast<const char *>(std::memchr(f.b.data() + at, 0xFF, size_t(size - at)));
        if (!ff)
            return size;
        at = ff - f.b.data() + 1;
        if (at < size && f.u8(at) != 0 && (f.u8(at) < 0xD0 || f.u8(at) > 0xD7) && f.u8(at) != 0xFF)
            return at - 1;
    }
    return at;
}

} // namespace

// Walks the markers of a JPEG to its frame header and through its scans; the coded data
// inside a scan is skipped. Data that ends inside a scan, without the end marker, is a cut
// file: libjpeg would fill what is missing with grey and say so only in a warning.
Survey surveyJpeg(const Bytes &f, const Limits &limits)
{
    Survey s;
    const qint64 size = f.b.size();
    bool ended = false;
    int scans = 0;
    for (qint64 at = 2; at < size;) {
        if (f.u8(at) != 0xFF) { // stray bytes between segments, which libjpeg skips
            ++at;
            continue;
        }
        while (at < size && f.u8(at) == 0xFF)
            ++at;
        if (at >= size)
            break;
        const uint marker = f.u8(at++);
        if (marker == 0xD9) { // whatever follows the end marker is not read
            ended = true;
            break;
        }
        if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue; // no length follows
        if (!f.has(at, 2))
            break;
        const qint64 length = f.be16(at);
        // JPEG-LS (0xF7) shares the markers' syntax but none of the coding.
        const bool frame = (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 &&
                            marker != 0xCC) ||
                           marker == 0xF7;
        if (frame && f.has(at, 7) && s.size.isEmpty() && s.variant.isEmpty()) {
            s.size = QSize(int(f.be16(at + 5)), int(f.be16(at + 3)));
            s.variant = unsupportedJpeg(marker, f.u8(at + 2), s.size.height());
        }
        at += length;
        if (marker != 0xDA)
            continue;
        ++scans;
        at = pastScanData(f, at);
    }
    if (!s.variant.isEmpty()) {
        s.verdict = Survey::Unsupported;
        return s;
    }
    s.ranOut = !ended && scans > 0;
    if (s.size.isEmpty()) // no frame header: Qt's reader tells
        return s;
    if (!withinLimits(s.size, limits))
        s.verdict = Survey::TooLarge;
    else if (s.ranOut)
        s.verdict = Survey::Incomplete;
    return s;
}

// ---- WebP: a RIFF file of chunks; libwebp refuses a cut file, which the RIFF size tells

Survey surveyWebp(const Bytes &f, const Limits &limits)
{
    const bool ranOut = f.le32(4) > quint64(f.b.size()) - 8; // the RIFF size counts from byte 8
    if (!f.has(12, 8))
        return verdict(Survey::Damaged);
    const QByteArrayView chunk = f.b.sliced(12, 4);
    const qint64 at = 20; // the first chunk's data
    QSize size;
    if (chunk == "VP8X" && f.has(at, 10)) { // the canvas of an extended file, sides less one
        size = QSize(int(f.le24(at + 4) + 1), int(f.le24(at + 7) + 1));
    } else if (chunk == "VP8 " && f.has(at, 10)) { // a lossy key frame: 14-bit sides
        size = QSize(int(f.le16(at + 6) & 0x3FFF), int(f.le16(at + 8) & 0x3FFF));
    } else if (chunk == "VP8L" && f.has(at, 5) && f.u8(at) == 0x2F) { // lossless, sides less one
        const quint32 bits = f.le32(at + 1);
        size = QSize(int((bits & 0x3FFF) + 1), int(((bits >> 14) & 0x3FFF) + 1));
    } else {
        return verdict(ranOut ? Survey::Incomplete : Survey::Damaged);
    }
    if (size.isEmpty())
        return verdict(Survey::NoPixels, size);
    Survey s = sized(size, limits);
    s.ranOut = ranOut;
    return s;
}

// ---- TIFF, classic or BigTIFF: the first directory's size and where its pixels lie; libtiff
// refuses pixels cut short, which their offsets tell

Survey surveyTiff(const Bytes &f, const Limits &limits)
{
    const bool msb = f.u8(0) == 'M';
    const auto u16 = [&](qint64 at) { return msb ? f.be16(at) : f.le16(at); };
    const auto u32 = [&](qint64 at) { return msb ? f.be32(at) : f.le32(at); };
    const auto u64 = [&](qint64 at) {
        return msb ? quint64(f.be32(at)) << 32 | f.be32(at + 4)
                   : quint64(f.le32(at + 4)) << 32 | f.le32(at);
    };
    // BigTIFF: 8-byte offsets (the header says so) and counts, entries of 20 bytes.
    const bool big = f.has(0, 4) && u16(2) == 43;
    const qint64 headerBytes = big ? 16 : 8, countBytes = big ? 8 : 2, entryBytes = big ? 20 : 12;
    if (!f.has(0, headerBytes) || (big && (u16(4) != 8 || u16(6) != 0)))
        return verdict(Survey::Damaged);
    const quint64 directory = big ? u64(8) : u32(4);
    if (directory < quint64(headerBytes) || directory > quint64(INT64_MAX / 2))
        return verdict(Survey::Damaged);
    if (!f.has(qint64(directory), countBytes))
        return verdict(directory >= quint64(f.b.size()) ? Survey::Incomplete : Survey::Damaged);
    const quint64 count = big ? u64(qint64(directory)) : u16(qint64(directory));
    const qint64 first = qint64(directory) + countBytes;
    if (count > 0xFFFF) // no directory holds more tags than there are
        return verdict(Survey::Damaged);
    if (!f.has(first, qint64(count) * entryBytes))
        return verdict(Survey::Incomplete);
    quint64 width = 0, height = 0, offset = 0, bytes = 0;
    bool oneOffset = false, oneCount = false;
    for (qint64 i = 0; i < qint64(count); ++i) {
        const qint64 entry = first + i * entryBytes;
        const uint tag = u16(entry), type = u16(entry + 2);
        const quint64 number = big ? u64(entry + 4) : u32(entry + 4);
        // A value of one SHORT, LONG or (in BigTIFF) LONG8 stands in the entry itself.
        const qint64 at = entry + (big ? 12 : 8);
        const quint64 value = type == 3 ? u16(at) : type == 16 && big ? u64(at) : u32(at);
        if (tag == 256)
            width = value;
        else if (tag == 257)
            height = value;
        else if ((tag == 273 || tag == 324) && number == 1) // the one strip's or tile's place
            offset = value, oneOffset = true;
        else if ((tag == 279 || tag == 325) && number == 1)
            bytes = value, oneCount = true;
    }
    const QSize size(int(qMin<quint64>(width, INT_MAX)), int(qMin<quint64>(height, INT_MAX)));
    if (size.isEmpty())
        return verdict(Survey::Damaged);
    Survey s = sized(size, limits);
    s.ranOut = oneOffset && oneCount &&
               (offset > quint64(f.b.size()) || bytes > quint64(f.b.size()) - offset);
    return s;
}

} // namespace picture

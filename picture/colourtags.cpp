// The walks that find a file's colour space; none reads past the bytes there are, none
// allocates more than a profile may hold.
#include "colourtags.h"

#include <zlib.h>

#include <cmath>

namespace picture {

namespace {

// The zlib stream z inflated, when it inflates to no more than max bytes; else nothing.
QByteArray inflated(QByteArrayView z, qsizetype max)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK)
        return {};
    QByteArray out;
    constexpr qsizetype Step = qsizetype(64) * 1024;
    stream.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(z.data()));
    stream.avail_in = uInt(z.size());
    int result = Z_OK;
    while (result == Z_OK) {
        const qsizetype at = out.size();
        if (at > max)
            break;
        out.resize(at + Step);
        stream.next_out = reinterpret_cast<Bytef *>(out.data() + at);
        stream.avail_out = uInt(Step);
        result = inflate(&stream, Z_NO_FLUSH);
        out.resize(at + Step - qsizetype(stream.avail_out));
    } // Z_BUF_ERROR, with room to write: the data ends before the stream does

    inflateEnd(&stream);
    return result == Z_STREAM_END && out.size() <= max ? out : QByteArray();
}

} // namespace

FileColour jpegColour(const Bytes &f)
{
    // "ICC_PROFILE", a zero, the piece's number from 1 and the count of pieces, then the piece.
    static const QByteArrayView Signature("ICC_PROFILE\0", 12);
    std::array<QByteArrayView, 256> pieces{};
    int count = 0;
    for (qint64 at = 2; f.has(at, 2);) {
        if (f.u8(at) != 0xFF || f.u8(at + 1) == 0xFF) { // stray bytes, and fill before a marker
            ++at;
            continue;
        }
        const uint marker = f.u8(at + 1);
        if (marker == 0xDA || marker == 0xD9) // the first scan: the profile comes before it
            break;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) { // no length follows
            at += 2;
            continue;
        }
        if (!f.has(at + 2, 2))
            break;
        const qint64 length = f.be16(at + 2);
        if (length < 2 || !f.has(at + 2, length))
            break;
        if (marker == 0xE2 && length >= 16 && f.b.sliced(at + 4, 12) == Signature) {
            const int number = int(f.u8(at + 16)), of = int(f.u8(at + 17));
            if (number == 0 || number > of || (count != 0 && of != count) ||
                !pieces[size_t(number)].isNull())
                return {};
            count = of;
            pieces[size_t(number)] = f.b.sliced(at + 18, length - 16);
        }
        at += 2 + length;
    }
    FileColour found;
    for (int i = 1; i <= count; ++i) {
        if (pieces[size_t(i)].isNull() ||
            found.iccProfile.size() + pieces[size_t(i)].size() > MaxProfileBytes)
            return {};
        found.iccProfile += pieces[size_t(i)];
    }
    return found;
}

FileColour pngColour(const Bytes &f)
{
    FileColour found, codes, profile;
    bool srgb = false, chromaticities = false;
    for (qint64 at = 8; f.has(at, 8);) {
        const qint64 length = f.be32(at);
        const QByteArrayView type = f.b.sliced(at + 4, 4);
        if (type == "IDAT" || type == "IEND" || !f.has(at + 8, length))
            break; // what describes the colours comes before the pixels
        const Bytes data{f.b.sliced(at + 8, length)};
        if (type == "cICP" && length == 4 && data.u8(2) == 0 && data.u8(3) == 1) {
            // RGB samples (no matrix) of the full range
            codes.primaries = int(data.u8(0));
            codes.transfer = int(data.u8(1));
        } else if (type == "iCCP" && profile.iccProfile.isEmpty()) {
            // A name of 1 to 79 bytes, a zero, the method (0, zlib), then the profile.
            const qsizetype end = data.b.first(qMin<qsizetype>(data.b.size(), 81)).indexOf('\0');
            if (end >= 1 && data.has(end + 1, 1) && data.u8(end + 1) == 0)
                profile.iccProfile = inflated(data.b.sliced(end + 2), MaxProfileBytes);
        } else if (type == "sRGB") {
            srgb = true;
        } else if (type == "gAMA" && length == 4 && data.be32(0) != 0) {
            found.gamma = 100000.0 / data.be32(0);
        } else if (type == "cHRM" && length == 32) {
            for (int i = 0; i < 8; ++i)
                found.chromaticities[size_t(i)] = data.be32(qint64(4) * i) / 100000.0;
            chromaticities = true;
        }
        at += 12 + length;
    }
    if (codes.primaries != 0 || codes.transfer != 0)
        return codes;
    if (!profile.iccProfile.isEmpty())
        return profile;
    if (srgb)
        return {};
    static constexpr std::array<double, 8> Srgb = {0.3127, 0.3290, 0.64, 0.33,
                                                   0.30,   0.60,   0.15, 0.06};
    bool srgbChromaticities = true;
    for (size_t i = 0; i < 8; ++i)
        srgbChromaticities =
            srgbChromaticities &&
            (!chromaticities || std::abs(found.chromaticities[i] - Srgb[i]) <= 0.01);
    if (srgbChromaticities && (found.gamma == 0 || std::abs(1 / found.gamma - 1 / 2.2) <= 0.005))
        return {};
    return found;
}

FileColour webpColour(const Bytes &f)
{
    // The chunks after the RIFF header; the profile comes before the pixels or frames.
    for (qint64 at = 12; f.has(at, 8);) {
        const QByteArrayView type = f.b.sliced(at, 4);
        const qint64 size = f.le32(at + 4);
        if (type == "VP8 " || type == "VP8L" || type == "ALPH" || type == "ANIM" ||
            type == "ANMF" || !f.has(at + 8, size))
            break;
        if (type == "ICCP") {
            FileColour found;
            if (size <= MaxProfileBytes)
                found.iccProfile = f.b.sliced(at + 8, size).toByteArray();
            return found;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

FileColour bmpColour(const Bytes &f)
{
    // The version 5 header (124 bytes, after the file's 14) names its colour space at 56 and
    // places an embedded profile at 112, counted from the header's start, of the size at 116.
    constexpr qint64 Header = 14;
    constexpr quint32 Embedded = 0x4D424544; // "MBED"
    if (!f.has(Header, 124) || f.le32(Header) < 124 || f.le32(Header + 56) != Embedded)
        return {};
    const qint64 at = Header + qint64(f.le32(Header + 112)), size = f.le32(Header + 116);
    FileColour found;
    if (size <= MaxProfileBytes && f.has(at, size))
        found.iccProfile = f.b.sliced(at, size).toByteArray();
    return found;
}

FileColour colourOf(Kind kind, QByteArrayView bytes)
{
    const Bytes f{bytes};
    switch (kind) {
    case Kind::Jpeg:
        return jpegColour(f);
    case Kind::Png:
        return pngColour(f);
    case Kind::Webp:
        return webpColour(f);
    case Kind::Bmp:
        return bmpColour(f);
    default:
        return {};
    }
}

} // namespace picture

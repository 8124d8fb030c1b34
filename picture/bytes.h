// Reading a file's fields: integers at byte offsets of the bytes, and the two structures that
// bitmap files and metafiles share, the device-independent bitmap's header and its run-length
// coded rows. Every reader checks its bounds itself or says what its caller must check.
#pragma once

#include <QByteArrayView>

#include <optional>

namespace picture {

// Little-endian integers at `at`; the caller has made sure the bytes are there.
inline quint16 u16(QByteArrayView d, qsizetype at)
{
    return quint16(quint8(d[at]) | (quint8(d[at + 1]) << 8));
}

inline qint16 s16(QByteArrayView d, qsizetype at) { return qint16(u16(d, at)); }

inline quint32 u32(QByteArrayView d, qsizetype at)
{
    return quint32(u16(d, at)) | (quint32(u16(d, at + 2)) << 16);
}

// Bounds-checked reading of a file's fields: callers ask has() before reading.
struct Bytes
{
    QByteArrayView b;
    bool has(qint64 at, qint64 count) const
    {
        return at >= 0 && count >= 0 && at <= b.size() && count <= b.size() - at;
    }
    uint u8(qint64 at) const { return uchar(b[at]); }
    uint le16(qint64 at) const { return u16(b, at); }
    quint32 le24(qint64 at) const { return le16(at) | quint32(u8(at + 2)) << 16; }
    quint32 le32(qint64 at) const { return u32(b, at); }
    uint be16(qint64 at) const { return u8(at) << 8 | u8(at + 1); }
    quint32 be32(qint64 at) const { return quint32(be16(at)) << 16 | be16(at + 2); }
};

// A device-independent bitmap's header: the old 12-byte one of OS/2, its 16-byte successor, or
// one of the Windows headers (40 bytes and longer).
struct DibHeader
{
    quint32 size = 0;
    qint64 width = 0;
    qint64 height = 0; // negative: rows stored top down
    int planes = 0;
    int bits = 0;
    quint32 compression = 0;
    quint32 colorsUsed = 0;                    // 0: as many as the depth has
    bool isCore() const { return size == 12; } // colour table of triples, 16-bit sizes
};

// The header at `at`, when one of those sizes stands there whole (the Windows ones up to 1 KiB)
// with a height that has a magnitude; the sizes and depth are not checked further.
std::optional<DibHeader> readDibHeader(QByteArrayView data, qsizetype at);

// Walks run-length coded rows (RLE8, or RLE4 with fourBits) as stored, the bottom row first,
// and calls pixel(x, y, index) for every pixel a run or a literal sets, in no other check of x
// and y than the codes give. True when the data reaches the last row: through the
// end-of-picture code (the rest stays blank, as the format allows), every row's end, or a
// filled last row.
template <typename Pixel>
bool walkRunLength(QByteArrayView bits, qint64 width, qint64 height, bool fourBits, Pixel pixel)
{
    const Bytes f{bits};
    const auto nibble = [fourBits](int value, int i) {
        return fourBits ? ((i & 1) ? value & 0x0F : value >> 4) : value;
    };
    qint64 x = 0, y = 0;
    qsizetype at = 0;
    while (y < height) {
        if (!f.has(at, 2))
            return y == height - 1 && x >= width;
        const int count = int(f.u8(at)), code = int(f.u8(at + 1));
        at += 2;
        if (count > 0) {
            for (int i = 0; i < count; ++i, ++x)
                pixel(x, y, nibble(code, i));
        } else if (code == 0) { // end of a row
            ++y;
            x = 0;
        } else if (code == 1) { // end of the picture
            return true;
        } else if (code == 2) { // a jump
            if (!f.has(at, 2))
                return false;
            x += f.u8(at);
            y += f.u8(at + 1);
            at += 2;
        } else { // literal pixels, padded to 16 bits
            const qsizetype bytes = fourBits ? (code + 1) / 2 : code;
            if (!f.has(at, bytes))
                return false;
            for (int i = 0; i < code; ++i, ++x)
                pixel(x, y, nibble(int(f.u8(at + (fourBits ? i / 2 : i))), i));
            at += bytes + (bytes & 1);
        }
    }
    return true;
}

} // namespace picture

// ICC profiles written field by field for the tests: matrix-and-curves RGB profiles, grey
// profiles, and the damaged and hostile ones a crafted file could carry (lying sizes and counts,
// pipelines of a hundred thousand steps, tables larger than the profile). Header only.
#pragma once

#include <QByteArray>
#include <QList>
#include <QtEndian>

#include <cmath>
#include <cstring>

namespace icctest {

inline void put32(QByteArray &b, quint32 v)
{
    char bytes[4];
    qToBigEndian(v, bytes);
    b.append(bytes, 4);
}
inline void put16(QByteArray &b, quint16 v) { b.append(char(v >> 8)).append(char(v & 0xFF)); }
inline void putFixed(QByteArray &b, double v) // s15Fixed16
{
    put32(b, quint32(qint32(std::lround(v * 65536))));
}
inline void putFloat(QByteArray &b, float v)
{
    quint32 bits = 0;
    std::memcpy(&bits, &v, 4);
    put32(b, bits);
}

struct Tag
{
    const char *signature;
    QByteArray data;
};

// A profile of the device class, colour space and tags given (the connection space XYZ, version
// 4.3 or 2.1), its header's size the size written; the tags' data in the order given, each
// started on four bytes.
inline QByteArray profile(const char *deviceClass, const char *colourSpace, const QList<Tag> &tags,
                          bool version4 = true)
{
    QByteArray header(128, '\0');
    qToBigEndian<quint32>(version4 ? 0x04300000 : 0x02100000, header.data() + 8);
    header.replace(12, 4, deviceClass, 4);
    header.replace(16, 4, colourSpace, 4);
    header.replace(20, 4, "XYZ ", 4);
    header.replace(36, 4, "acsp", 4);
    QByteArray illuminant; // D50
    putFixed(illuminant, 0.9642);
    putFixed(illuminant, 1.0);
    putFixed(illuminant, 0.8249);
    header.replace(68, 12, illuminant);
    QByteArray table, data;
    put32(table, quint32(tags.size()));
    const qsizetype dataAt = 128 + 4 + 12 * tags.size();
    for (const Tag &tag : tags) {
        while (data.size() % 4)
            data.append('\0');
        table.append(tag.signature, 4);
        put32(table, quint32(dataAt + data.size()));
        put32(table, quint32(tag.data.size()));
        data += tag.data;
    }
    QByteArray out = header + table + data;
    qToBigEndian<quint32>(quint32(out.size()), out.data());
    return out;
}

inline QByteArray xyz(double x, double y, double z)
{
    QByteArray b("XYZ \0\0\0\0", 8);
    putFixed(b, x);
    putFixed(b, y);
    putFixed(b, z);
    return b;
}

// A curve of one exponent (u8Fixed8), or of the table's entries.
inline QByteArray gammaCurve(double gamma)
{
    QByteArray b("curv\0\0\0\0", 8);
    put32(b, 1);
    put16(b, quint16(std::lround(gamma * 256)));
    return b;
}
inline QByteArray tableCurve(const QList<quint16> &entries, quint32 count)
{
    QByteArray b("curv\0\0\0\0", 8);
    put32(b, count);
    for (quint16 e : entries)
        put16(b, e);
    return b;
}

// sRGB's curve as the parametric type 3: (a v + b)^g from d on, c v below.
inline QByteArray srgbCurve()
{
    QByteArray b("para\0\0\0\0", 8);
    put16(b, 3);
    put16(b, 0);
    for (double v : {2.4, 1 / 1.055, 0.055 / 1.055, 1 / 12.92, 0.04045})
        putFixed(b, v);
    return b;
}

inline const double SrgbColorants[3][3] = {
    {0.4361, 0.2225, 0.0139}, {0.3851, 0.7169, 0.0971}, {0.1431, 0.0606, 0.7141}};

// A display profile of colorants (red, green and blue, in XYZ adapted to D50) and one curve for
// every channel.
inline QByteArray rgbProfile(const double (&colorants)[3][3], const QByteArray &curve)
{
    return profile("mntr", "RGB ",
                   {{"wtpt", xyz(0.9642, 1.0, 0.8249)},
                    {"rXYZ", xyz(colorants[0][0], colorants[0][1], colorants[0][2])},
                    {"gXYZ", xyz(colorants[1][0], colorants[1][1], colorants[1][2])},
                    {"bXYZ", xyz(colorants[2][0], colorants[2][1], colorants[2][2])},
                    {"rTRC", curve},
                    {"gTRC", curve},
                    {"bTRC", curve}});
}

inline QByteArray greyProfile(const QByteArray &curve)
{
    return profile("mntr", "GRAY", {{"wtpt", xyz(0.9642, 1.0, 0.8249)}, {"kTRC", curve}});
}

// ---- Damaged and hostile

// The big-endian 32-bit field at `at` overwritten.
inline QByteArray with32(QByteArray bytes, qsizetype at, quint32 value)
{
    qToBigEndian(value, bytes.data() + at);
    return bytes;
}

// A multi-process-elements pipeline (mpet) of RGB to XYZ in steps 3x3 matrices, every step
// sharing one element's data: a few bytes a step in the file, a step to evaluate for every
// colour lcms samples.
inline QByteArray manySteps(quint32 steps)
{
    QByteArray matrix("matf\0\0\0\0", 8);
    put16(matrix, 3);
    put16(matrix, 3);
    for (int i = 0; i < 12; ++i)
        putFloat(matrix, i % 4 == 0 && i < 9 ? 1.0f : 0.0f);
    QByteArray b("mpet\0\0\0\0", 8);
    put16(b, 3);
    put16(b, 3);
    put32(b, steps);
    const quint32 elementAt = 16 + 8 * steps;
    for (quint32 i = 0; i < steps; ++i) {
        put32(b, elementAt);
        put32(b, quint32(matrix.size()));
    }
    return b + matrix;
}

// A lut16 of three inputs whose colour table claims grid points a side it does not hold.
inline QByteArray hugeGrid(int grid)
{
    QByteArray b("mft2\0\0\0\0", 8);
    b.append(char(3)).append(char(3)).append(char(grid)).append('\0');
    for (int i = 0; i < 9; ++i)
        putFixed(b, i % 4 == 0 ? 1.0 : 0.0);
    put16(b, 2);                  // input table entries
    put16(b, 2);                  // output table entries
    for (int i = 0; i < 3; ++i) { // three input tables of two entries
        put16(b, 0);
        put16(b, 0xFFFF);
    }
    b.append(QByteArray(4096, '\x40')); // a sliver of the table
    return b;
}

} // namespace icctest

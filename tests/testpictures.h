// Picture files made by the tests themselves: encoded images, hand-built headers and GIFs.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QList>
#include <QPainter>
#include <QtEndian>

namespace testpictures {

inline QByteArray encoded(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    if (!writer.write(image))
        qFatal("cannot encode a test picture as %s: %s", format, qPrintable(writer.errorString()));
    return bytes;
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Four coloured quarters, so that any turn or mirror shows: red top left, green top right,
// blue bottom left, yellow bottom right.
inline QImage quadrants(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    const int w = size.width() / 2, h = size.height() / 2;
    QPainter painter(&image);
    painter.fillRect(0, 0, w, h, Qt::red);
    painter.fillRect(w, 0, size.width() - w, h, Qt::green);
    painter.fillRect(0, h, w, size.height() - h, Qt::blue);
    painter.fillRect(w, h, size.width() - w, size.height() - h, Qt::yellow);
    return image;
}

// The colour at the middle of each quarter: top left, top right, bottom left, bottom right.
inline QList<QColor> quarterColours(const QImage &image)
{
    const int w = image.width(), h = image.height();
    return {image.pixelColor(w / 4, h / 4), image.pixelColor(3 * w / 4, h / 4),
            image.pixelColor(w / 4, 3 * h / 4), image.pixelColor(3 * w / 4, 3 * h / 4)};
}

// Lossy codecs shift colours a little.
inline bool near(const QColor &a, const QColor &b, int tolerance = 24)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

// A JPEG with an Exif block that carries only the orientation tag (1..8), placed right after
// the start-of-image marker as cameras write it.
inline QByteArray withOrientation(const QByteArray &jpeg, int orientation)
{
    QByteArray tiff("MM\0\x2A\0\0\0\x08", 8);               // big-endian TIFF, first IFD at 8
    tiff.append(QByteArray("\0\x01", 2));                   // one entry
    tiff.append(QByteArray("\x01\x12\0\x03\0\0\0\x01", 8)); // Orientation, SHORT, count 1
    tiff.append(char(0)).append(char(orientation)).append(QByteArray(2, '\0'));
    tiff.append(QByteArray(4, '\0')); // no next IFD
    QByteArray app1 = QByteArray("Exif\0\0", 6) + tiff;
    const quint16 length = quint16(app1.size() + 2);
    QByteArray segment("\xFF\xE1", 2);
    segment.append(char(length >> 8)).append(char(length & 0xFF)).append(app1);
    QByteArray out = jpeg;
    out.insert(2, segment);
    return out;
}

// The headers of an uncompressed 24-bit BMP of the given size, without any pixels: enough for
// a reader to learn the size a file claims.
inline QByteArray bmpHeaderOnly(qint32 width, qint32 height)
{
    QByteArray bytes(54, '\0');
    char *p = bytes.data();
    p[0] = 'B';
    p[1] = 'M';
    const quint32 imageBytes = quint32(((qint64(width) * 3 + 3) & ~3) * qint64(height));
    qToLittleEndian<quint32>(54 + imageBytes, p + 2);
    qToLittleEndian<quint32>(54, p + 10);
    qToLittleEndian<quint32>(40, p + 14);
    qToLittleEndian<qint32>(width, p + 18);
    qToLittleEndian<qint32>(height, p + 22);
    qToLittleEndian<quint16>(1, p + 26);
    qToLittleEndian<quint16>(24, p + 28);
    qToLittleEndian<quint32>(imageBytes, p + 34);
    return bytes;
}

// A JPEG whose frame header claims another size than its data holds.
inline QByteArray jpegClaiming(const QByteArray &jpeg, quint16 width, quint16 height)
{
    QByteArray out = jpeg;
    for (qsizetype i = 2; i + 9 < out.size();) {
        if (uchar(out[i]) != 0xFF)
            break;
        const uchar marker = uchar(out[i + 1]);
        const int length = (uchar(out[i + 2]) << 8) | uchar(out[i + 3]);
        if (marker >= 0xC0 && marker <= 0xC2) { // start of frame: precision, height, width
            qToBigEndian<quint16>(height, out.data() + i + 5);
            qToBigEndian<quint16>(width, out.data() + i + 7);
            return out;
        }
        i += 2 + length;
    }
    qFatal("no frame header in the test JPEG");
    return {};
}

// A GIF of one or more frames. Each frame is an 8-bit indexed image whose indices stay below
// 128; the colour table of the first frame serves all. The LZW stream sends a clear code every
// 100 pixels, so every code stays 8 bits wide and the encoder needs no string table.
inline QByteArray gif(const QList<QImage> &frames)
{
    const QImage &first = frames.first();
    QByteArray out("GIF89a");
    auto le16 = [&out](int v) { out.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); };
    le16(first.width());
    le16(first.height());
    out.append(char(0xF6)); // global colour table of 128 entries
    out.append(char(0)).append(char(0));
    QList<QRgb> table = first.colorTable();
    table.resize(128, qRgb(0, 0, 0));
    for (QRgb c : table)
        out.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));

    for (const QImage &frame : frames) {
        out.append(QByteArray("\x21\xF9\x04\x00\x0A\x00\x00\x00", 8)); // 0.1 s, no transparency
        out.append(char(0x2C));
        le16(0);
        le16(0);
        le16(frame.width());
        le16(frame.height());
        out.append(char(0));
        out.append(char(7)); // minimum code size: clear is 128, end is 129
        QByteArray codes;
        int run = 0;
        for (int y = 0; y < frame.height(); ++y) {
            const uchar *line = frame.constScanLine(y);
            for (int x = 0; x < frame.width(); ++x) {
                if (run % 100 == 0)
                    codes.append(char(128));
                codes.append(char(line[x] & 0x7F));
                ++run;
            }
        }
        codes.append(char(129));
        for (qsizetype i = 0; i < codes.size(); i += 255) {
            const QByteArray block = codes.mid(i, 255);
            out.append(char(block.size())).append(block);
        }
        out.append(char(0));
    }
    out.append(char(0x3B));
    return out;
}

// A GIF whose screen and first image claim another size than its data holds.
inline QByteArray gifClaiming(const QByteArray &gifBytes, quint16 width, quint16 height)
{
    QByteArray out = gifBytes;
    qToLittleEndian<quint16>(width, out.data() + 6);
    qToLittleEndian<quint16>(height, out.data() + 8);
    const qsizetype descriptor = out.indexOf(char(0x2C), 13 + 128 * 3);
    qToLittleEndian<quint16>(width, out.data() + descriptor + 5);
    qToLittleEndian<quint16>(height, out.data() + descriptor + 7);
    return out;
}

// An indexed picture filled with one colour of a small palette.
inline QImage indexedFill(QSize size, const QList<QRgb> &palette, int index)
{
    QImage image(size, QImage::Format_Indexed8);
    image.setColorTable(palette);
    image.fill(uint(index));
    return image;
}

} // namespace testpictures

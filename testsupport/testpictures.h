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
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>

namespace testpictures {

inline const QColor Red(255, 0, 0), Green(0, 255, 0), Blue(0, 0, 255), Yellow(255, 255, 0);
inline const QList<QColor> Upright = {Red, Green, Blue, Yellow};

inline QByteArray encoded(const QImage &image, const char *format, int quality = -1,
                          bool progressive = false)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image))
        qFatal("cannot encode a test picture as %s: %s", format, qPrintable(writer.errorString()));
    return bytes;
}

inline bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// bytes written as the one picture file a test works on in dir; the test ends when it cannot be.
inline QString pictureFileIn(const QTemporaryDir &dir, const QByteArray &bytes)
{
    QString path = dir.filePath(QStringLiteral("picture.bin"));
    if (!writeFile(path, bytes))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Four coloured quarters, so that any turn or mirror shows: red top left, green top right,
// blue bottom left, yellow bottom right.
inline QImage quadrants(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    const int w = size.width() / 2, h = size.height() / 2;
    image.fill(Qt::yellow);
    QPainter painter(&image);
    painter.fillRect(0, 0, w, h, Qt::red);
    painter.fillRect(w, 0, size.width() - w, h, Qt::green);
    painter.fillRect(0, h, w, size.height() - h, Qt::blue);
    return image;
}

// Lossy codecs shift colours a little.
inline bool near(const QColor &a, const QColor &b, int tolerance = 24)
{
    return qAbs(a.red() - b.red()) <= tolerance && qAbs(a.green() - b.green()) <= tolerance &&
           qAbs(a.blue() - b.blue()) <= tolerance;
}

// Empty when the quarters of image show want (within tolerance), else what they show.
inline QString quartersDiffer(const QImage &image, const QList<QColor> &want = Upright,
                              int tolerance = 24)
{
    // The colour at the middle of each quarter: top left, top right, bottom left, bottom right.
    const int w = image.width(), h = image.height();
    const QList<QColor> seen = {image.pixelColor(w / 4, h / 4), image.pixelColor(3 * w / 4, h / 4),
                                image.pixelColor(w / 4, 3 * h / 4),
                                image.pixelColor(3 * w / 4, 3 * h / 4)};
    for (int i = 0; i < 4; ++i)
        if (!near(seen[i], want[i], tolerance))
            return QStringLiteral("quarter %1 is %2").arg(i).arg(seen[i].name());
    return {};
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
    QByteArray bytes = QByteArray("BM") + QByteArray(52, '\0');
    char *p = bytes.data();
    const quint32 imageBytes = quint32(((qint64(width) * 3 + 3) & ~3) * qint64(height));
    for (const auto &[at, value] : {std::pair<int, qint32>{2, qint32(54 + imageBytes)},
                                    {10, 54},
                                    {14, 40},
                                    {18, width},
                                    {22, height},
                                    {26, 1 | 24 << 16},
                                    {34, qint32(imageBytes)}})
        qToLittleEndian<qint32>(value, p + at);
    return bytes;
}

// A JPEG whose frame header claims another size than its data holds.
inline QByteArray jpegClaiming(QByteArray jpeg, quint16 width, quint16 height)
{
    // The baseline or progressive frame header: marker, length, precision, height, width.
    qsizetype frame = jpeg.indexOf(QByteArray("\xFF\xC0", 2));
    if (frame < 0)
        frame = jpeg.indexOf(QByteArray("\xFF\xC2", 2));
    if (frame < 0)
        qFatal("no frame header in the test JPEG");
    qToBigEndian<quint16>(height, jpeg.data() + frame + 5);
    qToBigEndian<quint16>(width, jpeg.data() + frame + 7);
    return jpeg;
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
    out.append(QByteArray("\xF6\0\0", 3)); // global colour table of 128 entries
    QList<QRgb> table = first.colorTable();
    table.resize(128, qRgb(0, 0, 0));
    for (QRgb c : table)
        out.append(char(qRed(c))).append(char(qGreen(c))).append(char(qBlue(c)));

    for (const QImage &frame : frames) {
        out.append(QByteArray("\x21\xF9\x04\x00\x0A\x00\x00\x00", 8)); // 0.1 s, no transparency
        out.append(char(0x2C));
        for (int v : {0, 0, frame.width(), frame.height()})
            le16(v);
        out.append(QByteArray("\0\x07", 2)); // minimum code size: clear is 128, end is 129
        QByteArray codes;
        for (int i = 0; i < frame.width() * frame.height(); ++i) {
            if (i % 100 == 0)
                codes.append(char(128));
            codes.append(char(frame.pixelIndex(i % frame.width(), i / frame.width()) & 0x7F));
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

// A TIFF of one or more pages, each an uncompressed 8-bit RGB picture in one strip, written the
// way scanners do: each page's directory first, then its pixels.
inline QByteArray tiff(const QList<QImage> &pages)
{
    QByteArray out("II*\0\0\0\0\0", 8); // little-endian; the first directory's place follows
    auto put16 = [](QByteArray &b, int v) {
        b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF));
    };
    auto put32 = [&put16](QByteArray &b, quint32 v) {
        put16(b, int(v & 0xFFFF));
        put16(b, int(v >> 16));
    };
    qsizetype link = 4; // where the place of the next directory goes
    for (const QImage &page : pages) {
        const QImage rgb = page.convertToFormat(QImage::Format_RGB888);
        const quint32 directory = quint32(out.size());
        qToLittleEndian<quint32>(directory, out.data() + link);
        constexpr int Entries = 9;
        const quint32 bitsAt = directory + 2 + Entries * 12 + 4;
        const quint32 pixelsAt = bitsAt + 6;
        const quint32 bytes = quint32(rgb.width() * 3 * rgb.height());
        QByteArray d;
        put16(d, Entries);
        const auto entry = [&](int tag, int type, quint32 count, quint32 value) {
            put16(d, tag);
            put16(d, type);
            put32(d, count);
            put32(d, value);
        };
        entry(256, 4, 1, quint32(rgb.width()));  // ImageWidth
        entry(257, 4, 1, quint32(rgb.height())); // ImageLength
        entry(258, 3, 3, bitsAt);                // BitsPerSample: 8, 8, 8
        entry(259, 3, 1, 1);                     // no compression
        entry(262, 3, 1, 2);                     // RGB
        entry(273, 4, 1, pixelsAt);              // StripOffsets
        entry(277, 3, 1, 3);                     // SamplesPerPixel
        entry(278, 4, 1, quint32(rgb.height())); // RowsPerStrip
        entry(279, 4, 1, bytes);                 // StripByteCounts
        link = out.size() + d.size();
        put32(d, 0); // no next directory, unless another page comes
        put16(d, 8);
        put16(d, 8);
        put16(d, 8);
        out += d;
        for (int y = 0; y < rgb.height(); ++y)
            out.append(reinterpret_cast<const char *>(rgb.constScanLine(y)), rgb.width() * 3);
    }
    return out;
}

// A BigTIFF of one uncompressed 8-bit RGB page in one strip: 8-byte offsets and counts,
// entries of 20 bytes.
inline QByteArray bigTiff(const QImage &page)
{
    const QImage rgb = page.convertToFormat(QImage::Format_RGB888);
    QByteArray out("II+\0\x08\0\0\0", 8);
    const auto put = [&out](quint64 v, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.append(char((v >> (8 * i)) & 0xFF));
    };
    put(16, 8); // the first directory
    constexpr int Entries = 9;
    const quint64 pixelsAt = 16 + 8 + Entries * 20 + 8;
    const quint64 bytes = quint64(rgb.width()) * 3 * quint64(rgb.height());
    put(Entries, 8);
    const auto entry = [&](int tag, int type, quint64 count, quint64 value, int valueBytes) {
        put(quint64(tag), 2);
        put(quint64(type), 2);
        put(count, 8);
        put(value, valueBytes);
        put(0, 8 - valueBytes);
    };
    entry(256, 4, 1, quint64(rgb.width()), 4);        // ImageWidth
    entry(257, 4, 1, quint64(rgb.height()), 4);       // ImageLength
    entry(258, 3, 3, 0x0008000800080000ull >> 16, 6); // BitsPerSample: 8, 8, 8 in the entry
    entry(259, 3, 1, 1, 2);                           // no compression
    entry(262, 3, 1, 2, 2);                           // RGB
    entry(273, 16, 1, pixelsAt, 8);                   // StripOffsets, LONG8
    entry(277, 3, 1, 3, 2);                           // SamplesPerPixel
    entry(278, 4, 1, quint64(rgb.height()), 4);       // RowsPerStrip
    entry(279, 16, 1, bytes, 8);                      // StripByteCounts, LONG8
    put(0, 8);                                        // no next directory
    for (int y = 0; y < rgb.height(); ++y)
        out.append(reinterpret_cast<const char *>(rgb.constScanLine(y)), rgb.width() * 3);
    return out;
}

// A lossless WebP of several frames, each as Qt's writer makes it, put into the extended
// format's animation frames over a canvas of the first frame's size.
inline QByteArray animatedWebp(const QList<QImage> &frames)
{
    const auto le24 = [](QByteArray &b, quint32 v) {
        b.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)).append(char((v >> 16) & 0xFF));
    };
    const auto chunk = [](const char *name, const QByteArray &data) {
        QByteArray c(name, 4);
        c.append(QByteArray(4, '\0')).append(data);
        qToLittleEndian<quint32>(quint32(data.size()), c.data() + 4);
        if (data.size() & 1)
            c.append('\0');
        return c;
    };
    const QSize canvas = frames.first().size();
    QByteArray vp8x(4, '\0');
    vp8x[0] = 0x02; // animated
    le24(vp8x, quint32(canvas.width() - 1));
    le24(vp8x, quint32(canvas.height() - 1));
    QByteArray body = "WEBP" + chunk("VP8X", vp8x) + chunk("ANIM", QByteArray(6, '\0'));
    for (const QImage &frame : frames) {
        QByteArray header;
        le24(header, 0); // at the canvas's corner
        le24(header, 0);
        le24(header, quint32(frame.width() - 1));
        le24(header, quint32(frame.height() - 1));
        le24(header, 100); // shown for 100 ms
        header.append('\0');
        // A single-frame file's image chunk, after its 12 bytes of RIFF header.
        body += chunk("ANMF", header + encoded(frame, "webp", 100).mid(12));
    }
    QByteArray out("RIFF\0\0\0\0", 8);
    qToLittleEndian<quint32>(quint32(body.size()), out.data() + 4);
    return out + body;
}

// An SVG of four coloured quarters as rectangles, its root element holding rootAttributes
// (width, height, viewBox ...) and drawing in a 120 x 80 user space, then more.
inline QByteArray svgQuarters(const QByteArray &rootAttributes, const QByteArray &more = {})
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<svg xmlns=\"http://www.w3.org/2000/svg\" "
           "xmlns:xlink=\"http://www.w3.org/1999/xlink\" " +
           rootAttributes +
           ">\n"
           "<rect x=\"0\" y=\"0\" width=\"60\" height=\"40\" fill=\"#ff0000\"/>\n"
           "<rect x=\"60\" y=\"0\" width=\"60\" height=\"40\" fill=\"#00ff00\"/>\n"
           "<rect x=\"0\" y=\"40\" width=\"60\" height=\"40\" fill=\"#0000ff\"/>\n"
           "<rect x=\"60\" y=\"40\" width=\"60\" height=\"40\" fill=\"#ffff00\"/>\n" +
           more + "</svg>\n";
}

// ---- Hostile files: lying headers, cut data, bombs

// The bytes with a little-endian 32-bit field overwritten.
inline QByteArray withLe32(QByteArray bytes, qsizetype at, qint32 value)
{
    qToLittleEndian<qint32>(value, bytes.data() + at);
    return bytes;
}

// A picture with the smooth gradients and fine noise of a camera photo, so that a JPEG of it
// carries as much detail as a real one (and takes as long to decode).
inline QImage photo(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator noise(24);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int n = int(noise.bounded(24));
            line[x] = qRgb((x * 255 / size.width() + n) & 0xFF,
                           (y * 255 / size.height() + n) & 0xFF, ((x ^ y) + n) & 0xFF);
        }
    }
    return image;
}

inline QByteArray noise(qsizetype count, quint32 seed)
{
    QByteArray out(count, '\0');
    QRandomGenerator random(seed);
    for (char &c : out)
        c = char(random.bounded(256));
    return out;
}

// The picture as a BMP stored top-down (a negative height), as many programs write them.
inline QByteArray topDownBmp(const QImage &image)
{
    const QByteArray bmp = encoded(image, "bmp");
    const qint32 offset = qFromLittleEndian<qint32>(bmp.constData() + 10);
    const qint32 height = qFromLittleEndian<qint32>(bmp.constData() + 22);
    const qsizetype stride = (bmp.size() - offset) / height;
    QByteArray out = withLe32(bmp.left(offset), 22, -height);
    for (qint32 row = height - 1; row >= 0; --row)
        out += bmp.mid(offset + row * stride, stride);
    return out;
}

// An 8-bit run-length coded BMP of four coloured quarters (width below 256), each row two
// runs and an end-of-row code; with or without the end-of-picture code.
inline QByteArray runLengthBmp(int width, int height, bool endCode = true)
{
    QByteArray runs;
    for (int y = 0; y < height; ++y) { // bottom row first: blue and yellow, then red and green
        const char left = y < height - height / 2 ? 2 : 0;
        runs.append(char(width / 2)).append(left);
        runs.append(char(width - width / 2)).append(char(left + 1));
        if (y < height - 1)
            runs.append(QByteArray("\0\0", 2));
    }
    if (endCode)
        runs.append(QByteArray("\0\1", 2));
    QByteArray out = QByteArray("BM") + QByteArray(68, '\0');
    for (const auto &[at, value] : {std::pair<int, qint32>{2, qint32(70 + runs.size())},
                                    {10, 70},
                                    {14, 40},
                                    {18, width},
                                    {22, height},
                                    {26, 1 | 8 << 16},
                                    {30, 1},
                                    {34, qint32(runs.size())},
                                    {46, 4},
                                    {54, qint32(0xFF0000)},  // red, as blue green red 0
                                    {58, qint32(0x00FF00)},  // green
                                    {62, qint32(0x0000FF)},  // blue
                                    {66, qint32(0xFFFF00)}}) // yellow
        out = withLe32(out, at, value);
    return out + runs;
}

// A progressive JPEG with count more scans before its end marker, each a copy of the last
// scan's header without data: nothing to decode, yet every one visits every block.
inline QByteArray withEmptyScans(const QByteArray &progressive, int count)
{
    const qsizetype last = progressive.lastIndexOf(QByteArray("\xFF\xDA", 2));
    const int length = uchar(progressive[last + 2]) << 8 | uchar(progressive[last + 3]);
    QByteArray out = progressive;
    out.insert(out.size() - 2, progressive.mid(last, 2 + length).repeated(count));
    return out;
}

// An ICO of one entry whose directory claims width × height and holds image (a PNG or a
// headerless BMP).
inline QByteArray icoHolding(const QByteArray &image, int width = 16, int height = 16)
{
    QByteArray out("\0\0\1\0\1\0", 6);
    QByteArray entry(16, '\0');
    entry[0] = char(width & 0xFF);
    entry[1] = char(height & 0xFF);
    entry = withLe32(withLe32(entry, 4, 1 | 32 << 16), 8, qint32(image.size()));
    return out + withLe32(entry, 12, 22) + image;
}

inline quint32 crc32(QByteArrayView bytes)
{
    quint32 crc = 0xFFFFFFFF;
    for (char c : bytes) {
        crc ^= uchar(c);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

// A PNG whose header claims another size than its data holds; its checksum still fits.
inline QByteArray pngClaiming(QByteArray png, quint32 width, quint32 height)
{
    qToBigEndian<quint32>(width, png.data() + 16);
    qToBigEndian<quint32>(height, png.data() + 20);
    qToBigEndian<quint32>(crc32(QByteArrayView(png).sliced(12, 17)), png.data() + 29);
    return png;
}

// A PNG with count compressed text chunks after its header, each inflating to inflatedBytes of
// text: a few megabytes of file that a decoder that reads its text inflates to gigabytes.
inline QByteArray withTextBombs(const QByteArray &png, int count, int inflatedBytes)
{
    const QByteArray zlib = qCompress(QByteArray(inflatedBytes, 'a'), 9).mid(4); // raw zlib
    const QByteArray data = QByteArray("Comment\0\0", 9) + zlib;
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    chunk += "zTXt" + data + QByteArray(4, '\0');
    qToBigEndian<quint32>(crc32(QByteArrayView(chunk).sliced(4, 4 + data.size())),
                          chunk.data() + 8 + data.size());
    QByteArray out = png;
    out.insert(33, chunk.repeated(count)); // right after the header chunk
    return out;
}

// A TIFF whose first directory claims another size than its pixels hold.
inline QByteArray tiffClaiming(QByteArray tiffBytes, quint32 width, quint32 height)
{
    const qsizetype directory = qFromLittleEndian<quint32>(tiffBytes.constData() + 4);
    qToLittleEndian<quint32>(width, tiffBytes.data() + directory + 2 + 8);       // ImageWidth
    qToLittleEndian<quint32>(height, tiffBytes.data() + directory + 2 + 12 + 8); // ImageLength
    return tiffBytes;
}

// ---- PNG and BMP written field by field, for the forms Qt's writers do not write

// A PNG chunk: length, type, data, checksum.
inline QByteArray pngChunk(const char *type, const QByteArray &data)
{
    QByteArray chunk(4, '\0');
    qToBigEndian<quint32>(quint32(data.size()), chunk.data());
    chunk += QByteArray(type, 4) + data + QByteArray(4, '\0');
    qToBigEndian<quint32>(crc32(QByteArrayView(chunk).sliced(4, 4 + data.size())),
                          chunk.data() + chunk.size() - 4);
    return chunk;
}

// A 16-bit grey (colourType 0) or RGB (2) PNG of four quarters, each given as its samples
// (one or three 16-bit values), with a transparent colour (a tRNS chunk) when one is given.
inline QByteArray png16(QSize size, int colourType, const QList<QList<quint16>> &quarters,
                        const QList<quint16> &transparent = {})
{
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(quint32(size.width()), header.data());
    qToBigEndian<quint32>(quint32(size.height()), header.data() + 4);
    header[8] = 16;
    header[9] = char(colourType);
    QByteArray rows;
    for (int y = 0; y < size.height(); ++y) {
        rows.append('\0'); // no filter
        for (int x = 0; x < size.width(); ++x)
            for (quint16 v : quarters[(y >= size.height() / 2) * 2 + (x >= size.width() / 2)])
                rows.append(char(v >> 8)).append(char(v & 0xFF));
    }
    QByteArray out = QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", header);
    if (!transparent.isEmpty()) {
        QByteArray trns;
        for (quint16 v : transparent)
            trns.append(char(v >> 8)).append(char(v & 0xFF));
        out += pngChunk("tRNS", trns);
    }
    return out + pngChunk("IDAT", qCompress(rows, 9).mid(4)) + pngChunk("IEND", {});
}

// How bmp() writes a bitmap: its header's size (12 for OS/2's first, 40 and up for Windows'),
// depth, compression and bit-field masks (red, green, blue and alpha: in the header from 52 and
// 56 bytes on, else after it), colour table (triples after a 12-byte header) and its count.
struct BmpForm
{
    BmpForm(int header = 40, int depth = 24, quint32 compressed = 0, QList<quint32> bitMasks = {},
            QList<QRgb> table = {}, quint32 used = 0)
        : headerSize(header), bits(depth), compression(compressed), masks(std::move(bitMasks)),
          colours(std::move(table)), coloursUsed(used)
    {
    }
    int headerSize = 40;
    int bits = 24;
    quint32 compression = 0;
    QList<quint32> masks;
    QList<QRgb> colours;
    quint32 coloursUsed = 0;
};

// A BMP of four quarters, each given as its pixel's value as stored (an index, or the bits of
// a pixel, in the order blue, green, red for 24 bits), bottom row first.
inline QByteArray bmp(QSize size, const BmpForm &form, const QList<quint32> &quarters)
{
    const bool core = form.headerSize == 12;
    QByteArray header(form.headerSize, '\0');
    char *h = header.data();
    qToLittleEndian<quint32>(quint32(form.headerSize), h);
    if (core) {
        qToLittleEndian<quint16>(quint16(size.width()), h + 4);
        qToLittleEndian<quint16>(quint16(size.height()), h + 6);
        qToLittleEndian<quint16>(1, h + 8);
        qToLittleEndian<quint16>(quint16(form.bits), h + 10);
    } else {
        qToLittleEndian<qint32>(size.width(), h + 4);
        qToLittleEndian<qint32>(size.height(), h + 8);
        qToLittleEndian<quint16>(1, h + 12);
        qToLittleEndian<quint16>(quint16(form.bits), h + 14);
        qToLittleEndian<quint32>(form.compression, h + 16);
        qToLittleEndian<quint32>(form.coloursUsed, h + 32);
    }
    QByteArray after; // the masks that do not fit in the header
    for (qsizetype i = 0; i < form.masks.size(); ++i) {
        if (40 + 4 * (i + 1) <= form.headerSize)
            qToLittleEndian<quint32>(form.masks[i], h + 40 + 4 * i);
        else {
            QByteArray mask(4, '\0');
            qToLittleEndian<quint32>(form.masks[i], mask.data());
            after += mask;
        }
    }
    QByteArray table;
    for (QRgb c : form.colours) {
        table.append(char(qBlue(c))).append(char(qGreen(c))).append(char(qRed(c)));
        if (!core)
            table.append('\0');
    }
    const qsizetype stride = (qsizetype(size.width()) * form.bits + 31) / 32 * 4;
    QByteArray pixels(stride * size.height(), '\0');
    for (int row = 0; row < size.height(); ++row) {
        const int y = size.height() - 1 - row; // the bottom row first
        uchar *line = reinterpret_cast<uchar *>(pixels.data()) + row * stride;
        for (int x = 0; x < size.width(); ++x) {
            const quint32 v = quarters[(y >= size.height() / 2) * 2 + (x >= size.width() / 2)];
            if (form.bits < 8) {
                const int bit = x * form.bits;
                line[bit / 8] |= uchar(v << (8 - form.bits - bit % 8));
            } else {
                for (int i = 0; i < form.bits / 8; ++i)
                    line[x * form.bits / 8 + i] = uchar(v >> (8 * i));
            }
        }
    }
    const qsizetype offset = 14 + header.size() + after.size() + table.size();
    QByteArray out("BM");
    out += QByteArray(12, '\0');
    qToLittleEndian<quint32>(quint32(offset + pixels.size()), out.data() + 2);
    qToLittleEndian<quint32>(quint32(offset), out.data() + 10);
    return out + header + after + table + pixels;
}

// ---- Colour: pictures whose colours show a conversion, and the places files keep a profile

// Flat patches of 32 colours from dark to vivid over a third of hues swept at several
// saturations: every colour space moves some of them, and a decoder that shrinks the picture
// keeps the middle of each patch.
inline QImage colourful(QSize size = {384, 288})
{
    QImage image(size, QImage::Format_RGB32);
    constexpr int Levels[] = {20, 70, 130, 190, 240};
    const int patch = size.width() / 8, patches = size.height() * 2 / 3;
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            if (y < patches) {
                const int i = (y / patch) * 8 + x / patch;
                line[x] = qRgb(Levels[i % 5], Levels[(i / 5) % 5], Levels[(i / 25 + 2 * i) % 5]);
            } else {
                const int saturation = 255 - (y - patches) * 200 / (size.height() - patches);
                line[x] = QColor::fromHsv(x * 359 / size.width(), saturation, 230).rgb();
            }
        }
    }
    return image;
}

// The middle of each of colourful()'s patches.
inline QList<QPoint> patchMiddles(QSize size = {384, 288})
{
    QList<QPoint> middles;
    const int patch = size.width() / 8;
    for (int y = patch / 2; y < size.height() * 2 / 3; y += patch)
        for (int x = patch / 2; x < size.width(); x += patch)
            middles.append({x, y});
    return middles;
}

// A JPEG's APP2 segment holding piece number of count of a profile.
inline QByteArray iccSegment(const QByteArray &piece, int number, int count)
{
    const QByteArray data = QByteArray("ICC_PROFILE\0", 12) + char(number) + char(count) + piece;
    QByteArray segment("\xFF\xE2", 2);
    segment.append(char((data.size() + 2) >> 8)).append(char((data.size() + 2) & 0xFF));
    return segment + data;
}

// The profile cut into count pieces, as APP2 segments in the order given (numbers from 1).
inline QList<QByteArray> iccSegments(const QByteArray &profile, int count, QList<int> order = {})
{
    if (order.isEmpty())
        for (int i = 1; i <= count; ++i)
            order.append(i);
    const qsizetype piece = (profile.size() + count - 1) / count;
    QList<QByteArray> segments;
    for (int number : order)
        segments.append(iccSegment(profile.mid((number - 1) * piece, piece), number, count));
    return segments;
}

// The JPEG with segments put right after its start-of-image marker.
inline QByteArray withSegments(const QByteArray &jpeg, const QList<QByteArray> &segments)
{
    QByteArray out = jpeg;
    for (qsizetype i = segments.size() - 1; i >= 0; --i)
        out.insert(2, segments[i]);
    return out;
}

// The PNG with chunks put right after its header chunk.
inline QByteArray withChunks(const QByteArray &png, const QList<QByteArray> &chunks)
{
    QByteArray out = png;
    for (qsizetype i = chunks.size() - 1; i >= 0; --i)
        out.insert(33, chunks[i]);
    return out;
}

// An iCCP chunk of the profile, compressed.
inline QByteArray iccpChunk(const QByteArray &profile)
{
    return pngChunk("iCCP", QByteArray("profile\0\0", 9) + qCompress(profile, 9).mid(4));
}

// An 8-bit grey-and-alpha PNG (colour type 4) of the picture's greens and alphas.
inline QByteArray greyAlphaPng(const QImage &image)
{
    QByteArray header(13, '\0');
    qToBigEndian<quint32>(quint32(image.width()), header.data());
    qToBigEndian<quint32>(quint32(image.height()), header.data() + 4);
    header[8] = 8;
    header[9] = 4;
    QByteArray rows;
    for (int y = 0; y < image.height(); ++y) {
        rows.append('\0');
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            rows.append(char(qGreen(c))).append(char(qAlpha(c)));
        }
    }
    return QByteArray("\x89PNG\r\n\x1A\n", 8) + pngChunk("IHDR", header) +
           pngChunk("IDAT", qCompress(rows, 9).mid(4)) + pngChunk("IEND", {});
}

// A BMP with a version 5 header (124 bytes) of the colour space given ("MBED": the profile
// after the pixels, at profileAt counted from the header when given), as Qt writes the pixels.
inline QByteArray bmpV5(const QImage &image, const QByteArray &profile,
                        quint32 colourSpace = 0x4D424544, qint64 profileAt = -1)
{
    const QByteArray plain = encoded(image.convertToFormat(QImage::Format_RGB32), "bmp");
    const qint32 offset = qFromLittleEndian<qint32>(plain.constData() + 10);
    const QByteArray pixels = plain.mid(offset);
    QByteArray header = plain.mid(14, 40) + QByteArray(84, '\0');
    qToLittleEndian<quint32>(124, header.data());
    qToLittleEndian<quint32>(colourSpace, header.data() + 56);
    qToLittleEndian<quint32>(4, header.data() + 108); // pictures' intent
    qToLittleEndian<quint32>(quint32(profileAt >= 0 ? profileAt : 124 + pixels.size()),
                             header.data() + 112);
    qToLittleEndian<quint32>(quint32(profile.size()), header.data() + 116);
    QByteArray out("BM");
    out += QByteArray(12, '\0');
    qToLittleEndian<quint32>(quint32(14 + 124 + pixels.size() + profile.size()), out.data() + 2);
    qToLittleEndian<quint32>(14 + 124, out.data() + 10);
    return out + header + pixels + profile;
}

// The bytes with the one place that holds what (a profile a writer embedded whole) holding
// instead, of the same length.
inline QByteArray replaced(QByteArray bytes, const QByteArray &what, const QByteArray &instead)
{
    const qsizetype at = bytes.indexOf(what);
    if (at < 0 || what.size() != instead.size() || bytes.indexOf(what, at + 1) >= 0)
        qFatal("the bytes do not hold the profile once");
    return bytes.replace(at, what.size(), instead);
}

} // namespace testpictures

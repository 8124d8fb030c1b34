#include "pictureloader.h"

#include "filenames.h"

#include "wmf/wmfparser.h"
#include "wmf/wmfrenderer.h"

#include <QBuffer>
#include <QByteArray>
#include <QFileInfo>
#include <QImageReader>
#include <QLoggingCategory>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace picture {
namespace {

Picture failure(QString message) { return {QImage(), std::move(message)}; }

QString displayName(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    return shownName(name.isEmpty() ? path : name);
}

QString unreadable(const QString &name)
{
    return QStringLiteral("無法讀取圖片「%1」：檔案已損壞，或不是 BMP、JPEG、PNG、GIF、ICO、WMF "
                          "圖片。")
        .arg(name);
}

QString tooLarge(const QString &name, QSize size)
{
    return QStringLiteral("圖片「%1」太大（%2 × %3 像素）。本程式只能載入每邊不超過 %4 像素、"
                          "總共不超過 %5 百萬像素的圖片。")
        .arg(name)
        .arg(size.width())
        .arg(size.height())
        .arg(MaxSide)
        .arg(MaxPixels / Mebi);
}

bool withinLimits(QSize size)
{
    return size.width() > 0 && size.height() > 0 && size.width() <= MaxSide &&
           size.height() <= MaxSide && qint64(size.width()) * size.height() <= MaxPixels;
}

// The format by the file's first bytes; the name's extension may lie.
QByteArray sniffFormat(QByteArrayView bytes)
{
    if (bytes.startsWith("BM"))
        return "bmp";
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return "jpeg";
    if (bytes.startsWith("\x89PNG\r\n\x1A\n"))
        return "png";
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return "gif";
    if (bytes.size() >= 6 && bytes.startsWith(QByteArrayView("\0\0\1\0", 4)))
        return "ico";
    if (wmf::looksLikeMetafile(bytes))
        return "wmf";
    return {};
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
    uint le16(qint64 at) const { return u8(at) | u8(at + 1) << 8; }
    quint32 le32(qint64 at) const { return le16(at) | quint32(le16(at + 2)) << 16; }
    uint be16(qint64 at) const { return u8(at) << 8 | u8(at + 1); }
    quint32 be32(qint64 at) const { return quint32(be16(at)) << 16 | be16(at + 2); }
};

// What our own reading of a file's structure found, before Qt's reader sees it. Qt's readers
// believe headers: they fill rows a file lacks with grey or black, and report the size a
// header claims, not what they will decode.
struct Survey
{
    enum Verdict { Fine, Damaged, Incomplete, TooLarge, TooManyScans, TooCostly };
    Verdict verdict = Fine;
    QSize size;          // as the file gives it, when known
    bool ranOut = false; // the data ends before its end marker: a failed decode is incomplete
    int scans = 0;       // a JPEG's
    QByteArray endAdded; // a PNG whose chunks are whole but lack the end chunk, with one added
};

Survey verdict(Survey::Verdict v, QSize size = {})
{
    Survey s;
    s.verdict = v;
    s.size = size;
    return s;
}

// A size within the limits, or the verdict that it is not.
Survey sized(QSize size)
{
    return verdict(withinLimits(size) ? Survey::Fine : Survey::TooLarge, size);
}

// ---- BMP, and the bitmaps inside an ICO

struct Dib
{
    qint64 width = 0, height = 0; // height as stored: an icon's counts its mask too
    int bits = 0;
    quint32 compression = 0;
    qint64 headerSize = 0, paletteBytes = 0;
};

// The device-independent bitmap header at at, or nothing when it is not one.
std::optional<Dib> readDib(const Bytes &f, qint64 at)
{
    if (!f.has(at, 16))
        return {};
    Dib d;
    d.headerSize = f.le32(at);
    int planes = 0;
    quint32 colours = 0;
    if (d.headerSize == 12) { // OS/2 1.x: unsigned 16-bit sizes
        d.width = f.le16(at + 4);
        d.height = f.le16(at + 6);
        planes = int(f.le16(at + 8));
        d.bits = int(f.le16(at + 10));
    } else {
        const bool known = d.headerSize == 16 || d.headerSize == 40 || d.headerSize == 52 ||
                           d.headerSize == 56 || d.headerSize == 64 || d.headerSize == 108 ||
                           d.headerSize == 124;
        if (!known || !f.has(at, d.headerSize))
            return {};
        d.width = qint32(f.le32(at + 4));
        const qint32 height = qint32(f.le32(at + 8));
        if (height == std::numeric_limits<qint32>::min()) // no row count fits its magnitude
            return {};
        d.height = height;
        planes = int(f.le16(at + 12));
        d.bits = int(f.le16(at + 14));
        d.compression = d.headerSize >= 20 ? f.le32(at + 16) : 0;
        colours = d.headerSize >= 36 ? f.le32(at + 32) : 0;
    }
    const bool depth = d.bits == 1 || d.bits == 2 || d.bits == 4 || d.bits == 8 || d.bits == 16 ||
                       d.bits == 24 || d.bits == 32;
    if (planes != 1 || !depth || d.width <= 0 || d.height == 0)
        return {};
    if (d.bits <= 8)
        d.paletteBytes = qint64(colours > 0 && colours < (1u << d.bits) ? colours : 1u << d.bits) *
                         (d.headerSize == 12 ? 3 : 4);
    return d;
}

qint64 rowBytes(qint64 width, int bits) { return (width * bits + 31) / 32 * 4; }

// Whether run-length coded rows starting at at reach the last row: through the end-of-picture
// code (the rest stays blank, as the format allows), every row's end, or a filled last row.
bool runLengthComplete(const Bytes &f, qint64 at, qint64 width, qint64 height, bool fourBits)
{
    qint64 x = 0, y = 0;
    while (y < height) {
        if (!f.has(at, 2))
            return y == height - 1 && x >= width;
        const uint count = f.u8(at), code = f.u8(at + 1);
        at += 2;
        if (count > 0) {
            x += count;
        } else if (code == 0) {
            ++y;
            x = 0;
        } else if (code == 1) {
            return true;
        } else if (code == 2) {
            if (!f.has(at, 2))
                return false;
            x += f.u8(at);
            y += f.u8(at + 1);
            at += 2;
        } else { // literal pixels, padded to 16 bits
            const qint64 bytes = fourBits ? (code + 1) / 2 : code;
            if (!f.has(at, bytes))
                return false;
            at += (bytes + 1) & ~qint64(1);
            x += code;
        }
    }
    return true;
}

Survey surveyBmp(const Bytes &f)
{
    const std::optional<Dib> dib = readDib(f, 14);
    if (!f.has(0, 14) || !dib)
        return verdict(Survey::Damaged);
    const QSize size(int(dib->width), int(qMin<qint64>(qAbs(dib->height), INT_MAX)));
    if (!withinLimits(size))
        return verdict(Survey::TooLarge, size);

    // Qt reads the pixels at the file header's offset, or right after the headers when the
    // offset points into them.
    const qint64 headersEnd = 14 + dib->headerSize;
    const qint64 pixels = qMax<qint64>(f.le32(10), headersEnd);
    Survey s = sized(size);
    const qint64 rows = size.height();
    bool whole = true;
    if (dib->compression == 1 && dib->bits == 8)
        whole = runLengthComplete(f, pixels, dib->width, rows, false);
    else if (dib->compression == 2 && dib->bits == 4)
        whole = runLengthComplete(f, pixels, dib->width, rows, true);
    else if (dib->compression == 0 || dib->compression == 3 || dib->compression == 6)
        whole = f.has(pixels, rowBytes(dib->width, dib->bits) * rows);
    if (!whole)
        s.verdict = Survey::Incomplete;
    return s;
}

// ---- PNG

Survey surveyPng(const Bytes &f)
{
    if (!f.has(8, 25) || f.be32(8) != 13 || f.b.sliced(12, 4) != "IHDR")
        return verdict(Survey::Damaged);
    const quint32 width = f.be32(16), height = f.be32(20);
    if (width == 0 || height == 0 || width > INT_MAX || height > INT_MAX)
        return verdict(Survey::Damaged);
    Survey s = sized(QSize(int(width), int(height)));
    if (s.verdict != Survey::Fine)
        return s;
    // 16 bits a channel decode to 8 bytes a pixel, then convert: twice the work of 8 bits.
    if (f.u8(24) == 16 && qint64(width) * height > MaxPixels / 2)
        return verdict(Survey::TooCostly, s.size);
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

Survey surveyIco(const Bytes &f)
{
    if (f.le16(4) == 0 || !f.has(6, 16))
        return verdict(Survey::Damaged);
    const qint64 bytes = f.le32(6 + 8), at = f.le32(6 + 12);
    if (!f.has(at, bytes))
        return verdict(Survey::Incomplete);
    const Bytes icon{f.b.sliced(at, bytes)};
    if (icon.b.startsWith("\x89PNG\r\n\x1A\n"))
        return surveyPng(icon);
    const std::optional<Dib> dib = readDib(icon, 0);
    if (!dib)
        return verdict(Survey::Damaged);
    // The stored height counts the colour rows and the transparency mask's rows.
    const qint64 rows = qAbs(dib->height) / 2;
    Survey s = sized(QSize(int(qMin<qint64>(dib->width, INT_MAX)), int(rows)));
    if (s.verdict == Survey::Fine &&
        !icon.has(dib->headerSize + dib->paletteBytes, rowBytes(dib->width, dib->bits) * rows))
        s.verdict = Survey::Incomplete;
    return s;
}

// ---- GIF

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

Survey surveyGif(const Bytes &f)
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
    if (!screen.isEmpty() && !withinLimits(screen))
        return verdict(Survey::TooLarge, screen);
    Survey s = sized(frame);
    if (s.verdict == Survey::Fine && *pixels < wanted)
        s.verdict = Survey::Incomplete;
    return s;
}

// ---- JPEG

// Walks the markers of a JPEG and counts its scans; the coded data inside a scan is skipped.
Survey surveyJpeg(const Bytes &f)
{
    Survey s;
    const qint64 size = f.b.size();
    bool ended = false, progressive = false;
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
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && f.has(at, 7)) {
            s.size = QSize(int(f.be16(at + 5)), int(f.be16(at + 3)));
            progressive = (marker & 3) == 2;
        }
        at += length;
        if (marker != 0xDA)
            continue;
        if (++s.scans > MaxJpegScans) {
            s.verdict = Survey::TooManyScans;
            return s;
        }
        // The coded data ends at the first marker other than a restart marker.
        while (at < size) {
            const char *ff =
                static_cast<const char *>(std::memchr(f.b.data() + at, 0xFF, size_t(size - at)));
            if (!ff) {
                at = size;
                break;
            }
            at = ff - f.b.data() + 1;
            if (at < size && f.u8(at) != 0 && (f.u8(at) < 0xD0 || f.u8(at) > 0xD7) &&
                f.u8(at) != 0xFF) {
                --at;
                break;
            }
        }
    }
    s.ranOut = !ended && s.scans > 0; // within a scan: a failed decode lacks data
    if (s.size.isEmpty())             // no frame header: Qt's reader tells
        return s;
    if (!withinLimits(s.size)) {
        s.verdict = Survey::TooLarge;
        return s;
    }
    // As measured with libjpeg-turbo on a busy two-core machine: a sequential JPEG costs about
    // 10 ms a megapixel and 25 ms a megabyte of coded data; a progressive one, which keeps
    // every coefficient until the last scan, 20 ms a megapixel, 0.2 ms a megapixel for every
    // scan (libjpeg visits every block of the scan, even of an empty one) and 40 ms a megabyte.
    const qint64 pixels = qint64(s.size.width()) * s.size.height();
    const qint64 microseconds =
        progressive ? pixels * 20 / 1000 + pixels * s.scans / 5000 + size * 40 / 1000
                    : pixels * 10 / 1000 + size * 25 / 1000;
    if (microseconds > MaxDecodeMilliseconds * qint64(1000))
        s.verdict = Survey::TooCostly;
    return s;
}

// libjpeg decodes past the end of a file's data and fills the missing blocks with grey; it
// says so only in a warning, which Qt hands to the message handler. While this thread decodes
// a JPEG, that category's warnings come here instead of the log.
constexpr char JpegCategory[] = "qt.gui.imageio.jpeg";
thread_local bool *t_jpegRanOut = nullptr;
QtMessageHandler g_previousHandler = nullptr;
QLoggingCategory::CategoryFilter g_previousFilter = nullptr;

void catchJpegWarnings(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (t_jpegRanOut && context.category && std::strcmp(context.category, JpegCategory) == 0) {
        if (message.contains(u"premature end", Qt::CaseInsensitive))
            *t_jpegRanOut = true;
        return;
    }
    if (g_previousHandler)
        g_previousHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
}

// The warnings must reach the handler even when logging rules silence them.
void keepJpegWarnings(QLoggingCategory *category)
{
    if (g_previousFilter)
        g_previousFilter(category);
    if (std::strcmp(category->categoryName(), JpegCategory) == 0)
        category->setEnabled(QtWarningMsg, true);
}

class JpegWarningCatcher
{
public:
    explicit JpegWarningCatcher(bool *ranOut)
    {
        static const bool installed = [] {
            g_previousHandler = qInstallMessageHandler(catchJpegWarnings);
            g_previousFilter = QLoggingCategory::installFilter(keepJpegWarnings);
            return true;
        }();
        Q_UNUSED(installed);
        t_jpegRanOut = ranOut;
    }
    ~JpegWarningCatcher() { t_jpegRanOut = nullptr; }
    JpegWarningCatcher(const JpegWarningCatcher &) = delete;
    JpegWarningCatcher &operator=(const JpegWarningCatcher &) = delete;
};

// ---- the verdicts as the player reads them

QString kindName(const QByteArray &format) { return QString::fromLatin1(format.toUpper()); }

Picture refusal(const Survey &s, const QByteArray &format, const QString &name)
{
    const QString kind = kindName(format);
    switch (s.verdict) {
    case Survey::Fine:
        break;
    case Survey::TooLarge:
        return failure(tooLarge(name, s.size));
    case Survey::Incomplete:
        return failure(QStringLiteral("無法讀取圖片「%1」：這個 %2 檔案不完整，資料在圖片結束前就"
                                      "沒了（可能沒有下載或複製完）。")
                           .arg(name, kind));
    case Survey::TooManyScans:
        return failure(QStringLiteral("無法讀取圖片「%1」：這個 JPEG 檔案分成超過 %2 次掃描，"
                                      "解碼太費時。")
                           .arg(name)
                           .arg(MaxJpegScans));
    case Survey::TooCostly:
        return failure(
            QStringLiteral("無法讀取圖片「%1」：這個 %2 檔案解碼太費時（%3 × %4 像素，%5）。")
                .arg(name, kind)
                .arg(s.size.width())
                .arg(s.size.height())
                .arg(format == "jpeg" ? QStringLiteral("%1 次掃描").arg(s.scans)
                                      : QStringLiteral("每個顏色 16 位元")));
    case Survey::Damaged:
        break;
    }
    return failure(QStringLiteral("無法讀取圖片「%1」：這個 %2 檔案已損壞。").arg(name, kind));
}

Survey survey(const QByteArray &bytes, const QByteArray &format)
{
    const Bytes f{bytes};
    if (format == "bmp")
        return surveyBmp(f);
    if (format == "jpeg")
        return surveyJpeg(f);
    if (format == "png")
        return surveyPng(f);
    if (format == "gif")
        return surveyGif(f);
    return surveyIco(f);
}

// Pixels in a form every painter draws quickly, whatever the file held (palette, grey, 16 bit).
QImage normalised(QImage image)
{
    const QImage::Format want =
        image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32;
    if (image.format() != want)
        image.convertTo(want);
    return image;
}

Picture decodeWithQt(const QByteArray &bytes, const QByteArray &format, const QString &name,
                     QSize fitTo)
{
    Survey s = survey(bytes, format);
    if (s.verdict != Survey::Fine)
        return refusal(s, format, name);

    QBuffer buffer;
    buffer.setData(s.endAdded.isNull() ? bytes : s.endAdded);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoTransform(true);
    bool jpegRanOut = false;
    const JpegWarningCatcher catcher(&jpegRanOut);
    // Qt's own ceiling, above ours: a 16-bit PNG decodes to 8 bytes a pixel before we convert.
    reader.setAllocationLimit(int(MaxPixels * 8 / Mebi) + 1);

    const QSize size = reader.size();
    if (size.isValid() && !size.isEmpty() && !withinLimits(size)) // an ICO's directory
        return failure(tooLarge(name, size));
    if (fitTo.isValid() && !fitTo.isEmpty() && size.isValid() &&
        reader.supportsOption(QImageIOHandler::ScaledSize)) {
        // The orientation tag may turn the picture a quarter; the scaled size is before that.
        QSize target = fitTo;
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            target.transpose();
        const QSize scaled = size.scaled(target, Qt::KeepAspectRatioByExpanding);
        if (scaled.width() < size.width() && scaled.height() < size.height())
            reader.setScaledSize(scaled);
    }

    QImage image = reader.read();
    if (jpegRanOut || (image.isNull() && s.ranOut))
        s.verdict = Survey::Incomplete;
    else if (image.isNull())
        s.verdict = Survey::Damaged;
    else if (!withinLimits(image.size()))
        s = verdict(Survey::TooLarge, image.size());
    if (s.verdict != Survey::Fine)
        return refusal(s, format, name);
    return {normalised(std::move(image)), {}};
}

// Reads the file at path into *out, and its name for messages into *nameOut; a failure with
// its message when it cannot.
Picture readFile(const QString &path, QByteArray *out, QString *nameOut)
{
    const QString name = displayName(path);
    *nameOut = name;
    // Open without blocking and look at what was opened, not at the name: a FIFO or a device
    // that merely carries a picture's name must not hang or flood the program.
    const QByteArray native = toNative(QFileInfo(path).absoluteFilePath());
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT)
            return failure(QStringLiteral("找不到圖片「%1」：檔案可能已被移除或改名。").arg(name));
        if (err == EACCES || err == EPERM)
            return failure(QStringLiteral("沒有權限讀取圖片「%1」。").arg(name));
        if (err == ELOOP)
            return failure(
                QStringLiteral("無法開啟圖片「%1」：這個捷徑指向自己，形成迴圈。").arg(name));
        return failure(QStringLiteral("無法開啟圖片「%1」（%2）。")
                           .arg(name, QString::fromLocal8Bit(std::strerror(err))));
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return failure(QStringLiteral("「%1」不是一般的檔案，不能當作圖片載入。").arg(name));
    }
    if (st.st_size > MaxFileBytes) {
        ::close(fd);
        return failure(
            QStringLiteral("圖片檔「%1」太大（超過 %2 MiB）。").arg(name).arg(MaxFileBytes / Mebi));
    }

    QByteArray bytes;
    bytes.resize(qsizetype(st.st_size));
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    const int readErrno = errno;
    ::close(fd);
    if (got != bytes.size() && got == 0 && bytes.size() > 0)
        return failure(QStringLiteral("無法讀取圖片「%1」（%2）。")
                           .arg(name, QString::fromLocal8Bit(std::strerror(readErrno))));
    bytes.truncate(got); // a file that shrank while we read it is decoded as far as it goes
    *out = std::move(bytes);
    return {};
}

} // namespace

Picture loadFromData(const QByteArray &bytes, const QString &name, QSize fitTo)
{
    const QByteArray format = sniffFormat(bytes);
    if (format.isEmpty())
        return failure(unreadable(name));
    if (format == "wmf") {
        // The renderer scales a large metafile down to its limits, rounding each side to whole
        // pixels: leave it room for that rounding below ours. It has our time budget.
        wmf::Limits limits;
        limits.maxSide = qMin(limits.maxSide, MaxSide);
        limits.maxPixels = qMin(limits.maxPixels, MaxPixels - 2 * qint64(MaxSide));
        limits.maxMilliseconds = qMin(limits.maxMilliseconds, MaxDecodeMilliseconds);
        QString error;
        QImage image = wmf::render(bytes, &error, limits);
        if (image.isNull())
            return failure(error.isEmpty() ? unreadable(name) : error);
        if (!withinLimits(image.size()))
            return failure(tooLarge(name, image.size()));
        return {normalised(std::move(image)), {}};
    }
    Picture decoded = decodeWithQt(bytes, format, name, fitTo);
    // Whatever a decoder did, nothing past the limits leaves the loader.
    if (!decoded.isNull() && !withinLimits(decoded.image.size()))
        return failure(tooLarge(name, decoded.image.size()));
    return decoded;
}

Picture loadFromDataAtSize(const QByteArray &bytes, const QString &name, int longestSide)
{
    longestSide = std::clamp(longestSide, 1, MaxSide);
    if (sniffFormat(bytes) == "wmf") {
        QString error;
        wmf::Limits limits;
        limits.maxSide = MaxSide;
        limits.maxPixels = MaxPixels - 2 * qint64(MaxSide); // room for the renderer's rounding
        limits.maxMilliseconds = qMin(limits.maxMilliseconds, MaxDecodeMilliseconds);
        QImage image = wmf::render(bytes, &error, limits, longestSide);
        if (image.isNull())
            return failure(error.isEmpty() ? unreadable(name) : error);
        if (!withinLimits(image.size()))
            return failure(tooLarge(name, image.size()));
        return {normalised(std::move(image)), {}};
    }
    Picture picture = loadFromData(bytes, name);
    if (!picture.isNull())
        picture.image = picture.image.scaled(QSize(longestSide, longestSide), Qt::KeepAspectRatio,
                                             Qt::SmoothTransformation);
    return picture;
}

Picture loadAtSize(const QString &path, int longestSide)
{
    QByteArray bytes;
    QString name;
    if (Picture failed = readFile(path, &bytes, &name); !failed.error.isEmpty())
        return failed;
    return loadFromDataAtSize(bytes, name, longestSide);
}

Picture load(const QString &path, QSize fitTo)
{
    QByteArray bytes;
    QString name;
    if (Picture failed = readFile(path, &bytes, &name); !failed.error.isEmpty())
        return failed;
    return loadFromData(bytes, name, fitTo);
}

} // namespace picture

#include "pictureloader.h"

#include "wmf/wmfparser.h"
#include "wmf/wmfrenderer.h"

#include <QBuffer>
#include <QByteArray>
#include <QFileInfo>
#include <QImageReader>

#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace picture {
namespace {

Picture failure(QString message)
{
    return {QImage(), std::move(message)};
}

QString displayName(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    return name.isEmpty() ? path : name;
}

QString unreadable(const QString &name)
{
    return QStringLiteral("無法讀取圖片「%1」：檔案已損壞，或不是 BMP、JPEG、GIF、WMF 圖片。")
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
QByteArray sniffFormat(const QByteArray &bytes)
{
    if (bytes.startsWith("BM"))
        return "bmp";
    if (bytes.startsWith("\xFF\xD8\xFF"))
        return "jpeg";
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return "gif";
    if (bytes.size() >= 6 && bytes.startsWith(QByteArrayView("\0\0\1\0", 4)))
        return "ico";
    if (wmf::looksLikeMetafile(bytes))
        return "wmf";
    return {};
}

quint16 be16(const QByteArray &b, qsizetype at)
{
    return quint16((uchar(b[at]) << 8) | uchar(b[at + 1]));
}
quint16 le16(const QByteArray &b, qsizetype at)
{
    return quint16(uchar(b[at]) | (uchar(b[at + 1]) << 8));
}
qint32 le32(const QByteArray &b, qsizetype at)
{
    return qint32(quint32(le16(b, at)) | (quint32(le16(b, at + 2)) << 16));
}

// The size a file's header claims, read without Qt: Qt's readers refuse some sizes outright
// (a BMP above 16384 × 16384 pixels, a JPEG above 65500 a side) and then cannot tell us what
// the file claimed, yet the player should hear that the picture is too large, not damaged.
// Invalid when the header does not say.
QSize claimedSize(const QByteArray &b, const QByteArray &format)
{
    if (format == "bmp" && b.size() >= 30) {
        // Only a header that looks whole is believed; "BM" and noise is a damaged file.
        const qint32 headerSize = le32(b, 14);
        const bool core = headerSize == 12;
        const bool known = core || headerSize == 40 || headerSize == 52 || headerSize == 56 ||
                           headerSize == 64 || headerSize == 108 || headerSize == 124;
        const int planes = core ? le16(b, 22) : le16(b, 26);
        const int bits = core ? le16(b, 24) : le16(b, 28);
        const bool depth = bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 ||
                           bits == 24 || bits == 32;
        if (!known || planes != 1 || !depth)
            return {};
        if (core)
            return {le16(b, 18), le16(b, 20)};
        const qint64 height = le32(b, 22);
        return {le32(b, 18), int(qMin<qint64>(qAbs(height), INT_MAX))};
    }
    if (format == "gif" && b.size() >= 10)
        return {le16(b, 6), le16(b, 8)};
    if (format == "jpeg") {
        qsizetype i = 2;
        while (i + 9 < b.size()) {
            if (uchar(b[i]) != 0xFF)
                return {};
            const uchar marker = uchar(b[i + 1]);
            if (marker == 0xFF) { // fill byte
                ++i;
                continue;
            }
            if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) { // no length follows
                i += 2;
                continue;
            }
            const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 &&
                               marker != 0xC8 && marker != 0xCC;
            if (frame)
                return {be16(b, i + 7), be16(b, i + 5)};
            if (marker == 0xDA || marker == 0xD9) // scan data before any frame: no size
                return {};
            i += 2 + be16(b, i + 2);
        }
    }
    return {};
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
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format);
    reader.setAutoTransform(true);
    // Qt's own ceiling, above ours, in case a header lies about the size.
    reader.setAllocationLimit(int(MaxPixels * 4 / Mebi) + 1);

    const QSize size = reader.size();
    if (!size.isValid()) {
        const QSize claimed = claimedSize(bytes, format);
        if (claimed.isValid() && !claimed.isEmpty() && !withinLimits(claimed))
            return failure(tooLarge(name, claimed));
        return failure(unreadable(name));
    }
    if (!withinLimits(size))
        return failure(tooLarge(name, size));

    if (fitTo.isValid() && !fitTo.isEmpty() && reader.supportsOption(QImageIOHandler::ScaledSize)) {
        // The orientation tag may turn the picture a quarter; the scaled size is before that.
        QSize target = fitTo;
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            target.transpose();
        const QSize scaled = size.scaled(target, Qt::KeepAspectRatioByExpanding);
        if (scaled.width() < size.width() && scaled.height() < size.height())
            reader.setScaledSize(scaled);
    }

    QImage image = reader.read();
    if (image.isNull())
        return failure(unreadable(name));
    return {normalised(std::move(image)), {}};
}

// Reads the file at path into *bytes; a failure with its message when it cannot.
Picture readFile(const QString &path, QByteArray *out, QString *nameOut)
{
    const QString name = displayName(path);
    *nameOut = name;
    // Open without blocking and look at what was opened, not at the name: a FIFO or a device
    // that merely carries a picture's name must not hang or flood the program.
    const QByteArray native = QFileInfo(path).absoluteFilePath().toLocal8Bit();
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        if (err == ENOENT)
            return failure(QStringLiteral("找不到圖片「%1」：檔案可能已被移除或改名。").arg(name));
        if (err == EACCES || err == EPERM)
            return failure(QStringLiteral("沒有權限讀取圖片「%1」。").arg(name));
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
        QString error;
        QImage image = wmf::render(bytes, &error);
        if (image.isNull())
            return failure(error.isEmpty() ? unreadable(name) : error);
        if (!withinLimits(image.size()))
            return failure(tooLarge(name, image.size()));
        return {normalised(std::move(image)), {}};
    }
    return decodeWithQt(bytes, format, name, fitTo);
}

Picture loadFromDataAtSize(const QByteArray &bytes, const QString &name, int longestSide)
{
    longestSide = std::clamp(longestSide, 1, MaxSide);
    if (sniffFormat(bytes) == "wmf") {
        QString error;
        wmf::Limits limits;
        limits.maxSide = MaxSide;
        limits.maxPixels = MaxPixels;
        QImage image = wmf::render(bytes, &error, limits, longestSide);
        if (image.isNull())
            return failure(error.isEmpty() ? unreadable(name) : error);
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

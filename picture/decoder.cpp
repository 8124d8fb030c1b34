#include "decoder.h"

#include "colour.h"
#include "colourtags.h"
#include "fitting.h"
#include "formats.h"
#include "heifpicture.h"
#include "surveys.h"
#include "svgpicture.h"

#include "loading/picturefile.h"

#include "wmf/wmfparser.h"
#include "wmf/wmfrenderer.h"

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace picture {
namespace {

Picture failure(Reason reason, QStringList details = {})
{
    return {QImage(), refused(reason, std::move(details))};
}

Picture tooLarge(QSize size)
{
    return failure(Reason::TooLarge,
                   {QString::number(size.width()), QString::number(size.height())});
}

Picture refusal(const Survey &s, const Format &format)
{
    const QString kind = kindName(format.kind);
    switch (s.verdict) {
    case Survey::Fine:
        break;
    case Survey::TooLarge:
        return tooLarge(s.size);
    case Survey::NoPixels:
        return failure(Reason::NoPixels,
                       {kind, QString::number(s.size.width()), QString::number(s.size.height())});
    case Survey::Unsupported:
        return failure(Reason::Unsupported, {kind, s.variant});
    case Survey::Incomplete:
        return failure(Reason::Incomplete, {kind});
    case Survey::Damaged:
        break;
    }
    return failure(Reason::Damaged, {kind});
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

// The picture at the size asked for, however it was decoded: scaled smoothly to the longest
// side asked for, or down to no more pixels than it takes to cover fitTo.
QImage fitted(QImage image, const Request &request, const Limits &limits)
{
    const QSize size = fittingSize(image.size(), request, limits);
    if (!size.isEmpty() && size != image.size())
        image = image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

// The picture in sRGB, from the colour space the file of kind says it is in: converted as it
// was decoded, before it is fitted, so that a JPEG decoded smaller costs that much less.
QImage inSrgb(QImage image, Kind kind, QByteArrayView bytes)
{
    const FileColour colour = colourOf(kind, bytes);
    return toSrgb(std::move(image), colour.tag());
}

// Our own reader or Qt's, after our walk, in sRGB. A JPEG is decoded smaller where fitTo allows.
Picture readRaster(const QByteArray &bytes, const Format &format, QSize fitTo, const Limits &limits)
{
    const Survey s = format.survey(Bytes{bytes}, limits);
    if (s.verdict != Survey::Fine)
        return refusal(s, format);
    if (format.read) {
        Picture own = format.read(bytes, s, limits);
        if (!own.isNull() || own.refusal.isRefused()) {
            if (!own.isNull() && !withinLimits(own.image.size(), limits))
                return tooLarge(own.image.size());
            if (!own.isNull())
                own.image = normalised(inSrgb(std::move(own.image), format.kind, bytes));
            return own;
        }
    }

    QBuffer buffer;
    buffer.setData(s.endAdded.isNull() ? bytes : s.endAdded);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, format.name);
    reader.setAutoTransform(true);
    // Qt's own ceiling, above ours: a 16-bit PNG decodes to 8 bytes a pixel before we convert.
    reader.setAllocationLimit(int(limits.maxPixels * 8 / Mebi) + 1);

    const QSize size = reader.size();
    if (size.isValid() && !size.isEmpty() && !withinLimits(size, limits)) // an ICO's directory
        return tooLarge(size);
    if (fitTo.isValid() && !fitTo.isEmpty() && size.isValid() &&
        reader.supportsOption(QImageIOHandler::ScaledSize)) {
        // The orientation tag may turn the picture a quarter; the scaled size is before that.
        QSize target = fitTo;
        if (reader.transformation() & QImageIOHandler::TransformationRotate90)
            target.transpose();
        const QSize scaled = fittingSize(size, {target}, limits);
        if (scaled != size)
            reader.setScaledSize(scaled);
    }

    QImage image = reader.read();
    if (image.isNull())
        return failure(s.ranOut ? Reason::Incomplete : Reason::Damaged, {kindName(format.kind)});
    if (!withinLimits(image.size(), limits))
        return tooLarge(image.size());
    return {normalised(inSrgb(std::move(image), format.kind, bytes)), {}};
}

// A raster picture, then at the longest side asked for, or no larger than fitTo asks.
Picture decodeRaster(const QByteArray &bytes, const Format &format, const Request &request,
                     const Limits &limits)
{
    Picture decoded = readRaster(bytes, format, request.fitTo, limits);
    if (!decoded.isNull())
        decoded.image = fitted(std::move(decoded.image), request, limits);
    return decoded;
}

} // namespace

// A metafile, drawn at its own size or again at the longest side asked for, then no larger
// than fitTo asks.
Picture drawMetafile(QByteArrayView bytes, const Request &request, const Limits &limits)
{
    Refusal why;
    QImage image = wmf::render(bytes, &why, wmf::Limits::within(limits, request.longestSide > 0),
                               request.longestSide);
    if (image.isNull())
        return {QImage(), why.isRefused() ? why : refused(Reason::Damaged, {u"WMF"_qs})};
    if (!withinLimits(image.size(), limits))
        return tooLarge(image.size());
    Request fit = request;
    fit.longestSide = 0; // drawn at it already
    return {fitted(normalised(std::move(image)), fit, limits), {}};
}

Picture decode(const QByteArray &bytes, const Request &request, const Limits &limits)
{
    const Format *format = formatOf(bytes);
    if (!format)
        return failure(Reason::NotAPicture);
    Request asked = request;
    if (asked.longestSide > 0) { // then the picture is drawn or scaled to that, not fitted
        asked.longestSide = qMin(asked.longestSide, limits.maxSide);
        asked.fitTo = QSize();
    }
    Picture decoded = format->draw ? format->draw(bytes, asked, limits)
                                   : decodeRaster(bytes, *format, asked, limits);
    // Whatever a decoder did, nothing past the limits leaves here.
    if (!decoded.isNull() && !withinLimits(decoded.image.size(), limits))
        return tooLarge(decoded.image.size());
    return decoded;
}

Refusal checkHead(QByteArrayView head, const Limits &limits)
{
    const Format *format = formatOf(head);
    if (!format)
        return refused(Reason::NotAPicture);
    if (!format->survey) // drawn as vectors: the header alone tells nothing
        return {};
    // The walks read what there is; of their verdicts only those the headers decide count here.
    const Survey s = format->survey(Bytes{head}, limits);
    switch (s.verdict) {
    case Survey::TooLarge:
    case Survey::NoPixels:
    case Survey::Unsupported:
        return refusal(s, *format).refusal;
    default:
        return {};
    }
}

qint64 declaredPixels(QByteArrayView bytes, const Request &request)
{
    const Format *format = formatOf(bytes);
    if (!format)
        return 0;
    qint64 pixels = 0;
    if (format->survey) {
        const QSize size = format->survey(Bytes{bytes}, {}).size;
        if (size.isValid())
            pixels = qint64(size.width()) * size.height();
    } else if (request::isSide(request.longestSide)) {
        pixels = qint64(request.longestSide) * request.longestSide;
    } else if (!request.fitTo.isEmpty()) {
        pixels = qint64(request.fitTo.width()) * request.fitTo.height();
    }
    if (!format->survey) // drawn that much denser on a dense screen
        pixels = qint64(double(pixels) * request.density * request.density);
    return qBound<qint64>(0, pixels, MaxPixels);
}

void warmUp()
{
    for (const QByteArray &format : QImageReader::supportedImageFormats()) {
        QBuffer nothing;
        nothing.open(QIODevice::ReadOnly);
        QImageReader(&nothing, format).canRead();
    }
    // Little CMS, with the profiles and the transform a Display P3 photo makes.
    QImage pixel(1, 1, QImage::Format_RGB32);
    pixel.fill(Qt::red);
    toSrgb(pixel, {{}, 12, 13});
    warmUpHeif();
    // librsvg and the text layout beneath it.
    renderSvg(R"(<svg xmlns="http://www.w3.org/2000/svg" width="16" height="16">)"
              R"(<text y="12" font-size="12">a字</text></svg>)",
              {}, {});
    if (!QGuiApplication::instance())
        return;
    QImage scratch(16, 16, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&scratch);
    for (const char *family : {"Liberation Serif", "Liberation Sans", "AR PL UMing TW"}) {
        painter.setFont(QFont(QString::fromLatin1(family), 12));
        painter.drawText(0, 12, QStringLiteral("a字"));
    }
}

bool needsFonts(QByteArrayView head)
{
    // librsvg finds an SVG's fonts through fontconfig itself.
    const Format *format = formatOf(head);
    return format && format->kind == Kind::Wmf;
}

Refusal readAll(int fd, QByteArray *bytes, qint64 upTo)
{
    // Into room made once for the whole file, in pieces, so that a file that grows while it is
    // read stops at the limit; its end is found with a small read of its own.
    constexpr qint64 Piece = qint64(4) * 1024 * 1024;
    const qint64 limit = qMin(upTo, MaxFileBytes + 1);
    struct stat st
    {
    };
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        bytes->reserve(qsizetype(qMin<qint64>(bytes->size() + st.st_size, limit)));
    while (bytes->size() < limit) {
        const qsizetype at = bytes->size();
        const qsizetype room = bytes->capacity() - at;
        const qsizetype want =
            qsizetype(qMin<qint64>(qMin(Piece, limit - at), qMax<qsizetype>(room, 0)));
        char probe[4096];
        const bool probing = want == 0;
        if (!probing)
            bytes->resize(at + want);
        const ssize_t n = probing
                              ? ::read(fd, probe, size_t(qMin<qint64>(sizeof probe, limit - at)))
                              : ::read(fd, bytes->data() + at, size_t(want));
        const int error = errno;
        if (!probing)
            bytes->resize(at + qMax<qsizetype>(n, 0));
        else if (n > 0)
            bytes->append(probe, qsizetype(n));
        if (n < 0 && error == EINTR)
            continue;
        // Wherever it fails, the file could not be read: what was read of it is no file cut
        // short, to be called incomplete or damaged.
        if (n < 0)
            return refused(Reason::CannotRead, {QString::number(error)});
        if (n == 0)
            break;
    }
    return bytes->size() > MaxFileBytes ? refused(Reason::FileTooLarge) : Refusal();
}

Picture decodeFile(const QString &path, const Request &request)
{
    const PictureFile file(path);
    if (file.refusal().isRefused())
        return {QImage(), file.refusal()};
    QByteArray bytes;
    if (const Refusal failed = readAll(file.descriptor(), &bytes); failed.isRefused())
        return {QImage(), failed};
    return decode(bytes, request);
}

} // namespace picture

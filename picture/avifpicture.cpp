// libavif rather than libheif reads AVIF, though libheif (with dav1d) could: libavif decodes a
// sequence's first frame from its track, also where no still picture stands beside it, which
// libheif 1.15 does not read at all; it holds dav1d to our limits on the pixels of a frame and
// its sides, to one thread, and to a count of frames; libheif 1.15 limits only a side and lets
// dav1d take every core. The cost is a second library in the decoding process and the crop,
// turn and mirror done here, which libavif leaves to its callers.
#include "avifpicture.h"

#include "colour.h"
#include "quiet.h"

#include <avif/avif.h>

#include <QTransform>

#include <memory>

namespace picture {

namespace {

struct DecoderFree
{
    void operator()(avifDecoder *d) const { avifDecoderDestroy(d); }
};

// No sequence of more frames is read (a minute at 30 frames a second is 1800): its tables alone
// would take memory and time, and only its first frame is shown.
constexpr uint32_t MaxFrames = 1 << 16;

Picture refusedAs(Reason reason, QStringList details = {kindName(Kind::Avif)})
{
    return {QImage(), refused(reason, std::move(details))};
}

Picture failure(avifResult result, const Survey &s)
{
    switch (result) {
    case AVIF_RESULT_OUT_OF_MEMORY:
        return refusedAs(Reason::OutOfMemory, {});
    case AVIF_RESULT_NOT_IMPLEMENTED:
    case AVIF_RESULT_UNSUPPORTED_DEPTH:
        return refusedAs(Reason::Unsupported, {kindName(Kind::Avif), QStringLiteral("layout")});
    default: // libavif says its data is cut also when a box it needs is missing
        return refusedAs(s.ranOut ? Reason::Incomplete : Reason::Damaged);
    }
}

// The picture cropped to its clean aperture, turned and mirrored, in the order the format
// gives: crop, then turn (a quarter anticlockwise for each step of the angle), then mirror.
QImage transformed(QImage image, const avifImage &source, avifDiagnostics *diagnostics)
{
    if (source.transformFlags & AVIF_TRANSFORM_CLAP) {
        avifCropRect crop{};
        // A clean aperture that makes no sense is left out, as the other readers do.
        if (avifCropRectConvertCleanApertureBox(&crop, &source.clap, source.width, source.height,
                                                source.yuvFormat, diagnostics))
            image = image.copy(int(crop.x), int(crop.y), int(crop.width), int(crop.height));
    }
    if ((source.transformFlags & AVIF_TRANSFORM_IROT) && (source.irot.angle & 3))
        image = image.transformed(QTransform().rotate(-90.0 * (source.irot.angle & 3)));
    if (source.transformFlags & AVIF_TRANSFORM_IMIR) {
        const bool leftRight = source.imir.mode == 1;
        image = image.mirrored(leftRight, !leftRight);
    }
    return image;
}

} // namespace

Picture readAvif(const QByteArray &bytes, const Survey &s, const Limits &limits)
{
    const QuietStderr quiet; // dav1d may write why it fails there
    const std::unique_ptr<avifDecoder, DecoderFree> decoder(avifDecoderCreate());
    if (!decoder)
        return refusedAs(Reason::OutOfMemory, {});
    // dav1d on this thread, held to our limits; libavif also checks the sides it declares.
    decoder->maxThreads = 1;
    if (avifCodecName(AVIF_CODEC_CHOICE_DAV1D, AVIF_CODEC_FLAG_CAN_DECODE))
        decoder->codecChoice = AVIF_CODEC_CHOICE_DAV1D;
    decoder->imageSizeLimit =
        uint32_t(qMin<qint64>(limits.maxPixels, AVIF_DEFAULT_IMAGE_SIZE_LIMIT));
    decoder->imageDimensionLimit = uint32_t(limits.maxSide);
    decoder->imageCountLimit = MaxFrames;
    // Its strict checks refuse files other encoders write (without a pixi box, with a clean
    // aperture that does not round evenly); none of them guards memory or time.
    decoder->strictFlags = AVIF_STRICT_DISABLED;
    decoder->ignoreExif = AVIF_TRUE;
    decoder->ignoreXMP = AVIF_TRUE;
    avifResult result = avifDecoderSetIOMemory(
        decoder.get(), reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    if (result == AVIF_RESULT_OK)
        result = avifDecoderParse(decoder.get());
    if (result == AVIF_RESULT_OK)
        result = avifDecoderNextImage(decoder.get());
    if (result != AVIF_RESULT_OK)
        return failure(result, s);

    const avifImage &decoded = *decoder->image;
    const QSize size(int(qMin<uint32_t>(decoded.width, INT_MAX)),
                     int(qMin<uint32_t>(decoded.height, INT_MAX)));
    if (!withinLimits(size, limits))
        return refusedAs(Reason::TooLarge,
                         {QString::number(size.width()), QString::number(size.height())});
    const bool alpha = decoded.alphaPlane != nullptr;
    QImage image(size, alpha ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBX8888);
    if (image.isNull())
        return refusedAs(Reason::OutOfMemory, {});
    avifRGBImage rgb;
    avifRGBImageSetDefaults(&rgb, &decoded);
    rgb.depth = 8; // 10 and 12 bits a sample come as 8
    rgb.format = AVIF_RGB_FORMAT_RGBA;
    rgb.alphaPremultiplied = AVIF_TRUE;
    rgb.pixels = image.bits();
    rgb.rowBytes = uint32_t(image.bytesPerLine());
    result = avifImageYUVToRGB(&decoded, &rgb);
    if (result != AVIF_RESULT_OK)
        return failure(result, s);
    image = transformed(std::move(image), decoded, &decoder->diag);
    // H.273's 2 names no colour space: no tag at all.
    const auto given = [](int code) { return code == 2 ? 0 : code; };
    const ColourTag tag{QByteArrayView(reinterpret_cast<const char *>(decoded.icc.data),
                                       qsizetype(decoded.icc.size)),
                        given(decoded.colorPrimaries), given(decoded.transferCharacteristics)};
    return {toSrgb(std::move(image), tag), {}};
}

} // namespace picture

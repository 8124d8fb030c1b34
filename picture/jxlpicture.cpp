#include "jxlpicture.h"

#include "colour.h"
#include "quiet.h"

#include <jxl/decode.h>

#include <cmath>
#include <memory>
#include <optional>

namespace picture {

namespace {

struct DecoderFree
{
    void operator()(JxlDecoder *d) const { JxlDecoderDestroy(d); }
};

Picture refusedAs(Reason reason, QStringList details = {kindName(Kind::Jxl)})
{
    return {QImage(), refused(reason, std::move(details))};
}

// The H.273 code points of a colour space libjxl describes, when they name it whole: primaries
// with their white point, and a transfer curve; else none, and the ICC profile tells.
std::optional<std::pair<int, int>> codePoints(const JxlColorEncoding &c)
{
    // Grey is shown as grey on any screen: its primaries do not count.
    const bool grey = c.color_space == JXL_COLOR_SPACE_GRAY;
    int primaries = 0;
    if (!grey && c.color_space != JXL_COLOR_SPACE_RGB)
        return {};
    if (grey || (c.primaries == JXL_PRIMARIES_SRGB && c.white_point == JXL_WHITE_POINT_D65))
        primaries = 1;
    else if (c.primaries == JXL_PRIMARIES_2100 && c.white_point == JXL_WHITE_POINT_D65)
        primaries = 9;
    else if (c.primaries == JXL_PRIMARIES_P3 && c.white_point == JXL_WHITE_POINT_D65)
        primaries = 12; // Display P3
    else if (c.primaries == JXL_PRIMARIES_P3 && c.white_point == JXL_WHITE_POINT_DCI)
        primaries = 11;
    else
        return {};
    switch (c.transfer_function) {
    case JXL_TRANSFER_FUNCTION_709:
    case JXL_TRANSFER_FUNCTION_LINEAR:
    case JXL_TRANSFER_FUNCTION_SRGB:
    case JXL_TRANSFER_FUNCTION_PQ:
    case JXL_TRANSFER_FUNCTION_DCI:
    case JXL_TRANSFER_FUNCTION_HLG:
        return std::pair{primaries, int(c.transfer_function)};
    case JXL_TRANSFER_FUNCTION_GAMMA: // the exponent's inverse: 2.2 and 2.8 have code points
        if (std::abs(c.gamma - 1 / 2.2) < 1e-4)
            return std::pair{primaries, 4};
        if (std::abs(c.gamma - 1 / 2.8) < 1e-4)
            return std::pair{primaries, 5};
        return {};
    default:
        return {};
    }
}

// The colour space of the decoded pixels, as code points or as libjxl's ICC profile of it.
ColourTag colourOf(const JxlDecoder *decoder, QByteArray *icc)
{
    JxlColorEncoding encoding{};
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                           &encoding) == JXL_DEC_SUCCESS) {
        if (const auto points = codePoints(encoding))
            return {{}, points->first, points->second};
    }
    size_t bytes = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &bytes) ==
            JXL_DEC_SUCCESS &&
        bytes > 0 && bytes < (size_t(4) << 20)) {
        icc->resize(qsizetype(bytes));
        if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                           reinterpret_cast<uint8_t *>(icc->data()),
                                           bytes) == JXL_DEC_SUCCESS)
            return {*icc, 0, 0};
    }
    return {};
}

// Whether one of the extra channels is the black of a CMYK picture, which libjxl 0.7 leaves
// out of the colours it gives.
bool hasBlack(const JxlDecoder *decoder, const JxlBasicInfo &info)
{
    for (uint32_t i = 0; i < info.num_extra_channels; ++i) {
        JxlExtraChannelInfo channel{};
        if (JxlDecoderGetExtraChannelInfo(decoder, i, &channel) == JXL_DEC_SUCCESS &&
            channel.type == JXL_CHANNEL_BLACK)
            return true;
    }
    return false;
}

} // namespace

Picture readJxl(const QByteArray &bytes, const Survey &s, const Limits &limits)
{
    const QuietStderr quiet; // libjxl writes why it fails there
    // libjxl's own allocation, and no parallel runner: every step on this thread.
    const std::unique_ptr<JxlDecoder, DecoderFree> decoder(JxlDecoderCreate(nullptr));
    if (!decoder)
        return refusedAs(Reason::OutOfMemory, {});
    JxlDecoder *d = decoder.get();
    if (JxlDecoderSubscribeEvents(d, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                         JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetInput(d, reinterpret_cast<const uint8_t *>(bytes.constData()),
                           size_t(bytes.size())) != JXL_DEC_SUCCESS)
        return refusedAs(Reason::Damaged);
    // The input stays open: libjxl asks for more where the file ends too soon, which tells a
    // cut file from a damaged one.

    // 8 bits a sample whatever the file holds, red, green, blue and alpha in this order.
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    JxlBasicInfo info{};
    QImage image;
    QByteArray icc;
    ColourTag tag;
    for (;;) {
        switch (JxlDecoderProcessInput(d)) {
        case JXL_DEC_BASIC_INFO: {
            if (JxlDecoderGetBasicInfo(d, &info) != JXL_DEC_SUCCESS)
                return refusedAs(Reason::Damaged);
            // The sides as shown: an orientation of 5 to 8 turns the picture a quarter.
            QSize size(int(qMin<uint32_t>(info.xsize, INT_MAX)),
                       int(qMin<uint32_t>(info.ysize, INT_MAX)));
            if (info.orientation >= JXL_ORIENT_TRANSPOSE)
                size.transpose();
            if (!withinLimits(size, limits))
                return refusedAs(Reason::TooLarge,
                                 {QString::number(size.width()), QString::number(size.height())});
            if (hasBlack(d, info))
                return refusedAs(Reason::Unsupported,
                                 {kindName(Kind::Jxl), QStringLiteral("CMYK")});
            image = QImage(size, !info.alpha_bits           ? QImage::Format_RGBX8888
                                 : info.alpha_premultiplied ? QImage::Format_RGBA8888_Premultiplied
                                                            : QImage::Format_RGBA8888);
            if (image.isNull())
                return refusedAs(Reason::OutOfMemory, {});
            break;
        }
        case JXL_DEC_COLOR_ENCODING:
            // Pictures coded in libjxl's own colour space (lossy ones) come in sRGB, converted
            // by libjxl with more than 8 bits of precision (or else in linear sRGB, which 8
            // bits band); the others as the file holds them.
            if (!info.uses_original_profile) {
                JxlColorEncoding srgb{};
                srgb.color_space =
                    info.num_color_channels == 1 ? JXL_COLOR_SPACE_GRAY : JXL_COLOR_SPACE_RGB;
                srgb.white_point = JXL_WHITE_POINT_D65;
                srgb.primaries = JXL_PRIMARIES_SRGB;
                srgb.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
                srgb.rendering_intent = JXL_RENDERING_INTENT_PERCEPTUAL;
                JxlDecoderSetPreferredColorProfile(d, &srgb);
            }
            tag = colourOf(d, &icc);
            break;
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
            size_t needed = 0;
            if (image.isNull() ||
                JxlDecoderImageOutBufferSize(d, &format, &needed) != JXL_DEC_SUCCESS ||
                needed != size_t(image.sizeInBytes()) ||
                JxlDecoderSetImageOutBuffer(d, &format, image.bits(), needed) != JXL_DEC_SUCCESS)
                return refusedAs(Reason::Damaged);
            break;
        }
        case JXL_DEC_FULL_IMAGE: // the first frame, whole: an animation's further frames wait
            return {toSrgb(std::move(image), tag), {}};
        case JXL_DEC_NEED_MORE_INPUT: // past all there is
            return refusedAs(Reason::Incomplete);
        case JXL_DEC_SUCCESS: // the end, and no frame
        case JXL_DEC_ERROR:
        default:
            return refusedAs(s.ranOut ? Reason::Incomplete : Reason::Damaged);
        }
    }
}

} // namespace picture

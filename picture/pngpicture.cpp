#include "pngpicture.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <vector>

namespace picture {

namespace {

// Whether the chunks before the pixels hold a transparent colour of a 16-bit grey or RGB
// picture: colour type 0 or 2, depth 16, a tRNS chunk.
bool transparentColour16(const Bytes &f)
{
    if (!f.has(8, 25) || f.u8(24) != 16 || (f.u8(25) != 0 && f.u8(25) != 2))
        return false;
    for (qint64 at = 8; f.has(at, 8);) {
        const QByteArrayView type = f.b.sliced(at + 4, 4);
        if (type == "tRNS")
            return true;
        if (type == "IDAT" || type == "IEND")
            return false;
        at += 12 + qint64(f.be32(at));
    }
    return false;
}

struct Source
{
    QByteArrayView bytes;
    qsizetype at = 0;
};

void readBytes(png_structp png, png_bytep out, size_t count)
{
    auto *source = static_cast<Source *>(png_get_io_ptr(png));
    if (count > size_t(source->bytes.size() - source->at))
        png_error(png, "cut");
    std::memcpy(out, source->bytes.data() + source->at, count);
    source->at += qsizetype(count);
}

// libpng's own handlers write to stderr; ours say nothing, and an error ends the read.
[[noreturn]] void onError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void onWarning(png_structp, png_const_charp) {}

// libpng reports errors by a long jump: these two hold no C++ object that the jump would
// leave undestroyed. The header, then 8-bit blue, green, red and alpha (or alpha, red, green
// and blue on a big-endian machine: QImage::Format_ARGB32 either way).
bool readHeader(png_structp png, png_infop info, Source *source, const Limits &limits,
                png_uint_32 *width, png_uint_32 *height)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_read_fn(png, source, readBytes);
    png_set_user_limits(png, png_uint_32(limits.maxSide), png_uint_32(limits.maxSide));
    png_set_chunk_malloc_max(png, 8u << 20);
    png_read_info(png, info);
    png_set_scale_16(png); // v * 255 / 65535, rounded, as every other depth is widened
    png_set_tRNS_to_alpha(png);
    png_set_gray_to_rgb(png);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    png_set_bgr(png);
#else
    png_set_swap_alpha(png);
#endif
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    *width = png_get_image_width(png, info);
    *height = png_get_image_height(png, info);
    return png_get_rowbytes(png, info) == size_t(*width) * 4;
}

bool readRows(png_structp png, png_bytepp rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_read_image(png, rows);
    return true;
}

} // namespace

Picture readPng(const QByteArray &bytes, const Survey &s, const Limits &limits)
{
    if (!transparentColour16(Bytes{bytes}))
        return {};
    const auto failure = [&s] {
        return Picture{QImage(), refused(s.ranOut ? Reason::Incomplete : Reason::Damaged,
                                         {kindName(Kind::Png)})};
    };
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, onError, onWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return {QImage(), refused(Reason::OutOfMemory)};
    }
    Source source{s.endAdded.isNull() ? QByteArrayView(bytes) : QByteArrayView(s.endAdded)};
    png_uint_32 width = 0, height = 0;
    QImage image;
    std::vector<png_bytep> rows;
    if (readHeader(png, info, &source, limits, &width, &height) &&
        withinLimits(QSize(int(width), int(height)), limits)) {
        image = QImage(int(width), int(height), QImage::Format_ARGB32);
        if (!image.isNull()) {
            for (int y = 0; y < image.height(); ++y)
                rows.push_back(image.scanLine(y));
            if (!readRows(png, rows.data()))
                image = QImage();
        }
    }
    png_destroy_read_struct(&png, &info, nullptr);
    if (image.isNull())
        return failure();
    return {std::move(image), {}};
}

} // namespace picture

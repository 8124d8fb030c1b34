#include "heifpicture.h"

#include "colour.h"
#include "quiet.h"

#include <libheif/heif.h>

#include <memory>
#include <mutex>

namespace picture {

namespace {

struct HeifFree
{
    void operator()(heif_context *c) const { heif_context_free(c); }
    void operator()(const heif_image_handle *h) const { heif_image_handle_release(h); }
    void operator()(const heif_image *i) const { heif_image_release(i); }
    void operator()(heif_decoding_options *o) const { heif_decoding_options_free(o); }
    void operator()(heif_color_profile_nclx *n) const { heif_nclx_color_profile_free(n); }
};
template <typename T> using Owned = std::unique_ptr<T, HeifFree>;

Picture refusedAs(Reason reason, QStringList details = {kindName(Kind::Heic)})
{
    return {QImage(), refused(reason, std::move(details))};
}

// The forms libheif names when it does not read one, as the refusal names them.
QString unsupportedForm(heif_suberror_code code)
{
    switch (code) {
    case heif_suberror_Unsupported_codec:
        return QStringLiteral("codec");
    case heif_suberror_Unsupported_image_type:
        return QStringLiteral("image type");
    case heif_suberror_Unsupported_color_conversion:
        return QStringLiteral("colour conversion");
    case heif_suberror_Unsupported_item_construction_method:
    case heif_suberror_Unsupported_header_compression_method:
    case heif_suberror_Unsupported_data_version:
    default:
        return QStringLiteral("layout");
    }
}

// What a libheif error tells the player. Data that ends early, as libheif or the walk saw it,
// makes an incomplete file; the rest is damage unless it names a form or memory.
Picture failure(const heif_error &error, const Survey &s)
{
    switch (error.code) {
    case heif_error_Memory_allocation_error:
        return refusedAs(Reason::OutOfMemory, {});
    case heif_error_Unsupported_feature:
    case heif_error_Unsupported_filetype:
        return refusedAs(Reason::Unsupported,
                         {kindName(Kind::Heic), unsupportedForm(error.subcode)});
    default:
        break;
    }
    const bool cut = error.subcode == heif_suberror_End_of_data || s.ranOut;
    return refusedAs(cut ? Reason::Incomplete : Reason::Damaged);
}

// The colour space the picture is tagged with: its ICC profile, or the code points of its
// nclx box, or neither.
QImage inSrgb(QImage image, const heif_image_handle *handle)
{
    QByteArray icc;
    if (const size_t bytes = heif_image_handle_get_raw_color_profile_size(handle);
        bytes > 0 && bytes < (size_t(4) << 20)) {
        icc.resize(qsizetype(bytes));
        if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
            icc.clear();
    }
    ColourTag tag{icc, 0, 0};
    heif_color_profile_nclx *raw = nullptr;
    if (heif_image_handle_get_nclx_color_profile(handle, &raw).code == heif_error_Ok && raw) {
        const Owned<heif_color_profile_nclx> nclx(raw);
        // H.273's 2 names no colour space: no tag at all.
        tag.primaries = nclx->color_primaries == 2 ? 0 : nclx->color_primaries;
        tag.transfer = nclx->transfer_characteristics == 2 ? 0 : nclx->transfer_characteristics;
    }
    return toSrgb(std::move(image), tag);
}

} // namespace

void warmUpHeif()
{
    // heif_init would also load codec plug-ins from a folder the environment names; without it
    // libheif registers only the codecs it was built with, on first use, which this does.
    static std::once_flag registered;
    std::call_once(registered, [] { heif_context_free(heif_context_alloc()); });
}

Picture readHeic(const QByteArray &bytes, const Survey &s, const Limits &limits)
{
    warmUpHeif();
    const QuietStderr quiet; // libde265 may write warnings there
    const Owned<heif_context> context(heif_context_alloc());
    if (!context)
        return refusedAs(Reason::OutOfMemory, {});
    // libheif refuses a picture whose side reaches its limit; the walk has checked the sides
    // the file declares against ours, this holds the tiles and codecs to them too. Tiles are
    // decoded on this thread.
    heif_context_set_maximum_image_size_limit(context.get(), limits.maxSide + 1);
    heif_context_set_max_decoding_threads(context.get(), 0);
    heif_error error = heif_context_read_from_memory_without_copy(context.get(), bytes.constData(),
                                                                  size_t(bytes.size()), nullptr);
    if (error.code != heif_error_Ok)
        return failure(error, s);
    heif_image_handle *rawHandle = nullptr;
    error = heif_context_get_primary_image_handle(context.get(), &rawHandle);
    const Owned<const heif_image_handle> handle(rawHandle);
    if (error.code != heif_error_Ok)
        return failure(error, s);
    const QSize declared(heif_image_handle_get_width(handle.get()),
                         heif_image_handle_get_height(handle.get()));
    if (!withinLimits(declared, limits))
        return refusedAs(Reason::TooLarge,
                         {QString::number(declared.width()), QString::number(declared.height())});

    const bool alpha = heif_image_handle_has_alpha_channel(handle.get());
    const Owned<heif_decoding_options> options(heif_decoding_options_alloc());
    if (!options)
        return refusedAs(Reason::OutOfMemory, {});
    options->convert_hdr_to_8bit = 1; // 10 and 12 bits a sample come as 8
    heif_image *rawImage = nullptr;
    error = heif_decode_image(handle.get(), &rawImage, heif_colorspace_RGB,
                              alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                              options.get());
    Owned<const heif_image> decoded(rawImage);
    if (error.code != heif_error_Ok)
        return failure(error, s);
    const int width = heif_image_get_width(decoded.get(), heif_channel_interleaved);
    const int height = heif_image_get_height(decoded.get(), heif_channel_interleaved);
    int stride = 0;
    const uint8_t *pixels =
        heif_image_get_plane_readonly(decoded.get(), heif_channel_interleaved, &stride);
    const int channels = alpha ? 4 : 3;
    // libheif gives what the HEVC holds, whatever size the file declared and the walk checked:
    // a picture of another size than it declared is damage.
    if (!pixels ||
        heif_image_get_bits_per_pixel_range(decoded.get(), heif_channel_interleaved) != 8 ||
        QSize(width, height) != declared || !withinLimits(declared, limits) ||
        stride < width * channels)
        return refusedAs(Reason::Damaged);

    const QImage::Format format = !alpha ? QImage::Format_RGB888
                                  : heif_image_handle_is_premultiplied_alpha(handle.get())
                                      ? QImage::Format_RGBA8888_Premultiplied
                                      : QImage::Format_RGBA8888;
    // The pixels where libheif put them, not copied: the picture owns libheif's image from here.
    const heif_image *owned = decoded.release();
    QImage image(
        pixels, width, height, stride, format,
        [](void *i) { heif_image_release(static_cast<const heif_image *>(i)); },
        const_cast<heif_image *>(owned));
    if (image.isNull()) {
        heif_image_release(owned);
        return refusedAs(Reason::OutOfMemory, {});
    }
    return {inSrgb(std::move(image), handle.get()), {}};
}

} // namespace picture

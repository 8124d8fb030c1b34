// libFuzzer target: any bytes through the decoders, in this process, every format they read, at
// full size and at the preview's. The decoding process gives the game a clock; here smaller
// limits on the picture's size keep each input quick instead, so that a slow input is a finding.
// Run: fuzz_loader -rss_limit_mb=2048 -timeout=25 CORPUS_DIR SEEDS
#include "picture/decoder.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Metafile text needs fonts, fonts need an application; nothing is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
    // The last byte's low bit picks the preview's reduced decoding.
    const QSize fitTo = size > 0 && (data[size - 1] & 1) ? QSize(345, 497) : QSize();
    picture::Limits limits;
    limits.maxSide = 4096;
    limits.maxPixels = 4 * picture::Mebi;
    const picture::Picture loaded = picture::decode(bytes, {fitTo}, limits);
    if (loaded.isNull() != loaded.refusal.isRefused())
        __builtin_trap(); // either a picture or a reason, never both or neither
    const QSize got = loaded.image.size();
    if (!loaded.isNull() && (got.width() > limits.maxSide || got.height() > limits.maxSide ||
                             qint64(got.width()) * got.height() > limits.maxPixels))
        __builtin_trap(); // nothing past the limits leaves the decoders
    // The header check never refuses what decodes.
    if (!loaded.isNull() && picture::checkHead(bytes.left(64 * 1024), limits).isRefused())
        __builtin_trap();
    return 0;
}

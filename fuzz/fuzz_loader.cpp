// libFuzzer target: any bytes through the one picture loader, every format it reads, at full
// size and at the preview's. Run: fuzz_loader -rss_limit_mb=2048 -timeout=25 CORPUS_DIR SEEDS
#include "picture/pictureloader.h"

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
    const picture::Picture loaded = picture::loadFromData(bytes, QStringLiteral("fuzz"), fitTo);
    if (loaded.isNull() == loaded.error.isEmpty())
        __builtin_trap(); // either a picture or a reason, never both or neither
    const QSize got = loaded.image.size();
    if (!loaded.isNull() && (got.width() > picture::MaxSide || got.height() > picture::MaxSide ||
                             qint64(got.width()) * got.height() > picture::MaxPixels))
        __builtin_trap(); // nothing past the limits leaves the loader
    return 0;
}

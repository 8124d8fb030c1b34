// libFuzzer target: any bytes through the metafile renderer, with smaller limits so that each
// input is quick. Run: fuzz_wmf -rss_limit_mb=2048 -timeout=10 CORPUS_DIR SEED_DIR
#include "picture/wmf/wmfparser.h"
#include "picture/wmf/wmfrenderer.h"
#include "wmfrecordingsink.h"

#include <QGuiApplication>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    // Text layout needs fonts, fonts need an application; nothing is shown.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    if (!wmf::looksLikeMetafile(bytes))
        return -1;
    wmf::Limits limits;
    limits.maxSide = 1024;
    limits.maxPixels = 1024 * 1024;
    limits.maxBitmapPixels = 1024 * 1024;
    limits.maxHeldBitmapPixels = 4 * 1024 * 1024;
    limits.maxDecodedPixels = 16 * 1024 * 1024;
    picture::Refusal refusal;
    const QImage image = wmf::render(bytes, &refusal, limits);
    if (image.isNull() != refusal.isRefused())
        __builtin_trap(); // either a picture or a reason, never both or neither

    // Drawn again at another size, as pintu-render --size does: other pens, no crisp lines.
    picture::Refusal scaledRefusal;
    const QImage scaled = wmf::render(bytes, &scaledRefusal, limits, 300);
    if (scaled.isNull() != scaledRefusal.isRefused())
        __builtin_trap();

    // The same records through the recording sink, which formats every call.
    wmf::Parser parser(bytes, limits);
    if (parser.readHeader(&refusal)) {
        wmf::RecordingSink sink;
        parser.play(sink, wmf::Mapping(), false, &refusal);
    }
    return 0;
}

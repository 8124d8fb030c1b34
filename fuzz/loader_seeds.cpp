// Writes the seed pictures for fuzz_loader into a folder: small whole, cut and lying files of
// every format the decoders read, made with the tests' own picture and metafile writers, and for
// HEIC, AVIF and JPEG XL by Debian's encoders (left out, and said so, where one is missing).
#include "phonepictures.h"
#include "testpictures.h"
#include "wmfwriter.h"

#include <QColorSpace>
#include <QDir>
#include <QFile>

#include <cstdio>
#include <functional>

using namespace testpictures;

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: loader_seeds DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);

    const QImage q = quadrants({24, 16});
    const QImage indexed = q.convertToFormat(QImage::Format_Indexed8);
    QImage alpha = q.convertToFormat(QImage::Format_ARGB32);
    alpha.setPixel(0, 0, qRgba(0, 0, 0, 0));
    const QByteArray jpeg = encoded(q, "jpeg", 75), progressive = encoded(q, "jpeg", 75, true);
    const QByteArray png = encoded(alpha, "png"), gifBytes = gif({indexed, indexed});
    QImage p3 = q;
    p3.setColorSpace(QColorSpace::DisplayP3);
    const QByteArray profile = p3.colorSpace().iccProfile();
    QList<std::pair<const char *, QByteArray>> seeds = {
        {"rgb.bmp", encoded(q, "bmp")},
        {"palette.bmp", encoded(indexed, "bmp")},
        {"mono.bmp", encoded(q.convertToFormat(QImage::Format_Mono), "bmp")},
        {"topdown.bmp", topDownBmp(q)},
        {"rle8.bmp", runLengthBmp(24, 16)},
        {"rle8-no-end.bmp", runLengthBmp(24, 16, false)},
        {"rle8-cut.bmp", runLengthBmp(24, 16).chopped(30)},
        {"cut.bmp", encoded(q, "bmp").chopped(100)},
        {"claims-8192.bmp", bmpHeaderOnly(8192, 4096) + QByteArray(64, '\x55')},
        {"offset-past-end.bmp", withLe32(encoded(q, "bmp"), 10, 1 << 20)},
        {"height-int-min.bmp", withLe32(encoded(q, "bmp"), 22, std::numeric_limits<qint32>::min())},
        {"baseline.jpg", jpeg},
        {"progressive.jpg", progressive},
        {"turned.jpg", withOrientation(jpeg, 6)},
        {"grey.jpg", encoded(q.convertToFormat(QImage::Format_Grayscale8), "jpeg", 75)},
        {"no-end.jpg", jpeg.chopped(2)},
        {"cut.jpg", progressive.left(progressive.size() * 3 / 4)},
        {"claims-65535.jpg", jpegClaiming(jpeg, 65535, 65535)},
        {"empty-scans.jpg", withEmptyScans(progressive, 12)},
        {"alpha.png", png},
        {"palette.png", encoded(indexed, "png")},
        {"deep.png", encoded(q.convertToFormat(QImage::Format_RGBA64), "png")},
        {"no-end.png", png.chopped(12)},
        {"cut.png", png.left(png.size() / 2)},
        {"claims.png", pngClaiming(png, 65535, 1000)},
        {"icc.png", encoded(p3, "png")},
        {"icc.jpg", withSegments(jpeg, iccSegments(profile, 3, {2, 3, 1}))},
        {"icc.webp", encoded(p3, "webp", 100)},
        {"icc.tif", encoded(p3, "tiff")},
        {"icc-v5.bmp", bmpV5(q, profile)},
        {"icc-unknown-space.jpg",
         withSegments(jpeg,
                      iccSegments(QByteArray(profile).replace(16, 4, "\xB2\xA6\xDF\xDF"), 1))},
        {"frames.gif", gifBytes},
        {"no-trailer.gif", gifBytes.chopped(1)},
        {"cut.gif", gifBytes.left(gifBytes.size() * 2 / 3)},
        {"screen-65535.gif", gifClaiming(gifBytes, 65535, 65535)},
        {"noise.gif", QByteArray("GIF89a") + noise(200, 8)},
        {"icon.ico", encoded(q, "ico")},
        {"png-inside.ico", icoHolding(png)},
        {"lying.ico", icoHolding(pngClaiming(png, 65535, 1000))},
        {"cut.ico", encoded(q, "ico").chopped(40)},
        {"shapes.wmf", wmftest::Writer()
                           .createBrush(0, Qt::blue)
                           .selectObject(0)
                           .rectangle(10, 10, 60, 40)
                           .ellipse(40, 30, 90, 90)
                           .finish()},
        {"plain.wmf",
         wmftest::Writer(false).setWindowExt(100, 80).rectangle(0, 0, 50, 50).finish()},
        {"lossless.webp", encoded(q, "webp", 100)},
        {"lossy.webp", encoded(alpha, "webp", 60)},
        {"animated.webp", animatedWebp({q, indexed.convertToFormat(QImage::Format_RGB32)})},
        {"cut.webp", encoded(q, "webp", 100).chopped(10)},
        {"page.tif", tiff({q})},
        {"pages.tif", tiff({q, q.scaled(8, 8)})},
        {"cut.tif", tiff({q}).chopped(300)},
        {"claims.tif", tiffClaiming(tiff({q}), 65535, 65535)},
        {"qt.tif", encoded(alpha, "tiff")},
        {"big.tif", bigTiff(q)},
        {"big-cut.tif", bigTiff(q).chopped(200)},
        {"transparent-16.png",
         png16({24, 16}, 2, {{0xFFFF, 0, 0}, {0, 0xFFFF, 0}, {0, 0, 0xFFFF}, {1, 2, 3}},
               {1, 2, 3})},
        {"grey-transparent-16.png", png16({24, 16}, 0, {{0}, {1}, {0x8000}, {0xFFFF}}, {1})},
        {"565.bmp", bmp({24, 16}, {40, 16, 3, {0xF800, 0x07E0, 0x001F}}, {0, 0x7E0, 0x1F, 0xFFFF})},
        {"4444.bmp",
         bmp({24, 16}, {40, 16, 6, {0x0F00, 0x00F0, 0x000F, 0xF000}}, {0, 0xF0F0, 0x1F, 0xFFFF})},
        {"10-10-10-2.bmp", bmp({24, 16}, {56, 32, 3, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}},
                               {0, 0x7FF00000, 0x3FF, 0xFFFFFFFF})},
        {"os2-short.bmp",
         bmp({24, 16}, {12, 8, 0, {}, {qRgb(255, 0, 0), qRgb(0, 0, 255)}}, {0, 1, 1, 0})},
        {"2-bit.bmp", bmp({24, 16}, {40, 2, 0, {}, {0, 0xFF, 0xFF00, 0xFF0000}}, {0, 1, 2, 3})},
        {"sized.svg", svgQuarters(R"(width="48" height="32" viewBox="0 0 120 80")")},
        {"viewbox.svg",
         svgQuarters(R"(viewBox="0 0 120 80")",
                     R"svg(<g transform="rotate(30 60 40)"><circle cx="60" cy="40" r="30"/>)svg"
                     R"svg(<text x="10" y="70" font-size="12">pintu</text></g>)svg")},
        {"cut.svg", svgQuarters(R"(viewBox="0 0 120 80")").chopped(40)},
        {"holding.svg",
         svgQuarters(R"(viewBox="0 0 120 80")",
                     R"(<image width="60" height="40" xlink:href="data:image/svg+xml;base64,)" +
                         svgQuarters(R"(viewBox="0 0 12 8")",
                                     R"(<image width="6" height="4" xlink:href="#/../x.png"/>)")
                             .toBase64() +
                         R"("/>)")},
    };
    // The phones' kinds, from the encoders, whole and patched as hostile files are.
    using namespace phonepictures;
    const QByteArray turnedJpeg = withOrientation(jpeg, 6);
    QImage deep = q.convertToFormat(QImage::Format_RGBA64);
    deep.setPixelColor(1, 1, QColor::fromRgba64(1000, 2000, 3000, 4000));
    const QList<std::pair<const char *, std::function<Encoded()>>> encodedSeeds = {
        {"whole.heic", [&] { return heic({q}); }},
        {"alpha.heic", [&] { return heic({alpha}); }},
        {"deep.heic",
         [&] {
             return heicFrom(encoded(deep, "png"), u"in.png"_qs, {u"-b"_qs, u"10"_qs});
         }},
        {"two.heic",
         [&] {
             return heic({q, alpha});
         }},
        {"turned.heic",
         [&] {
             Encoded e = heic({q});
             e.bytes = e.ok() ? withTurn(e.bytes, 1, 0) : e.bytes;
             return e;
         }},
        {"cut.heic",
         [&] {
             Encoded e = heic({q});
             e.bytes.chop(e.bytes.size() / 3);
             return e;
         }},
        {"claims.heic",
         [&] {
             Encoded e = heic({q});
             e.bytes = withSize(e.bytes, 65535, 65535);
             return e;
         }},
        {"vvc.heic",
         [&] {
             Encoded e = heic({q});
             e.bytes = withItemType(e.bytes, "hvc1", "vvc1");
             return e;
         }},
        {"whole.avif", [&] { return avif({q}); }},
        {"alpha.avif", [&] { return avif({alpha}); }},
        {"deep.avif",
         [&] {
             return avifFrom(encoded(deep, "png"), u"in.png"_qs, {u"-d"_qs, u"12"_qs});
         }},
        {"turned.avif",
         [&] {
             return avif({q}, {u"--irot"_qs, u"3"_qs, u"--imir"_qs, u"1"_qs});
         }},
        {"sequence.avif",
         [&] {
             return avif({q, alpha});
         }},
        {"tracks.avif",
         [&] {
             Encoded e = avif({q, alpha});
             e.bytes = tracksAlone(e.bytes);
             return e;
         }},
        {"cut.avif",
         [&] {
             Encoded e = avif({q});
             e.bytes.chop(e.bytes.size() / 3);
             return e;
         }},
        {"claims.avif",
         [&] {
             Encoded e = avif({q});
             e.bytes = withSize(e.bytes, 65535, 65535);
             return e;
         }},
        {"lossy.jxl", [&] { return jxl(q); }},
        {"lossless.jxl",
         [&] {
             return jxl(alpha, {u"-d"_qs, u"0"_qs});
         }},
        {"deep.jxl", [&] { return jxlFrom(encoded(deep, "png"), u"in.png"_qs); }},
        {"turned.jxl", [&] { return jxlFrom(turnedJpeg, u"in.jpg"_qs); }},
        {"animated.jxl", [&] { return jxlFrom(gifBytes, u"in.gif"_qs); }},
        {"parts.jxl",
         [&] {
             Encoded e = jxlFrom(turnedJpeg, u"in.jpg"_qs);
             e.bytes = e.ok() ? jxlInParts(e.bytes, 3) : e.bytes;
             return e;
         }},
        {"cut.jxl",
         [&] {
             Encoded e = jxl(q);
             e.bytes.chop(e.bytes.size() / 3);
             return e;
         }},
        {"claims.jxl",
         [&] {
             Encoded e = jxl(q);
             e.bytes = e.ok() ? jxlClaiming(e.bytes, 65535, 65535) : e.bytes;
             return e;
         }},
    };
    for (const auto &[name, make] : encodedSeeds) {
        const Encoded e = make();
        if (e.ok())
            seeds.append({name, e.bytes});
        else
            std::fprintf(stderr, "loader_seeds: no %s: %s\n", name, qPrintable(e.error));
    }

    for (const auto &[name, bytes] : seeds) {
        QFile f(dir + u'/' + QString::fromLatin1(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "loader_seeds: cannot write %s\n", name);
            return 1;
        }
    }
    std::printf("loader_seeds: %d files\n", int(seeds.size()));
    return 0;
}

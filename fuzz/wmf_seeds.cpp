// Writes the seed metafiles for fuzz_wmf into a folder: one a record family, each small.
#include "wmfwriter.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <cstdio>

using wmftest::Writer;

namespace {

QByteArray fourColorDib(int bpp)
{
    QByteArray bits;
    const QList<QRgb> colors{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(0, 0, 0)};
    switch (bpp) {
    case 1:
        bits = QByteArray::fromHex("40000000c0000000");
        return wmftest::dib(2, 2, 1, {colors[0], colors[1]}, bits);
    case 4:
        bits = QByteArray::fromHex("2300000001000000");
        return wmftest::dib(2, 2, 4, colors, bits);
    case 8:
        bits = QByteArray::fromHex("0203000000010000");
        return wmftest::dib(2, 2, 8, colors, bits);
    default:
        bits = QByteArray::fromHex("ff000000ff000000ff000000ff0000ff00ff0000ff000000");
        return wmftest::dib(2, 2, 24, {}, bits.left(16));
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: wmf_seeds DIR\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(dir);
    QList<std::pair<const char *, QByteArray>> seeds;

    seeds.append({"shapes", Writer()
                                .createPen(0, 3, Qt::red)
                                .selectObject(0)
                                .createBrush(0, Qt::blue)
                                .selectObject(1)
                                .rectangle(10, 10, 40, 40)
                                .ellipse(50, 10, 90, 40)
                                .roundRect(10, 50, 40, 90, 10, 10)
                                .arc(0x0817, 50, 50, 90, 90, {90, 70}, {70, 50})
                                .arc(0x081A, 50, 50, 90, 90, {70, 50}, {50, 70})
                                .arc(0x0830, 50, 50, 90, 90, {50, 70}, {70, 90})
                                .finish()});
    seeds.append(
        {"lines", Writer()
                      .createPen(2, 0, Qt::black)
                      .selectObject(0)
                      .moveTo(0, 0)
                      .lineTo(100, 100)
                      .polyline({{0, 50}, {50, 0}, {100, 50}})
                      .polygon({{10, 90}, {50, 60}, {90, 90}})
                      .setPolyFillMode(2)
                      .polyPolygon({{{0, 0}, {60, 0}, {60, 60}}, {{20, 20}, {40, 20}, {40, 40}}})
                      .finish()});
    seeds.append({"mapping", Writer(false)
                                 .setMapMode(8)
                                 .setWindowOrg(0, 0)
                                 .setWindowExt(1000, 1000)
                                 .setViewportExt(100, 100)
                                 .offsetWindowOrg(10, 10)
                                 .scaleWindowExt(2, 1, 2, 1)
                                 .scaleViewportExt(1, 2, 1, 2)
                                 .offsetViewportOrg(5, 5)
                                 .rectangle(0, 0, 500, 500)
                                 .setMapMode(3)
                                 .rectangle(0, 0, 1000, -1000)
                                 .finish()});
    seeds.append({"state", Writer()
                               .saveDc()
                               .createBrush(2, Qt::green, 5)
                               .selectObject(0)
                               .setBkMode(2)
                               .setBkColor(Qt::yellow)
                               .setRop2(7)
                               .rectangle(0, 0, 50, 50)
                               .restoreDc(-1)
                               .saveDc()
                               .saveDc()
                               .restoreDc(1)
                               .setRop2(13)
                               .patBlt(10, 10, 30, 30, 0x00F00021)
                               .patBlt(10, 10, 30, 30, 0x00550009)
                               .finish()});
    seeds.append({"text", Writer()
                              .createFont(-20, "Arial", 0, 450, 700, true, true, true)
                              .selectObject(0)
                              .setTextColor(Qt::red)
                              .setTextAlign(24)
                              .setTextCharExtra(2)
                              .setTextJustification(10, 2)
                              .textOut(10, 50, "Hi there")
                              .extTextOut(10, 80, 6, QRect(5, 60, 80, 30), "abc", {10, 10, 10})
                              .createFont(24, "\xb7s\xb2\xd3\xa9\xfa\xc5\xe9", 136)
                              .selectObject(1)
                              .textOut(10, 20, "\xa4\xa4\xa4\xe5")
                              .createFont(20, "Symbol", 2)
                              .selectObject(2)
                              .setTextAlign(1)
                              .textOut(0, 0, "abg")
                              .textOut(0, 0, "p")
                              .finish()});
    seeds.append({"regions", Writer()
                                 .createRegion({QRect(10, 10, 30, 20), QRect(20, 40, 30, 20)})
                                 .createBrush(0, Qt::red)
                                 .record(0x0228, {0, 1})
                                 .record(0x0429, {0, 1, 2, 2})
                                 .record(0x012A, {0})
                                 .record(0x012B, {0})
                                 .selectClipRegion(0)
                                 .offsetClipRgn(5, 5)
                                 .intersectClipRect(0, 0, 50, 50)
                                 .excludeClipRect(20, 20, 30, 30)
                                 .rectangle(0, 0, 100, 100)
                                 .deleteObject(0)
                                 .finish()});
    for (int bpp : {1, 4, 8, 24}) {
        seeds.append({bpp == 1   ? "dib1"
                      : bpp == 4 ? "dib4"
                      : bpp == 8 ? "dib8"
                                 : "dib24",
                      Writer()
                          .bitmap(0x0F43, QRect(0, 0, 50, 50), QRect(0, 0, 2, 2), fourColorDib(bpp))
                          .bitmap(0x0B41, QRect(50, 0, 50, 50), QRect(0, 0, 2, 2),
                                  fourColorDib(bpp), 0x008800C6)
                          .bitmap(0x0940, QRect(0, 50, 2, 2), {}, fourColorDib(bpp), 0x00660046)
                          .bitmap(0x0D33, QRect(50, 50, 2, 2), {}, fourColorDib(bpp))
                          .createPatternBrush(fourColorDib(bpp))
                          .selectObject(0)
                          .rectangle(60, 60, 90, 90)
                          .finish()});
    }
    seeds.append(
        {"rle8", Writer()
                     .bitmap(0x0F43, QRect(0, 0, 100, 100), QRect(0, 0, 4, 2),
                             wmftest::dib(4, 2, 8, {qRgb(255, 0, 0), qRgb(0, 0, 255)},
                                          QByteArray::fromHex("0400000000030100000001"), 1))
                     .finish()});
    seeds.append(
        {"rle4", Writer()
                     .bitmap(0x0F43, QRect(0, 0, 100, 100), QRect(0, 0, 4, 2),
                             wmftest::dib(4, 2, 4, {qRgb(255, 0, 0), qRgb(0, 0, 255)},
                                          QByteArray::fromHex("0401000000040100000001"), 2))
                     .finish()});
    seeds.append(
        {"bitfields", Writer()
                          .bitmap(0x0F43, QRect(0, 0, 100, 100), QRect(0, 0, 2, 1),
                                  wmftest::dib(2, 1, 16, {}, QByteArray::fromHex("00f81f00"), 3,
                                               {0xF800, 0x07E0, 0x001F}))
                          .finish()});
    seeds.append({"misc", Writer()
                              .createPalette({qRgb(1, 2, 3), qRgb(200, 100, 0)})
                              .record(0x0234, {0})
                              .record(0x0035, {})
                              .escape(15, "comment")
                              .record(0x7777, {1, 2, 3})
                              .setPixel(5, 5, Qt::red)
                              .createBrush(0, Qt::green)
                              .selectObject(1)
                              .rectangle(0, 0, 20, 20)
                              .extFloodFill(50, 50, Qt::white, 1)
                              .record(0x0419, {30, 30, 0, 0})
                              .finish()});
    seeds.append(
        {"nonplaceable-bounds", Writer(false).setMapMode(1).ellipse(100, 100, 300, 200).finish()});
    seeds.append(
        {"zero-window", Writer(false).setWindowExt(0, 0).rectangle(0, 0, 50, 30).finish()});
    // One-pixel lines along the axes (drawn on whole pixels) and a dashed pen.
    seeds.append({"thin-lines", Writer()
                                    .createPen(0, 0, Qt::black)
                                    .selectObject(0)
                                    .createBrush(0, Qt::yellow)
                                    .selectObject(1)
                                    .rectangle(10, 10, 60, 40)
                                    .polyline({{5, 80}, {90, 80}, {90, 95}})
                                    .createPen(1, 1, Qt::blue)
                                    .selectObject(2)
                                    .polygon({{20, 50}, {80, 50}, {80, 70}, {20, 70}})
                                    .finish()});
    // A grey mask with SRCPAINT, then its picture with SRCAND.
    seeds.append(
        {"soft-mask",
         Writer()
             .bitmap(0x0B41, QRect(0, 0, 100, 100), QRect(0, 0, 2, 2),
                     wmftest::dib(2, 2, 8, {qRgb(128, 128, 128)}, QByteArray(8, 0)), 0x00EE0086)
             .bitmap(0x0B41, QRect(0, 0, 100, 100), QRect(0, 0, 2, 2), fourColorDib(24), 0x008800C6)
             .finish()});
    // The symbol faces, a few bytes each.
    Writer symbols;
    const char *faces[] = {"Symbol",      "Wingdings", "Wingdings 2",
                           "Wingdings 3", "Webdings",  "MT Extra"};
    for (int i = 0; i < 6; ++i)
        symbols.createFont(-20, faces[i], 2, 0, 400, i % 2)
            .selectObject(i)
            .textOut(5, 5 + 15 * i, "\x21\x4c\x6c\xa0\xec\xef\xff");
    seeds.append({"symbol-faces", symbols.finish()});

    for (const auto &[name, bytes] : seeds) {
        QFile f(dir + u'/' + QString::fromLatin1(name) + QStringLiteral(".wmf"));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "wmf_seeds: cannot write %s\n", name);
            return 1;
        }
    }
    std::printf("wmf_seeds: %d files\n", int(seeds.size()));
    return 0;
}

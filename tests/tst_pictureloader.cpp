// The one picture loader, fed files made here: formats told by content, JPEG orientation, GIF
// frames, palette and grey pictures, size limits, and names that are not pictures at all.
#include "testpictures.h"
#include "wmfwriter.h"

#include "picture/pictureloader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <functional>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace testpictures;

// Makes a row's file at the path it is given; false when it cannot.
using Fixture = std::function<bool(const QString &path)>;
Q_DECLARE_METATYPE(Fixture)

namespace {

Fixture bytesFile(const QByteArray &bytes)
{
    return [bytes](const QString &path) { return writeFile(path, bytes); };
}

// Files that carry a picture's extension but are no picture file, or not one we may read.
bool nothing(const QString &) { return true; }
bool fifo(const QString &path) { return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0; }
bool folder(const QString &path) { return QDir().mkpath(path); }
bool dangling(const QString &path) { return QFile::link(path + u".nowhere"_s, path); }
bool locked(const QString &path)
{
    return writeFile(path, encoded(quadrants({8, 8}), "bmp")) &&
           QFile::setPermissions(path, QFileDevice::WriteOwner);
}
bool pastFileLimit(const QString &path)
{
    QFile huge(path); // sparse: costs no disk
    return huge.open(QIODevice::WriteOnly) && huge.write(encoded(quadrants({8, 8}), "jpeg")) > 0 &&
           huge.resize(picture::MaxFileBytes + 1);
}
// Four coloured quarters in the formats most rows start from.
struct Sources
{
    QImage q = quadrants({30, 20});
    QByteArray jpeg = encoded(q, "jpeg", 95), progressive = encoded(q, "jpeg", 95, true),
               png = encoded(q, "png");
    int scans = int(progressive.count(QByteArrayView("\xFF\xDA", 2)));
};

// Three frames of 120 x 90, red, green and blue: more than 100 pixels a row puts clear codes
// mid-row.
QList<QImage> gifFrames()
{
    const QList<QRgb> palette = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
    QList<QImage> frames(3, QImage(120, 90, QImage::Format_Indexed8));
    for (int i = 0; i < 3; ++i) {
        frames[i].setColorTable(palette);
        frames[i].fill(uint(i + 1));
    }
    return frames;
}

bool linkToPicture(const QString &path)
{
    return writeFile(path + u".bmp"_s, encoded(quadrants({10, 6}), "bmp")) &&
           QFile::link(path + u".bmp"_s, path);
}

} // namespace

class TestPictureLoader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // The extension may lie; the first bytes decide. Palette and grey pictures give colours,
    // a GIF its first frame; damaged files that still hold their pixels show them.
    void load_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Fixture>("fixture");
        QTest::addColumn<QSize>("fitTo"); // the preview's reduced decoding
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QList<QColor>>("quarters");

        const QImage q = quadrants({30, 20}),
                     indexed = quadrants({64, 48}).convertToFormat(QImage::Format_Indexed8);
        const QSize s(30, 20), grid(64, 48);
        auto loads = [](const char *row, const char *name, const QByteArray &bytes, QSize size,
                        const QList<QColor> &quarters) {
            QTest::newRow(row) << QString::fromLatin1(name) << bytesFile(bytes) << QSize() << size
                               << quarters;
        };
        loads("BMP as .bmp", "a.bmp", encoded(q, "bmp"), s, Upright);
        loads("BMP named .jpg", "b.jpg", encoded(q, "bmp"), s, Upright);
        loads("JPEG named .gif", "c.gif", encoded(q, "jpeg", 95), s, Upright);
        loads("GIF named .bmp", "e.bmp", gif({q.convertToFormat(QImage::Format_Indexed8)}), s,
              Upright);
        loads("ICO named .wmf", "f.wmf", encoded(q, "ico"), s, Upright);
        loads("8-bit palette BMP", "p.bmp", encoded(indexed, "bmp"), grid, Upright);
        loads("palette GIF", "p.gif", gif({indexed}), grid, Upright);
        QImage mono(64, 48, QImage::Format_Mono);
        mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        mono.fill(0);
        for (int y = 0; y < 48; ++y)
            for (int x = 32; x < 64; ++x)
                mono.setPixel(x, y, 1);
        const QColor white(Qt::white), black(Qt::black), dark(40, 40, 40), light(200, 200, 200);
        loads("1-bit BMP", "m.bmp", encoded(mono, "bmp"), grid,
              QList<QColor>{white, black, white, black});
        QImage grey(64, 48, QImage::Format_Grayscale8);
        for (int y = 0; y < 48; ++y)
            std::memset(grey.scanLine(y), y < 24 ? 40 : 200, 64);
        const QList<QColor> greys{dark, dark, light, light};
        loads("grey JPEG", "g.jpg", encoded(grey, "jpeg", 95), grid, greys);
        loads("grey BMP", "g.bmp", encoded(grey, "bmp"), grid, greys);
        const QList<QImage> frames = gifFrames();
        loads("GIF one frame", "r.gif", gif(frames.mid(0, 1)), QSize(120, 90),
              QList<QColor>(4, Red));
        loads("GIF three frames", "r3.gif", gif(frames), QSize(120, 90), QList<QColor>(4, Red));

        // Cameras store the sensor's rows and say in a tag how to turn them; the player must
        // see the picture upright, at full size and in the preview's reduced decoding alike.
        // The preview decodes at the smallest size that covers what it asks for.
        const QByteArray sensor = encoded(quadrants({400, 200}), "jpeg", 95);
        const QList<QList<QColor>> turned = {Upright,                     // 1 upright
                                             {Green, Red, Yellow, Blue},  // 2 mirrored
                                             {Yellow, Blue, Green, Red},  // 3 upside down
                                             {Blue, Yellow, Red, Green},  // 4 flipped
                                             {Red, Blue, Green, Yellow},  // 5 transposed
                                             {Blue, Red, Yellow, Green},  // 6 turned right
                                             {Yellow, Green, Blue, Red},  // 7 transversed
                                             {Green, Yellow, Red, Blue}}; // 8 turned left
        for (const QSize fitTo : {QSize(), QSize(60, 60)})
            for (int o = 1; o <= 8; ++o)
                QTest::addRow("JPEG orientation %d, %s", o, fitTo.isValid() ? "preview" : "full")
                    << u"o.jpg"_s << bytesFile(withOrientation(sensor, o)) << fitTo
                    << (o >= 5 ? QSize(200, 400) : QSize(400, 200)) * (fitTo.isValid() ? 0.3 : 1)
                    << turned[o - 1];

        const auto [_, jpeg, progressive, png, scans] = Sources();
        const QByteArray gif120 = gif(frames.mid(0, 1));
        loads("BMP top-down", "td.bmp", topDownBmp(q), s, Upright);
        loads("BMP run-length", "rl.bmp", runLengthBmp(30, 20), s, Upright);
        loads("BMP run-length, no end code", "rl.bmp", runLengthBmp(30, 20, false), s, Upright);
        loads("JPEG progressive", "p.jpg", progressive, s, Upright);
        loads("JPEG at the most scans", "ps.jpg",
              withEmptyScans(progressive, picture::MaxJpegScans - scans), s, Upright);
        loads("JPEG without end marker", "ne.jpg", jpeg.chopped(2), s, Upright);
        loads("PNG named .bmp", "g.bmp", png, s, Upright);
        loads("PNG 16 bits a channel", "d.png",
              encoded(q.convertToFormat(QImage::Format_RGBA64), "png"), s, Upright);
        loads("PNG without end chunk", "ne.png", png.chopped(12), s, Upright);
        loads("GIF without trailer", "nt.gif", gif120.chopped(1), QSize(120, 90),
              QList<QColor>(4, Red));
        loads("GIF cut after its last pixel", "nt.gif", gif120.chopped(3), QSize(120, 90),
              QList<QColor>(4, Red));
        loads("ICO holding a PNG", "p.ico", icoHolding(png), s, Upright);
        // A metafile's frame of 58380 x 57480 pixels, scaled down to the pixel limit.
        wmftest::Writer large(true, QRect(0, 0, 29190, 28740), 48);
        for (int i = 0; i < 4; ++i)
            large.createBrush(0, Upright[i])
                .selectObject(i)
                .rectangle(i % 2 * 14595, i / 2 * 14370, 14595 + i % 2 * 14595,
                           14370 + i / 2 * 14370);
        loads("metafile scaled down to the limit", "l.wmf", large.finish(), QSize(5835, 5745),
              Upright);

        QTest::newRow("link to a picture")
            << u"link.jpg"_s << Fixture(linkToPicture) << QSize() << QSize(10, 6) << Upright;
    }
    void load()
    {
        QFETCH(QString, name);
        QFETCH(Fixture, fixture);
        QFETCH(QSize, fitTo);
        QFETCH(QSize, size);
        QFETCH(QList<QColor>, quarters);

        const QString path = file(name);
        auto remove = qScopeGuard([&] { QFile::remove(path); });
        QVERIFY(fixture(path));
        const picture::Picture loaded = picture::load(path, fitTo);
        QVERIFY2(!loaded.isNull() && loaded.error.isEmpty(), qPrintable(loaded.error));
        QCOMPARE(loaded.image.size(), size);
        const QString differs = quartersDiffer(loaded.image, quarters); // JPEG is lossy
        QVERIFY2(differs.isEmpty(), qPrintable(differs));
    }

    // Hostile files of every format: cut, empty, noise, lying headers and bombs, each refused
    // with what is truly wrong before anything is allocated for it, at full size and for the
    // preview alike.
    void refuse_data()
    {
        QTest::addColumn<QString>("name"); // below the test's folder, or absolute
        QTest::addColumn<Fixture>("fixture");
        QTest::addColumn<QString>("message"); // part of it

        const auto [q, jpeg, progressive, png, scans] = Sources();
        const QByteArray gif120 = gif(gifFrames().mid(0, 1));
        auto refused = [](const char *row, const char *name, const QByteArray &bytes,
                          const QString &message) {
            const QString file = QString::fromLatin1(name);
            QTest::newRow(row) << file << bytesFile(bytes)
                               << QString(message).replace(u"%1"_s, file);
        };
        const QString unknown = u"無法讀取圖片「%1」：檔案已損壞，或不是 BMP、JPEG、PNG、GIF、ICO、"
                                u"WMF 圖片"_s;
        auto damaged = [](const char *kind) {
            return u"這個 %1 檔案已損壞"_s.arg(QLatin1StringView(kind));
        };
        auto cut = [](const char *kind) {
            return u"這個 %1 檔案不完整"_s.arg(QLatin1StringView(kind));
        };
        refused("text named .jpg", "h.jpg", "not a picture\n", unknown);
        for (const char *empty : {"z.bmp", "z.jpg", "z.png", "z.gif", "z.ico"})
            QTest::addRow("empty %s", empty) << QString::fromLatin1(empty) << bytesFile("")
                                             << QString(unknown).arg(QLatin1StringView(empty));
        refused("BM then garbage", "j.bmp",
                QByteArray("BM\x01\x02\x03 garbage that is no header", 30), damaged("BMP"));
        refused("BMP height INT_MIN", "im.bmp", withLe32(bmpHeaderOnly(100, 1), 22, INT_MIN),
                damaged("BMP"));
        refused("BMP cut", "c.bmp", encoded(q, "bmp").chopped(200), cut("BMP"));
        refused("BMP run-length cut", "c.bmp", runLengthBmp(30, 20).chopped(12), cut("BMP"));
        refused("BMP of 4 KiB claiming 8192 x 4096", "c.bmp",
                bmpHeaderOnly(8192, 4096) + QByteArray(4042, '\0'), cut("BMP"));
        refused("BMP pixels past the end", "o.bmp", withLe32(encoded(q, "bmp"), 10, 1 << 20),
                cut("BMP"));
        refused("BMP at the side, no pixels", "s.bmp", bmpHeaderOnly(picture::MaxSide, 1),
                cut("BMP"));
        refused("JPEG marker then garbage", "k.jpg", QByteArray("\xFF\xD8\xFF\xE0 no more", 12),
                damaged("JPEG"));
        refused("JPEG cut", "c.jpg", jpeg.chopped(20), cut("JPEG"));
        refused("JPEG progressive cut in half", "c.jpg", progressive.left(progressive.size() / 2),
                cut("JPEG"));
        refused("JPEG scans bomb", "b.jpg",
                withEmptyScans(progressive, picture::MaxJpegScans - scans + 1),
                u"分成超過 %1 次掃描"_s.arg(picture::MaxJpegScans));
        QByteArray costly = jpegClaiming(progressive, 8192, 4096);
        costly.insert(costly.size() - 2, QByteArray(qsizetype(24) << 20, '\0'));
        refused("JPEG progressive of 24 MiB coded data", "b.jpg", costly,
                u"解碼太費時（8192 × 4096 像素，%1 次掃描）"_s.arg(scans));
        refused("PNG of 16 bits a channel, 4096 x 4097", "d.png",
                pngClaiming(encoded(q.convertToFormat(QImage::Format_RGBA64), "png"), 4096, 4097),
                u"解碼太費時（4096 × 4097 像素，每個顏色 16 位元）"_s);
        refused("PNG cut", "c.png", png.chopped(20), cut("PNG"));
        refused("PNG noise after signature", "n.png", png.left(8) + noise(200, 8), damaged("PNG"));
        refused("GIF signature only", "l.gif", "GIF89a", damaged("GIF"));
        refused("GIF cut", "c.gif", gif120.left(gif120.size() / 2), cut("GIF"));
        refused("GIF noise after signature", "n.gif", QByteArray("GIF89a") + noise(200, 8),
                damaged("GIF"));
        refused("ICO of no icons", "n.ico", QByteArray("\0\0\1\0\0\0", 6), damaged("ICO"));
        refused("ICO cut", "c.ico", encoded(q, "ico").chopped(100), cut("ICO"));
        const int side = picture::MaxSide, rows = int(picture::MaxPixels / side);
        const QByteArray jpeg16 = encoded(quadrants({16, 16}), "jpeg");
        const QByteArray gif16 =
            gif({quadrants({16, 16}).convertToFormat(QImage::Format_Indexed8)});
        auto tooLarge = [&](const char *row, const QByteArray &bytes, int w, int h) {
            refused(row, "t.bin", bytes, u"太大（%1 × %2 像素）"_s.arg(w).arg(h));
        };
        tooLarge("BMP 20000 x 20000", bmpHeaderOnly(20000, 20000), 20000, 20000);
        tooLarge("BMP 20000 x -20000 (top down)", bmpHeaderOnly(20000, -20000), 20000, 20000);
        tooLarge("BMP one past the side", bmpHeaderOnly(side + 1, 1), side + 1, 1);
        tooLarge("BMP tall past the side", bmpHeaderOnly(1, side + 1), 1, side + 1);
        tooLarge("BMP a row past the pixels", bmpHeaderOnly(side, rows + 1), side, rows + 1);
        tooLarge("JPEG 65535 x 65535", jpegClaiming(jpeg16, 65535, 65535), 65535, 65535);
        tooLarge("GIF 65535 x 65535", gifClaiming(gif16, 65535, 65535), 65535, 65535);
        tooLarge("PNG 65535 x 1000", pngClaiming(png, 65535, 1000), 65535, 1000);
        tooLarge("ICO of 16 x 16 holding 65535 x 1000", icoHolding(pngClaiming(png, 65535, 1000)),
                 65535, 1000);

        // Names that carry a picture's extension but are no picture file (none may block) and
        // a file past the size limit.
        auto unusual = [](const char *row, const QString &path, const Fixture &make,
                          const QString &message) {
            QTest::newRow(row) << path << make << message;
        };
        const QString notRegular = u"不是一般的檔案"_s;
        unusual("FIFO", u"pipe.gif"_s, fifo, notRegular);
        unusual("folder", u"folder.jpg"_s, folder, notRegular);
        unusual("null device", u"/dev/null"_s, nothing, notRegular);
        unusual("endless device", u"/dev/zero"_s, nothing, notRegular);
        unusual("missing", u"missing.bmp"_s, nothing, u"找不到圖片「missing.bmp」"_s);
        unusual("dangling link", u"dangling.bmp"_s, dangling, u"找不到圖片"_s);
        if (::geteuid() != 0) // root reads every file
            unusual("locked", u"locked.bmp"_s, locked, u"沒有權限讀取圖片"_s);
        unusual("past the file limit", u"huge.jpg"_s, pastFileLimit, u"太大（超過 256 MiB）"_s);
    }
    void refuse()
    {
        QFETCH(QString, name);
        QFETCH(Fixture, fixture);
        QFETCH(QString, message);

        const QString path = QDir(m_dir.path()).absoluteFilePath(name);
        auto remove = qScopeGuard([&] {
            if (path.startsWith(m_dir.path()) && !QFile::remove(path))
                QDir().rmdir(path);
        });
        QVERIFY(fixture(path));
        for (const QSize fit : {QSize(), QSize(345, 497)}) {
            const picture::Picture loaded = picture::load(path, fit);
            QVERIFY(loaded.isNull());
            QVERIFY2(loaded.error.contains(message), qPrintable(loaded.error));
        }
    }
};

QTEST_GUILESS_MAIN(TestPictureLoader)
#include "tst_pictureloader.moc"

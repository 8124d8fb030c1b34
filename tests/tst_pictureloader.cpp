// The one picture loader, fed files made here: formats told by content, JPEG orientation, GIF
// frames, palette and grey pictures, size limits, and names that are not pictures at all.
#include "testpictures.h"

#include "picture/pictureloader.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace testpictures;

Q_DECLARE_METATYPE(QList<QColor>)

namespace {

const QColor Red(255, 0, 0), Green(0, 255, 0), Blue(0, 0, 255), Yellow(255, 255, 0);

} // namespace

class TestPictureLoader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString file(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // The extension may lie; the first bytes decide.
    void formatsByContent_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size"); // invalid: the file must be refused

        const QImage red = quadrants({30, 20});
        QTest::newRow("BMP as .bmp") << "a.bmp" << encoded(red, "bmp") << QSize(30, 20);
        QTest::newRow("BMP named .jpg") << "b.jpg" << encoded(red, "bmp") << QSize(30, 20);
        QTest::newRow("JPEG named .gif") << "c.gif" << encoded(red, "jpeg", 95) << QSize(30, 20);
        QTest::newRow("JPEG as .JPG") << "d.JPG" << encoded(red, "jpeg", 95) << QSize(30, 20);
        QTest::newRow("GIF named .bmp")
            << "e.bmp" << gif({red.convertToFormat(QImage::Format_Indexed8)}) << QSize(30, 20);
        QTest::newRow("ICO named .wmf") << "f.wmf" << encoded(red, "ico") << QSize(30, 20);
        QTest::newRow("PNG named .bmp") << "g.bmp" << encoded(red, "png") << QSize();
        QTest::newRow("text named .jpg") << "h.jpg" << QByteArray("not a picture\n") << QSize();
        QTest::newRow("empty .gif") << "i.gif" << QByteArray() << QSize();
        QTest::newRow("BM then garbage")
            << "j.bmp" << QByteArray("BM\x01\x02\x03 garbage that is no header", 30) << QSize();
        QTest::newRow("JPEG marker then garbage")
            << "k.jpg" << QByteArray("\xFF\xD8\xFF\xE0 no more", 12) << QSize();
        QTest::newRow("GIF signature only") << "l.gif" << QByteArray("GIF89a") << QSize();
    }
    void formatsByContent()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);

        QVERIFY(writeFile(file(name), bytes));
        const picture::Picture loaded = picture::load(file(name));
        if (!size.isValid()) {
            QVERIFY(loaded.isNull());
            QVERIFY2(loaded.error.contains(u"無法讀取圖片「%1」"_s.arg(name)),
                     qPrintable(loaded.error));
            return;
        }
        QVERIFY2(!loaded.isNull(), qPrintable(loaded.error));
        QVERIFY(loaded.error.isEmpty());
        QCOMPARE(loaded.image.size(), size);
        const QList<QColor> seen = quarterColours(loaded.image);
        const QList<QColor> want = {Red, Green, Blue, Yellow};
        for (int i = 0; i < 4; ++i)
            QVERIFY2(near(seen[i], want[i]), qPrintable(seen[i].name()));
    }

    // Cameras store the sensor's rows and say in a tag how to turn them; the player must see
    // the picture upright, at full size and in the preview's reduced decoding alike.
    void jpegOrientation_data()
    {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("fitTo");
        QTest::addColumn<bool>("turned"); // a quarter turn swaps width and height
        QTest::addColumn<QList<QColor>>("quarters");

        const QSize full;
        const QSize fit(50, 60);
        for (const QSize &fitTo : {full, fit}) {
            const char *how = fitTo.isValid() ? "preview" : "full";
            auto row = [&](int o, const char *what) -> QTestData & {
                return QTest::addRow("%d %s, %s", o, what, how) << o << fitTo;
            };
            row(1, "upright") << false << QList<QColor>{Red, Green, Blue, Yellow};
            row(2, "mirrored") << false << QList<QColor>{Green, Red, Yellow, Blue};
            row(3, "upside down") << false << QList<QColor>{Yellow, Blue, Green, Red};
            row(4, "flipped") << false << QList<QColor>{Blue, Yellow, Red, Green};
            row(5, "transposed") << true << QList<QColor>{Red, Blue, Green, Yellow};
            row(6, "turned right") << true << QList<QColor>{Blue, Red, Yellow, Green};
            row(7, "transversed") << true << QList<QColor>{Yellow, Green, Blue, Red};
            row(8, "turned left") << true << QList<QColor>{Green, Yellow, Red, Blue};
        }
    }
    void jpegOrientation()
    {
        QFETCH(int, orientation);
        QFETCH(QSize, fitTo);
        QFETCH(bool, turned);
        QFETCH(QList<QColor>, quarters);

        const QSize stored(400, 200);
        const QString path = file(u"oriented.jpg"_s);
        QVERIFY(
            writeFile(path, withOrientation(encoded(quadrants(stored), "jpeg", 95), orientation)));
        const picture::Picture loaded = picture::load(path, fitTo);
        QVERIFY2(!loaded.isNull(), qPrintable(loaded.error));

        const QSize upright = turned ? stored.transposed() : stored;
        if (fitTo.isValid()) {
            // Smaller than the file, never smaller than asked, proportions kept.
            QVERIFY2(loaded.image.width() < upright.width() &&
                         loaded.image.width() >= fitTo.width() &&
                         loaded.image.height() >= fitTo.height(),
                     qPrintable(u"%1x%2"_s.arg(loaded.image.width()).arg(loaded.image.height())));
            QCOMPARE(loaded.image.width() * upright.height(),
                     loaded.image.height() * upright.width());
        } else {
            QCOMPARE(loaded.image.size(), upright);
        }
        const QList<QColor> seen = quarterColours(loaded.image);
        for (int i = 0; i < 4; ++i)
            QVERIFY2(near(seen[i], quarters[i]),
                     qPrintable(u"quarter %1 is %2"_s.arg(i).arg(seen[i].name())));
    }

    void gifFirstFrame_data()
    {
        QTest::addColumn<QList<QImage>>("frames");
        const QList<QRgb> palette = {qRgb(0, 0, 0), qRgb(255, 0, 0), qRgb(0, 255, 0),
                                     qRgb(0, 0, 255)};
        const QSize size(120, 90); // more than 100 pixels a row: clear codes mid-row
        const QImage red = indexedFill(size, palette, 1);
        const QImage green = indexedFill(size, palette, 2);
        const QImage blue = indexedFill(size, palette, 3);
        QTest::newRow("one frame") << QList<QImage>{red};
        QTest::newRow("three frames") << QList<QImage>{red, green, blue};
    }
    void gifFirstFrame()
    {
        QFETCH(QList<QImage>, frames);
        const QString path = file(u"frames.gif"_s);
        QVERIFY(writeFile(path, gif(frames)));
        const picture::Picture loaded = picture::load(path);
        QVERIFY2(!loaded.isNull(), qPrintable(loaded.error));
        QCOMPARE(loaded.image.size(), QSize(120, 90));
        for (const QPoint p : {QPoint(0, 0), QPoint(119, 0), QPoint(60, 45), QPoint(119, 89)})
            QCOMPARE(loaded.image.pixelColor(p), Red);
    }

    // Pictures that store palette indices or grey levels instead of colours.
    void paletteAndGrey_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QList<QColor>>("quarters");
        QTest::addColumn<int>("tolerance");

        const QImage colour = quadrants({64, 48});
        QTest::newRow("8-bit palette BMP")
            << encoded(colour.convertToFormat(QImage::Format_Indexed8), "bmp")
            << QList<QColor>{Red, Green, Blue, Yellow} << 0;
        QTest::newRow("palette GIF") << gif({colour.convertToFormat(QImage::Format_Indexed8)})
                                     << QList<QColor>{Red, Green, Blue, Yellow} << 0;

        QImage mono(64, 48, QImage::Format_Mono);
        mono.setColorTable({qRgb(255, 255, 255), qRgb(0, 0, 0)});
        mono.fill(0);
        for (int y = 0; y < 48; ++y)
            for (int x = 32; x < 64; ++x)
                mono.setPixel(x, y, 1);
        const QColor white(Qt::white), black(Qt::black);
        QTest::newRow("1-bit BMP")
            << encoded(mono, "bmp") << QList<QColor>{white, black, white, black} << 0;

        QImage grey(64, 48, QImage::Format_Grayscale8);
        for (int y = 0; y < 48; ++y)
            std::memset(grey.scanLine(y), y < 24 ? 40 : 200, 64);
        const QColor dark(40, 40, 40), light(200, 200, 200);
        QTest::newRow("grey JPEG")
            << encoded(grey, "jpeg", 95) << QList<QColor>{dark, dark, light, light} << 6;
        QTest::newRow("grey BMP") << encoded(grey, "bmp") << QList<QColor>{dark, dark, light, light}
                                  << 0;
    }
    void paletteAndGrey()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QList<QColor>, quarters);
        QFETCH(int, tolerance);

        const QString path = file(u"palette.bmp"_s);
        QVERIFY(writeFile(path, bytes));
        const picture::Picture loaded = picture::load(path);
        QVERIFY2(!loaded.isNull(), qPrintable(loaded.error));
        QCOMPARE(loaded.image.size(), QSize(64, 48));
        const QList<QColor> seen = quarterColours(loaded.image);
        for (int i = 0; i < 4; ++i)
            QVERIFY2(near(seen[i], quarters[i], tolerance),
                     qPrintable(u"quarter %1 is %2"_s.arg(i).arg(seen[i].name())));
    }

    // A header alone may claim any size; the loader refuses it with the size it claims, before
    // allocating for it.
    void limits_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("message");

        const QString tooLarge = u"太大"_s;
        const int side = picture::MaxSide;
        const int rows = int(picture::MaxPixels / side);
        const QByteArray jpeg = encoded(quadrants({16, 16}), "jpeg");
        const QByteArray gifBytes =
            gif({quadrants({16, 16}).convertToFormat(QImage::Format_Indexed8)});
        QTest::newRow("BMP 20000 x 20000") << bmpHeaderOnly(20000, 20000) << u"20000 × 20000"_s;
        QTest::newRow("BMP 20000 x -20000 (top down)")
            << bmpHeaderOnly(20000, -20000) << u"20000 × 20000"_s;
        QTest::newRow("BMP one past the side")
            << bmpHeaderOnly(side + 1, 1) << u"%1 × 1"_s.arg(side + 1);
        QTest::newRow("BMP tall past the side")
            << bmpHeaderOnly(1, side + 1) << u"1 × %1"_s.arg(side + 1);
        QTest::newRow("BMP a row past the pixels")
            << bmpHeaderOnly(side, rows + 1) << u"%1 × %2"_s.arg(side).arg(rows + 1);
        QTest::newRow("JPEG 20000 x 20000")
            << jpegClaiming(jpeg, 20000, 20000) << u"20000 × 20000"_s;
        QTest::newRow("JPEG 65535 x 65535")
            << jpegClaiming(jpeg, 65535, 65535) << u"65535 × 65535"_s;
        QTest::newRow("GIF 20000 x 20000")
            << gifClaiming(gifBytes, 20000, 20000) << u"20000 × 20000"_s;
        // Within the limits the header is believed, and the missing pixels are what fails.
        QTest::newRow("BMP at the side, no pixels") << bmpHeaderOnly(side, 1) << QString();
    }
    void limits()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, message);

        const QString path = file(u"claims.bmp"_s);
        QVERIFY(writeFile(path, bytes));
        for (const QSize fitTo : {QSize(), QSize(345, 497)}) {
            const picture::Picture loaded = picture::load(path, fitTo);
            QVERIFY(loaded.isNull());
            if (message.isEmpty()) {
                QVERIFY2(loaded.error.contains(u"無法讀取圖片"_s), qPrintable(loaded.error));
            } else {
                QVERIFY2(loaded.error.contains(u"太大（%1 像素）"_s.arg(message)),
                         qPrintable(loaded.error));
            }
        }
    }

    void fileLargerThanLimit()
    {
        const QString path = file(u"huge.jpg"_s);
        QFile huge(path);
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.write(encoded(quadrants({8, 8}), "jpeg")) > 0);
        QVERIFY(huge.resize(picture::MaxFileBytes + 1)); // sparse: costs no disk
        huge.close();
        const picture::Picture loaded = picture::load(path);
        QVERIFY(loaded.isNull());
        QVERIFY2(loaded.error.contains(u"太大（超過 256 MiB）"_s), qPrintable(loaded.error));
        QFile::remove(path);
    }

    // Names that carry a picture's extension but are no picture file; none may block.
    void notAPictureFile_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("message");

        const QString notRegular = u"不是一般的檔案"_s;
        QTest::newRow("FIFO") << file(u"pipe.gif"_s) << notRegular;
        QTest::newRow("folder") << file(u"folder.jpg"_s) << notRegular;
        QTest::newRow("null device") << u"/dev/null"_s << notRegular;
        QTest::newRow("endless device") << u"/dev/zero"_s << notRegular;
        QTest::newRow("missing") << file(u"missing.bmp"_s) << u"找不到圖片「missing.bmp」"_s;
        QTest::newRow("dangling link") << file(u"dangling.bmp"_s) << u"找不到圖片"_s;
        QTest::newRow("locked") << file(u"locked.bmp"_s) << u"沒有權限讀取圖片"_s;
    }
    void notAPictureFile()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);

        const QByteArray native = QFile::encodeName(path);
        if (path.endsWith(u"pipe.gif"_s) && !QFileInfo::exists(path))
            QCOMPARE(::mkfifo(native.constData(), 0600), 0);
        if (path.endsWith(u"folder.jpg"_s))
            QVERIFY(QDir().mkpath(path));
        if (path.endsWith(u"dangling.bmp"_s) && !QFileInfo(path).isSymLink())
            QVERIFY(QFile::link(file(u"nowhere.bmp"_s), path));
        if (path.endsWith(u"locked.bmp"_s)) {
            if (::geteuid() == 0)
                QSKIP("root reads every file: permissions cannot be tested as root");
            QVERIFY(writeFile(path, encoded(quadrants({8, 8}), "bmp")));
            QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        }

        const picture::Picture loaded = picture::load(path);
        QVERIFY(loaded.isNull());
        QVERIFY2(loaded.error.contains(message), qPrintable(loaded.error));
    }

    // A link to a picture is that picture.
    void linkToPicture()
    {
        QVERIFY(writeFile(file(u"target.bmp"_s), encoded(quadrants({10, 6}), "bmp")));
        QVERIFY(QFile::link(file(u"target.bmp"_s), file(u"link.jpg"_s)));
        const picture::Picture loaded = picture::load(file(u"link.jpg"_s));
        QVERIFY2(!loaded.isNull(), qPrintable(loaded.error));
        QCOMPARE(loaded.image.size(), QSize(10, 6));
    }
};

QTEST_GUILESS_MAIN(TestPictureLoader)
#include "tst_pictureloader.moc"

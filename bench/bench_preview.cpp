// How long the chooser takes to preview a large photo: decoding at the preview's size against
// decoding every pixel, each followed by the stretch onto the preview area. And how long the
// heaviest files the loader meets take, accepted or refused: each should stay well within 2 s.
#include "picture/pictureloader.h"
#include "testpictures.h"

#include <QBuffer>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

namespace {

// The preview area, 5175 × 7455 twips.
constexpr QSize PreviewArea(345, 497);

// A 24-megapixel picture with the smooth gradients and fine noise of a camera photo, so that
// the JPEG carries as much detail as a real one.
QImage photo(QSize size)
{
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator noise(24);
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int n = int(noise.bounded(24));
            line[x] = qRgb((x * 255 / size.width() + n) & 0xFF,
                           (y * 255 / size.height() + n) & 0xFF, ((x ^ y) + n) & 0xFF);
        }
    }
    return image;
}

using Maker = std::function<QByteArray()>;

} // namespace

Q_DECLARE_METATYPE(Maker)

class BenchPreview : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_jpeg;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_jpeg = m_dir.filePath(QStringLiteral("photo.jpg"));
        QImageWriter writer(m_jpeg, "jpeg");
        writer.setQuality(90);
        QVERIFY(writer.write(photo({6000, 4000})));
        qInfo("generated a 6000 x 4000 JPEG of %lld bytes", qlonglong(QFileInfo(m_jpeg).size()));
    }

    void preview_data()
    {
        QTest::addColumn<bool>("fitted");
        QTest::newRow("full decode") << false;
        QTest::newRow("decode fitted to the preview") << true;
    }
    void preview()
    {
        QFETCH(bool, fitted);
        QSize decoded;
        QBENCHMARK
        {
            const picture::Picture loaded = picture::load(m_jpeg, fitted ? PreviewArea : QSize());
            QVERIFY2(!loaded.isNull(), qPrintable(loaded.error));
            decoded = loaded.image.size();
            const QImage shown =
                loaded.image.scaled(PreviewArea, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            QCOMPARE(shown.size(), PreviewArea);
        }
        qInfo("decoded at %d x %d", decoded.width(), decoded.height());
    }

    void heaviest_data()
    {
        using namespace testpictures;
        QTest::addColumn<Maker>("make");
        QTest::addColumn<bool>("loads");
        const QSize most(8192, 4096); // picture::MaxPixels
        QTest::newRow("JPEG photo")
            << Maker([=] { return encoded(photo(most), "jpeg", 90); }) << true;
        QTest::newRow("JPEG progressive photo")
            << Maker([=] { return encoded(photo(most), "jpeg", 90, true); }) << true;
        QTest::newRow("JPEG progressive, the most empty scans") << Maker([=] {
            const QByteArray jpeg = jpegClaiming(encoded(quadrants({16, 16}), "jpeg", 90, true),
                                                 quint16(most.width()), quint16(most.height()));
            const int scans = int(jpeg.count(QByteArrayView("\xFF\xDA", 2)));
            return withEmptyScans(jpeg, picture::MaxJpegScans - scans);
        }) << false;
        QTest::newRow("JPEG of 20000 empty scans") << Maker([] {
            return withEmptyScans(encoded(quadrants({400, 300}), "jpeg", 90, true), 20000);
        }) << false;
        QTest::newRow("PNG") << Maker([=] { return encoded(photo(most), "png"); }) << true;
        QTest::newRow("GIF, a code a pixel") << Maker([=] {
            QImage indexed(most, QImage::Format_Indexed8);
            indexed.setColorTable({qRgb(255, 0, 0), qRgb(0, 0, 255)});
            indexed.fill(1);
            return gif({indexed});
        }) << true;
        QTest::newRow("BMP") << Maker([=] { return encoded(photo(most), "bmp"); }) << true;
    }
    void heaviest()
    {
        QFETCH(Maker, make);
        QFETCH(bool, loads);
        const QByteArray bytes = make();
        QBENCHMARK
        {
            const picture::Picture loaded = picture::loadFromData(bytes, QStringLiteral("x"));
            QVERIFY2(loaded.isNull() != loads, qPrintable(loaded.error));
        }
        qInfo("%lld KiB", qlonglong(bytes.size() / 1024));
    }
};

QTEST_GUILESS_MAIN(BenchPreview)
#include "bench_preview.moc"

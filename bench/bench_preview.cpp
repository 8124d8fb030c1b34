// How long the chooser takes to preview a large photo: decoding at the preview's size against
// decoding every pixel, each followed by the stretch onto the preview area.
#include "picture/pictureloader.h"

#include <QBuffer>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

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

} // namespace

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
};

QTEST_GUILESS_MAIN(BenchPreview)
#include "bench_preview.moc"

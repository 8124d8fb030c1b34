// How long metafiles of a few kinds take to render. Run: bench_wmf [-iterations N]
// With PINTU_WMF_DIR set, also every *.wmf file in that folder.
#include "picture/wmf/wmfrenderer.h"
#include "wmfwriter.h"

#include <QDir>
#include <QTest>

#include <cmath>

using wmftest::Writer;

class BenchWmf : public QObject
{
    Q_OBJECT

private slots:
    void render_data();
    void render();
};

void BenchWmf::render_data()
{
    QTest::addColumn<QByteArray>("file");

    {
        Writer w(true, QRect(0, 0, 2000, 2000), 96);
        w.createPen(0, 2, Qt::black).selectObject(0).createBrush(0, Qt::red).selectObject(1);
        for (int i = 0; i < 5000; ++i) {
            QList<QPoint> star;
            for (int k = 0; k < 10; ++k) {
                const double a = k * 3.14159 / 5, r = (k & 1) ? 20 : 50;
                star.append(QPoint((i * 37) % 1900 + 50 + int(r * std::cos(a)),
                                   (i * 91) % 1900 + 50 + int(r * std::sin(a))));
            }
            w.polygon(star);
        }
        QTest::newRow("5000 stars, 2000x2000") << w.finish();
    }
    {
        Writer w(true, QRect(0, 0, 1000, 1000), 96);
        w.createFont(-14, "Arial").selectObject(0).setBkMode(1);
        for (int i = 0; i < 2000; ++i)
            w.textOut((i * 13) % 900, (i * 7) % 980, "The quick brown fox");
        QTest::newRow("2000 text runs") << w.finish();
    }
    {
        Writer w(true, QRect(0, 0, 1000, 1000), 96);
        w.createFont(-24, "\xb7s\xb2\xd3\xa9\xfa\xc5\xe9", 136).selectObject(0).setBkMode(1);
        for (int i = 0; i < 500; ++i)
            w.textOut((i * 13) % 900, (i * 7) % 960, "\xa4\xa4\xa4\xe5\xa6r\xab\xac");
        QTest::newRow("500 Big5 text runs") << w.finish();
    }
    {
        // Bold of a face that has no bold: emboldened by us.
        Writer w(true, QRect(0, 0, 1000, 1000), 96);
        w.createFont(-24, "\xb7s\xb2\xd3\xa9\xfa\xc5\xe9", 136, 0, 700)
            .selectObject(0)
            .setBkMode(1);
        for (int i = 0; i < 500; ++i)
            w.textOut((i * 13) % 900, (i * 7) % 960, "\xa4\xa4\xa4\xe5\xa6r\xab\xac");
        QTest::newRow("500 bold Big5 text runs") << w.finish();
    }
    {
        const int side = 512;
        QByteArray bits(qsizetype(side) * side * 3, '\0');
        for (int i = 0; i < bits.size(); ++i)
            bits[i] = char(i * 7);
        Writer w(true, QRect(0, 0, 3000, 3000), 96);
        w.bitmap(0x0F43, QRect(0, 0, 3000, 3000), QRect(0, 0, side, side),
                 wmftest::dib(side, side, 24, {}, bits));
        QTest::newRow("512x512 bitmap stretched to 3000x3000") << w.finish();
    }
    {
        Writer w(true, QRect(0, 0, 1000, 1000), 96);
        w.createBrush(0, Qt::blue).selectObject(0);
        for (int i = 0; i < 1000; ++i) {
            w.saveDc()
                .intersectClipRect(i % 900, i % 800, i % 900 + 100, i % 800 + 200)
                .excludeClipRect(i % 900 + 20, i % 800 + 20, i % 900 + 40, i % 800 + 40);
            w.ellipse(i % 900, i % 800, i % 900 + 100, i % 800 + 200).restoreDc(-1);
        }
        QTest::newRow("1000 clipped ellipses") << w.finish();
    }
    {
        Writer w(true, QRect(0, 0, 4000, 4000), 96);
        w.createPen(0, 3, Qt::black).selectObject(0).createBrush(1, Qt::red).selectObject(1);
        for (int i = 0; i < 40; ++i)
            w.ellipse(i * 100, i * 90, i * 100 + 400, i * 90 + 300);
        w.createBrush(0, Qt::yellow).selectObject(2).record(0x0419, {0, 0, 3900, 100});
        w.createBrush(0, Qt::blue).selectObject(3).extFloodFill(3900, 100, Qt::yellow, 1);
        QTest::newRow("flood fills over 4000x4000") << w.finish();
    }
    // Records that would take minutes to draw: each is refused, the time is the refusal's.
    {
        QList<QList<QPoint>> polygons(16);
        for (int i = 0; i < 16 * 62500; ++i)
            polygons[i % 16].append(QPoint(i * 37 % 8000, i * 91 % 8000));
        Writer w(true, QRect(0, 0, 8000, 8000), 96);
        w.createPen(0, 200, Qt::black).selectObject(0).createBrush(0, Qt::red).selectObject(1);
        QTest::newRow("refused: poly-polygon of 1M points, 200-unit pen")
            << w.polyPolygon(polygons).finish();
    }
    {
        Writer w(true, QRect(0, 0, 8000, 8000), 96);
        w.createFont(-16000, "PMingLiU", 136).selectObject(0);
        QTest::newRow("refused: 65,534 stacked 16000-pixel Big5 glyphs")
            << w.extTextOut(4000, 4000, 0, {}, QByteArray(65534, '\xa4'), QList<int>(65534, 0))
                   .finish();
    }
    {
        QList<QPoint> zigzag;
        for (int i = 0; i < 65535; ++i)
            zigzag += QPoint(i % 2 * 8000, int(i * 8000LL / 65535));
        Writer w(true, QRect(0, 0, 8000, 8000), 96);
        w.createPen(0, 0, Qt::black).selectObject(0);
        for (int i = 0; i < 16; ++i)
            w.polyline(zigzag);
        QTest::newRow("refused: sixteen polylines of 65,535 points") << w.finish();
    }
    const QString dir = qEnvironmentVariable("PINTU_WMF_DIR");
    if (!dir.isEmpty()) {
        for (const QFileInfo &info :
             QDir(dir).entryInfoList({QStringLiteral("*.wmf")}, QDir::Files)) {
            QFile f(info.filePath());
            if (f.open(QIODevice::ReadOnly))
                QTest::newRow(qPrintable(info.fileName())) << f.readAll();
        }
    }
}

void BenchWmf::render()
{
    QFETCH(QByteArray, file);
    picture::Refusal refusal;
    QImage image;
    QBENCHMARK { image = wmf::render(file, &refusal); }
    if (image.isNull())
        qWarning("refused: reason %d", int(refusal.reason));
}

QTEST_MAIN(BenchWmf)
#include "bench_wmf.moc"

// pintu-render as a developer or a checking script runs it: a picture file in, a PNG out or the
// player's reason on standard error, whatever the file holds, and never a crash.
#include "testpictures.h"
#include "wmfwriter.h"

#include "picture/decoder.h"

#include <QImageReader>
#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace testpictures;

class TestRender : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    void render_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("said"); // empty: a PNG of the decoded picture
        // Past the size that is written uncompressed.
        QImage wide(6000, 1000, QImage::Format_RGB32);
        wide.fill(QColor(10, 200, 30));
        QPainter(&wide).fillRect(0, 0, 3000, 500, Qt::red);
        QImage black(picture::MaxSide, int(picture::MaxPixels / picture::MaxSide),
                     QImage::Format_RGB32);
        black.fill(Qt::black);
        QTest::newRow("32 megapixels of black in a PNG of 130 KB")
            << encoded(black, "png") << QString();
        QTest::newRow("6 megapixels") << encoded(wide, "png") << QString();
        QTest::newRow("polygon of 32767 random points")
            << wmftest::scribble(32767, 7) << u"用完了 2 秒的運算時間"_s;
        QTest::newRow("text") << "not a picture"_ba << u"或不是 BMP、JPEG、PNG、GIF、ICO、"_s;
    }
    void render()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, said);
        const QString in = m_dir.filePath(u"in.bin"_s), out = m_dir.filePath(u"out.png"_s);
        QFile::remove(out);
        QVERIFY(writeFile(in, file));
        QProcess render;
        render.start(QStringLiteral(PINTU_RENDER), {in, out});
        QVERIFY(render.waitForFinished(10000));
        QCOMPARE(render.exitStatus(), QProcess::NormalExit);
        const QString stderrText = QString::fromUtf8(render.readAllStandardError());
        if (!said.isEmpty()) {
            QCOMPARE(render.exitCode(), 1);
            QVERIFY2(stderrText.contains(said), qPrintable(stderrText));
            QVERIFY(!QFile::exists(out));
            return;
        }
        QCOMPARE(render.exitCode(), 0);
        const QImage written = QImageReader(out).read();
        const picture::Picture decoded = picture::decodeFile(in);
        QCOMPARE(written.convertToFormat(QImage::Format_ARGB32),
                 decoded.image.convertToFormat(QImage::Format_ARGB32));
    }
};

QTEST_MAIN(TestRender)
#include "tst_render.moc"

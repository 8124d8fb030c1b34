// SVG drawn by librsvg as the player's SVGs need it: filters, masks, CSS, text in the fonts
// installed, <use>, gradients and patterns, each compared pixel by pixel with what librsvg's own
// rsvg-convert draws of the same file at the same size, at the screen's density too.
#include "testpictures.h"

#include "picture/decoder.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// An SVG of 160 x 120 pixels drawing body.
QByteArray svg(const QByteArray &body)
{
    return "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
           "width=\"160\" height=\"120\" viewBox=\"0 0 160 120\">" +
           body + "</svg>";
}

} // namespace

class TestSvg : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY2(!QStandardPaths::findExecutable(u"rsvg-convert"_s).isEmpty(),
                 "rsvg-convert is missing (librsvg2-bin; scripts/setup.sh --test)");
    }

    void asRsvgConvertDraws_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<qreal>("density");
        QTest::addColumn<QRgb>("sample"); // what the middle shows, within a little
        const auto row = [](const char *name, const QByteArray &body, QRgb middle) {
            for (const qreal density : {1.0, 2.0})
                QTest::addRow("%s at %g", name, density) << svg(body) << density << middle;
        };
        row("blur and shadow filters",
            "<filter id=\"s\"><feOffset dx=\"6\" dy=\"6\" in=\"SourceAlpha\"/>"
            "<feGaussianBlur stdDeviation=\"4\"/><feMerge><feMergeNode/>"
            "<feMergeNode in=\"SourceGraphic\"/></feMerge></filter>"
            "<rect x=\"30\" y=\"20\" width=\"100\" height=\"80\" fill=\"#1060e0\" "
            "filter=\"url(#s)\"/>",
            qRgb(0x10, 0x60, 0xE0));
        row("mask",
            "<mask id=\"m\"><rect width=\"160\" height=\"120\" fill=\"white\"/>"
            "<circle cx=\"80\" cy=\"60\" r=\"30\" fill=\"black\"/></mask>"
            "<rect width=\"160\" height=\"120\" fill=\"#e02020\" mask=\"url(#m)\"/>",
            qRgb(255, 255, 255));
        row("CSS classes and selectors",
            "<style>.a{fill:#20a040;stroke:#102030;stroke-width:6} "
            "#b{fill:#f0c000} g > .c{opacity:0.5}</style>"
            "<rect class=\"a\" x=\"10\" y=\"10\" width=\"140\" height=\"100\"/>"
            "<g><circle id=\"b\" class=\"c\" cx=\"80\" cy=\"60\" r=\"20\"/></g>",
            qRgb(0x88, 0xB0, 0x20));
        row("text in the installed fonts",
            "<rect width=\"160\" height=\"120\" fill=\"#f0f0ff\"/>"
            "<text x=\"8\" y=\"50\" font-family=\"Liberation Sans\" font-size=\"30\" "
            "font-weight=\"bold\" fill=\"#203080\">Pintu</text>"
            "<text x=\"8\" y=\"100\" font-family=\"Noto Sans CJK TC\" font-size=\"36\" "
            "fill=\"#802030\">拼圖</text>",
            qRgb(0xF0, 0xF0, 0xFF));
        row("use of defined shapes",
            "<defs><g id=\"t\"><polygon points=\"0,-20 18,14 -18,14\" fill=\"#a03090\"/></g></defs>"
            "<use href=\"#t\" x=\"40\" y=\"40\"/><use xlink:href=\"#t\" x=\"120\" y=\"40\"/>"
            "<use href=\"#t\" transform=\"translate(80 70) scale(1.5)\"/>",
            qRgb(0xA0, 0x30, 0x90));
        row("gradients",
            "<linearGradient id=\"l\" x1=\"0\" x2=\"1\"><stop offset=\"0\" stop-color=\"#ff0000\"/>"
            "<stop offset=\"1\" stop-color=\"#0000ff\"/></linearGradient>"
            "<radialGradient id=\"r\" r=\"0.3\" spreadMethod=\"reflect\">"
            "<stop offset=\"0\" stop-color=\"#ffffff\"/><stop offset=\"1\" stop-color=\"#00a000\""
            " stop-opacity=\"0.5\"/></radialGradient>"
            "<rect width=\"160\" height=\"120\" fill=\"url(#l)\"/>"
            "<circle cx=\"80\" cy=\"60\" r=\"50\" fill=\"url(#r)\"/>",
            qRgb(255, 255, 255));
        row("pattern",
            "<pattern id=\"p\" width=\"16\" height=\"16\" patternUnits=\"userSpaceOnUse\">"
            "<rect width=\"16\" height=\"16\" fill=\"#ffe0a0\"/>"
            "<circle cx=\"8\" cy=\"8\" r=\"5\" fill=\"#c04000\"/></pattern>"
            "<rect width=\"160\" height=\"120\" fill=\"url(#p)\"/>",
            qRgb(0xFF, 0xE0, 0xA0));
    }
    void asRsvgConvertDraws()
    {
        QFETCH(QByteArray, file);
        QFETCH(qreal, density);
        QFETCH(QRgb, sample);
        const QString in = m_dir.filePath(u"in.svg"_s), out = m_dir.filePath(u"out.png"_s);
        QVERIFY(testpictures::writeFile(in, file));

        picture::Request request;
        request.density = density;
        const picture::Picture ours = picture::decodeFile(in, request);
        QVERIFY2(!ours.isNull(), qPrintable(ours.refusal.details.join(u' ')));
        const QSize size = QSize(160, 120) * density;
        QCOMPARE(ours.image.size(), size);

        QProcess convert;
        convert.start(u"rsvg-convert"_s,
                      {u"-b"_s, u"white"_s, u"-w"_s, QString::number(size.width()), u"-h"_s,
                       QString::number(size.height()), u"-o"_s, out, in});
        QVERIFY(convert.waitForFinished(30000));
        QCOMPARE(convert.exitCode(), 0);
        const QImage theirs = QImage(out).convertToFormat(QImage::Format_RGB32);
        QCOMPARE(theirs.size(), size);
        const QImage image = ours.image.convertToFormat(QImage::Format_RGB32);

        qint64 differing = 0, total = 0;
        for (int y = 0; y < size.height(); ++y) {
            for (int x = 0; x < size.width(); ++x) {
                const QRgb a = image.pixel(x, y), b = theirs.pixel(x, y);
                const int d = std::max({qAbs(qRed(a) - qRed(b)), qAbs(qGreen(a) - qGreen(b)),
                                        qAbs(qBlue(a) - qBlue(b))});
                total += d;
                differing += d > 2;
            }
        }
        const qint64 pixels = qint64(size.width()) * size.height();
        QVERIFY2(
            differing * 1000 <= pixels && total <= pixels,
            qPrintable(
                u"%1 of %2 pixels differ, by %3 in all"_s.arg(differing).arg(pixels).arg(total)));
        const QString middle = testpictures::quartersDiffer(
            image.copy(size.width() / 2 - 1, size.height() / 2 - 1, 2, 2), QList<QColor>(4, sample),
            16);
        QVERIFY2(middle.isEmpty(), qPrintable(middle));
    }
};

QTEST_GUILESS_MAIN(TestSvg)
#include "tst_svg.moc"

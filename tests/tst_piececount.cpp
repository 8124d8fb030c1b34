// What the start prompt accepts as a piece count, and why it refuses the rest.
#include "puzzle/piececount.h"

#include <QTest>

using puzzle::PieceCountVerdict;
using V = PieceCountVerdict;
using namespace Qt::StringLiterals;

class TestPieceCount : public QObject
{
    Q_OBJECT
private slots:
    void read_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<PieceCountVerdict>("verdict");
        QTest::addColumn<int>("pieces");
        QTest::addColumn<int>("gridSide");

        const QSize d(354, 354);
        // Accepted
        QTest::newRow("16") << "16" << d << V::Accepted << 16 << 4;
        QTest::newRow("81") << "81" << d << V::Accepted << 81 << 9;
        QTest::newRow("1") << "1" << d << V::Accepted << 1 << 1;
        QTest::newRow("16.0") << "16.0" << d << V::Accepted << 16 << 4;
        QTest::newRow("spaces around") << " \t25\n" << d << V::Accepted << 25 << 5;
        QTest::newRow("full-width digits") << u"６４"_s << d << V::Accepted << 64 << 8;
        QTest::newRow("exponent") << "1e2" << d << V::Accepted << 100 << 10;
        QTest::newRow("largest square")
            << "32761" << QSize(4000, 4000) << V::Accepted << 32761 << 181;
        QTest::newRow("tiles exactly one pixel") << "9" << QSize(3, 3) << V::Accepted << 9 << 3;
        QTest::newRow("tiles one pixel wide") << "9" << QSize(3, 300) << V::Accepted << 9 << 3;
        // Quietly nothing
        QTest::newRow("empty (Cancel)") << "" << d << V::Empty << 0 << 0;
        // Not a whole square root
        QTest::newRow("10") << "10" << d << V::NotSquare << 0 << 0;
        QTest::newRow("6.25 (root 2.5 rounds to 2)") << "6.25" << d << V::NotSquare << 0 << 0;
        QTest::newRow("just under 9") << "8.99999999999" << d << V::NotSquare << 0 << 0;
        // Not numbers
        QTest::newRow("letters") << "abc" << d << V::NotANumber << 0 << 0;
        QTest::newRow("a space") << " " << d << V::NotANumber << 0 << 0;
        QTest::newRow("markup") << "<b>9</b>" << d << V::NotANumber << 0 << 0;
        QTest::newRow("two numbers") << "9 16" << d << V::NotANumber << 0 << 0;
        QTest::newRow("Chinese numeral") << u"九"_s << d << V::NotANumber << 0 << 0;
        QTest::newRow("NaN") << "nan" << d << V::NotANumber << 0 << 0;
        QTest::newRow("infinity") << "inf" << d << V::NotANumber << 0 << 0;
        // Zero and below
        QTest::newRow("0") << "0" << d << V::NotPositive << 0 << 0;
        QTest::newRow("-0") << "-0" << d << V::NotPositive << 0 << 0;
        QTest::newRow("-0.5") << "-0.5" << d << V::NotPositive << 0 << 0;
        // Beyond the board
        QTest::newRow("32768 is no square, refused as such")
            << "32768" << d << V::NotSquare << 0 << 0;
        QTest::newRow("182 squared") << "33124" << QSize(9000, 9000) << V::TooMany << 0 << 0;
        QTest::newRow("9e9 is no square") << "9e9" << d << V::NotSquare << 0 << 0;
        QTest::newRow("200 squared") << "40000" << d << V::TooMany << 0 << 0;
        // Numbers beyond a double
        QTest::newRow("1e400, too large for a double") << "1e400" << d << V::TooMany << 0 << 0;
        QTest::newRow("400 digits") << QString(400, u'9') << d << V::TooMany << 0 << 0;
        QTest::newRow("-1e400") << "-1e400" << d << V::NotPositive << 0 << 0;
        QTest::newRow("1e-400, too small for a double") << "1e-400" << d << V::NotSquare << 0 << 0;
        // Tiles under one pixel
        QTest::newRow("400 on 354") << "400" << QSize(19, 354) << V::TilesTooSmall << 0 << 0;
        QTest::newRow("too wide grid") << "16" << QSize(3, 354) << V::TilesTooSmall << 0 << 0;
        QTest::newRow("too tall grid") << "16" << QSize(354, 3) << V::TilesTooSmall << 0 << 0;
        QTest::newRow("empty picture") << "9" << QSize(0, 0) << V::TilesTooSmall << 0 << 0;
    }
    void read()
    {
        QFETCH(QString, entry);
        QFETCH(QSize, picture);
        QFETCH(PieceCountVerdict, verdict);
        QFETCH(int, pieces);
        QFETCH(int, gridSide);

        const puzzle::PieceCount count = puzzle::readPieceCount(entry, picture);
        QCOMPARE(count.verdict, verdict);
        if (verdict == V::Accepted) {
            QCOMPARE(count.pieces, pieces);
            QCOMPARE(int(count.gridSide), gridSide);
        }
    }
};

QTEST_APPLESS_MAIN(TestPieceCount)
#include "tst_piececount.moc"

// Filling the board at a game start: tile sizes, slot positions, source cells and the shuffle.
#include "puzzle/gamestart.h"

#include <QTest>

#include <algorithm>

using puzzle::BoardState;

Q_DECLARE_METATYPE(puzzle::PicturePlace)

namespace {

// A generator that replays the given numbers and counts how many were drawn.
struct Replay
{
    QList<double> values;
    std::shared_ptr<int> drawn = std::make_shared<int>(0);
    puzzle::UniformRandom generator() const
    {
        return [values = values, drawn = drawn] {
            const double v = values.isEmpty() ? 0.0 : values[*drawn % values.size()];
            ++*drawn;
            return v;
        };
    }
};

const puzzle::PicturePlace DefaultBox{32, 64, 354, 354};

BoardState started(int pieces, const puzzle::PicturePlace &box = DefaultBox,
                   const puzzle::UniformRandom &random = Replay{{0.0}}.generator())
{
    BoardState b;
    const auto side = qint16(std::lround(std::sqrt(pieces)));
    puzzle::fillBoard(b, QString::number(pieces), pieces, side, box, random);
    return b;
}

} // namespace

class TestGameStart : public QObject
{
    Q_OBJECT
private slots:
    // Tile size, every slot's place (numbered row by row) and the last tile's cell, with
    // halves rounded to even.
    void geometry_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::addColumn<puzzle::PicturePlace>("box");
        QTest::addColumn<float>("tileWidth");
        QTest::addColumn<int>("tileHeight");
        QTest::addColumn<QList<int>>("lefts");
        QTest::addColumn<QList<int>>("tops");
        QTest::addColumn<QRect>("lastSource"); // the part of the picture the last tile shows

        QTest::newRow("9 on 354 x 354")
            << 9 << DefaultBox << 118.0f << 118 << QList<int>{32, 150, 268}
            << QList<int>{64, 182, 300} << QRect(236, 236, 118, 118);
        // 88.5 is kept as the width; the height rounds 88.5 to 88; 120.5 -> 120, 297.5 -> 298.
        QTest::newRow("16 on 354 x 354")
            << 16 << DefaultBox << 88.5f << 88 << QList<int>{32, 120, 209, 298}
            << QList<int>{64, 152, 240, 328} << QRect(266, 264, 88, 88);
        QTest::newRow("1 covers all") << 1 << DefaultBox << 354.0f << 354 << QList<int>{32}
                                      << QList<int>{64} << QRect(0, 0, 354, 354);
        // 150 / 4 = 37.5 rounds to 38 (even), the widths stay 50.
        QTest::newRow("16 on 200 x 150")
            << 16 << puzzle::PicturePlace{32, 64, 200, 150} << 50.0f << 38
            << QList<int>{32, 82, 132, 182} << QList<int>{64, 102, 140, 178}
            << QRect(150, 114, 50, 38);
        // A real left edge: 10.5 + 0 rounds to 10, 10.5 + 118 = 128.5 to 128, 246.5 to 246.
        QTest::newRow("half-pixel left")
            << 9 << puzzle::PicturePlace{10.5f, 0, 354, 354} << 118.0f << 118
            << QList<int>{10, 128, 246} << QList<int>{0, 118, 236} << QRect(236, 236, 118, 118);
    }
    void geometry()
    {
        QFETCH(int, pieces);
        QFETCH(puzzle::PicturePlace, box);
        QFETCH(float, tileWidth);
        QFETCH(int, tileHeight);
        QFETCH(QList<int>, lefts);
        QFETCH(QList<int>, tops);
        QFETCH(QRect, lastSource);

        const BoardState b = started(pieces, box);
        QCOMPARE(b.TileWidth, tileWidth);
        QCOMPARE(int(b.TileHeight), tileHeight);
        // Slots are numbered row by row.
        const int side = b.GridSide;
        QCOMPARE(lefts.size(), side);
        QCOMPARE(tops.size(), side);
        for (int s = 1; s <= pieces; ++s) {
            QCOMPARE(int(b.SlotPos[s][0]), lefts[(s - 1) % side]);
            QCOMPARE(int(b.SlotPos[s][1]), tops[(s - 1) / side]);
        }
        QCOMPARE(puzzle::sourceRect(b, pieces), lastSource);
        QCOMPARE(puzzle::slotRect(b, pieces),
                 QRect({lefts.last(), tops.last()}, lastSource.size()));
    }

    // Which tile a point is on: tiles stack 1..N with N on top where rounded widths overlap;
    // gaps, slivers and the world outside hold none.
    void tileAt_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::addColumn<QList<int>>("swaps"); // dropped in pairs on the unshuffled board
        QTest::addColumn<QPoint>("point");
        QTest::addColumn<int>("tile");

        QTest::newRow("16: first tile") << 16 << QList<int>{} << QPoint(32, 64) << 1;
        QTest::newRow("16: last pixel of tile 2") << 16 << QList<int>{} << QPoint(207, 151) << 2;
        QTest::newRow("16: gap between columns") << 16 << QList<int>{} << QPoint(208, 100) << 0;
        QTest::newRow("16: sliver below") << 16 << QList<int>{} << QPoint(100, 417) << 0;
        QTest::newRow("16: moved tile") << 16 << QList<int>{1, 16} << QPoint(33, 65) << 16;
        QTest::newRow("outside") << 16 << QList<int>{} << QPoint(-5, 500) << 0;
        // 49: slots 51 wide every 50.57 pixels, slot 2 spans 83..133 and slot 3 133..183.
        QTest::newRow("49: overlap, higher slot on top")
            << 49 << QList<int>{} << QPoint(133, 70) << 3;
        QTest::newRow("49: overlap, lower slot on top")
            << 49 << QList<int>{2, 40} << QPoint(133, 70) << 40;
        QTest::newRow("49: overlap, higher tile wins")
            << 49 << QList<int>{3, 40} << QPoint(133, 70) << 40;
        QTest::newRow("49: below the picture, on a tile")
            << 49 << QList<int>{} << QPoint(40, 420) << 43;
    }
    void tileAt()
    {
        QFETCH(int, pieces);
        QFETCH(QList<int>, swaps);
        QFETCH(QPoint, point);
        QFETCH(int, tile);

        BoardState b = started(pieces);
        for (int i = 0; i + 1 < swaps.size(); i += 2)
            b.Swap(qint16(swaps[i]), qint16(swaps[i + 1]));
        QCOMPARE(puzzle::tileAt(b, point), tile);
    }

    // Where the whole picture shows between the tiles: the gaps and slivers that rounding
    // leaves, and nothing else.
    void uncoveredParts_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::addColumn<QList<QRect>>("parts");
        QTest::newRow("9: none") << 9 << QList<QRect>{};
        QTest::newRow("16: two gaps and a sliver")
            << 16 << QList<QRect>{{208, 64, 1, 352}, {297, 64, 1, 352}, {32, 416, 354, 2}};
        QTest::newRow("49: overlapping, reaching past") << 49 << QList<QRect>{};
        QTest::newRow("1: all covered") << 1 << QList<QRect>{};
    }
    void uncoveredParts()
    {
        QFETCH(int, pieces);
        QFETCH(QList<QRect>, parts);
        const BoardState b = started(pieces);
        const QRect picture(32, 64, 354, 354);
        QCOMPARE(puzzle::uncoveredParts(b, picture), parts);
        // Every pixel of the picture lies under a tile or in one of the parts.
        for (int y = picture.top(); y <= picture.bottom(); ++y) {
            for (int x = picture.left(); x <= picture.right(); ++x) {
                const bool inPart = std::any_of(parts.begin(), parts.end(),
                                                [&](const QRect &r) { return r.contains(x, y); });
                if (inPart == (puzzle::tileAt(b, {x, y}) != 0))
                    QFAIL(qPrintable(QStringLiteral("%1,%2 %3").arg(x).arg(y).arg(inPart)));
            }
        }
    }

    // A picture larger than the space is shown scaled down to fit, proportions kept.
    void fittedSize_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QSize>("shown");
        QTest::newRow("camera photo") << QSize(4000, 3000) << QSize(607, 455);
        QTest::newRow("556.5 rounds to even") << QSize(700, 600) << QSize(556, 477);
        QTest::newRow("fits: unchanged") << QSize(354, 354) << QSize(354, 354);
        QTest::newRow("exactly the space") << QSize(607, 477) << QSize(607, 477);
        QTest::newRow("one pixel too wide") << QSize(608, 477) << QSize(607, 476);
        QTest::newRow("thin and tall") << QSize(1, 5000) << QSize(1, 477);
        QTest::newRow("wide strip") << QSize(16384, 1) << QSize(607, 1);
    }
    void fittedSize()
    {
        QFETCH(QSize, picture);
        QFETCH(QSize, shown);
        QCOMPARE(puzzle::fittedSize(picture, {607, 477}), shown);
    }

    // The shuffle: exactly N pairs are drawn, a = floor(N r1 + 1), b = floor(N r2 + 1).
    void shuffle_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::addColumn<QList<double>>("draws");
        QTest::addColumn<QList<int>>("order");

        QTest::newRow("pairs equal: nothing moves")
            << 4 << QList<double>{0.0, 0.0, 0.3, 0.3, 0.6, 0.6, 0.9, 0.9}
            << QList<int>{0, 1, 2, 3, 4};
        // (1,2) (3,4) then (1,1) (4,4)
        QTest::newRow("two swaps") << 4 << QList<double>{0.0, 0.25, 0.5, 0.75, 0.1, 0.2, 0.99, 0.9}
                                   << QList<int>{0, 2, 1, 4, 3};
        // (1,4) three times, then (2,2): odd count of the same swap leaves it swapped
        QTest::newRow("same pair thrice")
            << 4 << QList<double>{0.0, 0.8, 0.8, 0.0, 0.0, 0.9, 0.3, 0.4}
            << QList<int>{0, 4, 2, 3, 1};
        QTest::newRow("upper end held in range")
            << 1 << QList<double>{1.0, 0.999999999} << QList<int>{0, 1};
    }
    void shuffle()
    {
        QFETCH(int, pieces);
        QFETCH(QList<double>, draws);
        QFETCH(QList<int>, order);

        Replay replay{draws};
        const BoardState b = started(pieces, DefaultBox, replay.generator());
        QCOMPARE(*replay.drawn, 2 * pieces);
        QList<int> got(b.TileOrder.begin(), b.TileOrder.end());
        QCOMPARE(got, order);
    }

    // Nothing of an earlier game survives a new start.
    void restartForgetsEarlierGame()
    {
        BoardState b = started(81, DefaultBox, puzzle::seededRandom(puzzle::systemClock()));
        puzzle::fillBoard(b, QStringLiteral("4"), 4, 2, DefaultBox, Replay{{0.0}}.generator());
        QCOMPARE(b.TileOrder.size(), 5);
        QCOMPARE(b.SlotPos.size(), 5);
        QCOMPARE(b.tileInSlot.size(), 5);
        QVERIFY(b.CheckOrder());
    }
};

QTEST_APPLESS_MAIN(TestGameStart)
#include "tst_gamestart.moc"

// The default picture we made: at every count the prompt offers, its tiles all differ.
#include "assetfiles.h"

#include "puzzle/gamestart.h"

#include <QTest>

#include <cmath>

using namespace Qt::StringLiterals;

namespace {

// Share of pixels whose colours differ by more than a faint shade, and the mean difference.
std::pair<double, double> compare(const QImage &a, const QImage &b)
{
    const int w = qMin(a.width(), b.width()), h = qMin(a.height(), b.height());
    double differing = 0, total = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            const int d = (std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                           std::abs(qBlue(p) - qBlue(q))) /
                          3;
            total += d;
            differing += d > 24 ? 1 : 0;
        }
    }
    return {differing / (w * h), total / (w * h)};
}

} // namespace

class TestAssets : public QObject
{
    Q_OBJECT
private slots:
    // A player must never see a finished picture that does not count as solved: at every
    // count the prompt offers, no two tiles may look alike.
    void everyTileDistinct_data()
    {
        QTest::addColumn<int>("side");
        for (int side = 3; side <= 9; ++side)
            QTest::addRow("%d pieces", side * side) << side;
    }
    void everyTileDistinct()
    {
        QFETCH(int, side);
        const QImage picture = assets::defaultPicture();
        puzzle::BoardState board;
        puzzle::fillBoard(board, QString::number(side * side), side * side, qint16(side),
                          {32, 64, picture.width(), picture.height()}, [] { return 0.0; });
        QList<QImage> tiles;
        for (int i = 1; i <= board.pieces(); ++i)
            tiles.append(picture.copy(puzzle::sourceRect(board, i)));
        double leastShare = 1, leastMean = 255;
        for (int i = 0; i < tiles.size(); ++i) {
            for (int j = i + 1; j < tiles.size(); ++j) {
                const auto [share, mean] = compare(tiles[i], tiles[j]);
                QVERIFY2(share >= 0.05 && mean >= 8,
                         qPrintable(u"tiles %1 and %2 look alike (%3 of pixels differ, mean %4)"_s
                                        .arg(i + 1)
                                        .arg(j + 1)
                                        .arg(share)
                                        .arg(mean)));
                leastShare = qMin(leastShare, share);
                leastMean = qMin(leastMean, mean);
            }
        }
        qInfo("least difference: %.1f%% of pixels, mean %.1f", leastShare * 100, leastMean);
    }
};

QTEST_MAIN(TestAssets)
#include "tst_assets.moc"

// The drop rule on boards written as strings of tile orders, and random drops against a model
// that the board's order and its inverse must follow.
#include "puzzle/boardstate.h"

#include <QRandomGenerator>
#include <QTest>

using puzzle::BoardState;
using puzzle::DropResult;

namespace {

// "0 2 1 3" -> TileOrder {0, 2, 1, 3}; entry 0 is written too, so tests can poison it.
BoardState board(const QString &order)
{
    BoardState b;
    const QStringList entries = order.split(u' ', Qt::SkipEmptyParts);
    for (const QString &e : entries)
        b.TileOrder.append(qint16(e.toInt()));
    return b;
}

QString text(const BoardState &b)
{
    QStringList out;
    for (qint16 v : b.TileOrder)
        out.append(QString::number(v));
    return out.join(u' ');
}

} // namespace

Q_DECLARE_METATYPE(DropResult)

class TestBoardState : public QObject
{
    Q_OBJECT
private slots:
    // Which drops count, what they swap, and when the board is solved.
    void drop_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("source");
        QTest::addColumn<int>("target");
        QTest::addColumn<QString>("after");
        QTest::addColumn<DropResult>("result");

        const QString home = QStringLiteral("0 1 2 3 4 5 6 7 8 9");
        QTest::newRow("3 onto 7") << home << 3 << 7 << "0 1 2 7 4 5 6 3 8 9" << DropResult::Swapped;
        QTest::newRow("last two home")
            << "0 1 2 3 4 5 6 7 9 8" << 9 << 8 << home << DropResult::Solved;
        QTest::newRow("three-cycle not solved by one swap")
            << "0 2 3 1" << 1 << 3 << "0 1 3 2" << DropResult::Swapped;
        QTest::newRow("onto itself") << "0 2 1" << 1 << 1 << "0 2 1" << DropResult::Ignored;
        QTest::newRow("onto the whole picture")
            << "0 2 1" << 1 << 0 << "0 2 1" << DropResult::Ignored;
        QTest::newRow("the whole picture dragged")
            << "0 2 1" << 0 << 1 << "0 2 1" << DropResult::Ignored;
        QTest::newRow("off the board") << "0 2 1" << 1 << 3 << "0 2 1" << DropResult::Ignored;
        QTest::newRow("negative") << "0 2 1" << -1 << 2 << "0 2 1" << DropResult::Ignored;
        QTest::newRow("entry 0 never read") << "7 2 1" << 2 << 1 << "7 1 2" << DropResult::Solved;
    }
    void drop()
    {
        QFETCH(QString, start);
        QFETCH(int, source);
        QFETCH(int, target);
        QFETCH(QString, after);
        QFETCH(DropResult, result);

        BoardState b = board(start);
        QCOMPARE(puzzle::drop(b, source, target), result);
        QCOMPARE(text(b), after);
    }

    // Many random drops against a plain model of the board: the order stays the model's, and
    // the drop reports solved exactly when the model is.
    void randomDropsFollowModel_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::addColumn<int>("drops");
        QTest::newRow("4 pieces, many wins") << 4 << 5000;
        QTest::newRow("9 pieces") << 9 << 5000;
        QTest::newRow("32761 pieces") << 32761 << 200;
    }
    void randomDropsFollowModel()
    {
        QFETCH(int, pieces);
        QFETCH(int, drops);
        QRandomGenerator rng(1234 + pieces);
        QList<int> model(pieces + 1);
        BoardState b;
        b.TileOrder.resize(pieces + 1);
        b.tileInSlot.resize(pieces + 1);
        for (int i = 0; i <= pieces; ++i)
            b.TileOrder[i] = b.tileInSlot[i] = qint16(model[i] = i);
        std::swap(model[1], model[pieces]);
        b.Swap(1, qint16(pieces));

        int wins = 0;
        for (int d = 0; d < drops; ++d) {
            const int k = int(rng.bounded(pieces + 2)) - 1, t = int(rng.bounded(pieces + 2)) - 1;
            const bool move = k != t && k >= 1 && t >= 1 && k <= pieces && t <= pieces;
            if (move)
                std::swap(model[k], model[t]);
            bool solved = move;
            for (int i = 1; solved && i <= pieces; ++i)
                solved = model[i] == i;
            const DropResult got = puzzle::drop(b, k, t);
            QCOMPARE(got, !move    ? DropResult::Ignored
                          : solved ? DropResult::Solved
                                   : DropResult::Swapped);
            QCOMPARE(QList<int>(b.TileOrder.begin(), b.TileOrder.end()), model);
            if (move) // the board's own inverse follows every swap
                for (const int tile : {k, t})
                    QCOMPARE(int(b.tileInSlot[b.TileOrder[tile]]), tile);
            wins += solved;
        }
        QVERIFY(pieces > 4 || wins > 0);
    }
};

QTEST_APPLESS_MAIN(TestBoardState)
#include "tst_boardstate.moc"

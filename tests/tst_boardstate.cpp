// The drop rule on boards written as strings of tile orders, random drops against a model that
// the board's order and its inverse must follow, and the tiles at home.
#include "puzzle/play.h"

#include <QRandomGenerator>
#include <QTest>

using puzzle::BoardState;
using puzzle::MoveResult;
using namespace Qt::StringLiterals;

namespace {

// "0 2 1 3" -> TileOrder {0, 2, 1, 3}; entry 0 is written too, so tests can poison it.
BoardState board(const QString &order)
{
    BoardState b;
    QList<qint16> entries;
    for (const QString &e : order.split(u' ', Qt::SkipEmptyParts))
        entries.append(qint16(e.toInt()));
    b.setOrder(entries);
    return b;
}

QString text(const BoardState &b)
{
    QStringList out;
    for (qint16 v : b.TileOrder)
        out.append(QString::number(v));
    return out.join(u' ');
}

// What a drop did: "ignored", or what playing it gave.
QString dropped(BoardState &b, int source, int target)
{
    const std::optional<puzzle::Move> move = puzzle::moveForDrop(b, source, target);
    if (!move)
        return QStringLiteral("ignored");
    return puzzle::play(b, *move) == MoveResult::Solved ? QStringLiteral("solved")
                                                        : QStringLiteral("swapped");
}

} // namespace

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
        QTest::addColumn<QString>("result");

        const QString home = QStringLiteral("0 1 2 3 4 5 6 7 8 9");
        QTest::newRow("3 onto 7") << home << 3 << 7 << "0 1 2 7 4 5 6 3 8 9"
                                  << "swapped";
        QTest::newRow("last two home") << "0 1 2 3 4 5 6 7 9 8" << 9 << 8 << home << "solved";
        QTest::newRow("three-cycle not solved by one swap") << "0 2 3 1" << 1 << 3 << "0 1 3 2"
                                                            << "swapped";
        QTest::newRow("onto itself") << "0 2 1" << 1 << 1 << "0 2 1"
                                     << "ignored";
        QTest::newRow("onto the whole picture") << "0 2 1" << 1 << 0 << "0 2 1"
                                                << "ignored";
        QTest::newRow("the whole picture dragged") << "0 2 1" << 0 << 1 << "0 2 1"
                                                   << "ignored";
        QTest::newRow("off the board") << "0 2 1" << 1 << 3 << "0 2 1"
                                       << "ignored";
        QTest::newRow("negative") << "0 2 1" << -1 << 2 << "0 2 1"
                                  << "ignored";
        QTest::newRow("entry 0 never read") << "7 2 1" << 2 << 1 << "7 1 2"
                                            << "solved";
    }
    void drop()
    {
        QFETCH(QString, start);
        QFETCH(int, source);
        QFETCH(int, target);
        QFETCH(QString, after);
        QFETCH(QString, result);

        BoardState b = board(start);
        QCOMPARE(dropped(b, source, target), result);
        QCOMPARE(text(b), after);
        if (result != u"ignored") {
            QCOMPARE(b.DragIndex, source);
            QCOMPARE(int(b.DropIndex), target);
        }
    }

    // Many random drops against a plain model of the board: the order stays the model's, the
    // drop reports solved exactly when the model is, and the board's own inverse follows.
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
        QList<qint16> order(pieces + 1);
        for (int i = 0; i <= pieces; ++i)
            order[i] = qint16(model[i] = i);
        BoardState b;
        b.setOrder(order);
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
            QCOMPARE(dropped(b, k, t), !move ? u"ignored"_s : solved ? u"solved"_s : u"swapped"_s);
            QCOMPARE(QList<int>(b.TileOrder.begin(), b.TileOrder.end()), model);
            for (int slot = 1; slot <= pieces; slot += qMax(1, pieces / 97))
                QCOMPARE(int(b.TileOrder[b.tileInSlot[slot]]), slot);
            wins += solved;
        }
        QVERIFY(pieces > 4 || wins > 0);
    }

    // The tiles in their own slot, entry 0 never counted.
    void homeCount_data()
    {
        QTest::addColumn<QString>("order");
        QTest::addColumn<int>("home");
        QTest::newRow("no tiles") << "0" << 0;
        QTest::newRow("all home") << "0 1 2 3 4" << 4;
        QTest::newRow("none home") << "0 2 3 4 1" << 0;
        QTest::newRow("two of four") << "0 1 3 2 4" << 2;
        QTest::newRow("entry 0 poisoned") << "5 1 2" << 2;
    }
    void homeCount()
    {
        QFETCH(QString, order);
        QFETCH(int, home);
        QCOMPARE(board(order).homeCount(), home);
    }
};

QTEST_APPLESS_MAIN(TestBoardState)
#include "tst_boardstate.moc"

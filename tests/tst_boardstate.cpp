// Swap and CheckOrder on boards written as strings of tile orders.
#include "puzzle/boardstate.h"

#include <QTest>

using puzzle::BoardState;

namespace {

// "0 2 1 3" -> TileOrder {0, 2, 1, 3}; entry 0 is written too, so tests can poison it.
BoardState board(const QString &order)
{
    BoardState b;
    const QStringList entries = order.split(u' ', Qt::SkipEmptyParts);
    for (const QString &e : entries)
        b.TileOrder.append(qint16(e.toInt()));
    b.PieceCount = QString::number(b.TileOrder.size() - 1);
    return b;
}

QString text(const BoardState &b)
{
    QStringList out;
    for (qint16 v : b.TileOrder)
        out.append(QString::number(v));
    return out.join(u' ');
}

using Swaps = QList<QPair<qint16, qint16>>;

} // namespace

class TestBoardState : public QObject
{
    Q_OBJECT
private slots:
    void swapAndCheck_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<Swaps>("swaps");
        QTest::addColumn<QString>("after");
        QTest::addColumn<bool>("solved");

        QTest::newRow("identity") << "0 1 2 3 4 5 6 7 8 9" << Swaps{} << "0 1 2 3 4 5 6 7 8 9"
                                  << true;
        QTest::newRow("one swap") << "0 1 2 3 4 5 6 7 8 9" << Swaps{{1, 2}} << "0 2 1 3 4 5 6 7 8 9"
                                  << false;
        QTest::newRow("swap back")
            << "0 1 2 3 4 5 6 7 8 9" << Swaps{{1, 2}, {1, 2}} << "0 1 2 3 4 5 6 7 8 9" << true;
        QTest::newRow("swap back reversed")
            << "0 1 2 3" << Swaps{{1, 3}, {3, 1}} << "0 1 2 3" << true;
        QTest::newRow("i = j") << "0 1 2 3 4 5 6 7 8 9" << Swaps{{3, 3}} << "0 1 2 3 4 5 6 7 8 9"
                               << true;
        QTest::newRow("3 onto 7") << "0 1 2 3 4 5 6 7 8 9" << Swaps{{3, 7}} << "0 1 2 7 4 5 6 3 8 9"
                                  << false;
        QTest::newRow("last two home")
            << "0 1 2 3 4 5 6 7 9 8" << Swaps{{8, 9}} << "0 1 2 3 4 5 6 7 8 9" << true;
        QTest::newRow("three-cycle not solved by one swap")
            << "0 2 3 1" << Swaps{{1, 3}} << "0 1 3 2" << false;
        QTest::newRow("N = 1") << "0 1" << Swaps{} << "0 1" << true;
        QTest::newRow("N = 1, wrong") << "0 0" << Swaps{} << "0 0" << false;
        QTest::newRow("entry 0 never read")
            << "7 1 2 3 4 5 6 7 8 9" << Swaps{} << "7 1 2 3 4 5 6 7 8 9" << true;
        QTest::newRow("swap with entry 0") << "0 1 2" << Swaps{{0, 2}} << "2 1 0" << false;
        QTest::newRow("no tiles") << "0" << Swaps{} << "0" << true;
    }
    void swapAndCheck()
    {
        QFETCH(QString, start);
        QFETCH(Swaps, swaps);
        QFETCH(QString, after);
        QFETCH(bool, solved);

        BoardState b = board(start);
        for (const auto &[i, j] : swaps)
            b.Swap(i, j);
        QCOMPARE(text(b), after);
        QCOMPARE(b.CheckOrder(), solved);
    }
};

QTEST_APPLESS_MAIN(TestBoardState)
#include "tst_boardstate.moc"

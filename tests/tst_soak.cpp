// A long session: many games won through the drop handler and many round trips between the two
// windows. Nothing may pile up: live widgets come back to where they were and memory stays flat.
#include "application.h"
#include "form1.h"
#include "form2.h"
#include "picturebox.h"
#include "testsupport.h"
#include "windowregistry.h"

#include <QFile>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Resident memory in KiB.
qint64 residentKiB()
{
    QFile statm(u"/proc/self/statm"_s);
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toLongLong() * 4 : 0;
}

// Brings every tile home by dropping it onto the tile that lies in its slot.
int solve(Form1 &form)
{
    int wins = 0;
    if (form.board().CheckOrder()) // shuffled into order: a drop is what wins
        emit form.Picture1()->tileDropped(1, 2);
    for (int slot = 1; slot <= form.board().pieces() && form.tileCount() > 0; ++slot) {
        const QList<qint16> &order = form.board().TileOrder;
        const int other = int(order.indexOf(qint16(slot), 1));
        if (other != slot) {
            emit form.Picture1()->tileDropped(slot, other);
            wins += form.tileCount() == 0;
        }
    }
    return wins;
}

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }

    void session()
    {
        const int games = 1000, trips = 500;
        Watch answer; // every message box, as soon as it opens
        WindowRegistry windows;
        QVERIFY(showAndWait(windows.form1()));
        const auto roundTrip = [&windows] {
            QTest::mouseClick(child(windows.form1(), "Command4"), Qt::LeftButton);
            Form2 *chooser = windows.form2();
            QTest::mouseClick(child(chooser, "Command1"), Qt::LeftButton);
            settle();
        };
        roundTrip(); // everything a session keeps for good is made by now
        const qsizetype widgets = QApplication::allWidgets().size();
        qint64 memory = residentKiB();

        int wins = 0;
        for (int game = 0; game < games; ++game) {
            Form1 *puzzle = windows.form1();
            puzzle->startGame(QString::number((game % 4 + 2) * (game % 4 + 2)));
            wins += solve(*puzzle);
            QCOMPARE(puzzle->tileCount(), 0);
        }
        QCOMPARE(wins, games);
        for (int trip = 0; trip < trips; ++trip) {
            roundTrip();
            if (trip == trips / 10)
                memory = residentKiB(); // allocators have settled
        }
        settle();
        QCOMPARE(QApplication::allWidgets().size(), widgets);
        const qint64 grown = residentKiB() - memory;
        qInfo("resident memory grew by %lld KiB over the last %d round trips", grown,
              trips - trips / 10);
#if !defined(__SANITIZE_ADDRESS__)
        // (AddressSanitizer holds freed memory back on purpose; LeakSanitizer checks instead.)
        QVERIFY2(grown < 4096, qPrintable(QString::number(grown)));
#endif
    }
};

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"

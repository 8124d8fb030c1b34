// Playing: dragging tiles onto each other with the mouse, and the solving drop.
#include "application.h"
#include "form1.h"
#include "picturebox.h"
#include "testsupport.h"

#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Draws that make the shuffle swap (1, 2) once and leave everything else: N pairs, the first
// (1, 2), the rest (1, 1).
puzzle::UniformRandom swapFirstTwo(int n)
{
    auto drawn = std::make_shared<int>(0);
    return [n, drawn] {
        const int k = (*drawn)++ % (2 * n);
        return k == 1 ? 1.0 / n : 0.0;
    };
}

void start(Form1 &form, int pieces)
{
    onNextModal([pieces](QWidget *w) {
        auto *line = w->findChild<QLineEdit *>();
        line->selectAll();
        QTest::keyClicks(line, QString::number(pieces));
        clickButton(w, QDialogButtonBox::AcceptRole);
    });
    QTest::mouseClick(form.findChild<QPushButton *>(u"Command1"_s), Qt::LeftButton);
}

// Presses on the tile, moves and releases at a point of the window, as a player drags.
void drag(Form1 &form, PictureBox *tile, QPoint to)
{
    const QPoint from = tile->rect().center();
    QTest::mousePress(tile, Qt::LeftButton, {}, from);
    QTest::mouseMove(tile, tile->mapFrom(&form, to));
    QTest::mouseRelease(tile, Qt::LeftButton, {}, tile->mapFrom(&form, to));
}

QPoint centre(QWidget *w) { return w->geometry().center(); }

QList<QRect> tileGeometries(const Form1 &form)
{
    QList<QRect> out;
    for (int i = 1; i <= form.tileCount(); ++i)
        out.append(form.Picture1(i)->geometry());
    return out;
}

bool screenShowsWholePicture(Form1 &form)
{
    const QRect place = form.Picture1(0)->geometry();
    const QImage shown = form.grab(place).toImage().convertToFormat(QImage::Format_RGB32);
    return shown == form.Picture1(0)->picture();
}

} // namespace

class TestPlay : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }

    // Where the dragged tile 3 is released, and which tiles must have changed places.
    void dropOnto_data()
    {
        QTest::addColumn<QString>("where");
        QTest::addColumn<int>("swappedWith"); // 0: nothing changes

        QTest::newRow("another tile") << "tile 7" << 7;
        QTest::newRow("itself") << "tile 3" << 0;
        QTest::newRow("the background") << "background" << 0;
        QTest::newRow("a command button") << "Command4" << 0;
        QTest::newRow("the start button") << "Command1" << 0;
        QTest::newRow("gap between columns") << "column gap" << 0;
        QTest::newRow("sliver below the tiles") << "bottom sliver" << 0;
        QTest::newRow("outside the window") << "outside" << 0;
    }
    void dropOnto()
    {
        QFETCH(QString, where);
        QFETCH(int, swappedWith);

        Form1 form;
        form.setRandomSource(puzzle::clockSeededRandom());
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        start(form, 16); // 88.5-pixel columns leave gaps; 88-pixel rows leave a sliver
        QCOMPARE(form.tileCount(), 16);

        const QMap<QString, QPoint> points = {
            {u"tile 7"_s, centre(form.Picture1(7))},
            {u"tile 3"_s, centre(form.Picture1(3)) + QPoint(20, 20)},
            {u"background"_s, QPoint(600, 500)},
            {u"Command4"_s, centre(form.findChild<QWidget *>(u"Command4"_s))},
            {u"Command1"_s, centre(form.findChild<QWidget *>(u"Command1"_s))},
            {u"column gap"_s, QPoint(208, 100)},
            {u"bottom sliver"_s, QPoint(100, 417)},
            {u"outside"_s, QPoint(-30, 700)},
        };
        const QPoint to = points.value(where);
        // The uncovered places really show the whole picture.
        if (where.contains(u"gap"_s) || where.contains(u"sliver"_s))
            QCOMPARE(form.childAt(to), form.Picture1(0));

        const QList<qint16> order = form.board().TileOrder;
        QList<QRect> places = tileGeometries(form);
        bool messageShown = false;
        const QPointer<QTimer> watch = onNextModal([&](QWidget *w) {
            messageShown = true;
            w->close();
        });
        drag(form, form.Picture1(3), to);
        delete watch;

        QList<qint16> expectedOrder = order;
        if (swappedWith) {
            std::swap(expectedOrder[3], expectedOrder[swappedWith]);
            std::swap(places[3 - 1], places[swappedWith - 1]);
            QCOMPARE(form.board().DragIndex, 3);
            QCOMPARE(int(form.board().DropIndex), swappedWith);
        }
        QCOMPARE(form.board().TileOrder, expectedOrder);
        QCOMPARE(tileGeometries(form), places);
        QCOMPARE(form.tileCount(), 16);
        QVERIFY2(!messageShown || form.board().CheckOrder(), "no message while unsolved");
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    // Only tiles can be dragged: a drag that starts on the whole picture moves nothing.
    void wholePictureIsNotDraggable()
    {
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        start(form, 16);
        PictureBox *whole = form.Picture1(0);
        const QList<qint16> order = form.board().TileOrder;
        QTest::mousePress(whole, Qt::LeftButton, {}, whole->mapFrom(&form, QPoint(208, 100)));
        QTest::mouseRelease(whole, Qt::LeftButton, {}, whole->mapFrom(&form, centre(form.Picture1(5))));
        QCOMPARE(form.board().TileOrder, order);
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    // The pointer shows the drag icon while a tile is held.
    void dragShowsIcon()
    {
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        start(form, 9);
        PictureBox *tile = form.Picture1(2);
        QTest::mousePress(tile, Qt::LeftButton, {}, tile->rect().center());
        QVERIFY(QApplication::overrideCursor());
        QCOMPARE(QApplication::overrideCursor()->pixmap().size(), QSize(32, 32));
        QCOMPARE(QApplication::overrideCursor()->hotSpot(), QPoint(16, 16));
        QTest::mouseRelease(tile, Qt::LeftButton, {}, tile->rect().center());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
    }

    // The solving drop congratulates, removes every tile, gives Start back and shows the
    // whole picture; a new game can start at once, again and again.
    void solvingDrop_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::newRow("4") << 4;
        QTest::newRow("9") << 9;
        QTest::newRow("16, uncovered slivers") << 16;
        QTest::newRow("49, tiles overlap by a pixel") << 49;
    }
    void solvingDrop()
    {
        QFETCH(int, pieces);
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        for (int round = 0; round < 2; ++round) {
            form.setRandomSource(swapFirstTwo(pieces));
            start(form, pieces);
            QCOMPARE(form.board().TileOrder[1], 2);
            QVERIFY(!form.board().CheckOrder());

            QMessageBox::Icon icon = QMessageBox::NoIcon;
            QString title, text;
            QStringList buttons;
            int tilesDuringMessage = -1;
            onNextModal([&](QWidget *w) {
                auto *box = qobject_cast<QMessageBox *>(w);
                icon = box->icon();
                title = box->windowTitle();
                text = box->text();
                for (QAbstractButton *b : box->buttons())
                    buttons.append(b->text());
                tilesDuringMessage = form.tileCount();
                QTest::keyClick(box, Qt::Key_Return);
            });
            drag(form, form.Picture1(1), centre(form.Picture1(2)));
            QCOMPARE(title, u"完成"_s);
            QCOMPARE(text, u"恭喜你成功了"_s);
            QCOMPARE(icon, QMessageBox::Warning);
            QCOMPARE(buttons, QStringList{u"確定"_s});
            QCOMPARE(tilesDuringMessage, pieces); // the tiles go after the message
            QCOMPARE(form.tileCount(), 0);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCOMPARE(form.findChildren<PictureBox *>().size(), 1);
            QVERIFY(form.findChild<QPushButton *>(u"Command1"_s)->isEnabled());
            QCOMPARE(form.childAt(QPoint(40, 70)), form.Picture1(0));
            QVERIFY(screenShowsWholePicture(form));
            QCOMPARE(QApplication::overrideCursor(), nullptr);
        }
    }

    // One piece: nothing to drop onto, never won, Start stays disabled.
    void onePieceNeverWins()
    {
        Form1 form;
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        start(form, 1);
        QCOMPARE(form.tileCount(), 1);
        QVERIFY(form.board().CheckOrder()); // in order, but only a drop is ever tested
        drag(form, form.Picture1(1), QPoint(100, 100));
        QCOMPARE(form.tileCount(), 1);
        QVERIFY(!form.findChild<QPushButton *>(u"Command1"_s)->isEnabled());
    }

    // Many random drops against a plain model of the board: the order stays a permutation,
    // the tiles always sit at their slots, and a win comes exactly when the model is solved.
    void randomDropsFollowModel_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::addColumn<int>("drops");
        QTest::newRow("4 pieces, many wins") << 4 << 300;
        QTest::newRow("9 pieces") << 9 << 300;
        QTest::newRow("25 pieces") << 25 << 200;
    }
    void randomDropsFollowModel()
    {
        QFETCH(int, pieces);
        QFETCH(int, drops);
        QRandomGenerator rng(1234 + pieces);
        Form1 form;
        form.setRandomSource([&rng] { return rng.generateDouble(); });
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));

        QList<int> model;
        int wins = 0;
        for (int d = 0; d < drops; ++d) {
            if (form.tileCount() == 0) {
                start(form, pieces);
                model = QList<int>(form.board().TileOrder.begin(), form.board().TileOrder.end());
            }
            const int k = 1 + int(rng.bounded(pieces));
            const int t = 1 + int(rng.bounded(pieces));
            bool congratulated = false;
            if (k != t) {
                std::swap(model[k], model[t]);
            }
            bool solved = true;
            for (int i = 1; i <= pieces; ++i)
                solved = solved && model[i] == i;
            if (k != t && solved) {
                onNextModal([&](QWidget *w) {
                    congratulated = true;
                    qobject_cast<QMessageBox *>(w)->button(QMessageBox::Ok)->click();
                });
            }
            drag(form, form.Picture1(k), centre(form.Picture1(t)));
            if (k != t && solved) {
                QVERIFY(congratulated);
                QCOMPARE(form.tileCount(), 0);
                ++wins;
                continue;
            }
            QCOMPARE(QList<int>(form.board().TileOrder.begin(), form.board().TileOrder.end()),
                     model);
            for (int i = 1; i <= pieces; ++i)
                QCOMPARE(form.Picture1(i)->geometry(), puzzle::slotRect(form.board(), model[i]));
        }
        qInfo("%d wins in %d drops", wins, drops);
        if (pieces == 4)
            QVERIFY(wins > 0);
    }
};

QTEST_MAIN(TestPlay)
#include "tst_play.moc"

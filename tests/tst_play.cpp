// Playing with the mouse: dragging painted tiles onto each other, and the solving drop.
#include "testsupport.h"
#include "windows/application.h"
#include "windows/form1.h"
#include "windows/picturebox.h"

#include <QAccessible>
#include <QPaintEvent>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Presses at a window point, moves and releases at another, as a player drags. The box keeps
// the mouse from the press to the release, wherever the release is.
void drag(Form1 &form, QPoint from, QPoint to)
{
    PictureBox *box = form.Picture1();
    QTest::mousePress(box, Qt::LeftButton, {}, box->mapFrom(&form, from));
    QTest::mouseMove(box, box->mapFrom(&form, to));
    QTest::mouseRelease(box, Qt::LeftButton, {}, box->mapFrom(&form, to));
}

// Collects the areas the box repaints.
struct PaintWatch : QObject
{
    QRegion painted;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            painted += static_cast<QPaintEvent *>(event)->region();
        return false;
    }
};

} // namespace

class TestPlay : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }

    // Where a tile of a shuffled board is released, and which tile must have changed places
    // with it. Only the two slots of a swap are repainted, and the window then shows every
    // tile at its slot. (Which tile a point is on is the board's own rule, tested there.)
    void dropOnto_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::addColumn<int>("from"); // 0: a press on the picture's uncovered sliver
        QTest::addColumn<int>("onto"); // a tile; 0: the point at
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<int>("swappedWith"); // 0: nothing changes

        QTest::newRow("another tile") << 16 << 3 << 7 << QPoint() << 7;
        QTest::newRow("itself") << 16 << 3 << 3 << QPoint() << 0;
        QTest::newRow("the background") << 16 << 3 << 0 << QPoint(600, 500) << 0;
        QTest::newRow("a command button") << 16 << 3 << 0 << QPoint(464, 24) << 0;
        QTest::newRow("outside the window") << 16 << 3 << 0 << QPoint(-30, 700) << 0;
        QTest::newRow("the whole picture is not draggable") << 16 << 0 << 5 << QPoint() << 0;
        QTest::newRow("10000: onto a tile wholly below the picture")
            << 10000 << 1 << 9901 << QPoint() << 9901;
    }
    void dropOnto()
    {
        QFETCH(int, pieces);
        QFETCH(int, from);
        QFETCH(int, onto);
        QFETCH(QPoint, at);
        QFETCH(int, swappedWith);

        Form1 form;
        form.setRandomSource(puzzle::seededRandom(5));
        QVERIFY(showAndWait(&form));
        const QImage before = screen(&form);
        startGame(form, QString::number(pieces));
        QCOMPARE(form.tileCount(), pieces);
        const QPoint press = from ? tileCentre(form, from) : QPoint(100, 417);
        const QPoint to = onto ? tileCentre(form, onto) : at;

        QList<qint16> order = form.board().TileOrder;
        QRegion swappedSlots;
        if (swappedWith) {
            std::swap(order[from], order[swappedWith]);
            for (int tile : {from, swappedWith})
                swappedSlots += form.Picture1()->tileRect(tile);
        }
        QTest::qWait(20); // the start's own painting
        PaintWatch watch;
        form.Picture1()->installEventFilter(&watch);
        drag(form, press, to);
        QTest::qWait(0);
        QCOMPARE(watch.painted, swappedSlots);

        QCOMPARE(form.board().TileOrder, order);
        QCOMPARE(form.tileCount(), pieces);
        QVERIFY(!child(&form, "Command1")->isEnabled());
        QCOMPARE(QApplication::overrideCursor(), nullptr);
        const QRect board = form.Picture1()->geometry();
        QCOMPARE(screen(&form, board), paintedTiles(form, before).copy(board));
    }

    // The solving drop congratulates, removes every tile, gives Start back and shows the
    // whole picture; a new game can start at once, again and again, and leaves nothing behind.
    void solvingDrop_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::newRow("4") << 4;
        QTest::newRow("16, uncovered slivers") << 16;
        QTest::newRow("49, tiles overlap by a pixel") << 49;
    }
    void solvingDrop()
    {
        QFETCH(int, pieces);
        Form1 form;
        QVERIFY(showAndWait(&form));
        const QImage before = screen(&form);
        qsizetype widgets = -1; // live after the first game: no more after the second
        for (int round = 0; round < 2; ++round) {
            // Draws that make the shuffle swap (1, 2) once and leave everything else: N pairs,
            // the first (1, 2), the rest (1, 1).
            auto drawn = std::make_shared<int>(0);
            form.setRandomSource(
                [n = pieces, drawn] { return (*drawn)++ % (2 * n) == 1 ? 1.0 / n : 0.0; });
            startGame(form, QString::number(pieces));
            QCOMPARE(form.board().TileOrder[1], 2);

            QStringList seen; // title, text, buttons
            QMessageBox::Icon icon = QMessageBox::NoIcon;
            QImage during, expected;
            onNextModal([&](QWidget *w) {
                auto *box = qobject_cast<QMessageBox *>(w);
                icon = box->icon();
                seen = {box->windowTitle(), box->text()};
                for (QAbstractButton *b : box->buttons())
                    seen.append(b->text());
                const QRect board = form.Picture1()->geometry();
                during = screen(&form, board);
                expected = paintedTiles(form, before).copy(board);
                QTest::keyClick(box, Qt::Key_Return);
            });
            drag(form, tileCentre(form, 1), tileCentre(form, 2));
            QCOMPARE(seen, (QStringList{u"完成"_s, u"恭喜你成功了"_s, u"確定"_s}));
            QCOMPARE(icon, QMessageBox::Warning);
            // The solved tiles show during the message; they go after it.
            QCOMPARE(during, expected);
            QCOMPARE(form.tileCount(), 0);
            QVERIFY(child(&form, "Command1")->isEnabled());
            const QRect picture = form.Picture1()->geometry();
            QCOMPARE(picture.size(), QSize(354, 354));
            QCOMPARE(screen(&form, picture), before.copy(picture));
            QCOMPARE(QApplication::overrideCursor(), nullptr);
            settle();
            QVERIFY(widgets < 0 || QApplication::allWidgets().size() == widgets);
            widgets = QApplication::allWidgets().size();
        }
    }

    // Keys alone (a whole game by keys is the end-to-end test's): Return on Start, arrows over
    // the slots, Space or Enter picks a tile up and puts it down on another, Escape puts it
    // down unmoved. A screen reader names every tile and the one held. After the win the
    // focus goes to Start, never to End by itself; a cancelled count leaves it on loading.
    void keyboardPlay()
    {
        Form1 form;
        auto drawn = std::make_shared<int>(0); // the shuffle swaps tiles 1 and 2, nothing else
        form.setRandomSource([drawn] { return (*drawn)++ % 18 == 1 ? 1.0 / 9 : 0.0; });
        QVERIFY(showAndWait(&form, true));
        const auto key = [](Qt::Key code) { QTest::keyClick(QApplication::focusWidget(), code); };
        onNextModal([](QWidget *ask) {
            QTest::keyClicks(ask->focusWidget(), u"9"_s);
            QTest::keyClick(ask->focusWidget(), Qt::Key_Return);
        });
        key(Qt::Key_Return); // on Start, which has the focus
        PictureBox *box = form.Picture1();
        QCOMPARE(form.tileCount(), 9);
        QVERIFY(showAndWait(&form, true)); // active again (offscreen has no window manager)
        QCOMPARE(QApplication::focusWidget(), box);

        QList<int> visited{box->focusSlot()};
        for (Qt::Key k : {Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Down, Qt::Key_Left,
                          Qt::Key_Up, Qt::Key_Up, Qt::Key_Left}) {
            key(k);
            visited.append(box->focusSlot());
        }
        QCOMPARE(visited, (QList<int>{1, 2, 3, 3, 6, 5, 2, 2, 1})); // held at the edges
        QAccessibleInterface *board = QAccessible::queryAccessibleInterface(box);
        QCOMPARE(board->text(QAccessible::Name), u"拼圖圖片"_s);
        QCOMPARE(board->childCount(), 9);
        const QString name = u"第 2 塊，在第 1 列第 1 欄"_s; // tile 2 lies in slot 1
        QCOMPARE(board->child(1)->text(QAccessible::Name), name);
        key(Qt::Key_Space);
        QCOMPARE(box->heldTile(), 2);
        QCOMPARE(board->child(1)->text(QAccessible::Name), name + u"，已拿起"_s);
        key(Qt::Key_Escape);
        QCOMPARE(box->heldTile(), 0);
        QCOMPARE(form.board().TileOrder[2], 1);
        key(Qt::Key_Enter);
        QCOMPARE(box->heldTile(), 2);

        bool won = false;
        onNextModal([&won](QWidget *message) {
            won = true;
            QTest::keyClick(message, Qt::Key_Return);
        });
        key(Qt::Key_Right);
        key(Qt::Key_Space); // onto tile 1, lying in slot 2: solved
        QVERIFY(won);
        QCOMPARE(form.tileCount(), 0);
        QCOMPARE(board->childCount(), 0);
        QCOMPARE(form.focusWidget(), child(&form, "Command1"));
        QVERIFY(showAndWait(&form, true));
        onNextModal([](QWidget *ask) { QTest::keyClick(ask, Qt::Key_Escape); });
        key(Qt::Key_Return);
        QCOMPARE(form.focusWidget(), child(&form, "Command4"));
    }
};

QTEST_MAIN(TestPlay)
#include "tst_play.moc"

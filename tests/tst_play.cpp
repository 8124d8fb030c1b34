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

    // A peek shows the whole picture while P or the right button is held, whatever the player
    // is doing: a tile held by the mouse or by the keys stays held, the focus stays, and the
    // drop after the peek is a move as without it. A screen reader hears the whole picture.
    void peek_data()
    {
        QTest::addColumn<bool>("byKey");  // P, else the right button
        QTest::addColumn<bool>("byKeys"); // the tile is held by the keys, else by the mouse
        QTest::newRow("P, a tile held by the mouse") << true << false;
        QTest::newRow("P, a tile held by the keys") << true << true;
        QTest::newRow("right button, a tile held by the keys") << false << true;
        QTest::newRow("right button, a tile held by the mouse") << false << false;
    }
    void peek()
    {
        QFETCH(bool, byKey);
        QFETCH(bool, byKeys);
        Form1 form;
        form.setRandomSource(puzzle::seededRandom(11));
        QVERIFY(showAndWait(&form, true));
        PictureBox *box = form.Picture1();
        const QRect picture(QPoint(0, 0), box->pictureSize());
        const QImage whole = screen(box, picture);
        startGame(form, u"16"_s);
        QVERIFY(showAndWait(&form, true));
        QCOMPARE(QApplication::focusWidget(), box);
        const int tile = box->tileInSlot(1), other = box->tileInSlot(2);
        if (byKeys)
            QTest::keyClick(box, Qt::Key_Space);
        else
            QTest::mousePress(box, Qt::LeftButton, {}, box->tileRect(tile).center());
        QCOMPARE(box->heldTile(), tile);
        const QImage tiles = screen(box);
        QAccessibleInterface *board = QAccessible::queryAccessibleInterface(box);

        const QPoint somewhere = box->tileRect(other).center();
        if (byKey)
            QTest::keyPress(box, Qt::Key_P);
        else
            QTest::mousePress(box, Qt::RightButton, {}, somewhere);
        QVERIFY(box->isPeeking());
        QCOMPARE(screen(box, picture), whole);
        QCOMPARE(board->text(QAccessible::Name), u"拼圖圖片，正在顯示整張圖片"_s);
        QCOMPARE(board->focusChild(), nullptr);
        if (byKey)
            QTest::keyRelease(box, Qt::Key_P);
        else
            QTest::mouseRelease(box, Qt::RightButton, {}, somewhere);
        QVERIFY(!box->isPeeking());
        QCOMPARE(screen(box), tiles);
        QCOMPARE(box->heldTile(), tile);
        QCOMPARE(box->focusSlot(), 1);
        QCOMPARE(board->text(QAccessible::Name), u"拼圖圖片"_s);

        if (byKeys) {
            QTest::keyClick(box, Qt::Key_Right);
            QTest::keyClick(box, Qt::Key_Space);
        } else {
            QTest::mouseRelease(box, Qt::LeftButton, {}, box->tileRect(other).center());
        }
        QCOMPARE(form.board().TileOrder[tile], 2);
        QCOMPARE(form.board().TileOrder[other], 1);
    }

    // Ctrl+Z takes back drags and keyboard moves alike, back to the start of the game, wherever
    // the focus is; Ctrl+Shift+Z and Ctrl+Y play them again. The window shows each board.
    void undoRedo()
    {
        Form1 form;
        form.setRandomSource(puzzle::seededRandom(12));
        QVERIFY(showAndWait(&form, true));
        const QImage before = screen(&form);
        startGame(form, u"16"_s);
        QVERIFY(showAndWait(&form, true));
        PictureBox *box = form.Picture1();
        QList<QList<qint16>> orders{form.board().TileOrder};
        QTest::keyClick(box, Qt::Key_Space); // slot 1 onto slot 2, by keys
        QTest::keyClick(box, Qt::Key_Right);
        QTest::keyClick(box, Qt::Key_Space);
        orders.append(form.board().TileOrder);
        drag(form, tileCentre(form, 3), tileCentre(form, 7));
        orders.append(form.board().TileOrder);
        QCOMPARE(orders.size(), 3);
        QVERIFY(orders[0] != orders[1] && orders[1] != orders[2]);

        QWidget *start = child(&form, "Command2"); // the focus on a button now
        start->setFocus();
        const QRect area = box->geometry();
        const auto shows = [&](int step) {
            return form.board().TileOrder == orders[step] &&
                   screen(&form, area) == paintedTiles(form, before).copy(area);
        };
        const auto press = [start](QKeyCombination key) {
            QTest::keyClick(start, key.key(), key.keyboardModifiers());
        };
        press(Qt::ControlModifier | Qt::Key_Z);
        QVERIFY(shows(1));
        press(Qt::ControlModifier | Qt::Key_Z);
        QVERIFY(shows(0));
        press(Qt::ControlModifier | Qt::Key_Z); // nothing before the start
        QVERIFY(shows(0));
        press(Qt::ControlModifier | Qt::ShiftModifier | Qt::Key_Z);
        QVERIFY(shows(1));
        press(Qt::ControlModifier | Qt::Key_Y);
        QVERIFY(shows(2));
        press(Qt::ControlModifier | Qt::Key_Y); // nothing left to redo
        QVERIFY(shows(2));
        QCOMPARE(form.tileCount(), 16);
    }

    // H marks every tile in its own slot, on a light and on a dark picture, and no other tile;
    // H again takes the marks away. A screen reader hears how many are home, and a home tile's
    // name says so. (Run at scale 2 too.)
    void marks_data()
    {
        QTest::addColumn<QColor>("colour");
        QTest::newRow("white picture") << QColor(Qt::white);
        QTest::newRow("black picture") << QColor(Qt::black);
    }
    void marks()
    {
        QFETCH(QColor, colour);
        QImage plain(300, 300, QImage::Format_RGB32);
        plain.fill(colour);
        Form1 form;
        form.setRandomSource([] { return 0.0; }); // unshuffled: every tile at home
        QVERIFY(showAndWait(&form, true));
        form.setPicture(plain);
        startGame(form, u"9"_s);
        drag(form, tileCentre(form, 1), tileCentre(form, 5)); // 1 and 5 leave home
        QVERIFY(showAndWait(&form, true));
        PictureBox *box = form.Picture1();
        box->setFocus();
        const QImage before = screen(box);
        QTest::keyClick(box, Qt::Key_H);
        QVERIFY(box->marksShown());
        const QImage marked = screen(box);
        const qreal density = box->devicePixelRatioF();
        for (int tile = 1; tile <= 9; ++tile) {
            // The mark's corner of the tile, in the grab's pixels, off the focus frame's lines.
            const QRect tileArea = box->tileRect(tile);
            const QRect corner(tileArea.topLeft() + QPoint(3, 3), tileArea.size() / 2);
            int light = 0, dark = 0, changed = 0;
            for (int y = int(corner.top() * density); y < int(corner.bottom() * density); ++y) {
                for (int x = int(corner.left() * density); x < int(corner.right() * density); ++x) {
                    const QColor c = marked.pixelColor(x, y);
                    changed += c != before.pixelColor(x, y);
                    light += c.lightness() > 200;
                    dark += c.lightness() < 80;
                }
            }
            const bool home = tile != 1 && tile != 5;
            QVERIFY2(home ? light > 0 && dark > 0 && changed > 20 : changed == 0,
                     qPrintable(u"tile %1: %2 changed, %3 light, %4 dark"_s.arg(tile)
                                    .arg(changed)
                                    .arg(light)
                                    .arg(dark)));
        }
        QAccessibleInterface *board = QAccessible::queryAccessibleInterface(box);
        QVERIFY(board->child(2)->text(QAccessible::Name).endsWith(u"，在正確位置"_s));
        QVERIFY(!board->child(0)->text(QAccessible::Name).contains(u"正確位置"_s));
        const int focused = box->tileInSlot(box->focusSlot());
        QVERIFY2(board->child(focused - 1)
                     ->text(QAccessible::Name)
                     .endsWith(u"標出在正確位置的圖塊：9 塊中有 7 塊"_s),
                 qPrintable(board->child(focused - 1)->text(QAccessible::Name)));
        QTest::keyClick(box, Qt::Key_H);
        QVERIFY(!box->marksShown());
        QCOMPARE(screen(box), before);
        QVERIFY(!board->child(2)->text(QAccessible::Name).contains(u"正確位置"_s));
    }

    // F1 lists the keys of the game in a message box, wherever the focus is, in a game or not.
    void helpKey()
    {
        Form1 form;
        QVERIFY(showAndWait(&form, true));
        for (const bool game : {false, true}) {
            if (game) {
                startGame(form, u"9"_s);
                QVERIFY(showAndWait(&form, true));
            }
            QWidget *focused = QApplication::focusWidget();
            QString title, text;
            onNextModal([&](QWidget *w) {
                auto *box = qobject_cast<QMessageBox *>(w);
                title = box ? box->windowTitle() : QString();
                text = box ? box->text() : QString();
                QTest::keyClick(w, Qt::Key_Return);
            });
            QTest::keyClick(focused, Qt::Key_F1);
            QCOMPARE(title, u"按鍵說明"_s);
            for (const QString &key : {u"方向鍵"_s, u"空白鍵或 Enter"_s, u"Esc"_s, u"Ctrl+Z"_s,
                                       u"Ctrl+Shift+Z 或 Ctrl+Y"_s, u"按住 P"_s, u"H："_s, u"F1"_s,
                                       u"右鍵"_s, u"Ctrl+V"_s, u"拖到視窗上"_s})
                QVERIFY2(text.contains(key), qPrintable(key));
            QCOMPARE(form.tileCount(), game ? 9 : 0);
        }
    }
};

QTEST_MAIN(TestPlay)
#include "tst_play.moc"

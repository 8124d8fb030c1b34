// Playing: dragging tiles onto each other with the mouse, and the solving drop.
#include "application.h"
#include "form1.h"
#include "picturebox.h"
#include "testsupport.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Presses on the widget, moves and releases at a point of the window, as a player drags.
void drag(Form1 &form, QWidget *from, QPoint to)
{
    QTest::mousePress(from, Qt::LeftButton, {}, from->rect().center());
    QTest::mouseMove(from, from->mapFrom(&form, to));
    QTest::mouseRelease(from, Qt::LeftButton, {}, from->mapFrom(&form, to));
}

QPoint centre(QWidget *w) { return w->geometry().center(); }

QList<QRect> tileGeometries(const Form1 &form)
{
    QList<QRect> out;
    for (int i = 1; i <= form.tileCount(); ++i)
        out.append(form.Picture1(i)->geometry());
    return out;
}

} // namespace

class TestPlay : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { setUpApplication(*qApp); }

    // Where the dragged tile (0: the whole picture) is released, and which tile must have
    // changed places with it.
    void dropOnto_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::addColumn<int>("from");
        QTest::addColumn<QString>("target"); // a tile, a button, or else the point at
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<int>("swappedWith"); // 0: nothing changes

        // 16 pieces: 88.5-pixel columns leave gaps; 88-pixel rows leave a sliver.
        QTest::newRow("another tile") << 16 << 3 << "tile 7" << QPoint() << 7;
        QTest::newRow("itself") << 16 << 3 << "tile 3" << QPoint() << 0;
        QTest::newRow("the background") << 16 << 3 << "" << QPoint(600, 500) << 0;
        QTest::newRow("a command button") << 16 << 3 << "Command4" << QPoint() << 0;
        QTest::newRow("the start button") << 16 << 3 << "Command1" << QPoint() << 0;
        QTest::newRow("gap between columns") << 16 << 3 << "" << QPoint(208, 100) << 0;
        QTest::newRow("sliver below the tiles") << 16 << 3 << "" << QPoint(100, 417) << 0;
        QTest::newRow("outside the window") << 16 << 3 << "" << QPoint(-30, 700) << 0;
        QTest::newRow("the whole picture is not draggable") << 16 << 0 << "tile 5" << QPoint() << 0;
        QTest::newRow("one piece, never won") << 1 << 1 << "tile 1" << QPoint() << 0;
    }
    void dropOnto()
    {
        QFETCH(int, pieces);
        QFETCH(int, from);
        QFETCH(QString, target);
        QFETCH(QPoint, at);
        QFETCH(int, swappedWith);

        Form1 form;
        QVERIFY(showAndWait(&form));
        startGame(form, QString::number(pieces));
        QCOMPARE(form.tileCount(), pieces);
        const int onto = target.startsWith(u"tile"_s) ? target.mid(5).toInt() : 0;
        QWidget *aim = onto ? form.Picture1(onto) : form.findChild<QWidget *>(target);
        const QPoint to = aim ? centre(aim) + (onto == from ? QPoint(20, 20) : QPoint()) : at;
        // The uncovered places really show the whole picture.
        if (at == QPoint(208, 100) || at == QPoint(100, 417))
            QCOMPARE(form.childAt(to), form.Picture1(0));

        QList<qint16> order = form.board().TileOrder;
        QList<QRect> places = tileGeometries(form);
        bool messageShown = false;
        const QPointer<QTimer> watch = onNextModal([&](QWidget *w) {
            messageShown = true;
            w->close();
        });
        drag(form, form.Picture1(from), to);
        delete watch;

        if (swappedWith) {
            std::swap(order[from], order[swappedWith]);
            std::swap(places[from - 1], places[swappedWith - 1]);
            QCOMPARE(form.board().DragIndex, from);
            QCOMPARE(int(form.board().DropIndex), swappedWith);
        }
        QCOMPARE(form.board().TileOrder, order);
        QCOMPARE(tileGeometries(form), places);
        QCOMPARE(form.tileCount(), pieces);
        QVERIFY(!child(&form, "Command1")->isEnabled());
        QVERIFY2(!messageShown || form.board().CheckOrder(), "no message while unsolved");
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
        QVERIFY(showAndWait(&form));
        for (int round = 0; round < 2; ++round) {
            // Draws that make the shuffle swap (1, 2) once and leave everything else: N pairs,
            // the first (1, 2), the rest (1, 1).
            auto drawn = std::make_shared<int>(0);
            form.setRandomSource(
                [n = pieces, drawn] { return (*drawn)++ % (2 * n) == 1 ? 1.0 / n : 0.0; });
            startGame(form, QString::number(pieces));
            QCOMPARE(form.board().TileOrder[1], 2);
            QVERIFY(!form.board().CheckOrder());

            QStringList seen; // title, text, buttons
            QMessageBox::Icon icon = QMessageBox::NoIcon;
            int tilesDuringMessage = -1;
            onNextModal([&](QWidget *w) {
                auto *box = qobject_cast<QMessageBox *>(w);
                icon = box->icon();
                seen = {box->windowTitle(), box->text()};
                for (QAbstractButton *b : box->buttons())
                    seen.append(b->text());
                tilesDuringMessage = form.tileCount();
                QTest::keyClick(box, Qt::Key_Return);
            });
            drag(form, form.Picture1(1), centre(form.Picture1(2)));
            QCOMPARE(seen, (QStringList{u"完成"_s, u"恭喜你成功了"_s, u"確定"_s}));
            QCOMPARE(icon, QMessageBox::Warning);
            QCOMPARE(tilesDuringMessage, pieces); // the tiles go after the message
            QCOMPARE(form.tileCount(), 0);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCOMPARE(form.findChildren<PictureBox *>().size(), 1);
            QVERIFY(child(&form, "Command1")->isEnabled());
            QCOMPARE(form.childAt(QPoint(40, 70)), form.Picture1(0));
            QCOMPARE(screen(&form, form.Picture1(0)->geometry()), form.Picture1(0)->picture());
            QCOMPARE(QApplication::overrideCursor(), nullptr);
        }
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
        QVERIFY(showAndWait(&form));

        QList<int> model;
        int wins = 0;
        for (int d = 0; d < drops; ++d) {
            if (form.tileCount() == 0) {
                startGame(form, QString::number(pieces));
                model = QList<int>(form.board().TileOrder.begin(), form.board().TileOrder.end());
            }
            const int k = 1 + int(rng.bounded(pieces)), t = 1 + int(rng.bounded(pieces));
            std::swap(model[k], model[t]);
            bool solved = k != t;
            for (int i = 1; i <= pieces; ++i)
                solved = solved && model[i] == i;
            bool congratulated = false;
            if (solved) {
                onNextModal([&](QWidget *w) {
                    congratulated = true;
                    qobject_cast<QMessageBox *>(w)->button(QMessageBox::Ok)->click();
                });
            }
            drag(form, form.Picture1(k), centre(form.Picture1(t)));
            QCOMPARE(congratulated, solved);
            if (solved) {
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

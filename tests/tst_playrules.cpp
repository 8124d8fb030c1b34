// The rules of play without a window: what each key means, and undo and redo against a model
// that replays the moves still standing.
#include "puzzle/play.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>

using namespace puzzle;

namespace {

// A 3 x 3 board whose slot s holds tile 10 - s: the tile in a slot is never the slot's number,
// so a test that mixes the two fails.
BoardState reversed3x3()
{
    BoardState b;
    b.GridSide = 3;
    b.setOrder({0, 9, 8, 7, 6, 5, 4, 3, 2, 1});
    return b;
}

QList<qint16> order(const BoardState &b) { return b.TileOrder; }

// A game of pieces tiles started from a fixed shuffle.
Game started(int pieces, quint64 seed)
{
    Game game;
    const int side = int(std::lround(std::sqrt(pieces)));
    newGame(game, QString::number(pieces), pieces, qint16(side), {32, 64, 354, 354},
            seededRandom(seed));
    return game;
}

} // namespace

Q_DECLARE_METATYPE(KeyMeaning)

class TestPlayRules : public QObject
{
    Q_OBJECT
private slots:
    void interpretKey_data()
    {
        QTest::addColumn<QKeyCombination>("key");
        QTest::addColumn<int>("focus");
        QTest::addColumn<int>("held"); // a slot
        QTest::addColumn<bool>("game");
        QTest::addColumn<KeyMeaning>("meaning");
        const auto row = [](const char *name, QKeyCombination key, int focus, int held,
                            KeyMeaning meaning, bool game = true) {
            QTest::newRow(name) << key << focus << held << game << meaning;
        };
        const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, shift = Qt::ShiftModifier;
        row("Left", Qt::Key_Left, 5, 0, {Action::Focus, 4, {}});
        row("Right", Qt::Key_Right, 5, 0, {Action::Focus, 6, {}});
        row("Up", Qt::Key_Up, 5, 0, {Action::Focus, 2, {}});
        row("Down", Qt::Key_Down, 5, 0, {Action::Focus, 8, {}});
        row("Left at the left edge", Qt::Key_Left, 4, 0, {Action::Focus, 4, {}});
        row("Up at the top", Qt::Key_Up, 1, 0, {Action::Focus, 1, {}});
        row("Right at the right edge", Qt::Key_Right, 9, 0, {Action::Focus, 9, {}});
        row("Down at the bottom", Qt::Key_Down, 8, 0, {Action::Focus, 8, {}});
        row("Ctrl+Left, as before", ctrl | Qt::Key_Left, 5, 0, {Action::Focus, 4, {}});
        row("arrow with a tile held", Qt::Key_Down, 5, 2, {Action::Focus, 8, {}});
        row("Space picks up", Qt::Key_Space, 5, 0, {Action::PickUp, 5, {}});
        row("Return picks up", Qt::Key_Return, 3, 0, {Action::PickUp, 3, {}});
        row("keypad Enter picks up", Qt::KeypadModifier | Qt::Key_Enter, 3, 0,
            {Action::PickUp, 3, {}});
        // Slot 2 holds tile 8 and slot 5 tile 5: the held tile is dropped onto the focused one.
        row("Space drops the held tile", Qt::Key_Space, 5, 2, {Action::Play, 5, {8, 5}});
        row("Return drops it", Qt::Key_Return, 1, 9, {Action::Play, 1, {1, 9}});
        row("Space on its own slot puts it down", Qt::Key_Space, 2, 2, {Action::PutDown, 2, {}});
        row("Escape puts it down", Qt::Key_Escape, 5, 2, {Action::PutDown, 2, {}});
        row("Escape with nothing held", Qt::Key_Escape, 5, 0, {});
        row("Ctrl+Z", ctrl | Qt::Key_Z, 5, 0, {Action::Undo, 0, {}});
        row("Ctrl+Z with a tile held", ctrl | Qt::Key_Z, 5, 2, {Action::Undo, 0, {}});
        row("Ctrl+Shift+Z", ctrl | shift | Qt::Key_Z, 5, 0, {Action::Redo, 0, {}});
        row("Ctrl+Y", ctrl | Qt::Key_Y, 5, 0, {Action::Redo, 0, {}});
        row("Z alone", Qt::Key_Z, 5, 0, {});
        row("Ctrl+Alt+Z", ctrl | Qt::AltModifier | Qt::Key_Z, 5, 0, {});
        row("Ctrl+Shift+Y", ctrl | shift | Qt::Key_Y, 5, 0, {});
        row("P", Qt::Key_P, 5, 0, {Action::Peek, 0, {}});
        row("Shift+P", shift | Qt::Key_P, 5, 0, {Action::Peek, 0, {}});
        row("Ctrl+P", ctrl | Qt::Key_P, 5, 0, {});
        row("H", Qt::Key_H, 5, 0, {Action::Marks, 0, {}});
        row("Alt+H", Qt::AltModifier | Qt::Key_H, 5, 0, {});
        row("F1", Qt::Key_F1, 5, 0, {Action::Help, 0, {}});
        row("another key", Qt::Key_A, 5, 0, {});
        row("F1 without a game", Qt::Key_F1, 0, 0, {Action::Help, 0, {}}, false);
        row("Space without a game", Qt::Key_Space, 0, 0, {}, false);
        row("Ctrl+Z without a game", ctrl | Qt::Key_Z, 0, 0, {}, false);
        row("P without a game", Qt::Key_P, 0, 0, {}, false);
        row("focus off the board", Qt::Key_Space, 10, 0, {});
        row("held off the board", Qt::Key_Space, 5, 10, {});
    }
    void interpretKey()
    {
        QFETCH(QKeyCombination, key);
        QFETCH(int, focus);
        QFETCH(int, held);
        QFETCH(bool, game);
        QFETCH(KeyMeaning, meaning);
        const KeyMeaning got =
            puzzle::interpretKey(game ? reversed3x3() : BoardState(), key, focus, held);
        QCOMPARE(int(got.action), int(meaning.action));
        QCOMPARE(got.slot, meaning.slot);
        QCOMPARE(got.move.tile, meaning.move.tile);
        QCOMPARE(got.move.other, meaning.move.other);
    }

    // Random moves, undos and redos against a model: the moves standing and those taken back.
    // After each step the board is what replaying the standing moves on the shuffled board
    // gives; a solving move ends the game, and nothing of it can be taken back.
    void undoRedoAgainstModel_data()
    {
        QTest::addColumn<int>("pieces");
        QTest::newRow("4 pieces, often solved") << 4;
        QTest::newRow("16 pieces") << 16;
        QTest::newRow("10000 pieces") << 10000;
    }
    void undoRedoAgainstModel()
    {
        QFETCH(int, pieces);
        QRandomGenerator rng(77 + pieces);
        quint64 seed = 1;
        Game game = started(pieces, seed);
        QList<qint16> shuffled = order(game.board);
        QList<Move> standing, takenBack;
        int solved = 0;
        for (int step = 0; step < 4000; ++step) {
            const int what = int(rng.bounded(5)); // moves twice as often as undos or redos
            std::optional<Played> played;
            if (what < 2) {
                const auto tile = qint16(1 + rng.bounded(pieces));
                const auto other = qint16(1 + (tile + rng.bounded(pieces - 1)) % pieces);
                played = play(game, {tile, other});
                standing.append({tile, other});
                takenBack.clear();
            } else if (what == 3) {
                played = undo(game);
                QCOMPARE(played.has_value(), !standing.isEmpty());
                if (played) {
                    QCOMPARE(played->move, standing.last());
                    takenBack.append(standing.takeLast());
                }
            } else {
                played = redo(game);
                QCOMPARE(played.has_value(), !takenBack.isEmpty());
                if (played) {
                    QCOMPARE(played->move, takenBack.last());
                    standing.append(takenBack.takeLast());
                }
            }
            BoardState replayed;
            replayed.setOrder(shuffled);
            for (const Move &m : std::as_const(standing))
                replayed.Swap(m.tile, m.other);
            QCOMPARE(order(game.board), order(replayed));
            const bool over = played && played->result == MoveResult::Solved;
            // (A shuffle may leave the board in order: only a move tells it is solved.)
            if (played)
                QCOMPARE(over, game.board.CheckOrder());
            QCOMPARE(game.history.standing(), over ? QList<Move>() : standing);
            if (over) {
                QVERIFY(!undo(game) && !redo(game)); // the solving move cannot be undone
                ++solved;
                game = started(pieces, ++seed);
                shuffled = order(game.board);
                standing.clear();
                takenBack.clear();
            }
        }
        QVERIFY(pieces > 4 || solved > 0);
    }

    // A new game starts with no moves behind it, whatever the last one left.
    void newGameClearsHistory()
    {
        Game game = started(9, 3);
        play(game, {1, 2});
        play(game, {3, 4});
        undo(game);
        QCOMPARE(game.history.standing().size(), 1);
        newGame(game, QStringLiteral("16"), 16, 4, {32, 64, 354, 354}, seededRandom(4));
        QVERIFY(game.history.standing().isEmpty());
        QVERIFY(!undo(game));
        QVERIFY(!redo(game));
    }

    // A move played after an undo drops what could have been redone.
    void newMoveDropsRedo()
    {
        Game game = started(9, 5);
        play(game, {1, 2});
        play(game, {3, 4});
        QVERIFY(undo(game));
        play(game, {5, 6});
        QVERIFY(!redo(game));
        QCOMPARE(game.history.standing(), (QList<Move>{{1, 2}, {5, 6}}));
    }
};

QTEST_APPLESS_MAIN(TestPlayRules)
#include "tst_playrules.moc"

// The rules of play: what a player's input means, a move applied to the board, and the moves
// of a game kept for undo and redo. The window only draws and forwards what the player does.
#pragma once

#include "boardstate.h"
#include "gamestart.h"

#include <QKeyCombination>
#include <QList>

#include <optional>

namespace puzzle {

// Two different tiles exchange their slots. Played twice it changes nothing, so taking a move
// back is playing it again.
struct Move
{
    qint16 tile = 0;  // the tile the player moved
    qint16 other = 0; // the tile it was dropped onto
    friend bool operator==(const Move &, const Move &) = default;
};

// The move a drop of tile source onto tile target means; none for a drop onto itself, onto no
// tile (0) or off the board.
std::optional<Move> moveForDrop(const BoardState &board, int source, int target);

enum class MoveResult {
    Swapped, // the two tiles exchanged slots
    Solved,  // they did, and now every tile is home
};

// Plays move: records DragIndex and DropIndex, swaps the two tiles and checks the order.
MoveResult play(BoardState &board, Move move);

// What a key means while the keyboard's focus is on slot focusSlot (1..N) and the tile in
// heldSlot is held (0: none).
enum class Action {
    None,
    Focus,   // the focus goes to slot
    PickUp,  // the tile in slot is picked up
    PutDown, // the held tile is put down where it is
    Play,    // move: the held tile is dropped onto the tile in the focused slot
    Undo,    // the last move is taken back
    Redo,    // the last move taken back is played again
    Peek,    // the whole picture shows while the key is held
    Marks,   // the marks on tiles in their own slot turn on or off
    Help,    // the keys of the game are listed
};
struct KeyMeaning
{
    Action action = Action::None;
    int slot = 0;
    Move move;
    friend bool operator==(const KeyMeaning &, const KeyMeaning &) = default;
};

// Arrows move the focus (never off the board); Space, Return or Enter pick the focused tile up
// or drop the held one there (onto itself: put down); Escape puts it down. Ctrl+Z undoes,
// Ctrl+Shift+Z and Ctrl+Y redo, P peeks and H marks (without Ctrl, Alt or Meta), F1 helps.
// The arrows and the keys that pick up and drop take any modifiers, as they always have. With
// no game on the board only F1 means anything.
KeyMeaning interpretKey(const BoardState &board, QKeyCombination key, int focusSlot, int heldSlot);

// The moves of a game in the order played, and how many of them stand: the others were taken
// back and can be played again until a new move is made.
class History
{
public:
    void clear();
    // A move played: the moves taken back are gone.
    void record(Move move);
    // The move that takes the last standing one back; none when none stands.
    std::optional<Move> undo();
    // The last move taken back, to be played again; none when there is none.
    std::optional<Move> redo();
    // The standing moves, in the order played.
    QList<Move> standing() const { return m_moves.first(m_standing); }

private:
    QList<Move> m_moves;
    qsizetype m_standing = 0;
};

// One game: its board and, beside it, its moves.
struct Game
{
    BoardState board;
    History history;
};

// A new game: the board filled as fillBoard() fills it, and no moves behind it.
void newGame(Game &game, const QString &entry, int pieces, qint16 gridSide, const PicturePlace &box,
             const UniformRandom &random);

// A move played, taken back or played again; the move that was played, and what it did. The
// solving move ends the game: nothing of it can be taken back.
struct Played
{
    Move move;
    MoveResult result;
};
Played play(Game &game, Move move);
std::optional<Played> undo(Game &game);
std::optional<Played> redo(Game &game);

} // namespace puzzle

#include "play.h"

namespace puzzle {

std::optional<Move> moveForDrop(const BoardState &board, int source, int target)
{
    const int n = board.pieces();
    if (source < 1 || source > n || target < 1 || target > n || source == target)
        return std::nullopt;
    return Move{qint16(source), qint16(target)};
}

MoveResult play(BoardState &board, Move move)
{
    board.DragIndex = move.tile;
    board.DropIndex = move.other;
    board.Swap(move.tile, move.other);
    return board.CheckOrder() ? MoveResult::Solved : MoveResult::Swapped;
}

namespace {

KeyMeaning means(Action action, int slot = 0, Move move = {}) { return {action, slot, move}; }

// The slot next to slot in the direction of an arrow key, or slot itself at the board's edge.
int neighbour(const BoardState &board, int slot, Qt::Key arrow)
{
    const int side = board.GridSide;
    const int row = (slot - 1) / side, column = (slot - 1) % side;
    const auto at = [side](int r, int c) { return r * side + c + 1; };
    switch (arrow) {
    case Qt::Key_Left:
        return at(row, qMax(column - 1, 0));
    case Qt::Key_Right:
        return at(row, qMin(column + 1, side - 1));
    case Qt::Key_Up:
        return at(qMax(row - 1, 0), column);
    default:
        return at(qMin(row + 1, side - 1), column);
    }
}

// The keys that pick up and drop: Space, Return and Enter.
KeyMeaning pickOrDrop(const BoardState &board, int focusSlot, int heldSlot)
{
    if (!heldSlot)
        return means(Action::PickUp, focusSlot);
    const std::optional<Move> move =
        moveForDrop(board, board.tileInSlot.value(heldSlot), board.tileInSlot.value(focusSlot));
    return move ? means(Action::Play, focusSlot, *move) : means(Action::PutDown, heldSlot);
}

} // namespace

KeyMeaning interpretKey(const BoardState &board, QKeyCombination key, int focusSlot, int heldSlot)
{
    const Qt::KeyboardModifiers modifiers =
        key.keyboardModifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier);
    const bool command = modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    if (key.key() == Qt::Key_F1)
        return means(Action::Help);
    const int n = board.pieces();
    if (n < 1 || board.GridSide < 1 || focusSlot < 1 || focusSlot > n || heldSlot < 0 ||
        heldSlot > n)
        return {};
    switch (key.key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
        return means(Action::Focus, neighbour(board, focusSlot, key.key()));
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return pickOrDrop(board, focusSlot, heldSlot);
    case Qt::Key_Escape:
        return means(heldSlot ? Action::PutDown : Action::None, heldSlot);
    case Qt::Key_Z:
        if (modifiers == Qt::ControlModifier)
            return means(Action::Undo);
        if (modifiers == (Qt::ControlModifier | Qt::ShiftModifier))
            return means(Action::Redo);
        return {};
    case Qt::Key_Y:
        return means(modifiers == Qt::ControlModifier ? Action::Redo : Action::None);
    case Qt::Key_P:
        return means(command ? Action::None : Action::Peek);
    case Qt::Key_H:
        return means(command ? Action::None : Action::Marks);
    default:
        return {};
    }
}

void History::clear()
{
    m_moves.clear();
    m_standing = 0;
}

void History::record(Move move)
{
    m_moves.resize(m_standing);
    m_moves.append(move);
    m_standing = m_moves.size();
}

std::optional<Move> History::undo()
{
    if (m_standing == 0)
        return std::nullopt;
    return m_moves[--m_standing];
}

std::optional<Move> History::redo()
{
    if (m_standing == m_moves.size())
        return std::nullopt;
    return m_moves[m_standing++];
}

void newGame(Game &game, const QString &entry, int pieces, qint16 gridSide, const PicturePlace &box,
             const UniformRandom &random)
{
    fillBoard(game.board, entry, pieces, gridSide, box, random);
    game.history.clear();
}

namespace {

// Plays a move the history already knows of; a solving one ends the game and its history.
Played replay(Game &game, Move move)
{
    const MoveResult result = play(game.board, move);
    if (result == MoveResult::Solved)
        game.history.clear();
    return {move, result};
}

} // namespace

Played play(Game &game, Move move)
{
    game.history.record(move);
    return replay(game, move);
}

std::optional<Played> undo(Game &game)
{
    const std::optional<Move> move = game.history.undo();
    return move ? std::optional<Played>(replay(game, *move)) : std::nullopt;
}

std::optional<Played> redo(Game &game)
{
    const std::optional<Move> move = game.history.redo();
    return move ? std::optional<Played>(replay(game, *move)) : std::nullopt;
}

} // namespace puzzle

#include "boardstate.h"

#include <utility>

namespace puzzle {

void BoardState::Swap(qint16 i, qint16 j)
{
    Q_ASSERT(i >= 0 && i < TileOrder.size() && j >= 0 && j < TileOrder.size());
    std::swap(TileOrder[i], TileOrder[j]);
    if (tileInSlot.size() == TileOrder.size()) {
        tileInSlot[TileOrder[i]] = i;
        tileInSlot[TileOrder[j]] = j;
    }
}

bool BoardState::CheckOrder() const
{
    for (int i = 1; i <= pieces(); ++i) {
        if (TileOrder[i] != i)
            return false;
    }
    return true;
}

DropResult drop(BoardState &board, int source, int target)
{
    const int n = board.pieces();
    if (source < 1 || source > n || target < 1 || target > n || source == target)
        return DropResult::Ignored;
    board.DragIndex = source;
    board.DropIndex = qint16(target);
    board.Swap(qint16(source), qint16(target));
    return board.CheckOrder() ? DropResult::Solved : DropResult::Swapped;
}

} // namespace puzzle

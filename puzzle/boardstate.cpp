#include "boardstate.h"

#include <utility>

namespace puzzle {

void BoardState::Swap(qint16 i, qint16 j)
{
    Q_ASSERT(i >= 0 && i < TileOrder.size() && j >= 0 && j < TileOrder.size());
    std::swap(TileOrder[i], TileOrder[j]);
}

bool BoardState::CheckOrder() const
{
    for (int i = 1; i <= pieces(); ++i) {
        if (TileOrder[i] != i)
            return false;
    }
    return true;
}

} // namespace puzzle

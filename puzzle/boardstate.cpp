#include "boardstate.h"

#include <utility>

namespace puzzle {

void BoardState::setOrder(QList<qint16> order)
{
    TileOrder = std::move(order);
    tileInSlot = QList<qint16>(TileOrder.size(), 0);
    for (qsizetype i = 1; i < TileOrder.size(); ++i)
        if (TileOrder[i] >= 0 && TileOrder[i] < tileInSlot.size())
            tileInSlot[TileOrder[i]] = qint16(i);
}

void BoardState::Swap(qint16 i, qint16 j)
{
    Q_ASSERT(i >= 0 && i < TileOrder.size() && j >= 0 && j < TileOrder.size());
    Q_ASSERT(tileInSlot.size() == TileOrder.size());
    std::swap(TileOrder[i], TileOrder[j]);
    for (const qint16 tile : {i, j})
        if (TileOrder[tile] >= 0 && TileOrder[tile] < tileInSlot.size())
            tileInSlot[TileOrder[tile]] = tile;
}

bool BoardState::CheckOrder() const
{
    for (int i = 1; i <= pieces(); ++i) {
        if (TileOrder[i] != i)
            return false;
    }
    return true;
}

int BoardState::homeCount() const
{
    int home = 0;
    for (int i = 1; i <= pieces(); ++i)
        home += TileOrder[i] == i;
    return home;
}

} // namespace puzzle

// The record one game lives in: piece count, grid, tile size, slot positions and tile order.
#pragma once

#include <QList>
#include <QString>

#include <array>

namespace puzzle {

// Tiles and slots are numbered 1..N; entry 0 of each table exists and is never used for play.
// Tile i is cut from cell i of the picture (row by row from the top left); slot s is the place
// on the window where cell s lies. The board is solved when TileOrder[i] == i for all i.
struct BoardState
{
    QString PieceCount;                   // as the player typed it
    qint16 GridSide = 0;                  // tiles per row and per column
    QList<std::array<qint16, 2>> SlotPos; // [s] = {left, top} of slot s, window pixels
    QList<qint16> TileOrder;              // [i] = slot where tile i lies now
    float TileWidth = 0;                  // not rounded
    qint16 TileHeight = 0;                // rounded, halves to even
    int DragIndex = 0;                    // tile dropped last (kept as a record only)
    qint16 DropIndex = 0;                 // tile it was dropped onto (likewise)
    QList<qint16> tileInSlot;             // [s] = the tile lying in slot s: TileOrder's inverse

    // Number of tiles of the running game (the tables' last index).
    int pieces() const { return int(TileOrder.size()) - 1; }

    // Sets TileOrder and its inverse tileInSlot (an entry that names no slot 0..N has none).
    void setOrder(QList<qint16> order);

    // 0 <= i, j <= pieces(). Exchanges the slots of tiles i and j; i == j changes nothing.
    // tileInSlot follows.
    void Swap(qint16 i, qint16 j);

    // True when every tile 1..N lies in its own slot; entry 0 is never read. With no tiles
    // there is nothing to test and the board counts as solved.
    bool CheckOrder() const;

    // How many of the tiles 1..N lie in their own slot.
    int homeCount() const;
};

} // namespace puzzle

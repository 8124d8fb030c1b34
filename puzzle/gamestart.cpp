#include "gamestart.h"

#include "rounding.h"

#include <chrono>
#include <cmath>
#include <random>

namespace puzzle {

quint64 systemClock()
{
    return quint64(std::chrono::high_resolution_clock::now().time_since_epoch().count());
}

UniformRandom seededRandom(quint64 seed)
{
    auto engine = std::make_shared<std::mt19937_64>(seed);
    return [engine] { return std::generate_canonical<double, 64>(*engine); };
}

namespace {

// Cell of tile i (1-based), counted row by row.
int columnOf(const BoardState &board, int i) { return (i - 1) % board.GridSide; }
int rowOf(const BoardState &board, int i) { return (i - 1) / board.GridSide; }

// Offset of the cell from the picture's top left, as the game computes it: the column in
// single precision (the tile width is not rounded), the row in whole pixels.
float cellX(const BoardState &board, int i) { return float(columnOf(board, i)) * board.TileWidth; }
int cellY(const BoardState &board, int i) { return rowOf(board, i) * board.TileHeight; }

// A draw in 1..n; a generator that returns its upper end is held inside the range.
qint16 drawTile(const UniformRandom &random, int n)
{
    const double v = std::floor(n * random() + 1);
    return qint16(qBound(1.0, v, double(n)));
}

} // namespace

void fillBoard(BoardState &board, const QString &entry, int pieces, qint16 gridSide,
               const PicturePlace &box, const UniformRandom &random)
{
    board.PieceCount = entry;
    board.GridSide = gridSide;
    board.SlotPos = QList<std::array<qint16, 2>>(pieces + 1, {0, 0});
    board.TileOrder = QList<qint16>(pieces + 1, 0);
    for (int i = 1; i <= pieces; ++i)
        board.TileOrder[i] = qint16(i);

    for (int i = 1; i <= pieces; ++i) {
        const qint16 a = drawTile(random, pieces);
        const qint16 b = drawTile(random, pieces);
        board.Swap(a, b);
    }

    board.TileHeight = toInt16(double(box.height) / gridSide);
    board.TileWidth = float(box.width) / float(gridSide);
    for (int i = 1; i <= pieces; ++i) {
        board.SlotPos[i] = {toInt16(box.left + cellX(board, i)),
                            toInt16(double(box.top) + cellY(board, i))};
    }
}

QSize tileSize(const BoardState &board)
{
    return {int(roundHalfEven(board.TileWidth)), board.TileHeight};
}

QRect sourceRect(const BoardState &board, int tile)
{
    return {QPoint(int(roundHalfEven(cellX(board, tile))), cellY(board, tile)), tileSize(board)};
}

QRect slotRect(const BoardState &board, int slot)
{
    return {QPoint(board.SlotPos[slot][0], board.SlotPos[slot][1]), tileSize(board)};
}

} // namespace puzzle

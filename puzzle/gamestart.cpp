#include "gamestart.h"

#include "rounding.h"

#include <algorithm>
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
    QList<qint16> identity(pieces + 1, 0);
    for (int i = 1; i <= pieces; ++i)
        identity[i] = qint16(i);
    board.setOrder(std::move(identity));

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

QRect tilesExtent(const BoardState &board)
{
    const int n = board.pieces();
    return n < 1 ? QRect() : slotRect(board, 1) | slotRect(board, n);
}

QList<QRect> uncoveredParts(const BoardState &board, const QRect &picture)
{
    if (board.pieces() < 1)
        return {picture};
    QList<QRect> parts;
    // Rows follow each other without gaps; columns may leave one between them.
    const QRect tiles = tilesExtent(board);
    int x = picture.left();
    for (int column = 0; column < board.GridSide; ++column) {
        const QRect slot = slotRect(board, column + 1);
        if (slot.left() > x)
            parts.append(QRect(QPoint(x, picture.top()), QPoint(slot.left() - 1, tiles.bottom())));
        x = std::max(x, slot.right() + 1);
    }
    if (x <= picture.right())
        parts.append(QRect(QPoint(x, picture.top()), QPoint(picture.right(), tiles.bottom())));
    if (tiles.bottom() < picture.bottom())
        parts.append(QRect(QPoint(picture.left(), tiles.bottom() + 1), picture.bottomRight()));
    for (QRect &part : parts)
        part &= picture;
    parts.removeIf([](const QRect &part) { return part.isEmpty(); });
    return parts;
}

namespace {

// The grid cells that may cover a window rectangle: a rounded tile reaches at most a cell
// and a half from its own cell's place, so two cells of margin suffice.
struct CellSpan
{
    int firstColumn, lastColumn, firstRow, lastRow;
};

CellSpan cellsNear(const BoardState &board, const QRect &area)
{
    const int side = board.GridSide;
    const auto column = [&](int x) {
        return int(std::floor(double(x - board.SlotPos[1][0]) / board.TileWidth));
    };
    const auto row = [&](int y) { return (y - board.SlotPos[1][1]) / board.TileHeight; };
    const auto clampCell = [side](int cell) { return std::clamp(cell, 0, side - 1); };
    return {clampCell(column(area.left()) - 2), clampCell(column(area.right()) + 2),
            clampCell(row(area.top()) - 2), clampCell(row(area.bottom()) + 2)};
}

} // namespace

QList<int> tilesIn(const BoardState &board, const QRect &area)
{
    QList<int> tiles;
    if (board.pieces() < 1 || area.isEmpty())
        return tiles;
    const CellSpan span = cellsNear(board, area);
    for (int row = span.firstRow; row <= span.lastRow; ++row) {
        for (int column = span.firstColumn; column <= span.lastColumn; ++column) {
            const int slot = row * board.GridSide + column + 1;
            if (slotRect(board, slot).intersects(area))
                tiles.append(board.tileInSlot[slot]);
        }
    }
    std::sort(tiles.begin(), tiles.end());
    return tiles;
}

int tileAt(const BoardState &board, QPoint point)
{
    const QList<int> under = tilesIn(board, QRect(point, QSize(1, 1)));
    return under.isEmpty() ? 0 : under.last();
}

QSize fittedSize(QSize picture, QSize largest)
{
    const int w = picture.width(), h = picture.height();
    const int maxW = largest.width(), maxH = largest.height();
    if (w <= maxW && h <= maxH)
        return picture;
    const auto scaledSide = [](int side, int limit, int limiting) {
        return std::max(1, int(roundHalfEven(double(side) * limit / limiting)));
    };
    // The width limits when w / maxW >= h / maxH.
    if (qint64(w) * maxH >= qint64(h) * maxW)
        return {maxW, scaledSide(h, maxW, w)};
    return {scaledSide(w, maxH, h), maxH};
}

} // namespace puzzle

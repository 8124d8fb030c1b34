// Filling the board at a game start: tables, shuffle, tile size and slot positions.
#pragma once

#include "boardstate.h"

#include <QRect>

#include <functional>

namespace puzzle {

// A uniform random number in [0, 1).
using UniformRandom = std::function<double()>;

// A clock reading that changes from one call to the next (nanoseconds on this system).
using Clock = std::function<quint64()>;
quint64 systemClock();

// A generator seeded with seed; the same seed gives the same numbers.
UniformRandom seededRandom(quint64 seed);

// Where the whole picture lies on the window, as the game reads it: a real left edge, an
// integer top edge and the box's size, all in window pixels.
struct PicturePlace
{
    float left = 0;
    qint16 top = 0;
    int width = 0;
    int height = 0;
};

// Fills every field but DragIndex and DropIndex for an accepted count: the tables sized afresh
// and zeroed, the identity order (and its inverse) shuffled by exactly `pieces` random swaps,
// the tile size and the slot of every cell. Nothing of an earlier game survives.
void fillBoard(BoardState &board, const QString &entry, int pieces, qint16 gridSide,
               const PicturePlace &box, const UniformRandom &random);

// The tile's pixel size on the window and in the picture.
QSize tileSize(const BoardState &board);

// 1 <= tile <= pieces(): the rectangle of the picture that tile shows.
QRect sourceRect(const BoardState &board, int tile);

// 0 <= slot <= pieces(): the window rectangle of that slot.
QRect slotRect(const BoardState &board, int slot);

// The window area the tiles cover together (rounded-up tiles may reach past the picture).
QRect tilesExtent(const BoardState &board);

// The tile on top at a window point, where tiles lie stacked 1..N with N on top; 0 where no
// tile covers the point.
int tileAt(const BoardState &board, QPoint point);

// The parts of the picture's place (window coordinates) that no tile covers: the gaps that
// rounded tile widths leave between columns and the slivers right of and below the tiles.
QList<QRect> uncoveredParts(const BoardState &board, const QRect &picture);

// The tiles touching a window rectangle, bottom to top.
QList<int> tilesIn(const BoardState &board, const QRect &area);

// The size a picture is shown at in a space of at most largest: its own when it fits, else
// scaled down to fit with its proportions kept. The limiting side becomes exactly the limit,
// the other is rounded halves to even and is never below one pixel.
QSize fittedSize(QSize picture, QSize largest);

} // namespace puzzle

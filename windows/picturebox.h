// The puzzle's picture box: it shows the whole picture and, while a game runs, paints every
// tile over it and lets the player drag one tile onto another. Tiles are not widgets: a tile
// is a rectangle of the one picture drawn at its slot. It only draws and forwards what the
// player does: what a key or a drop means is the game's rule (puzzle/play.h).
#pragma once

#include "puzzle/boardstate.h"

#include <QCursor>
#include <QImage>
#include <QWidget>

class PictureBox : public QWidget
{
    Q_OBJECT
public:
    explicit PictureBox(QWidget *parent = nullptr);
    ~PictureBox() override;

    // Shows picture at puzzle::fittedSize() within the puzzle window's largest picture, held at the
    // screen's pixel density so that a large picture stays sharp on a high-density screen. The box
    // takes the shown size; its left and top edges stay.
    void setPicture(const QImage &picture);
    // The size the picture is shown at, in window pixels.
    QSize pictureSize() const { return m_shownSize; }
    // The shown picture as held: pictureSize() times the pixel density, or the picture itself
    // when it is not larger than that.
    QImage picture() const { return m_picture; }

    // Lays the tiles of board over the picture. board is in window coordinates (the box's
    // parent) and is the caller's: the box only reads it, until removeTiles(). While a tile is
    // held the pointer shows dragCursor.
    void showTiles(const puzzle::BoardState *board, const QCursor &dragCursor);
    void removeTiles();
    int tileCount() const { return m_board ? m_board->pieces() : 0; }

    // The tiles in slots a and b have changed: repaints those two slots, nothing else.
    void slotsChanged(int a, int b);

    // The tile on top at a point of the box, 0 where none is.
    int tileAt(QPoint point) const;
    // Where tile lies now, in the box's coordinates.
    QRect tileRect(int tile) const;
    // The tile being dragged or carried with the keys, 0 when none is.
    int heldTile() const { return m_held; }
    // The slot the held tile lies in, 0 when none is held.
    int heldSlot() const { return m_held && m_board ? m_board->TileOrder[m_held] : 0; }

    // Keyboard play: the slot that has the keyboard's focus frame while a game runs. The arrow
    // keys move it, Space or Enter picks its tile up and, with a tile held, drops the tile
    // there; Escape puts the tile down unmoved.
    int focusSlot() const { return m_focusSlot; }
    // The tile lying in slot.
    int tileInSlot(int slot) const { return m_board ? m_board->tileInSlot.value(slot) : 0; }
    // What a screen reader says for tile: which piece it is and where it lies, whether it is
    // held and, while the marks show, whether it is home.
    QString tileName(int tile) const;

    // The whole picture instead of the tiles, while the player holds the peek key or the right
    // button; the game, its focus and a held tile stay as they are.
    void setPeeking(bool peeking);
    bool isPeeking() const { return m_peeking; }

    // A mark on every tile that lies in its own slot.
    void setMarksShown(bool shown);
    bool marksShown() const { return m_marksShown; }

    // Said once to a screen reader with the focused tile (the marks turned on, say), until the
    // keyboard's focus moves on.
    void announce(const QString &text);
    QString announcement() const { return m_announcement; }

signals:
    // The player released a held tile source over target (0: over no tile), or dropped it
    // there with the keys. In the order a drop handler takes them: where, then what.
    void tileDropped(int target, int source);
    // The keyboard's focus moved to another slot, a tile was picked up or put down, or what a
    // screen reader should say of the focused tile changed.
    void keyboardStateChanged();
    // The whole picture began or stopped to show in place of the tiles.
    void peekingChanged(bool peeking);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    void drawPart(QPainter &painter, const QRect &target, const QRect &source) const;
    void paintArea(QPainter &painter, const QRect &area) const;
    void paintMarks(QPainter &painter, const QRegion &region) const;
    void paintFrames(QPainter &painter) const;
    bool tilesShown() const { return m_board && !m_peeking; }
    void release();
    void hold(int tile, bool byKeys);
    void moveFocus(int slot);
    QRect slotFrame(int slot) const;
    QRect extent() const;

    QImage m_picture;
    QSize m_shownSize;
    const puzzle::BoardState *m_board = nullptr;
    QList<QRect> m_uncovered; // where the whole picture shows between the tiles
    QCursor m_dragCursor;
    int m_held = 0;
    bool m_heldByKeys = false;
    int m_focusSlot = 0;
    bool m_peeking = false;
    bool m_marksShown = false;
    QString m_announcement;
};

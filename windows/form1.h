// The puzzle window: the whole picture, the tiles of a running game and three commands.
#pragma once

#include "puzzle/boardstate.h"
#include "puzzle/gamestart.h"

#include <QList>
#include <QWidget>

class PictureBox;
class QPushButton;

class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);

    // Element index of the Picture1 array: 0 is the whole picture, 1..N the tiles of a running
    // game. nullptr for an element that does not exist.
    PictureBox *Picture1(int index) const;
    // The number of tiles on the board (0 when no game runs).
    int tileCount() const { return int(m_picture1.size()) - 1; }

    const puzzle::BoardState &board() const { return m_board; }

    // Puts a picture into Picture1(0), which takes its size; the box stays at its place.
    void setPicture(const QImage &picture);
    void setStartEnabled(bool enabled);

    // What Start does once the player has entered a piece count (empty for Cancel): refuse it
    // with a message, or cut the picture into shuffled tiles.
    void startGame(const QString &entry);

    // The shuffle reseeds its generator from clock at each start (by default the system's).
    void setClock(puzzle::Clock clock) { m_clock = std::move(clock); }
    // A fixed generator used by every start instead of a reseeded one; null to reseed again.
    void setRandomSource(puzzle::UniformRandom random) { m_random = std::move(random); }

signals:
    // The load-picture command was clicked.
    void loadPictureRequested();

private:
    void Command1_Click();
    void Command2_Click();
    void Command4_Click();
    void Picture1_DragDrop(int index, PictureBox *source);
    void SwapPic(qint16 pic1, qint16 pic2);

    void createControls();
    void refuseCount(const QString &message);
    void createTiles(const QCursor &dragCursor);
    void removeTiles();

    QPushButton *m_command1 = nullptr;
    QPushButton *m_command2 = nullptr;
    QPushButton *m_command4 = nullptr;
    QList<PictureBox *> m_picture1; // [0] always exists; [1..N] while a game runs
    puzzle::BoardState m_board;
    puzzle::Clock m_clock = puzzle::systemClock;
    puzzle::UniformRandom m_random;
};

// The puzzle window: the whole picture, the tiles of a running game and three commands.
#pragma once

#include "picturesource.h"

#include "puzzle/boardstate.h"
#include "puzzle/gamestart.h"
#include "puzzle/play.h"

#include <QCursor>
#include <QWidget>

class PictureBox;
class QPushButton;

namespace picture {
class DecodeJob;
struct Picture;
} // namespace picture

class Form1 : public QWidget
{
    Q_OBJECT
public:
    explicit Form1(QWidget *parent = nullptr);
    ~Form1() override;

    // The whole picture, Picture1(0): it also paints the tiles of a running game.
    PictureBox *Picture1() const { return m_picture1; }
    // The number of tiles on the board (0 when no game runs).
    int tileCount() const;

    const puzzle::BoardState &board() const { return m_game.board; }
    const puzzle::History &history() const { return m_game.history; }

    // Puts a picture into Picture1(0), which takes its shown size (a large picture is scaled
    // down to fit the window); the box stays at its place.
    void setPicture(const QImage &picture);
    void setStartEnabled(bool enabled);

    // A picture from elsewhere than the chooser (the command line, a drop, a paste), decoded in
    // the decoding process while the window goes on with a busy pointer; then it shows with the
    // start command enabled, as the chooser's confirm would have it, or a message says why not
    // over the picture as it was. A newer one replaces one still being decoded. While a game
    // runs nothing is opened, and starting a game drops an opening still under way.
    void open(const PictureSource &source);
    bool isOpening() const;

    // What Start does once the player has entered a piece count (empty for Cancel): refuse it
    // with a message, or cut the picture into shuffled tiles.
    void startGame(const QString &entry);

    // The shuffle reseeds its generator from clock at each start (by default the system's).
    void setClock(puzzle::Clock clock) { m_clock = std::move(clock); }
    // A fixed generator used by every start instead of a reseeded one; null to reseed again.
    void setRandomSource(puzzle::UniformRandom random) { m_random = std::move(random); }
    // The pointer of a dragged tile from the next start on (by default the drag icon beside
    // the program, read when the window opens).
    void setDragCursor(const QCursor &cursor) { m_dragCursor = cursor; }

signals:
    // The load-picture command was clicked.
    void loadPictureRequested();

protected:
    // Besides a focused button's Return: the keys of the game that are not the board's own
    // (undo, redo, peek, marks, help), wherever the focus is in the window.
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void changeEvent(QEvent *event) override;
    // A file dragged from a file manager, or a picture from a browser, outside a game.
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void Command1_Click();
    void Command2_Click();
    void Command4_Click();
    void Picture1_DragDrop(int index, int source);
    void SwapPic(qint16 pic1, qint16 pic2);

    void createControls();
    void refuseCount(const QString &message);
    void showPlayed(const std::optional<puzzle::Played> &played);
    void congratulate();
    void toggleMarks();
    void showKeys();
    bool takesDrop(const QDropEvent *event) const;
    void paste();
    void opened(const picture::Picture &picture);
    void stopOpening();

    QPushButton *m_command1 = nullptr;
    QPushButton *m_command2 = nullptr;
    QPushButton *m_command4 = nullptr;
    PictureBox *m_picture1 = nullptr;
    puzzle::Game m_game; // the board of the running game and its moves
    puzzle::Clock m_clock = puzzle::systemClock;
    puzzle::UniformRandom m_random;
    QCursor m_dragCursor; // read once, when the window opens
    picture::DecodeJob *m_opening = nullptr;
    QString m_openingName; // how a refusal names what is being opened
};

// A box that shows a picture at its top-left corner; the puzzle's whole picture and its tiles.
#pragma once

#include <QCursor>
#include <QImage>
#include <QWidget>

class PictureBox : public QWidget
{
    Q_OBJECT
public:
    // index: the box's place in its window's Picture1 array.
    explicit PictureBox(int index, QWidget *parent = nullptr);
    ~PictureBox() override;

    int index() const { return m_index; }

    QImage picture() const { return m_picture; }
    // With autoSize on, the box takes the picture's size; its left and top edges stay.
    void setPicture(const QImage &picture);
    void setAutoSize(bool on) { m_autoSize = on; }

    // A draggable box follows a press with a drag: the pointer shows dragCursor until the
    // release, and the release over another box of the window reports droppedOnto.
    void setDraggable(bool on, const QCursor &dragCursor = {});
    bool isDraggable() const { return m_draggable; }

signals:
    void droppedOnto(PictureBox *target);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    void endDrag();

    const int m_index;
    QImage m_picture;
    bool m_autoSize = false;
    bool m_draggable = false;
    bool m_dragging = false;
    QCursor m_dragCursor;
};

#include "picturebox.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(int index, QWidget *parent) : QWidget(parent), m_index(index)
{
    setObjectName(QStringLiteral("Picture1"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

PictureBox::~PictureBox()
{
    if (m_dragging)
        endDrag();
}

void PictureBox::setPicture(const QImage &picture)
{
    m_picture = picture;
    if (m_autoSize)
        resize(picture.size());
    update();
}

void PictureBox::setDraggable(bool on, const QCursor &dragCursor)
{
    m_draggable = on;
    m_dragCursor = dragCursor;
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), palette().window());
    painter.drawImage(0, 0, m_picture);
}

// A drag is a press, the mouse held (Qt keeps sending it to this box) and a release; the box
// under the release point receives the drop. The box itself stays where it is meanwhile.
void PictureBox::mousePressEvent(QMouseEvent *event)
{
    if (!m_draggable || event->button() != Qt::LeftButton || m_dragging) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragging = true;
    QApplication::setOverrideCursor(m_dragCursor);
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_dragging || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    endDrag();
    QWidget *top = window();
    const QPoint at = mapTo(top, event->position().toPoint());
    if (auto *target = qobject_cast<PictureBox *>(top->childAt(at)))
        emit droppedOnto(target);
}

void PictureBox::endDrag()
{
    m_dragging = false;
    QApplication::restoreOverrideCursor();
}

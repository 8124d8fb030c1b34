#include "picturebox.h"

#include "puzzle/gamestart.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

PictureBox::PictureBox(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Picture1"));
    setAttribute(Qt::WA_OpaquePaintEvent);
}

// The board may be gone already: only the pointer is given back.
PictureBox::~PictureBox()
{
    if (m_held)
        QApplication::restoreOverrideCursor();
}

void PictureBox::setPicture(const QImage &picture)
{
    // A picture drawn at the screen's density says so; its size in window pixels counts.
    m_shownSize = puzzle::fittedSize(picture.deviceIndependentSize().toSize());
    const QSize device = (QSizeF(m_shownSize) * devicePixelRatioF()).toSize();
    QImage held = picture;
    if (held.width() > device.width() || held.height() > device.height())
        held = held.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // One format the painter copies straight, so that thousands of tiles draw fast.
    m_picture = held.convertToFormat(held.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                            : QImage::Format_RGB32);
    resize(extent().size());
    update();
}

void PictureBox::showTiles(const puzzle::BoardState *board, const QCursor &dragCursor)
{
    m_board = board;
    m_uncovered.clear();
    const QRect whole(QPoint(0, 0), m_shownSize);
    for (const QRect &part : puzzle::uncoveredParts(*board, whole.translated(pos())))
        m_uncovered.append(part.translated(-pos()));
    m_dragCursor = dragCursor;
    m_focusSlot = 1;
    resize(extent().size());
    update();
    emit keyboardStateChanged();
}

void PictureBox::removeTiles()
{
    release();
    m_board = nullptr;
    m_focusSlot = 0;
    m_uncovered.clear();
    resize(extent().size());
    update();
}

// The picture and, in a game, every slot: rounded-up tiles may reach past the picture.
QRect PictureBox::extent() const
{
    QRect area(QPoint(0, 0), m_shownSize);
    if (m_board)
        area |= puzzle::tilesExtent(*m_board).translated(-pos());
    return area;
}

void PictureBox::slotsChanged(int a, int b)
{
    update(slotFrame(a));
    update(slotFrame(b));
    emit keyboardStateChanged(); // the tiles' places, as a screen reader tells them
}

int PictureBox::tileAt(QPoint point) const
{
    return m_board ? puzzle::tileAt(*m_board, mapToParent(point)) : 0;
}

QRect PictureBox::tileRect(int tile) const
{
    return puzzle::slotRect(*m_board, m_board->TileOrder[tile]).translated(-pos());
}

// Draws source (in shown pixels) of the picture into target, at the picture's full density.
void PictureBox::drawPart(QPainter &painter, const QRect &target, const QRect &source) const
{
    if (m_picture.size() == m_shownSize) {
        painter.drawImage(target.topLeft(), m_picture, source);
        return;
    }
    const qreal kx = qreal(m_picture.width()) / m_shownSize.width();
    const qreal ky = qreal(m_picture.height()) / m_shownSize.height();
    painter.drawImage(
        QRectF(target), m_picture,
        QRectF(source.x() * kx, source.y() * ky, source.width() * kx, source.height() * ky));
}

// Each pixel once: the background outside the picture, the whole picture where no tile covers
// it, then the tiles that touch area, bottom to top. Where a tile reaches past the picture it
// shows the background.
void PictureBox::paintArea(QPainter &painter, const QRect &area) const
{
    painter.setClipRect(area);
    const QBrush background = palette().window();
    const QRect whole(QPoint(0, 0), m_shownSize);
    for (const QRect &outside : QRegion(area).subtracted(whole))
        painter.fillRect(outside, background);
    if (!m_board) {
        drawPart(painter, whole & area, whole & area);
        return;
    }
    for (const QRect &part : m_uncovered) {
        const QRect shown = part & area;
        if (!shown.isEmpty())
            drawPart(painter, shown, shown);
    }
    for (const int tile : puzzle::tilesIn(*m_board, area.translated(pos()))) {
        const QRect slot = tileRect(tile);
        const QRect source = puzzle::sourceRect(*m_board, tile) & whole;
        // A tile cut wholly below the picture has no pixels of it: only background.
        const QRect drawn(slot.topLeft(), source.size());
        if (!source.isEmpty())
            drawPart(painter, drawn, source);
        if (drawn != slot) {
            for (const QRect &strip : QRegion(slot).subtracted(drawn))
                painter.fillRect(strip, background);
        }
    }
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    QPainter painter(this);
    for (const QRect &area : event->region())
        paintArea(painter, area);
    if (!m_board)
        return;
    // The held tile is outlined; the keyboard's slot has a dotted frame while the box has the
    // focus. Both lie inside their slots.
    painter.setClipRegion(event->region());
    if (m_held && m_heldByKeys) {
        painter.setPen(QPen(QColor(220, 0, 0), 3));
        painter.drawRect(tileRect(m_held).adjusted(1, 1, -2, -2));
    }
    if (hasFocus()) {
        // Black dashes on white, two pixels wide: visible on any picture.
        const QRect frame = slotFrame(m_focusSlot).adjusted(1, 1, -1, -1);
        painter.setPen(QPen(Qt::white, 2));
        painter.drawRect(frame);
        painter.setPen(QPen(Qt::black, 2, Qt::DashLine));
        painter.drawRect(frame);
    }
}

QString PictureBox::tileName(int tile) const
{
    const int slot = m_board->TileOrder[tile] - 1;
    const int side = m_board->GridSide;
    QString name = QStringLiteral("第 %1 塊，在第 %2 列第 %3 欄")
                       .arg(tile)
                       .arg(slot / side + 1)
                       .arg(slot % side + 1);
    if (tile == m_held)
        name += QStringLiteral("，已拿起");
    return name;
}

// The focus frame lies just inside the slot, so that repainting the slot repaints it.
QRect PictureBox::slotFrame(int slot) const
{
    return puzzle::slotRect(*m_board, slot).translated(-pos());
}

void PictureBox::moveFocus(int slot)
{
    if (!m_board || slot == m_focusSlot)
        return;
    update(slotFrame(m_focusSlot));
    m_focusSlot = slot;
    update(slotFrame(m_focusSlot));
    emit keyboardStateChanged();
}

void PictureBox::keyPressEvent(QKeyEvent *event)
{
    if (!m_board) {
        QWidget::keyPressEvent(event);
        return;
    }
    const int side = m_board->GridSide;
    const int row = (m_focusSlot - 1) / side, column = (m_focusSlot - 1) % side;
    const auto to = [side](int r, int c) { return r * side + c + 1; };
    switch (event->key()) {
    case Qt::Key_Left:
        return moveFocus(to(row, qMax(column - 1, 0)));
    case Qt::Key_Right:
        return moveFocus(to(row, qMin(column + 1, side - 1)));
    case Qt::Key_Up:
        return moveFocus(to(qMax(row - 1, 0), column));
    case Qt::Key_Down:
        return moveFocus(to(qMin(row + 1, side - 1), column));
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!m_held)
            return hold(tileInSlot(m_focusSlot), true);
        {
            const int source = m_held;
            release();
            emit tileDropped(tileInSlot(m_focusSlot), source); // as a mouse drop there
        }
        return;
    case Qt::Key_Escape:
        if (m_held) {
            release();
            return;
        }
        break;
    default:
        break;
    }
    QWidget::keyPressEvent(event);
}

void PictureBox::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    if (m_board)
        update(slotFrame(m_focusSlot));
}

void PictureBox::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    if (m_board)
        update(slotFrame(m_focusSlot));
}

// A drag is a press on a tile, the button held (Qt keeps sending the mouse to this box) and a
// release; the tile under the release point receives the drop. The held tile stays where it
// is meanwhile.
void PictureBox::mousePressEvent(QMouseEvent *event)
{
    const int tile =
        event->button() == Qt::LeftButton && !m_held ? tileAt(event->position().toPoint()) : 0;
    if (!tile) {
        QWidget::mousePressEvent(event);
        return;
    }
    hold(tile, false);
}

// A tile picked up with the keys is outlined, as the pointer does not show where it is.
void PictureBox::hold(int tile, bool byKeys)
{
    m_held = tile;
    m_heldByKeys = byKeys;
    QApplication::setOverrideCursor(m_dragCursor);
    if (byKeys)
        update(tileRect(tile));
    emit keyboardStateChanged();
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_held || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const int source = m_held;
    release();
    emit tileDropped(tileAt(event->position().toPoint()), source);
}

void PictureBox::release()
{
    if (!m_held)
        return;
    const int tile = m_held;
    m_held = 0;
    QApplication::restoreOverrideCursor();
    if (m_board && m_heldByKeys)
        update(tileRect(tile));
    if (m_board)
        emit keyboardStateChanged();
}

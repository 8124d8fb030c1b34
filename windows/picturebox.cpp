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

PictureBox::~PictureBox() { release(); }

void PictureBox::setPicture(const QImage &picture)
{
    m_shownSize = puzzle::fittedSize(picture.size());
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
    m_tilesInSlots = puzzle::slotTiles(*board);
    m_uncovered.clear();
    const QRect whole(QPoint(0, 0), m_shownSize);
    for (const QRect &part : puzzle::uncoveredParts(*board, whole.translated(pos())))
        m_uncovered.append(part.translated(-pos()));
    m_dragCursor = dragCursor;
    resize(extent().size());
    update();
}

void PictureBox::removeTiles()
{
    release();
    m_board = nullptr;
    m_tilesInSlots.clear();
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

void PictureBox::tilesSwapped(int a, int b)
{
    for (const int tile : {a, b})
        m_tilesInSlots[m_board->TileOrder[tile]] = qint16(tile);
    update(tileRect(a));
    update(tileRect(b));
}

int PictureBox::tileAt(QPoint point) const
{
    return m_board ? puzzle::tileAt(*m_board, m_tilesInSlots, mapToParent(point)) : 0;
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
    for (const int tile : puzzle::tilesIn(*m_board, m_tilesInSlots, area.translated(pos()))) {
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
    m_held = tile;
    QApplication::setOverrideCursor(m_dragCursor);
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (!m_held || event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    const int source = m_held;
    release();
    emit tileDropped(source, tileAt(event->position().toPoint()));
}

void PictureBox::release()
{
    if (!m_held)
        return;
    m_held = 0;
    QApplication::restoreOverrideCursor();
}

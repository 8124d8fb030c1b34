#include "picturebox.h"

#include "form1layout.h"

#include "puzzle/gamestart.h"
#include "puzzle/play.h"

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
    m_shownSize =
        puzzle::fittedSize(picture.deviceIndependentSize().toSize(), layout::form1::LargestPicture);
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
    setPeeking(false);
    m_announcement.clear();
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
    m_announcement.clear();
    emit keyboardStateChanged(); // the tiles' places, as a screen reader tells them
}

void PictureBox::setPeeking(bool peeking)
{
    peeking = peeking && m_board;
    if (peeking == m_peeking)
        return;
    m_peeking = peeking;
    update();
    emit peekingChanged(peeking);
    if (!peeking)
        emit keyboardStateChanged(); // back on the focused tile
}

void PictureBox::setMarksShown(bool shown)
{
    if (shown == m_marksShown)
        return;
    m_marksShown = shown;
    update();
}

void PictureBox::announce(const QString &text)
{
    m_announcement = text;
    emit keyboardStateChanged();
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
    if (!tilesShown()) {
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
    if (!tilesShown())
        return;
    painter.setClipRegion(event->region());
    if (m_marksShown)
        paintMarks(painter, event->region());
    paintFrames(painter);
}

// A disc in the top left corner of every tile that lies in its own slot: dark with a white
// ring and a thin dark edge, so that it shows on light and on dark pictures alike, and a white
// tick where the tile has room for it.
void PictureBox::paintMarks(QPainter &painter, const QRegion &region) const
{
    const QSize tile = puzzle::tileSize(*m_board);
    const qreal side = qBound(4, qMin(tile.width(), tile.height()) * 2 / 5, 18);
    const qreal inset = qMax(1.0, side / 6);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QList<bool> seen(m_board->pieces() + 1, false);
    QList<int> marked;
    for (const QRect &area : region)
        for (const int t : puzzle::tilesIn(*m_board, area.translated(pos())))
            if (m_board->TileOrder[t] == t && !std::exchange(seen[t], true))
                marked.append(t);
    for (const int t : std::as_const(marked)) {
        const QRectF disc(QPointF(tileRect(t).topLeft()) + QPointF(inset, inset),
                          QSizeF(side, side));
        painter.setPen(QPen(QColor(20, 20, 20), 1));
        painter.setBrush(Qt::white);
        painter.drawEllipse(disc);
        const qreal ring = qMax(1.0, side / 7);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 110, 40));
        painter.drawEllipse(disc.adjusted(ring, ring, -ring, -ring));
        if (side >= 10) {
            painter.setPen(QPen(Qt::white, side / 9, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            const QPointF o = disc.topLeft();
            painter.drawPolyline(QPolygonF({o + QPointF(side * 0.28, side * 0.52),
                                            o + QPointF(side * 0.44, side * 0.68),
                                            o + QPointF(side * 0.72, side * 0.34)}));
        }
    }
    painter.restore();
}

// The held tile is outlined; the keyboard's slot has a dotted frame while the box has the
// focus. Both lie inside their slots.
void PictureBox::paintFrames(QPainter &painter) const
{
    if (m_held && m_heldByKeys) {
        painter.setPen(QPen(QColor(220, 0, 0), 3));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(tileRect(m_held).adjusted(1, 1, -2, -2));
    }
    if (hasFocus()) {
        // Black dashes on white, two pixels wide: visible on any picture.
        const QRect frame = slotFrame(m_focusSlot).adjusted(1, 1, -1, -1);
        painter.setBrush(Qt::NoBrush);
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
    if (m_marksShown && m_board->TileOrder[tile] == tile)
        name += QStringLiteral("，在正確位置");
    if (!m_announcement.isEmpty() && tile == tileInSlot(m_focusSlot))
        name += QStringLiteral("。") + m_announcement;
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
    m_announcement.clear();
    emit keyboardStateChanged();
}

// The keys that play on the board; the others (undo, peek, marks, help) are the window's.
void PictureBox::keyPressEvent(QKeyEvent *event)
{
    const puzzle::KeyMeaning meaning =
        m_board ? puzzle::interpretKey(*m_board, event->keyCombination(), m_focusSlot, heldSlot())
                : puzzle::KeyMeaning();
    switch (meaning.action) {
    case puzzle::Action::Focus:
        return moveFocus(meaning.slot);
    case puzzle::Action::PickUp:
        return hold(tileInSlot(meaning.slot), true);
    case puzzle::Action::PutDown:
        return release();
    case puzzle::Action::Play:
        release();
        emit tileDropped(meaning.move.other, meaning.move.tile); // as a mouse drop there
        return;
    default:
        QWidget::keyPressEvent(event);
    }
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
    if (event->button() == Qt::RightButton && m_board) {
        setPeeking(true); // for as long as the button is held
        return;
    }
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
    m_announcement.clear();
    QApplication::setOverrideCursor(m_dragCursor);
    if (byKeys)
        update(tileRect(tile));
    emit keyboardStateChanged();
}

void PictureBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::RightButton && m_peeking) {
        setPeeking(false);
        return;
    }
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
    m_announcement.clear();
    QApplication::restoreOverrideCursor();
    if (m_board && m_heldByKeys)
        update(tileRect(tile));
    if (m_board)
        emit keyboardStateChanged();
}

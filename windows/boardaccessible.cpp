#include "boardaccessible.h"

#include "picturebox.h"

#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QWindow>

namespace {

QRect onScreen(const PictureBox *box, const QRect &rect)
{
    return QRect(box->mapToGlobal(rect.topLeft()), rect.size());
}

// One tile: it has no object of its own, only its number on the board.
class TileAccessible : public QAccessibleInterface
{
public:
    TileAccessible(PictureBox *box, int tile) : m_box(box), m_tile(tile) {}

    bool isValid() const override { return m_box && m_tile <= m_box->tileCount(); }
    QObject *object() const override { return nullptr; }
    QWindow *window() const override { return m_box ? m_box->window()->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override
    {
        return QAccessible::queryAccessibleInterface(m_box.data());
    }
    QAccessibleInterface *child(int) const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    QAccessibleInterface *focusChild() const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name && isValid() ? m_box->tileName(m_tile) : QString();
    }
    void setText(QAccessible::Text, const QString &) override {}
    QRect rect() const override
    {
        return isValid() ? onScreen(m_box, m_box->tileRect(m_tile)) : QRect();
    }
    QAccessible::Role role() const override { return QAccessible::Graphic; }
    QAccessible::State state() const override
    {
        QAccessible::State state;
        state.focusable = true;
        state.selectable = true;
        if (isValid()) {
            state.focused = m_box->hasFocus() && m_box->tileInSlot(m_box->focusSlot()) == m_tile;
            state.selected = m_box->heldTile() == m_tile;
        }
        return state;
    }

    int tile() const { return m_tile; }

private:
    QPointer<PictureBox> m_box;
    const int m_tile;
};

class BoardAccessible : public QAccessibleWidget
{
public:
    explicit BoardAccessible(PictureBox *box) : QAccessibleWidget(box, QAccessible::Graphic)
    {
        // Tell a screen reader where the keyboard is and what it carries.
        QObject::connect(box, &PictureBox::keyboardStateChanged, box, [this, box] {
            if (!QAccessible::isActive() || !box->hasFocus() || !box->focusSlot() ||
                box->isPeeking())
                return;
            QAccessibleEvent focus(childInterface(box->tileInSlot(box->focusSlot())),
                                   QAccessible::Focus);
            QAccessible::updateAccessibility(&focus);
            QAccessibleEvent named(focus.accessibleInterface(), QAccessible::NameChanged);
            QAccessible::updateAccessibility(&named);
        });
        QObject::connect(box, &PictureBox::peekingChanged, box,
                         [this](bool peeking) { peeked(peeking); });
    }
    // While the whole picture shows, the board itself has the focus and says so; the focused
    // tile takes it back afterwards.
    void peeked(bool peeking)
    {
        if (!QAccessible::isActive())
            return;
        QAccessibleEvent named(this, QAccessible::NameChanged);
        QAccessible::updateAccessibility(&named);
        if (peeking && box()->hasFocus()) {
            QAccessibleEvent focus(this, QAccessible::Focus);
            QAccessible::updateAccessibility(&focus);
        }
    }
    ~BoardAccessible() override
    {
        for (const QAccessible::Id id : std::as_const(m_tiles))
            QAccessible::deleteAccessibleInterface(id);
    }

    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name)
            return QAccessibleWidget::text(t);
        return box()->isPeeking() ? QStringLiteral("拼圖圖片，正在顯示整張圖片")
                                  : QStringLiteral("拼圖圖片");
    }
    int childCount() const override { return box()->tileCount(); }
    QAccessibleInterface *child(int index) const override
    {
        return index >= 0 && index < childCount() ? childInterface(index + 1) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        const auto *tile = dynamic_cast<const TileAccessible *>(child);
        return tile && tile->isValid() ? tile->tile() - 1 : -1;
    }
    QAccessibleInterface *childAt(int x, int y) const override
    {
        const int tile = box()->tileAt(box()->mapFromGlobal(QPoint(x, y)));
        return tile ? childInterface(tile) : nullptr;
    }
    QAccessibleInterface *focusChild() const override
    {
        const int slot = box()->focusSlot();
        return box()->hasFocus() && slot && !box()->isPeeking()
                   ? childInterface(box()->tileInSlot(slot))
                   : nullptr;
    }

private:
    PictureBox *box() const { return static_cast<PictureBox *>(widget()); }

    // Made when first asked for, and kept: a board may hold tens of thousands of tiles.
    QAccessibleInterface *childInterface(int tile) const
    {
        auto found = m_tiles.constFind(tile);
        if (found == m_tiles.cend())
            found = m_tiles.insert(
                tile, QAccessible::registerAccessibleInterface(new TileAccessible(box(), tile)));
        return QAccessible::accessibleInterface(*found);
    }

    mutable QHash<int, QAccessible::Id> m_tiles;
};

} // namespace

QAccessibleInterface *boardAccessibleFactory(const QString &className, QObject *object)
{
    auto *box = qobject_cast<PictureBox *>(object);
    return className == QLatin1String("PictureBox") && box ? new BoardAccessible(box) : nullptr;
}

#include "pathlabel.h"

#include <QPainter>
#include <QTextLayout>

namespace {

constexpr QChar Ellipsis(0x2026);

// Lays text out in lines of at most width pixels, broken anywhere, and calls line for each.
template <typename Each> void layOut(QTextLayout &layout, qreal width, Each line)
{
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    qreal y = 0;
    for (QTextLine next = layout.createLine(); next.isValid(); next = layout.createLine()) {
        next.setLineWidth(width);
        next.setPosition(QPointF(0, y));
        y += next.height();
        line(next);
    }
    layout.endLayout();
}

// Whether text, broken anywhere at width, stands within height (one line always does).
bool fits(const QString &text, const QFont &font, QSizeF area)
{
    QTextLayout layout(text, font);
    int lines = 0;
    qreal bottom = 0;
    layOut(layout, area.width(), [&](const QTextLine &line) {
        ++lines;
        bottom = line.position().y() + line.height();
    });
    return lines <= 1 || bottom <= area.height();
}

// text without its middle, keeping `kept` characters in all around an ellipsis, never cutting
// a character that takes two code units in half.
QString withoutMiddle(const QString &text, qsizetype kept)
{
    qsizetype front = (kept + 1) / 2, back = kept / 2;
    if (front > 0 && text.at(front - 1).isHighSurrogate())
        --front;
    if (back > 0 && text.at(text.size() - back).isLowSurrogate())
        --back;
    return text.left(front) + Ellipsis + text.right(back);
}

} // namespace

PathLabel::PathLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void PathLabel::setPath(const QString &path)
{
    setText(path);
    setAccessibleDescription(path);
    // Rich text keeps the tooltip on one line, however long the path.
    setToolTip(QStringLiteral("<p style='white-space:pre'>%1</p>").arg(path.toHtmlEscaped()));
    update();
}

QString PathLabel::shownText() const
{
    QString path = text();
    if (fits(path, font(), size()))
        return path;
    // The most characters that still fit around the ellipsis.
    qsizetype kept = 0, over = path.size();
    while (over - kept > 1) {
        const qsizetype middle = (kept + over) / 2;
        (fits(withoutMiddle(path, middle), font(), size()) ? kept : over) = middle;
    }
    return withoutMiddle(path, kept);
}

QStringList PathLabel::shownLines() const
{
    const QString shown = shownText();
    QTextLayout layout(shown, font());
    QStringList lines;
    layOut(layout, width(), [&](const QTextLine &line) {
        lines.append(shown.mid(line.textStart(), line.textLength()));
    });
    return lines;
}

void PathLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setPen(palette().color(foregroundRole()));
    QTextLayout layout(shownText(), font());
    layOut(layout, width(), [](const QTextLine &) {});
    layout.draw(&painter, QPointF(0, 0));
}

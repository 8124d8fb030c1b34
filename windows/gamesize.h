// The size a picture is decoded at for the puzzle window.
#pragma once

#include "puzzle/gamestart.h"

#include <QSizeF>
#include <QWidget>

// What the puzzle window shows at most, in the screen's pixels where window stands.
inline QSize gameSize(const QWidget *window)
{
    return (QSizeF(puzzle::MaxShownSize) * window->devicePixelRatioF()).toSize();
}

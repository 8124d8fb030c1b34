// The pictures, cursors and icons the program is made with.
#pragma once

#include <QCursor>
#include <QIcon>
#include <QImage>
#include <QString>

namespace assets {

// The puzzle window's own picture, 354 x 354 pixels.
QImage defaultPicture();

// The pointing hand shown over the command buttons.
QCursor handCursor();

// The program's icon, 32 x 32 and 16 x 16.
QIcon programIcon();

// The drag icon file beside the program, read afresh at each call.
QString dragIconPath();

// The pointer shown while a tile is dragged: the drag icon file at path, or when it is missing
// or unreadable a built-in drag pointer (with a warning on standard error).
QCursor dragCursor(const QString &path = dragIconPath());

} // namespace assets

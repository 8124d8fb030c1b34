// What a screen reader finds in the puzzle's picture box: the whole picture and, while a game
// runs, one child for each painted tile, named by its piece and its place.
#pragma once

class QAccessibleInterface;
class QObject;
class QString;

// For QAccessible::installFactory: the interface of a PictureBox, else nullptr.
QAccessibleInterface *boardAccessibleFactory(const QString &className, QObject *object);

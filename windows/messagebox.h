// Message boxes for the player. Their text is always plain, so a file name or what the player
// typed is shown as it is, never read as markup; a box without a title shows an empty title
// bar (the window system would otherwise show the program's name there).
#pragma once

#include <QMessageBox>

// Shows a modal box with an OK button and waits until the player closes it.
void showMessage(QWidget *parent, QMessageBox::Icon icon, const QString &title,
                 const QString &text);

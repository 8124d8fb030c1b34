// What every run of the program sets up before its first window (translations and the icon), and
// that window.
#pragma once

#include "picturesource.h"

class QApplication;
class WindowRegistry;

// Loads Qt's Traditional Chinese translation, so that the standard buttons of the input and
// message boxes read in Chinese, and sets the program's name and icon.
void setUpApplication(QApplication &app);

// The program's first window: the puzzle window with the default picture, which the picture from
// the command line replaces once it is decoded (or a message says why not) as soon as the event
// loop runs.
void showPuzzle(WindowRegistry &windows, const PictureSource &picture);

// Enter or Return on a focused push button presses it, as the platform's own buttons do; Qt
// leaves that to dialogs' default buttons, and this game's windows have none.
#pragma once

class QKeyEvent;
class QWidget;

// Call from a window's keyPressEvent (buttons pass the keys they ignore up to the window).
// True when the key pressed the window's focused button.
bool pressFocusedButton(QWidget *window, QKeyEvent *event);

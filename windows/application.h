// What every run of the program sets up before its first window: translations and the icon.
#pragma once

class QApplication;

// Loads Qt's Traditional Chinese translation, so that the standard buttons of the input and
// message boxes read in Chinese, and sets the program's name and icon.
void setUpApplication(QApplication &app);

// Fonts for the Traditional Chinese captions.
#pragma once

#include <QFont>

// The Ming-style font the captions were designed in ("新細明體"), or the closest installed
// font: another Traditional Chinese Ming face, then any font that writes Traditional Chinese.
QFont mingFont(int pointSize);

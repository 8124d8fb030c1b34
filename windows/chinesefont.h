// Fonts for the Traditional Chinese captions.
#pragma once

#include <QFont>

// The Ming-style font the captions were designed in ("新細明體"), or the closest installed
// font: another Traditional Chinese Ming face, then any font that writes Traditional Chinese.
QFont mingFont(int pointSize);

// The platform's user-interface font, with a Traditional Chinese sans-serif face behind it for
// the Chinese characters, so they show in their Taiwanese forms.
QFont interfaceFont(const QFont &platformFont);

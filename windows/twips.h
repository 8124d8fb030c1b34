// The window layouts are kept in twips (1/1440 inch), the unit they were designed in.
#pragma once

#include <QRect>

namespace layout {

// 15 twips make one pixel at 96 dots per inch; the game works in pixels throughout.
inline constexpr int TwipsPerPixel = 15;

constexpr int px(int twips) { return twips / TwipsPerPixel; }
constexpr QRect rect(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

} // namespace layout

// The kinds of picture the game reads, as the player knows them: their names in messages and
// the file names the chooser lists. How each kind is told apart and decoded is the decoding
// process's (picture/formats.h).
#pragma once

#include <QString>

namespace picture {

enum class Kind { Bmp, Jpeg, Png, Gif, Ico, Webp, Tiff, Wmf, Svg, Heic, Avif, Jxl, Last = Jxl };

// As the player knows it: "JPEG".
QString kindName(Kind kind);

// The chooser's pattern: every kind a player picks, by its usual file names.
QString filePattern();

// The kinds a player may choose, as the messages name them: "BMP、JPEG、…".
QString kindNames();

} // namespace picture

// The kinds of picture the game reads, as the player knows them: their names in messages, the
// file names the chooser lists and the MIME types by which the desktop offers files and the
// clipboard offers pictures. How each kind is told apart and decoded is the decoding
// process's (picture/formats.h).
#pragma once

#include <QString>
#include <QStringList>

namespace picture {

enum class Kind { Bmp, Jpeg, Png, Gif, Ico, Webp, Tiff, Wmf, Svg, Heic, Avif, Jxl, Last = Jxl };

// As the player knows it: "JPEG".
QString kindName(Kind kind);

// The chooser's pattern: every kind a player picks, by its usual file names.
QString filePattern();
// The usual file names of one kind, ";" between them; empty for a kind the chooser does not
// offer (one the game reads only inside another, as an icon).
QString filePattern(Kind kind);

// The kinds the chooser offers, as the messages name them: "BMP、JPEG、…".
QString kindNames();

// The MIME types a kind is known by, its usual one first; none for a kind the chooser does not
// offer either.
QStringList mimeTypes(Kind kind);

// Every kind's MIME types, in the order of the kinds: what the desktop entry and the AppStream
// metadata say the game opens (packaging/).
QStringList mimeTypes();

// The MIME types a pasted or dropped picture's bytes are taken in, the most faithful first:
// lossless forms that keep transparency before the others, JPEG last.
QStringList pasteMimeTypes();

} // namespace picture

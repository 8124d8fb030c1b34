// What the decoding process answers on its standard output: a picture's pixels, or a refusal
// as a code with its details. The game reads the answer as it reads any file: it may come from
// a process that a hostile file has taken over, so nothing in it is believed unchecked.
//
// All numbers are 32-bit little-endian. An answer is the 8 bytes "PINTUDEC", then its kind:
//   1, a picture: width, height, 1 when it has alpha (premultiplied) else 0, its device pixel
//      ratio in thousandths (1000 to 8000), then its rows, 4 bytes a pixel as
//      QImage::Format_RGB32 or Format_ARGB32_Premultiplied hold them;
//   2, a refusal: the reason's number, the number of details (at most 8), then each detail as
//      its length in bytes (at most 4096) and its UTF-8.
#pragma once

#include "limits.h"
#include "refusal.h"

#include <QImage>

namespace picture {

struct Picture
{
    QImage image; // null when refused
    Refusal refusal;
    bool isNull() const { return image.isNull(); }
};

} // namespace picture

namespace picture::answer {

// Writes the answer for picture (refused when its image is null) to the descriptor fd.
// False when fd does not take it all.
bool write(int fd, const Picture &picture);

// A memory file for the decoding process to write its answer to, which read() can seal; -1
// when none can be made.
int makeFile();

// The picture or refusal in the answer in the memory file fd (from makeFile()). The file is
// first sealed, so that nothing can shrink, grow or rewrite it any more (a file that cannot be
// sealed, because something still holds it mapped for writing, is not read). Anything but one
// whole, well-formed answer within limits is read as the decoding process having failed
// (Reason::DecoderCrashed). The answer is mapped rather than copied: the picture's pixels stay
// in the mapping while the image lives.
Picture read(int fd, const Limits &limits = {});

// The most bytes a well-formed answer within limits can take.
qint64 maxBytes(const Limits &limits = {});

} // namespace picture::answer

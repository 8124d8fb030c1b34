// Decoding the bytes of a picture file in this process. The game never does this: its decoding
// process (pintu-decode, see loading/decodejob.h) does, behind walls, so that no file can freeze,
// end or take over the game. The fuzz targets and tests drive this code directly.
#pragma once

#include "loading/decodeanswer.h"
#include "loading/limits.h"
#include "loading/refusal.h"
#include "loading/request.h"

#include <QByteArrayView>
#include <QImage>
#include <QSize>

class QByteArray;

namespace picture {

// BMP, JPEG, PNG, GIF, ICO, WebP, TIFF, WMF, SVG, HEIC, AVIF or JPEG XL, told by content, not by
// name. A JPEG is turned upright as its orientation tag says, a HEIC or AVIF as its rotation and
// mirroring properties say, a JPEG XL as its orientation says; a GIF, an animated WebP, an AVIF
// sequence or an animated JPEG XL gives its first frame, a TIFF its first page, an ICO its first
// icon, a HEIC or AVIF its primary picture.
//
// Every picture given back is within the limits as decoded, whatever its header said. A file
// whose data ends before its pixels do is refused as incomplete, as our own walk over its
// structure tells (a missing end after whole data is fine, except for JPEG, whose data must
// end in its end marker). No estimate of the time a decode takes is made here: the decoding
// process has a clock of its own.
Picture decode(const QByteArray &bytes, const Request &request = {}, const Limits &limits = {});

// What the first bytes of a file tell before anything is decoded: that it is no picture of a
// kind we read, or one too large or of a form we do not read by its header alone. No refusal
// when they cannot tell.
Refusal checkHead(QByteArrayView head, const Limits &limits = {});

// The pixels decoding bytes will make, as far as the file's header tells: its width times its
// height, or for a picture drawn as vectors the pixels it is drawn at for request; 0 when
// nothing tells. The decoding process is given time in proportion.
qint64 declaredPixels(QByteArrayView bytes, const Request &request);

// Loads what decoding loads on first use (the image plug-ins, librsvg and its fonts, libheif's
// codecs; with a QGuiApplication, the fonts a metafile's text asks for most), so that a process
// waiting for a file has it ready.
void warmUp();

// Whether decoding needs fonts, and so a QGuiApplication: a metafile's text does.
bool needsFonts(QByteArrayView head);

// Reads on from the open file fd onto the end of bytes, until the file ends or bytes holds upTo
// bytes; nothing, or why not. A read that fails, at the start or further on, is CannotRead with
// the system's error number. A file that grew past MaxFileBytes since it was checked is
// refused; one that shrank is read as far as it goes.
Refusal readAll(int fd, QByteArray *bytes, qint64 upTo = MaxFileBytes + 1);

// Opens, reads and decodes the file at path in this process, for the tools and the tests; the
// game has every file decoded by its decoding process.
Picture decodeFile(const QString &path, const Request &request = {});

} // namespace picture

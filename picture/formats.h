// The kinds of picture the game reads, in one table: how a file of each kind starts, the walk
// over its structure before a reader sees it and our own reader where Qt's falls short or, for
// the kinds drawn as vectors, what draws it.
#pragma once

#include "surveys.h"

#include "loading/kinds.h"

#include <QByteArrayView>
#include <QString>

namespace picture {

struct Format
{
    const char *name; // as Qt's readers know it ("jpeg"), or as we do ("wmf", "svg")
    Kind kind;
    bool (*starts)(QByteArrayView head);
    Survey (*survey)(const Bytes &f, const Limits &limits); // a raster kind
    // Our own reader of a raster kind, after its walk found the file fine: a null picture with
    // no refusal leaves the file to Qt's reader. None: Qt's reader decodes every file.
    Picture (*read)(const QByteArray &bytes, const Survey &s, const Limits &limits);
    Picture (*draw)(QByteArrayView bytes, const Request &request, const Limits &limits);
};

// The kind the file's first bytes say, whatever its name; null for none we read.
const Format *formatOf(QByteArrayView head);

} // namespace picture

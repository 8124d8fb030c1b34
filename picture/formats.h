// The kinds of picture the game reads, in one table: how a file of each kind starts, the walk
// over its structure before Qt's reader sees it (or, for the kinds drawn as vectors, what draws
// it), and the file names the chooser lists.
#pragma once

#include "surveys.h"

#include <QByteArrayView>
#include <QString>

namespace picture {

struct Format
{
    const char *name;     // as Qt's readers know it ("jpeg"), or as we do ("wmf", "svg")
    const char16_t *kind; // as the player knows it ("JPEG")
    bool (*starts)(QByteArrayView head);
    Survey (*survey)(const Bytes &f, const Limits &limits); // a kind Qt's readers decode
    Picture (*draw)(QByteArrayView bytes, const Request &request, const Limits &limits);
    const char *patterns; // what the chooser lists, ";" between them; none for ICO
};

// The kind the file's first bytes say, whatever its name; null for none we read.
const Format *formatOf(QByteArrayView head);

// The chooser's pattern: every kind a player picks, by its usual file names.
QString filePattern();

// The kinds a player may choose, as the messages name them: "BMP、JPEG、…".
QString kindNames();

} // namespace picture

// The kinds of picture the game reads, in one table: how a file of each kind starts, and the
// walk over its structure before Qt's reader sees it or, for the kinds drawn as vectors, what
// draws it.
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
    Survey (*survey)(const Bytes &f, const Limits &limits); // a kind Qt's readers decode
    Picture (*draw)(QByteArrayView bytes, const Request &request, const Limits &limits);
};

// The kind the file's first bytes say, whatever its name; null for none we read.
const Format *formatOf(QByteArrayView head);

} // namespace picture

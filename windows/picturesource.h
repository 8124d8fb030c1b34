// A picture opened from elsewhere than the chooser: a file named on the command line, dropped on
// the puzzle window or copied in a file manager, or a picture's bytes pasted or dropped from a
// program that holds no file of it (a browser). What each offers is sorted out here, without
// looking at any file or decoding a byte: the decoding process does that.
#pragma once

#include <QByteArray>
#include <QString>

class QMimeData;

struct PictureSource
{
    QString path;     // a local file, absolute
    QByteArray bytes; // else a picture's bytes
    QString name;     // how a message names the picture or file
    QString refusal;  // else what the player reads: there is nothing to open

    bool isEmpty() const { return path.isEmpty() && bytes.isEmpty() && refusal.isEmpty(); }
};

// A command-line argument: a path, taken from folder unless it is absolute, or a file:// URL.
PictureSource sourceOfArgument(const QString &argument, const QString &folder);

enum class Arrival { Dropped, Pasted };

// Whether data may hold a picture or a file to open: URLs, a file manager's copied files, or a
// picture in a MIME type the game reads. A drag of anything else is refused as it enters.
bool mayHoldPicture(const QMimeData *data);

// What data offers: the first of its URLs (text/uri-list, or the files a file manager copied)
// when it is a local file; else a picture's bytes in the most faithful of the forms offered
// (picture::pasteMimeTypes); else why nothing can be opened (a web address, no picture).
PictureSource sourceOfData(const QMimeData *data, Arrival arrival);

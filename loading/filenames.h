// File names as the disk holds them. A Linux name is bytes; one that is not UTF-8 (an old
// Big5 name, say) is carried in a QString with each byte that is not part of valid UTF-8 kept
// as a lone surrogate U+DC80..U+DCFF, so that it opens by its own bytes again and is never
// confused with a name that merely looks alike.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

namespace picture {

QString fromNative(const QByteArray &bytes);
QByteArray toNative(const QString &path);

// How a name or path reads for the player: as it is when it is UTF-8, else decoded as Big5
// when its bytes are valid Big5, else with a replacement character for each bad byte.
QString shownName(const QString &name);

struct FolderEntry
{
    QString name; // in the form fromNative() gives
    bool isFolder = false;
};

// The entries of folder except "." and "..", read from the system directly: QDir leaves out
// names that are not UTF-8. A symbolic link counts as what it leads to; one that leads nowhere
// (dangling, a loop) counts as a file. Empty when the folder cannot be read.
QList<FolderEntry> listFolder(const QString &folder);

} // namespace picture

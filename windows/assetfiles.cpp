#include "assetfiles.h"

#include "picture/picturefile.h"
#include "picture/refusaltext.h"

#include <QCoreApplication>
#include <QDir>
#include <QPixmap>

namespace assets {

QImage defaultPicture()
{
    return QImage(QStringLiteral(":/assets/default.bmp")).convertToFormat(QImage::Format_RGB32);
}

QCursor handCursor()
{
    // The tip of the raised index finger.
    return QCursor(QPixmap(QStringLiteral(":/assets/hand-cursor.png")), 5, 0);
}

QIcon programIcon()
{
    QIcon icon;
    icon.addFile(QStringLiteral(":/assets/pintu-32.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/assets/pintu-16.png"), QSize(16, 16));
    return icon;
}

QString dragIconPath()
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("drag1pg.ico"));
}

QCursor dragCursor(const QString &path)
{
    const picture::Picture icon = picture::decodeFile(path);
    if (icon.isNull() || icon.image.width() > 256 || icon.image.height() > 256) {
        qWarning("pintu: cannot use the drag icon %s (%s); using the built-in drag pointer",
                 qPrintable(QDir::toNativeSeparators(path)),
                 icon.isNull() ? qPrintable(picture::refusalText(icon.refusal, path))
                               : "larger than 256 pixels");
        return QCursor(Qt::DragMoveCursor);
    }
    const QPixmap pixmap = QPixmap::fromImage(icon.image);
    return QCursor(pixmap, pixmap.width() / 2, pixmap.height() / 2);
}

} // namespace assets

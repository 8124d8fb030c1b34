#include "assetfiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QImageReader>
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
    // The program's own file, read by Qt's icon reader as it reads the program's other assets;
    // an icon is at most 256 pixels a side, which the reader checks before it decodes.
    constexpr int MaxIconSide = 256;
    QImageReader reader(path, "ico");
    const QSize size = reader.size();
    const bool fits = size.isValid() && size.width() <= MaxIconSide && size.height() <= MaxIconSide;
    const QImage icon = fits ? reader.read() : QImage();
    if (icon.isNull()) {
        qWarning("pintu: cannot use the drag icon %s (%s); using the built-in drag pointer",
                 qPrintable(QDir::toNativeSeparators(path)),
                 qPrintable(fits || !size.isValid() ? reader.errorString()
                                                    : QStringLiteral("larger than 256 pixels")));
        return QCursor(Qt::DragMoveCursor);
    }
    const QPixmap pixmap = QPixmap::fromImage(icon);
    return QCursor(pixmap, pixmap.width() / 2, pixmap.height() / 2);
}

} // namespace assets

// pintu-render INPUT OUTPUT.png: loads a picture through the game's own loader, writes PNG.
#include "picture/pictureloader.h"

#include <QGuiApplication>
#include <cstdio>

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: pintu-render INPUT OUTPUT.png\n");
        return 2;
    }
    const picture::Picture pic = picture::load(QString::fromLocal8Bit(argv[1]));
    if (pic.isNull()) {
        std::fprintf(stderr, "%s\n", pic.error.toLocal8Bit().constData());
        return 1;
    }
    return pic.image.save(QString::fromLocal8Bit(argv[2]), "PNG") ? 0 : 1;
}

// pintu-render INPUT OUTPUT.png: loads a picture exactly as the game does and writes it as PNG.
#include "picture/pictureloader.h"

#include <QGuiApplication>
#include <QImageWriter>
#include <QStringList>
#include <QTextStream>

int main(int argc, char *argv[])
{
    // Text needs fonts, fonts need a platform; no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() != 3) {
        err << QStringLiteral("用法：pintu-render 輸入圖片 輸出.png") << Qt::endl;
        return 2;
    }
    const picture::Picture picture = picture::load(args.at(1));
    if (picture.isNull()) {
        err << args.at(1) << QStringLiteral("：") << picture.error << Qt::endl;
        return 1;
    }
    QImageWriter writer(args.at(2), "png");
    if (!writer.write(picture.image)) {
        err << args.at(2) << QStringLiteral("：無法寫入（") << writer.errorString()
            << QStringLiteral("）") << Qt::endl;
        return 1;
    }
    return 0;
}

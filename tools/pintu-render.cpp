// pintu-render [--size N] INPUT OUTPUT.png: decodes a picture exactly as the game does, through
// its decoding process and with its limits, and writes it as PNG; with --size, at that longest
// side. Every file is answered within DecodeSeconds of the start.
#include "picture/decodejob.h"
#include "picture/refusaltext.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageWriter>
#include <QStringList>
#include <QTextStream>

namespace {

const char16_t usage[] =
    u"用法：pintu-render [--size 像素] 輸入圖片 輸出.png\n"
    u"\n"
    u"以遊戲載入圖片的方式讀入圖片，存成 PNG。\n"
    u"\n"
    u"  --size 像素  讓圖片的長邊為這麼多像素（1 到 16384）。WMF 圖片依這個大小\n"
    u"               重新繪製，其他圖片平滑縮放。不指定時，圖片與遊戲中顯示的\n"
    u"               原本大小完全相同。\n"
    u"  --help       顯示這段說明。\n";

// Time kept back for writing the picture once it has been decoded.
constexpr int WritingMilliseconds = 100;

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer started;
    started.start();
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.contains(u"--help"_qs) || args.contains(u"-h"_qs)) {
        QTextStream(stdout) << QString::fromUtf16(usage);
        return 0;
    }
    picture::Request request;
    if (const qsizetype at = args.indexOf(u"--size"_qs); at >= 0) {
        bool ok = false;
        request.longestSide = args.value(at + 1).toInt(&ok);
        if (!ok || request.longestSide < 1 || request.longestSide > picture::MaxSide) {
            err << QStringLiteral("--size 需要 1 到 %1 之間的整數。").arg(picture::MaxSide)
                << Qt::endl;
            return 2;
        }
        args.remove(at, 2);
    }
    if (args.size() != 2 || args.at(0).startsWith(u'-') || args.at(1).startsWith(u'-')) {
        err << QStringLiteral("用法：pintu-render [--size 像素] 輸入圖片 輸出.png（--help 看說明）")
            << Qt::endl;
        return 2;
    }
    const int timeLimit =
        picture::DecodeSeconds * 1000 - int(started.elapsed()) - WritingMilliseconds;
    const picture::Picture picture = picture::DecodeJob::run(args.at(0), request, timeLimit);
    if (picture.isNull()) {
        err << picture::refusalText(picture.refusal, QFileInfo(args.at(0)).fileName()) << Qt::endl;
        return 1;
    }
    QImageWriter writer(args.at(1), "png");
    if (!writer.write(picture.image)) {
        err << args.at(1) << QStringLiteral("：無法寫入（") << writer.errorString()
            << QStringLiteral("）") << Qt::endl;
        return 1;
    }
    return 0;
}

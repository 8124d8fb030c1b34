// pintu-render [--size N] INPUT OUTPUT.png: decodes a picture exactly as the game does, through
// its decoding process and with its limits, and writes it as PNG; with --size, at that longest
// side. Every file is held to the game's decoding budget.
#include "loading/decodejob.h"
#include "loading/refusaltext.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>
#include <QtEndian>

#include <zlib.h>

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

// Larger pictures are written uncompressed: compressing 32 megapixels takes seconds.
constexpr qint64 LargePixels = 4 * picture::Mebi;

void writeChunk(QSaveFile &file, const char *type, QByteArrayView data)
{
    char length[4];
    qToBigEndian(quint32(data.size()), length);
    uLong crc = crc32(0, reinterpret_cast<const Bytef *>(type), 4);
    if (!data.isEmpty()) // zlib takes no data at all as a call to start afresh
        crc = crc32(crc, reinterpret_cast<const Bytef *>(data.data()), uInt(data.size()));
    char check[4];
    qToBigEndian(quint32(crc), check);
    file.write(length, 4);
    file.write(type, 4);
    file.write(data.data(), data.size());
    file.write(check, 4);
}

// A PNG whose pixels are stored, not compressed (deflate's stored blocks), each row unfiltered:
// a tenth of the time Qt's writer takes at its lowest compression.
bool writeStoredPng(const QImage &picture, const QString &path)
{
    const bool alpha = picture.hasAlphaChannel();
    const QImage rows =
        picture.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    QSaveFile file(path);
    if (rows.isNull() || !file.open(QIODevice::WriteOnly))
        return false;
    file.write("\x89PNG\r\n\x1A\n", 8);
    QByteArray header(13, '\0');
    qToBigEndian(quint32(rows.width()), header.data());
    qToBigEndian(quint32(rows.height()), header.data() + 4);
    header[8] = 8;             // bits a sample
    header[9] = alpha ? 6 : 2; // RGBA or RGB
    writeChunk(file, "IHDR", header);
    z_stream stream{};
    deflateInit(&stream, Z_NO_COMPRESSION);
    const qsizetype rowBytes = qsizetype(rows.width()) * (alpha ? 4 : 3);
    QByteArray row(rowBytes + 1, '\0'); // filter type 0, then the row
    QByteArray out(1 << 20, '\0');
    for (int y = 0, flush = Z_NO_FLUSH; flush != Z_FINISH;) {
        if (y < rows.height()) {
            std::memcpy(row.data() + 1, rows.constScanLine(y++), size_t(rowBytes));
            stream.next_in = reinterpret_cast<Bytef *>(row.data());
            stream.avail_in = uInt(row.size());
        }
        flush = y == rows.height() ? Z_FINISH : Z_NO_FLUSH;
        int result = Z_OK;
        do {
            stream.next_out = reinterpret_cast<Bytef *>(out.data());
            stream.avail_out = uInt(out.size());
            result = deflate(&stream, flush);
            const qsizetype made = out.size() - qsizetype(stream.avail_out);
            if (made > 0)
                writeChunk(file, "IDAT", QByteArrayView(out).first(made));
        } while (stream.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
    }
    deflateEnd(&stream);
    writeChunk(file, "IEND", {});
    return file.commit();
}

} // namespace

int main(int argc, char *argv[])
{
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
    const picture::Picture picture = picture::DecodeJob::run(args.at(0), request);
    if (picture.isNull()) {
        err << picture::refusalText(picture.refusal, QFileInfo(args.at(0)).fileName()) << Qt::endl;
        return 1;
    }
    if (qint64(picture.image.width()) * picture.image.height() > LargePixels) {
        if (writeStoredPng(picture.image, args.at(1)))
            return 0;
        err << args.at(1) << QStringLiteral("：無法寫入。") << Qt::endl;
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

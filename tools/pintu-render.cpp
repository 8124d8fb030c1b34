// pintu-render [--size N] INPUT OUTPUT.png: decodes a picture exactly as the game does, through
// its decoding process and with its limits, and writes it as PNG; with --size, at that longest
// side. Every file is held to the game's decoding budget.
#include "loading/decodejob.h"
#include "loading/filenames.h"
#include "loading/refusaltext.h"
#include "loading/systemwords.h"

#include <QCoreApplication>
#include <QFile>
#include <QImageWriter>
#include <QStringList>
#include <QTextStream>
#include <QtEndian>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
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

void writeChunk(QIODevice &file, const char *type, QByteArrayView data)
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
bool writeStoredPng(const QImage &picture, QFile &file)
{
    const bool alpha = picture.hasAlphaChannel();
    const QImage rows =
        picture.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    if (rows.isNull())
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
    return file.error() == QFileDevice::NoError;
}

// How text reads safely on a terminal: what a terminal would act on rather than show (control
// characters, C1 controls, direction controls, line and paragraph separators) escaped, and each
// byte of a name that is not UTF-8 (kept as U+DC80 .. U+DCFF, see loading/filenames.h) as
// \xNN. In a name a backslash is doubled too, so that the name reads back as it is.
QString forTerminal(const QString &text, bool name)
{
    const auto hex = [](uint value, int digits) {
        return QStringLiteral("%1").arg(value, digits, 16, QLatin1Char('0')).toUpper();
    };
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            out += c;
            out += text[++i];
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out += QStringLiteral("\\x") + hex(u - 0xDC00, 2);
        } else if (u == u'\n' || u == u'\r' || u == u'\t') {
            out += u == u'\n'   ? QStringLiteral("\\n")
                   : u == u'\r' ? QStringLiteral("\\r")
                                : QStringLiteral("\\t");
        } else if (u < 0x20 || u == 0x7F) {
            out += QStringLiteral("\\x") + hex(u, 2);
        } else if ((u >= 0x80 && u < 0xA0) || (u >= 0x202A && u <= 0x202E) ||
                   (u >= 0x2066 && u <= 0x2069) || u == QChar::LineSeparator ||
                   u == QChar::ParagraphSeparator || c.isSurrogate()) {
            out += QStringLiteral("\\u") + hex(u, 4);
        } else if (name && u == u'\\') {
            out += QStringLiteral("\\\\");
        } else {
            out += c;
        }
    }
    return out;
}

// The arguments as the bytes they are: Qt's own list decodes them as UTF-8 and loses any byte of
// a file name that is not.
QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(picture::fromNative(QByteArray(argv[i])));
    return arguments;
}

// Writes the picture to path, by its bytes, whole or not at all: into a file of its own beside
// it first, which then takes its place. The system's error number when it cannot, else 0.
int writePicture(const QImage &picture, const QString &path)
{
    QByteArray temporary = picture::toNative(path) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return errno;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    QFile file;
    file.open(fd, QIODevice::WriteOnly, QFileDevice::AutoCloseHandle);
    // Larger pictures are stored, not compressed.
    bool written = qint64(picture.width()) * picture.height() > LargePixels
                       ? writeStoredPng(picture, file)
                       : QImageWriter(&file, "png").write(picture);
    int error = written ? 0 : (errno != 0 ? errno : EIO);
    file.close();
    if (written && ::rename(temporary.constData(), picture::toNative(path).constData()) != 0) {
        written = false;
        error = errno;
    }
    if (!written)
        ::unlink(temporary.constData());
    return error;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    QStringList args = argumentsOf(argc, argv);
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
        const QString name = args.at(0).section(u'/', -1);
        err << forTerminal(picture::refusalTextWith(picture.refusal, forTerminal(name, true)),
                           false)
            << Qt::endl;
        return 1;
    }
    if (const int error = writePicture(picture.image, args.at(1)); error != 0) {
        err << forTerminal(QStringLiteral("無法寫入「%1」（%2）。")
                               .arg(forTerminal(args.at(1), true), picture::systemWords(error)),
                           false)
            << Qt::endl;
        return 1;
    }
    return 0;
}

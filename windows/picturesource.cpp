#include "picturesource.h"

#include "loading/filenames.h"
#include "loading/kinds.h"
#include "loading/refusaltext.h"

#include <QFileInfo>
#include <QMimeData>
#include <QRegularExpression>
#include <QUrl>

#include <algorithm>
#include <optional>

namespace {

// What GNOME's, MATE's, Cinnamon's and KDE's file managers put on the clipboard for copied or
// cut files: "copy" or "cut", then a URL a line.
const QString CopiedFiles = QStringLiteral("x-special/gnome-copied-files");

// A web address is shown no longer than this: a browser may drag a whole picture as a data: URL.
constexpr int ShownAddressLength = 80;

// A local file's path from its bytes, percent-encoded or not; a folder's URL may end in "/",
// which goes so that its name shows.
std::optional<QString> pathFrom(const QByteArray &encoded)
{
    QByteArray path = QByteArray::fromPercentEncoding(encoded);
    if (!path.startsWith('/'))
        return std::nullopt;
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    return picture::fromNative(path);
}

bool isThisMachine(QByteArrayView host) { return host.isEmpty() || host == "localhost"; }

// The file a file: URL on this machine names, by its bytes (a name that is not UTF-8 stays as
// the disk holds it); nothing for any other URL.
std::optional<QString> localPath(const QUrl &url)
{
    if (!url.isValid() || url.scheme().compare(u"file", Qt::CaseInsensitive) != 0 ||
        !isThisMachine(url.host(QUrl::FullyEncoded).toLower().toLatin1()))
        return std::nullopt;
    return pathFrom(url.path(QUrl::FullyEncoded).toLatin1());
}

// The same for a file: URL typed or passed on the command line, where it may also come
// unencoded ("file:///tmp/my picture.png"): everything after the host is the path.
std::optional<QString> localPath(const QString &argument)
{
    const QByteArray bytes = picture::toNative(argument);
    constexpr QByteArrayView Scheme = "file://";
    if (!bytes.first(qMin(bytes.size(), Scheme.size())).toLower().startsWith(Scheme))
        return std::nullopt;
    const QByteArray rest = bytes.mid(Scheme.size());
    const qsizetype slash = rest.indexOf('/');
    if (slash < 0 || !isThisMachine(rest.first(slash).toLower()))
        return std::nullopt;
    return pathFrom(rest.mid(slash));
}

PictureSource ofFile(const QString &path)
{
    return {path, {}, picture::shownName(QFileInfo(path).fileName()), {}};
}

PictureSource notLocal(const QString &address)
{
    QString shown = address;
    if (shown.size() > ShownAddressLength)
        shown = shown.first(ShownAddressLength - 1) + u'…';
    return {
        {},
        {},
        {},
        picture::fillIn(u"「%0」不是這台電腦上的檔案。請先把圖片存到這台電腦上，再開啟那個檔案。",
                        {picture::inSentence(shown)})};
}

// A URL as a file manager or a browser writes it, from the bytes of one line.
QUrl urlFrom(QByteArrayView line)
{
    return QUrl::fromEncoded(line.trimmed().toByteArray(), QUrl::StrictMode);
}

// The URLs data holds: its URL list, else the files a file manager copied.
QList<QUrl> urlsOf(const QMimeData *data)
{
    if (data->hasUrls())
        return data->urls();
    QList<QUrl> urls;
    if (data->hasFormat(CopiedFiles)) {
        const QList<QByteArray> lines = data->data(CopiedFiles).split('\n');
        for (qsizetype i = 1; i < lines.size(); ++i) // past "copy" or "cut"
            if (!lines[i].trimmed().isEmpty())
                urls.append(urlFrom(lines[i]));
    }
    return urls;
}

} // namespace

PictureSource sourceOfArgument(const QString &argument, const QString &folder)
{
    // A URL starts with its scheme and a colon; file managers pass file:// ones.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]*://"));
    if (scheme.match(argument).hasMatch()) {
        if (const std::optional<QString> path = localPath(argument))
            return ofFile(*path);
        return notLocal(argument);
    }
    if (argument.startsWith(u'/'))
        return ofFile(argument);
    return ofFile(folder.endsWith(u'/') ? folder + argument : folder + u'/' + argument);
}

bool mayHoldPicture(const QMimeData *data)
{
    if (!data)
        return false;
    if (data->hasUrls() || data->hasFormat(CopiedFiles))
        return true;
    const QStringList offered = data->formats();
    const QStringList taken = picture::pasteMimeTypes();
    return std::any_of(offered.begin(), offered.end(),
                       [&taken](const QString &type) { return taken.contains(type); });
}

PictureSource sourceOfData(const QMimeData *data, Arrival arrival)
{
    const QList<QUrl> urls = data ? urlsOf(data) : QList<QUrl>();
    if (!urls.isEmpty())
        if (const std::optional<QString> path = localPath(urls.first()))
            return ofFile(*path);
    // A browser offers a picture's bytes beside its web address: the bytes in the most faithful
    // form offered. Read as they are: they are decoded in the decoding process alone.
    const QStringList offered = data ? data->formats() : QStringList();
    for (const QString &type : picture::pasteMimeTypes()) {
        if (!offered.contains(type))
            continue;
        const QByteArray bytes = data->data(type);
        if (!bytes.isEmpty())
            return {{},
                    bytes,
                    arrival == Arrival::Pasted ? QStringLiteral("剪貼簿中的圖片")
                                               : QStringLiteral("拖放的圖片"),
                    {}};
    }
    if (!urls.isEmpty())
        return notLocal(urls.first().toDisplayString());
    return {{},
            {},
            {},
            arrival == Arrival::Pasted ? QStringLiteral("剪貼簿中沒有圖片，也沒有複製的圖片檔案。")
                                       : QStringLiteral("放到這裡的不是圖片，也不是圖片檔案。")};
}

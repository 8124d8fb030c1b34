#include "filenames.h"

#include <QStringDecoder>

#include <dirent.h>
#include <sys/stat.h>

namespace picture {

namespace {

constexpr char16_t EscapeBase = 0xDC00; // + the byte, for bytes 0x80..0xFF

bool isContinuation(uchar c) { return (c & 0xC0) == 0x80; }

// The length of the valid UTF-8 sequence starting at bytes[i], 0 when there is none.
int sequenceLength(const QByteArray &bytes, qsizetype i)
{
    const auto at = [&](qsizetype k) { return uchar(bytes[k]); };
    const uchar lead = at(i);
    const qsizetype left = bytes.size() - i;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        return left >= 2 && isContinuation(at(i + 1)) ? 2 : 0;
    if (lead >= 0xE0 && lead <= 0xEF) {
        if (left < 3 || !isContinuation(at(i + 1)) || !isContinuation(at(i + 2)))
            return 0;
        const uchar second = at(i + 1);
        if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second > 0x9F))
            return 0; // overlong, or a surrogate
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        if (left < 4 || !isContinuation(at(i + 1)) || !isContinuation(at(i + 2)) ||
            !isContinuation(at(i + 3)))
            return 0;
        const uchar second = at(i + 1);
        if ((lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second > 0x8F))
            return 0;
        return 4;
    }
    return 0;
}

bool isEscape(char16_t c) { return c >= EscapeBase + 0x80 && c <= EscapeBase + 0xFF; }

} // namespace

QString fromNative(const QByteArray &bytes)
{
    QString out;
    out.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        const int length = sequenceLength(bytes, i);
        if (length == 0) {
            out.append(QChar(char16_t(EscapeBase + uchar(bytes[i]))));
            ++i;
            continue;
        }
        // Decoded here, not by QString::fromUtf8, which drops a byte order mark (U+FEFF) at the
        // start of what it is given: the name would lose a character it holds.
        static constexpr uchar LeadBits[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
        char32_t code = uchar(bytes[i]) & LeadBits[length];
        for (int k = 1; k < length; ++k)
            code = (code << 6) | (uchar(bytes[i + k]) & 0x3F);
        if (QChar::requiresSurrogates(code)) {
            out.append(QChar(QChar::highSurrogate(code)));
            out.append(QChar(QChar::lowSurrogate(code)));
        } else {
            out.append(QChar(char16_t(code)));
        }
        i += length;
    }
    return out;
}

QByteArray toNative(const QString &path)
{
    QByteArray out;
    out.reserve(path.size());
    qsizetype run = 0; // start of the current stretch of ordinary characters
    for (qsizetype i = 0; i <= path.size(); ++i) {
        if (i < path.size() && !isEscape(path[i].unicode()))
            continue;
        out.append(QStringView(path).mid(run, i - run).toUtf8());
        if (i < path.size())
            out.append(char(path[i].unicode() - EscapeBase));
        run = i + 1;
    }
    return out;
}

QString shownName(const QString &name)
{
    if (std::none_of(name.begin(), name.end(), [](QChar c) { return isEscape(c.unicode()); }))
        return name;
    const QByteArray bytes = toNative(name);
    // Valid Big5 is what decodes to real characters and encodes back to the same bytes: the
    // decoder alone lets some bad bytes pass, mapped to private-use characters.
    QStringDecoder toText("Big5", QStringDecoder::Flag::Stateless);
    QStringEncoder toBytes("Big5", QStringEncoder::Flag::Stateless);
    if (toText.isValid() && toBytes.isValid()) {
        QString decoded = toText.decode(bytes);
        const QByteArray again = toBytes.encode(decoded);
        const bool privateUse = std::any_of(decoded.begin(), decoded.end(), [](QChar c) {
            return c.category() == QChar::Other_PrivateUse;
        });
        if (!toText.hasError() && !toBytes.hasError() && again == bytes && !privateUse)
            return decoded;
    }
    return QString::fromUtf8(bytes); // bad bytes become U+FFFD
}

QList<FolderEntry> listFolder(const QString &folder)
{
    QList<FolderEntry> entries;
    const QByteArray native = toNative(folder);
    DIR *dir = ::opendir(native.constData());
    if (!dir)
        return entries;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        // The folder says what most entries are; only links, and entries of a file system that
        // does not say, are looked at one by one.
        bool isFolder = entry->d_type == DT_DIR;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st
            {
            };
            const QByteArray full = native.endsWith('/') ? native + name : native + '/' + name;
            isFolder = ::stat(full.constData(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        entries.append({fromNative(name), isFolder});
    }
    ::closedir(dir);
    return entries;
}

} // namespace picture

#include "decodeanswer.h"

#include "request.h"

#include <QByteArrayView>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <fcntl.h>
#include <memory>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace picture::answer {

namespace {

constexpr char Magic[] = "PINTUDEC";
constexpr qsizetype MagicBytes = sizeof(Magic) - 1;
constexpr quint32 KindPicture = 1, KindRefusal = 2;
constexpr quint32 MaxDetails = 8, MaxDetailBytes = 4096;
// The device pixel ratio travels in thousandths.
constexpr quint32 MinDensity = quint32(request::MinDensity * 1000);
constexpr quint32 MaxDensity = quint32(request::MaxDensity * 1000);

void append32(QByteArray &out, quint32 value)
{
    char bytes[4];
    qToLittleEndian(value, bytes);
    out.append(bytes, 4);
}

bool writeAll(int fd, const char *data, qint64 size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size_t(qMin<qint64>(size, 1 << 30)));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

// Reads the fields of an answer in order; once it runs past the end every field reads 0 and
// ok() stays false.
struct Reader
{
    QByteArrayView bytes;
    qsizetype at = 0;
    bool overrun = false;

    quint32 u32()
    {
        if (bytes.size() - at < 4) {
            overrun = true;
            return 0;
        }
        const quint32 value = qFromLittleEndian<quint32>(bytes.data() + at);
        at += 4;
        return value;
    }
    QByteArrayView take(qint64 count)
    {
        if (count < 0 || bytes.size() - at < count) {
            overrun = true;
            return {};
        }
        const QByteArrayView part = bytes.sliced(at, qsizetype(count));
        at += qsizetype(count);
        return part;
    }
    bool ok() const { return !overrun && at == bytes.size(); }
};

Picture crashed() { return {QImage(), refused(Reason::DecoderCrashed)}; }

} // namespace

bool write(int fd, const Picture &picture)
{
    QByteArray head(Magic, MagicBytes);
    if (picture.isNull()) {
        append32(head, KindRefusal);
        append32(head, quint32(picture.refusal.reason));
        const QStringList details = picture.refusal.details.mid(0, MaxDetails);
        append32(head, quint32(details.size()));
        for (const QString &detail : details) {
            const QByteArray utf8 = detail.toUtf8().left(MaxDetailBytes);
            append32(head, quint32(utf8.size()));
            head += utf8;
        }
        return writeAll(fd, head.constData(), head.size());
    }
    const QImage &image = picture.image;
    const bool alpha = image.format() == QImage::Format_ARGB32_Premultiplied;
    const QImage pixels = alpha || image.format() == QImage::Format_RGB32
                              ? image
                              : image.convertToFormat(QImage::Format_RGB32);
    append32(head, KindPicture);
    append32(head, quint32(pixels.width()));
    append32(head, quint32(pixels.height()));
    append32(head, alpha ? 1 : 0);
    append32(head, std::clamp(quint32(std::lround(pixels.devicePixelRatio() * 1000)), MinDensity,
                              MaxDensity));
    if (!writeAll(fd, head.constData(), head.size()))
        return false;
    const qint64 row = qint64(pixels.width()) * 4;
    if (pixels.bytesPerLine() == row)
        return writeAll(fd, reinterpret_cast<const char *>(pixels.constBits()),
                        row * pixels.height());
    for (int y = 0; y < pixels.height(); ++y)
        if (!writeAll(fd, reinterpret_cast<const char *>(pixels.constScanLine(y)), row))
            return false;
    return true;
}

namespace {

// An answer mapped into memory, unmapped by unmap().
struct Mapping
{
    void *address;
    size_t size;
};

void unmap(void *mapping)
{
    const auto *m = static_cast<Mapping *>(mapping);
    ::munmap(m->address, m->size);
    delete m;
}

// The picture or refusal the mapped answer holds. A picture's image keeps the mapping for its
// pixels and unmaps it when it goes; anything else unmaps it here.
Picture parse(Mapping *mapping, const Limits &limits)
{
    std::unique_ptr<Mapping, void (*)(void *)> owned(mapping, unmap);
    Reader r{QByteArrayView(static_cast<const char *>(mapping->address), qsizetype(mapping->size))};
    if (r.take(MagicBytes) != QByteArrayView(Magic, MagicBytes))
        return crashed();
    const quint32 kind = r.u32();
    if (kind == KindRefusal) {
        const quint32 reason = r.u32();
        const quint32 count = r.u32();
        if (reason == 0 || reason > quint32(Reason::Last) || count > MaxDetails)
            return crashed();
        Refusal refusal{Reason(reason), {}};
        for (quint32 i = 0; i < count && !r.overrun; ++i) {
            const quint32 length = r.u32();
            if (length > MaxDetailBytes)
                return crashed();
            refusal.details.append(QString::fromUtf8(r.take(length)));
        }
        return r.ok() ? Picture{QImage(), refusal} : crashed();
    }
    if (kind != KindPicture)
        return crashed();
    const quint32 width = r.u32(), height = r.u32(), alpha = r.u32(), density = r.u32();
    if (r.overrun || width == 0 || height == 0 || width > quint32(limits.maxSide) ||
        height > quint32(limits.maxSide) || qint64(width) * height > limits.maxPixels ||
        alpha > 1 || density < MinDensity || density > MaxDensity)
        return crashed();
    const QByteArrayView pixels = r.take(qint64(width) * height * 4);
    if (!r.ok())
        return crashed();
    QImage made(reinterpret_cast<const uchar *>(pixels.data()), int(width), int(height),
                qsizetype(width) * 4,
                alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32, unmap,
                owned.release()); // the image's now: it unmaps it when it goes
    if (made.isNull()) {          // no image took it
        unmap(mapping);
        return {QImage(), refused(Reason::OutOfMemory)};
    }
    made.setDevicePixelRatio(density / 1000.0);
    return {made, {}};
}

} // namespace

int makeFile() { return ::memfd_create("pintu-answer", MFD_CLOEXEC | MFD_ALLOW_SEALING); }

Picture read(int fd, const Limits &limits)
{
    // Sealed before it is looked at: from here on no one, the decoding process or anything it
    // left behind, can pull the pages from under the mapping (a shrunk file would end this
    // process with SIGBUS) or change what was checked. A file still mapped for writing refuses
    // the write seal, and one sealed already keeps its seals.
    constexpr int Seals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE;
    ::fcntl(fd, F_ADD_SEALS, Seals);
    const int sealed = ::fcntl(fd, F_GET_SEALS);
    if (sealed < 0 || (sealed & Seals) != Seals)
        return crashed();
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || st.st_size <= 0 || st.st_size > maxBytes(limits))
        return crashed();
    const size_t size = size_t(st.st_size);
    // Mapped with its pages at once: a fault a page would cost more than the whole copy.
    void *address = ::mmap(nullptr, size, PROT_READ, MAP_SHARED | MAP_POPULATE, fd, 0);
    if (address == MAP_FAILED)
        return {QImage(), refused(Reason::OutOfMemory)};
    return parse(new Mapping{address, size}, limits);
}

qint64 maxBytes(const Limits &limits)
{
    return MagicBytes + qint64(5) * 4 + limits.maxPixels * 4; // kind, sides, alpha, density
}

} // namespace picture::answer

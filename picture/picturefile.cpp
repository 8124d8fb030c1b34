#include "picturefile.h"

#include "filenames.h"

#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace picture {

namespace {

constexpr qint64 HeadBytes = qint64(64) * 1024;

FileStamp stampFrom(const struct stat &st)
{
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

QString systemWords(int err) { return QString::fromLocal8Bit(std::strerror(err)); }

Refusal openFailure(int err)
{
    switch (err) {
    case ENOENT:
        return refused(Reason::NotFound);
    case EACCES:
    case EPERM:
        return refused(Reason::NoPermission);
    case ELOOP:
        return refused(Reason::LinkLoop);
    default:
        return refused(Reason::CannotOpen, {systemWords(err)});
    }
}

} // namespace

FileStamp stampOf(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(toNative(QFileInfo(path).absoluteFilePath()).constData(), &st) != 0)
        return {};
    return stampFrom(st);
}

PictureFile::PictureFile(const QString &path)
{
    const QByteArray native = toNative(QFileInfo(path).absoluteFilePath());
    m_fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        m_refusal = openFailure(errno);
        return;
    }
    struct stat st
    {
    };
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode))
        m_refusal = refused(Reason::NotRegularFile);
    else if (st.st_size > MaxFileBytes)
        m_refusal = refused(Reason::FileTooLarge);
    else
        m_stamp = stampFrom(st);
    if (m_refusal.isRefused()) {
        ::close(m_fd);
        m_fd = -1;
    }
}

PictureFile::~PictureFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QByteArray PictureFile::head() const
{
    QByteArray bytes(qMin(HeadBytes, qMax<qint64>(m_stamp.size, 0)), Qt::Uninitialized);
    qsizetype got = 0;
    while (m_fd >= 0 && got < bytes.size()) {
        const ssize_t n = ::pread(m_fd, bytes.data() + got, size_t(bytes.size() - got), got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    return bytes;
}

Refusal readAll(int fd, QByteArray *bytes)
{
    // In pieces, so that a file that grows while it is read stops at the limit.
    constexpr qsizetype Piece = qsizetype(4) * 1024 * 1024;
    bytes->clear();
    for (;;) {
        const qsizetype at = bytes->size();
        const qsizetype want = qMin<qsizetype>(Piece, MaxFileBytes + 1 - at);
        bytes->resize(at + want);
        const ssize_t n = ::read(fd, bytes->data() + at, size_t(want));
        if (n < 0 && errno == EINTR) {
            bytes->resize(at);
            continue;
        }
        bytes->resize(at + qMax<qsizetype>(n, 0));
        if (n < 0)
            return at == 0 ? refused(Reason::CannotRead, {systemWords(errno)}) : Refusal();
        if (n == 0)
            return {};
        if (bytes->size() > MaxFileBytes)
            return refused(Reason::FileTooLarge);
    }
}

Picture decodeFile(const QString &path, const Request &request)
{
    const PictureFile file(path);
    if (file.refusal().isRefused())
        return {QImage(), file.refusal()};
    QByteArray bytes;
    if (const Refusal failed = readAll(file.descriptor(), &bytes); failed.isRefused())
        return {QImage(), failed};
    return decode(bytes, request);
}

} // namespace picture

#include "picturefile.h"

#include "filenames.h"
#include "limits.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace picture {

namespace {

FileStamp stampFrom(const struct stat &st)
{
    return {quint64(st.st_dev), quint64(st.st_ino), qint64(st.st_size),
            qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

// The file's bytes, from the folder current now when the path is relative. Made here rather
// than by QFileInfo, which turns a relative path into bytes as UTF-8 and so loses any byte of a
// name that is not (picture/filenames.h).
QByteArray nativeAbsolute(const QString &path)
{
    QByteArray native = toNative(path);
    if (native.startsWith('/'))
        return native;
    char here[PATH_MAX]; // its bytes, which QDir::currentPath() decodes
    return ::getcwd(here, sizeof here) ? QByteArray(here) + '/' + native : native;
}

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
        return refused(Reason::CannotOpen, {QString::number(err)});
    }
}

// The memory file fd holding bytes and sealed: it can no longer shrink, grow or be written, nor
// its seals be taken off.
Refusal sealedWith(int fd, QByteArrayView bytes)
{
    // Written at their places, so that the file's offset, which the decoding process shares,
    // stays at the start.
    for (qsizetype at = 0; at < bytes.size();) {
        const ssize_t wrote = ::pwrite(fd, bytes.data() + at, size_t(bytes.size() - at), at);
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0)
            return refused(Reason::CannotRead, {QString::number(wrote < 0 ? errno : EIO)});
        at += wrote;
    }
    constexpr int Seals = F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL;
    if (::fcntl(fd, F_ADD_SEALS, Seals) != 0)
        return refused(Reason::CannotOpen, {QString::number(errno)});
    if (const int sealed = ::fcntl(fd, F_GET_SEALS); sealed < 0 || (sealed & Seals) != Seals)
        return refused(Reason::CannotOpen, {QString::number(EPERM)});
    return {};
}

} // namespace

FileStamp stampOf(const QString &path)
{
    struct stat st
    {
    };
    if (::stat(nativeAbsolute(path).constData(), &st) != 0)
        return {};
    return stampFrom(st);
}

PictureFile::PictureFile(const QString &path)
{
    m_fd = ::open(nativeAbsolute(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (m_fd < 0) {
        m_refusal = openFailure(errno);
        return;
    }
    check();
}

std::unique_ptr<PictureFile> PictureFile::holding(QByteArrayView bytes)
{
    std::unique_ptr<PictureFile> file(new PictureFile);
    if (bytes.size() > MaxFileBytes) {
        file->m_refusal = refused(Reason::FileTooLarge);
        return file;
    }
    file->m_fd = ::memfd_create("pintu-picture", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    file->m_refusal = file->m_fd < 0 ? refused(Reason::CannotOpen, {QString::number(errno)})
                                     : sealedWith(file->m_fd, bytes);
    if (file->m_refusal.isRefused()) {
        if (file->m_fd >= 0)
            ::close(file->m_fd);
        file->m_fd = -1;
        return file;
    }
    file->check();
    return file;
}

// What the game checks of an open file before it hands it over: a regular file (a folder is
// told apart, as the player may well have dropped one) within MaxFileBytes.
void PictureFile::check()
{
    struct stat st
    {
    };
    const bool known = ::fstat(m_fd, &st) == 0;
    if (known && S_ISDIR(st.st_mode))
        m_refusal = refused(Reason::Folder);
    else if (!known || !S_ISREG(st.st_mode))
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

} // namespace picture

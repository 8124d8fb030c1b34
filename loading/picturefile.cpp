#include "picturefile.h"

#include "filenames.h"
#include "limits.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
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

} // namespace picture

// Opening a player's picture file without reading it: what the game checks itself before the
// decoding process sees the file, and how it tells a file changed since it was decoded.
#pragma once

#include "refusal.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace picture {

// Which file, as it stood: a decoded picture is still the file's while the stamp is the same.
struct FileStamp
{
    quint64 device = 0, inode = 0;
    qint64 size = -1, modified = 0; // modified: nanoseconds since the epoch
    bool isValid() const { return size >= 0; }
    friend bool operator==(const FileStamp &, const FileStamp &) = default;
};

// The stamp of the file at path now; invalid when it cannot be read.
FileStamp stampOf(const QString &path);

// An open picture file, opened without blocking (a FIFO or a device that merely carries a
// picture's name must not hang or flood the program) and checked to be a regular file within
// MaxFileBytes. Closed when it goes.
class PictureFile
{
public:
    explicit PictureFile(const QString &path);
    // A picture's bytes that come from no file (pasted, dropped from a browser) in a memory file
    // of their own, sealed so that nothing can change them any more: handed over as an opened
    // file is. Refused as a file would be past MaxFileBytes.
    static std::unique_ptr<PictureFile> holding(QByteArrayView bytes);
    ~PictureFile();
    PictureFile(const PictureFile &) = delete;
    PictureFile &operator=(const PictureFile &) = delete;

    // No refusal when the file is open.
    const Refusal &refusal() const { return m_refusal; }
    int descriptor() const { return m_fd; }
    const FileStamp &stamp() const { return m_stamp; }

private:
    PictureFile() = default;
    void check();

    int m_fd = -1;
    FileStamp m_stamp;
    Refusal m_refusal;
};

} // namespace picture

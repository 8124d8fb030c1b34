#include "folderreading.h"

#include <QTimer>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <dirent.h>
#include <mutex>
#include <thread>
#include <utility>

namespace picture {

namespace {

int &silentLimit()
{
    static int milliseconds = 10000;
    return milliseconds;
}

} // namespace

FolderReading readFolderHere(const QString &folder)
{
    DIR *dir = ::opendir(toNative(folder).constData());
    if (!dir)
        return {true, errno, {}};
    ::closedir(dir);
    return {true, 0, listFolder(folder)};
}

// One reading, shared by the thread that reads and the reader that waits for it. Once the
// reader stops waiting, the thread delivers the reading itself, while the reader still wants it.
struct FolderReader::Pending
{
    std::mutex mutex;
    std::condition_variable done;
    std::optional<FolderReading> reading;
    bool later = false;     // the reader waits no more: the thread delivers
    bool abandoned = false; // the reader wants it no more
};

int FolderReader::silentMilliseconds() { return silentLimit(); }
void FolderReader::setSilentMilliseconds(int milliseconds) { silentLimit() = milliseconds; }

FolderReader::FolderReader(QObject *parent) : QObject(parent), m_silence(new QTimer(this))
{
    m_silence->setSingleShot(true);
    connect(m_silence, &QTimer::timeout, this, [this] {
        const QString folder = m_folder;
        cancel();
        emit arrived(folder, {false, 0, {}});
    });
}

FolderReader::~FolderReader() { cancel(); }

std::optional<FolderReading> FolderReader::read(const QString &folder)
{
    cancel();
    auto pending = std::make_shared<Pending>();
    std::thread([this, pending, folder] {
        FolderReading reading = readFolderHere(folder);
        const std::lock_guard lock(pending->mutex);
        if (pending->abandoned)
            return;
        if (pending->later) {
            QMetaObject::invokeMethod(
                this,
                [this, pending, folder, reading] {
                    if (pending != m_pending)
                        return; // replaced meanwhile
                    cancel();
                    emit arrived(folder, reading);
                },
                Qt::QueuedConnection);
            return;
        }
        pending->reading = std::move(reading);
        pending->done.notify_all();
    }).detach();
    std::unique_lock lock(pending->mutex);
    if (pending->done.wait_for(lock, std::chrono::milliseconds(QuickMilliseconds),
                               [&] { return pending->reading.has_value(); }))
        return std::move(pending->reading);
    pending->later = true;
    lock.unlock();
    m_pending = pending;
    m_folder = folder;
    m_silence->start(silentMilliseconds());
    return std::nullopt;
}

void FolderReader::cancel()
{
    m_silence->stop();
    const std::shared_ptr<Pending> pending = std::exchange(m_pending, nullptr);
    if (!pending)
        return;
    const std::lock_guard lock(pending->mutex);
    pending->abandoned = true;
}

} // namespace picture

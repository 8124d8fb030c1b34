// Reading a folder apart from the window. A folder on a drive that does not answer (a network
// share gone away, a hung device) would hold whoever reads it for as long as the drive hangs:
// the reading runs on a thread of its own, the caller waits for it only a moment, and otherwise
// hears of it later, or hears that the drive did not answer.
#pragma once

#include "filenames.h"

#include <QObject>

#include <memory>
#include <optional>

class QTimer;

namespace picture {

struct FolderReading
{
    bool answered = true; // false: the drive gave no answer within the limit
    int error = 0;        // why the folder could not be opened (errno); 0 when it was read
    QList<FolderEntry> entries;
};

// Opens and lists folder on the calling thread.
FolderReading readFolderHere(const QString &folder);

// Reads one folder at a time for its owner; a newer read replaces an older one.
class FolderReader : public QObject
{
    Q_OBJECT
public:
    // How long read() waits before it leaves the answer to arrived(), and how long the answer
    // may take at most.
    static constexpr int QuickMilliseconds = 250;
    static int silentMilliseconds();
    static void setSilentMilliseconds(int milliseconds); // for the tests

    explicit FolderReader(QObject *parent = nullptr);
    // A reading still running is abandoned: its thread ends in its own time.
    ~FolderReader() override;

    // The folder's reading when it comes within QuickMilliseconds; otherwise nothing, and
    // arrived() follows, with the reading or with answered false.
    std::optional<FolderReading> read(const QString &folder);
    // The reading running is abandoned: arrived() does not come for it.
    void cancel();

signals:
    void arrived(const QString &folder, const picture::FolderReading &reading);

private:
    struct Pending;
    std::shared_ptr<Pending> m_pending;
    QString m_folder;
    QTimer *m_silence = nullptr;
};

} // namespace picture

Q_DECLARE_METATYPE(picture::FolderReading)

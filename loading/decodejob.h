// A player's picture file decoded in a process of its own, so that no file can freeze, end or
// take over the game: pintu-decode, which lies beside the program and decodes behind walls of
// its own. The game opens the file itself, makes the checks that need no reading (a regular
// file, its size) and hands the open file to the decoding process as its standard input; it
// never reads a byte of it. The process answers with the pixels or a refusal (decodeanswer.h) on
// its standard output, which is a memory file of the game's, sealed before it is read, so that
// a large picture's pixels are mapped, not copied through a pipe. It gets DecodeSeconds from its
// start to its answer and DecodeMemoryBytes of data; past either, or when it crashes, the player
// is told so and nothing of the game changes. It leads a process group of its own, which ends
// with the job.
#pragma once

#include "decodeanswer.h"
#include "picturefile.h"
#include "request.h"

#include <QObject>

#include <memory>

class QProcess;
class QTimer;

namespace picture {

inline constexpr int DecodeSeconds = 2;
inline constexpr qint64 DecodeMemoryBytes = 1024 * Mebi;

class DecodeJob : public QObject
{
    Q_OBJECT
public:
    explicit DecodeJob(QObject *parent = nullptr);
    // A running decode is killed, never waited for.
    ~DecodeJob() override;

    // Decodes the file at path; finished() follows, also when the file is refused at once. A
    // decode already running is cancelled first.
    void start(const QString &path, const Request &request = {});
    // Kills a running decode; finished() does not come for it.
    void cancel();
    bool isRunning() const { return m_running; }
    // The file being decoded, or last decoded, as it stood when it was opened.
    const FileStamp &stamp() const { return m_stamp; }

    // Wall-clock time from start() to the last pixel received; DecodeSeconds unless set.
    void setTimeLimit(int milliseconds) { m_timeLimit = milliseconds; }

    // Decodes to the end in an event loop of its own, for programs without windows.
    static Picture run(const QString &path, const Request &request = {},
                       int timeLimitMilliseconds = DecodeSeconds * 1000);

    // The decoding program: pintu-decode beside the running program unless set otherwise.
    static QString program();
    static void setProgram(const QString &path);

signals:
    void finished(const picture::Picture &picture);

private:
    void launch(const PictureFile &file, const Request &request);
    void endGroup();
    void ended();
    void finish(const Picture &picture);
    void finishLater(const Refusal &refusal);

    QProcess *m_process = nullptr;
    qint64 m_group = 0; // the decoding process's group, while it may hold anything
    int m_answer = -1;  // the memory file the answer is written to
    QTimer *m_clock = nullptr;
    FileStamp m_stamp;
    int m_timeLimit = DecodeSeconds * 1000;
    bool m_running = false;
    bool m_timedOut = false;
    quint64 m_generation = 0; // tells a queued refusal of a cancelled start from a live one
};

} // namespace picture

Q_DECLARE_METATYPE(picture::Picture)

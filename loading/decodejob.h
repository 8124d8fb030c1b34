// A player's picture file decoded in a process of its own, so that no file can freeze, end or
// take over the game: pintu-decode, which lies beside the program and decodes behind walls of
// its own. The game opens the file, on a thread of its own so that a drive that does not answer
// never holds a window, makes the checks that need no reading (a regular file, its size) and
// hands the open file to a decoding process that waits for one (spare.h); it never reads a byte
// of it. The process answers with the pixels or a refusal (decodeanswer.h) in a memory file of
// the game's, sealed before it is read, so that a large picture's pixels are mapped, not copied.
//
// The process is held to a budget (DecodeBudget): CPU time of its own that grows with the pixels
// the file's header declares, so that a busy or slow machine does not count against a picture,
// a wall-clock ceiling for a process that sleeps, and a limit on waiting for a drive that does
// not answer. Past any of them, or when it crashes, the player is told which and nothing of the
// game changes.
#pragma once

#include "decodeanswer.h"
#include "picturefile.h"
#include "request.h"
#include "spare.h"

#include <QElapsedTimer>
#include <QObject>

#include <functional>
#include <memory>

class QTimer;

namespace picture {

struct DecodeBudget
{
    // CPU time any picture may take, and more for each million pixels its header declares (a
    // picture drawn as vectors counts the pixels it is drawn at): enough for any picture within
    // the limits on a machine four times slower than a current laptop (docs/performance.md; a
    // HEIC, whose HEVC libde265 decodes, takes the most).
    int floorMilliseconds = 2000;
    int perMegapixelMilliseconds = 900;
    // Wall-clock time from the hand-over to the answer, for a process that sleeps or blocks.
    int ceilingMilliseconds = 60000;
    // Time spent waiting for a drive without a break: opening the file, or the process reading
    // it without using any time.
    int silentDriveMilliseconds = 10000;

    qint64 cpuMilliseconds(qint64 pixels) const
    {
        return floorMilliseconds + perMegapixelMilliseconds * qMax<qint64>(pixels, 0) / Mebi;
    }
};

class DecodeJob : public QObject
{
    Q_OBJECT
public:
    explicit DecodeJob(QObject *parent = nullptr);
    // A running decode is killed, never waited for.
    ~DecodeJob() override;

    // A picture decoded before from a file as it stood then: a start() that finds the file
    // still so gives it back without decoding again.
    struct Known
    {
        FileStamp stamp;
        QImage image;
    };

    // Decodes the file at path; finished() follows, also when the file is refused at once. A
    // decode already running is cancelled first.
    void start(const QString &path, const Request &request = {}, const Known &known = {});
    // Decodes a picture's bytes that come from no file (pasted, say): they are written to a
    // sealed memory file, which is handed over as an opened file is (PictureFile::holding).
    void startBytes(const QByteArray &bytes, const Request &request = {});
    // Stops a running decode at once; finished() does not come for it.
    void cancel();
    bool isRunning() const { return m_running; }
    // The file being decoded, or last decoded, as it stood when it was opened.
    const FileStamp &stamp() const { return m_stamp; }

    void setBudget(const DecodeBudget &budget) { m_budget = budget; }
    // The budget each new job starts with (the tests shorten it).
    static void setStandardBudget(const DecodeBudget &budget);

    // Decodes to the end in an event loop of its own, for programs without windows.
    static Picture run(const QString &path, const Request &request = {},
                       const DecodeBudget &budget = {});

    // The decoding program: pintu-decode beside the running program unless set otherwise.
    static QString program() { return decoderProgram(); }
    static void setProgram(const QString &path) { setDecoderProgram(path); }

signals:
    void finished(const picture::Picture &picture);

private:
    struct Opening;
    using Open = std::function<std::shared_ptr<const PictureFile>()>;
    void begin(Open open, const Request &request, const Known &known);
    void opened(quint64 generation, const PictureFile &file);
    void check();
    void ended(bool crashed);
    void finish(const Picture &picture);

    std::shared_ptr<Opening> m_opening; // the file being opened on a thread of its own
    std::unique_ptr<Decoder> m_decoder;
    Request m_request;
    Known m_known;
    QTimer *m_watch = nullptr;
    QElapsedTimer m_since; // the start, then the hand-over
    qint64 m_cpuAtHandOver = 0;
    qint64 m_cpuBudget = 0;
    qint64 m_cpuLastSeen = 0;
    QElapsedTimer m_cpuStill; // since the process last used any time
    bool m_fileRead = false;  // the process has read the whole file
    FileStamp m_stamp;
    DecodeBudget m_budget;
    bool m_running = false;
    quint64 m_generation = 0; // tells what a cancelled start left behind from a live one
};

} // namespace picture

Q_DECLARE_METATYPE(picture::Picture)

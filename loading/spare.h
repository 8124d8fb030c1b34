// Decoding processes started ahead of need. Starting pintu-decode, loading its libraries and
// raising its walls takes tens of milliseconds; a spare has done all that and waits, behind its
// walls, for a file handed over a socket (handover.h). Taking the spare starts the next one, so
// that a player who clicks from file to file never waits for a start. One idle spare at most,
// shared by every window; a spare that dies is replaced; none outlives the game (the system
// ends them when the game ends, however it ends).
#pragma once

#include "limits.h"
#include "request.h"

#include <QObject>
#include <QProcessEnvironment>

#include <memory>

class QProcess;
class QSocketNotifier;

namespace picture {

// What a decoding process may use: DecodeMemoryBytes of data.
inline constexpr qint64 DecodeMemoryBytes = 1024 * Mebi;

// The decoding program: pintu-decode beside the running program unless set otherwise.
QString decoderProgram();
void setDecoderProgram(const QString &path);

// One decoding process, from its start to its end. It leads a process group of its own, which
// ends whole with it.
class Decoder : public QObject
{
    Q_OBJECT
public:
    // A spare loads what decoding needs before it says it is ready; a decoder wanted at once
    // loads only what its file needs.
    enum Start { Spare, Now };
    Decoder(const QString &program, const QProcessEnvironment &environment, Start start,
            QObject *parent = nullptr);
    // Ends the process; one the system holds up (a read from a drive that does not answer) is
    // left to end in its own time, without anyone waiting for it.
    ~Decoder() override;

    const QString &program() const { return m_program; }
    const QProcessEnvironment &environment() const { return m_environment; }
    qint64 processId() const { return m_pid; }
    bool isRunning() const;
    bool isIdle() const { return isRunning() && !m_handedOver; }
    // It has started, its walls are up and it waits for a file.
    bool isReady() const { return isIdle() && m_ready; }

    // Hands the open file over with the request; false when the process cannot take it. The
    // file is the process's as well from then on: the caller may close its own.
    bool handOver(int file, const Request &request);
    // The memory file the process writes its answer to (decodeanswer.h).
    int answerFile() const { return m_answer; }

    // The CPU time the process has used, all its threads; -1 when it has gone.
    qint64 cpuMilliseconds() const;

    // Kills the process and its group.
    void end();

signals:
    // The process ended, crashed, or could not start; crashed tells an end by a signal.
    void ended(bool crashed);
    // It reported the pixels its file declares (the largest report so far).
    void declared(qint64 pixels);
    void failedToStart();
    void ready();
    // It says its answer is written (it may not have ended yet).
    void answered();

private:
    QString m_program;
    QProcessEnvironment m_environment;
    QProcess *m_process = nullptr;
    QSocketNotifier *m_reports = nullptr;
    qint64 m_pid = 0;   // while the process runs
    qint64 m_group = 0; // its process group, until it is ended
    int m_socket = -1;  // the game's end
    int m_answer = -1;
    bool m_handedOver = false;
    bool m_ready = false;
    qint64 m_declared = -1;
};

class Spares : public QObject
{
    Q_OBJECT
public:
    // The program's keeper of spares, made on first use; it goes with the application.
    static Spares &instance();

    // Whether a spare is kept ready between decodes (by default it is not: a tool that decodes
    // one file needs none). Turning it on starts one.
    void setKept(bool kept);
    bool isKept() const { return m_kept; }

    // A decoding process for program with the process's environment as it is now: the idle
    // spare when it was started for exactly that, else a fresh one. The caller owns it. When
    // spares are kept, the next one starts.
    std::unique_ptr<Decoder> take(const QString &program);

    // The idle spare's process, 0 when there is none.
    qint64 idleProcessId() const;
    // Whether the idle spare waits behind its walls already.
    bool isSpareReady() const { return m_idle && m_idle->isReady(); }

private:
    explicit Spares(QObject *parent);
    void startSpare();
    void replaceLost(quint64 started, bool retry);

    std::unique_ptr<Decoder> m_idle;
    QString m_program;
    bool m_kept = false;
    int m_lostInARow = 0;  // spares that died while idle, since one was last taken
    quint64 m_started = 0; // spares started, to tell the idle one's signals from a taken one's
};

} // namespace picture

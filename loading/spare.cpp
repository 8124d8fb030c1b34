#include "spare.h"

#include "decodeanswer.h"
#include "handover.h"
#include "limits.h"
#include "sanitized.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>

#include <csignal>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace picture {

namespace {

QString &programOverride()
{
    static QString path;
    return path;
}

// The game's environment, and what the decoding process cannot find out for itself behind its
// walls.
QProcessEnvironment decoderEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Qt looks for its run-time folder when it starts a platform (for fonts), and without one
    // makes one in /tmp, which the walls do not allow: it shares the game's.
    const QString runtime = QStringLiteral("XDG_RUNTIME_DIR");
    if (!environment.contains(runtime)) {
        static const QString folder =
            QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
        environment.insert(runtime, folder);
    }
    // AddressSanitizer maps terabytes for its own bookkeeping, which no data limit lets
    // through: a sanitized decoding process is held to its memory by the sanitizer's own limits
    // instead, on any one allocation and on resident memory, past which allocations fail as
    // they do past the data limit.
    if (Sanitized) {
        const QString options = environment.value(QStringLiteral("ASAN_OPTIONS"));
        environment.insert(QStringLiteral("ASAN_OPTIONS"),
                           options + QStringLiteral(":allocator_may_return_null=1") +
                               QStringLiteral(":max_allocation_size_mb=%1:soft_rss_limit_mb=%1")
                                   .arg(DecodeMemoryBytes / Mebi));
    }
    return environment;
}

// Processes the system would not end when killed: kept, never waited for, never destroyed
// (destroying a running QProcess waits for it).
QList<QProcess *> &abandoned()
{
    // Never destroyed either: it outlives every process it holds, to the program's end.
    static auto *processes = new QList<QProcess *>;
    return *processes;
}

void abandon(QProcess *process)
{
    process->disconnect();
    process->setParent(nullptr);
    abandoned().append(process);
    QObject::connect(process, &QProcess::finished, process, [process] {
        abandoned().removeOne(process);
        process->deleteLater();
    });
}

} // namespace

QString decoderProgram()
{
    if (!programOverride().isEmpty())
        return programOverride();
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("pintu-decode"));
}

void setDecoderProgram(const QString &path) { programOverride() = path; }

Decoder::Decoder(const QString &program, const QProcessEnvironment &environment, Start start,
                 QObject *parent)
    : QObject(parent), m_program(program), m_environment(environment)
{
    int ends[2];
    m_answer = answer::makeFile();
    if (m_answer < 0 || !handover::makePair(ends)) {
        QTimer::singleShot(0, this, [this] { emit failedToStart(); });
        return;
    }
    m_socket = ends[0];
    m_process = new QProcess(this);
    m_process->setProgram(program);
    m_process->setArguments({start == Spare ? QStringLiteral("--spare") : QStringLiteral("--now")});
    m_process->setStandardOutputFile(QProcess::nullDevice()); // replaced by the answer's file
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->setProcessEnvironment(environment);
    // In the new process, before it runs: its end of the sockets becomes its standard input,
    // the answer's file its standard output, it leads a process group of its own, and its limits
    // are set (an answer longer than any can be ends it). Only calls that are safe after fork()
    // belong here.
    const int in = ends[1], out = m_answer;
    m_process->setChildProcessModifier([in, out] {
        ::dup2(in, STDIN_FILENO);
        ::dup2(out, STDOUT_FILENO);
        ::setpgid(0, 0);
        ::prctl(PR_SET_PDEATHSIG, SIGKILL); // it never outlives the game
        const rlimit noCore{0, 0};
        ::setrlimit(RLIMIT_CORE, &noCore);
        const rlimit answer{rlim_t(answer::maxBytes()), rlim_t(answer::maxBytes())};
        ::setrlimit(RLIMIT_FSIZE, &answer);
        if (!Sanitized) {
            const rlimit data{rlim_t(DecodeMemoryBytes), rlim_t(DecodeMemoryBytes)};
            ::setrlimit(RLIMIT_DATA, &data);
        }
    });
    connect(m_process, &QProcess::finished, this, [this](int, QProcess::ExitStatus status) {
        m_pid = 0;
        emit ended(status == QProcess::CrashExit);
    });
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            emit failedToStart();
    });
    m_process->start(QIODevice::ReadOnly);
    ::close(ends[1]);
    m_pid = m_group = m_process->processId();
    // Here too, so that the group is there before anyone may end it, whichever runs first.
    if (m_pid > 0)
        ::setpgid(pid_t(m_pid), pid_t(m_pid));
    m_reports = new QSocketNotifier(m_socket, QSocketNotifier::Read, this);
    connect(m_reports, &QSocketNotifier::activated, this, [this] {
        const handover::Reports reports = handover::readReports(m_socket, MaxPixels);
        if (reports.closed) // it has ended, or soon will: ended() tells the rest
            m_reports->setEnabled(false);
        if (reports.ready && !std::exchange(m_ready, true))
            emit ready();
        const qint64 pixels = reports.declared;
        if (pixels > m_declared) {
            m_declared = pixels;
            emit declared(pixels);
        }
        if (reports.done && m_handedOver)
            emit answered();
    });
}

Decoder::~Decoder()
{
    end();
    if (m_process && m_process->state() != QProcess::NotRunning && !m_process->waitForFinished(50))
        abandon(m_process);
    if (m_socket >= 0)
        ::close(m_socket);
    if (m_answer >= 0)
        ::close(m_answer);
}

bool Decoder::isRunning() const { return m_process && m_process->state() != QProcess::NotRunning; }

bool Decoder::handOver(int file, const Request &request)
{
    if (!isRunning() || m_handedOver)
        return false;
    m_handedOver = handover::send(m_socket, file, request);
    return m_handedOver;
}

qint64 Decoder::cpuMilliseconds() const
{
    if (m_pid <= 0)
        return -1;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(m_pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.read(1024);
    // The name in parentheses may hold anything; the fields after its last ")" are numbers, the
    // 12th and 13th of them the user and system time in clock ticks.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    static const long ticks = ::sysconf(_SC_CLK_TCK);
    return (fields[11].toLongLong() + fields[12].toLongLong()) * 1000 / qMax(ticks, 1L);
}

void Decoder::end()
{
    // The process and whatever it left behind end together. The group's number names no one
    // else's group while anything of this one is left: the system gives no process that number
    // until the group is empty.
    if (m_group > 0)
        ::kill(-pid_t(std::exchange(m_group, 0)), SIGKILL);
    if (isRunning())
        m_process->kill();
}

Spares::Spares(QObject *parent) : QObject(parent)
{
    // Ended before the windows go, so that nothing is left when the game's last window closes.
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
        m_kept = false;
        m_idle.reset();
    });
}

Spares &Spares::instance()
{
    static QPointer<Spares> spares;
    if (!spares)
        spares = new Spares(QCoreApplication::instance());
    return *spares;
}

void Spares::setKept(bool kept)
{
    m_kept = kept;
    if (!kept)
        m_idle.reset();
    else if (!m_idle)
        startSpare();
}

std::unique_ptr<Decoder> Spares::take(const QString &program)
{
    const QProcessEnvironment environment = decoderEnvironment();
    std::unique_ptr<Decoder> taken = std::move(m_idle);
    if (!taken || !taken->isIdle() || taken->program() != program ||
        taken->environment() != environment)
        taken = std::make_unique<Decoder>(program, environment, Decoder::Now);
    disconnect(taken.get(), nullptr, this, nullptr);
    m_program = program;
    m_lostInARow = 0;
    // The next one starts once the taken one has answered (or has gone): starting a process
    // holds this thread a moment, and both would share the processor meanwhile.
    const quint64 started = m_started;
    const auto next = [this, started] {
        if (m_kept && !m_idle && started == m_started)
            startSpare();
    };
    connect(taken.get(), &Decoder::answered, this, next, Qt::QueuedConnection);
    connect(taken.get(), &Decoder::ended, this, next, Qt::QueuedConnection);
    connect(taken.get(), &QObject::destroyed, this, next, Qt::QueuedConnection);
    return taken;
}

qint64 Spares::idleProcessId() const
{
    return m_idle && m_idle->isIdle() ? m_idle->processId() : 0;
}

void Spares::startSpare()
{
    if (m_program.isEmpty())
        m_program = decoderProgram();
    m_idle = std::make_unique<Decoder>(m_program, decoderEnvironment(), Decoder::Spare);
    const quint64 started = ++m_started;
    connect(m_idle.get(), &Decoder::ended, this, [this, started] { replaceLost(started, true); });
    connect(m_idle.get(), &Decoder::failedToStart, this,
            [this, started] { replaceLost(started, false); });
}

// A spare that died waiting (killed from outside, say) is replaced, unless spares keep dying:
// then the next decode starts one of its own. One that could not start at all is not retried
// until then. Not while its process's signal is being delivered: the spare goes after it.
void Spares::replaceLost(quint64 started, bool retry)
{
    QTimer::singleShot(0, this, [this, started, retry] {
        if (started != m_started || !m_idle)
            return; // taken, or replaced already
        m_idle.reset();
        if (m_kept && retry && ++m_lostInARow <= 3)
            startSpare();
    });
}

} // namespace picture

#include "decodejob.h"

#include "decodeanswer.h"
#include "request.h"
#include "sanitized.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>

#include <cmath>
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
QProcessEnvironment environment()
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

} // namespace

DecodeJob::DecodeJob(QObject *parent) : QObject(parent), m_clock(new QTimer(this))
{
    m_clock->setSingleShot(true);
    connect(m_clock, &QTimer::timeout, this, [this] {
        if (!m_process || m_process->state() == QProcess::NotRunning)
            return; // it has answered; ended() is on its way
        m_timedOut = true;
        endGroup();
    });
}

DecodeJob::~DecodeJob() { cancel(); }

QString DecodeJob::program()
{
    if (!programOverride().isEmpty())
        return programOverride();
    return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("pintu-decode"));
}

void DecodeJob::setProgram(const QString &path) { programOverride() = path; }

void DecodeJob::start(const QString &path, const Request &request)
{
    cancel();
    m_running = true;
    m_timedOut = false;
    const PictureFile file(path);
    m_stamp = file.stamp();
    if (file.refusal().isRefused())
        return finishLater(file.refusal());
    launch(file, request);
}

void DecodeJob::launch(const PictureFile &file, const Request &request)
{
    m_answer = answer::makeFile();
    if (m_answer < 0)
        return finishLater(refused(Reason::OutOfMemory));
    m_process = new QProcess(this);
    m_process->setProgram(program());
    m_process->setArguments(request::arguments(request));
    m_process->setStandardOutputFile(QProcess::nullDevice()); // replaced by the answer's file
    m_process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    m_process->setProcessEnvironment(environment());
    // In the new process, before it runs the decoder: the open file becomes its standard
    // input, the answer's file its standard output, it leads a process group of its own (which
    // ends whole with the job), and its limits are set (an answer longer than any can be ends
    // it). Only calls that are safe after fork() belong here.
    const int in = file.descriptor(), out = m_answer;
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
    connect(m_process, &QProcess::finished, this, &DecodeJob::ended);
    connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            finish({QImage(), refused(Reason::DecoderMissing, {m_process->program()})});
    });
    m_clock->start(m_timeLimit);
    m_process->start(QIODevice::ReadOnly);
    m_group = m_process->processId();
    // Here too, so that the group is there before anyone may end it, whichever runs first.
    if (m_group > 0)
        ::setpgid(pid_t(m_group), pid_t(m_group));
}

void DecodeJob::endGroup()
{
    // The decoding process and whatever it left behind end together. The group's number names
    // no one else's group while anything of this one is left: the system gives no process that
    // number until the group is empty.
    if (m_group > 0)
        ::kill(-pid_t(std::exchange(m_group, 0)), SIGKILL);
    if (m_process && m_process->state() != QProcess::NotRunning)
        m_process->kill();
}

void DecodeJob::ended()
{
    endGroup();
    if (m_timedOut) {
        // A limit given as what is left of DecodeSeconds is still read as DecodeSeconds.
        const QString seconds = QString::number(std::ceil(m_timeLimit / 1000.0));
        return finish({QImage(), refused(Reason::TooSlow, {seconds})});
    }
    if (m_process->exitStatus() == QProcess::CrashExit)
        return finish({QImage(), refused(Reason::DecoderCrashed)});
    finish(answer::read(m_answer));
}

void DecodeJob::finish(const Picture &picture)
{
    if (!m_running)
        return;
    cancel();
    emit finished(picture);
}

void DecodeJob::finishLater(const Refusal &refusal)
{
    const quint64 generation = m_generation;
    QMetaObject::invokeMethod(
        this,
        [this, generation, refusal] {
            if (generation == m_generation)
                finish({QImage(), refusal});
        },
        Qt::QueuedConnection);
}

void DecodeJob::cancel()
{
    ++m_generation;
    m_running = false;
    m_clock->stop();
    if (m_answer >= 0)
        ::close(std::exchange(m_answer, -1));
    if (!m_process)
        return;
    m_process->disconnect(this);
    endGroup();
    QProcess *process = std::exchange(m_process, nullptr);
    if (process->state() != QProcess::NotRunning) {
        // A killed process ends at once; one the system holds up (a file on a hung network
        // drive, say) is left to end in its own time, without anyone waiting for it.
        if (!process->waitForFinished(50)) {
            process->setParent(QCoreApplication::instance());
            connect(process, &QProcess::finished, process, &QObject::deleteLater);
            return;
        }
    }
    process->deleteLater();
}

Picture DecodeJob::run(const QString &path, const Request &request, int timeLimitMilliseconds)
{
    DecodeJob job;
    job.setTimeLimit(timeLimitMilliseconds);
    Picture result;
    QEventLoop loop;
    connect(&job, &DecodeJob::finished, &loop, [&](const Picture &picture) {
        result = picture;
        loop.quit();
    });
    job.start(path, request);
    loop.exec();
    return result;
}

} // namespace picture

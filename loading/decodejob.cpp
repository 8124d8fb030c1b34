#include "decodejob.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <cmath>
#include <mutex>
#include <thread>
#include <utility>

namespace picture {

namespace {

// How often a running decode is looked at: the budget is kept to within this.
constexpr int WatchMilliseconds = 50;

// Seconds for the player, to a tenth where that matters.
QString seconds(qint64 milliseconds)
{
    return QString::number(std::round(milliseconds / 100.0) / 10);
}

DecodeBudget &standardBudget()
{
    static DecodeBudget budget;
    return budget;
}

} // namespace

void DecodeJob::setStandardBudget(const DecodeBudget &budget) { standardBudget() = budget; }

// A file opened on a thread of its own. The thread hands the file over only while the job still
// wants it; once the job has given it up, the thread closes the file itself, whenever the system
// lets the open return.
struct DecodeJob::Opening
{
    std::mutex mutex;
    bool abandoned = false;
};

DecodeJob::DecodeJob(QObject *parent)
    : QObject(parent), m_watch(new QTimer(this)), m_budget(standardBudget())
{
    m_watch->setInterval(WatchMilliseconds);
    connect(m_watch, &QTimer::timeout, this, &DecodeJob::check);
}

DecodeJob::~DecodeJob() { cancel(); }

void DecodeJob::start(const QString &path, const Request &request, const Known &known)
{
    begin([path] { return std::make_shared<const PictureFile>(path); }, request, known);
}

void DecodeJob::startBytes(const QByteArray &bytes, const Request &request)
{
    // Written on the thread too: a large picture takes a moment.
    begin([bytes] { return std::shared_ptr<const PictureFile>(PictureFile::holding(bytes)); },
          request, {});
}

void DecodeJob::begin(Open open, const Request &request, const Known &known)
{
    cancel();
    m_running = true;
    m_request = request;
    m_known = known;
    m_stamp = {};
    m_since.start();
    m_watch->start();
    auto opening = std::make_shared<Opening>();
    m_opening = opening;
    const quint64 generation = m_generation;
    std::thread([this, opening, open = std::move(open), generation] {
        const std::shared_ptr<const PictureFile> file = open();
        const std::lock_guard lock(opening->mutex);
        if (!opening->abandoned)
            QMetaObject::invokeMethod(
                this, [this, generation, file] { opened(generation, *file); },
                Qt::QueuedConnection);
    }).detach();
}

void DecodeJob::opened(quint64 generation, const PictureFile &file)
{
    if (generation != m_generation)
        return;
    m_opening.reset();
    m_stamp = file.stamp();
    if (file.refusal().isRefused())
        return finish({QImage(), file.refusal()});
    if (m_stamp == m_known.stamp && !m_known.image.isNull())
        return finish({m_known.image, {}});
    m_decoder = Spares::instance().take(decoderProgram());
    m_decoder->setParent(this);
    connect(m_decoder.get(), &Decoder::ended, this, &DecodeJob::ended);
    // The answer is read as soon as it is written, not once the process has ended: the seals
    // keep it from changing after that, and what the process still does is ended with it.
    connect(m_decoder.get(), &Decoder::answered, this, [this] { ended(false); });
    connect(m_decoder.get(), &Decoder::failedToStart, this, [this] {
        finish({QImage(), refused(Reason::DecoderMissing, {m_decoder->program()})});
    });
    connect(m_decoder.get(), &Decoder::declared, this, [this](qint64 pixels) {
        m_fileRead = true;
        m_cpuBudget = qMax(m_cpuBudget, m_budget.cpuMilliseconds(pixels));
    });
    m_cpuAtHandOver = m_cpuLastSeen = qMax<qint64>(m_decoder->cpuMilliseconds(), 0);
    m_cpuBudget = m_budget.cpuMilliseconds(0);
    m_fileRead = false;
    m_cpuStill.start();
    m_since.start();
    if (!m_decoder->handOver(file.descriptor(), m_request) && !m_decoder->isRunning())
        finish({QImage(), refused(Reason::DecoderMissing, {m_decoder->program()})});
    // A process that is running but cannot take the file ends or runs out of its budget.
}

// The budget, looked at while the decode runs.
void DecodeJob::check()
{
    const qint64 elapsed = m_since.elapsed();
    if (!m_decoder) { // still opening
        if (elapsed > m_budget.silentDriveMilliseconds)
            finish({QImage(), refused(Reason::DriveNotAnswering, {seconds(elapsed)})});
        return;
    }
    const qint64 cpu = m_decoder->cpuMilliseconds();
    if (cpu < 0)
        return; // it has ended; ended() is on its way
    if (cpu - m_cpuAtHandOver > m_cpuBudget)
        return finish({QImage(), refused(Reason::TooSlow, {seconds(m_cpuBudget)})});
    // Until it has read the whole file (it says so when it declares the pixels), a process that
    // uses no time waits for the drive.
    if (cpu > m_cpuLastSeen || m_fileRead) {
        m_cpuLastSeen = cpu;
        m_cpuStill.start();
    } else if (m_cpuStill.elapsed() > m_budget.silentDriveMilliseconds) {
        return finish(
            {QImage(), refused(Reason::DriveNotAnswering, {seconds(m_cpuStill.elapsed())})});
    }
    if (elapsed > m_budget.ceilingMilliseconds)
        finish({QImage(), refused(Reason::TookTooLong, {seconds(m_budget.ceilingMilliseconds)})});
}

void DecodeJob::ended(bool crashed)
{
    if (crashed)
        return finish({QImage(), refused(Reason::DecoderCrashed)});
    // Whatever else the process left running ends before its answer is read.
    m_decoder->end();
    finish(answer::read(m_decoder->answerFile()));
}

void DecodeJob::finish(const Picture &picture)
{
    if (!m_running)
        return;
    cancel();
    emit finished(picture);
}

void DecodeJob::cancel()
{
    ++m_generation;
    m_running = false;
    m_watch->stop();
    if (const std::shared_ptr<Opening> opening = std::exchange(m_opening, nullptr)) {
        const std::lock_guard lock(opening->mutex);
        opening->abandoned = true;
    }
    if (m_decoder) {
        // Ended now; gone once its process's signals are delivered.
        m_decoder->disconnect(this);
        m_decoder->end();
        m_decoder.release()->deleteLater();
    }
}

Picture DecodeJob::run(const QString &path, const Request &request, const DecodeBudget &budget)
{
    DecodeJob job;
    job.setBudget(budget);
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

// The decoding process seen from the game: pictures come back as this process would decode
// them, and a process that hangs, crashes, runs out of memory or lies gives the player a reason,
// never a frozen or ended game. The misbehaving processes are the tests' own build of
// pintu-decode, told what to do by PINTU_DECODE_HOOK.
#include "testpictures.h"
#include "wmfwriter.h"

#include "loading/decodeanswer.h"
#include "loading/decodejob.h"
#include "loading/picturefile.h"
#include "loading/spare.h"
#include "picture/decoder.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace testpictures;
using picture::Reason;

namespace {

// The processes this one has started that are still there, ended or not.
int childProcesses()
{
    int count = 0;
    const QString me = QString::number(::getpid());
    for (const QString &pid : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile status(u"/proc/%1/status"_s.arg(pid));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromLatin1(status.readAll());
        count += text.contains(u"\nPPid:\t"_s + me + u'\n');
    }
    return count;
}

// A line of a process's status ("Seccomp", "Name"); empty when it has gone, or is a zombie.
QByteArray statusOf(qint64 pid, const char *field)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = status.readAll();
    if (text.contains("\nState:\tZ"))
        return {};
    for (const QByteArray &line : text.split('\n'))
        if (line.startsWith(QByteArray(field) + ":\t"))
            return line.mid(qsizetype(std::strlen(field)) + 2);
    return {};
}

// The answer the decoding process would write for picture.
QByteArray answerFor(const picture::Picture &picture)
{
    QTemporaryFile file;
    if (!file.open() || !picture::answer::write(file.handle(), picture))
        qFatal("cannot write an answer");
    file.seek(0);
    return file.readAll();
}

// A picture's bytes decoded as a pasted picture's are: handed over in a sealed memory file.
picture::Picture decodedBytes(const QByteArray &bytes, const picture::Request &request = {})
{
    picture::DecodeJob job;
    QSignalSpy finished(&job, &picture::DecodeJob::finished);
    job.startBytes(bytes, request);
    if (!finished.wait(30000))
        return {QImage(), picture::refused(Reason::TookTooLong)};
    return finished.first().first().value<picture::Picture>();
}

QByteArray le32(quint32 value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

} // namespace

class TestDecodeJob : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString fileWith(const QByteArray &bytes) { return pictureFileIn(m_dir, bytes); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void cleanup()
    {
        picture::DecodeJob::setProgram({});
        qunsetenv("PINTU_DECODE_HOOK");
    }

    // What comes back is what this process decodes from the same file, to the pixel.
    void decodes_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<picture::Request>("request");
        const QImage q = quadrants({600, 400});
        QImage translucent = q.convertToFormat(QImage::Format_ARGB32);
        translucent.setPixelColor(0, 0, QColor(10, 20, 30, 40));
        QTest::newRow("BMP") << encoded(q, "bmp") << picture::Request();
        QTest::newRow("JPEG fitted") << encoded(q, "jpeg") << picture::Request{{100, 100}};
        QTest::newRow("PNG with alpha") << encoded(translucent, "png") << picture::Request();
        // Our own readers and the libraries they use, behind the walls too.
        QTest::newRow("PNG 16-bit with a transparent colour, through libpng")
            << png16({60, 40}, 2, {{0xFFFF, 0, 0}, {0, 0xFFFF, 0}, {0, 0, 0xFFFF}, {9, 9, 9}},
                     {9, 9, 9})
            << picture::Request();
        QTest::newRow("BMP 5-6-5, through our bitmap reader")
            << bmp({60, 40}, {40, 16, 3, {0xF800, 0x07E0, 0x001F}}, {0xF800, 0x07E0, 0x1F, 0xFFFF})
            << picture::Request();
        QTest::newRow("BigTIFF, through libtiff") << bigTiff(q) << picture::Request{{100, 100}};
        QTest::newRow("SVG of text, a filter and a mask, through librsvg")
            << svgQuarters("width=\"240\" height=\"160\" viewBox=\"0 0 120 80\"",
                           "<filter id=\"b\"><feGaussianBlur stdDeviation=\"3\"/></filter>"
                           "<mask id=\"m\"><circle cx=\"60\" cy=\"40\" r=\"30\" "
                           "fill=\"white\"/></mask>"
                           "<g mask=\"url(#m)\" filter=\"url(#b)\"><text x=\"20\" y=\"50\" "
                           "font-family=\"Liberation Sans\" font-size=\"24\">拼圖 Pintu</text>"
                           "</g>")
            << picture::Request{{}, 0, 2};
        wmftest::Writer metafile(true, QRect(0, 0, 300, 200), 96);
        metafile.createBrush(0, Qt::blue).selectObject(0).ellipse(10, 10, 290, 190);
        metafile.createFont(-40, "Liberation Sans").selectObject(1).textOut(20, 60, "Pintu");
        QTest::newRow("metafile") << metafile.finish() << picture::Request();
        QTest::newRow("metafile drawn again at 900")
            << metafile.finish() << picture::Request{{}, 900};
    }
    void decodes()
    {
        QFETCH(QByteArray, file);
        QFETCH(picture::Request, request);
        const QString path = fileWith(file);
        const picture::Picture here = picture::decodeFile(path, request);
        const picture::Picture there = picture::DecodeJob::run(path, request);
        QVERIFY(!here.isNull());
        QCOMPARE(there.refusal.reason, Reason::None);
        QCOMPARE(there.image.format(), here.image.format());
        QCOMPARE(there.image, here.image);
    }

    // Bytes that come from no file (a paste) come back as the same bytes in a file would: the
    // decoding process reads the memory file they are handed over in as it reads any file.
    void fromBytes_data() { decodes_data(); }
    void fromBytes()
    {
        QFETCH(QByteArray, file);
        QFETCH(picture::Request, request);
        const picture::Picture fromFile = picture::DecodeJob::run(fileWith(file), request);
        const picture::Picture pasted = decodedBytes(file, request);
        QCOMPARE(pasted.refusal.reason, Reason::None);
        QCOMPARE(pasted.image.format(), fromFile.image.format());
        QCOMPARE(pasted.image, fromFile.image);
        QTRY_COMPARE(childProcesses(), 0); // killed once it answered, reaped soon after
    }

    // What a file would be refused for, bytes are refused for too; bytes past the file limit are
    // not even written out.
    void bytesRefused_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<picture::Refusal>("refusal");
        QTest::newRow("no bytes") << QByteArray() << picture::refused(Reason::NotAPicture);
        QTest::newRow("garbage") << noise(5000, 3) << picture::refused(Reason::NotAPicture);
        QTest::newRow("a PNG that claims 100000 x 100000")
            << pngClaiming(encoded(quadrants({30, 20}), "png"), 100000, 100000)
            << picture::refused(Reason::TooLarge, {u"100000"_s, u"100000"_s});
        QTest::newRow("a JPEG cut short") << encoded(quadrants({300, 200}), "jpeg").chopped(20)
                                          << picture::refused(Reason::Incomplete, {u"JPEG"_s});
        QByteArray huge(picture::MaxFileBytes + 1, '\0');
        huge.replace(0, 8, "\x89PNG\r\n\x1a\n");
        QTest::newRow("one byte past the file limit")
            << huge << picture::refused(Reason::FileTooLarge);
    }
    void bytesRefused()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(picture::Refusal, refusal);
        const picture::Picture answered = decodedBytes(bytes, {{345, 497}});
        QVERIFY(answered.isNull());
        QCOMPARE(answered.refusal, refusal);
        QTRY_COMPARE(childProcesses(), 0);
    }

    // The memory file holds the bytes from its start and is sealed: neither the game nor a
    // decoder taken over by the picture can shrink, grow, rewrite or unseal it.
    void bytesSealed()
    {
        const QByteArray bytes = encoded(quadrants({30, 20}), "png");
        const std::unique_ptr<picture::PictureFile> held = picture::PictureFile::holding(bytes);
        QVERIFY(!held->refusal().isRefused());
        const int fd = held->descriptor();
        QVERIFY(fd >= 0);
        QCOMPARE(held->stamp().size, bytes.size());
        QCOMPARE(::fcntl(fd, F_GET_SEALS),
                 F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL);
        QCOMPARE(::lseek(fd, 0, SEEK_CUR), 0);
        QByteArray read(bytes.size() + 1, '\0');
        QCOMPARE(::pread(fd, read.data(), size_t(read.size()), 0), bytes.size());
        QCOMPARE(read.first(bytes.size()), bytes);
        // Opened for writing again, as a decoder could through /proc, it is still sealed.
        const int writable = ::open(
            QByteArray("/proc/self/fd/" + QByteArray::number(fd)).constData(), O_RDWR | O_CLOEXEC);
        QVERIFY(writable >= 0);
        auto closing = qScopeGuard([writable] { ::close(writable); });
        QCOMPARE(::pwrite(writable, "x", 1, 0), -1);
        QCOMPARE(::ftruncate(writable, 0), -1);
        QCOMPARE(::ftruncate(writable, bytes.size() + 1), -1);
        QCOMPARE(::fcntl(writable, F_ADD_SEALS, 0), -1); // F_SEAL_SEAL: no change any more
        QCOMPARE(::mmap(nullptr, size_t(bytes.size()), PROT_WRITE, MAP_SHARED, writable, 0),
                 MAP_FAILED);
    }

    // A folder is told apart from other files that are no pictures: a player may drop one.
    void folderRefused()
    {
        const picture::Picture answered = picture::DecodeJob::run(m_dir.path());
        QCOMPARE(answered.refusal, picture::refused(Reason::Folder));
        QTRY_COMPARE(childProcesses(), 0);
    }

    // Each ends in a reason for the player and leaves no process behind. The two hostile files
    // would keep a decoder busy for a minute; its budget stops them, of CPU time for a process
    // at work, of wall-clock time for one that sleeps, and a process that claims the largest
    // picture there is gets no more than such a picture would.
    void refuses_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QByteArray>("hook");
        QTest::addColumn<QString>("program"); // empty: the real one
        QTest::addColumn<picture::Refusal>("refusal");
        const QByteArray bmp = encoded(quadrants({30, 20}), "bmp");
        const QString hooks = QStringLiteral(PINTU_DECODE_HOOKS);
        const QString missing = m_dir.filePath(u"no-such-decoder"_s);
        const auto refused = [](Reason reason, QStringList details = {}) {
            return picture::refused(reason, std::move(details));
        };
        const picture::Refusal slow = refused(Reason::TooSlow, {u"0.5"_s});
        QTest::newRow("polygon of 32767 random points")
            << wmftest::scribble(32767, 7) << QByteArray() << QString() << slow;
        QTest::newRow("PNG of 1000 text chunks, 8 MB each inflated")
            << withTextBombs(encoded(quadrants({30, 20}), "png"), 1000, 8 << 20) << QByteArray()
            << QString() << slow;
        QTest::newRow("decoder that never ends")
            << bmp << "hang"_ba << hooks << refused(Reason::TookTooLong, {u"3"_s});
        QTest::newRow("decoder caught in a loop") << bmp << "spin"_ba << hooks << slow;
        QTest::newRow("decoder that claims the largest picture")
            << bmp << "declare-most"_ba << hooks << refused(Reason::TooSlow, {u"1.1"_s});
        QTest::newRow("decoder that crashes")
            << bmp << "crash"_ba << hooks << refused(Reason::DecoderCrashed);
        QTest::newRow("decoder that asks for 2 GiB")
            << bmp << "hog"_ba << hooks << refused(Reason::OutOfMemory);
        QTest::newRow("decoder that claims pixels it never sends")
            << bmp << "lie"_ba << hooks << refused(Reason::DecoderCrashed);
        QTest::newRow("no decoding program")
            << bmp << QByteArray() << missing << refused(Reason::DecoderMissing, {missing});
        QTest::newRow("too large by its header")
            << bmpHeaderOnly(20000, 20000) << QByteArray() << QString()
            << refused(Reason::TooLarge, {u"20000"_s, u"20000"_s});
    }
    void refuses()
    {
        QFETCH(QByteArray, file);
        QFETCH(QByteArray, hook);
        QFETCH(QString, program);
        QFETCH(picture::Refusal, refusal);
        const QString path = fileWith(file);
        picture::DecodeJob::setProgram(program);
        qputenv("PINTU_DECODE_HOOK", hook);
        // 0.5 s of CPU time and 20 ms a megapixel; 3 s in all for the row that sleeps, and room
        // enough for the others to spend their CPU time on a busy machine.
        const int ceiling = refusal.reason == Reason::TookTooLong ? 3000 : 30000;
        const picture::DecodeBudget budget{500, 20, ceiling, 10000};
        const picture::Picture answered = picture::DecodeJob::run(path, {{345, 497}}, budget);
        QVERIFY(answered.isNull());
        QCOMPARE(answered.refusal.reason, refusal.reason);
        QCOMPARE(answered.refusal.details, refusal.details);
        QCOMPARE(childProcesses(), 0);
    }

    // A decode given up half way (the chooser closed, another file clicked) is killed on the
    // spot: nothing waits for it, no answer comes, no process stays.
    void cancelled()
    {
        picture::DecodeJob::setProgram(QStringLiteral(PINTU_DECODE_HOOKS));
        qputenv("PINTU_DECODE_HOOK", "hang");
        auto *job = new picture::DecodeJob;
        int answers = 0;
        connect(job, &picture::DecodeJob::finished, this, [&answers] { ++answers; });
        job->start(fileWith(encoded(quadrants({30, 20}), "bmp")));
        QTRY_COMPARE(childProcesses(), 1);
        delete job;
        QCOMPARE(childProcesses(), 0);
        QTest::qWait(50);
        QCOMPARE(answers, 0);
    }

    // A spare waits behind its walls for a file. A decode takes it and the next one starts; one
    // that dies, while it waits or while it decodes, is replaced; there is never more than one
    // idle, and none once spares are no longer kept.
    void spares_data()
    {
        QTest::addColumn<QByteArray>("hook");
        QTest::addColumn<QString>("event");
        QTest::newRow("taken by a decode") << QByteArray() << u"decode"_s;
        QTest::newRow("killed while it waits") << QByteArray() << u"kill"_s;
        QTest::newRow("crashed while it decodes") << "crash"_ba << u"decode"_s;
    }
    void spares()
    {
        QFETCH(QByteArray, hook);
        QFETCH(QString, event);
        if (!hook.isEmpty()) {
            picture::DecodeJob::setProgram(QStringLiteral(PINTU_DECODE_HOOKS));
            qputenv("PINTU_DECODE_HOOK", hook);
        }
        picture::Spares &spares = picture::Spares::instance();
        spares.setKept(true);
        QTRY_VERIFY(spares.isSpareReady());
        const qint64 first = spares.idleProcessId();
        QCOMPARE(statusOf(first, "Seccomp"), "2"); // its walls are up while it waits
        QCOMPARE(childProcesses(), 1);
        if (event == u"kill") {
            QCOMPARE(::kill(pid_t(first), SIGKILL), 0);
        } else {
            const picture::Picture answered =
                picture::DecodeJob::run(fileWith(encoded(quadrants({30, 20}), "bmp")));
            QCOMPARE(answered.refusal.reason,
                     hook.isEmpty() ? Reason::None : Reason::DecoderCrashed);
        }
        QTRY_VERIFY(spares.isSpareReady() && spares.idleProcessId() != first);
        QTRY_COMPARE(childProcesses(), 1);
        spares.setKept(false);
        QTRY_COMPARE(childProcesses(), 0);
    }

    // No spare outlives the program that keeps it, however that program ends. The program is
    // this test itself, started again to keep a spare and end as the row says.
    void noSpareOutlives_data()
    {
        QTest::addColumn<QByteArray>("end");
        QTest::newRow("it returns") << "return"_ba;
        QTest::newRow("it is killed") << "kill"_ba;
        QTest::newRow("it is told to terminate") << "terminate"_ba;
    }
    void noSpareOutlives()
    {
        QFETCH(QByteArray, end);
        if (qEnvironmentVariableIsSet("PINTU_KEEP_SPARE")) { // the program that keeps one
            picture::Spares::instance().setKept(true);
            QTRY_VERIFY(picture::Spares::instance().isSpareReady());
            std::printf("spare %lld\n", picture::Spares::instance().idleProcessId());
            std::fflush(stdout);
            if (end != "return")
                QTest::qWait(60000);
            return;
        }
        QProcess keeper;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"PINTU_KEEP_SPARE"_s, u"1"_s);
        keeper.setProcessEnvironment(environment);
        keeper.start(QCoreApplication::applicationFilePath(),
                     {u"noSpareOutlives:"_s + QString::fromLatin1(QTest::currentDataTag())});
        qint64 spare = 0;
        QByteArray said;
        while (spare == 0 && keeper.waitForReadyRead(10000)) {
            said += keeper.readAllStandardOutput();
            static const QRegularExpression line(u"^spare (\\d+)$"_s,
                                                 QRegularExpression::MultilineOption);
            spare = line.match(QString::fromLatin1(said)).captured(1).toLongLong();
        }
        QVERIFY2(spare > 0, "the program kept no spare");
        QCOMPARE(statusOf(spare, "Name"), "pintu-decode");
        if (end == "kill")
            keeper.kill();
        else if (end == "terminate")
            keeper.terminate();
        QVERIFY(keeper.waitForFinished(10000));
        QTRY_COMPARE(statusOf(spare, "Name"), QByteArray());
    }

    // Answers are read as hostile input: only one whole, well-formed answer within the limits
    // is believed; anything else reads as a decoding process that failed.
    void answers_data()
    {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<Reason>("reason"); // None: the picture comes through
        const QImage picture = quadrants({3, 2});
        const QByteArray whole = answerFor({picture, {}});
        const QByteArray head = whole.left(12);

        const QByteArray refusal =
            answerFor({QImage(), picture::refused(Reason::TooLarge, {u"1"_s, u"2"_s})});
        QTest::newRow("picture") << whole << Reason::None;
        QTest::newRow("refusal") << refusal << Reason::TooLarge;
        QTest::newRow("nothing") << QByteArray() << Reason::DecoderCrashed;
        QTest::newRow("another magic") << "PINTUDEX"_ba + whole.mid(8) << Reason::DecoderCrashed;
        QTest::newRow("pixels cut") << whole.chopped(1) << Reason::DecoderCrashed;
        QTest::newRow("a byte too many") << whole + 'x' << Reason::DecoderCrashed;
        QTest::newRow("refusal cut") << refusal.chopped(1) << Reason::DecoderCrashed;
        QTest::newRow("unknown kind") << whole.left(8) + le32(3) << Reason::DecoderCrashed;
        const auto claiming = [&](quint32 w, quint32 h, quint32 alpha, quint32 density = 1000) {
            return head + le32(w) + le32(h) + le32(alpha) + le32(density) +
                   QByteArray(qsizetype(w) * h * 4, 'x');
        };
        QTest::newRow("width 0") << claiming(0, 5, 0) << Reason::DecoderCrashed;
        QTest::newRow("past the side") << claiming(16385, 1, 0) << Reason::DecoderCrashed;
        QTest::newRow("past the pixels: 16384 x 2049, no pixels")
            << head + le32(16384) + le32(2049) + le32(0) + le32(1000) << Reason::DecoderCrashed;
        QTest::newRow("alpha neither 0 nor 1") << claiming(1, 1, 2) << Reason::DecoderCrashed;
        QTest::newRow("density below 1") << claiming(1, 1, 0, 999) << Reason::DecoderCrashed;
        QTest::newRow("density past 8") << claiming(1, 1, 0, 8001) << Reason::DecoderCrashed;
        const QByteArray refusalHead = whole.left(8) + le32(2);
        QTest::newRow("reason 0") << refusalHead + le32(0) + le32(0) << Reason::DecoderCrashed;
        QTest::newRow("reason past the last")
            << refusalHead + le32(quint32(Reason::Last) + 1) + le32(0) << Reason::DecoderCrashed;
        QTest::newRow("nine details") << refusalHead + le32(quint32(Reason::Damaged)) + le32(9) +
                                             QByteArray(qsizetype(9) * 4, '\0')
                                      << Reason::DecoderCrashed;
        QTest::newRow("a detail of 4097 bytes") << refusalHead + le32(quint32(Reason::Damaged)) +
                                                       le32(1) + le32(4097) + QByteArray(4097, 'a')
                                                << Reason::DecoderCrashed;
    }
    void answers()
    {
        QFETCH(QByteArray, answer);
        QFETCH(Reason, reason);
        const int fd = picture::answer::makeFile();
        QVERIFY(fd >= 0);
        auto closing = qScopeGuard([fd] { ::close(fd); });
        QCOMPARE(::write(fd, answer.constData(), size_t(answer.size())), answer.size());
        const picture::Picture read = picture::answer::read(fd);
        QCOMPARE(read.refusal.reason, reason);
        QCOMPARE(read.isNull(), reason != Reason::None);
        if (reason == Reason::None)
            QCOMPARE(read.image, quadrants({3, 2}));
    }

    // An answer is sealed before it is believed: once read, nobody can shrink, grow or rewrite
    // it; one that cannot be sealed (still mapped for writing by someone, or no memory file) is
    // not read at all.
    void answerSealed_data()
    {
        QTest::addColumn<QString>("holder"); // what else holds the answer
        QTest::newRow("nobody") << u"nobody"_s;
        QTest::newRow("a mapping for writing") << u"mapping"_s;
        QTest::newRow("an ordinary file, which cannot be sealed") << u"file"_s;
    }
    void answerSealed()
    {
        QFETCH(QString, holder);
        const QByteArray answer = answerFor({quadrants({3, 2}), {}});
        QTemporaryFile plain;
        const int fd = holder == u"file" ? (plain.open() ? int(plain.handle()) : -1)
                                         : picture::answer::makeFile();
        QVERIFY(fd >= 0);
        auto closing = qScopeGuard([&] {
            if (holder != u"file")
                ::close(fd);
        });
        QCOMPARE(::write(fd, answer.constData(), size_t(answer.size())), answer.size());
        void *mapped = holder == u"mapping" ? ::mmap(nullptr, size_t(answer.size()),
                                                     PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                                            : MAP_FAILED;
        auto unmapping = qScopeGuard([&] {
            if (mapped != MAP_FAILED)
                ::munmap(mapped, size_t(answer.size()));
        });
        QCOMPARE(mapped == MAP_FAILED, holder != u"mapping");

        const picture::Picture read = picture::answer::read(fd);
        if (holder != u"nobody") {
            QCOMPARE(read.refusal.reason, Reason::DecoderCrashed);
            return;
        }
        QCOMPARE(read.refusal.reason, Reason::None);
        QCOMPARE(::ftruncate(fd, 0), -1);
        QCOMPARE(::ftruncate(fd, answer.size() * 2), -1);
        QCOMPARE(::pwrite(fd, "x", 1, answer.size() - 1), -1);
        QCOMPARE(::write(fd, "x", 1), -1);
        QCOMPARE(read.image, quadrants({3, 2}));
    }
};

QTEST_MAIN(TestDecodeJob)
#include "tst_decodejob.moc"

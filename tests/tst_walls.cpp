// The decoding process's walls, tried from inside: the tests' own build of pintu-decode acts as
// a taken-over decoder once its walls are up (hooks/decodehooks.cpp), with all the walls, with
// one alone, and with none (where every attempt must get through, or the attempt proves
// nothing). Every attempt is stopped or ends the process, the game hears the decoder's message,
// and nothing the process started outlives the job. Then the walls as a player's machine sees
// them: a running decoding process, its report, an answer pulled from under the game, and a
// system that forbids the walls.
#include "testpictures.h"

#include "loading/decodeanswer.h"
#include "loading/decodejob.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <fcntl.h>
#include <linux/filter.h>
#include <seccomp.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Qt::StringLiterals;
using namespace testpictures;
using picture::Reason;

namespace {

const QString Hooks = QStringLiteral(PINTU_DECODE_HOOKS);
const QString Decoder = QStringLiteral(PINTU_DECODE);

int landlockAbi() { return int(::syscall(SYS_landlock_create_ruleset, nullptr, 0, 1U)); }

// Yama's ptrace scope, where the system has Yama: above 0, a process may not trace its parent
// whatever the walls.
bool yamaForbidsTracing()
{
    QFile scope(u"/proc/sys/kernel/yama/ptrace_scope"_s);
    return scope.open(QIODevice::ReadOnly) && scope.readAll().trimmed() != "0";
}

// Processes named as the hooks name what they leave behind.
int escapees()
{
    int count = 0;
    for (const QString &pid : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile comm(u"/proc/%1/comm"_s.arg(pid));
        count += comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "pintu-escapee";
    }
    return count;
}

// The one process this one started that is still there; 0 for none or several.
QString childProcess()
{
    QString found;
    const QString me = QString::number(::getpid());
    for (const QString &pid : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        QFile status(u"/proc/%1/status"_s.arg(pid));
        if (status.open(QIODevice::ReadOnly) &&
            QString::fromLatin1(status.readAll()).contains(u"\nPPid:\t"_s + me + u'\n')) {
            if (!found.isEmpty())
                return {};
            found = pid;
        }
    }
    return found;
}

QString statusLine(const QString &pid, const QString &field)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return {};
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith(field.toLatin1() + ':'))
            return QString::fromLatin1(line.mid(field.size() + 1)).trimmed();
    return {};
}

// A seccomp filter as a system that forbids sandboxes would set: no Landlock, no seccomp
// filter of one's own, no namespaces. Made here, loaded in the child before it starts.
QByteArray containerFilter()
{
    scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
    seccomp_rule_add(filter, SCMP_ACT_ERRNO(ENOSYS), SCMP_SYS(landlock_create_ruleset), 0);
    seccomp_rule_add(filter, SCMP_ACT_ERRNO(EINVAL), SCMP_SYS(seccomp), 0);
    const scmp_arg_cmp settingFilter{0, SCMP_CMP_EQ, PR_SET_SECCOMP, 0};
    seccomp_rule_add_array(filter, SCMP_ACT_ERRNO(EINVAL), SCMP_SYS(prctl), 1, &settingFilter);
    seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(unshare), 0);
    QTemporaryFile file;
    QByteArray program;
    if (file.open() && seccomp_export_bpf(filter, file.handle()) == 0 && file.seek(0))
        program = file.readAll();
    seccomp_release(filter);
    return program;
}

// Runs pintu-decode in such a system: its output, which the file out receives.
bool runContained(const QStringList &arguments, const QString &in, const QString &out)
{
    static const QByteArray program = containerFilter();
    if (program.isEmpty())
        return false;
    QProcess process;
    process.setProgram(Decoder);
    process.setArguments(arguments);
    if (!in.isEmpty())
        process.setStandardInputFile(in);
    process.setStandardOutputFile(out);
    process.setChildProcessModifier([] {
        sock_fprog filter{ushort(program.size() / sizeof(sock_filter)),
                          reinterpret_cast<sock_filter *>(const_cast<char *>(program.data()))};
        ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
        ::syscall(SYS_seccomp, 1 /* SECCOMP_SET_MODE_FILTER */, 0, &filter);
    });
    process.start();
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// The answer in the file at path, read as the game reads one.
picture::Picture answerIn(const QString &path)
{
    QFile file(path);
    const int fd = picture::answer::makeFile();
    if (fd < 0 || !file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    const bool written = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
    picture::Picture read = written ? picture::answer::read(fd) : picture::Picture();
    ::close(fd);
    return read;
}

} // namespace

class TestWalls : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QTemporaryFile m_secret{QDir::home().filePath(u"pintu-secret-XXXXXX"_s)};
    QString m_written; // where an attempt to write would leave a file
    QString m_picture; // an ordinary picture the attempts act on while it is decoded
    QTcpServer m_tcp;
    QLocalServer m_unix;

    // The hooks build decodes m_picture with hook, behind walls.
    picture::Picture decodeWith(const QByteArray &hook, const QByteArray &walls,
                                const QByteArray &target = {})
    {
        qputenv("PINTU_DECODE_HOOK", hook);
        qputenv("PINTU_DECODE_HOOK_TARGET", target);
        if (walls.isNull())
            qunsetenv("PINTU_DECODE_WALLS");
        else
            qputenv("PINTU_DECODE_WALLS", walls);
        picture::DecodeJob::setProgram(Hooks);
        picture::DecodeBudget budget;
        budget.ceilingMilliseconds = 10000;
        return picture::DecodeJob::run(m_picture, {}, budget);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(m_secret.open() && m_secret.write("the player's own") > 0 && m_secret.flush());
        m_written = u"/tmp/pintu-hook-written-%1"_s.arg(::getpid());
        m_picture = m_dir.filePath(u"quarters.bmp"_s);
        QVERIFY(writeFile(m_picture, encoded(quadrants({30, 20}), "bmp")));
        QVERIFY(m_tcp.listen(QHostAddress::LocalHost));
        QVERIFY(m_unix.listen(m_dir.filePath(u"game.socket"_s)));
    }
    void cleanup()
    {
        picture::DecodeJob::setProgram({});
        for (const char *name :
             {"PINTU_DECODE_HOOK", "PINTU_DECODE_HOOK_TARGET", "PINTU_DECODE_WALLS"})
            qunsetenv(name);
        QFile::remove(m_written);
        while (m_tcp.hasPendingConnections())
            delete m_tcp.nextPendingConnection();
        while (m_unix.hasPendingConnections())
            delete m_unix.nextPendingConnection();
    }

    void attempts_data()
    {
        QTest::addColumn<QByteArray>("hook");
        QTest::addColumn<QByteArray>("walls"); // null: all of them
        QTest::addColumn<bool>("getsThrough");
        const int abi = landlockAbi();
        const auto rows = [](const char *hook, const QList<QByteArray> &stoppedBy) {
            QTest::addRow("%s, no walls", hook) << QByteArray(hook) << "none"_ba << true;
            for (const QByteArray &wall : stoppedBy)
                QTest::addRow("%s, %s alone", hook, wall.constData())
                    << QByteArray(hook) << wall << false;
            QTest::addRow("%s, all walls", hook) << QByteArray(hook) << QByteArray() << false;
        };
        rows("read-home", {"landlock"});
        rows("read-passwd", {"landlock"});
        rows("write-tmp", {"landlock"});
        rows("tcp", abi >= 4 ? QList<QByteArray>{"network", "seccomp", "landlock"}
                             : QList<QByteArray>{"network", "seccomp"});
        rows("unix", {"seccomp"});
        rows("exec", {"seccomp", "landlock"});
        rows("fork", {"seccomp"});
        if (!yamaForbidsTracing()) {
            rows("ptrace", {"seccomp", "landlock"});
            rows("game-memory", {"seccomp", "landlock"});
        }
        rows("signal-game",
             abi >= 6 ? QList<QByteArray>{"seccomp", "landlock"} : QList<QByteArray>{"seccomp"});
#if defined(__x86_64__)
        // Without the filter, whether it gets through is the kernel's choice (x32 is often off).
        QTest::newRow("x32-socket, seccomp alone") << "x32-socket"_ba
                                                   << "seccomp"_ba << false;
        QTest::newRow("x32-socket, all walls") << "x32-socket"_ba << QByteArray() << false;
#endif
    }
    void attempts()
    {
        QFETCH(QByteArray, hook);
        QFETCH(QByteArray, walls);
        QFETCH(bool, getsThrough);
        QByteArray target;
        if (hook == "read-home")
            target = QFile::encodeName(m_secret.fileName());
        else if (hook == "write-tmp")
            target = QFile::encodeName(m_written);
        else if (hook == "tcp")
            target = QByteArray::number(m_tcp.serverPort());
        else if (hook == "unix")
            target = QFile::encodeName(m_unix.fullServerName());

        const picture::Picture answered = decodeWith(hook, walls, target);
        if (getsThrough) {
            QVERIFY2(!answered.isNull(), "the attempt does not get through without walls");
            QCOMPARE(answered.image.pixel(0, 0), qRgb(255, 0, 0));
        } else {
            QVERIFY2(answered.isNull(), "the attempt got through");
            QCOMPARE(answered.refusal.reason, Reason::DecoderCrashed);
        }
        // What an attempt would have left outside is there only when it got through.
        QCOMPARE(QFile::exists(m_written), getsThrough && hook == "write-tmp");
        QCOMPARE(m_tcp.hasPendingConnections() || m_tcp.waitForNewConnection(0),
                 getsThrough && hook == "tcp");
        QCOMPARE(m_unix.hasPendingConnections() || m_unix.waitForNewConnection(0),
                 getsThrough && hook == "unix");
        // Nothing it started outlives the job, not even when it could start something.
        QTRY_COMPARE(escapees(), 0);
        QCOMPARE(childProcess(), QString());
    }

    // A child left behind by a decoder that got past the process walls shrinks the answer or
    // writes over it after the game has read it: the game's picture stays whole, to the last
    // pixel. With every wall up the child is never made.
    void answerPulledFromUnder_data()
    {
        QTest::addColumn<QByteArray>("hook");
        QTest::addColumn<QByteArray>("walls");
        for (const char *hook : {"shrink-answer", "rewrite-answer"}) {
            QTest::addRow("%s, no seccomp", hook) << QByteArray(hook) << "landlock"_ba;
            QTest::addRow("%s, all walls", hook) << QByteArray(hook) << QByteArray();
        }
    }
    void answerPulledFromUnder()
    {
        QFETCH(QByteArray, hook);
        QFETCH(QByteArray, walls);
        const picture::Picture answered = decodeWith(hook, walls);
        if (!walls.isNull()) {
            QCOMPARE(answered.refusal.reason, Reason::None);
            QCOMPARE(escapees(), 1);
            QTRY_COMPARE_WITH_TIMEOUT(escapees(), 0, 5000); // it has done what it came to do
            // Every pixel read again, from the answer's own memory.
            QCOMPARE(answered.image.format(), QImage::Format_RGB32);
            QCOMPARE(answered.image, quadrants({30, 20}).convertToFormat(QImage::Format_RGB32));
        } else {
            QCOMPARE(answered.refusal.reason, Reason::DecoderCrashed);
        }
    }

    // The referenced picture lies in this test's folder under /tmp: drawn without walls, as a
    // cleaner that missed the reference would let it be, but not behind them.
    void svgReferenceBehindWalls_data()
    {
        QTest::addColumn<QByteArray>("walls");
        QTest::addColumn<QRgb>("colour");
        QTest::newRow("no walls: the named picture is read") << "none"_ba << qRgb(255, 0, 0);
        QTest::newRow("behind the walls: nothing is read") << QByteArray() << qRgb(255, 255, 255);
    }
    void svgReferenceBehindWalls()
    {
        QFETCH(QByteArray, walls);
        QFETCH(QRgb, colour);
        QImage red(40, 40, QImage::Format_RGB32);
        red.fill(Qt::red);
        const QString named = m_dir.filePath(u"named.png"_s);
        QVERIFY(writeFile(named, encoded(red, "png")));
        m_picture = m_dir.filePath(u"naming.svg"_s);
        auto restore = qScopeGuard([this] { m_picture = m_dir.filePath(u"quarters.bmp"_s); });
        QVERIFY(
            writeFile(m_picture, "<svg xmlns=\"http://www.w3.org/2000/svg\" "
                                 "xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"40\" "
                                 "height=\"40\"><image width=\"40\" height=\"40\" xlink:href=\"" +
                                     QFile::encodeName(named) + "\"/></svg>"));
        const picture::Picture answered = decodeWith("svg-uncleaned", walls);
        QVERIFY(!answered.isNull());
        QCOMPARE(answered.image.pixel(20, 20), colour);
    }

    // A decoding process at work shows its walls where the system shows them to anyone, leads
    // a process group of its own and holds no capabilities.
    void runningDecoder()
    {
        qputenv("PINTU_DECODE_HOOK", "hang");
        picture::DecodeJob::setProgram(Hooks);
        picture::DecodeJob job;
        job.start(m_picture);
        QString pid;
        QTRY_VERIFY(!(pid = childProcess()).isEmpty());
        QTRY_COMPARE(statusLine(pid, u"Seccomp"_s), u"2"_s);
        QCOMPARE(statusLine(pid, u"NoNewPrivs"_s), u"1"_s);
        QCOMPARE(statusLine(pid, u"CapEff"_s), u"0000000000000000"_s);
        QCOMPARE(::getpgid(pid.toInt()), pid.toInt());
        job.cancel();
        QTRY_COMPARE(childProcess(), QString());
    }

    // pintu-decode --walls says which walls went up: every one this kernel has.
    void report()
    {
        QProcess walls;
        walls.start(Decoder, {u"--walls"_s});
        QVERIFY(walls.waitForFinished(10000));
        const QString said = QString::fromLocal8Bit(walls.readAllStandardOutput());
        QVERIFY2(said.contains(u"\nno-new-privileges: up"_s), qPrintable(said));
        QVERIFY2(said.contains(u"\nseccomp: up"_s), qPrintable(said));
        QVERIFY2(said.contains(u"\ncapabilities: up"_s), qPrintable(said));
        if (landlockAbi() >= 1)
            QVERIFY2(said.contains(u"\nLandlock: up (ABI %1"_s.arg(landlockAbi())),
                     qPrintable(said));
        else
            QVERIFY2(said.contains(u"\nLandlock: down"_s), qPrintable(said));
    }

    // Where the system forbids Landlock, seccomp filters and namespaces (some containers do),
    // those walls stay down, the report says so, and pictures still decode.
    void containedSystem()
    {
        const QString out = m_dir.filePath(u"out"_s);
        QVERIFY(runContained({u"--walls"_s}, {}, out));
        QFile report(out);
        QVERIFY(report.open(QIODevice::ReadOnly));
        const QString said = QString::fromLocal8Bit(report.readAll());
        for (const QString &down :
             {u"network namespace: down"_s, u"Landlock: down"_s, u"seccomp: down"_s})
            QVERIFY2(said.contains(down), qPrintable(said));
        QVERIFY2(said.contains(u"no-new-privileges: up"_s), qPrintable(said));

        QVERIFY(runContained({u"--fit"_s, u"30"_s, u"20"_s}, m_picture, out));
        const picture::Picture decoded = answerIn(out);
        QCOMPARE(decoded.refusal.reason, Reason::None);
        QCOMPARE(decoded.image, quadrants({30, 20}));
    }
};

QTEST_MAIN(TestWalls)
#include "tst_walls.moc"

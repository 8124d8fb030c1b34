// What a taken-over decoder would try, acted out once the walls are up. An attempt that gets
// through answers with a picture (which the tests never expect), so that a wall that lets it by
// is seen; one that is stopped ends the process as a decoder gone wrong would (abort()).
#include "decodehooks.h"

#include "loading/decodeanswer.h"
#include "loading/handover.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QList>
#include <QPainter>
#include <QSvgRenderer>

#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <netinet/in.h>
#include <new>
#include <sys/prctl.h>
#include <sys/ptrace.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/un.h>
#include <unistd.h>

namespace hooks {

namespace {

QByteArray target() { return qgetenv("PINTU_DECODE_HOOK_TARGET"); }

// The answer of an attempt that got through: a picture of one red pixel.
[[noreturn]] void escaped()
{
    QImage red(1, 1, QImage::Format_RGB32);
    red.fill(Qt::red);
    picture::answer::write(STDOUT_FILENO, {red, {}});
    std::_Exit(0);
}

// Children the tests look for by this name: none may outlive the job.
void nameEscapee() { ::prctl(PR_SET_NAME, "pintu-escapee"); }

bool opens(const char *path, int flags)
{
    const int fd = ::open(path, flags | O_CLOEXEC, 0600);
    return fd >= 0 && ::close(fd) == 0;
}

bool connects(int family)
{
    const int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    int result = -1;
    if (family == AF_INET) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(quint16(target().toUInt()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        result = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    } else {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, target().constData(), sizeof address.sun_path - 1);
        result = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    }
    ::close(fd);
    return result == 0;
}

// Runs this program again, told to answer as an attempt that got through: an exec that
// succeeds shows, which one of /bin/true would not.
bool execs(const char *self)
{
    ::setenv("PINTU_DECODE_HOOK", "escaped", 1);
    ::execl(self, self, static_cast<char *>(nullptr));
    return false;
}

bool forks()
{
    const pid_t child = ::fork();
    if (child == 0) {
        nameEscapee();
        ::sleep(30);
        std::_Exit(0);
    }
    return child > 0;
}

bool readsGameMemory()
{
    char byte = 0;
    const iovec local{&byte, 1};
    const iovec remote{reinterpret_cast<void *>(0x10000), 1};
    // Allowed to look, a bad address aside; refused is EPERM.
    return ::process_vm_readv(::getppid(), &local, 1, &remote, 1, 0) >= 0 || errno != EPERM;
}

// A child that leaves the job's process group and, after the game has read the answer,
// shrinks it to nothing or writes over its pixels. The decoding goes on and answers as usual
// once the child has left the group.
bool leavesChildOnAnswer(bool shrink)
{
    int left[2];
    if (::pipe(left) != 0)
        return false;
    const pid_t child = ::fork();
    if (child != 0) {
        char done = 0;
        return child > 0 && ::read(left[0], &done, 1) == 1;
    }
    nameEscapee();
    ::setsid();
    const char done = 1;
    if (::write(left[1], &done, 1) != 1)
        std::_Exit(1);
    ::usleep(300 * 1000);
    if (shrink) {
        ::ftruncate(STDOUT_FILENO, 0);
    } else {
        const QByteArray garbage(4096, '\x55');
        ::pwrite(STDOUT_FILENO, garbage.constData(), size_t(garbage.size()), 64);
    }
    std::_Exit(0);
}

// The SVG on the standard input drawn as it stands, as a cleaner that missed every reference
// would leave it: what it names is read if the walls let it be.
[[noreturn]] void drawSvgUncleaned(const char *self, int file)
{
    QByteArray bytes;
    char buffer[65536];
    for (ssize_t n; (n = ::read(file, buffer, sizeof buffer)) > 0;)
        bytes.append(buffer, n);
    int argc = 1;
    char *argv[] = {const_cast<char *>(self), nullptr};
    qputenv("QT_QPA_PLATFORM", "offscreen");
    const QGuiApplication app(argc, argv);
    QSvgRenderer renderer(bytes);
    QImage image(renderer.defaultSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    picture::answer::write(STDOUT_FILENO, {image, {}});
    std::_Exit(0);
}

#if defined(__x86_64__)
// socket() through the x32 system call numbers, which a filter for x86-64 alone would miss.
bool x32Socket()
{
    constexpr long X32Bit = 0x40000000;
    return ::syscall(X32Bit | SYS_socket, AF_INET, SOCK_STREAM, 0) >= 0;
}
#endif

struct Attempt
{
    const char *name;
    bool (*tryIt)(const char *self);
};

const QList<Attempt> Attempts = {
    {"read-home", [](const char *) { return opens(target().constData(), O_RDONLY); }},
    {"read-passwd", [](const char *) { return opens("/etc/passwd", O_RDONLY); }},
    {"write-tmp",
     [](const char *) { return opens(target().constData(), O_WRONLY | O_CREAT | O_EXCL); }},
    {"tcp", [](const char *) { return connects(AF_INET); }},
    {"unix", [](const char *) { return connects(AF_UNIX); }},
    {"exec", execs},
    {"fork", [](const char *) { return forks(); }},
    {"ptrace",
     [](const char *) { return ::ptrace(PTRACE_SEIZE, ::getppid(), nullptr, nullptr) == 0; }},
    {"signal-game", [](const char *) { return ::kill(::getppid(), 0) == 0; }},
    {"game-memory", [](const char *) { return readsGameMemory(); }},
#if defined(__x86_64__)
    {"x32-socket", [](const char *) { return x32Socket(); }},
#endif
};

} // namespace

picture::walls::Choice wallsChosen()
{
    if (!qEnvironmentVariableIsSet("PINTU_DECODE_WALLS"))
        return {};
    const QList<QByteArray> chosen = qgetenv("PINTU_DECODE_WALLS").split(',');
    picture::walls::Choice choice;
    choice.networkNamespace = chosen.contains("network");
    choice.capabilities = chosen.contains("capabilities");
    choice.landlock = chosen.contains("landlock");
    choice.seccomp = chosen.contains("seccomp");
    // Without it an unprivileged process can raise neither of the last two.
    choice.noNewPrivileges = choice.landlock || choice.seccomp;
    return choice;
}

// As a decoder caught in a loop that never ends.
[[noreturn]] void spin()
{
    for (unsigned turns = 0;; ++turns)
        asm volatile("" : "+r"(turns));
}

void run(const char *self, int file)
{
    const QByteArray hook = qgetenv("PINTU_DECODE_HOOK");
    if (hook.isEmpty())
        return;
    if (hook == "hang") {
        for (;;)
            ::pause();
    }
    if (hook == "spin")
        spin();
    if (hook == "declare-most") { // claims the largest picture there can be, to get more time
        picture::handover::declare(STDIN_FILENO, std::numeric_limits<qint64>::max());
        spin();
    }
    if (hook == "crash")
        std::abort();
    if (hook == "hog") { // as a decoder that believes a header asking for 2 GiB would
        constexpr size_t Asked = size_t(2) << 30;
        void *buffer = std::malloc(Asked);
        if (!buffer)
            throw std::bad_alloc();
        std::memset(buffer, 1, Asked);
    }
    if (hook == "lie") { // claims the largest picture and sends no pixels
        QByteArray lie("PINTUDEC\1\0\0\0\0\x40\0\0\0\x40\0\0\0\0\0\0\xE8\3\0\0", 28);
        const ssize_t written = ::write(STDOUT_FILENO, lie.constData(), size_t(lie.size()));
        std::_Exit(written == lie.size() ? 0 : 1);
    }
    if (hook == "escaped")
        escaped();
    if (hook == "svg-uncleaned")
        drawSvgUncleaned(self, file);
    if (hook == "shrink-answer" || hook == "rewrite-answer") {
        if (!leavesChildOnAnswer(hook == "shrink-answer"))
            std::abort();
        return;
    }
    for (const Attempt &attempt : Attempts) {
        if (hook == attempt.name) {
            if (attempt.tryIt(self))
                escaped();
            std::abort();
        }
    }
}

} // namespace hooks

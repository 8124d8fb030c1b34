// pintu-decode --spare: the game's decoding process. It raises its walls (picture/walls.h),
// loads what decoding loads on first use, says it is ready and waits for the game to hand it
// one picture file with what the picture is wanted for (loading/handover.h) over the socket
// that is its standard input; then it reports the pixels the file declares, decodes it and
// writes the answer, the pixels or why not, to its standard output (loading/decodeanswer.h).
// The game holds it to its budget and kills it when it runs over.
// pintu-decode --now: the same for a file wanted at once, without loading anything ahead.
// pintu-decode [--fit WIDTH HEIGHT | --longest SIDE] [--density RATIO]: the same for the file
// that is its standard input, for tools and tests.
// pintu-decode --walls: raises the walls and says which are up.
#include "loading/handover.h"
#include "loading/sanitized.h"
#include "picture/decoder.h"
#include "picture/svgpicture.h"
#include "picture/walls.h"

#include <QGuiApplication>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#ifdef PINTU_DECODE_TEST_HOOKS
#include "decodehooks.h"
#endif

#ifdef PINTU_SANITIZED
// LeakSanitizer stops the world with a traced child process at exit, which the walls forbid:
// this process is not checked for leaks (the decoders are, where the tests and fuzz targets
// decode in their own process).
extern "C" const char *__asan_default_options() { return "detect_leaks=0"; }
#endif

namespace {

QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    return arguments;
}

// The whole of the regular file open as fd, mapped, when it is larger than what has been read
// of it (read bytes); null otherwise. The mapping stays to the end of this short-lived process.
QByteArray mappedWhole(int fd, qsizetype read)
{
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= read ||
        st.st_size > picture::MaxFileBytes)
        return {};
    void *address = ::mmap(nullptr, size_t(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (address == MAP_FAILED)
        return {};
    // Its pages all at once, and an answer when the drive cannot read one: touching such a page
    // would end the process (SIGBUS) as if the file had crashed its decoder, and MAP_POPULATE
    // was seen to spin in the kernel on one. The file is then read instead, and says why it
    // cannot be; so it is on a kernel older than 5.14, which has no MADV_POPULATE_READ.
    if (::madvise(address, size_t(st.st_size), MADV_POPULATE_READ) != 0) {
        ::munmap(address, size_t(st.st_size));
        return {};
    }
    return QByteArray::fromRawData(static_cast<const char *>(address), qsizetype(st.st_size));
}

// The file's first bytes tell what the header alone decides (too large, a form we do not read,
// no picture at all) before the rest is read; then the rest, what it declares, and the picture.
picture::Picture decodeInput(int argc, char **argv, int file, const picture::Request &request,
                             int reports)
{
    constexpr qint64 HeadBytes = qint64(64) * 1024;
    static_assert(HeadBytes >= picture::SvgPrologLimit, "an SVG is told by its first bytes");
    QByteArray bytes;
    if (const picture::Refusal failed = picture::readAll(file, &bytes, HeadBytes);
        failed.isRefused())
        return {QImage(), failed};
    if (const picture::Refusal early = picture::checkHead(bytes); early.isRefused())
        return {QImage(), early};
    // A whole regular file is mapped, its pages all at once, rather than copied into memory of
    // our own; another kind of file, or one the system will not map, is read.
    if (const QByteArray mapped = mappedWhole(file, bytes.size()); !mapped.isNull())
        bytes = mapped;
    else if (const picture::Refusal failed = picture::readAll(file, &bytes); failed.isRefused())
        return {QImage(), failed};
    if (reports >= 0) {
        // The header tells, as a rule; the whole file only when it does not (a TIFF's
        // directory may lie at its end).
        qint64 pixels = picture::declaredPixels(
            QByteArrayView(bytes).first(qMin(bytes.size(), qsizetype(HeadBytes))), request);
        if (pixels == 0)
            pixels = picture::declaredPixels(bytes, request);
        picture::handover::declare(reports, pixels);
    }
    // Text needs fonts, fonts need a platform; no display is needed. Other pictures need
    // neither, and start faster without.
    std::optional<QGuiApplication> app;
    if (picture::needsFonts(bytes) && !QGuiApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app.emplace(argc, argv);
    }
    return picture::decode(bytes, request);
}

} // namespace

int main(int argc, char *argv[])
{
    // The locale's files lie beyond the walls: read them first.
    std::setlocale(LC_ALL, "");
    if (argc == 2 && std::strcmp(argv[1], "--walls") == 0) {
        const QString states = picture::walls::describe(picture::walls::raise());
        std::fputs(states.toLocal8Bit().constData(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    const bool spare = argc == 2 && std::strcmp(argv[1], "--spare") == 0;
    const bool handed = spare || (argc == 2 && std::strcmp(argv[1], "--now") == 0);
    picture::walls::Choice walls;
#ifdef PINTU_DECODE_TEST_HOOKS
    walls = hooks::wallsChosen();
#endif
    picture::walls::raise(walls);
    int file = STDIN_FILENO, reports = -1;
    picture::Request request;
    std::optional<QGuiApplication> app;
    if (spare) {
        // What a decode would load on first use is loaded while nobody waits: the platform
        // and fonts that drawn text needs, and the image plug-ins.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app.emplace(argc, argv);
        picture::warmUp();
    }
    if (handed) {
        picture::handover::ready(STDIN_FILENO);
        const std::optional<picture::handover::Received> handed =
            picture::handover::receive(STDIN_FILENO);
        if (!handed)
            return 0; // the game has gone, or wants nothing
        file = handed->file;
        reports = STDIN_FILENO;
        request = handed->request;
    } else {
        request = picture::request::fromArguments(argumentsOf(argc, argv));
    }
    picture::Picture result;
    try {
#ifdef PINTU_DECODE_TEST_HOOKS
        hooks::run(argv[0], file);
#endif
        result = decodeInput(argc, argv, file, request, reports);
    } catch (const std::bad_alloc &) {
        result = {QImage(), picture::refused(picture::Reason::OutOfMemory)};
    }
    const bool written = picture::answer::write(STDOUT_FILENO, result);
    if (!handed)
        return written ? 0 : 1;
    // Said as soon as it is so, and gone without tearing down what nobody needs any more.
    picture::handover::done(reports);
    std::_Exit(written ? 0 : 1);
}

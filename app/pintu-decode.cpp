// pintu-decode [--fit WIDTH HEIGHT | --longest SIDE] [--density RATIO]: the game's decoding
// process. Reads one picture file from its standard input (the game hands it the file it
// opened), decodes it behind its walls (picture/walls.h) and writes the answer, the pixels or
// why not, to its standard output (loading/decodeanswer.h). The game starts it with its limits
// and kills it when it takes too long.
// pintu-decode --walls: raises the walls and says which are up.
#include "loading/sanitized.h"
#include "picture/decoder.h"
#include "picture/walls.h"

#include <QGuiApplication>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
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

// The file's first bytes tell what the header alone decides (too large, a form we do not read,
// no picture at all) before the rest is read; then the rest, and the picture.
picture::Picture decodeInput(int argc, char **argv, const picture::Request &request)
{
    constexpr qint64 HeadBytes = qint64(64) * 1024;
    QByteArray bytes;
    if (const picture::Refusal failed = picture::readAll(STDIN_FILENO, &bytes, HeadBytes);
        failed.isRefused())
        return {QImage(), failed};
    if (const picture::Refusal early = picture::checkHead(bytes); early.isRefused())
        return {QImage(), early};
    if (const picture::Refusal failed = picture::readAll(STDIN_FILENO, &bytes); failed.isRefused())
        return {QImage(), failed};
    // Text needs fonts, fonts need a platform; no display is needed. Other pictures need
    // neither, and start faster without.
    std::optional<QGuiApplication> app;
    if (picture::needsFonts(bytes)) {
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
    const picture::Request request = picture::request::fromArguments(argumentsOf(argc, argv));
    picture::walls::Choice walls;
#ifdef PINTU_DECODE_TEST_HOOKS
    walls = hooks::wallsChosen();
#endif
    picture::walls::raise(walls);
    picture::Picture result;
    try {
#ifdef PINTU_DECODE_TEST_HOOKS
        hooks::run(argv[0]);
#endif
        result = decodeInput(argc, argv, request);
    } catch (const std::bad_alloc &) {
        result = {QImage(), picture::refused(picture::Reason::OutOfMemory)};
    }
    return picture::answer::write(STDOUT_FILENO, result) ? 0 : 1;
}

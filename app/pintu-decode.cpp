// pintu-decode [--fit WIDTH HEIGHT | --longest SIDE] [--density RATIO]: the game's decoding
// process. Reads one picture file from its standard input (the game hands it the file it
// opened), decodes it and writes the answer, the pixels or why not, to its standard output
// (picture/decodeanswer.h). The game starts it with its limits and kills it when it takes too
// long.
#include "picture/decodeanswer.h"
#include "picture/decoder.h"
#include "picture/picturefile.h"

#include <QGuiApplication>

#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <unistd.h>

namespace {

int number(const char *text)
{
    char *end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != text && *end == '\0' && value > 0 && value <= picture::MaxSide ? int(value) : 0;
}

// --fit WIDTH HEIGHT or --longest SIDE, and --density RATIO (1 to 8); what is not understood
// is left as it would be without it.
picture::Request requestFrom(int argc, char **argv)
{
    picture::Request request;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--fit") == 0 && i + 2 < argc) {
            request.fitTo = QSize(number(argv[i + 1]), number(argv[i + 2]));
            i += 2;
        } else if (std::strcmp(argv[i], "--longest") == 0 && i + 1 < argc) {
            request.longestSide = number(argv[++i]);
        } else if (std::strcmp(argv[i], "--density") == 0 && i + 1 < argc) {
            const double density = std::strtod(argv[++i], nullptr);
            request.density = density >= 1 && density <= 8 ? density : 1;
        }
    }
    return request;
}

#ifdef PINTU_DECODE_TEST_HOOKS
// The tests' own build of this program: PINTU_DECODE_HOOK makes it misbehave as a decoder
// could, so that the game's side can be tried against it.
void runTestHook()
{
    const QByteArray hook = qgetenv("PINTU_DECODE_HOOK");
    if (hook == "hang") {
        for (;;)
            ::pause();
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
        std::exit(written == lie.size() ? 0 : 1);
    }
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    const picture::Request request = requestFrom(argc, argv);
    picture::Picture result;
    try {
        QByteArray bytes;
        result.refusal = picture::readAll(STDIN_FILENO, &bytes);
        if (!result.refusal.isRefused()) {
            // Text needs fonts, fonts need a platform; no display is needed. Other pictures
            // need neither, and start faster without.
            std::optional<QGuiApplication> app;
            if (picture::needsFonts(bytes)) {
                qputenv("QT_QPA_PLATFORM", "offscreen");
                app.emplace(argc, argv);
            }
#ifdef PINTU_DECODE_TEST_HOOKS
            runTestHook();
#endif
            result = picture::decode(bytes, request);
        }
    } catch (const std::bad_alloc &) {
        result = {QImage(), picture::refused(picture::Reason::OutOfMemory)};
    }
    return picture::answer::write(STDOUT_FILENO, result) ? 0 : 1;
}

// pintu: a picture-swap puzzle. Reads its command line (windows/commandline.h), creates the
// application and shows the puzzle window, with the picture of a file named there.
#include "windows/application.h"
#include "windows/commandline.h"
#include "windows/windowregistry.h"

#include "loading/filenames.h"

#include <QApplication>

#include <cstdio>
#include <unistd.h>

namespace {

// The arguments as the system gave them: a file name that is not UTF-8 keeps its bytes.
QStringList argumentsOf(int argc, char **argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(picture::fromNative(argv[i]));
    return arguments;
}

QString workingFolder()
{
    QByteArray folder(4096, '\0');
    while (!::getcwd(folder.data(), size_t(folder.size())) && folder.size() < qsizetype(1) << 20)
        folder.resize(folder.size() * 2);
    return picture::fromNative(folder.constData());
}

int told(std::FILE *stream, const CommandLine &command)
{
    std::fputs(command.text.toLocal8Bit().constData(), stream);
    return std::fflush(stream) == 0 ? command.exitCode() : 1;
}

} // namespace

int main(int argc, char *argv[])
{
    // Help, the version and mistakes need no display: the command line is read before the
    // application exists, which is then given Qt's own options alone.
    const CommandLine command = readCommandLine(argumentsOf(argc, argv), workingFolder());
    using Action = CommandLine::Action;
    if (command.action != Action::Play)
        return told(command.action == Action::Mistake ? stderr : stdout, command);
    QList<char *> qtArgv{argv[0]};
    for (const int i : command.qtArguments)
        qtArgv.append(argv[i + 1]);
    qtArgv.append(nullptr);
    int qtArgc = int(qtArgv.size() - 1);
    QApplication app(qtArgc, qtArgv.data());
    setUpApplication(app);
    WindowRegistry windows;
    showPuzzle(windows, command.picture);
    return QApplication::exec();
}

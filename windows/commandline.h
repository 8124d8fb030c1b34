// What the program is asked on its command line, as desktop programs read it:
//   pintu [FILE]         play, with FILE's picture when one is named (a path or a file:// URL;
//                        after "--" a name that starts with "-" is a file too)
//   pintu -h | --help    the usage, on standard output
//   pintu -v | --version the version, on standard output
// An option it does not know or a second file is a mistake, told on standard error. Qt's own
// options (-platform NAME, -style=NAME ...) before "--" are left to Qt. The words are
// Traditional Chinese, as the windows' are.
#pragma once

#include "picturesource.h"

#include <QStringList>

struct CommandLine
{
    enum class Action { Play, Help, Version, Mistake };
    Action action = Action::Play;
    PictureSource picture; // Play: what to open at the start; empty for the default picture
    QString text;          // Help, Version: for standard output; Mistake: for standard error
    // Play: where Qt's options and their values stand among the arguments, to be handed to Qt
    // alone (a file named like one of them after "--" is not Qt's).
    QList<int> qtArguments;

    // What the program ends with when it does not play: 0, or 2 for a mistake, as the usual
    // command-line tools do.
    int exitCode() const { return action == Action::Mistake ? 2 : 0; }
};

// arguments without the program's own name; a relative path is taken from folder.
CommandLine readCommandLine(const QStringList &arguments, const QString &folder);

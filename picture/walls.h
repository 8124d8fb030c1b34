// The walls the decoding process raises around itself once its input and output are open and
// before it reads a byte of the player's file, so that a file crafted to take a decoder over
// finds nothing to read, nowhere to write, nobody to reach and no way to outlive the job:
//   - an empty network namespace, where the system lets us make one: no network at all;
//   - no capabilities, when the process was started with any (as root);
//   - no new privileges: no program it could start would gain any;
//   - Landlock: files may be read only beneath the folders decoding needs (the libraries and
//     Qt's plug-ins, the fonts, fontconfig's settings and caches), written nowhere; no TCP, no
//     signal or abstract socket outside the process;
//   - seccomp: no socket, no program, no process (threads stay allowed), no tracing, no
//     mounts or namespaces, no key rings, no typing into a terminal, no signal to another
//     process, and none of the kernel's larger interfaces (io_uring, BPF, perf).
// A wall the system cannot raise (an old kernel, a container that forbids it) stays down and
// decoding goes on behind the others; the report says which are up.
#pragma once

#include <QList>
#include <QString>

namespace picture::walls {

// In the order they go up.
enum class Wall { NetworkNamespace, Capabilities, NoNewPrivileges, Landlock, Seccomp };

struct State
{
    Wall wall;
    bool up = false;
    QString detail;       // what it holds, or why it is down
    qint64 nanoseconds{}; // what raising it took, or trying to
};

// Which walls to raise: all of them, but for the tests' own build of the decoding process,
// which leaves some down on purpose to try the others alone.
struct Choice
{
    bool networkNamespace = true, capabilities = true, noNewPrivileges = true, landlock = true,
         seccomp = true;
};

// Raises the chosen walls on this process, in the order above, each one that can go up.
QList<State> raise(const Choice &choice = {});

// One line a wall: "Landlock: up (...), 0.3 ms".
QString describe(const QList<State> &states);

// The folders (and files) decoding may read once the walls are up.
QStringList readable();

} // namespace picture::walls

// How the game hands a file to a decoding process that waits for one (see spare.h), and how the
// process tells the game how many pixels the file's header declares. They speak over a pair of
// connected sockets, the process's end its standard input:
//   game to process: one message, the open file passed with it (SCM_RIGHTS) and the request's
//     arguments (request.h) as its bytes, each ended by a zero byte;
//   process to game: first the one byte "R", ready: its walls are up and it waits; then, once it
//     has read the file, 8 bytes, the pixel count the file declares, 64-bit little-endian; last
//     the one byte "D", done: its answer is written.
// The game reads what comes back as it reads the answer: from a process that a hostile file may
// have taken over, so a message that is not 8 bytes is ignored and a count is held to the
// limits; files passed the other way are never accepted.
#pragma once

#include "request.h"

#include <optional>

namespace picture::handover {

// Two connected sockets, both closed on exec: [0] the game's end, [1] the process's. False
// when the system gives none.
bool makePair(int ends[2]);

// Sends the open file and the request down socket; false when it cannot be sent at once.
bool send(int socket, int file, const Request &request);

struct Received
{
    int file = -1; // the decoding process's now
    Request request;
};
// Waits for the file on socket; nothing when the game has gone or sent something else.
std::optional<Received> receive(int socket);

// The process says it waits for a file, and that its answer is written.
void ready(int socket);
void done(int socket);

// The process's report of the pixels it is to decode, or draw for a picture drawn as vectors.
void declare(int socket, qint64 pixels);

// What the messages waiting on socket say, read without blocking.
struct Reports
{
    bool ready = false;
    bool done = false;
    qint64 declared = -1; // the largest count declared, held to at most maxPixels
    bool closed = false;  // the process's end is closed: no more will come
};
Reports readReports(int socket, qint64 maxPixels);

} // namespace picture::handover

// The tests' own build of the decoding process (pintu-decode-hooks) misbehaves as a decoder
// could, on request, so that the game's side and the walls can be tried against it:
//   PINTU_DECODE_HOOK         what to do once the walls are up (decodehooks.cpp lists them)
//   PINTU_DECODE_HOOK_TARGET  what it acts on: a path, or a TCP port
//   PINTU_DECODE_WALLS        the walls to raise, "," between them: network, capabilities,
//                             landlock, seccomp; "none"; all when unset
#pragma once

#include "picture/walls.h"

namespace hooks {

picture::walls::Choice wallsChosen();

// Runs the hook asked for, if any; self is this program's path, file the picture file handed
// to it.
void run(const char *self, int file);

} // namespace hooks

// The PNGs Qt's reader gets wrong, through libpng itself: 16 bits a sample with a transparent
// colour (a tRNS chunk), whose colours Qt's reader scrambles and whose transparent colour it
// shows opaque.
#pragma once

#include "surveys.h"

#include "loading/kinds.h"

namespace picture {

// The PNG in bytes, which its walk s found whole and within the limits, when it is one of
// those; a null picture with no refusal for every other PNG, which Qt's reader decodes.
Picture readPng(const QByteArray &bytes, const Survey &s, const Limits &limits);

} // namespace picture

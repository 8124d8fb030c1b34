// The C library's error stream made to say nothing, for libraries that write to it with no way
// to be told not to (libjxl's messages about its failures): what they write is dropped.
#pragma once

#include <cstdio>

namespace picture {

// While one lives, stderr is a stream that drops whatever is written to it; the one before is
// back when it goes. For the decoders' own thread: another thread writing meanwhile is dropped
// too.
class QuietStderr
{
public:
    QuietStderr();
    ~QuietStderr();
    QuietStderr(const QuietStderr &) = delete;
    QuietStderr &operator=(const QuietStderr &) = delete;

private:
    FILE *m_before;
    FILE *m_quiet;
};

} // namespace picture

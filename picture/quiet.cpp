#include "quiet.h"

#include <sys/types.h>

namespace picture {

namespace {

// A stream of no file at all, so that it can be made behind the walls, where nothing can be
// opened for writing.
ssize_t dropped(void *, const char *, size_t size) { return ssize_t(size); }

} // namespace

QuietStderr::QuietStderr()
    : m_before(stderr), m_quiet(fopencookie(nullptr, "w", {nullptr, dropped, nullptr, nullptr}))
{
    if (m_quiet)
        stderr = m_quiet;
}

QuietStderr::~QuietStderr()
{
    if (!m_quiet)
        return;
    stderr = m_before;
    std::fclose(m_quiet);
}

} // namespace picture

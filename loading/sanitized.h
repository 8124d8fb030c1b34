// Whether this build runs under AddressSanitizer, which the decoding process's limits and walls
// make room for (gcc says so with __SANITIZE_ADDRESS__, clang with __has_feature).
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define PINTU_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PINTU_SANITIZED 1
#endif
#endif

namespace picture {

#ifdef PINTU_SANITIZED
inline constexpr bool Sanitized = true;
#else
inline constexpr bool Sanitized = false;
#endif

} // namespace picture

// Whether this build checks memory and behaviour as it runs
// (AddressSanitizer): its code runs several times slower and its allocator
// holds freed memory a while, so that the bounds of time a test sets grow
// with it, and work only the plain build need do is left to that build.
#pragma once

namespace testing_build {

constexpr bool sanitized() {
#if defined(__SANITIZE_ADDRESS__)
    return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    return true;
#else
    return false;
#endif
#else
    return false;
#endif
}

}  // namespace testing_build

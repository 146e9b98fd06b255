// The version number of the application framework, as the appearance code
// asks for it before it uses vibrant (translucent, blurred) materials.
//
// Those materials have no counterpart here: the number stands at 1265, the
// last version without them, so that sidebars, lists and panels take their
// plain look. Tests set another number to reach the vibrant branches.
#pragma once

namespace platform {

struct FrameworkVersion {
    // The last version without vibrant materials.
    static constexpr double kLastWithoutVibrancy = 1265;

    static double current();
    // Whether vibrant materials exist: the integer part of current() is
    // above kLastWithoutVibrancy.
    static bool hasVibrancy();
    // Makes current() answer `version` (any thread may read it afterwards).
    static void setCurrent(double version);
};

// Sets the version while it lives and puts the previous one back.
class ScopedFrameworkVersion {
public:
    explicit ScopedFrameworkVersion(double version);
    ~ScopedFrameworkVersion();
    ScopedFrameworkVersion(const ScopedFrameworkVersion &) = delete;
    ScopedFrameworkVersion &operator=(const ScopedFrameworkVersion &) = delete;

private:
    double m_previous;
};

}  // namespace platform

#include "platform/runtime/framework_version.h"

#include <atomic>
#include <cmath>

namespace platform {

namespace {
std::atomic<double> version{FrameworkVersion::kLastWithoutVibrancy};
}

double FrameworkVersion::current() { return version.load(std::memory_order_relaxed); }

bool FrameworkVersion::hasVibrancy() { return std::floor(current()) > kLastWithoutVibrancy; }

void FrameworkVersion::setCurrent(double next) { version.store(next, std::memory_order_relaxed); }

ScopedFrameworkVersion::ScopedFrameworkVersion(double next) : m_previous(FrameworkVersion::current()) {
    FrameworkVersion::setCurrent(next);
}

ScopedFrameworkVersion::~ScopedFrameworkVersion() { FrameworkVersion::setCurrent(m_previous); }

}  // namespace platform

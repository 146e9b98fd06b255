// An open file descriptor owned by one object and closed when it goes, so
// that no early return of the code that works with it leaves it open.
#pragma once

#include <utility>

#include <unistd.h>

namespace platform {

class Descriptor {
public:
    explicit Descriptor(int descriptor = -1) : m_descriptor(descriptor) {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_descriptor; }
    explicit operator bool() const { return m_descriptor >= 0; }
    void reset(int descriptor = -1) {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        m_descriptor = descriptor;
    }
    int release() { return std::exchange(m_descriptor, -1); }
    // Closes it, saying whether the close went well (errno otherwise).
    bool close() { return ::close(std::exchange(m_descriptor, -1)) == 0; }

private:
    int m_descriptor;
};

}  // namespace platform

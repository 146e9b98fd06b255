#include "library/diagnostics.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

namespace {

struct Handler {
    tzr_log_handler function = nullptr;
    void *context = nullptr;
};

std::mutex handler_mutex;
Handler installed;

Handler current_handler() {
    std::lock_guard lock(handler_mutex);
    return installed;
}

// Formats without a heap allocation for the usual short line.
void deliver(const char *format, va_list arguments) {
    char small[256];
    va_list copy;
    va_copy(copy, arguments);
    int needed = vsnprintf(small, sizeof small, format, copy);
    va_end(copy);
    if (needed < 0)
        return;
    std::string large;
    const char *line = small;
    if (static_cast<size_t>(needed) >= sizeof small) {
        large.resize(static_cast<size_t>(needed));
        vsnprintf(large.data(), large.size() + 1, format, arguments);
        line = large.c_str();
    }
    // The handler runs outside the lock, so it may itself log or reinstall.
    Handler handler = current_handler();
    if (handler.function)
        handler.function(line, handler.context);
    else
        fputs(line, stderr);
}

// strerror_r comes in two forms: the POSIX one fills the buffer and returns
// a status, the GNU one returns the text.
[[maybe_unused]] const char *reason_text(int status, const char *buffer) {
    return status == 0 ? buffer : "Unknown error";
}
[[maybe_unused]] const char *reason_text(const char *text, const char *) { return text; }

} // namespace

void tzr_log_set_handler(tzr_log_handler handler, void *context) {
    std::lock_guard lock(handler_mutex);
    installed = Handler{handler, handler ? context : nullptr};
}

void tzr_log_v(const char *format, va_list arguments) {
    if (format)
        deliver(format, arguments);
}

void tzr_log(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    tzr_log_v(format, arguments);
    va_end(arguments);
}

void tzr_log_errno(const char *prefix) {
    int error = errno;
    char buffer[256] = "";
    const char *reason = reason_text(strerror_r(error, buffer, sizeof buffer), buffer);
    if (prefix && *prefix)
        tzr_log("%s: %s\n", prefix, reason);
    else
        tzr_log("%s\n", reason);
}

void tzr_fatal(const char *format, ...) {
    va_list arguments;
    va_start(arguments, format);
    tzr_log_v(format, arguments);
    va_end(arguments);
    fflush(stderr);
    exit(1);
}

// How the document library and the editor's text engine report trouble.
//
// Misuse and recoverable failures are one line of text (the messages keep
// their trailing newline) handed to the log handler, after which the caller
// carries on with a neutral result. By default the line goes to standard
// error; an application installs its own handler to send the lines to its
// log instead. The handler may be called from any thread that uses the
// library, so it must be thread-safe.
//
// The only failure that cannot be carried on from is running out of memory
// while a text or a tree grows: tzr_fatal logs its line through the same
// handler and ends the process with exit status 1.
#pragma once

#include <cstdarg>

typedef void (*tzr_log_handler)(const char *line, void *context);

// Installs `handler` with `context`; NULL restores the standard-error default.
void tzr_log_set_handler(tzr_log_handler handler, void *context);

// Formats one message with printf rules and hands it to the handler.
void tzr_log(const char *format, ...) __attribute__((format(printf, 1, 2)));
void tzr_log_v(const char *format, va_list arguments);

// Logs the message, then exits with status 1.
[[noreturn]] void tzr_fatal(const char *format, ...) __attribute__((format(printf, 1, 2)));

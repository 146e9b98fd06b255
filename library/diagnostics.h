// How the document library and the editor's text engine report trouble.
//
// A report is one line of text (messages keep their trailing newline) handed
// to the log handler. By default the line goes to standard error; an
// application installs its own handler to send the lines to its log instead.
// The handler may be called from any thread that uses the library, so it
// must be thread-safe. Layer by layer:
//
// - Strings, stacks and the document tree (d_string, stack, token, the block
//   parser and the parse driver): a record that cannot be made is NULL;
//   misuse, such as a range outside a string, logs its line and gives a
//   neutral result (NULL, false, nothing changed). Running out of memory
//   while a string, a stack or a tree grows is the one failure nothing can
//   carry on from: tzr_fatal logs its line and ends the process with exit
//   status 1.
// - Parsing and the passes over its tree (grammar, definitions, metadata):
//   every input parses. The lines logged for input a pass does not expect
//   ("Parser failed to successfully parse.", "ERROR!", "process %d") are
//   reports only; the pass goes on.
// - Writers never fail to their caller: a token type a writer does not
//   handle logs "Unknown token type: ..." and writes nothing for it.
// - Packagers and file output never stop at a failure: each entry, asset or
//   finalisation that fails logs one line and the package goes on without
//   it; a file that cannot be opened, written or closed logs the path and
//   the system's reason as perror words them (tzr_log_errno).
// - Debug dumps (token_tree_describe and token_chain_describe, the trie's
//   and the metadata's dumps) write to standard error directly: a developer
//   asks for them, they run to many lines, and they are not reports. A dump
//   that follows a logged line (after "Unknown token type" or "ERROR!") goes
//   there too.
//
// The text engine follows the same rules: a misused operation logs its line
// and does nothing.
#pragma once

#include <cstdarg>

typedef void (*tzr_log_handler)(const char *line, void *context);

// Installs `handler` with `context`; NULL restores the standard-error default.
void tzr_log_set_handler(tzr_log_handler handler, void *context);

// Formats one message with printf rules and hands it to the handler.
void tzr_log(const char *format, ...) __attribute__((format(printf, 1, 2)));
void tzr_log_v(const char *format, va_list arguments);

// Logs "prefix: reason\n" for the current errno as perror writes it (the
// reason alone when the prefix is NULL or empty).
void tzr_log_errno(const char *prefix);

// Logs the message, then exits with status 1.
[[noreturn]] void tzr_fatal(const char *format, ...) __attribute__((format(printf, 1, 2)));

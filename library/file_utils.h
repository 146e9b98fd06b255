// Reading files and standard input into strings, writing strings to files,
// telling text from other bytes, and the path helpers that
// transclusion and the packagers use. Paths are POSIX paths ("/" separated).
#pragma once

#include <cstddef>

#include "library/d_string.h"

// The file's bytes (a leading UTF-8 byte-order mark removed), or NULL when
// it cannot be opened or is not a regular file: folders, FIFOs and devices
// are refused so that a marker naming one can neither hang nor exhaust memory.
DString *file_read_to_d_string(const char *path);
// All of standard input, which is closed afterwards.
DString *stdin_read_to_d_string(void);
// Writes the string's bytes to `path`, replacing the file. A file that
// cannot be opened, written or closed is logged with the path and the
// system's reason (as perror words them); false then.
bool file_write_d_string(const char *path, const DString *data);

// The offset of the first byte that keeps `bytes` from being UTF-8 text (a
// NUL, a malformed, overlong or surrogate sequence, or one past U+10FFFF),
// or `length` when there is none.
size_t utf8_first_non_text_byte(const unsigned char *bytes, size_t length);
// The length of the well-formed UTF-8 sequence that `bytes` begins with
// (1 for any ASCII byte, NUL included); 0 when it begins with none (a stray
// byte, an overlong form, a surrogate, a code point past U+10FFFF, or a
// sequence cut short) or `length` is 0.
size_t utf8_sequence_length(const unsigned char *bytes, size_t length);

// "dir" + "/" + "path" (a path starting with "/" stands alone); NULL only
// when both are NULL.
char *path_join(const char *dir, const char *path);
// Splits after the last "/" that is not the first byte; either out-pointer
// may be NULL; both results are new strings.
void path_split(const char *path, char **dir, char **file);
bool path_char_is_separator(char c);
void path_add_trailing_separator(DString *path);
// The canonical absolute path, or NULL.
char *path_absolute(const char *path);

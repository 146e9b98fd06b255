// Growable NUL-terminated byte strings, the text buffer of the whole library.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstring>

struct DString {
    char *str;        // owned; always NUL-terminated at `length`
    size_t capacity;  // bytes allocated for `str`
    size_t length;    // bytes of text, not counting the NUL
};

#define TZR_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))

// Capacity of a fresh string and the point where doubling turns into steps.
constexpr size_t kDStringInitialCapacity = 1024;
constexpr size_t kDStringLinearGrowth = 104857600;  // 100 MiB

// The capacity a string of `capacity` bytes grows to so that `needed` bytes
// fit: doubling up to 100 MiB, then 100 MiB steps. Returns `capacity` itself
// when it is already large enough.
size_t d_string_grown_capacity(size_t capacity, size_t needed);

DString *d_string_new(const char *start_string);
// Frees the record; with `free_buffer` false the buffer is returned to the
// caller, who owns it from then on.
char *d_string_free(DString *ripped, bool free_buffer);

// Appending is the writers' innermost step, so it is inline: the length of
// a literal is then known where it is appended. Growing stays out of line.
namespace d_string_detail {
// Makes room for `extra` more bytes and the NUL; exits on exhaustion.
void grow(DString *d, size_t extra);
}  // namespace d_string_detail

// `count` (size_t)-1 appends up to the NUL.
inline void d_string_append_c_array(DString *base, const char *bytes, size_t count) {
    if (!base || !bytes)
        return;
    if (count == (size_t)-1)
        count = strlen(bytes);
    if (count == 0)
        return;
    if (base->capacity <= base->length || count >= base->capacity - base->length)
        d_string_detail::grow(base, count);
    memcpy(base->str + base->length, bytes, count);
    base->length += count;
    base->str[base->length] = '\0';
}

inline void d_string_append(DString *base, const char *append) {
    d_string_append_c_array(base, append, (size_t)-1);
}

inline void d_string_append_c(DString *base, char c) {
    if (!base || c == '\0')
        return;
    if (base->capacity <= base->length + 1)
        d_string_detail::grow(base, 1);
    base->str[base->length++] = c;
    base->str[base->length] = '\0';
}

// Makes room for a text of `capacity` bytes (the NUL included) at once, as
// growing would; false, with the string as it was, when the memory cannot
// be had. Room not written to costs the system nothing, and a string that
// grows in one step is never copied.
bool d_string_reserve(DString *d, size_t capacity);

void d_string_append_printf(DString *base, const char *format, ...) TZR_PRINTF(2, 3);
void d_string_prepend(DString *base, const char *prepend);
void d_string_insert(DString *base, size_t pos, const char *inserted);
void d_string_insert_c(DString *base, size_t pos, char c);
void d_string_insert_printf(DString *base, size_t pos, const char *format, ...) TZR_PRINTF(3, 4);
void d_string_erase(DString *base, size_t pos, size_t len);
char *d_string_copy_substring(DString *d, size_t start, size_t len);
// Replaces every occurrence of `original` that begins inside the range;
// returns the change of length. The range end moves with the replacements.
long d_string_replace_text_in_range(DString *d, size_t pos, size_t len, const char *original,
                                    const char *replace);

// Formats into a new heap buffer of exactly the needed size; returns the
// formatted length, and allocates nothing when that is 0 or negative.
int vformat_new_string(char **strp, const char *fmt, va_list ap);

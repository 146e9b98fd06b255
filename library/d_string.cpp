#include "library/d_string.h"
#include "library/diagnostics.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

size_t d_string_grown_capacity(size_t capacity, size_t needed) {
    if (capacity == 0)
        capacity = 1;
    while (capacity < needed) {
        if (capacity <= kDStringLinearGrowth)
            capacity *= 2;
        else
            capacity += kDStringLinearGrowth;
    }
    return capacity;
}

// Makes room for `extra` more bytes plus the NUL. Failing to grow is the one
// fatal error of the library: the text cannot be kept whole otherwise.
static void ensure_room(DString *d, size_t extra) {
    if (extra > SIZE_MAX - d->length - 1)
        tzr_fatal("Error reallocating memory for d_string. Current buffer size %lu.\n",
                  (unsigned long)d->capacity);
    size_t needed = d->length + extra + 1;
    if (needed <= d->capacity)
        return;
    size_t grown = d_string_grown_capacity(d->capacity, needed);
    char *buffer = static_cast<char *>(realloc(d->str, grown));
    if (!buffer)
        tzr_fatal("Error reallocating memory for d_string. Current buffer size %lu.\n",
                  (unsigned long)d->capacity);
    d->str = buffer;
    d->capacity = grown;
}

void d_string_detail::grow(DString *d, size_t extra) { ensure_room(d, extra); }

bool d_string_reserve(DString *d, size_t capacity) {
    if (!d)
        return false;
    if (capacity <= d->capacity)
        return true;
    size_t grown = d_string_grown_capacity(d->capacity, capacity);
    char *buffer = static_cast<char *>(realloc(d->str, grown));
    if (!buffer)
        return false;
    d->str = buffer;
    d->capacity = grown;
    return true;
}

DString *d_string_new(const char *start_string) {
    if (!start_string)
        start_string = "";
    size_t length = strlen(start_string);
    DString *d = static_cast<DString *>(malloc(sizeof(DString)));
    if (!d)
        return nullptr;
    size_t capacity = d_string_grown_capacity(kDStringInitialCapacity, length + 1);
    d->str = static_cast<char *>(malloc(capacity));
    if (!d->str) {
        free(d);
        return nullptr;
    }
    memcpy(d->str, start_string, length + 1);
    d->capacity = capacity;
    d->length = length;
    return d;
}

char *d_string_free(DString *ripped, bool free_buffer) {
    if (!ripped)
        return nullptr;
    char *buffer = ripped->str;
    free(ripped);
    if (free_buffer) {
        free(buffer);
        return nullptr;
    }
    return buffer;
}

int vformat_new_string(char **strp, const char *fmt, va_list ap) {
    if (!strp || !fmt)
        return -1;
    va_list measure;
    va_copy(measure, ap);
    int length = vsnprintf(nullptr, 0, fmt, measure);
    va_end(measure);
    if (length <= 0)
        return length;
    char *buffer = static_cast<char *>(malloc((size_t)length + 1));
    if (!buffer)
        return -1;
    vsnprintf(buffer, (size_t)length + 1, fmt, ap);
    *strp = buffer;
    return length;
}

void d_string_append_printf(DString *base, const char *format, ...) {
    if (!base || !format)
        return;
    char *formatted = nullptr;
    va_list args;
    va_start(args, format);
    int length = vformat_new_string(&formatted, format, args);
    va_end(args);
    if (length <= 0)
        return;
    d_string_append_c_array(base, formatted, (size_t)length);
    free(formatted);
}

// Inserts `count` bytes at `pos` (clamped to the end).
static void insert_bytes(DString *base, size_t pos, const char *bytes, size_t count) {
    if (count == 0)
        return;
    if (pos > base->length)
        pos = base->length;
    ensure_room(base, count);
    memmove(base->str + pos + count, base->str + pos, base->length - pos);
    memcpy(base->str + pos, bytes, count);
    base->length += count;
    base->str[base->length] = '\0';
}

void d_string_insert(DString *base, size_t pos, const char *inserted) {
    if (!base || !inserted)
        return;
    insert_bytes(base, pos, inserted, strlen(inserted));
}

void d_string_prepend(DString *base, const char *prepend) { d_string_insert(base, 0, prepend); }

void d_string_insert_c(DString *base, size_t pos, char c) {
    if (!base || c == '\0')
        return;
    insert_bytes(base, pos, &c, 1);
}

void d_string_insert_printf(DString *base, size_t pos, const char *format, ...) {
    if (!base || !format)
        return;
    char *formatted = nullptr;
    va_list args;
    va_start(args, format);
    int length = vformat_new_string(&formatted, format, args);
    va_end(args);
    if (length <= 0)
        return;
    insert_bytes(base, pos, formatted, (size_t)length);
    free(formatted);
}

void d_string_erase(DString *base, size_t pos, size_t len) {
    if (!base || len == 0 || pos > base->length)
        return;
    if (len == (size_t)-1 || len >= base->length - pos) {
        base->length = pos;
    } else {
        memmove(base->str + pos, base->str + pos + len, base->length - pos - len);
        base->length -= len;
    }
    base->str[base->length] = '\0';
}

char *d_string_copy_substring(DString *d, size_t start, size_t len) {
    if (!d)
        return nullptr;
    if (len == (size_t)-1)
        len = start > d->length ? 0 : d->length - start;
    if (start > d->length || len > d->length - start) {
        tzr_log("d_string: Asked to copy invalid substring range.\n");
        tzr_log("start: %lu  len: %lu  string: %lu\n", (unsigned long)start, (unsigned long)len,
                (unsigned long)d->length);
        return nullptr;
    }
    char *result = static_cast<char *>(malloc(len + 1));
    if (!result)
        return nullptr;
    strncpy(result, d->str + start, len);
    result[len] = '\0';
    return result;
}

long d_string_replace_text_in_range(DString *d, size_t pos, size_t len, const char *original,
                                    const char *replace) {
    // An empty search text would match everywhere and never advance.
    if (!d || !original || !replace || original[0] == '\0' || pos > d->length)
        return 0;
    size_t end = (len == (size_t)-1 || len > d->length - pos) ? d->length : pos + len;
    size_t original_len = strlen(original);
    size_t replace_len = strlen(replace);
    long delta = 0;

    const char *match = strstr(d->str + pos, original);
    while (match) {
        size_t at = (size_t)(match - d->str);
        if ((long)at >= (long)end + delta)
            break;
        d_string_erase(d, at, original_len);
        insert_bytes(d, at, replace, replace_len);
        delta += (long)replace_len - (long)original_len;
        match = strstr(d->str + at + replace_len, original);
    }
    return delta;
}

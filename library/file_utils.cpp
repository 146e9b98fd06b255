#include "library/file_utils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "library/diagnostics.h"

namespace {

// The least room a read asks for: a pipe or a terminal gives a few kilobytes
// at a time.
constexpr size_t kChunk = 4096;

// Reads everything from `fd` straight into the string, which starts with
// room for `expected` bytes (a regular file's size, or 0 when unknown): a
// file then takes one read and one buffer, where a string grown chunk by
// chunk copied the text at every doubling and faulted in twice its size.
// With `strip_bom`, the byte-order marks at the very start are dropped.
DString *read_fd(int fd, bool strip_bom, size_t expected) {
    DString *text = d_string_new("");
    if (!text)
        return nullptr;
    if (expected)
        d_string_reserve(text, expected + 1);  // else it grows as it reads
    for (;;) {
        // The room left after the expected bytes is read into as it is: a
        // read there finds the end without growing a string just filled.
        size_t room = text->capacity - text->length;
        if (room <= 1 || (room < kChunk + 1 && (!expected || text->length != expected)))
            d_string_detail::grow(text, kChunk);
        ssize_t got = read(fd, text->str + text->length, text->capacity - text->length - 1);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (got == 0)
            break;
        text->length += (size_t)got;
    }
    text->str[text->length] = '\0';
    if (strip_bom) {
        size_t marks = 0;
        while (text->length - marks >= 3 && memcmp(text->str + marks, "\xEF\xBB\xBF", 3) == 0)
            marks += 3;
        if (marks)
            d_string_erase(text, 0, marks);
    }
    return text;
}

}  // namespace

bool file_write_d_string(const char *path, const DString *data) {
    if (!path || !data)
        return false;
    FILE *file = fopen(path, "wb");
    if (!file) {
        tzr_log_errno(path);
        return false;
    }
    bool written = data->length == 0 || fwrite(data->str, 1, data->length, file) == data->length;
    if (!written)
        tzr_log_errno(path);
    if (fclose(file) != 0) {
        tzr_log_errno(path);
        written = false;
    }
    return written;
}

DString *file_read_to_d_string(const char *path) {
    if (!path)
        return nullptr;
    // Non-blocking, so that opening a FIFO never waits for a writer; the
    // type check below then refuses it.
    int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        return nullptr;
    }
    int flags = fcntl(fd, F_GETFL);
    if (flags >= 0)
        fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    DString *text = read_fd(fd, true, (size_t)info.st_size);
    close(fd);
    return text;
}

DString *stdin_read_to_d_string(void) {
    struct stat info;
    size_t expected =
        fstat(STDIN_FILENO, &info) == 0 && S_ISREG(info.st_mode) ? (size_t)info.st_size : 0;
    DString *text = read_fd(STDIN_FILENO, false, expected);
    fclose(stdin);
    return text;
}

bool path_char_is_separator(char c) { return c == '/'; }

char *path_join(const char *dir, const char *path) {
    if (!dir && !path)
        return nullptr;
    if (path && path_char_is_separator(path[0]))
        return strdup(path);
    DString *joined = d_string_new(dir);
    if (!joined)
        return nullptr;
    path_add_trailing_separator(joined);
    d_string_append(joined, path);
    return d_string_free(joined, false);
}

void path_split(const char *path, char **dir, char **file) {
    if (!path)
        return;
    const char *name = path;
    for (const char *c = path + 1; *path && *c; c++) {
        if (path_char_is_separator(c[-1]) && c - 1 != path)
            name = c;
    }
    // A trailing "/" that is not the first byte also ends the directory.
    size_t length = strlen(path);
    if (length > 1 && path_char_is_separator(path[length - 1]))
        name = path + length;
    if (dir)
        *dir = strndup(path, (size_t)(name - path));
    if (file)
        *file = strdup(name);
}

void path_add_trailing_separator(DString *path) {
    if (!path)
        return;
    if (path->length == 0 || !path_char_is_separator(path->str[path->length - 1]))
        d_string_append_c(path, '/');
}

char *path_absolute(const char *path) {
    if (!path)
        return nullptr;
    return realpath(path, nullptr);
}

size_t utf8_sequence_length(const unsigned char *bytes, size_t length) {
    if (!bytes || length == 0)
        return 0;
    const unsigned char lead = bytes[0];
    if (lead < 0x80)
        return 1;
    size_t size;
    unsigned char low = 0x80, high = 0xBF;  // the bounds of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        size = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        size = 3;
        if (lead == 0xE0)
            low = 0xA0;
        else if (lead == 0xED)
            high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        size = 4;
        if (lead == 0xF0)
            low = 0x90;
        else if (lead == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (length < size || bytes[1] < low || bytes[1] > high)
        return 0;
    for (size_t k = 2; k < size; k++)
        if ((bytes[k] & 0xC0) != 0x80)
            return 0;
    return size;
}

size_t utf8_first_non_text_byte(const unsigned char *bytes, size_t length) {
    size_t i = 0;
    while (i < length) {
        // Most text is ASCII: eight bytes at a time while none is NUL or has
        // its top bit set.
        constexpr uint64_t ones = 0x0101010101010101ull, tops = 0x8080808080808080ull;
        uint64_t word;
        while (length - i >= 8 && (memcpy(&word, bytes + i, 8), ((word - ones) | word) & tops) == 0)
            i += 8;
        if (i == length)
            break;
        const size_t size = bytes[i] == 0 ? 0 : utf8_sequence_length(bytes + i, length - i);
        if (size == 0)
            return i;
        i += size;
    }
    return length;
}

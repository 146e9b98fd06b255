#include "library/file_utils.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "library/diagnostics.h"

namespace {

constexpr size_t kChunk = 4096;

// Reads everything from `fd`; with `strip_bom`, byte-order marks at the very
// start are dropped while the text is still within its first chunk.
DString *read_fd(int fd, bool strip_bom) {
    DString *text = d_string_new("");
    if (!text)
        return nullptr;
    char chunk[kChunk];
    for (;;) {
        ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN)
                break;
            break;
        }
        if (got == 0)
            break;
        d_string_append_c_array(text, chunk, (size_t)got);
        while (strip_bom && text->length <= kChunk && text->length >= 3 &&
               memcmp(text->str, "\xEF\xBB\xBF", 3) == 0)
            d_string_erase(text, 0, 3);
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
    DString *text = read_fd(fd, true);
    close(fd);
    return text;
}

DString *stdin_read_to_d_string(void) {
    DString *text = read_fd(STDIN_FILENO, false);
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

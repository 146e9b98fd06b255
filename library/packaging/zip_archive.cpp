#include "library/packaging/zip_archive.h"
#include "library/diagnostics.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/packaging/system_library.h"

namespace {

// The functions of libzip this file calls, loaded with it on the first
// package (see system_library.h).
struct LibZip {
    decltype(&::zip_error_init) error_init;
    decltype(&::zip_error_fini) error_fini;
    decltype(&::zip_source_buffer_create) source_buffer_create;
    decltype(&::zip_open_from_source) open_from_source;
    decltype(&::zip_source_keep) source_keep;
    decltype(&::zip_source_free) source_free;
    decltype(&::zip_dir_add) dir_add;
    decltype(&::zip_source_buffer) source_buffer;
    decltype(&::zip_file_add) file_add;
    decltype(&::zip_set_file_compression) set_file_compression;
    decltype(&::zip_discard) discard;
    decltype(&::zip_source_open) source_open;
    decltype(&::zip_source_seek) source_seek;
    decltype(&::zip_source_tell) source_tell;
    decltype(&::zip_source_read) source_read;
    decltype(&::zip_source_close) source_close;
    decltype(&::zip_close) close;
    decltype(&::zip_fopen_index) fopen_index;
    decltype(&::zip_fread) fread;
    decltype(&::zip_fclose) fclose;
    decltype(&::zip_get_num_entries) get_num_entries;
    decltype(&::zip_stat_index) stat_index;
};

// The table, or NULL when libzip cannot be loaded: every archive then fails
// as one that cannot be made or read.
const LibZip *load_libzip() {
    return system_library::load<LibZip>(ORVANE_LIBZIP_SONAME, [](system_library::Binder bind,
                                                                 LibZip &t) {
        return bind(t.error_init, "zip_error_init") && bind(t.error_fini, "zip_error_fini") &&
               bind(t.source_buffer_create, "zip_source_buffer_create") &&
               bind(t.open_from_source, "zip_open_from_source") &&
               bind(t.source_keep, "zip_source_keep") && bind(t.source_free, "zip_source_free") &&
               bind(t.dir_add, "zip_dir_add") && bind(t.source_buffer, "zip_source_buffer") &&
               bind(t.file_add, "zip_file_add") &&
               bind(t.set_file_compression, "zip_set_file_compression") &&
               bind(t.discard, "zip_discard") && bind(t.source_open, "zip_source_open") &&
               bind(t.source_seek, "zip_source_seek") && bind(t.source_tell, "zip_source_tell") &&
               bind(t.source_read, "zip_source_read") && bind(t.source_close, "zip_source_close") &&
               bind(t.close, "zip_close") && bind(t.fopen_index, "zip_fopen_index") &&
               bind(t.fread, "zip_fread") && bind(t.fclose, "zip_fclose") &&
               bind(t.get_num_entries, "zip_get_num_entries") &&
               bind(t.stat_index, "zip_stat_index");
    });
}

}  // namespace

struct tzr_zip_archive {
    zip_source_t *buffer = nullptr;  // the in-memory file the archive is written to
    zip_t *zip = nullptr;
};

tzr_zip_archive *tzr_zip_new_archive(void) {
    auto *archive = new tzr_zip_archive;
    const LibZip *libzip = load_libzip();
    if (!libzip) {
        tzr_log("mz_zip_writer_init_heap() failed.\n");
        return archive;
    }
    zip_error_t error;
    libzip->error_init(&error);
    archive->buffer = libzip->source_buffer_create(nullptr, 0, 0, &error);
    if (archive->buffer) {
        archive->zip = libzip->open_from_source(archive->buffer, ZIP_TRUNCATE, &error);
        if (archive->zip) {
            // Keep the buffer alive past zip_close, which writes into it.
            libzip->source_keep(archive->buffer);
        } else {
            libzip->source_free(archive->buffer);
            archive->buffer = nullptr;
        }
    }
    libzip->error_fini(&error);
    if (!archive->zip)
        tzr_log("mz_zip_writer_init_heap() failed.\n");
    return archive;
}

bool tzr_zip_add_mem(tzr_zip_archive *archive, const char *name, const void *bytes, size_t length,
                     int level) {
    if (!archive || !archive->zip || !name || !*name)
        return false;
    const LibZip *libzip = load_libzip();  // loaded: the archive was made with it
    size_t name_length = strlen(name);
    if (name[name_length - 1] == '/' && length == 0) {
        std::string folder(name, name_length - 1);
        return libzip->dir_add(archive->zip, folder.c_str(), ZIP_FL_ENC_UTF_8) >= 0;
    }
    // libzip reads entry data only when the archive is closed, so each entry
    // owns a copy of its bytes until then.
    void *copy = malloc(length ? length : 1);
    if (!copy)
        return false;
    if (length)
        memcpy(copy, bytes, length);
    zip_source_t *source = libzip->source_buffer(archive->zip, copy, length, 1);
    if (!source) {
        free(copy);
        return false;
    }
    zip_int64_t index =
        libzip->file_add(archive->zip, name, source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
        libzip->source_free(source);
        return false;
    }
    if (level <= 0)
        libzip->set_file_compression(archive->zip, (zip_uint64_t)index, ZIP_CM_STORE, 0);
    else
        libzip->set_file_compression(archive->zip, (zip_uint64_t)index, ZIP_CM_DEFLATE,
                                     (zip_uint32_t)(level > 9 ? 9 : level));
    return true;
}

void tzr_zip_discard(tzr_zip_archive *archive) {
    if (!archive)
        return;
    const LibZip *libzip = load_libzip();
    if (archive->zip)
        libzip->discard(archive->zip);
    if (archive->buffer)
        libzip->source_free(archive->buffer);
    delete archive;
}

// The bytes libzip wrote into the buffer source, as a new DString.
static DString *read_buffer(const LibZip *libzip, zip_source_t *buffer) {
    if (libzip->source_open(buffer) < 0)
        return nullptr;
    DString *out = nullptr;
    if (libzip->source_seek(buffer, 0, SEEK_END) == 0) {
        zip_int64_t size = libzip->source_tell(buffer);
        if (size >= 0 && libzip->source_seek(buffer, 0, SEEK_SET) == 0) {
            out = d_string_new("");
            char chunk[65536];
            zip_int64_t got;
            while ((got = libzip->source_read(buffer, chunk, sizeof chunk)) > 0)
                d_string_append_c_array(out, chunk, (size_t)got);
            if (got < 0 || out->length != (size_t)size) {
                d_string_free(out, true);
                out = nullptr;
            }
        }
    }
    libzip->source_close(buffer);
    return out;
}

DString *tzr_zip_finalize(tzr_zip_archive *archive, const char *failure_message) {
    DString *out = nullptr;
    if (archive && archive->zip) {
        const LibZip *libzip = load_libzip();
        if (libzip->close(archive->zip) == 0) {
            archive->zip = nullptr;
            out = read_buffer(libzip, archive->buffer);
        } else {
            libzip->discard(archive->zip);
            archive->zip = nullptr;
        }
    }
    tzr_zip_discard(archive);
    if (!out) {
        if (failure_message)
            tzr_log("%s", failure_message);
        out = d_string_new("");
    }
    return out;
}

namespace {

// An entry name that stays inside the target folder: relative, and no ".."
// component.
bool is_safe_entry_name(const char *name) {
    if (!name || !*name || name[0] == '/')
        return false;
    const char *part = name;
    while (*part) {
        size_t length = strcspn(part, "/");
        if (length == 2 && part[0] == '.' && part[1] == '.')
            return false;
        part += length;
        if (*part == '/')
            part++;
    }
    return true;
}

// Opens the folder that holds an entry's last component, walking the
// entry's folders from `root` without following links; -1 when one of them
// is missing or is no folder. `last` gets the entry's last component.
int open_parent(int root, const std::string &name, std::string *last) {
    int dir = dup(root);
    size_t from = 0;
    while (dir >= 0) {
        size_t slash = name.find('/', from);
        if (slash == std::string::npos) {
            *last = name.substr(from);
            return dir;
        }
        std::string part = name.substr(from, slash - from);
        from = slash + 1;
        if (part.empty() || part == ".")
            continue;
        int next = openat(dir, part.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        close(dir);
        dir = next;
    }
    return -1;
}

bool extract_folder(int root, const char *entry) {
    std::string last;
    std::string name(entry, strlen(entry) - 1);
    int parent = open_parent(root, name, &last);
    if (parent < 0)
        return false;
    bool ok = last.empty() || last == "." || mkdirat(parent, last.c_str(), 0755) == 0 || errno == EEXIST;
    close(parent);
    return ok;
}

// Writes one file entry below `root`. A link in the way is never followed:
// the entry fails instead.
bool extract_entry(const LibZip *libzip, zip_t *zip, zip_uint64_t index, int root,
                   const char *entry) {
    std::string last;
    int parent = open_parent(root, entry, &last);
    if (parent < 0)
        return false;
    int fd = last.empty() ? -1
                          : openat(parent, last.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    close(parent);
    if (fd < 0)
        return false;
    zip_file_t *file = libzip->fopen_index(zip, index, 0);
    bool ok = file != nullptr;
    char chunk[65536];
    zip_int64_t got = 0;
    while (ok && (got = libzip->fread(file, chunk, sizeof chunk)) > 0) {
        for (zip_int64_t done = 0; ok && done < got;) {
            ssize_t n = write(fd, chunk + done, (size_t)(got - done));
            ok = n > 0;
            done += n > 0 ? n : 0;
        }
    }
    if (got < 0)
        ok = false;
    if (file)
        libzip->fclose(file);
    if (close(fd) != 0)
        ok = false;
    return ok;
}

// Entries are written relative to a descriptor of the folder, so the
// process's working folder never changes (other threads may rely on it).
int extract_all(const LibZip *libzip, zip_t *zip, const char *folder) {
    int root = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (root < 0) {
        struct stat info;
        if (stat(folder, &info) == 0) {
            tzr_log("'%s' is an existing file.\n", folder);
            return -1;
        }
        mkdir(folder, 0755);
        root = open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (root < 0) {
            tzr_log("Unable to create folder '%s'.\n", folder);
            return -1;
        }
    }
    int result = 0;
    zip_int64_t count = libzip->get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; i++) {
        zip_stat_t info;
        if (libzip->stat_index(zip, (zip_uint64_t)i, 0, &info) != 0 ||
            !(info.valid & ZIP_STAT_NAME))
            continue;
        bool ok = is_safe_entry_name(info.name);
        if (ok && info.name[strlen(info.name) - 1] == '/')
            ok = extract_folder(root, info.name);
        else if (ok)
            ok = extract_entry(libzip, zip, (zip_uint64_t)i, root, info.name);
        if (!ok) {
            tzr_log("Error extracting file from zip archive.\n");
            result = -1;
            break;
        }
    }
    close(root);
    return result;
}

}  // namespace

int tzr_unzip_data_to_folder(const char *data, size_t length, const char *folder) {
    if (!data || !folder)
        return 0;
    const LibZip *libzip = load_libzip();
    if (!libzip) {
        tzr_log("mz_zip_reader_init_mem() failed.\n");
        return -1;
    }
    zip_error_t error;
    libzip->error_init(&error);
    zip_source_t *source = libzip->source_buffer_create(data, length, 0, &error);
    zip_t *zip = source ? libzip->open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    libzip->error_fini(&error);
    if (!zip) {
        if (source)
            libzip->source_free(source);
        tzr_log("mz_zip_reader_init_mem() failed.\n");
        return -1;
    }
    int result = extract_all(libzip, zip, folder);
    libzip->discard(zip);
    return result;
}

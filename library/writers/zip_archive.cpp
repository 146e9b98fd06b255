#include "zip_archive.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

struct tzr_zip_archive {
    zip_source_t *buffer = nullptr;  // the in-memory file the archive is written to
    zip_t *zip = nullptr;
};

tzr_zip_archive *tzr_zip_new_archive(void) {
    auto *archive = new tzr_zip_archive;
    zip_error_t error;
    zip_error_init(&error);
    archive->buffer = zip_source_buffer_create(nullptr, 0, 0, &error);
    if (archive->buffer) {
        archive->zip = zip_open_from_source(archive->buffer, ZIP_TRUNCATE, &error);
        if (archive->zip) {
            // Keep the buffer alive past zip_close, which writes into it.
            zip_source_keep(archive->buffer);
        } else {
            zip_source_free(archive->buffer);
            archive->buffer = nullptr;
        }
    }
    zip_error_fini(&error);
    if (!archive->zip)
        fprintf(stderr, "mz_zip_writer_init_heap() failed.\n");
    return archive;
}

bool tzr_zip_add_mem(tzr_zip_archive *archive, const char *name, const void *bytes, size_t length,
                     int level) {
    if (!archive || !archive->zip || !name || !*name)
        return false;
    size_t name_length = strlen(name);
    if (name[name_length - 1] == '/' && length == 0) {
        std::string folder(name, name_length - 1);
        return zip_dir_add(archive->zip, folder.c_str(), ZIP_FL_ENC_UTF_8) >= 0;
    }
    // libzip reads entry data only when the archive is closed, so each entry
    // owns a copy of its bytes until then.
    void *copy = malloc(length ? length : 1);
    if (!copy)
        return false;
    if (length)
        memcpy(copy, bytes, length);
    zip_source_t *source = zip_source_buffer(archive->zip, copy, length, 1);
    if (!source) {
        free(copy);
        return false;
    }
    zip_int64_t index = zip_file_add(archive->zip, name, source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
    if (index < 0) {
        zip_source_free(source);
        return false;
    }
    if (level <= 0)
        zip_set_file_compression(archive->zip, (zip_uint64_t)index, ZIP_CM_STORE, 0);
    else
        zip_set_file_compression(archive->zip, (zip_uint64_t)index, ZIP_CM_DEFLATE,
                                 (zip_uint32_t)(level > 9 ? 9 : level));
    return true;
}

void tzr_zip_discard(tzr_zip_archive *archive) {
    if (!archive)
        return;
    if (archive->zip)
        zip_discard(archive->zip);
    if (archive->buffer)
        zip_source_free(archive->buffer);
    delete archive;
}

// The bytes libzip wrote into the buffer source, as a new DString.
static DString *read_buffer(zip_source_t *buffer) {
    if (zip_source_open(buffer) < 0)
        return nullptr;
    DString *out = nullptr;
    if (zip_source_seek(buffer, 0, SEEK_END) == 0) {
        zip_int64_t size = zip_source_tell(buffer);
        if (size >= 0 && zip_source_seek(buffer, 0, SEEK_SET) == 0) {
            out = d_string_new("");
            char chunk[65536];
            zip_int64_t got;
            while ((got = zip_source_read(buffer, chunk, sizeof chunk)) > 0)
                d_string_append_c_array(out, chunk, (size_t)got);
            if (got < 0 || out->length != (size_t)size) {
                d_string_free(out, true);
                out = nullptr;
            }
        }
    }
    zip_source_close(buffer);
    return out;
}

DString *tzr_zip_finalize(tzr_zip_archive *archive, const char *failure_message) {
    DString *out = nullptr;
    if (archive && archive->zip) {
        if (zip_close(archive->zip) == 0) {
            archive->zip = nullptr;
            out = read_buffer(archive->buffer);
        } else {
            zip_discard(archive->zip);
            archive->zip = nullptr;
        }
    }
    tzr_zip_discard(archive);
    if (!out) {
        if (failure_message)
            fputs(failure_message, stderr);
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

bool extract_entry(zip_t *zip, zip_uint64_t index, const char *name) {
    zip_file_t *file = zip_fopen_index(zip, index, 0);
    if (!file)
        return false;
    FILE *out = fopen(name, "wb");
    bool ok = out != nullptr;
    char chunk[65536];
    zip_int64_t got = 0;
    while (ok && (got = zip_fread(file, chunk, sizeof chunk)) > 0)
        ok = fwrite(chunk, 1, (size_t)got, out) == (size_t)got;
    if (got < 0)
        ok = false;
    if (out && fclose(out) != 0)
        ok = false;
    zip_fclose(file);
    return ok;
}

int extract_all(zip_t *zip, const char *folder) {
    DIR *dir = opendir(folder);
    if (!dir) {
        struct stat info;
        if (stat(folder, &info) == 0) {
            fprintf(stderr, "'%s' is an existing file.\n", folder);
            return -1;
        }
        mkdir(folder, 0755);
        dir = opendir(folder);
        if (!dir)
            return 0;
    }
    closedir(dir);

    char cwd[4096];
    if (!getcwd(cwd, sizeof cwd))
        return 0;
    if (chdir(folder) != 0)
        return 0;
    zip_int64_t count = zip_get_num_entries(zip, 0);
    for (zip_int64_t i = 0; i < count; i++) {
        zip_stat_t info;
        if (zip_stat_index(zip, (zip_uint64_t)i, 0, &info) != 0 || !(info.valid & ZIP_STAT_NAME))
            continue;
        if (!is_safe_entry_name(info.name)) {
            fprintf(stderr, "Error extracting file from zip archive.\n");
            break;
        }
        size_t length = strlen(info.name);
        if (info.name[length - 1] == '/') {
            std::string name(info.name, length - 1);
            mkdir(name.c_str(), 0755);
            continue;
        }
        if (!extract_entry(zip, (zip_uint64_t)i, info.name)) {
            fprintf(stderr, "Error extracting file from zip archive.\n");
            break;
        }
    }
    if (chdir(cwd) != 0)
        fprintf(stderr, "Unable to return to '%s'.\n", cwd);
    return 0;
}

}  // namespace

int tzr_unzip_data_to_folder(const char *data, size_t length, const char *folder) {
    if (!data || !folder)
        return 0;
    zip_error_t error;
    zip_error_init(&error);
    zip_source_t *source = zip_source_buffer_create(data, length, 0, &error);
    zip_t *zip = source ? zip_open_from_source(source, ZIP_RDONLY, &error) : nullptr;
    zip_error_fini(&error);
    if (!zip) {
        if (source)
            zip_source_free(source);
        fprintf(stderr, "mz_zip_reader_init_mem() failed.\n");
        return 0;
    }
    int result = extract_all(zip, folder);
    zip_discard(zip);
    return result;
}

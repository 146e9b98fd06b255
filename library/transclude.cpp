#include "library/transclude.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "library/critic.h"
#include "library/engine.h"
#include "library/file_utils.h"
#include "library/tzr.h"

namespace {

constexpr int kTranscludeDepthLimit = 1000;
// Files may include one another side by side, so a few files that each take
// in the next several times grow the text exponentially: a whole
// transclusion reads at most this many files and this many bytes of them
// (every byte it inserts comes from a file it read), and the markers past
// either limit stay as they are.
constexpr size_t kTranscludeReadLimit = 10000;
constexpr size_t kTranscludeByteLimit = size_t(256) << 20;

struct Budget {
    size_t reads = kTranscludeReadLimit;
    size_t bytes = kTranscludeByteLimit;
};
// Longest distance from a marker's "{{" to its "}}".
constexpr size_t kMarkerSpan = 999;
constexpr size_t kNone = static_cast<size_t>(-1);

// What the opening metadata block of a text tells transclusion.
struct LeadingMeta {
    size_t end = 0;  // where the block ends; 0 without one
    bool has_base = false;
    std::string base;  // the "transclude base" value
};

// Reads the metadata block of `text` with an engine that borrows it.
LeadingMeta read_leading_meta(DString *text) {
    LeadingMeta meta;
    tzr_engine *e = tzr_engine_create_with_d_string(text, TZR_EXT_TRANSCLUDE);
    if (!e)
        return meta;
    size_t end = 0;
    if (tzr_engine_has_metadata(e, &end)) {
        meta.end = end;
        if (const char *base = tzr_engine_metavalue_for_key(e, "transclude base")) {
            meta.has_base = true;
            meta.base = base;
        }
    }
    tzr_engine_free(e, false);
    return meta;
}

// The value of a metadata key at the top of `text`, if the key is there.
bool leading_meta_value(DString *text, const char *key, std::string *value, size_t *block_end) {
    tzr_engine *e = tzr_engine_create_with_d_string(text, 0);
    if (!e)
        return false;
    bool found = false;
    size_t end = 0;
    if (tzr_engine_has_metadata(e, &end)) {
        if (const char *v = tzr_engine_metavalue_for_key(e, key)) {
            *value = v;
            found = true;
        }
    }
    tzr_engine_free(e, false);
    if (block_end)
        *block_end = end;
    return found;
}

const char *extension_for_format(int16_t format) {
    switch (format) {
    case TZR_FORMAT_HTML:
        return ".html";
    case TZR_FORMAT_LATEX:
    case TZR_FORMAT_BEAMER:
    case TZR_FORMAT_MEMOIR:
        return ".tex";
    case TZR_FORMAT_FODT:
        return ".fodt";
    default:
        return ".txt";
    }
}

// The canonical form of a path when it resolves, else the path itself. The
// cycle check compares these, so that "x.md", "./x.md" and "sub/../x.md"
// are one file however the folder was spelled.
std::string canonical_path(const std::string &path) {
    char *resolved = path_absolute(path.c_str());
    if (!resolved)
        return path;
    std::string out = resolved;
    free(resolved);
    return out;
}

bool stack_holds(const stack *s, const std::string &text) {
    for (size_t i = 0; s && i < s->size; i++) {
        const char *entry = static_cast<const char *>(s->element[i]);
        if (entry && text == entry)
            return true;
    }
    return false;
}

void push_copy(stack *s, const std::string &text) {
    if (char *copy = strdup(text.c_str()))
        stack_push(s, copy);
}

void transclude(DString *source, const char *folder, const char *file_path, int16_t format,
                stack *parents, stack *manifest, int depth, Budget &budget) {
    if (!source || !source->str || depth >= kTranscludeDepthLimit)
        return;

    bool have_folder = folder != nullptr;
    std::string dir_of_file;
    std::string search;
    if (folder) {
        char *joined = path_join(folder, nullptr);
        search = joined ? joined : "";
        free(joined);
    }
    if (file_path) {
        char *dir = nullptr;
        path_split(file_path, &dir, nullptr);
        dir_of_file = dir ? dir : "";
        free(dir);
    }

    LeadingMeta meta = read_leading_meta(source);
    if (meta.has_base) {
        // A relative base is relative to the file's own directory; a file
        // given without a directory resolves it against the working folder,
        // not the root of the file system.
        if (!meta.base.empty() && meta.base[0] == '/')
            search = meta.base;
        else
            search = dir_of_file + meta.base;
        have_folder = true;
    }
    if (!have_folder)
        return;

    bool own_parents = parents == nullptr;
    if (own_parents) {
        parents = stack_new(0);
        if (!parents)
            return;
    }
    const size_t entry_count = parents->size;

    size_t pos = meta.end;
    size_t known_close = kNone;  // the first "}}" after the last marker seen
    while (pos < source->length) {
        const char *text = source->str;
        const char *open_at = strstr(text + pos, "{{");
        if (!open_at)
            break;
        size_t open = static_cast<size_t>(open_at - text);
        size_t close;
        if (known_close != kNone && known_close >= open + 2) {
            close = known_close;
        } else {
            const char *close_at = strstr(text + open + 2, "}}");
            if (!close_at)
                break;
            close = static_cast<size_t>(close_at - text);
            known_close = close;
        }
        if (close - open > kMarkerSpan) {
            pos = open + 2;
            continue;
        }

        std::string name(text + open + 2, close - open - 2);
        if (name == "TOC") {
            pos = close + 2;
            continue;
        }
        std::string path;
        if (!name.empty() && name[0] == '/') {
            path = name;
        } else {
            path = search;
            if (!path.empty() && path.back() != '/')
                path += '/';
            path += name;
        }
        if (format != TZR_FORMAT_ORIGINAL && path.size() >= 2 &&
            path.compare(path.size() - 2, 2, ".*") == 0)
            path.replace(path.size() - 2, 2, extension_for_format(format));

        std::string resolved = canonical_path(path);
        if (stack_holds(parents, resolved)) {
            pos = open + 2;
            continue;
        }
        if (manifest && !stack_holds(manifest, path))
            push_copy(manifest, path);

        DString *inserted = budget.reads > 0 ? file_read_to_d_string(path.c_str()) : nullptr;
        if (inserted && inserted->length > budget.bytes) {
            budget.bytes = 0;
            d_string_free(inserted, true);
            inserted = nullptr;
        }
        if (!inserted) {
            pos = open + 2;
            continue;
        }
        budget.reads--;
        budget.bytes -= inserted->length;
        push_copy(parents, resolved);

        transclude(inserted, search.c_str(), path.c_str(), format, parents, manifest, depth + 1, budget);
        size_t meta_end = 0;
        if (tzr_d_string_has_metadata(inserted, &meta_end) && meta_end > 0)
            d_string_erase(inserted, 0, meta_end);

        d_string_erase(source, open, close + 2 - open);
        // Text ends at its first NUL, as everywhere in the library.
        size_t added = strlen(inserted->str);
        d_string_insert(source, open, inserted->str);
        d_string_free(inserted, true);
        pos = open + added;
        known_close = kNone;

        while (parents->size > entry_count)
            free(stack_pop(parents));
    }

    while (parents->size > entry_count)
        free(stack_pop(parents));
    if (own_parents)
        stack_free(parents);
}

}  // namespace

void tzr_transclude(DString *source, const char *folder, const char *file_path, int16_t format,
                    stack *parents, stack *manifest) {
    Budget budget;
    transclude(source, folder, file_path, format, parents, manifest, 0, budget);
}

void tzr_prepend_header_file(DString *source) {
    if (!source || !source->str)
        return;
    std::string value;
    size_t end = 0;
    if (!leading_meta_value(source, "tzrheader", &value, &end))
        return;
    value.insert(0, "\n\n");
    d_string_insert(source, end, value.c_str());
}

void tzr_append_footer_file(DString *source) {
    if (!source || !source->str)
        return;
    std::string value;
    if (!leading_meta_value(source, "tzrfooter", &value, nullptr))
        return;
    d_string_append(source, "\n\n");
    d_string_append(source, value.c_str());
}

stack *tzr_engine_transclusion_manifest(tzr_engine *e, const char *folder, const char *file_path) {
    if (!e || !e->source)
        return nullptr;
    stack *manifest = stack_new(0);
    DString *copy = d_string_new("");
    if (manifest && copy) {
        d_string_append_c_array(copy, e->source->str, e->source->length);
        tzr_transclude(copy, folder, file_path, TZR_FORMAT_HTML, nullptr, manifest);
    }
    d_string_free(copy, true);
    return manifest;
}

stack *tzr_d_string_transclusion_manifest(DString *source, const char *folder,
                                          const char *file_path) {
    if (!source)
        return nullptr;
    tzr_engine *e = tzr_engine_create_with_d_string(source, 0);
    stack *manifest = tzr_engine_transclusion_manifest(e, folder, file_path);
    tzr_engine_free(e, false);
    return manifest;
}

stack *tzr_string_transclusion_manifest(const char *source, const char *folder,
                                        const char *file_path) {
    if (!source)
        return nullptr;
    tzr_engine *e = tzr_engine_create_with_string(source, 0);
    stack *manifest = tzr_engine_transclusion_manifest(e, folder, file_path);
    tzr_engine_free(e, true);
    return manifest;
}

void tzr_prepare_source(DString *source, uint64_t extensions, const char *folder,
                        const char *file_path, int16_t format) {
    if (!source || !source->str)
        return;
    if (!(extensions & TZR_EXT_COMPATIBILITY)) {
        tzr_prepend_header_file(source);
        tzr_append_footer_file(source);
    }
    if ((extensions & TZR_EXT_TRANSCLUDE) && folder && file_path)
        tzr_transclude(source, folder, file_path, format, nullptr, nullptr);
    if (extensions & TZR_EXT_CRITIC) {
        bool accept = extensions & TZR_EXT_CRITIC_ACCEPT;
        bool reject = extensions & TZR_EXT_CRITIC_REJECT;
        if (accept && !reject)
            critic_accept_all(source);
        else if (reject && !accept)
            critic_reject_all(source);
    }
}

#include "library/tzr.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/block_parser.h"
#include "library/file_utils.h"
#include "library/labels.h"
#include "library/packaging/assets_fetch.h"
#include "library/metadata.h"
#include "library/records.h"
#include "library/scanners/scanners.h"
#include "library/token_pool.h"
#include "library/tokenizer.h"
#include "library/token_types.h"

namespace {

constexpr const char *kVersion = "6.3.0";

// Where the metadata block ends, and where its closing line of dashes
// starts (the block's end when it has none).
struct MetaBlock {
    bool found = false;
    size_t end = 0;
    size_t close = 0;
};

size_t truncate_list(stack *list, size_t size) {
    if (list && list->size > size)
        list->size = size;
    return size;
}

// Reads the metadata block at the top of the source into the engine's
// metadata list with a parse of the opening lines alone. The parse's tree is
// freed; the heading, definition and table lists lose what that parse put on
// them, so they never point into the freed tree.
MetaBlock read_meta_block(tzr_engine *e) {
    MetaBlock block;
    const char *source = e->source ? e->source->str : nullptr;
    if (!source || !scan_meta_line(source))
        return block;
    size_t headers = e->header_list ? e->header_list->size : 0;
    size_t definitions = e->definition_list ? e->definition_list->size : 0;
    size_t tables = e->table_list ? e->table_list->size : 0;
    size_t entries = e->metadata_list ? e->metadata_list->size : 0;

    // The grammar parse uses the engine's root as its result slot.
    token *kept_root = e->root;
    token *root = tzr_tokenize_string(e, 0, (size_t)-1, true);
    if (root && e->recurse_depth < kTzrParseDepthLimit) {
        e->recurse_depth++;
        token *lines = root->child;
        root->child = nullptr;
        token *blocks = tzr_parse_line_chain(e, lines);
        if (blocks)
            token_append_child(root, blocks);
        e->recurse_depth--;
    }
    token *first = root ? root->child : nullptr;
    if (first && first->type == BLOCK_META) {
        block.found = true;
        block.end = first->start + first->len;
        token *last = first->child;
        while (last && last->next)
            last = last->next;
        // The block reaches at least to the end of its last line, even when
        // a dashed line inside it left the block's own length short.
        if (last && last->start + last->len > block.end)
            block.end = last->start + last->len;
        block.close = block.end;
        // A last line that no entry reads (an underline of dashes, "--"
        // too) closes the block: an edit that swallowed it would merge the
        // text below into the last value. A line of dashes that the reader
        // takes as text ("-----" and a tab) is the last value's.
        if (last && last != first->child && !tzr_meta_line_is_read(last->type))
            block.close = last->start;
    }
    token_tree_free(root);
    e->root = kept_root;
    truncate_list(e->header_list, headers);
    truncate_list(e->definition_list, definitions);
    truncate_list(e->table_list, tables);
    // Entries read before (by a parse or an earlier question) stay, and keep
    // the strings handed out from them valid; a second reading adds no
    // duplicates.
    while (entries > 0 && e->metadata_list->size > entries)
        tzr_meta_free(static_cast<tzr_meta *>(stack_pop(e->metadata_list)));
    return block;
}

void clear_metadata(tzr_engine *e) {
    if (!e->metadata_list)
        return;
    while (e->metadata_list->size > 0)
        tzr_meta_free(static_cast<tzr_meta *>(stack_pop(e->metadata_list)));
}

bool ensure_metadata(tzr_engine *e) {
    if (!e || !e->metadata_list)
        return false;
    if (e->metadata_list->size == 0)
        tzr_engine_has_metadata(e, nullptr);
    return e->metadata_list->size > 0;
}

tzr_meta *find_entry(tzr_engine *e, const char *key, size_t *index) {
    char *label = tzr_label_from_text(key ? key : "");
    tzr_meta *found = nullptr;
    for (size_t i = 0; label && i < e->metadata_list->size; i++) {
        auto *entry = static_cast<tzr_meta *>(e->metadata_list->element[i]);
        if (entry && entry->key && !strcmp(entry->key, label)) {
            found = entry;
            if (index)
                *index = i;
            break;
        }
    }
    free(label);
    return found;
}

// Whether the source of `e` with `line` inserted at `at` reads as `e` read
// it, every entry with its value, and holds `key` in its top block too: the
// text is read afresh, as any reader would.
bool reads_as_before_with(tzr_engine *e, size_t at, const std::string &line, const char *key) {
    std::string text(e->source->str, e->source->length);
    text.insert(at, line);
    tzr_engine *trial = tzr_engine_create_with_string(text.c_str(), 0);
    if (!trial)
        return false;
    MetaBlock block = read_meta_block(trial);
    tzr_meta *added = block.found ? find_entry(trial, key, nullptr) : nullptr;
    bool same = added && added->start < block.close;
    for (size_t i = 0; same && i < e->metadata_list->size; i++) {
        auto *before = static_cast<tzr_meta *>(e->metadata_list->element[i]);
        if (!before || !before->key)
            continue;
        tzr_meta *now = find_entry(trial, before->key, nullptr);
        same = now && !strcmp(now->value ? now->value : "", before->value ? before->value : "");
    }
    tzr_engine_free(trial, true);
    return same;
}

char *copy_or_null(const char *text) { return text ? strdup(text) : nullptr; }

// Temporary engines: over the caller's string, or over the caller's DString
// (which the engine gives back when it is freed).
// The engines of these operations never hand a token out, so their tokens
// are carved in a scratch and thrown away together with it.
//
// The string is read where it lies, not copied: none of these operations
// changes its engine's source (only a metadata update does, and it makes
// an engine over a copy of its own), and a copy of a long document would
// cost its whole size again, most of a conversion's memory beside the tree.
DString borrowed_string(const char *text) {
    char *str = const_cast<char *>(text ? text : "");
    size_t length = strlen(str);
    return DString{str, length + 1, length};
}

struct StringEngine {
    TokenScratch scratch;
    DString text;
    tzr_engine *e;
    StringEngine(const char *source, uint64_t extensions)
        : text(borrowed_string(source)), e(tzr_engine_create_over(&text, extensions)) {}
    ~StringEngine() { tzr_engine_free(e, false); }
    StringEngine(const StringEngine &) = delete;
    StringEngine &operator=(const StringEngine &) = delete;
};

struct BorrowedEngine {
    TokenScratch scratch;
    tzr_engine *e;
    BorrowedEngine(DString *source, uint64_t extensions)
        : e(tzr_engine_create_over(source, extensions)) {}
    ~BorrowedEngine() { tzr_engine_free(e, false); }
    BorrowedEngine(const BorrowedEngine &) = delete;
    BorrowedEngine &operator=(const BorrowedEngine &) = delete;
};

// Readies an engine that a conversion makes for itself: its tree goes to a
// writer and then away, never to anyone who looks at its marks, so a pair
// of parentheses around plain text may stay in the text, and for HTML the
// text of a code block's line may be one token.
void convert_privately(tzr_engine *e, uint16_t language, uint16_t format) {
    tzr_engine_set_language(e, language);
    if (!e)
        return;
    e->parens_in_text = true;
    e->converts_to_html = format == TZR_FORMAT_HTML;
    e->output_unread = true;
}

DString *export_text(tzr_engine *e, uint16_t format) {
    tzr_engine_parse_string(e);
    DString *out = d_string_new("");
    if (!out)
        return nullptr;
    // Room for twice the source from the start (a page is at most about one
    // and three quarters of it): growing by doubling copied the text written
    // so far each time, and the copy of a large page was held beside the
    // tree. What is never written costs nothing.
    size_t source = e->source ? e->source->length : 0;
    if (source <= SIZE_MAX / 4)
        d_string_reserve(out, 2 * source + 1024);
    tzr_export_document(out, e, static_cast<int16_t>(format));
    return out;
}

DString *copy_source(tzr_engine *e) {
    DString *copy = d_string_new("");
    if (copy && e->source)
        d_string_append_c_array(copy, e->source->str, e->source->length);
    return copy;
}

}  // namespace

// --- Has metadata ---------------------------------------------------------------

bool tzr_engine_has_metadata(tzr_engine *e, size_t *end) {
    if (!e)
        return false;
    const char *source = e->source ? e->source->str : nullptr;
    if (!source || !scan_meta_line(source)) {
        if (end)
            *end = 0;
        return false;
    }
    MetaBlock block = read_meta_block(e);
    if (block.found && end)
        *end = block.end;
    return block.found;
}

bool tzr_string_has_metadata(const char *source, size_t *end) {
    StringEngine t(source, 0);
    return tzr_engine_has_metadata(t.e, end);
}

bool tzr_d_string_has_metadata(DString *source, size_t *end) {
    BorrowedEngine t(source, 0);
    return tzr_engine_has_metadata(t.e, end);
}

// --- Metadata keys ----------------------------------------------------------------

char *tzr_engine_metadata_keys(tzr_engine *e) {
    if (!ensure_metadata(e))
        return nullptr;
    std::string keys;
    for (size_t i = 0; i < e->metadata_list->size; i++) {
        auto *entry = static_cast<tzr_meta *>(e->metadata_list->element[i]);
        if (entry && entry->key) {
            keys += entry->key;
            keys += '\n';
        }
    }
    return strdup(keys.c_str());
}

char *tzr_string_metadata_keys(const char *source) {
    StringEngine t(source, 0);
    return tzr_engine_metadata_keys(t.e);
}

char *tzr_d_string_metadata_keys(DString *source) {
    BorrowedEngine t(source, 0);
    return tzr_engine_metadata_keys(t.e);
}

// --- Metavalue for key --------------------------------------------------------------

char *tzr_engine_metavalue_for_key(tzr_engine *e, const char *key) {
    if (!key || !ensure_metadata(e))
        return nullptr;
    tzr_meta *entry = find_entry(e, key, nullptr);
    return entry ? entry->value : nullptr;
}

char *tzr_string_metavalue_for_key(const char *source, const char *key) {
    StringEngine t(source, 0);
    return copy_or_null(tzr_engine_metavalue_for_key(t.e, key));
}

char *tzr_d_string_metavalue_for_key(DString *source, const char *key) {
    BorrowedEngine t(source, 0);
    return copy_or_null(tzr_engine_metavalue_for_key(t.e, key));
}

// --- Update metavalue ------------------------------------------------------------

void tzr_engine_update_metavalue_for_key(tzr_engine *e, const char *key, const char *value) {
    if (!e || !e->source || !key)
        return;
    // Entries left from an earlier read describe older text; their offsets
    // would place the edit wrongly.
    clear_metadata(e);
    MetaBlock block;
    const char *text = e->source->str;
    if (scan_meta_line(text))
        block = read_meta_block(e);

    DString *source = e->source;
    size_t index = 0;
    tzr_meta *entry = find_entry(e, key, &index);
    // An entry read from a later metadata-like block is not in the block at
    // the top, which is the one to edit.
    if (entry && (!block.found || entry->start >= block.close))
        entry = nullptr;

    if (!entry) {
        std::string line = key;
        line += ":\t";
        if (value)
            line += value;
        line += '\n';
        if (!block.found) {
            line += '\n';
            d_string_prepend(source, line.c_str());
        } else {
            size_t at = block.close;
            // A block whose last line has no line end would run into the
            // new line, so it gets one first. That line end can change how
            // the last line reads (after a backslash it is a hard break, a
            // line of blanks becomes blank): a value changes, or the block
            // ends above the new key. Then the block takes the new key
            // before its first one instead, where no line changes.
            if (at > 0 && source->str[at - 1] != '\n' && source->str[at - 1] != '\r') {
                line.insert(line.begin(), '\n');
                auto *first = e->metadata_list->size
                                  ? static_cast<tzr_meta *>(e->metadata_list->element[0])
                                  : nullptr;
                if (first && first->start < at && !reads_as_before_with(e, at, line, key)) {
                    line.erase(line.begin());
                    at = first->start;
                }
            }
            d_string_insert(source, at, line.c_str());
        }
    } else {
        size_t stop = block.close;
        if (index + 1 < e->metadata_list->size) {
            auto *next = static_cast<tzr_meta *>(e->metadata_list->element[index + 1]);
            if (next && next->start > entry->start && next->start < stop)
                stop = next->start;
        }
        size_t at = entry->start;
        // Never a stop before the entry: the erase below would run to the
        // end of the text.
        if (stop < at)
            stop = at;
        while (at < stop && source->str[at] != ':')
            at++;
        if (at < stop)
            at++;
        while (at < stop && (source->str[at] == ' ' || source->str[at] == '\t'))
            at++;
        d_string_erase(source, at, stop - at);
        std::string line = value ? value : "";
        line += '\n';
        d_string_insert(source, at, line.c_str());
    }
    // The offsets of the entries no longer match the text.
    clear_metadata(e);
}

char *tzr_string_update_metavalue_for_key(const char *source, const char *key, const char *value) {
    tzr_engine *e = tzr_engine_create_with_string(source, 0);
    if (!e)
        return nullptr;
    tzr_engine_update_metavalue_for_key(e, key, value);
    DString *text = e->source;
    tzr_engine_free(e, false);
    return d_string_free(text, false);
}

void tzr_d_string_update_metavalue_for_key(DString *source, const char *key, const char *value) {
    BorrowedEngine t(source, 0);
    tzr_engine_update_metavalue_for_key(t.e, key, value);
}

// --- Convert --------------------------------------------------------------------

char *tzr_engine_convert(tzr_engine *e, uint16_t format) {
    if (!e)
        return nullptr;
    DString *out = format == TZR_FORMAT_ORIGINAL ? copy_source(e) : export_text(e, format);
    if (!out)
        return nullptr;
    if (format != TZR_FORMAT_ORIGINAL)
        d_string_append_c(out, '\n');
    return d_string_free(out, false);
}

char *tzr_string_convert(const char *source, uint64_t extensions, uint16_t format,
                         uint16_t language) {
    StringEngine t(source, extensions);
    convert_privately(t.e, language, format);
    return tzr_engine_convert(t.e, format);
}

char *tzr_d_string_convert(DString *source, uint64_t extensions, uint16_t format,
                           uint16_t language) {
    BorrowedEngine t(source, extensions);
    convert_privately(t.e, language, format);
    return tzr_engine_convert(t.e, format);
}

// --- Convert to data --------------------------------------------------------------

DString *tzr_engine_convert_to_data(tzr_engine *e, uint16_t format, const char *asset_folder) {
    if (!e)
        return nullptr;
    if (format == TZR_FORMAT_ORIGINAL)
        return copy_source(e);
    if (tzr_format_is_packaged(format)) {
        tzr_packager pack = tzr_format_packager_for(format);
        if (!pack)
            return nullptr;
        DString *body = export_text(e, format);
        if (!body)
            return nullptr;
        DString *data = nullptr;
        {
            // The packagers work on the tree too.
            TokenArenaScope carving(e->arena);
            data = pack(body->str, e, asset_folder);
        }
        d_string_free(body, true);
        return data;
    }
    DString *out = export_text(e, format);
    if (out)
        d_string_append_c(out, '\n');
    return out;
}

DString *tzr_engine_convert_to_data_reporting(tzr_engine *e, uint16_t format, const char *asset_folder,
                                              tzr_asset_report *report) {
    tzr_asset_report_clear(report);
    if (!e)
        return nullptr;
    tzr_asset_report *outer = e->asset_report;
    e->asset_report = report;
    DString *data = tzr_engine_convert_to_data(e, format, asset_folder);
    e->asset_report = outer;
    return data;
}

DString *tzr_string_convert_to_data(const char *source, uint64_t extensions, uint16_t format,
                                    uint16_t language, const char *asset_folder) {
    StringEngine t(source, extensions);
    convert_privately(t.e, language, format);
    return tzr_engine_convert_to_data(t.e, format, asset_folder);
}

DString *tzr_d_string_convert_to_data(DString *source, uint64_t extensions, uint16_t format,
                                      uint16_t language, const char *asset_folder) {
    BorrowedEngine t(source, extensions);
    convert_privately(t.e, language, format);
    return tzr_engine_convert_to_data(t.e, format, asset_folder);
}

// --- Convert to file ---------------------------------------------------------------

void tzr_engine_convert_to_file(tzr_engine *e, uint16_t format, const char *asset_folder,
                                const char *path) {
    if (!e || !path)
        return;
    DString *data = tzr_engine_convert_to_data(e, format, asset_folder);
    if (!data)
        return;
    file_write_d_string(path, data);
    d_string_free(data, true);
}

void tzr_d_string_convert_to_file(DString *source, uint64_t extensions, uint16_t format,
                                  uint16_t language, const char *asset_folder, const char *path) {
    BorrowedEngine t(source, extensions);
    convert_privately(t.e, language, format);
    tzr_engine_convert_to_file(t.e, format, asset_folder, path);
}

// --- Parse only and version ------------------------------------------------------------

void tzr_string_parse_only(const char *source, uint64_t extensions, uint16_t, uint16_t language) {
    StringEngine t(source, extensions);
    tzr_engine_set_language(t.e, language);
    tzr_engine_parse_string(t.e);
}

char *tzr_version() { return strdup(kVersion); }

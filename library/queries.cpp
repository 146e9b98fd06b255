#include "library/queries.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "library/assets.h"
#include "library/engine.h"
#include "library/export_context.h"
#include "library/file_utils.h"
#include "library/labels.h"
#include "library/notes.h"
#include "library/records.h"
#include "library/token_types.h"
#include "library/transclude.h"
#include "library/tzr.h"
#include "library/utf16_units.h"
#include "library/writers/html.h"

namespace {

constexpr uint16_t kWalkDepthLimit = 1000;

// Byte offsets to UTF-16 offsets over one source. Offsets asked in rising
// order cost one pass over the text in all.
class UnitCounter {
public:
    UnitCounter(const char *text, size_t length) : text_(text), length_(length) {}
    size_t units_before(size_t byte) {
        if (byte > length_)
            byte = length_;
        if (byte < byte_) {
            byte_ = 0;
            units_ = 0;
        }
        units_ += utf16_units_in_range(text_ + byte_, byte - byte_);
        byte_ = byte;
        return units_;
    }
    size_t units_in(size_t start, size_t len) const {
        if (start >= length_)
            return 0;
        if (len > length_ - start)
            len = length_ - start;
        return utf16_units_in_range(text_ + start, len);
    }

private:
    const char *text_;
    size_t length_;
    size_t byte_ = 0;
    size_t units_ = 0;
};

bool starts_with(const char *text, const char *prefix) {
    return strncmp(text, prefix, strlen(prefix)) == 0;
}

void push_copy(stack *s, const char *text) {
    if (!s || !text)
        return;
    if (char *copy = strdup(text))
        stack_push(s, copy);
}

void consume_pair_marks(token *pair) {
    if (!pair || !pair->child)
        return;
    if (pair->child->mate)
        pair->child->mate->type = CONSUMED;
    pair->child->type = CONSUMED;
}

token *heading_at(tzr_engine *e, size_t index) {
    return static_cast<token *>(e->header_list->element[index]);
}

void strip_trailing_blanks(DString *text) {
    while (text->length > 0) {
        char c = text->str[text->length - 1];
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\0')
            break;
        text->length--;
    }
    text->str[text->length] = '\0';
}

struct TocWalk {
    tzr_engine *e;
    tzr_export_context *context;
    UnitCounter units;
};

header *toc_level(TocWalk &walk, size_t *index, int level) {
    tzr_engine *e = walk.e;
    stack *list = e->header_list;
    const char *source = e->source->str;
    const size_t source_len = e->source->length;
    header *first = nullptr;
    header *last = nullptr;

    while (*index < list->size) {
        token *h = heading_at(e, *index);
        int h_level = tzr_heading_level(h);
        if (h_level < level) {
            (*index)--;
            break;
        }

        DString *title = d_string_new("");
        if (title) {
            toc_heading_text_chain(title, source, h->child, walk.context);
            strip_trailing_blanks(title);
        }
        char *label = tzr_heading_id(walk.context, source, h);
        header *entry = header_new(title ? title->str : "", label, 0, 0);
        d_string_free(title, true);
        free(label);
        if (!entry)
            return first;
        entry->type = h->type;
        entry->start = walk.units.units_before(h->start);
        if (last)
            last->next = entry;
        else
            first = entry;
        last = entry;

        // The entry spans its section: up to the next heading (one byte
        // before it), past any deeper headings it holds.
        auto span_to = [&](size_t end) { return end > h->start + 1 ? end - 1 - h->start : 0; };
        size_t byte_len = source_len > h->start ? source_len - h->start : 0;
        if (*index + 1 < list->size) {
            token *next = heading_at(e, *index + 1);
            byte_len = span_to(next->start);
            if (tzr_heading_level(next) > h_level) {
                (*index)++;
                entry->child = toc_level(walk, index, h_level + 1);
                if (*index + 1 < list->size)
                    byte_len = span_to(heading_at(e, *index + 1)->start);
                else
                    byte_len = source_len > h->start ? source_len - h->start : 0;
            }
        }
        entry->len = walk.units.units_in(h->start, byte_len);
        (*index)++;
    }
    return first;
}

// BibTeX keys: for each entry that starts a line, the bytes from its "{" to
// the "," after it.
void scan_bibtex_keys(const char *text, stack *keys) {
    const char *entry = text[0] == '@' ? text : strstr(text, "\n@");
    while (entry) {
        const char *brace = strchr(entry, '{');
        if (!brace)
            return;
        const char *comma = strchr(brace + 1, ',');
        if (!comma)
            return;
        std::string key(brace + 1, static_cast<size_t>(comma - brace - 1));
        push_copy(keys, key.c_str());
        entry = strstr(comma, "\n@");
    }
}

// A metadata value of the engine's parse, read from the list the parse
// filled; the block is read afresh only for an engine not parsed yet.
const char *meta_value(tzr_engine *e, const char *key) {
    if (!e->root)
        return tzr_engine_metavalue_for_key(e, key);
    char *label = tzr_label_from_text(key);
    const char *value = nullptr;
    for (size_t i = 0; label && e->metadata_list && i < e->metadata_list->size; i++) {
        auto *entry = static_cast<tzr_meta *>(e->metadata_list->element[i]);
        if (entry && entry->key && !strcmp(entry->key, label)) {
            value = entry->value;
            break;
        }
    }
    free(label);
    return value;
}

bool is_local_link(const char *url) {
    return url && *url && url[0] != '#' && !starts_with(url, "http://") &&
           !starts_with(url, "https://") && !starts_with(url, "mailto:");
}

}  // namespace

// --- Records ---------------------------------------------------------------------

header *header_new(const char *title, const char *label, size_t start, size_t len) {
    header *entry = static_cast<header *>(calloc(1, sizeof(header)));
    if (!entry)
        return nullptr;
    entry->title = title ? strdup(title) : nullptr;
    entry->label = label ? strdup(label) : nullptr;
    if ((title && !entry->title) || (label && !entry->label)) {
        free(entry->title);
        free(entry->label);
        free(entry);
        return nullptr;
    }
    entry->start = start;
    entry->len = len;
    return entry;
}

void toc_entry_free(header *entry) {
    // Iterative: a long sibling chain must not become a deep recursion.
    std::vector<header *> pending;
    if (entry)
        pending.push_back(entry);
    while (!pending.empty()) {
        header *h = pending.back();
        pending.pop_back();
        if (h->child)
            pending.push_back(h->child);
        if (h->next)
            pending.push_back(h->next);
        free(h->title);
        free(h->label);
        free(h);
    }
}

void string_stack_free(stack *strings) {
    if (!strings)
        return;
    while (strings->size > 0)
        free(stack_pop(strings));
    stack_free(strings);
}

// --- Table of contents --------------------------------------------------------------

void toc_heading_text(DString *out, const char *source, token *t, tzr_export_context *context) {
    if (!out || !source || !t)
        return;
    switch (t->type) {
    case EMPH_START:
    case EMPH_STOP:
    case STRONG_START:
    case STRONG_STOP:
    case MARKER_BLOCKQUOTE:
    case MARKER_H1:
    case MARKER_H2:
    case MARKER_H3:
    case MARKER_H4:
    case MARKER_H5:
    case MARKER_H6:
    case MARKER_LIST_BULLET:
    case MARKER_LIST_ENUMERATOR:
    case MANUAL_LABEL:
        return;
    case TEXT:
        d_string_append_c_array(out, source + t->start, t->len);
        return;
    default:
        break;
    }
    if (!t->child) {
        d_string_append_c_array(out, source + t->start, t->len);
        return;
    }
    toc_heading_text_chain(out, source, t->child, context);
}

void toc_heading_text_chain(DString *out, const char *source, token *t,
                            tzr_export_context *context) {
    if (!out || !source)
        return;
    if (context) {
        if (context->walk_depth >= kWalkDepthLimit)
            return;
        context->walk_depth++;
    }
    for (; t; t = t->next) {
        if (context && context->skip_count > 0) {
            context->skip_count--;
            continue;
        }
        toc_heading_text(out, source, t, context);
    }
    if (context)
        context->walk_depth--;
}

header *toc_entry(tzr_engine *e, tzr_export_context *context, size_t *index, int level) {
    if (!e || !e->source || !e->header_list || !index)
        return nullptr;
    TocWalk walk{e, context, UnitCounter(e->source->str, e->source->length)};
    return toc_level(walk, index, level);
}

header *tzr_engine_toc_entries(tzr_engine *e) {
    if (!e || !e->source || !e->header_list || e->header_list->size == 0)
        return nullptr;
    tzr_export_context *context = tzr_export_context_new(e, TZR_FORMAT_HTML);
    if (!context)
        return nullptr;
    context->ext_flags &= ~static_cast<uint64_t>(TZR_EXT_SMART);
    size_t index = 0;
    header *root = toc_entry(e, context, &index, 0);
    tzr_export_context_free(context);
    return root;
}

// --- Changes ------------------------------------------------------------------------

stack *tzr_engine_critic_changes(tzr_engine *e) {
    if (!e || !e->source)
        return nullptr;
    stack *changes = stack_new(0);
    if (!changes || !e->critic_list)
        return changes;
    const char *source = e->source->str;
    const size_t length = e->source->length;
    UnitCounter units(source, length);
    for (size_t i = 0; i < e->critic_list->size; i++) {
        auto *t = static_cast<token *>(e->critic_list->element[i]);
        if (!t || t->start > length)
            continue;
        size_t len = t->len > length - t->start ? length - t->start : t->len;
        std::string text(source + t->start, len);
        header *entry = header_new(text.c_str(), nullptr, units.units_before(t->start),
                                   units.units_in(t->start, len));
        if (!entry)
            continue;
        entry->type = t->type;
        stack_push(changes, entry);
    }
    return changes;
}

void critic_change_list_free(stack *changes) {
    if (!changes)
        return;
    while (changes->size > 0)
        toc_entry_free(static_cast<header *>(stack_pop(changes)));
    stack_free(changes);
}

// --- Reference labels -----------------------------------------------------------------

stack *tzr_engine_reference_labels(tzr_engine *e) {
    if (!e || !e->source)
        return nullptr;
    stack *labels = stack_new(0);
    if (!labels)
        return nullptr;
    const char *source = e->source->str;

    for (stack *notes : {e->abbreviation_list, e->citation_list, e->footnote_list,
                         e->glossary_list}) {
        for (size_t i = 0; notes && i < notes->size; i++) {
            auto *note = static_cast<tzr_note *>(notes->element[i]);
            if (!note || !note->label)
                continue;
            consume_pair_marks(note->label);
            char *text = tzr_clean_text_inside_pair(source, note->label, false);
            if (text)
                stack_push(labels, text);
        }
    }

    stack *links = e->link_list;
    bool any = false;
    for (size_t i = 0; links && i < links->size && !any; i++) {
        auto *link = static_cast<tzr_link *>(links->element[i]);
        any = link && link->label && link->label->type == PAIR_BRACKET;
    }
    if (!any)
        return labels;
    tzr_export_context *context = tzr_export_context_new(e, TZR_FORMAT_HTML);
    DString *scratch = d_string_new("");
    for (size_t i = 0; context && scratch && i < links->size; i++) {
        auto *link = static_cast<tzr_link *>(links->element[i]);
        if (!link || !link->label || link->label->type != PAIR_BRACKET)
            continue;
        consume_pair_marks(link->label);
        scratch->length = 0;
        scratch->str[0] = '\0';
        context->skip_count = 0;
        html_export_token_chain(scratch, source, link->label->child, context);
        push_copy(labels, scratch->str);
    }
    d_string_free(scratch, true);
    tzr_export_context_free(context);
    return labels;
}

// --- Local resources ------------------------------------------------------------------

stack *tzr_engine_local_resources(tzr_engine *e, const char *folder, const char *file_path) {
    if (!e || !e->source)
        return nullptr;
    stack *files = stack_new(0);
    if (!files)
        return nullptr;

    const char *css = meta_value(e, "css");
    if (css && *css && !starts_with(css, "http://") && !starts_with(css, "https://"))
        push_copy(files, css);
    const char *bibtex = meta_value(e, "bibtex");
    if (bibtex && *bibtex)
        push_copy(files, bibtex);

    for (size_t i = 0; e->link_list && i < e->link_list->size; i++) {
        auto *link = static_cast<tzr_link *>(e->link_list->element[i]);
        if (link && is_local_link(link->url))
            push_copy(files, link->url);
    }
    for (tzr_asset *asset = e->asset_table; asset; asset = asset->next)
        if (is_local_link(asset->url))
            push_copy(files, asset->url);

    if (folder && file_path) {
        stack *manifest = tzr_engine_transclusion_manifest(e, folder, file_path);
        for (size_t i = 0; manifest && i < manifest->size; i++) {
            auto *path = static_cast<char *>(manifest->element[i]);
            if (path && *path)
                stack_push(files, path);
            else
                free(path);
        }
        if (manifest)
            stack_free(manifest);
    }
    return files;
}

// --- BibTeX keys ------------------------------------------------------------------------

stack *tzr_engine_bibtex_keys(tzr_engine *e, const char *folder) {
    if (!e || !e->source)
        return nullptr;
    stack *keys = stack_new(0);
    if (!keys)
        return nullptr;
    const char *name = meta_value(e, "bibtex");
    if (!name || !*name)
        return keys;
    char *path = path_join(folder, name);
    if (!path)
        return keys;
    // Only regular files are read: a name that points at a folder, a pipe or
    // a device gives no keys instead of a hang.
    DString *text = file_read_to_d_string(path);
    if (!text) {
        std::string with_extension = path;
        with_extension += ".bib";
        text = file_read_to_d_string(with_extension.c_str());
    }
    free(path);
    if (!text)
        return keys;
    scan_bibtex_keys(text->str, keys);
    d_string_free(text, true);
    return keys;
}

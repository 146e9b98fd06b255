#include "library/metadata.h"

#include <cstdio>

#include "library/d_string.h"
#include "library/diagnostics.h"
#include "library/engine.h"
#include "library/records.h"
#include "library/scanners/scanners.h"

namespace {

// The line's bytes without its line-end token.
size_t content_length(const token *line) {
    size_t len = line->len;
    const token *last = line->child ? line->child->tail : nullptr;
    if (last && (last->type == NEWLINE || last->type == HARD_BREAK) &&
        last->start + last->len == line->start + line->len && last->len <= len)
        len -= last->len;
    return len;
}

void append_continuation(DString *value, const char *source, size_t start, size_t len) {
    d_string_append_c(value, '\n');
    d_string_append_c_array(value, source + start, len);
}

// Starts a new entry at a key line; false when the line holds no key.
bool read_key_line(tzr_engine *e, const token *line, const char *source, DString *value,
                   tzr_meta **pending) {
    size_t len = content_length(line);
    size_t key_len = scan_meta_key(source + line->start);
    if (key_len == 0 || key_len >= len || source[line->start + key_len] != ':')
        return false;
    tzr_meta *entry = tzr_meta_new(source, line->start, key_len);
    if (!entry)
        return false;
    if (*pending)
        tzr_meta_set_value(*pending, value->str);
    d_string_erase(value, 0, value->length);
    size_t value_start = key_len + 1;  // after the key and its colon
    d_string_append_c_array(value, source + line->start + value_start, len - value_start);
    stack_push(e->metadata_list, entry);
    *pending = entry;
    return true;
}

}  // namespace

bool tzr_meta_line_is_read(unsigned short type) {
    switch (type) {
    case LINE_META:
    case LINE_TABLE:
    case LINE_PLAIN:
    case LINE_TABLE_SEPARATOR:
    case LINE_INDENTED_TAB:
    case LINE_INDENTED_SPACE:
        return true;
    default:
        return false;
    }
}

void tzr_parse_metadata_block(tzr_engine *e, token *block) {
    if (!e || !block || !e->source || !e->metadata_list)
        return;
    const char *source = e->source->str;
    DString *value = d_string_new("");
    if (!value)
        return;
    tzr_meta *pending = nullptr;

    for (token *line = block->child; line; line = line->next) {
        switch (line->type) {
        case LINE_META_START:
        case LINE_SETEXT_2:
            break;
        case LINE_META:
            if (!read_key_line(e, line, source, value, &pending))
                append_continuation(value, source, line->start, content_length(line));
            break;
        case LINE_TABLE:
            // A key line whose value holds a vertical bar is typed as a table.
            if (scan_meta_line(source + line->start) &&
                read_key_line(e, line, source, value, &pending))
                break;
            append_continuation(value, source, line->start, content_length(line));
            break;
        case LINE_PLAIN:
        case LINE_TABLE_SEPARATOR:
            // A separator-shaped line ('---|---') continues a value like any
            // other text; dropping it would lose part of the value.
            append_continuation(value, source, line->start, content_length(line));
            break;
        case LINE_INDENTED_TAB:
        case LINE_INDENTED_SPACE: {
            size_t start = line->start;
            size_t len = content_length(line);
            while (len > 0 && (source[start] == ' ' || source[start] == '\t')) {
                start++;
                len--;
            }
            append_continuation(value, source, start, len);
            break;
        }
        default:
            tzr_log("ERROR!\n");
            token_tree_describe(line, source);
            break;
        }
    }
    if (pending)
        tzr_meta_set_value(pending, value->str);
    d_string_free(value, true);
}

void tzr_metadata_describe(const tzr_engine *e) {
    if (!e || !e->metadata_list)
        return;
    for (size_t i = 0; i < e->metadata_list->size; i++) {
        const tzr_meta *m = static_cast<const tzr_meta *>(e->metadata_list->element[i]);
        fprintf(stderr, "'%s': '%s'\n", m->key, m->value ? m->value : "");
    }
}

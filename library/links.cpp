#include "library/links.h"

#include <cstdlib>
#include <cstring>

#include "library/labels.h"
#include "library/scanners/scanners.h"
#include "library/tzr.h"

namespace {

// Moves `pos` over spaces and tabs, never to or past `limit`.
size_t skip_blanks(const char *source, size_t pos, size_t limit) {
    while (pos < limit && (source[pos] == ' ' || source[pos] == '\t'))
        pos++;
    return pos;
}

// The clean form of a destination, angle brackets dropped.
char *clean_destination(const char *d, size_t n) {
    if (n >= 2 && d[0] == '<' && d[n - 1] == '>') {
        d++;
        n -= 2;
    }
    return tzr_clean_string_range(d, 0, n, false);
}

char *validated(char *url, bool validate) {
    if (url && validate && !tzr_url_is_complete(url)) {
        free(url);
        return nullptr;
    }
    return url;
}

}  // namespace

tzr_attribute *tzr_parse_attributes(const char *text) {
    if (!text || !*text)
        return nullptr;
    tzr_attribute *head = nullptr;
    tzr_attribute **tail = &head;
    const char *pos = text;
    while (scan_attribute(pos)) {
        pos += scan_attribute_space(pos);
        size_t key_len = scan_attribute_key(pos);
        if (key_len == 0 || pos[key_len] != '=')
            break;
        char *key = tzr_copy_bytes(pos, key_len);
        if (!key)
            break;
        pos += key_len + 1;  // the key and its "="
        size_t value_len = scan_attribute_value(pos);
        char *value = tzr_copy_bytes(pos, value_len);
        tzr_attribute *a = value ? tzr_attribute_new(key, value) : nullptr;
        if (!value)
            free(key);
        free(value);
        if (!a)
            break;
        *tail = a;
        tail = &a->next;
        pos += value_len;
    }
    return head;
}

tzr_link *tzr_link_new(const char *source, token *label, const char *url, const char *title,
                       const char *attributes, uint16_t origin) {
    // Not calloc, which the C library serves by a slower path (80
    // instructions more, counted): a page makes a record for each link.
    tzr_link *l = static_cast<tzr_link *>(malloc(sizeof(tzr_link)));
    if (!l)
        return nullptr;
    *l = tzr_link{};
    l->label = label;
    if (label && source) {
        l->clean_text = tzr_clean_text_inside_pair(source, label, true);
        l->label_text = tzr_label_from_token(source, label);
    }
    l->url = tzr_clean_string(url, false);
    l->title = title ? strdup(title) : nullptr;
    l->attributes = tzr_parse_attributes(attributes);
    l->origin = origin;
    return l;
}

void tzr_inline_link_parts(const token *paren, const char *source, char **url, char **title,
                           char **attributes) {
    if (!paren || !source || !paren->child || !paren->child->next || paren->len == 0)
        return;
    // Nothing is read at or past the closing parenthesis.
    size_t limit = paren->start + paren->len - 1;
    size_t pos = skip_blanks(source, paren->child->next->start, limit);

    size_t dest_len = pos < limit ? scan_link_destination(source + pos) : 0;
    if (dest_len > 0) {
        if (pos + dest_len > limit)
            dest_len = limit - pos;
        if (url)
            *url = clean_destination(source + pos, dest_len);
        pos += dest_len;
    }

    pos = skip_blanks(source, pos, limit);
    size_t title_len = pos < limit ? scan_link_title(source + pos) : 0;
    if (title_len >= 2 && pos + title_len <= limit) {
        if (title)
            *title = tzr_copy_bytes(source + pos + 1, title_len - 2);
        pos += title_len;
    }

    pos = skip_blanks(source, pos, limit);
    size_t attr_len = pos < limit ? scan_attributes(source + pos) : 0;
    if (attr_len > 0 && pos + attr_len <= limit && attributes)
        *attributes = tzr_copy_bytes(source + pos, attr_len);
}

tzr_link *tzr_link_from_inline(const tzr_export_context *context, const token *paren,
                               const char *source) {
    if (!paren || !source)
        return nullptr;
    char *url = nullptr, *title = nullptr, *attributes = nullptr;
    tzr_inline_link_parts(paren, source, &url, &title, &attributes);
    tzr_link *l = nullptr;
    bool compatibility = context && (context->ext_flags & TZR_EXT_COMPATIBILITY);
    if (!(attributes && compatibility)) {
        // The URL part is already in clean form.
        l = tzr_link_new(nullptr, nullptr, nullptr, title, attributes, TZR_LINK_INLINE);
        if (l) {
            l->url = url;
            url = nullptr;
        }
    }
    free(url);
    free(title);
    free(attributes);
    return l;
}

bool tzr_url_is_complete(const char *text) {
    if (!text || !*text)
        return false;
    return scan_url(text) == strlen(text);
}

char *tzr_url_from_range(const char *source, size_t start, size_t max_len, size_t *end,
                         bool validate) {
    if (!source)
        return nullptr;
    size_t len = scan_link_destination(source + start);
    if (len == 0)
        return nullptr;
    if (len > max_len)
        len = max_len;
    if (end)
        *end = start + len;
    return validated(clean_destination(source + start, len), validate);
}

char *tzr_url_from_token(const char *source, token **cursor, bool validate) {
    if (!source || !cursor || !*cursor)
        return nullptr;
    token *t = *cursor;
    char *text = nullptr;
    switch (t->type) {
    case PAIR_ANGLE:
    case PAIR_PAREN:
        *cursor = t->next;
        text = tzr_text_inside_pair(source, t);
        break;
    case PAIR_QUOTE_SINGLE:
    case PAIR_QUOTE_DOUBLE:
        return nullptr;
    default: {
        size_t pos = t->start;
        while (source[pos] == ' ' || source[pos] == '\t')
            pos++;
        size_t dest_end = pos + scan_link_destination(source + pos);
        // The token the destination ended in, and the first one after it.
        token *ended_in = t;
        token *after = t;
        while (after && after->start < dest_end) {
            ended_in = after;
            after = after->next;
        }
        if (ended_in->type == TEXT && dest_end > pos) {
            token_trim_left_whitespace(ended_in, source);
            token_split_on_char(ended_in, source, ' ');
            after = ended_in->next;
        }
        *cursor = after;
        if (dest_end == pos)
            return nullptr;
        text = tzr_copy_bytes(source + pos, dest_end - pos);
        break;
    }
    }
    if (!text)
        return nullptr;
    char *url = tzr_clean_string(text, false);
    free(text);
    return validated(url, validate);
}

#include "library/records.h"

#include <cstdlib>
#include <cstring>

#include "library/labels.h"

tzr_note *tzr_note_new(const char *source, token *label, token *content, bool lower) {
    tzr_note *note = static_cast<tzr_note *>(calloc(1, sizeof(tzr_note)));
    if (!note)
        return nullptr;
    note->label = label;
    note->number = -1;
    if (label && source) {
        note->clean_text = tzr_clean_text_inside_pair(source, label, lower);
        note->label_text = tzr_label_from_token(source, label);
    }
    if (content && content->type != BLOCK_PARA) {
        if (content->type == TEXT && source)
            token_trim_left_whitespace(content, source);
        token *wrapper = token_new_parent(content, BLOCK_PARA);
        if (!wrapper) {
            tzr_note_free(note);
            return nullptr;
        }
        content = wrapper;
        note->owns_content = 1;
    }
    note->content = content;
    return note;
}

void tzr_note_free(tzr_note *note) {
    if (!note)
        return;
    // The wrapper's children are the document's; only the wrapper goes.
    if (note->owns_content) {
        note->content->child = nullptr;
        token_free(note->content);
    }
    free(note->clean_text);
    free(note->label_text);
    free(note);
}

tzr_attribute *tzr_attribute_new(char *key, const char *value) {
    tzr_attribute *a = static_cast<tzr_attribute *>(calloc(1, sizeof(tzr_attribute)));
    if (!a) {
        free(key);
        return nullptr;
    }
    const char *v = value ? value : "";
    size_t len = strlen(v);
    if (len > 0 && v[0] == '"') {
        v++;
        len--;
    }
    if (len > 0 && v[len - 1] == '"')
        len--;
    a->value = static_cast<char *>(malloc(len + 1));
    if (!a->value) {
        free(key);
        free(a);
        return nullptr;
    }
    memcpy(a->value, v, len);
    a->value[len] = '\0';
    a->key = key;
    return a;
}

void tzr_attribute_list_free(tzr_attribute *list) {
    while (list) {
        tzr_attribute *next = list->next;
        free(list->key);
        free(list->value);
        free(list);
        list = next;
    }
}

tzr_link *tzr_link_copy(const tzr_link *link) {
    if (!link)
        return nullptr;
    tzr_link *copy = static_cast<tzr_link *>(malloc(sizeof(tzr_link)));
    if (copy)
        *copy = *link;
    return copy;
}

void tzr_link_free(tzr_link *link) {
    if (!link)
        return;
    free(link->label_text);
    free(link->clean_text);
    free(link->url);
    free(link->title);
    tzr_attribute_list_free(link->attributes);
    free(link);
}

tzr_meta *tzr_meta_new(const char *source, size_t start, size_t len) {
    if (!source)
        return nullptr;
    tzr_meta *m = static_cast<tzr_meta *>(calloc(1, sizeof(tzr_meta)));
    if (!m)
        return nullptr;
    m->key = tzr_label_from_range(source + start, len);
    if (!m->key) {
        free(m);
        return nullptr;
    }
    m->start = start;
    return m;
}

void tzr_meta_set_value(tzr_meta *entry, const char *text) {
    if (!entry || !text)
        return;
    free(entry->value);
    entry->value = tzr_clean_string(text, false);
}

void tzr_meta_free(tzr_meta *entry) {
    if (!entry)
        return;
    free(entry->key);
    free(entry->value);
    free(entry);
}

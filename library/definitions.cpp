#include "library/definitions.h"

#include <cstdlib>
#include <cstring>

#include "library/diagnostics.h"
#include "library/engine.h"
#include "library/labels.h"
#include "library/links.h"
#include "library/pairing.h"
#include "library/records.h"
#include "library/scanners/scanners.h"
#include "library/token_types.h"
#include "library/tzr.h"

namespace {

const char *source_of(const tzr_engine *e) {
    return e && e->source ? e->source->str : nullptr;
}

bool is_whitespace_token(const token *t) {
    return t && (t->type == INDENT_TAB || t->type == INDENT_SPACE || t->type == NON_INDENT_SPACE);
}

bool is_line_end(const token *t) { return t && (t->type == NEWLINE || t->type == HARD_BREAK); }

void skip_whitespace(token **cursor) {
    while (token_chain_accept_multiple(cursor, 3, NON_INDENT_SPACE, INDENT_SPACE, INDENT_TAB)) {
    }
}

bool is_quote_pair(const token *t) {
    return t && (t->type == PAIR_QUOTE_DOUBLE || t->type == PAIR_QUOTE_SINGLE);
}

// Drops `count` leading bytes and then any spaces and tabs from a string
// that the caller owns, in place.
void drop_front(char *text, size_t count, bool blanks) {
    if (!text)
        return;
    size_t len = strlen(text);
    size_t cut = count < len ? count : len;
    if (blanks) {
        while (text[cut] == ' ' || text[cut] == '\t')
            cut++;
    }
    memmove(text, text + cut, len - cut + 1);
}

void push(stack *list, void *record) {
    if (list && record)
        stack_push(list, record);
}

// The abbreviation itself becomes the label text and the expansion (the
// rest of the definition) the clean text.
void finish_abbreviation(const char *source, tzr_note *note, const token *block) {
    drop_front(note->clean_text, 1, true);
    free(note->label_text);
    note->label_text = note->clean_text;
    note->clean_text = nullptr;
    const token *body = note->content ? note->content->child : nullptr;
    const token *third = body && body->next ? body->next->next : nullptr;
    if (!third)
        return;
    size_t end = block->start + block->len;
    if (third->start >= end)
        return;
    note->clean_text = tzr_clean_string_range(source, third->start, end - third->start, false);
}

// Takes `label`, made from `label_token` as tzr_label_from_token makes it:
// the link keeps it as its label text rather than making it again, which
// for a long heading is a pass over the whole line.
void add_link_label(tzr_engine *e, token *label_token, char *label) {
    if (!label)
        return;
    // A label holds no blank, so "#" and the label is already the clean
    // form a destination is stored in.
    size_t len = strlen(label);
    char *url = static_cast<char *>(malloc(len + 2));
    tzr_link *link = url ? tzr_link_new(nullptr, nullptr, nullptr, nullptr, nullptr, TZR_LINK_HEADING_LABEL)
                         : nullptr;
    if (!link) {
        free(url);
        free(label);
        return;
    }
    url[0] = '#';
    memcpy(url + 1, label, len + 1);
    link->url = url;
    link->label = label_token;
    // A link is found by its clean text only through the text inside a
    // bracket, never longer than the longest bracket the parse paired: the
    // clean text of a longer heading (a whole long line) could name nothing,
    // and is not made.
    link->clean_text =
        tzr_clean_text_inside_pair_within(source_of(e), label_token, true, e->longest_bracket);
    link->label_text = label;
    push(e->link_list, link);
}

// The caption bracket of the paragraph after a table, or NULL when that
// paragraph is no caption.
const token *caption_bracket(const token *table) {
    if (!table)
        return nullptr;
    const token *para = table->next;
    if (!para || para->type != BLOCK_PARA)
        return nullptr;
    const token *b1 = para->child;
    if (!b1 || b1->type != PAIR_BRACKET)
        return nullptr;
    const token *x = b1->next;
    const token *y = x ? x->next : nullptr;
    if (y) {
        const token *end = y->type == PAIR_BRACKET ? y->next : y;
        if (!is_line_end(end) || end->next)
            return nullptr;
    }
    return b1;
}

}  // namespace

void tzr_trim_definition_start(token *t, const char *source) {
    for (; t; t = t->next) {
        if (is_whitespace_token(t))
            t->type = CONSUMED;
        if (t->type == CONSUMED)
            continue;
        if (t->type == TEXT && source)
            token_trim_left_whitespace(t, source);
        return;
    }
}

void tzr_process_definition_block(tzr_engine *e, token *block) {
    if (!e || !block)
        return;
    const char *source = source_of(e);
    token *first = block->child;
    token *label = first && first->type == BLOCK_PARA ? first->child : first;
    token *content = first;

    tzr_note *note = nullptr;
    switch (block->type) {
    case BLOCK_DEF_ABBREVIATION:
        note = tzr_note_new(source, label, content, false);
        if (note) {
            finish_abbreviation(source, note, block);
            push(e->abbreviation_list, note);
        }
        break;
    case BLOCK_DEF_CITATION:
        note = tzr_note_new(source, label, content, true);
        push(e->citation_list, note);
        break;
    case BLOCK_DEF_GLOSSARY:
        note = tzr_note_new(source, label, content, false);
        if (note) {
            drop_front(note->clean_text, 1, false);
            push(e->glossary_list, note);
        }
        break;
    case BLOCK_DEF_FOOTNOTE:
        note = tzr_note_new(source, label, content, true);
        push(e->footnote_list, note);
        break;
    case BLOCK_DEF_LINK: {
        token *cursor = label;
        tzr_process_link_definition(e, &cursor);
        block->type = BLOCK_EMPTY;
        return;
    }
    default:
        tzr_log("process %d\n", block->type);
        block->type = BLOCK_EMPTY;
        return;
    }

    if (label) {
        label->type = CONSUMED;
        token *colon = label->next;
        if (colon) {
            colon->type = CONSUMED;
            tzr_trim_definition_start(colon->next, source);
        }
    }
    block->type = BLOCK_EMPTY;
}

void tzr_process_definitions(tzr_engine *e) {
    if (!e || !e->definition_list)
        return;
    for (size_t i = 0; i < e->definition_list->size; i++)
        tzr_process_definition_block(e, static_cast<token *>(e->definition_list->element[i]));
}

bool tzr_process_link_definition(tzr_engine *e, token **cursor) {
    if (!e || !cursor || !*cursor)
        return false;
    const char *source = source_of(e);
    token *bracket = *cursor;
    *cursor = bracket->next;

    bool notes = e->extensions & TZR_EXT_NOTES;
    bool note_bracket = bracket->type == PAIR_BRACKET_FOOTNOTE ||
                        bracket->type == PAIR_BRACKET_GLOSSARY ||
                        bracket->type == PAIR_BRACKET_CITATION;
    char *url = nullptr;
    char *title = nullptr;
    char *attributes = nullptr;

    if (note_bracket && notes) {
        if (!*cursor || (*cursor)->type != COLON)
            return false;
        *cursor = (*cursor)->next;
        bool glossary = bracket->type == PAIR_BRACKET_GLOSSARY;
        tzr_note *note = tzr_note_new(source, bracket, *cursor, !glossary);
        stack *list = bracket->type == PAIR_BRACKET_FOOTNOTE ? e->footnote_list
                      : glossary                             ? e->glossary_list
                                                             : e->citation_list;
        push(list, note);
    } else if (bracket->type == PAIR_BRACKET_VARIABLE) {
        tzr_log("Process variable:\n");
        token_tree_describe(bracket, source);
    } else {
        if (bracket->type != PAIR_BRACKET && !note_bracket)
            return false;
        if (!*cursor || (*cursor)->type != COLON)
            return false;
        *cursor = (*cursor)->next;

        skip_whitespace(cursor);
        url = tzr_url_from_token(source, cursor, false);
        skip_whitespace(cursor);
        token *after_url = *cursor;

        token *quote = nullptr;
        if (is_quote_pair(*cursor)) {
            quote = *cursor;
        } else {
            skip_whitespace(cursor);
            token_chain_accept_multiple(cursor, 2, NEWLINE, HARD_BREAK);
            skip_whitespace(cursor);
            if (is_quote_pair(*cursor))
                quote = *cursor;
            else
                *cursor = after_url;
        }
        if (quote) {
            title = tzr_text_inside_pair(source, quote);
            *cursor = quote->next;
        }

        bool make = true;
        if (*cursor && !is_line_end(*cursor)) {
            if (e->extensions & TZR_EXT_COMPATIBILITY) {
                make = false;
            } else if (source) {
                size_t start = (*cursor)->start;
                size_t n = scan_attributes(source + start);
                if (n > 0) {
                    attributes = strndup(source + start, n);
                    while (*cursor && (*cursor)->start < start + n)
                        *cursor = (*cursor)->next;
                }
            }
        }
        if (make)
            push(e->link_list, tzr_link_new(source, bracket, url, title, attributes,
                                            TZR_LINK_REFERENCE));
    }

    token_skip_until_type_multiple(cursor, 2, NEWLINE, HARD_BREAK);
    if (*cursor)
        *cursor = (*cursor)->next;
    free(url);
    free(title);
    free(attributes);
    return true;
}

void tzr_process_header_label(tzr_engine *e, token *heading) {
    const char *source = source_of(e);
    if (!source || !heading)
        return;
    token *manual = tzr_header_manual_label(heading, source);
    char *label = tzr_label_from_token(source, manual ? manual : heading);
    add_link_label(e, manual ? manual : heading, label);
}

void tzr_process_header_labels(tzr_engine *e) {
    if (!e || !e->header_list || (e->extensions & TZR_EXT_NO_LABELS))
        return;
    for (size_t i = 0; i < e->header_list->size; i++)
        tzr_process_header_label(e, static_cast<token *>(e->header_list->element[i]));
}

void tzr_process_table_label(tzr_engine *e, token *table) {
    const char *source = source_of(e);
    const token *b1 = caption_bracket(table);
    if (!source || !b1)
        return;
    token *from = b1->next && b1->next->type == PAIR_BRACKET ? b1->next : const_cast<token *>(b1);
    char *label = tzr_label_from_token(source, from);
    add_link_label(e, from, label);
}

void tzr_process_table_labels(tzr_engine *e) {
    if (!e || !e->table_list)
        return;
    for (size_t i = 0; i < e->table_list->size; i++)
        tzr_process_table_label(e, static_cast<token *>(e->table_list->element[i]));
}

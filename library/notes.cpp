#include "library/notes.h"

#include <cstdlib>
#include <cstring>

#include "library/labels.h"
#include "library/links.h"
#include "library/scanners/scanners.h"
#include "library/tzr.h"

namespace {

bool is_note_bracket(uint16_t type) {
    return (type >= PAIR_BRACKET && type <= PAIR_BRACKET_CITATION) || type == PAIR_BRACKET_VARIABLE;
}

// The closing mark of a pair: the mate of its opening mark, else its last child.
token *closing_mark(const token *pair) {
    if (!pair || !pair->child)
        return nullptr;
    if (pair->child->mate)
        return pair->child->mate;
    token *last = pair->child;
    while (last->next)
        last = last->next;
    return last == pair->child ? nullptr : last;
}

void consume_marks(token *pair) {
    if (!pair || !pair->child)
        return;
    token *close = closing_mark(pair);
    pair->child->type = CONSUMED;
    if (close)
        close->type = CONSUMED;
}

void use_note(stack *used, tzr_note *note) {
    if (!used || !note || note->number > 0)
        return;
    stack_push(used, note);
    note->number = (int64_t)used->size;
}

int64_t number_by_text(tzr_store<tzr_note> &store, stack *used, const char *text, bool lower) {
    if (!text)
        return -1;
    char *key = tzr_clean_string(text, lower);
    tzr_note *note = store.find(key);
    free(key);
    if (!note) {
        key = tzr_label_from_text(text);
        note = key ? store.find(key) : nullptr;
        free(key);
    }
    if (!note)
        return -1;
    use_note(used, note);
    return note->number;
}

uint16_t as_number(int64_t n) { return n < 0 ? TZR_NO_NOTE : (uint16_t)n; }

// Puts a note made here on the used and inline lists and returns its number.
uint16_t add_inline(stack *used, stack *made, tzr_note *note) {
    if (!note || !used || !made) {
        tzr_note_free(note);
        return TZR_NO_NOTE;
    }
    stack_push(made, note);
    use_note(used, note);
    return as_number(note->number);
}

// Makes a note whose content chain starts at `content`. Wrapping a chain
// would cut it from the token before it; that link is put back.
tzr_note *note_over_chain(const char *source, token *label, token *content, bool lower) {
    token *before = content ? content->prev : nullptr;
    tzr_note *note = tzr_note_new(source, label, content, lower);
    if (content)
        content->prev = before;
    return note;
}

// The text a glossary or abbreviation bracket is looked up by: inside the
// marks less the mark's second character, or a bare term's whole text.
char *term_text(const char *source, const token *bracket) {
    if (!bracket->child)
        return strndup(source + bracket->start, bracket->len);
    char *inside = tzr_text_inside_pair(source, bracket);
    if (inside && *inside)
        memmove(inside, inside + 1, strlen(inside));
    return inside;
}

token *paren_child(const token *bracket) {
    for (token *t = bracket->child; t; t = t->next)
        if (t->type == PAIR_PAREN)
            return t;
    return nullptr;
}

// The link named by the text inside `pair`; when that text is empty and
// `or_pair` is given, by the text inside `or_pair`.
tzr_link *find_link_inside(const char *source, const tzr_export_context *context, const token *pair,
                           const token *or_pair) {
    size_t start, len;
    bool has_text = tzr_inside_pair_range(pair, &start, &len) && len > 0 && source[start] != '\0';
    if (!has_text)
        return or_pair ? find_link_inside(source, context, or_pair, nullptr) : nullptr;
    return tzr_find_link_range(context, source + start, len);
}

}  // namespace

void tzr_link_from_bracket(const char *source, tzr_export_context *context, token *bracket,
                           tzr_link **link, uint16_t *skip, bool *made) {
    if (link)
        *link = nullptr;
    if (skip)
        *skip = 0;
    if (made)
        *made = false;
    if (!source || !context || !bracket || !link || !skip || !made)
        return;
    token *next = bracket->next;
    tzr_link *found = nullptr;
    uint16_t count = 0;

    if (next && next->type == PAIR_PAREN) {
        if (tzr_link *inline_link = tzr_link_from_inline(context, next, source)) {
            consume_marks(bracket);
            *link = inline_link;
            *skip = 1;
            *made = true;
            return;
        }
    } else if (next && next->type == PAIR_BRACKET) {
        // A full reference is found by its second bracket, a collapsed one
        // ("[text][]") by its first.
        found = find_link_inside(source, context, next, bracket);
        if (!found)
            return;
        count = 1;
    }
    if (!found) {
        for (const token *c = bracket->child; c; c = c->next)
            if (is_note_bracket(c->type))
                return;
        found = find_link_inside(source, context, bracket, nullptr);
        if (!found)
            return;
    }
    consume_marks(bracket);
    *link = found;
    *skip = count;
}

int64_t tzr_footnote_number_by_text(tzr_export_context *context, const char *text) {
    return context ? number_by_text(context->footnote_store, context->footnotes_used, text, true) : -1;
}

int64_t tzr_citation_number_by_text(tzr_export_context *context, const char *text) {
    return context ? number_by_text(context->citation_store, context->citations_used, text, true) : -1;
}

int64_t tzr_glossary_number_by_text(tzr_export_context *context, const char *text) {
    return context ? number_by_text(context->glossary_store, context->glossary_used, text, false) : -1;
}

int64_t tzr_abbreviation_number_by_text(tzr_export_context *context, const char *text) {
    return context ? number_by_text(context->abbreviation_store, context->abbreviations_used, text, false)
                   : -1;
}

void tzr_note_use_footnote(tzr_export_context *context, tzr_note *note) {
    if (context)
        use_note(context->footnotes_used, note);
}

void tzr_note_use_citation(tzr_export_context *context, tzr_note *note) {
    if (context)
        use_note(context->citations_used, note);
}

void tzr_note_use_glossary(tzr_export_context *context, tzr_note *note) {
    if (context)
        use_note(context->glossary_used, note);
}

void tzr_note_use_abbreviation(tzr_export_context *context, tzr_note *note) {
    if (context)
        use_note(context->abbreviations_used, note);
}

namespace {

// What the four bracket readers share: `*number` cleared, then the bracket's
// text looked up among the notes already numbered. True when nothing is left
// to do (an argument missing, or a known note's number stored); false, with
// the bracket's marks consumed, when the bracket defines an inline note.
bool known_note(const char *source, tzr_export_context *context, token *bracket, uint16_t *number,
                char *(*text_of)(const char *, const token *),
                int64_t (*number_by_text)(tzr_export_context *, const char *)) {
    if (!number)
        return true;
    *number = TZR_NO_NOTE;
    if (!source || !context || !bracket)
        return true;
    char *text = text_of(source, bracket);
    int64_t n = number_by_text(context, text);
    free(text);
    if (n >= 0) {
        *number = as_number(n);
        return true;
    }
    consume_marks(bracket);
    return false;
}

}  // namespace

void tzr_footnote_from_bracket(const char *source, tzr_export_context *context, token *bracket,
                               uint16_t *number) {
    if (known_note(source, context, bracket, number, tzr_text_inside_pair, tzr_footnote_number_by_text))
        return;
    // The bracket's own children, marks now silent, are the note's paragraph.
    tzr_note *note = note_over_chain(source, nullptr, bracket->child, true);
    *number = add_inline(context->footnotes_used, context->footnotes_inline, note);
}

void tzr_citation_from_bracket(const char *source, tzr_export_context *context, token *bracket,
                               uint16_t *number) {
    if (known_note(source, context, bracket, number, tzr_text_inside_pair, tzr_citation_number_by_text))
        return;
    if (context->bibtex_name)
        return;
    tzr_note *note = note_over_chain(source, bracket, bracket->child, true);
    *number = add_inline(context->citations_used, context->citations_inline, note);
}

void tzr_glossary_from_bracket(const char *source, tzr_export_context *context, token *bracket,
                               uint16_t *number) {
    if (known_note(source, context, bracket, number, term_text, tzr_glossary_number_by_text))
        return;
    token *paren = paren_child(bracket);
    if (!paren)
        return;
    tzr_note *note = note_over_chain(source, paren, paren->next, false);
    *number = add_inline(context->glossary_used, context->glossary_inline, note);
}

void tzr_abbreviation_from_bracket(const char *source, tzr_export_context *context, token *bracket,
                                   uint16_t *number) {
    if (known_note(source, context, bracket, number, term_text, tzr_abbreviation_number_by_text))
        return;
    token *paren = paren_child(bracket);
    if (!paren)
        return;
    tzr_note *note = note_over_chain(source, paren, paren->next, false);
    if (!note)
        return;
    // The abbreviation is the text in parentheses; the expansion runs from
    // the token after them to the bracket's closing mark.
    free(note->label_text);
    note->label_text = note->clean_text;
    note->clean_text = nullptr;
    token *close = closing_mark(bracket);
    if (paren->next && close && close->start >= paren->next->start)
        note->clean_text =
            tzr_clean_string_range(source, paren->next->start, close->start - paren->next->start, false);
    *number = add_inline(context->abbreviations_used, context->abbreviations_inline, note);
}

void tzr_table_read_alignment(const char *source, token *table, tzr_export_context *context) {
    if (!context)
        return;
    context->table_columns = 0;
    context->column_alignment.clear();
    if (!source || !table || !table->child || !table->child->child)
        return;
    token *row = table->child->child;
    while (row->next)
        row = row->next;
    row->type = CONSUMED;
    for (token *cell = row->child; cell; cell = cell->next) {
        if (cell->type != TABLE_CELL)
            continue;
        char letter;
        switch (scan_table_alignment(source + cell->start)) {
        case 1: letter = 'l'; break;
        case 2: letter = 'r'; break;
        case 4: letter = 'c'; break;
        case 8: letter = 'N'; break;
        case 9: letter = 'L'; break;
        case 10: letter = 'R'; break;
        case 12: letter = 'C'; break;
        default: letter = 'n'; break;
        }
        context->column_alignment.push_back(letter);
    }
    context->table_columns = (int32_t)context->column_alignment.size();
}

bool tzr_table_has_caption(const token *table) {
    if (!table)
        return false;
    const token *para = table->next;
    if (!para || para->type != BLOCK_PARA || !para->child || para->child->type != PAIR_BRACKET)
        return false;
    const token *x = para->child->next;
    const token *y = x ? x->next : nullptr;
    if (!y)
        return true;
    const token *end = y->type == PAIR_BRACKET ? y->next : y;
    return end && (end->type == NEWLINE || end->type == HARD_BREAK) && !end->next;
}

char *tzr_fence_language(const token *fence, const char *source) {
    if (!fence || !source)
        return nullptr;
    const char *p = source + fence->start + fence->len;
    while (*p == ' ' || *p == '\t')
        p++;
    size_t n = strcspn(p, " \t\n\r");
    return n ? strndup(p, n) : nullptr;
}

int tzr_heading_level(const token *t) {
    if (!t)
        return 0;
    if (t->type >= BLOCK_H1 && t->type <= BLOCK_H6)
        return t->type - BLOCK_H1 + 1;
    if (t->type == BLOCK_SETEXT_1)
        return 1;
    if (t->type == BLOCK_SETEXT_2)
        return 2;
    return 0;
}

void tzr_asset_store(tzr_export_context *context, const char *url) {
    if (context && url)
        tzr_asset_table_add(&context->asset_table, url);
}

tzr_asset *tzr_asset_find(const tzr_export_context *context, const char *url) {
    return context ? tzr_asset_table_find(context->asset_table, url) : nullptr;
}

bool tzr_raw_filter_matches(const char *filter, int16_t format) {
    if (!filter)
        return false;
    if (!strcmp(filter, "*") || !strcmp(filter, "{=*}"))
        return true;
    const char *name = nullptr;
    switch (format) {
    case TZR_FORMAT_HTML: name = "html"; break;
    case TZR_FORMAT_EPUB: name = "epub"; break;
    case TZR_FORMAT_LATEX:
    case TZR_FORMAT_BEAMER:
    case TZR_FORMAT_MEMOIR: name = "latex"; break;
    case TZR_FORMAT_FODT:
    case TZR_FORMAT_ODT: name = "odt"; break;
    default: return false;
    }
    return strstr(filter, name) != nullptr;
}

bool tzr_raw_block_matches_format(const token *t, const char *source, int16_t format) {
    if (!t || !source || t->type != PAIR_RAW_FILTER || !t->child)
        return false;
    const token *close = closing_mark(t);
    size_t begin = t->child->start + 2;
    if (!close || close->start < begin)
        return false;
    char *filter = strndup(source + begin, close->start - begin);
    bool matches = tzr_raw_filter_matches(filter, format);
    free(filter);
    return matches;
}

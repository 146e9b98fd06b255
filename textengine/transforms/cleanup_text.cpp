// Clean-up text rewrites: paragraphs joined, metadata and tables aligned,
// typographic entities and characters made ASCII.
#include <cstdlib>
#include <cstring>
#include <string>

#include "textengine/transforms/cleanup.h"
#include "library/scanners/scanners.h"

namespace {

constexpr int kMaxDepth = 1000;

long replace_all(DString *d, const char *from, const char *to) {
    return d_string_replace_text_in_range(d, 0, (size_t)-1, from, to);
}

void shorten_space_runs(DString *d, std::initializer_list<const char *> runs) {
    for (const char *run : runs)
        replace_all(d, run, " ");
}

// Line ends are worked on as "\n"; a text that used "\r\n" gets them back.
bool to_line_feeds(DString *d) {
    bool crlf = strstr(d->str, "\r\n") != nullptr;
    if (crlf)
        replace_all(d, "\r\n", "\n");
    return crlf;
}
void from_line_feeds(DString *d, bool crlf) {
    if (crlf)
        replace_all(d, "\n", "\r\n");
}

// Puts `text` in place of `length` bytes at `at` of the source and moves the
// running change.
void put_back(DString *source, size_t at, size_t length, const DString *text, long *change) {
    d_string_erase(source, at, length);
    d_string_insert(source, at, text->str);
    *change += (long)text->length - (long)length;
}

// A copy of a block's bytes as they now stand; NULL when they are not all
// in the text.
DString *copy_block(DString *source, const token *t, long change, size_t *at) {
    long start = (long)t->start + change;
    if (start < 0 || (size_t)start > source->length || t->len > source->length - (size_t)start)
        return nullptr;
    *at = (size_t)start;
    char *bytes = d_string_copy_substring(source, (size_t)start, t->len);
    DString *d = d_string_new(bytes ? bytes : "");
    free(bytes);
    return d;
}

// A control byte that the text does not hold, for stand-ins that must never
// match the user's own text.
char free_control_byte(const DString *text) {
    for (char c = 1; c < 9; c++)
        if (!memchr(text->str, c, text->length))
            return c;
    return 1;  // all eight in one block: take the first
}

bool is_space_or_tab(char c) { return c == ' ' || c == '\t'; }

void erase_spaces_at(DString *d, size_t at) {
    size_t n = 0;
    while (at + n < d->length && is_space_or_tab(d->str[at + n]))
        n++;
    d_string_erase(d, at, n);
}

void unwrap_chain(tzr_engine *e, token *t, long *change, int depth) {
    if (depth > kMaxDepth)
        return;
    for (; t; t = t->next) {
        if (t->type == BLOCK_PARA) {
            size_t at = 0;
            DString *text = copy_block(e->source, t, *change, &at);
            if (!text)
                continue;
            cleanup_unwrap_text(text);
            put_back(e->source, at, t->len, text, change);
            d_string_free(text, true);
        } else if (t->type == BLOCK_BLOCKQUOTE ||
                   (t->type >= BLOCK_LIST_BULLETED && t->type <= BLOCK_LIST_ITEM_TEXT)) {
            unwrap_chain(e, t->child, change, depth + 1);
        }
    }
}

void tables_chain(tzr_engine *e, token *t, long *change, int depth) {
    if (depth > kMaxDepth)
        return;
    for (; t; t = t->next) {
        if (t->type == BLOCK_TABLE) {
            size_t at = 0;
            DString *text = copy_block(e->source, t, *change, &at);
            if (!text)
                continue;
            cleanup_table_text(text);
            put_back(e->source, at, t->len, text, change);
            d_string_free(text, true);
        } else if (t->child) {
            tables_chain(e, t->child, change, depth + 1);
        }
    }
}

}  // namespace

void cleanup_unwrap_text(DString *text) {
    if (!text)
        return;
    bool crlf = to_line_feeds(text);
    char last = text->length ? text->str[text->length - 1] : 0;
    for (const char *prefix : {"\n>>>>>>>>", "\n>>>>", "\n>>", "\n>"})
        replace_all(text, prefix, "\n");
    // Hard line breaks and the space after a period are set aside under
    // stand-ins built on a control byte that the paragraph does not hold,
    // so that no text of the user's is ever taken for one.
    char mark = free_control_byte(text);
    const std::string hard = std::string(1, mark) + "H", escape = std::string(1, mark) + "E",
                      sentence = std::string(1, mark) + "S";
    replace_all(text, "  \n", hard.c_str());
    replace_all(text, "\\\n", escape.c_str());
    replace_all(text, ". ", sentence.c_str());
    replace_all(text, "\n", " ");
    shorten_space_runs(text, {"        ", "    ", "  "});
    replace_all(text, hard.c_str(), "  \n");
    replace_all(text, escape.c_str(), "\\\n");
    replace_all(text, sentence.c_str(), ". ");
    if (last == '\n')
        d_string_append(text, "\n");
    from_line_feeds(text, crlf);
}

void cleanup_unwrap_walk(tzr_engine *e, token *first, long *change) {
    if (e && e->source && change)
        unwrap_chain(e, first, change, 0);
}

void cleanup_metadata_text(tzr_engine *e, token *block, long *change) {
    if (!e || !e->source || !block || !change)
        return;
    size_t at = 0;
    DString *text = copy_block(e->source, block, *change, &at);
    if (!text)
        return;
    bool crlf = to_line_feeds(text);
    size_t pos = 0;
    while (pos < text->length) {
        if (scan_meta_line(text->str + pos) == 0) {
            // A continuation line starts with one tab.
            d_string_insert(text, pos, "\t");
            erase_spaces_at(text, pos + 1);
        } else {
            size_t colon = pos;
            while (colon < text->length && text->str[colon] != ':' && text->str[colon] != '\n')
                colon++;
            if (colon < text->length && text->str[colon] == ':') {
                size_t before = colon;
                while (before > pos && is_space_or_tab(text->str[before - 1]))
                    before--;
                d_string_erase(text, before, colon - before);
                colon = before;
                d_string_insert(text, colon + 1, "\t");
                erase_spaces_at(text, colon + 2);
            }
        }
        while (pos < text->length && text->str[pos] != '\n' && text->str[pos] != '\r')
            pos++;
        while (pos < text->length && (text->str[pos] == '\n' || text->str[pos] == '\r'))
            pos++;
    }
    shorten_space_runs(text, {"                ", "        ", "    ", "  "});
    replace_all(text, " \n", "\n");
    replace_all(text, "\n", "  \n");
    from_line_feeds(text, crlf);
    put_back(e->source, at, block->len, text, change);
    d_string_free(text, true);
}

void cleanup_table_text(DString *text) {
    if (!text)
        return;
    bool crlf = to_line_feeds(text);
    const std::string escaped_pipe = std::string(1, free_control_byte(text)) + "P";
    replace_all(text, "\\|", escaped_pipe.c_str());
    replace_all(text, "\t", " ");
    shorten_space_runs(text, {"                ", "        ", "    ", "  "});
    replace_all(text, " \n", "\n");
    replace_all(text, "\n", "  \n");
    size_t pos = 0;
    while (pos < text->length) {
        const char *found = strchr(text->str + pos, '|');
        if (!found)
            break;
        size_t i = (size_t)(found - text->str);
        if (i > 0) {
            char before = text->str[i - 1];
            if (before == ' ') {
                text->str[i - 1] = '\t';
            } else if (before != '\t' && before != '\n' && before != '\r' && before != '|') {
                d_string_insert(text, i, "\t");
                i++;
            }
        }
        size_t run = 0;
        while (i + run < text->length && text->str[i + run] == '|')
            run++;
        if (run >= 2) {
            d_string_insert(text, i, std::string(run - 1, '\t').c_str());
            i += run - 1;
        }
        size_t after = i + run;
        char next = after < text->length ? text->str[after] : '\n';
        if (next != ' ' && next != '\t' && next != '\n' && next != '\r' && next != '|')
            d_string_insert(text, after, " ");
        pos = after + 1;
    }
    replace_all(text, "   \n", "  \n");
    replace_all(text, "\n\t|", "\n|");
    if (text->length && text->str[0] == '\t')
        d_string_erase(text, 0, 1);
    replace_all(text, escaped_pipe.c_str(), "\\|");
    from_line_feeds(text, crlf);
}

void cleanup_tables_walk(tzr_engine *e, token *first, long *change) {
    if (e && e->source && change)
        tables_chain(e, first, change, 0);
}

static void replace_table(tzr_engine *e, size_t start, size_t length, size_t *new_length,
                          std::initializer_list<std::pair<const char *, const char *>> table) {
    if (!e || !e->source || !new_length)
        return;
    DString *d = e->source;
    if (start > d->length) {
        *new_length = 0;
        return;
    }
    if (length > d->length - start)
        length = d->length - start;
    for (const auto &[from, to] : table)
        length = (size_t)((long)length + d_string_replace_text_in_range(d, start, length, from, to));
    *new_length = length;
}

void cleanup_entities_to_ascii(tzr_engine *e, size_t start, size_t length, size_t *new_length) {
    replace_table(e, start, length, new_length,
                  {{"&#8216;", "'"},
                   {"&#8217;", "'"},
                   {"&#8220;", "\""},
                   {"&#8221;", "\""},
                   {"&#8211;", "--"},
                   {"&#8212;", "---"},
                   {"&#8230;", "..."}});
}

void cleanup_unicode_punctuation_to_ascii(tzr_engine *e, size_t start, size_t length,
                                          size_t *new_length) {
    replace_table(e, start, length, new_length,
                  {{"\xE2\x80\x9A", "'"},     // U+201A
                   {"\xE2\x80\x98", "'"},     // U+2018
                   {"\xE2\x80\xB9", "'"},     // U+2039
                   {"\xE2\x80\xBA", "'"},     // U+203A
                   {"\xE2\x80\x99", "'"},     // U+2019
                   {"\xC2\xAB", "\""},        // U+00AB
                   {"\xC2\xBB", "\""},        // U+00BB
                   {"\xE2\x80\x9C", "\""},    // U+201C
                   {"\xE2\x80\x9D", "\""},    // U+201D
                   {"\xE2\x80\x9E", "\""},    // U+201E
                   {"\xE2\x80\x93", "--"},    // U+2013
                   {"\xE2\x80\x94", "---"},   // U+2014
                   {"\xE2\x80\xA6", "..."}}); // U+2026
}

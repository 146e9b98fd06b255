#include "textengine/typing/smart_enter.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "library/char.h"
#include "library/diagnostics.h"
#include "textengine/buffer/smart_string_steps.h"
#include "textengine/transforms/text_ranges.h"
#include "textengine/transforms/title_case.h"

// ---------------------------------------------------------------------------
// Line classes

static bool is_blank(char c) { return c == ' ' || c == '\t'; }
static bool is_line_end(char c) { return c == '\0' || c == '\n' || c == '\r'; }
static bool is_blank_or_break(char c) { return is_blank(c) || c == '\n' || c == '\r'; }

// Length of a list marker at p ("*", "+", "-", or digits and ".") when a
// space, tab, LF or CR follows it, else 0.
static size_t list_marker_length(const char *p) {
    if ((*p == '*' || *p == '+' || *p == '-') && is_blank_or_break(p[1]))
        return 1;
    size_t n = 0;
    while (char_is_digit(p[n]))
        n++;
    if (n && p[n] == '.' && is_blank_or_break(p[n + 1]))
        return n + 1;
    return 0;
}

// Length of a run of one to six "#" at p followed by a blank (or, when
// `break_ends` is set, a line break), else 0.
static size_t hash_run_length(const char *p, bool break_ends) {
    size_t n = 0;
    while (p[n] == '#')
        n++;
    if (n < 1 || n > 6)
        return 0;
    return (is_blank(p[n]) || (break_ends && (p[n] == '\n' || p[n] == '\r'))) ? n : 0;
}

int smart_string_line_class(const char *line) {
    if (!line)
        return LINE_CLASS_EMPTY;
    const char *p = line;
    while (is_blank(*p))
        p++;
    if (is_line_end(*p))
        return LINE_CLASS_EMPTY;
    p = line;
    for (int i = 0; i < 3 && *p == ' '; i++)
        p++;
    if (hash_run_length(p, false))
        return LINE_CLASS_HEADING;
    if (*p == '|')
        return LINE_CLASS_TABLE_ROW;
    if (*p == '>')
        return LINE_CLASS_BLOCK_QUOTE;
    if (list_marker_length(p))
        return LINE_CLASS_LIST_ITEM;
    if (line[0] == '\t' || strncmp(line, "    ", 4) == 0) {
        p = line;
        while (is_blank(*p))
            p++;
        if (*p == '>')
            return LINE_CLASS_BLOCK_QUOTE;
        if (list_marker_length(p))
            return LINE_CLASS_LIST_ITEM;
        return LINE_CLASS_INDENTED;
    }
    return LINE_CLASS_PLAIN;
}

// ---------------------------------------------------------------------------
// Line lexer

token *smart_string_lex_line(const char *text, size_t length) {
    token *root = token_new(0, 0, length);
    if (!root || !text)
        return root;
    // Markers need a blank after them inside the range, so the lexer works on
    // a copy that ends where the range ends.
    std::string line(text, strnlen(text, length));
    const char *p = line.c_str();
    size_t n = line.size();
    size_t i = 0;
    while (i < n) {
        unsigned short type;
        size_t len;
        if (p[i] == '\t') {
            type = LINE_TOKEN_INDENT, len = 1;
        } else if (p[i] == ' ') {
            len = 0;
            while (len < 4 && p[i + len] == ' ')
                len++;
            type = len == 4 ? LINE_TOKEN_INDENT : LINE_TOKEN_SPACES;
        } else if (p[i] == '\r' && p[i + 1] == '\n') {
            type = LINE_TOKEN_NEWLINE, len = 2;
        } else if (p[i] == '\n' || p[i] == '\r') {
            type = LINE_TOKEN_NEWLINE, len = 1;
        } else if (p[i] == '|') {
            type = LINE_TOKEN_PIPE, len = 1;
        } else if (p[i] == '>') {
            type = LINE_TOKEN_QUOTE, len = 1;
        } else if ((len = hash_run_length(p + i, true))) {
            type = LINE_TOKEN_HASHES;
        } else if ((len = list_marker_length(p + i))) {
            type = len > 1 || char_is_digit(p[i]) ? LINE_TOKEN_ORDERED
                   : p[i] == '*'                  ? LINE_TOKEN_STAR
                   : p[i] == '+'                  ? LINE_TOKEN_PLUS
                                                  : LINE_TOKEN_MINUS;
        } else {
            type = LINE_TOKEN_TEXT, len = n - i;
        }
        token_append_child(root, token_new(type, i, len));
        i += len;
    }
    return root;
}

// ---------------------------------------------------------------------------
// Line parser
//
// The grammar, over the tokens of the line up to the caret:
//   line      := SPACES? (heading | row | structure)
//   heading   := HASHES blank* title?        -> the run, blanks, title, run again
//   row       := PIPE blank* rest            -> the pipe and its blanks
//   structure := level+ rest                 -> the levels; list markers inside
//                                               a quote are not repeated
//   level     := INDENT SPACES* | QUOTE SPACES* | marker blank*
// A marker ends the levels: what follows it is the item's content. When the
// line ends in text, the levels are repeated; when it has no text, one level
// goes (the indentation before a list marker, else the last level), and
// anything but blanks after the levels does not fit.

namespace {

constexpr int kParserStackSize = 100;

struct level {
    int first, last;  // token indexes, blanks after the level included
    bool marker;
    bool silent;      // a list marker inside a quote
};

}  // namespace

struct smart_line_parser {
    token *stack[kParserStackSize];
    int count;
    bool failed;
};

smart_line_parser *smart_string_line_parser_new(void *(*allocate)(size_t)) {
    if (!allocate)
        return nullptr;
    void *memory = allocate(sizeof(smart_line_parser));
    if (!memory)
        return nullptr;
    smart_line_parser *p = new (memory) smart_line_parser;
    p->count = 0;
    p->failed = false;
    return p;
}

void smart_string_line_parser_free(smart_line_parser *parser, void (*deallocate)(void *)) {
    if (parser && deallocate)
        deallocate(parser);
}

bool smart_string_line_parser_failed(const smart_line_parser *parser) {
    return !parser || parser->failed;
}

static bool blank_token(const token *t) {
    return t->type == LINE_TOKEN_SPACES || t->type == LINE_TOKEN_INDENT;
}

static bool is_marker(unsigned short type) {
    return type == LINE_TOKEN_STAR || type == LINE_TOKEN_PLUS || type == LINE_TOKEN_MINUS ||
           type == LINE_TOKEN_ORDERED;
}

static void emit(token **chain, unsigned short type, size_t start, size_t len) {
    token *t = token_new(type, start, len);
    if (!t)
        return;
    if (*chain)
        token_chain_append(*chain, t);
    else
        *chain = t;
}

// The output chain for the line, or false when it does not fit the grammar.
static bool parse_line(token *const *tok, int n, token **out) {
    int i = 0;
    if (i < n && tok[i]->type == LINE_TOKEN_SPACES)
        i++;  // up to three leading spaces are not repeated
    if (i >= n)
        return false;
    bool content = tok[n - 1]->type == LINE_TOKEN_TEXT;

    if (tok[i]->type == LINE_TOKEN_HASHES) {
        token *hashes = tok[i];
        emit(out, hashes->type, hashes->start, hashes->len);
        for (i++; i < n && blank_token(tok[i]); i++)
            emit(out, tok[i]->type, tok[i]->start, tok[i]->len);
        if (i < n) {
            size_t start = tok[i]->start;
            emit(out, LINE_TOKEN_TEXT, start, tok[n - 1]->start + tok[n - 1]->len - start);
            emit(out, LINE_TOKEN_HASHES, hashes->start, hashes->len);
        }
        return true;
    }

    if (tok[i]->type == LINE_TOKEN_PIPE) {
        int row = i;
        for (i++; i < n && blank_token(tok[i]); i++) {
        }
        if (!content && i < n)
            return false;
        if (content)
            for (int k = row; k < i; k++)
                emit(out, tok[k]->type, tok[k]->start, tok[k]->len);
        return true;
    }

    std::vector<level> levels;
    bool in_quote = false;
    while (i < n) {
        unsigned short type = tok[i]->type;
        if (type != LINE_TOKEN_INDENT && type != LINE_TOKEN_QUOTE && !is_marker(type))
            break;
        level l = {i, i, is_marker(type), is_marker(type) && in_quote};
        in_quote = in_quote || type == LINE_TOKEN_QUOTE;
        for (i++; i < n && (tok[i]->type == LINE_TOKEN_SPACES || (l.marker && blank_token(tok[i])));
             i++)
            l.last = i;
        levels.push_back(l);
        if (l.marker)
            break;
    }
    if (levels.empty() || (!content && i < n))
        return false;
    if (!content) {
        // One level goes: the indentation before a list marker, else the
        // last level that is written.
        size_t drop = levels.size();
        for (size_t k = levels.size(); k-- > 0;) {
            if (!levels[k].silent) {
                drop = k;
                break;
            }
        }
        if (drop == levels.size())
            return false;
        if (levels[drop].marker && drop > 0 && tok[levels[drop - 1].first]->type == LINE_TOKEN_INDENT)
            drop--;
        levels.erase(levels.begin() + (long)drop);
    }
    for (const level &l : levels)
        if (!l.silent)
            for (int k = l.first; k <= l.last; k++)
                emit(out, tok[k]->type, tok[k]->start, tok[k]->len);
    return true;
}

void smart_string_line_parse(smart_line_parser *parser, int type, token *t, token **output) {
    if (!parser)
        return;
    if (type == LINE_TOKEN_END_OF_LINE)
        return;
    if (type != LINE_TOKEN_END) {
        if (!t)
            return;
        if (parser->count == kParserStackSize) {
            // Overflow: the stack unwinds and the token is dropped.
            parser->count = 0;
            parser->failed = true;
            return;
        }
        parser->stack[parser->count++] = t;
        return;
    }
    token *chain = nullptr;
    if (parser->failed || !parse_line(parser->stack, parser->count, &chain)) {
        token_tree_free(chain);
        chain = nullptr;
        parser->failed = true;
        tzr_log("Parser failed to successfully parse.\n");
    }
    parser->count = 0;
    if (output)
        *output = chain;
    else
        token_tree_free(chain);
}

// ---------------------------------------------------------------------------
// Helpers for the new line

char *smart_string_next_number(const char *digits) {
    if (!digits)
        return nullptr;
    size_t n = 0;
    while (char_is_digit(digits[n]))
        n++;
    std::string number(digits, n);
    // Counted up as decimal text, so numbers of any length go on by one.
    size_t k = number.size();
    while (k > 0 && number[k - 1] == '9')
        number[--k] = '0';
    if (k == 0)
        number.insert(number.begin(), '1');
    else
        number[k - 1]++;
    size_t zeros = number.find_first_not_of('0');
    number.erase(0, zeros == std::string::npos ? number.size() - 1 : zeros);
    number += '.';
    return strdup(number.c_str());
}

bool smart_string_previous_line_is_empty(_SString *s, size_t offset) {
    if (!s)
        return false;
    const char *str = s->text->str;
    if (offset > s->text->length)
        offset = s->text->length;
    size_t line_start = text_line_start(str, offset);
    if (line_start == 0)
        return true;
    size_t start = text_previous_line_start(str, line_start);
    return smart_string_line_class(str + start) == LINE_CLASS_EMPTY;
}

char *smart_string_table_separator(const char *row, size_t length) {
    if (!row)
        return nullptr;
    length = strnlen(row, length);
    std::string out(length, '-');
    for (size_t i = 0; i < length; i++) {
        if (row[i] != '|')
            continue;
        out[i] = '|';
        if (i > 0 && row[i - 1] != '|')
            out[i - 1] = '\t';
        if (i + 1 < length && row[i + 1] != '|')
            out[i + 1] = ' ';
    }
    return strdup(out.c_str());
}

char *smart_string_heading_text(const char *text, size_t length, uint64_t options) {
    if (!text)
        return nullptr;
    std::string heading(text, strnlen(text, length));
    auto trim = [&heading] {
        while (!heading.empty() && is_blank(heading.back()))
            heading.pop_back();
    };
    trim();
    if ((options & SMART_STRING_ENTER_HEADING_HASH) && !heading.empty() && heading.back() == '#') {
        // Only a run after a blank closes the heading: in "Learn C#" the "#"
        // is part of the title.
        size_t run = heading.find_last_not_of('#');
        if (run == std::string::npos || is_blank(heading[run])) {
            heading.erase(run == std::string::npos ? 0 : run + 1);
            trim();
        }
    }
    if (options & SMART_STRING_ENTER_HEADING_TC) {
        char *cased = title_case(heading.c_str(), heading.size());
        if (cased) {
            std::string titled = cased;
            free(cased);
            // Bracketed spans (references, links) keep the case they had.
            if (titled.size() == heading.size()) {
                size_t open = 0;
                while ((open = heading.find('[', open)) != std::string::npos) {
                    size_t close = heading.find(']', open + 1);
                    size_t end = close == std::string::npos ? heading.size() : close + 1;
                    titled.replace(open, end - open, heading, open, end - open);
                    open = end;
                }
            }
            heading = titled;
        }
    }
    return strdup(heading.c_str());
}

// ---------------------------------------------------------------------------
// Smart enter

static bool option_allows(uint64_t options, int line_class) {
    switch (line_class) {
    case LINE_CLASS_LIST_ITEM:
        return options & SMART_STRING_ENTER_LIST;
    case LINE_CLASS_BLOCK_QUOTE:
        return options & SMART_STRING_ENTER_BLOCKQUOTE;
    case LINE_CLASS_INDENTED:
        return options & SMART_STRING_ENTER_INDENT;
    case LINE_CLASS_HEADING:
        return options & SMART_STRING_ENTER_HEADING;
    case LINE_CLASS_TABLE_ROW:
        return options & SMART_STRING_ENTER_TABLE;
    case LINE_CLASS_EMPTY:
        return true;
    default:
        return false;
    }
}

static bool insert_at(char **text, const std::string &with, size_t at,
                      smart_string_change *change) {
    if (!smart_string_step_set_text(text, with))
        return false;
    change->start = at;
    change->removed_length = 0;
    return true;
}

bool smart_string_smart_enter(_SString *s, size_t start, size_t length, char **text,
                              smart_string_change *change) {
    if (!s || !text || !*text || !change || length != 0)
        return false;
    if (strcmp(*text, "\n") != 0 && strcmp(*text, "\r") != 0 && strcmp(*text, "\r\n") != 0)
        return false;
    const char *str = s->text->str;
    uint64_t options = s->options;
    size_t line_start = text_line_start(str, start);
    if (start == line_start)
        return false;
    const char *line = str + line_start;
    size_t line_length = start - line_start;
    int line_class = smart_string_line_class(line);
    if (!option_allows(options, line_class))
        return false;

    if (line_class == LINE_CLASS_TABLE_ROW &&
        (line_start == 0 || smart_string_previous_line_is_empty(s, line_start))) {
        char *separator = smart_string_table_separator(line, line_length);
        if (!separator)
            return false;
        std::string row = std::string("\n") + separator + "\n| ";
        free(separator);
        return insert_at(text, row, start, change);
    }

    token *tree = smart_string_lex_line(line, line_length);
    if (!tree)
        return false;
    bool content = tree->child && tree->child->tail->type == LINE_TOKEN_TEXT &&
                   line_class != LINE_CLASS_HEADING;

    smart_line_parser *parser = smart_string_line_parser_new(malloc);
    token *output = nullptr;
    for (token *t = tree->child; t; t = t->next)
        smart_string_line_parse(parser, t->type, t, &output);
    smart_string_line_parse(parser, LINE_TOKEN_END_OF_LINE, nullptr, &output);
    smart_string_line_parse(parser, LINE_TOKEN_END, nullptr, &output);
    bool failed = smart_string_line_parser_failed(parser);
    smart_string_line_parser_free(parser, free);
    token_tree_free(tree);

    if (failed && !content) {
        // Return must not delete text it could not make sense of: only a
        // line of blanks is cleared.
        for (size_t i = 0; i < line_length; i++)
            if (!is_blank(line[i]))
                return false;
    }

    std::string out = content ? "\n" : "";
    bool first_hashes = true;
    for (token *t = output; t; t = t->next) {
        std::string piece(line + t->start, t->len);
        switch (t->type) {
        case LINE_TOKEN_STAR:
        case LINE_TOKEN_PLUS:
        case LINE_TOKEN_MINUS:
        case LINE_TOKEN_ORDERED:
            if (out.empty())
                break;
            if ((options & SMART_STRING_ENTER_LIST_SAME) && line_start >= 2) {
                if (str[line_start - 2] == '\n')
                    out.insert(0, "\n");
            } else if (options & SMART_STRING_ENTER_LIST_2X) {
                out.insert(0, "\n");
            }
            if (t->type == LINE_TOKEN_ORDERED) {
                char *next = smart_string_next_number(piece.c_str());
                if (next)
                    piece = next;
                free(next);
            }
            break;
        case LINE_TOKEN_TEXT:
            if (line_class == LINE_CLASS_HEADING) {
                char *heading = smart_string_heading_text(piece.c_str(), piece.size(), options);
                piece = heading ? heading : "";
                free(heading);
                if (options & SMART_STRING_ENTER_HEADING_HASH)
                    piece += ' ';
            }
            break;
        case LINE_TOKEN_HASHES:
            if (!first_hashes && !(options & SMART_STRING_ENTER_HEADING_HASH))
                piece.clear();
            first_hashes = false;
            break;
        case LINE_TOKEN_SILENT:
            piece.clear();
            break;
        default:
            break;
        }
        out += piece;
    }
    bool had_output = output != nullptr;
    token_tree_free(output);
    if (!content && had_output && line_class == LINE_CLASS_HEADING)
        out += "\n\n";

    if (content)
        return insert_at(text, out, start, change);
    if (!smart_string_step_set_text(text, out))
        return false;
    change->start = line_start;
    change->removed_length = line_length;
    return true;
}

// ---------------------------------------------------------------------------
// Smart tab

// A list item from the line start: blanks, a marker, then a blank, a line
// break or the end of the text.
static bool list_item_line(const char *p) {
    while (is_blank(*p))
        p++;
    if (*p == '*' || *p == '+' || *p == '-') {
        p++;
    } else {
        if (!char_is_digit(*p))
            return false;
        while (char_is_digit(*p))
            p++;
        if (*p != '.')
            return false;
        p++;
    }
    return is_blank(*p) || is_line_end(*p);
}

// A table row: the line's first "|" is followed by a blank or the line end.
static bool table_row_line(const char *p) {
    while (!is_line_end(*p) && *p != '|')
        p++;
    return *p == '|' && (is_blank(p[1]) || is_line_end(p[1]));
}

bool smart_string_smart_tab(_SString *s, size_t start, size_t length, char **text,
                            smart_string_change *change) {
    if (!s || !text || !*text || !change || length != 0 || strcmp(*text, "\t") != 0)
        return false;
    const char *str = s->text->str;
    size_t line_start = text_line_start(str, start);
    if (start == line_start)
        return false;
    uint8_t last = s->last_typed;
    if (list_item_line(str + line_start) && is_line_end(str[start]) &&
        (last == '\t' || last == '\n' || last == '\r')) {
        change->start = line_start;
        change->removed_length = 0;
        return true;
    }
    if (table_row_line(str + line_start))
        return smart_string_step_set_text(text, "\t| ");
    return false;
}

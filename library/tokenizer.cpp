#include "library/tokenizer.h"

#include <cstring>

#include "library/byte_scan.h"
#include "library/diagnostics.h"
#include "library/lexer.h"
#include "library/line_types.h"
#include "library/token_pool.h"
#include "library/tzr.h"

namespace {

// The chain of tokens of the line being cut, kept at hand: each lexeme
// adds one or two tokens, and reading the chain's ends back from the line
// cost more than making them. `link` is where the next token is linked
// in: the line's child slot, then its last token's next, so a line's first
// token takes the same steps as any other (no test of a line's first token
// to mispredict at every line).
struct LineChain {
    token_link *link = nullptr;
    token_link tail = nullptr;
};

// Starts the chain of a fresh line.
inline void begin(LineChain &chain, token *line) {
    chain.link = &line->child;
    chain.tail = nullptr;
}

// Appends a new child; false when it cannot be allocated. A line is built
// here one fresh token at a time, so the token goes straight after the
// chain's tail; the head learns its tail when the line is sealed.
inline bool append_new(token *line, LineChain &chain, unsigned short type, size_t start, size_t len) {
    token *t = token_make(type, start, len);
    if (!t)
        return false;
    *chain.link = t;
    t->prev = chain.tail;
    chain.link = &t->next;
    chain.tail = t;
    line->len = start + len - line->start;
    return true;
}

// Completes the line's chain as token_append_child would have left it, for
// whatever reads the line next.
void seal(token *line, LineChain &chain) {
    if (token *head = line->child)
        head->tail = chain.tail;
}

// The first byte of the line at `p` past its blanks, quote and list
// markers.
const char *line_text(const char *p, const char *stop) {
    // One look-up a byte rather than a test for each kind of byte.
    const auto &opening = byte_scan::kStopTable<' ', '\t', '>', '*', '-', '+', '.', ')', '0', '1', '2', '3', '4',
                                                '5', '6', '7', '8', '9', 0xC2, 0xA0>;
    while (p < stop && opening[(unsigned char)*p])
        p++;
    return p;
}

// Whether the line at `p` is an item of a list that is no part of a note:
// a marker at its very start and a space after it.
bool starts_list_item(const char *p, const char *stop) {
    if (p < stop && (*p == '*' || *p == '-' || *p == '+'))
        return p + 1 < stop && p[1] == ' ';
    const char *q = p;
    while (q < stop && *q >= '0' && *q <= '9')
        q++;
    return q > p && q + 1 < stop && q[0] == '.' && q[1] == ' ';
}

// Sets what of the line at `p` the lexer may leave in the text around it.
// Nothing while metadata may still come (the key of a "Key: value" line
// ends at a ":" token), nor in a line whose text opens with "[": its first
// tokens may be read one by one, as a definition ("[label]: ...") or as a
// table's caption ("[caption]"). A "-" only in the text of a list item's
// line that holds no "|", which a table's header row might. Parentheses
// where colons may be text, when the engine asks for it and has met no
// inline note that reads the parentheses inside it. A "-" or "_" inside a
// word there too, for a conversion to HTML of its own.
void set_line_marks(const tzr_engine *e, lexer_state *s, const char *p, const char *stop) {
    s->colons_in_text = false;
    s->hyphens_from = nullptr;
    s->parens_in_text = false;
    s->words_from = nullptr;
    if (e->allow_meta)
        return;
    const char *text = line_text(p, stop);
    if (text < stop && *text == '[')
        return;
    s->colons_in_text = true;
    s->parens_in_text = e->parens_in_text && !e->parens_kept;
    s->words_from = e->converts_to_html ? text : nullptr;
    if (!starts_list_item(p, stop))
        return;
    // A "|" before the line ends, at its line feed or at a carriage return
    // before it.
    size_t rest = (size_t)(stop - text);
    const void *feed = memchr(text, '\n', rest);
    size_t line = feed ? (size_t)(static_cast<const char *>(feed) - text) : rest;
    const void *bar = memchr(text, '|', line);
    if (bar && memchr(text, '\r', (size_t)(static_cast<const char *>(bar) - text)))
        bar = nullptr;
    if (!bar)
        s->hyphens_from = text;
}

// Where typed lines go: under the root, or to a taker one by one.
struct LineSink {
    token *root;
    tzr_line_taker take;
    void *context;
    bool first = true;
};

// The fenced code block the lines fed to the top-level grammar are in, as
// the grammar sees it: a fence line opens a block, a bare fence at least as
// long closes it, a fence with an info string at least as long ends it and
// opens the next, and every other line is code.
//
// A conversion to HTML of its own prints the code lines of such a block as
// their escaped source, whatever their tokens, and no pass reads those
// tokens (no pairing walk enters a top-level code block). Such a line needs
// no tokens but its text and its line end: its lexemes are only run through
// to keep the lexer's state, and it is fed to the grammar as code without
// being typed. A third of an API reference's bytes are code, and most of
// the tokens a conversion made and merged again.
class FenceTracker {
  public:
    explicit FenceTracker(bool active) : active_(active) {}

    // Follows the grammar over a typed line.
    void saw(unsigned short type) {
        // One test for any line that is no fence.
        if ((unsigned)(type - LINE_FENCE_3) > (unsigned)(LINE_FENCE_START_5 - LINE_FENCE_3) || !active_)
            return;
        bool bare = type <= LINE_FENCE_5;
        // 0 for three backticks, 1 for four, 2 for five or more.
        int length = bare ? type - LINE_FENCE_3 : type - LINE_FENCE_START_3;
        if (!open_) {
            open_ = true;
            length_ = length;
        } else if (length >= length_) {
            open_ = !bare;
            length_ = length;
        }
    }

    // Whether the line from `p` is code that needs no tokens of its own: the
    // block is open and the line can be neither a fence (its first byte past
    // the blanks is no backtick) nor a blank line (it has a byte past them,
    // and not a backslash ending the line, a line break of its own).
    bool takes_as_code(const char *p, const char *stop) const {
        if (!open_)
            return false;
        while (p < stop) {
            if (*p == ' ' || *p == '\t') {
                p++;
            } else if ((unsigned char)p[0] == 0xC2 && p + 1 < stop && (unsigned char)p[1] == 0xA0) {
                p += 2;
            } else {
                break;
            }
        }
        if (p == stop || *p == '\n' || *p == '\r' || *p == '`' || *p == '\0')
            return false;
        if (*p == '\\' && (p + 1 == stop || p[1] == '\n' || p[1] == '\r'))
            return false;
        return true;
    }

  private:
    bool active_;
    bool open_ = false;
    int length_ = 0;
};

// Hands a finished line on; returns its type. A line ended by a line end
// that is the document's first decides whether metadata may follow.
unsigned short hand_on(tzr_engine *e, LineSink &sink, token *line, bool ended) {
    if (ended && e->allow_meta && sink.first) {
        if (line->type == LINE_SETEXT_2)
            line->type = LINE_META_START;
        else if (line->type != LINE_META)
            e->allow_meta = false;
    }
    sink.first = false;
    unsigned short type = line->type;
    if (!sink.take) {
        token_append_child(sink.root, line);
        return type;
    }
    // The root still measures the lines it would have held.
    sink.root->len = line->start + line->len - sink.root->start;
    sink.take(sink.context, line);
    return type;
}

// A run of plain lines held back to be handed on as one chain. Once a
// plain line has reached the grammar, it reads every plain line after it
// as it read the first of them, whatever block they are in: it appends
// each to the same block's lines (a paragraph's continuation lines, a list
// item's or a quote's lazy ones, an HTML block's, a fence's code), with
// no other work. So the lines that follow a plain line, as long as they
// are plain, are fed at once and appended whole, in one step of the
// grammar rather than one a line. Code lines inside an open fence join a
// run untyped: the grammar appends each to the block from the fence line
// on (half the lines of an API reference are code, and most of the rest
// paragraphs' lines).
struct LineRun {
    token *head = nullptr;
    token *last = nullptr;
    // The type of line the run takes: plain after a plain line was handed
    // on or held, else none, so that one comparison settles it.
    unsigned short takes = kTakesNone;
    static constexpr unsigned short kTakesNone = 0xFFFF;  // no line's type
};

// Holds a line back as plain (a taker's sink only: the run is handed to it).
void hold_line(LineSink &sink, LineRun &run, token *line) {
    line->type = LINE_PLAIN;
    sink.first = false;
    sink.root->len = line->start + line->len - sink.root->start;
    if (run.last) {
        run.last->next = line;
        line->prev = run.last;
    } else {
        run.head = line;
    }
    run.last = line;
    run.takes = LINE_PLAIN;
}

// Hands the held run on as one chain, before any line after it (the
// grammar's actions append the chain whole).
void hand_on_run(LineSink &sink, LineRun &run) {
    token *head = run.head;
    if (!head)
        return;
    head->tail = run.last;
    run.head = run.last = nullptr;
    sink.take(sink.context, head);
}

// Types a finished line and holds it in the run or hands it on after the
// run; returns its type.
unsigned short finish_line(tzr_engine *e, LineSink &sink, LineRun &run, token *line, bool ended) {
    tzr_assign_line_type(e, line);
    if (sink.take) {
        if (line->type == run.takes) {
            hold_line(sink, run, line);
            return LINE_PLAIN;
        }
        hand_on_run(sink, run);
    }
    unsigned short type = hand_on(e, sink, line, ended);
    // Plain, or all bits set (none) for any other type, without a branch.
    run.takes = (unsigned short)(LINE_PLAIN | (0u - (unsigned)(type != LINE_PLAIN)));
    return type;
}

token *tokenize(tzr_engine *e, size_t start, size_t length, bool stop_at_blank,
                tzr_line_taker take, void *context) {
    if (!e || !e->source || !e->source->str)
        return nullptr;
    const char *source = e->source->str;
    size_t size = e->source->length;
    if (size >= kTokenOffsetLimit) {
        // Token offsets are 32-bit: a text this long is refused whole rather
        // than parsed into a tree that points at the wrong places.
        tzr_log("Document too large to parse (%lu bytes).\n", (unsigned long)size);
        return nullptr;
    }
    if (start > size)
        start = size;
    if (length > size - start)  // (size_t)-1 included
        length = size - start;

    e->allow_meta = !(e->extensions & (TZR_EXT_COMPATIBILITY | TZR_EXT_NO_METADATA));
    // The source may have changed since the last run: forget the line
    // typer's memo about its lines.
    e->break_memo_end = e->break_memo_stop = 0;
    e->break_memo_type = 0;

    token *root = token_new(DOC_ROOT, start, 0);
    token *line = token_new(0, start, 0);
    if (!root || !line) {
        token_free(root);
        token_free(line);
        return nullptr;
    }
    LineSink sink{root, take, context};
    LineChain chain;
    begin(chain, line);
    lexer_state s;
    s.start = s.cursor = s.begin = source + start;
    const char *stop = source + start + length;
    size_t done = start;
    bool ok = true;
    FenceTracker fences(take && e->converts_to_html);
    LineRun run;
    // The line being cut is code that needs no tokens but its text and its
    // line end; it starts at `line_start`. Such a line's lexemes matter only
    // for what the lexer carries on: where it holds nothing the lexer would
    // carry, its end is found in one step. A look for it that stopped short
    // stopped at `blocked`, and none is tried again before it.
    bool as_code = false;
    size_t line_start = start;
    const char *blocked = nullptr;
    // The type of line the tokenizer stops after, if any: one comparison a
    // line that never holds where no line stops it (a test of whether the
    // line is blank first would go either way).
    const unsigned short stop_type = stop_at_blank ? LINE_EMPTY : 0xFFFF;  // no line's type

    set_line_marks(e, &s, s.begin, stop);
    while (ok) {
        int type = 0;
        if (as_code && (!blocked || s.cursor > blocked))
            type = tzr_lex_line_end(&s, stop, &blocked);
        if (!type)
            type = tzr_lex_token(&s, stop);
        if (!type) {
            size_t end = start + length;
            if (as_code) {
                if (end > line_start)
                    ok = append_new(line, chain, TEXT, line_start, end - line_start);
                seal(line, chain);
                hold_line(sink, run, line);
            } else {
                if (end > done)
                    ok = append_new(line, chain, TEXT, done, end - done);
                seal(line, chain);
                finish_line(e, sink, run, line, false);
            }
            line = nullptr;
            break;
        }
        size_t lexeme_start = s.start - source;
        size_t lexeme_end = s.cursor - source;
        if (type == BRACKET_GLOSSARY_LEFT || type == BRACKET_ABBREVIATION_LEFT) {
            e->parens_kept = true;
            s.parens_in_text = false;
        }
        // The four line ends are one range, each taking the next line's
        // first space the odd one above its plain kind: one test for any
        // line end, none to tell them apart.
        static_assert(HARD_BREAK_SPACE == HARD_BREAK + 1 && NEWLINE == HARD_BREAK + 2 &&
                      NEWLINE_SPACE == HARD_BREAK + 3 && HARD_BREAK % 2 == 0);
        bool line_end = (unsigned)(type - HARD_BREAK) <= (unsigned)(NEWLINE_SPACE - HARD_BREAK);
        if (as_code) [[unlikely]] {
            if (!line_end)
                continue;
            if (lexeme_start > line_start)
                ok = append_new(line, chain, TEXT, line_start, lexeme_start - line_start);
        } else if (lexeme_start > done) {
            ok = append_new(line, chain, TEXT, done, lexeme_start - done);
        }
        done = lexeme_end;
        if (line_end) {
            // A line end that took the next line's first space hands that
            // space on as the new line's indentation.
            bool took_space = type & 1;
            size_t end = lexeme_end - took_space;
            unsigned short kept = (unsigned short)(type & ~1);
            ok = ok && append_new(line, chain, kept, lexeme_start, end - lexeme_start);
            seal(line, chain);
            unsigned short line_type;
            if (as_code) {
                hold_line(sink, run, line);
                line_type = LINE_PLAIN;
            } else {
                line_type = finish_line(e, sink, run, line, true);
                fences.saw(line_type);
            }
            bool blank = line_type == LINE_EMPTY;
            // No parentheses pair across a blank line.
            s.destination_depth *= (unsigned)!blank;  // without a branch on the line's kind
            if (line_type == stop_type) [[unlikely]] {
                line = nullptr;
                break;
            }
            line = token_new(0, end, 0);
            ok = ok && line;
            if (line)
                begin(chain, line);
            line_start = end;
            as_code = fences.takes_as_code(source + end, stop);
            // What a line's marks let the lexer leave in the text matters
            // to no code line: no mark is carried from one line to the next.
            if (!as_code)
                set_line_marks(e, &s, source + end, stop);
            if (ok && took_space && !as_code)
                ok = append_new(line, chain, NON_INDENT_SPACE, end, 1);
        } else {
            ok = ok && append_new(line, chain, (unsigned short)type, lexeme_start, lexeme_end - lexeme_start);
        }
    }
    if (take)
        hand_on_run(sink, run);
    // Typing is done: nothing typed again later (list items, quotes) may be
    // taken for a metadata line.
    e->allow_meta = false;
    if (!ok) {
        token_free(line);
        token_free(root);
        return nullptr;
    }
    return root;
}

}  // namespace

token *tzr_tokenize_string(tzr_engine *e, size_t start, size_t length, bool stop_at_blank) {
    return tokenize(e, start, length, stop_at_blank, nullptr, nullptr);
}

token *tzr_tokenize_lines(tzr_engine *e, size_t start, size_t length, tzr_line_taker take,
                          void *context) {
    if (!take)
        return tzr_tokenize_string(e, start, length, false);
    return tokenize(e, start, length, false, take, context);
}

bool tzr_line_is_empty(token *first) {
    for (token *t = first; t; t = t->next) {
        switch (t->type) {
        case INDENT_TAB:
        case INDENT_SPACE:
        case NON_INDENT_SPACE: continue;
        case HARD_BREAK:
        case NEWLINE: return true;
        default: return false;
        }
    }
    return true;
}

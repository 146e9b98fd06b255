// The lexer's automaton. re2c turns this file into a byte-level DFA at build
// time; the actions below settle what a bounded automaton cannot: runs of
// spaces, heading markers, enumerators and the space after a line end all
// depend on what follows them, and deciding that by hand keeps every call
// linear in what it consumes.
#include "library/lexer.h"

#include <array>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "library/byte_scan.h"
#include "library/token_types.h"

/*!re2c
    re2c:flags:utf-8 = 0;
    re2c:encoding:utf8 = 0;
    re2c:flags:bit-vectors = 1;
    re2c:flags:computed-gotos = 1;
*/

namespace {

using uchar = unsigned char;

inline bool is_line_end(uchar c) { return c == '\n' || c == '\r'; }

// Bytes of the space unit at `p`: a space, or the two bytes of U+00A0.
inline int space_unit_length(const char *p) {
    if (*p == ' ')
        return 1;
    if ((uchar)p[0] == 0xC2 && (uchar)p[1] == 0xA0)
        return 2;
    return 0;
}

// Bytes of the line end at `p` (LF, CR or CR LF), or 0.
inline int line_end_length(const char *p) {
    if (*p == '\n')
        return 1;
    if (*p == '\r')
        return p[1] == '\n' ? 2 : 1;
    return 0;
}

// Heading markers count tabs as blanks too.
inline int blank_length(const char *p) { return *p == '\t' ? 1 : space_unit_length(p); }

// The character that must follow the one space a line end may take into the
// next line: any ASCII byte but space, tab, LF and CR (the terminating NUL
// included), or a complete multi-byte UTF-8 character.
inline bool starts_visible_character(const char *p) {
    uchar c = (uchar)*p;
    if (c < 0x80)
        return c != ' ' && c != '\t' && c != '\n' && c != '\r';
    return tzr_utf8_char_length(p) != 0;
}

// A line end at `p` of `n` bytes: NEWLINE, or NEWLINE_SPACE when a space and
// a visible character follow it. Sets the cursor.
int finish_line_end(lexer_state *s, const char *p, int n, int plain, int with_space) {
    const char *after = p + n;
    if (*after == ' ' && starts_visible_character(after + 1)) {
        s->cursor = after + 1;
        return with_space;
    }
    s->cursor = after;
    return plain;
}

// Hands out the space units from the cursor up to `end`, a run that is not
// followed by a line end. Returns 0 when the cursor only passed plain text.
int split_space_run(lexer_state *s, const char *end) {
    const char *p = s->cursor;
    int units = 0;
    while (p < end && units < 4) {
        int n = space_unit_length(p);
        if (!n)
            break;
        p += n;
        units++;
    }
    if (units == 4) {
        s->cursor = p;
        return INDENT_SPACE;
    }
    s->cursor = p;
    if (units >= 2 || *p == '\t')
        return NON_INDENT_SPACE;
    return 0;  // a lone space unit is plain text
}

// A maximal run of space units from the cursor to `end`.
int lex_space_run(lexer_state *s, const char *end) {
    const char *run = s->cursor;
    int eol = line_end_length(end);
    if (eol) {
        int one_unit = end - run == 1 || (end - run == 2 && (uchar)*run == 0xC2);
        if (!one_unit)
            return finish_line_end(s, end, eol, HARD_BREAK, HARD_BREAK_SPACE);
        if (*run == ' ') {
            s->cursor = end + eol;  // the space belongs to the line end
            return NEWLINE;
        }
        s->cursor = end;  // a lone non-breaking space is plain text
        return 0;
    }
    s->run_start = run;
    s->run_end = end;
    return split_space_run(s, end);
}

// Still inside a run of spaces that an earlier call measured?
bool in_known_space_run(const lexer_state *s) {
    const char *end = s->run_end;
    if (!end || s->cursor < s->run_start || s->cursor >= end)
        return false;
    // Cheap checks that the run is still what was measured: the cursor is on
    // a space unit and the run ends neither in a unit nor in a line end.
    return space_unit_length(s->cursor) && !space_unit_length(end) && !line_end_length(end);
}

// "#" runs: a heading marker, or a single HASH. `p` is at the first "#".
int lex_hashes(lexer_state *s) {
    const char *p = s->start;
    int n = 0;
    while (p[n] == '#' && n < 7)
        n++;
    const char *after = p + n;
    if (n <= 6) {
        if (*after == '\0' || is_line_end((uchar)*after)) {
            s->cursor = after;
            return HASH1 + n - 1;
        }
        if (blank_length(after)) {
            const char *q = after;
            while (int b = blank_length(q))
                q += b;
            // Before the end of the line the blanks are lexed on their own.
            s->cursor = (*q == '\0' || is_line_end((uchar)*q)) ? after : q;
            return HASH1 + n - 1;
        }
    }
    s->cursor = p + 1;
    return HASH;
}

// What a byte is to a run of plain text: a plain byte (one that begins no
// lexeme and is not NUL: letters, a few punctuation marks, control
// characters, every byte of a multi-byte character but the lead of U+00A0),
// or a space or a "." that the run takes when plain text follows it.
enum : uchar { kRunPlain = 1, kRunSpace = 2, kRunDot = 4 };

constexpr std::array<uchar, 256> run_classes() {
    std::array<uchar, 256> classes{};
    for (int c = 0; c < 256; c++) {
        bool plain = (c >= 0x01 && c <= 0x08) || c == 0x0B || c == 0x0C || (c >= 0x0E && c <= 0x1F) ||
                     c == ',' || c == ';' || c == '?' || c == '@' || (c >= 'A' && c <= 'Z') ||
                     (c >= 'a' && c <= 'z') || (c >= 0x7F && c != 0xC2);
        classes[c] = plain ? kRunPlain : c == ' ' ? kRunSpace : c == '.' ? kRunDot : 0;
    }
    return classes;
}

inline constexpr std::array<uchar, 256> kRunClasses = run_classes();

// A byte that plain text is made of (the lexer's plain bytes, digits too).
inline bool is_word_byte(uchar c) { return (kRunClasses[c] & kRunPlain) || (c >= '0' && c <= '9'); }

// A "/" inside a word or an address ("and/or", "://host/path/1") is plain
// text: a token of its own for each would make a tree of addresses mostly
// slashes. It stays a lexeme at the start of a line or of a word, after
// markup other than ":", next to a non-breaking space, before anything but a
// word or another "/", and at either end of the text being cut.
int lex_slash(lexer_state *s, const char *stop) {
    const char *p = s->start;
    s->cursor = p + 1;
    if (!s->begin || p <= s->begin || p + 1 >= stop)
        return SLASH;
    uchar before = (uchar)p[-1], after = (uchar)p[1];
    if (before == 0xA0 && p - 1 > s->begin && (uchar)p[-2] == 0xC2)
        return SLASH;
    bool joined_before = is_word_byte(before) || before == ':' || before == '/';
    bool joined_after = is_word_byte(after) || after == '/';
    return joined_before && joined_after ? 0 : SLASH;
}

// The ":" of an address's scheme ("https://") is plain text, after a word
// and before "//". So is any ":" inside a line the tokenizer lets have them
// ("**topic**: text", "10:30"): no writer prints it otherwise. A ":" after a
// blank or a line end may begin a definition, one after "]" ends a
// definition's label, and one after ">" or "|" may begin a line once a quote
// marker or a cell is taken off; those stay lexemes, as do the ones at
// either end of the text being cut.
int lex_colon(lexer_state *s, const char *stop) {
    const char *p = s->start;
    s->cursor = p + 1;
    if (!s->begin || p <= s->begin || p + 1 >= stop)
        return COLON;
    uchar before = (uchar)p[-1];
    if (p + 3 <= stop && is_word_byte(before) && p[1] == '/' && p[2] == '/')
        return 0;
    if (!s->colons_in_text)
        return COLON;
    bool after_blank = before == ' ' || before == '\t' || is_line_end(before) ||
                       (before == 0xA0 && p - 1 > s->begin && (uchar)p[-2] == 0xC2);
    bool after_kept_mark = before == ']' || before == '>' || before == '|';
    return after_blank || after_kept_mark ? COLON : 0;
}

// Whether a "-" or "_" at `p` inside a word may be plain text: its line
// lets words be joined from before it.
bool joins_words(const lexer_state *s, const char *p) {
    return s->words_from && p > s->words_from;
}

// A lone "-" in a list item's text, between two words ("well-known") or
// two spaces ("a - b"), is plain text: smart typography makes it text in
// such text anyway, and without it every writer prints it as it stands.
// So is one inside a word where words may be joined, in any line. Between
// two digits ("1-2") it stays a lexeme, an en dash.
int lex_hyphen(lexer_state *s, const char *stop) {
    const char *p = s->start;
    s->cursor = p + 1;
    if (!s->begin || p <= s->begin || p + 1 >= stop)
        return DASH_N;
    uchar before = (uchar)p[-1], after = (uchar)p[1];
    bool digits = before >= '0' && before <= '9' && after >= '0' && after <= '9';
    bool in_word = is_word_byte(before) && is_word_byte(after) && !digits;
    if (in_word && joins_words(s, p))
        return 0;
    if (!s->hyphens_from || p <= s->hyphens_from)
        return DASH_N;
    bool spaced = before == ' ' && after == ' ';
    return in_word || spaced ? 0 : DASH_N;
}

inline bool is_ascii_alnum(uchar c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

// A lone "_" between two letters or digits ("snake_case") is plain text
// where words may be joined: with alphanumerics on both sides it neither
// opens nor closes emphasis, and is printed as it stands.
int lex_underscore(lexer_state *s, const char *stop) {
    const char *p = s->start;
    s->cursor = p + 1;
    if (!s->begin || p <= s->begin || p + 1 >= stop)
        return UL;
    bool in_word = is_ascii_alnum((uchar)p[-1]) && is_ascii_alnum((uchar)p[1]);
    return in_word && joins_words(s, p) ? 0 : UL;
}

int lex_once(lexer_state *s, const char *stop);

// A "(" is plain text when parentheses may be and it follows a blank or a
// word ("see (below)", "f(x)"), and its ")" comes later on the line with
// nothing the lexer would report between them: the pair then constrains no
// pairing and no pass reads it. A "(" right after "]" opens a destination;
// it and the parentheses inside it stay lexemes.
int lex_paren_left(lexer_state *s, const char *stop) {
    const char *p = s->start;
    s->cursor = p + 1;
    if (s->destination_depth) {
        s->destination_depth++;
        return PAREN_LEFT;
    }
    if (!s->begin || p <= s->begin)
        return PAREN_LEFT;
    uchar before = (uchar)p[-1];
    if (before == ']') {
        s->destination_depth = 1;
        return PAREN_LEFT;
    }
    bool after_word = (before >= 'A' && before <= 'Z') || (before >= 'a' && before <= 'z') ||
                      (before >= '0' && before <= '9') || before >= 0x80;
    if (!s->parens_in_text || !(before == ' ' || after_word) || p + 2 >= stop ||
        p[1] == ')')
        return PAREN_LEFT;
    // Looks ahead with a copy: the cursor comes back over the same bytes
    // and finds the same (no) lexemes. The look stops at the first lexeme,
    // so no byte is looked at more than twice.
    lexer_state ahead = *s;
    ahead.parens_in_text = false;  // a "(" ahead ends the look without one of its own
    while (ahead.cursor < stop) {
        if (*ahead.cursor == ')') {
            s->text_paren_close = ahead.cursor;
            return 0;
        }
        ahead.start = ahead.cursor;
        if (in_known_space_run(&ahead) ? split_space_run(&ahead, ahead.run_end)
                                       : lex_once(&ahead, stop))
            break;
    }
    return PAREN_LEFT;
}

int lex_paren_right(lexer_state *s) {
    const char *p = s->start;
    s->cursor = p + 1;
    if (p == s->text_paren_close)
        return 0;
    if (s->destination_depth)
        s->destination_depth--;
    return PAREN_RIGHT;
}

// Steps over one character of plain text.
void skip_plain_character(lexer_state *s) {
    size_t n = tzr_utf8_char_length(s->start);
    s->cursor = s->start + (n ? n : 1);
}

// After a run of plain text that ends at `at`: moves the cursor there, and
// says whether the look for a lexeme goes on from there in the same call
// (most lexemes follow such a run; a return and a new call for each cost
// more than the run's own bytes). It does not where the caller's loop would
// do anything but look again: at the end, at a ")" (the look ahead from a
// "(" stops there) or inside a run of spaces already measured.
bool goes_on_after_text(lexer_state *s, const char *at, const char *stop) {
    s->cursor = at;
    if (at >= stop || *at == ')')
        return false;
    s->start = at;
    return !in_known_space_run(s);
}


#if defined(__SSE2__)
// Which of sixteen bytes are plain, spaces and dots, as bit masks. Only the
// plain bytes text is mostly made of are found (letters, ",", ";" and the
// bytes of multi-byte characters); a rarer one (a control character, "?",
// "@", 0x7F) ends a step early, and a step of one unit takes it.
struct RunMasks {
    unsigned plain, space, dot;
};

inline RunMasks run_masks(const char *p) {
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
    auto eq = [&](char x) { return _mm_cmpeq_epi8(c, _mm_set1_epi8(x)); };
    // Letters: c | 0x20 in a-z, compared unsigned by moving the range to the
    // bottom of the signed one.
    const __m128i lower = _mm_or_si128(c, _mm_set1_epi8(0x20));
    const __m128i letter = _mm_cmplt_epi8(_mm_add_epi8(lower, _mm_set1_epi8(static_cast<char>(0x80 - 'a'))),
                                          _mm_set1_epi8(static_cast<char>(0x80 + 26)));
    // Every byte from 0x80 (negative as signed) but 0xC2.
    const __m128i high = _mm_andnot_si128(eq(static_cast<char>(0xC2)), _mm_cmplt_epi8(c, _mm_setzero_si128()));
    const __m128i plain = _mm_or_si128(_mm_or_si128(letter, high), _mm_or_si128(eq(','), eq(';')));
    return {static_cast<unsigned>(_mm_movemask_epi8(plain)), static_cast<unsigned>(_mm_movemask_epi8(eq(' '))),
            static_cast<unsigned>(_mm_movemask_epi8(eq('.')))};
}
#endif

// Where a run of plain text that goes on at `p` ends: the run is made of
// units, a plain byte, a space or a "." before a plain byte, or a "." before
// a space and a plain byte (see the automaton's rule below). A byte lies
// inside the run by what it and the two after it are, so sixteen bytes are
// looked at together, with no branch on any one of them (the spaces and
// dots of prose would cost a byte-a-step look a mispredicted branch each);
// the last two, whose next bytes that look does not see, are taken only when
// plain. Within the last sixteen bytes before `stop`, and past a plain byte
// that the sixteen-byte look does not know, a unit is taken at a time, each
// byte looked at only after the one before it, up to the terminating NUL at
// most.
const char *plain_run_end(const char *p, const char *stop) {
    for (;;) {
#if defined(__SSE2__)
        while (stop - p >= 16) {
            const RunMasks m = run_masks(p);
            const unsigned inside =
                m.plain | ((m.space | m.dot) & m.plain >> 1) | (m.dot & m.space >> 1 & m.plain >> 2);
            if ((inside & 0xFFFF) != 0xFFFF) {
                p += __builtin_ctz(~inside);
                break;
            }
            p += 16;
        }
#endif
        const uchar c = kRunClasses[(uchar)p[0]];
        if (c & kRunPlain)
            p++;
        else if (c && (kRunClasses[(uchar)p[1]] & kRunPlain))
            p += 2;
        else if (c == kRunDot && p[1] == ' ' && (kRunClasses[(uchar)p[2]] & kRunPlain))
            p += 3;
        else
            return p;
    }
}

// After the first unit of a run of plain text, up to `p`: moves the cursor
// to the run's end and says whether the look goes on from there, as
// goes_on_after_text. A lone space after the run, before a mark, joins it (a
// space ends the line, breaks it or indents only when blanks or a line end
// follow it).
bool goes_on_after_plain_run(lexer_state *s, const char *p, const char *stop) {
    const char *run = plain_run_end(p, stop);
    if (*run == ' ') {
        const uchar after = (uchar)run[1];
        if (after != ' ' && after != '\t' && after != '\r' && after != '\n' && after != 0 && after != 0xC2)
            run++;
    }
    return goes_on_after_text(s, run, stop);
}

// One attempt at the cursor: returns a lexeme's type, or 0 after moving the
// cursor over plain text.
int lex_once(lexer_state *s, const char *stop) {
    const char *YYCURSOR;
    const char *YYMARKER;  // last accepting position
again:
    YYCURSOR = s->start;
    YYMARKER = nullptr;
    /*!re2c
        re2c:define:YYCTYPE = "unsigned char";
        re2c:yyfill:enable = 0;
        re2c:indent:top = 1;

        digit = [0-9];
        hex = [0-9A-Fa-f];
        alnum = [0-9A-Za-z];
        unit = " " | "\xC2\xA0";
        eol = "\r\n" | "\n" | "\r";
        punct = [!-/:-@[-`{-~];
        // Bytes that begin no lexeme and are not NUL: letters, a few
        // punctuation marks, control characters and every byte of a
        // multi-byte character except the lead of U+00A0.
        plain = [\x01-\x08\x0B\x0C\x0E-\x1F,;?@A-Za-z\x7F-\xC1\xC3-\xFF];

        "{++"  { s->cursor = YYCURSOR; return CRITIC_ADD_OPEN; }
        "++}"  { s->cursor = YYCURSOR; return CRITIC_ADD_CLOSE; }
        "{--"  { s->cursor = YYCURSOR; return CRITIC_DEL_OPEN; }
        "--}"  { s->cursor = YYCURSOR; return CRITIC_DEL_CLOSE; }
        "{>>"  { s->cursor = YYCURSOR; return CRITIC_COM_OPEN; }
        "<<}"  { s->cursor = YYCURSOR; return CRITIC_COM_CLOSE; }
        "{~~"  { s->cursor = YYCURSOR; return CRITIC_SUB_OPEN; }
        "~>"   { s->cursor = YYCURSOR; return CRITIC_SUB_DIV; }
        "~~}"  { s->cursor = YYCURSOR; return CRITIC_SUB_CLOSE; }
        "{=="  { s->cursor = YYCURSOR; return CRITIC_HI_OPEN; }
        "==}"  { s->cursor = YYCURSOR; return CRITIC_HI_CLOSE; }

        "*"    { s->cursor = YYCURSOR; return STAR; }
        "_"    { return lex_underscore(s, stop); }
        "["    { s->cursor = YYCURSOR; return BRACKET_LEFT; }
        "]"    { s->cursor = YYCURSOR; return BRACKET_RIGHT; }
        "[>"   { s->cursor = YYCURSOR; return BRACKET_ABBREVIATION_LEFT; }
        "[^"   { s->cursor = YYCURSOR; return BRACKET_FOOTNOTE_LEFT; }
        "[?"   { s->cursor = YYCURSOR; return BRACKET_GLOSSARY_LEFT; }
        "[#"   { s->cursor = YYCURSOR; return BRACKET_CITATION_LEFT; }
        "!["   { s->cursor = YYCURSOR; return BRACKET_IMAGE_LEFT; }
        "[%"   { s->cursor = YYCURSOR; return BRACKET_VARIABLE_LEFT; }
        "("    { return lex_paren_left(s, stop); }
        ")"    { return lex_paren_right(s); }
        "<"    { s->cursor = YYCURSOR; return ANGLE_LEFT; }
        ">"    { s->cursor = YYCURSOR; return ANGLE_RIGHT; }
        "{{"   { s->cursor = YYCURSOR; return BRACE_DOUBLE_LEFT; }
        "}}"   { s->cursor = YYCURSOR; return BRACE_DOUBLE_RIGHT; }
        "{{TOC}}" { s->cursor = YYCURSOR; return TOC; }
        "{="   { s->cursor = YYCURSOR; return BRACE_RAW_LEFT; }
        "{"    { s->cursor = YYCURSOR; return BRACE_LEFT; }
        "}"    { s->cursor = YYCURSOR; return BRACE_RIGHT; }

        "&"    { s->cursor = YYCURSOR; return AMPERSAND; }
        "&" 'amp' ";" { s->cursor = YYCURSOR; return AMPERSAND_LONG; }
        "&" alnum+ ";" | "&#" digit+ ";" | "&#" [xX] hex+ ";"
               { s->cursor = YYCURSOR; return HTML_ENTITY; }

        "`"+   { s->cursor = YYCURSOR; return BACKTICK; }
        ":"    { return lex_colon(s, stop); }
        "---"  { s->cursor = YYCURSOR; return DASH_M; }
        "--"   { s->cursor = YYCURSOR; return DASH_N; }
        "-"    { return lex_hyphen(s, stop); }
        "..." | ". . ." { s->cursor = YYCURSOR; return ELLIPSIS; }
        "'"    { s->cursor = YYCURSOR; return QUOTE_SINGLE; }
        "\""   { s->cursor = YYCURSOR; return QUOTE_DOUBLE; }
        "''"   { s->cursor = YYCURSOR; return QUOTE_RIGHT_ALT; }
        "<!--" { s->cursor = YYCURSOR; return HTML_COMMENT_START; }
        "-->"  { s->cursor = YYCURSOR; return HTML_COMMENT_STOP; }

        "\\" punct | "\\ " { s->cursor = YYCURSOR; return ESCAPED_CHARACTER; }
        "\\\\(" { s->cursor = YYCURSOR; return MATH_PAREN_OPEN; }
        "\\\\)" { s->cursor = YYCURSOR; return MATH_PAREN_CLOSE; }
        "\\\\[" { s->cursor = YYCURSOR; return MATH_BRACKET_OPEN; }
        "\\\\]" { s->cursor = YYCURSOR; return MATH_BRACKET_CLOSE; }
        "\\" eol { s->cursor = YYCURSOR; return HARD_BREAK; }
        "\\"   { s->cursor = YYCURSOR; return BACKSLASH; }

        "$"    { s->cursor = YYCURSOR; return MATH_DOLLAR_SINGLE; }
        "$$"   { s->cursor = YYCURSOR; return MATH_DOLLAR_DOUBLE; }
        "="    { s->cursor = YYCURSOR; return EQUAL; }
        "|"+   { s->cursor = YYCURSOR; return PIPE; }
        "+"    { s->cursor = YYCURSOR; return PLUS; }
        "/"    { return lex_slash(s, stop); }
        "^"    { s->cursor = YYCURSOR; return SUPERSCRIPT; }
        "~"    { s->cursor = YYCURSOR; return SUBSCRIPT; }
        "%"    { s->cursor = YYCURSOR; return PERCENT; }
        "\t"   { s->cursor = YYCURSOR; return INDENT_TAB; }

        // Only the first "#" is matched here; the action measures the run.
        "#"    { return lex_hashes(s); }

        unit+  { return lex_space_run(s, YYCURSOR); }

        eol    { return finish_line_end(s, s->start, (int)(YYCURSOR - s->start),
                                        NEWLINE, NEWLINE_SPACE); }

        // A digit run is matched whole, so that a long run without a "."
        // is passed over once rather than rescanned from each digit.
        digit+ "." {
            const char *p = YYCURSOR;
            if (*p == ' ' || *p == '\t' || is_line_end((uchar)*p) || space_unit_length(p) == 2) {
                s->cursor = p;
                return ENUMERATOR;
            }
            s->cursor = p - 1;
            return 0;
        }
        digit+ { s->cursor = YYCURSOR; return 0; }

        // A run of plain text is passed over in one step. A lone space
        // between two plain bytes is plain text too, so a line of prose
        // costs one step per stretch of words rather than one per word. So
        // is a "." before a plain byte, or before a space and a plain byte:
        // no lexeme begins so (an ellipsis's first "." has another after it,
        // or " ."), and a sentence's end or a name's dot ("fs.readFile")
        // then ends no step. The automaton matches the run's first unit;
        // the rest is looked for by hand, as are the lone space after it
        // and the look on.
        plain | " " plain | "." plain | ". " plain {
            if (goes_on_after_plain_run(s, YYCURSOR, stop))
                goto again;
            return 0;
        }
        * { skip_plain_character(s); return 0; }
    */
}

}  // namespace

size_t tzr_utf8_char_length(const char *p) {
    if (!p)
        return 0;
    uchar c = (uchar)*p;
    size_t n;
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF)
        n = 3;
    else if (c >= 0xF0 && c <= 0xF4)
        n = 4;
    else
        return 0;
    // Stops at the first byte that is not a continuation byte, so a cut-short
    // character never reaches past a NUL or a line end.
    for (size_t i = 1; i < n; i++)
        if (((uchar)p[i] & 0xC0) != 0x80)
            return 0;
    return n;
}

namespace {

// The first byte in [p, stop) that ends a look for a line's end in one
// step: a line end, the NUL, a parenthesis (looked at), a "[" or a
// backslash, or 0xC2, which leads a non-breaking space.
const char *line_end_stop(const char *p, const char *stop) {
    return byte_scan::find_first_of<'\0', '\n', '\r', '(', ')', '[', '\\', 0xC2>(p, stop);
}

}  // namespace

int tzr_lex_line_end(lexer_state *s, const char *stop, const char **blocked) {
    if (!s || !s->cursor || !stop)
        return 0;
    // Without a backslash before it, every parenthesis is a lexeme of its
    // own, and only the depth of a destination is carried from it: a "("
    // right after "]" opens one, and inside one every "(" goes a level
    // deeper and every ")" a level up. Elsewhere a "(" and its ")" change
    // nothing, whether they stay in the text or not (nothing between two
    // that stay there could open a destination).
    unsigned depth = s->destination_depth;
    const char *p = s->cursor;
    for (;; p++) {
        p = line_end_stop(p, stop);
        if (p >= stop)
            break;
        if (*p == '(') {
            if (depth)
                depth++;
            else if (p > s->begin && p[-1] == ']')
                depth = 1;
        } else if (*p == ')') {
            if (depth)
                depth--;
        } else {
            break;
        }
    }
    if (p >= stop || *p != '\n') {
        if (blocked)
            *blocked = p;
        return 0;
    }
    s->destination_depth = depth;
    // Spaces right before the line feed are lexed with it.
    const char *run = p;
    while (run > s->cursor && run[-1] == ' ')
        run--;
    s->start = run;
    if (run < p) {
        s->cursor = run;
        return lex_space_run(s, p);
    }
    return finish_line_end(s, p, 1, NEWLINE, NEWLINE_SPACE);
}

int tzr_lex_token(lexer_state *s, const char *stop) {
    if (!s || !s->cursor || !stop)
        return 0;
    while (s->cursor < stop) {
        s->start = s->cursor;
        int type = in_known_space_run(s) ? split_space_run(s, s->run_end) : lex_once(s, stop);
        if (type)
            return type;
    }
    return 0;
}

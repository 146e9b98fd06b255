// The cases that every writer handles by the same rules and only spells in
// its own way, each writer listing its spellings in a table:
//
// - the marks of inline markup: brackets and braces, CriticMarkup marks,
//   emphasis marks, typographic characters, quotes, math delimiters,
//   scripts, line ends, and the pairs that are no more than their content
//   (mark_table);
// - the blocks that are their content between an opening and a closing
//   (block_frames).
#pragma once

#include <cstddef>
#include <cstdint>

#include "library/d_string.h"
#include "library/export_context.h"
#include "library/token.h"
#include "library/token_types.h"

namespace writer_utils {

// What a mark's spelling means, and when each of its literals is written.
enum class mark_kind : uint8_t {
    none,         // not a mark of the table: the writer decides
    literal,      // `text`, always
    paired,       // `text` without a mate, `opening` or `closing` with one
    typographic,  // `smart` with smart typography, else `text` (NULL: the mark's source)
    quote,        // with a mate and smart typography, the writer's quotation mark; else `text`
    script,       // `opening` or `closing` when paired; alone, `text` for a one-byte mark,
                  // else the mark's child between `opening` and `closing`
    source,       // the mark's source text, as the writer writes text
    children,     // a pair that is only its content: its children
    line_break,   // `text` when a token follows, and the newline count becomes `newlines`
    line_end,     // a line feed when a token follows
    silent,       // nothing
};

struct mark_spelling {
    mark_kind kind = mark_kind::none;
    const char *text = nullptr;
    const char *opening = nullptr;
    const char *closing = nullptr;
    const char *smart = nullptr;
    int16_t newlines = 0;
};

constexpr mark_spelling literal(const char *text) { return {mark_kind::literal, text}; }
constexpr mark_spelling paired(const char *alone, const char *opening, const char *closing) {
    return {mark_kind::paired, alone, opening, closing};
}
// A math delimiter that only ever opens or only ever closes: `alone` without
// a mate, `with_mate` with one.
constexpr mark_spelling paired(const char *alone, const char *with_mate) {
    return paired(alone, with_mate, with_mate);
}
constexpr mark_spelling typographic(const char *smart, const char *plain = nullptr) {
    return {mark_kind::typographic, plain, nullptr, nullptr, smart};
}
constexpr mark_spelling quote(const char *plain) { return {mark_kind::quote, plain}; }
constexpr mark_spelling script(const char *alone, const char *opening, const char *closing) {
    return {mark_kind::script, alone, opening, closing};
}
constexpr mark_spelling line_break(const char *text, int16_t newlines) {
    return {mark_kind::line_break, text, nullptr, nullptr, nullptr, newlines};
}
constexpr mark_spelling kSource{mark_kind::source};
constexpr mark_spelling kChildren{mark_kind::children};
constexpr mark_spelling kLineEnd{mark_kind::line_end};
constexpr mark_spelling kSilent{mark_kind::silent};

struct mark_row {
    uint16_t type;
    mark_spelling spelling;
};

// Quotation marks by quotes language (english, dutch, french, german,
// germanguillemets, spanish, swedish), each row in the order of
// kDoubleOpen, kDoubleClose, kSingleOpen, kSingleClose.
enum { kDoubleOpen, kDoubleClose, kSingleOpen, kSingleClose };
using quote_marks = const char *const[7][4];

// One writer's spellings, found by token type.
class mark_table {
  public:
    using text_writer = void (*)(DString *out, const char *source, const token *t);
    using token_writer = void (*)(DString *out, const char *source, token *t,
                                  tzr_export_context *context);

    // `text` writes a token's source text, `token` one token and `chain` a
    // token with its following siblings, as the writer does. The rows come
    // in lists; a later row for a type replaces an earlier one.
    template <size_t... N>
    constexpr mark_table(const quote_marks &quotes, text_writer text, token_writer token,
                         token_writer chain, const mark_row (&...lists)[N])
        : quotes_(&quotes), text_(text), token_(token), chain_(chain) {
        (add(lists), ...);
    }

    // Whether the writer writes nothing for the type's tokens.
    constexpr bool is_silent(uint16_t type) const {
        return type < kTokenTypeCount && slot_of_type_[type] &&
               spellings_[slot_of_type_[type] - 1].kind == mark_kind::silent;
    }

    const mark_spelling *find(uint16_t type) const {
        if (type >= kTokenTypeCount || !slot_of_type_[type])
            return nullptr;
        return &spellings_[slot_of_type_[type] - 1];
    }
    const char *quote(const tzr_export_context *c, int which) const {
        return (*quotes_)[c->quotes_language < 7 ? c->quotes_language : 0][which];
    }

    // Whether the writer spells the token as its source bytes, and does
    // nothing else: marks written as their source, and one-byte marks whose
    // spelling is that byte.
    bool spells_as_source(const char *source, const token *t) const {
        if (t->type >= kTokenTypeCount)
            return false;
        char byte = as_source_[t->type];
        return byte == kAnyBytes || (byte && t->len == 1 && source[t->start] == byte);
    }

    // Writes the mark as the writer spells it; false, with nothing written,
    // when the table has no spelling for the token's type.
    bool write(DString *out, const char *source, token *t, tzr_export_context *c) const;

  private:
    static constexpr size_t kMaxMarks = 128;

    template <size_t N>
    constexpr void add(const mark_row (&rows)[N]) {
        for (const mark_row &row : rows) {
            uint8_t &slot = slot_of_type_[row.type];
            if (!slot) {
                // A table that outgrows its slots does not compile.
                if (used_ == kMaxMarks)
                    throw "too many marks";
                slot = static_cast<uint8_t>(++used_);
            }
            spellings_[slot - 1] = row.spelling;
            const mark_spelling &m = row.spelling;
            as_source_[row.type] = m.kind == mark_kind::source ? kAnyBytes
                                   : m.kind == mark_kind::literal && m.text[0] && !m.text[1]
                                       ? m.text[0]
                                       : '\0';
        }
    }

    const quote_marks *quotes_;
    text_writer text_;
    token_writer token_;
    token_writer chain_;
    size_t used_ = 0;
    uint8_t slot_of_type_[kTokenTypeCount] = {};  // 0: none, else 1 + index
    mark_spelling spellings_[kMaxMarks] = {};
    // By type: kAnyBytes for a mark written as its source, the byte of a
    // one-byte spelling, or NUL.
    static constexpr char kAnyBytes = '\x01';
    char as_source_[kTokenTypeCount] = {};
};

// The quotation marks as HTML and XML character references.
constexpr quote_marks kEntityQuotes = {
    {"&#8220;", "&#8221;", "&#8216;", "&#8217;"},  // english
    {"&#8222;", "&#8221;", "&#8216;", "&#8217;"},  // dutch
    {"&#171;", "&#187;", "&#39;", "&#8217;"},      // french
    {"&#8222;", "&#8220;", "&#8218;", "&#8216;"},  // german
    {"&#187;", "&#171;", "&#8250;", "&#8249;"},    // germanguillemets
    {"&#171;", "&#187;", "&#8216;", "&#8217;"},    // spanish
    {"&#8221;", "&#8221;", "&#8217;", "&#8217;"},  // swedish
};

// The marks that every writer spells alike.
constexpr mark_row kCommonMarks[] = {
    {CRITIC_SUB_DIV_A, literal("~")},
    {BRACKET_LEFT, literal("[")},
    {BRACKET_RIGHT, literal("]")},
    {BRACKET_FOOTNOTE_LEFT, literal("[^")},
    {BRACKET_GLOSSARY_LEFT, literal("[?")},
    {BRACKET_IMAGE_LEFT, literal("![")},
    {PAREN_LEFT, literal("(")},
    {PAREN_RIGHT, literal(")")},
    {COLON, literal(":")},
    {EQUAL, literal("=")},
    {QUOTE_SINGLE, quote("'")},
    {QUOTE_RIGHT_ALT, quote("''")},
    {INDENT_SPACE, literal(" ")},
    {NON_INDENT_SPACE, literal(" ")},
    {NEWLINE, kLineEnd},
    {CONSUMED, kSilent},
    {MANUAL_LABEL, kSilent},
    {TABLE_DIVIDER, kSilent},
    {CODE_FENCE_LINE, kSilent},
    {MARKER_BLOCKQUOTE, kSilent},
    {MARKER_H1, kSilent},
    {MARKER_H2, kSilent},
    {MARKER_H3, kSilent},
    {MARKER_H4, kSilent},
    {MARKER_H5, kSilent},
    {MARKER_H6, kSilent},
    {MARKER_LIST_BULLET, kSilent},
    {MARKER_LIST_ENUMERATOR, kSilent},
    {PAIR_BRACE, kChildren},
    {PAIR_EMPH, kChildren},
    {PAIR_PAREN, kChildren},
    {PAIR_QUOTE_SINGLE, kChildren},
    {PAIR_QUOTE_DOUBLE, kChildren},
    {PAIR_RAW_FILTER, kChildren},
    {PAIR_SUBSCRIPT, kChildren},
    {PAIR_SUPERSCRIPT, kChildren},
    {PAIR_STAR, kChildren},
    {PAIR_STRONG, kChildren},
    {PAIR_UL, kChildren},
    {PAIR_DOUBLE_BRACE, kChildren},
    {ENUMERATOR, kSource},
    {TEXT_PLAIN, kSource},
    {TEXT, kSource},
};

// The marks that HTML and OpenDocument spell alike: as XML, with character
// references for smart typography.
constexpr mark_row kEntityMarks[] = {
    {CRITIC_ADD_OPEN, literal("{++")},
    {CRITIC_ADD_CLOSE, literal("++}")},
    {CRITIC_DEL_OPEN, literal("{--")},
    {CRITIC_DEL_CLOSE, literal("--}")},
    {CRITIC_COM_OPEN, literal("{&gt;&gt;")},
    {CRITIC_COM_CLOSE, literal("&lt;&lt;}")},
    {CRITIC_SUB_OPEN, literal("{~~")},
    {CRITIC_SUB_DIV, literal("~&gt;")},
    {CRITIC_SUB_DIV_B, literal("&gt;")},
    {CRITIC_SUB_CLOSE, literal("~~}")},
    {CRITIC_HI_OPEN, literal("{==")},
    {CRITIC_HI_CLOSE, literal("==}")},
    {ANGLE_LEFT, literal("&lt;")},
    {ANGLE_RIGHT, literal("&gt;")},
    {AMPERSAND, literal("&amp;")},
    {AMPERSAND_LONG, literal("&amp;")},
    {BRACKET_CITATION_LEFT, literal("[#")},
    {BRACKET_VARIABLE_LEFT, literal("[%")},
    {BRACE_DOUBLE_LEFT, literal("{{")},
    {BRACE_DOUBLE_RIGHT, literal("}}")},
    {APOSTROPHE, typographic("&#8217;")},
    {DASH_M, typographic("&#8212;")},
    {DASH_N, typographic("&#8211;")},
    {ELLIPSIS, typographic("&#8230;")},
    {QUOTE_DOUBLE, quote("&quot;")},
    {HTML_COMMENT_START, typographic("&lt;!&#8211;", "&lt;!--")},
    {HTML_COMMENT_STOP, typographic("&#8211;&gt;", "--&gt;")},
    {UL, kSource},
    {PIPE, kSource},
    {HASH1, kSource},
    {HASH2, kSource},
    {HASH3, kSource},
    {HASH4, kSource},
    {HASH5, kSource},
    {HASH6, kSource},
    {TOC, kSource},
    {BACKSLASH, kSource},
    {BRACE_RAW_LEFT, kSource},
    {BRACE_LEFT, kSource},
    {BRACE_RIGHT, kSource},
    {HASH, kSource},
    {PERCENT, kSource},
};

// A block written as its children between an opening and a closing, with
// the blank lines the writers keep between blocks: the newlines padded
// before the opening and before the closing, and the newline count set after
// each (kKeep leaves it as the children left it).
struct block_frame {
    static constexpr int16_t kKeep = -1;

    int16_t pad = 0;
    const char *open = nullptr;
    int16_t after_open = kKeep;
    int16_t pad_close = 0;
    const char *close = nullptr;
    int16_t after = 0;
    // A run of neighbouring blocks of the type shares one opening and one
    // closing (definition lists).
    bool joins_run = false;
    // A block that is its literals alone (rules, the table of contents).
    bool without_children = false;
};

struct block_row {
    uint16_t type;
    block_frame frame;
};

// One writer's framed blocks, found by token type.
class block_frames {
  public:
    using chain_writer = void (*)(DString *out, const char *source, token *first,
                                  tzr_export_context *context);

    // `chain` writes a token with its following siblings, as the writer does.
    template <size_t N>
    constexpr block_frames(chain_writer chain, const block_row (&rows)[N])
        : chain_(chain), rows_(rows) {
        // A table with more rows than a slot can number does not compile.
        if (N > 255)
            throw "too many frames";
        // The first row for a type is its frame.
        for (size_t i = N; i > 0; i--)
            slot_of_type_[rows[i - 1].type] = static_cast<uint8_t>(i);
    }

    // Writes the block in its frame; false, with nothing written, when the
    // table has no frame for the token's type.
    bool write(DString *out, const char *source, token *t, tzr_export_context *c) const;

  private:
    chain_writer chain_;
    const block_row *rows_;
    // Each block type's frame, looked up once a block: 0 for none, else one
    // more than the index of its row.
    uint8_t slot_of_type_[kTokenTypeCount] = {};
};

}  // namespace writer_utils

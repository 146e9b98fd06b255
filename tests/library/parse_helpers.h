// Helpers for the block-parser, pairing and engine tests: readable tree
// dumps and hand-built token chains.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "library/engine.h"
#include "library/token.h"

inline std::string type_name(unsigned type) {
    static const std::map<unsigned, std::string> names = {
        {DOC_ROOT, "ROOT"}, {LINE_PLAIN, "L_PLAIN"}, {LINE_EMPTY, "L_EMPTY"},
        {LINE_TABLE_SEPARATOR, "L_SEP"}, {LINE_FALLBACK_PLAIN, "L_FB"},
        {LINE_HR, "L_HR"}, {LINE_SETEXT_2, "L_SETEXT2"}, {LINE_FENCE_3, "L_FENCE3"},
        {LINE_META, "L_META"}, {LINE_META_START, "L_METASTART"},
        {BLOCK_BLOCKQUOTE, "QUOTE"}, {BLOCK_CODE_FENCED, "FENCED"},
        {BLOCK_CODE_INDENTED, "ICODE"}, {BLOCK_DEFLIST, "DEFLIST"},
        {BLOCK_DEFINITION, "DEFINITION"}, {BLOCK_DEF_ABBREVIATION, "DEF_ABBR"},
        {BLOCK_DEF_CITATION, "DEF_CITE"}, {BLOCK_DEF_GLOSSARY, "DEF_GLOSS"},
        {BLOCK_DEF_FOOTNOTE, "DEF_FN"}, {BLOCK_DEF_LINK, "DEF_LINK"}, {BLOCK_EMPTY, "EMPTY"},
        {BLOCK_H1, "H1"}, {BLOCK_H2, "H2"}, {BLOCK_H3, "H3"}, {BLOCK_HR, "HR"},
        {BLOCK_HTML, "HTML"}, {BLOCK_LIST_BULLETED, "UL"}, {BLOCK_LIST_BULLETED_LOOSE, "UL_LOOSE"},
        {BLOCK_LIST_ENUMERATED, "OL"}, {BLOCK_LIST_ENUMERATED_LOOSE, "OL_LOOSE"},
        {BLOCK_LIST_ITEM, "LI"}, {BLOCK_LIST_ITEM_TEXT, "LI_TEXT"}, {BLOCK_META, "META"},
        {BLOCK_PARA, "PARA"}, {BLOCK_SETEXT_1, "SETEXT1"}, {BLOCK_SETEXT_2, "SETEXT2"},
        {BLOCK_TABLE, "TABLE"}, {BLOCK_TABLE_HEADER, "THEAD"}, {BLOCK_TABLE_SECTION, "TBODY"},
        {BLOCK_TERM, "TERM"}, {BLOCK_TOC, "TOC"},
        {PAIR_CRITIC_ADD, "P_ADD"}, {PAIR_CRITIC_DEL, "P_DEL"}, {PAIR_CRITIC_COM, "P_COM"},
        {PAIR_CRITIC_SUB_ADD, "P_SUBADD"}, {PAIR_CRITIC_SUB_DEL, "P_SUBDEL"},
        {PAIR_CRITIC_HI, "P_HI"}, {PAIR_BACKTICK, "P_CODE"}, {PAIR_BRACKET, "P_BR"},
        {PAIR_BRACKET_FOOTNOTE, "P_BR_FN"}, {PAIR_EMPH, "P_EM"}, {PAIR_STRONG, "P_STRONG"},
        {PAIR_MATH, "P_MATH"}, {PAIR_PAREN, "P_PAREN"}, {PAIR_QUOTE_SINGLE, "P_SQ"},
        {PAIR_QUOTE_DOUBLE, "P_DQ"}, {PAIR_SUPERSCRIPT, "P_SUP"}, {PAIR_SUBSCRIPT, "P_SUB"},
        {STAR, "*"}, {UL, "_"}, {EMPH_START, "EM<"}, {EMPH_STOP, ">EM"},
        {STRONG_START, "ST<"}, {STRONG_STOP, ">ST"}, {BRACKET_LEFT, "["},
        {BRACKET_FOOTNOTE_LEFT, "[^"}, {BRACKET_RIGHT, "]"}, {PAREN_LEFT, "("},
        {PAREN_RIGHT, ")"}, {APOSTROPHE, "APOS"}, {BACKTICK, "`"}, {CODE_FENCE_LINE, "FENCE"},
        {COLON, "COLON"}, {DASH_N, "DASH"}, {QUOTE_SINGLE, "'"}, {QUOTE_DOUBLE, "\""},
        {MATH_DOLLAR_SINGLE, "$"}, {SUPERSCRIPT, "^"}, {SUBSCRIPT, "~"}, {TABLE_ROW, "ROW"},
        {TABLE_CELL, "CELL"}, {TABLE_DIVIDER, "|"}, {PIPE, "PIPE"}, {CONSUMED, "CONSUMED"},
        {NEWLINE, "NL"}, {TEXT, "T"}, {CRITIC_ADD_OPEN, "{++"}, {CRITIC_ADD_CLOSE, "++}"},
        {CRITIC_SUB_OPEN, "{~~"}, {CRITIC_SUB_DIV, "~>"}, {CRITIC_SUB_DIV_A, "~"},
        {CRITIC_SUB_DIV_B, ">"}, {CRITIC_SUB_CLOSE, "~~}"}, {HTML_COMMENT_START, "<!--"},
        {HTML_COMMENT_STOP, "-->"}, {MARKER_LIST_BULLET, "BULLET"},
        {MARKER_BLOCKQUOTE, "QMARK"}, {MARKER_H1, "H1MARK"}, {INDENT_SPACE, "INDENT"},
        {NON_INDENT_SPACE, "NIS"}, {ANGLE_LEFT, "<"}};
    auto it = names.find(type);
    return it != names.end() ? it->second : std::to_string(type);
}

// "TYPE" for a leaf, "TYPE(children...)" for a parent, siblings separated by
// spaces. `max_depth` cuts the dump off below that level.
inline std::string dump_chain(const token *t, int max_depth = 64) {
    std::string out;
    for (; t; t = t->next) {
        if (!out.empty())
            out += ' ';
        out += type_name(t->type);
        if (t->child && max_depth > 0)
            out += "(" + dump_chain(t->child, max_depth - 1) + ")";
    }
    return out;
}

// Only the chain's own types, no children.
inline std::string dump_types(const token *t) { return dump_chain(t, 0); }

// Cuts `text` into inline tokens the way the lexer marks delimiters: one
// token per delimiter, TEXT for the runs between them. Enough for pairing
// tests that must not depend on the lexer's finer decisions.
inline token *inline_tokens(const std::string &text) {
    token *head = nullptr;
    auto add = [&](unsigned short type, size_t start, size_t len) {
        token *t = token_new(type, start, len);
        if (head)
            token_chain_append(head, t);
        else
            head = t;
    };
    size_t text_start = std::string::npos;
    auto flush = [&](size_t at) {
        if (text_start != std::string::npos)
            add(TEXT, text_start, at - text_start);
        text_start = std::string::npos;
    };
    struct Lexeme {
        const char *s;
        unsigned short type;
    };
    static const Lexeme lexemes[] = {
        {"{++", CRITIC_ADD_OPEN}, {"++}", CRITIC_ADD_CLOSE}, {"{--", CRITIC_DEL_OPEN},
        {"--}", CRITIC_DEL_CLOSE}, {"{~~", CRITIC_SUB_OPEN}, {"~>", CRITIC_SUB_DIV},
        {"~~}", CRITIC_SUB_CLOSE}, {"<!--", HTML_COMMENT_START}, {"-->", HTML_COMMENT_STOP},
        {"[^", BRACKET_FOOTNOTE_LEFT}, {"$$", MATH_DOLLAR_DOUBLE}, {"[", BRACKET_LEFT},
        {"]", BRACKET_RIGHT}, {"(", PAREN_LEFT}, {")", PAREN_RIGHT}, {"*", STAR}, {"_", UL},
        {"'", QUOTE_SINGLE}, {"\"", QUOTE_DOUBLE}, {"$", MATH_DOLLAR_SINGLE},
        {"^", SUPERSCRIPT}, {"~", SUBSCRIPT}, {"-", DASH_N}, {"\n", NEWLINE}};
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == '`') {
            size_t j = i;
            while (j < text.size() && text[j] == '`')
                j++;
            flush(i);
            add(BACKTICK, i, j - i);
            i = j;
            continue;
        }
        bool found = false;
        for (const Lexeme &l : lexemes) {
            size_t n = strlen(l.s);
            if (text.compare(i, n, l.s) == 0) {
                flush(i);
                add(l.type, i, n);
                i += n;
                found = true;
                break;
            }
        }
        if (!found) {
            if (text_start == std::string::npos)
                text_start = i;
            i++;
        }
    }
    flush(text.size());
    return head;
}

// Compact dumps of lexer output and line trees, shared by the lexer, the
// tokenizer and the line-type tests: "NAME:length" per token, lines in
// brackets.
#pragma once

#include <string>
#include <utility>

#include "library/lexer.h"
#include "library/token.h"

inline std::string token_type_name(int type) {
    static const std::pair<int, const char *> names[] = {
        {CRITIC_ADD_OPEN, "ADD_OPEN"}, {CRITIC_ADD_CLOSE, "ADD_CLOSE"},
        {CRITIC_DEL_OPEN, "DEL_OPEN"}, {CRITIC_DEL_CLOSE, "DEL_CLOSE"},
        {CRITIC_COM_OPEN, "COM_OPEN"}, {CRITIC_COM_CLOSE, "COM_CLOSE"},
        {CRITIC_SUB_OPEN, "SUB_OPEN"}, {CRITIC_SUB_DIV, "SUB_DIV"},
        {CRITIC_SUB_CLOSE, "SUB_CLOSE"}, {CRITIC_HI_OPEN, "HI_OPEN"},
        {CRITIC_HI_CLOSE, "HI_CLOSE"}, {STAR, "STAR"}, {UL, "UL"},
        {BRACKET_LEFT, "BRACKET_LEFT"}, {BRACKET_RIGHT, "BRACKET_RIGHT"},
        {BRACKET_ABBREVIATION_LEFT, "BRACKET_ABBR"}, {BRACKET_FOOTNOTE_LEFT, "BRACKET_FN"},
        {BRACKET_GLOSSARY_LEFT, "BRACKET_GLOSS"}, {BRACKET_CITATION_LEFT, "BRACKET_CITE"},
        {BRACKET_IMAGE_LEFT, "BRACKET_IMAGE"}, {BRACKET_VARIABLE_LEFT, "BRACKET_VAR"},
        {PAREN_LEFT, "PAREN_LEFT"}, {PAREN_RIGHT, "PAREN_RIGHT"},
        {ANGLE_LEFT, "ANGLE_LEFT"}, {ANGLE_RIGHT, "ANGLE_RIGHT"},
        {BRACE_DOUBLE_LEFT, "BRACE2_LEFT"}, {BRACE_DOUBLE_RIGHT, "BRACE2_RIGHT"},
        {AMPERSAND, "AMP"}, {AMPERSAND_LONG, "AMP_LONG"}, {BACKTICK, "BACKTICK"},
        {COLON, "COLON"}, {DASH_M, "DASH_M"}, {DASH_N, "DASH_N"}, {ELLIPSIS, "ELLIPSIS"},
        {QUOTE_SINGLE, "QUOTE1"}, {QUOTE_DOUBLE, "QUOTE2"}, {QUOTE_RIGHT_ALT, "QUOTE_ALT"},
        {ESCAPED_CHARACTER, "ESCAPED"}, {HTML_ENTITY, "ENTITY"},
        {HTML_COMMENT_START, "COMMENT_START"}, {HTML_COMMENT_STOP, "COMMENT_STOP"},
        {MATH_PAREN_OPEN, "MATH_PAREN_OPEN"}, {MATH_PAREN_CLOSE, "MATH_PAREN_CLOSE"},
        {MATH_BRACKET_OPEN, "MATH_BRACKET_OPEN"}, {MATH_BRACKET_CLOSE, "MATH_BRACKET_CLOSE"},
        {MATH_DOLLAR_SINGLE, "DOLLAR"}, {MATH_DOLLAR_DOUBLE, "DOLLAR2"}, {EQUAL, "EQUAL"},
        {PIPE, "PIPE"}, {PLUS, "PLUS"}, {SLASH, "SLASH"}, {SUPERSCRIPT, "SUP"},
        {SUBSCRIPT, "SUB"}, {INDENT_TAB, "TAB"}, {INDENT_SPACE, "INDENT"},
        {NON_INDENT_SPACE, "NIS"}, {HASH1, "HASH1"}, {HASH2, "HASH2"}, {HASH3, "HASH3"},
        {HASH4, "HASH4"}, {HASH5, "HASH5"}, {HASH6, "HASH6"},
        {MARKER_BLOCKQUOTE, "M_QUOTE"}, {MARKER_H1, "M_H1"}, {MARKER_H2, "M_H2"},
        {MARKER_H3, "M_H3"}, {MARKER_H4, "M_H4"}, {MARKER_H5, "M_H5"}, {MARKER_H6, "M_H6"},
        {MARKER_LIST_BULLET, "M_BULLET"}, {MARKER_LIST_ENUMERATOR, "M_ENUM"}, {TOC, "TOC"},
        {BACKSLASH, "BACKSLASH"}, {BRACE_RAW_LEFT, "BRACE_RAW"}, {BRACE_LEFT, "BRACE_LEFT"},
        {BRACE_RIGHT, "BRACE_RIGHT"}, {HASH, "HASH"}, {HARD_BREAK, "BREAK"},
        {HARD_BREAK_SPACE, "BREAK_SPACE"}, {NEWLINE, "NL"}, {NEWLINE_SPACE, "NL_SPACE"},
        {ENUMERATOR, "ENUM"}, {PERCENT, "PERCENT"}, {TEXT, "TEXT"},
    };
    for (const auto &[value, name] : names)
        if (value == type)
            return name;
    return std::to_string(type);
}

// Runs the lexer over `text` (`length` bytes, NUL-terminated after them) and
// lists its lexemes, with the plain text between them as TEXT.
inline std::string lex_dump(const char *text, size_t length) {
    lexer_state s;
    s.start = s.cursor = text;
    const char *stop = text + length;
    const char *done = text;
    std::string out;
    auto add = [&](int type, size_t len) {
        if (!out.empty())
            out += ' ';
        out += token_type_name(type) + ":" + std::to_string(len);
    };
    while (int type = tzr_lex_token(&s, stop)) {
        if (s.start > done)
            add(TEXT, s.start - done);
        add(type, s.cursor - s.start);
        done = s.cursor;
    }
    if (stop > done)
        add(TEXT, stop - done);
    return out;
}

inline std::string lex_dump(const std::string &text) { return lex_dump(text.c_str(), text.size()); }

// A chain of tokens as "NAME:length ...".
inline std::string chain_dump(const token *t) {
    std::string out;
    for (; t; t = t->next) {
        if (!out.empty())
            out += ' ';
        out += token_type_name(t->type) + ":" + std::to_string(t->len);
    }
    return out;
}

// A root's lines as "[...] [...]", each preceded by its line type number.
inline std::string lines_dump(const token *root) {
    std::string out;
    for (const token *line = root ? root->child : nullptr; line; line = line->next) {
        if (!out.empty())
            out += ' ';
        out += std::to_string(line->type) + "[" + chain_dump(line->child) + "]";
    }
    return out;
}

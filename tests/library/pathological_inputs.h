// Generator of pathological documents: deep nesting, thousands of unmatched
// openers, very wide tables, long runs of one character and masses of notes
// and references. Each input is built at run time to about the requested
// size, so nothing large is kept in the repository. Shared by the hang tests
// and the benchmarks.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace pathological {

struct Case {
    const char *name;
    std::function<std::string(size_t)> make;  // argument: target size in bytes
};

// `unit` repeated until the text is at least `size` bytes long.
inline std::string repeat(const std::string &unit, size_t size) {
    std::string s;
    s.reserve(size + unit.size());
    while (s.size() < size)
        s += unit;
    return s;
}

// `open` repeated n times, then `middle`, then `close` repeated n times, with
// n chosen so that the whole is about `size` bytes.
inline std::string nest(const std::string &open, const std::string &middle,
                        const std::string &close, size_t size) {
    size_t n = size / (open.size() + close.size());
    std::string s;
    s.reserve(size + middle.size());
    for (size_t i = 0; i < n; i++)
        s += open;
    s += middle;
    for (size_t i = 0; i < n; i++)
        s += close;
    return s;
}

// One line per level, each indented one tab more than the one before.
inline std::string indented_list(size_t size, const char *marker) {
    std::string s;
    for (size_t level = 0; s.size() < size; level++) {
        s.append(level, '\t');
        s += marker;
        s += " x\n";
    }
    return s;
}

inline std::string wide_table(size_t size) {
    size_t columns = size / 12 + 1;  // header, separator and one row
    std::string s;
    for (size_t i = 0; i < columns; i++)
        s += "| a ";
    s += "|\n";
    for (size_t i = 0; i < columns; i++)
        s += "|---";
    s += "|\n";
    for (size_t i = 0; i < columns; i++)
        s += "| b ";
    s += "|\n";
    return s;
}

inline std::string numbered(const std::string &before, const std::string &after, size_t size) {
    std::string s;
    for (size_t i = 0; s.size() < size; i++)
        s += before + std::to_string(i) + after;
    return s;
}

inline const std::vector<Case> &cases() {
    static const std::vector<Case> all = {
        {"nested_brackets", [](size_t n) { return nest("[", "a", "]", n); }},
        {"nested_links", [](size_t n) { return nest("[a ", "b", "](/u) ", n); }},
        {"nested_parens", [](size_t n) { return nest("(", "a", ")", n); }},
        {"nested_link_parens", [](size_t n) { return "[a](" + nest("(", "u", ")", n) + ")"; }},
        {"nested_emphasis", [](size_t n) { return nest("*a _b ", "c", " d_ e*", n); }},
        {"nested_strong", [](size_t n) { return nest("**a ", "b", " c**", n); }},
        {"nested_critic", [](size_t n) { return nest("{++a {--b ", "c", " d--} e++}", n); }},
        {"nested_quotes_one_line", [](size_t n) { return repeat(">", n) + " a\n"; }},
        {"nested_quotes_lines", [](size_t n) { return repeat(std::string(200, '>') + " a\n", n); }},
        {"nested_quotes_spaced", [](size_t n) { return repeat("> ", n) + "a\n"; }},
        {"nested_bullets_one_line", [](size_t n) { return repeat("- ", n) + "x\n"; }},
        {"nested_enumerated_one_line", [](size_t n) { return repeat("1. ", n) + "x\n"; }},
        {"nested_list_tabs", [](size_t n) { return indented_list(n, "-"); }},
        {"nested_list_tabs_enumerated", [](size_t n) { return indented_list(n, "1."); }},
        {"nested_list_quote_mix", [](size_t n) { return repeat("- > ", n) + "x\n"; }},
        {"wide_table", [](size_t n) { return wide_table(n); }},
        {"many_table_rows", [](size_t n) { return "| a | b |\n|---|---|\n" + repeat("| c | d |\n", n); }},
        {"unmatched_brackets", [](size_t n) { return repeat("[a ", n); }},
        {"unmatched_closing_brackets", [](size_t n) { return repeat("a] ", n); }},
        {"unmatched_images", [](size_t n) { return repeat("![a ", n); }},
        {"unmatched_parens", [](size_t n) { return repeat("(a ", n); }},
        {"unmatched_link_openers", [](size_t n) { return repeat("[a](", n); }},
        {"unmatched_stars", [](size_t n) { return repeat("*a ", n); }},
        {"unmatched_underscores", [](size_t n) { return repeat("_a ", n); }},
        {"unmatched_double_stars", [](size_t n) { return repeat("**a ", n); }},
        {"unmatched_backticks", [](size_t n) { return repeat("`a ", n); }},
        {"unmatched_backtick_runs", [](size_t n) { return numbered("", " `", n); }},
        {"unmatched_angles", [](size_t n) { return repeat("<a ", n); }},
        {"unmatched_html_comments", [](size_t n) { return repeat("<!-- a ", n); }},
        {"unmatched_double_braces", [](size_t n) { return repeat("{{a ", n); }},
        {"unmatched_braces", [](size_t n) { return repeat("{a ", n); }},
        {"unmatched_footnote_openers", [](size_t n) { return repeat("[^a ", n); }},
        {"unmatched_citation_openers", [](size_t n) { return repeat("[#a ", n); }},
        {"unmatched_critic", [](size_t n) { return repeat("{++a {--b {~~c {>>d {==e ", n); }},
        {"unmatched_critic_closers", [](size_t n) { return repeat("a++} b--} c~~} d<<} e==} ", n); }},
        {"unmatched_double_quotes", [](size_t n) { return repeat("\"a ", n); }},
        {"unmatched_single_quotes", [](size_t n) { return repeat("'a ", n); }},
        {"unmatched_math", [](size_t n) { return repeat("$a \\\\(b \\\\[c ", n); }},
        {"unmatched_super_sub", [](size_t n) { return repeat("^a ~b ", n); }},
        {"alternating_delimiters", [](size_t n) { return repeat("*_`[({<\"'", n); }},
        {"run_of_spaces", [](size_t n) { return "a" + std::string(n, ' ') + "b\n"; }},
        {"run_of_tabs", [](size_t n) { return "a" + std::string(n, '\t') + "b\n"; }},
        {"run_of_digits", [](size_t n) { return std::string(n, '7') + ". a\n"; }},
        {"run_of_backticks", [](size_t n) { return std::string(n, '`') + "\n"; }},
        {"run_of_pipes", [](size_t n) { return std::string(n, '|') + "\n"; }},
        {"run_of_stars", [](size_t n) { return std::string(n, '*') + "\n"; }},
        {"run_of_dashes", [](size_t n) { return "a\n" + std::string(n, '-') + "\n"; }},
        {"run_of_hashes", [](size_t n) { return std::string(n, '#') + " a\n"; }},
        {"run_of_brackets", [](size_t n) { return std::string(n, '[') + "\n"; }},
        {"run_of_newlines", [](size_t n) { return "a" + std::string(n, '\n'); }},
        {"backtick_fences", [](size_t n) { return numbered("", "\n```\n", n); }},
        {"double_braces", [](size_t n) { return repeat("{{", n); }},
        {"footnote_openers", [](size_t n) { return repeat("[^", n); }},
        {"many_footnotes", [](size_t n) {
             return numbered("a[^", "] ", n / 2) + "\n\n" + numbered("[^", "]: note\n", n / 2);
         }},
        {"many_inline_footnotes", [](size_t n) { return repeat("a[^note] ", n); }},
        {"references_to_one_footnote", [](size_t n) { return repeat("a[^x] ", n) + "\n\n[^x]: note\n"; }},
        {"references_to_one_link", [](size_t n) { return repeat("[a][x] ", n) + "\n\n[x]: /u \"t\"\n"; }},
        {"many_link_definitions", [](size_t n) {
             return numbered("[", "] ", n / 2) + "\n\n" + numbered("[", "]: /u\n", n / 2);
         }},
        {"many_headings", [](size_t n) { return repeat("# a\n\n", n); }},
        {"many_glossary_uses", [](size_t n) {
             return repeat("a [?term] ", n) + "\n\n[?term]: a gloss\n";
         }},
        {"many_abbreviations", [](size_t n) {
             return numbered("*[A", "]: an abbreviation\n", n / 2) + "\n" + repeat("A1 A2 A3 ", n / 2);
         }},
        {"many_metadata_lines", [](size_t n) { return numbered("key", ": value\n", n) + "\n a\n"; }},
        {"long_metadata_value", [](size_t n) { return "title: " + std::string(n, 'a') + "\n\nb\n"; }},
        {"deep_definition_lists", [](size_t n) { return repeat("a\n: b\n", n); }},
        {"many_setext", [](size_t n) { return repeat("a\n=\n", n); }},
        {"html_blocks", [](size_t n) { return repeat("<div>\n", n); }},
        {"many_lines_one_paragraph", [](size_t n) { return repeat("a b c\n", n); }},
    };
    return all;
}

}  // namespace pathological

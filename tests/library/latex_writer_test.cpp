// Exact LaTeX output of small sources, grouped by construct.
#include <gtest/gtest.h>

#include <string>

#include "library/engine.h"
#include "library/writers/latex.h"
#include "latex_test_util.h"

namespace {

class LatexBody : public ::testing::TestWithParam<LatexCase> {};

TEST_P(LatexBody, WritesExactly) {
    const LatexCase &c = GetParam();
    EXPECT_EQ(latex_of(c.source, c.ext), c.expected) << c.source;
}

const uint64_t kN = kLatexNotes;
const uint64_t kCritic = kN | TZR_EXT_CRITIC;

const LatexCase kEscaping[] = {
    {"special_bytes", "a_b #c 50% & {e} | back\\\\slash a/b", kN,
     "a\\_b \\#c 50\\% \\& \\{e\\} \\textbar{} back\\textbackslash{}slash a\\slash b"},
    {"escaped_space", "Price\\ tag", kN, "Price~tag"},
    {"escaped_space_compat", "Price\\ tag", kN | TZR_EXT_COMPATIBILITY, "Price tag"},
    {"smart_typography", "\"q\" 'a' x --- y -- z...", kN,
     "``q'' `a' x --- y -- z{\\ldots}"},
    // A "/" is spelt alike whether it is a mark of its own or lies inside a
    // word or an address, in running text and in code.
    {"slashes_in_words", "and/or, https://x.org/a/1 /b a/ `c/d e:/f`", kN,
     "and\\slash or, https:\\slash \\slash x.org\\slash a\\slash 1 \\slash b a\\slash  "
     "\\texttt{c\\slash d e:\\slash f}"},
    {"raw_brace_opener", "`{=` and a {= b", kN, "\\texttt{\\{=} and a \\{= b"},
};
INSTANTIATE_TEST_SUITE_P(Escaping, LatexBody, ::testing::ValuesIn(kEscaping),
                         [](const auto &info) { return std::string(info.param.name); });

const LatexCase kLinks[] = {
    {"external_link_twice", "[link](http://x.com/a)", kN,
     "\\href{http://x.com/a}{link}\\footnote{\\href{http://x.com/a}{http:\\slash \\slash "
     "x.com\\slash a}}"},
    // Targets keep "#", "%" and "&" escaped and braces, backslash and tilde
    // percent-encoded, so the argument always closes where it should.
    {"url_target_escaped", "[l](http://x.com/a{b}c%d~e#f&g)", kN,
     "\\href{http://x.com/a\\%7Bb\\%7Dc\\%d\\%7Ee\\#f\\&g}{l}\\footnote{\\href{http://"
     "x.com/a\\%7Bb\\%7Dc\\%d\\%7Ee\\#f\\&g}{http:\\slash \\slash "
     "x.com\\slash a\\{b\\}c\\%d\\ensuremath{\\sim}e\\#f\\&g}}"},
    {"automatic_link", "<http://x.com/{a}>", kN,
     "\\href{http://x.com/\\%7Ba\\%7D}{http:\\slash \\slash x.com\\slash \\{a\\}}"},
    {"mail_link", "<me@example.com>", kN, "\\href{mailto:me@example.com}{me@example.com}"},
    {"internal_links", "[Intro](#intro) and [](#intro)", kN,
     "Intro (\\autoref{intro}) and \\autoref{intro}"},
    {"figure_with_dimensions", "![Cap](img.png width=50px height=300PX)", kN,
     "\\begin{figure}[htbp]\n\\centering\n\\includegraphics[width=50pt,height=300pt]{img.png}"
     "\n\\caption{Cap}\n\\end{figure}"},
    {"figure_caption_with_a_link", "![See [l](http://a.b)](img.png)", kN,
     "\\begin{figure}[htbp]\n\\centering\n\\includegraphics[keepaspectratio,width=\\textwidth,"
     "height=0.75\\textheight]{img.png}\n\\caption[{See \\href{http://a.b}{l}}]{See "
     "\\href{http://a.b}{l}\\footnote{\\href{http://a.b}{http:\\slash \\slash a.b}}}\n"
     "\\end{figure}"},
    {"figure_inline_in_compatibility", "![Cap](img.png)", kN | TZR_EXT_COMPATIBILITY,
     "\\includegraphics[keepaspectratio,width=\\textwidth,height=0.75\\textheight]{img.png}"},
    {"image_after_text_is_inline", "x ![Cap](img.png)", kN,
     "x \\includegraphics[keepaspectratio,width=\\textwidth,height=0.75\\textheight]{img.png}"},
};
INSTANTIATE_TEST_SUITE_P(LinksAndImages, LatexBody, ::testing::ValuesIn(kLinks),
                         [](const auto &info) { return std::string(info.param.name); });

const LatexCase kNotes[] = {
    {"footnote_used_twice", "A[^x] and [^x].\n\n[^x]: Note.\n", kN,
     "A\\footnote{Note.} and \\footnote{Note.}."},
    // A note that names itself, or two that name each other, are written
    // once: the reference inside the note text is not expanded again.
    {"footnote_names_itself", "A[^s] B[^s].\n\n[^s]: Self[^s] ref.\n", kN,
     "A\\footnote{Self ref.} B\\footnote{Self ref.}."},
    {"footnotes_name_each_other", "A[^p].\n\n[^p]: Ping[^q].\n\n[^q]: Pong[^p].\n", kN,
     "A\\footnote{Ping.}."},
    // The footnote in the item cites anew at each expansion; only the
    // citations of the text get items, so the bibliography ends.
    {"bibliography_item_whose_footnote_cites_itself",
     "Text [#a].\n\n[#a]: See note[^n].\n\n[^n]: Cites [#b [^n]].\n", kN,
     "Text ~\\citep{a}.\n\n\\begin{thebibliography}{0}\n\n\\bibitem{a}\n"
     "See note\\footnote{Cites ~\\citep{bn}.}.\n\n\\end{thebibliography}"},
    {"citations_with_locators",
     "A [#k] and [p. 2][#k] and [NotCited][#k].\n\n[#k]: Knuth.\n", kN,
     "A ~\\citep{k} and ~\\citep[p. 2]{k} and ~\\nocite{k}.\n\n"
     "\\begin{thebibliography}{0}\n\n\\bibitem{k}\nKnuth.\n\\end{thebibliography}"},
    {"bibtex_citations", "bibtex: refs\n\nA [#zz;] and [see][#zz].\n", kN,
     "\\def\\bibliocommand{\\bibliography{refs}}\n\nA \\citet{zz} and ~\\citep[see]{zz}.\n\n"
     "\\end{document}"},
    {"glossary_defined", "[?Term] and [?Term].\n\n[?Term]: A term.\n", kN,
     "\\gls{Term} and \\gls{Term}."},
    {"glossary_inline_and_unknown", "[?(Word) a definition] and [?nothing]\n", kN,
     "\\newglossaryentry{Word}{name=Word, description={a definition}}\\gls{Word} and "
     "[?nothing]"},
    {"abbreviations", "[>AB] and [>(CD) Cee Dee]\n\n[>AB]: Ay Bee\n", kN,
     "\\gls{AB} and \\newacronym{CD}{CD}{Cee Dee}\\gls{CD}"},
};
INSTANTIATE_TEST_SUITE_P(Notes, LatexBody, ::testing::ValuesIn(kNotes),
                         [](const auto &info) { return std::string(info.param.name); });

const LatexCase kTables[] = {
    {"caption_written_once",
     "| a | b |\n|:--|:-:|\n| 1 | 2 |\n\n[Cap][lab]\n\nAfter.\n", kN,
     "\\begin{table}[htbp]\n\\begin{minipage}{\\linewidth}\n\\setlength{\\tymax}{0.5\\linewidth}"
     "\n\\centering\n\\small\n\\caption{Cap}\n\\label{lab}\n"
     "\\begin{tabulary}{\\textwidth}{@{}lc@{}} \\toprule\n a & b \\\\\n\\midrule\n\n"
     " 1 & 2 \\\\\n\\bottomrule\n\n\\end{tabulary}\n\\end{minipage}\n\\end{table}\n\nAfter."},
    // Cells past the alignment row read as 'n' and span centred.
    {"columns_past_alignments", "| a | b |\n|:--|--:|\n| x || y ||\n", kN,
     "\\begin{table}[htbp]\n\\begin{minipage}{\\linewidth}\n\\setlength{\\tymax}{0.5\\linewidth}"
     "\n\\centering\n\\small\n\\begin{tabulary}{\\textwidth}{@{}lr@{}} \\toprule\n a & b \\\\\n"
     "\\midrule\n\n\\multicolumn{2}{l}{ x }&\\multicolumn{2}{c}{ y }\\\\\n\\bottomrule\n\n"
     "\\end{tabulary}\n\\end{minipage}\n\\end{table}"},
};
INSTANTIATE_TEST_SUITE_P(Tables, LatexBody, ::testing::ValuesIn(kTables),
                         [](const auto &info) { return std::string(info.param.name); });

const LatexCase kCode[] = {
    {"code_span_trimmed", "`` a_b ``", kN, "\\texttt{a\\_b}"},
    {"code_span_specials", "`$a$ {x} \\\\y`", kN,
     "\\texttt{\\$a\\$ \\{x\\} \\textbackslash{}\\textbackslash{}y}"},
    {"code_span_raw", "`\\\\raw`{=latex} and `z`{=html}", kN, "\\\\raw and "},
    // A bare percent sign would comment out the span's closing brace, a bare
    // number sign is a macro parameter: both stop TeX.
    {"code_span_percent_and_number_signs", "`date +'%Y'` `%s` `### Notes` `a#b`", kN,
     "\\texttt{date +'\\%Y'} \\texttt{\\%s} \\texttt{\\#\\#\\# Notes} \\texttt{a\\#b}"},
    // Inside code the dialect's bracket openers are plain characters: each
    // is written as it would be standing alone, as in `a^b`.
    {"code_span_caret", "`a^b`", kN, "\\texttt{a\\^{}b}"},
    {"code_span_footnote_bracket", "`[^label]`", kN, "\\texttt{[\\^{}label]}"},
    {"code_span_citation_bracket", "`[#cite]`", kN, "\\texttt{[\\#cite]}"},
    {"code_span_variable_bracket", "`[%x]`", kN, "\\texttt{[\\%x]}"},
    {"code_span_glossary_bracket", "`[?(gl)]`", kN, "\\texttt{[?(gl)]}"},
    {"code_span_abbreviation_bracket", "`[>abbr]`", kN, "\\texttt{[>abbr]}"},
    {"code_span_image_bracket", "`![a](b)`", kN, "\\texttt{![a](b)}"},
    {"code_span_brackets_without_notes", "`[^x] [#y] [%z]`", 0, "\\texttt{[\\^{}x] [\\#y] [\\%z]}"},
    {"fenced_plain_and_raw",
     "```\nplain {x}\n```\n\n```{=latex}\n\\\\raw\n```\n\n```{=odt}\nno\n```\n\nafter", kN,
     "\\begin{verbatim}\nplain {x}\n\\end{verbatim}\n\n\\\\raw\n\nafter"},
    {"fenced_language", "```python\nx = 1\n```\n", kN,
     "\\begin{lstlisting}[language=python]\nx = 1\n\\end{lstlisting}"},
    {"indented", "    a {b}\n    c\n", kN, "\\begin{verbatim}\na {b}\nc\n\\end{verbatim}"},
};
INSTANTIATE_TEST_SUITE_P(Code, LatexBody, ::testing::ValuesIn(kCode),
                         [](const auto &info) { return std::string(info.param.name); });

const LatexCase kMath[] = {
    {"delimiters", "$x^2$ and $$y$$ and \\\\(z\\\\) and 5$", kN,
     "$x^2$ and $$y$$ and \\(z\\) and 5\\$"},
    {"environment_passed_on", "\\\\[\\begin{equation} a \\end{equation}\\\\]", kN,
     "\\begin{equation} a \\end{equation}"},
};
INSTANTIATE_TEST_SUITE_P(Math, LatexBody, ::testing::ValuesIn(kMath),
                         [](const auto &info) { return std::string(info.param.name); });

const char kChanges[] = "An {++add++} {--del--} {~~old~>new~~} {>>com<<} {==hi==}.";
const LatexCase kCriticCases[] = {
    {"marked", kChanges, kCritic,
     "An \\underline{add} \\sout{del} \\sout{old}\\underline{new} \\cmnote{com} \\hl{hi}."},
    {"accepted", kChanges, kCritic | TZR_EXT_CRITIC_ACCEPT, "An add  new  hi."},
    {"rejected", kChanges, kCritic | TZR_EXT_CRITIC_REJECT, "An  del old  hi."},
    {"off", kChanges, kN,
     "An \\{++add++\\} \\{--del--\\} \\{~~old~>new~~\\} \\{>>com<<\\} \\{==hi==\\}."},
};
INSTANTIATE_TEST_SUITE_P(CriticMarkup, LatexBody, ::testing::ValuesIn(kCriticCases),
                         [](const auto &info) { return std::string(info.param.name); });

const LatexCase kHeadings[] = {
    {"levels", "# One\n\n## Two [lab]\n", kN,
     "\\part{One}\n\\label{one}\n\n\\chapter{Two }\n\\label{lab}"},
    {"no_labels", "### Three\n", kN | TZR_EXT_NO_LABELS, "\\section{Three}"},
    {"header_level_shift", "latexheaderlevel: 3\n\n# Top\n", kN, "\\section{Top}\n\\label{top}"},
    // A footnote, of a note or of a link's address, cannot go where LaTeX
    // copies a title (contents, running heads): the copy gets the title
    // without its footnotes, braced so that a "]" in it cannot end it.
    {"footnotes_kept_from_the_contents", "### A [x] note[^n] and [l](http://a.b)\n\n[^n]: N.", kN,
     "\\section[{A [x] note and \\href{http://a.b}{l}}]{A [x] note\\footnote{N.} and "
     "\\href{http://a.b}{l}\\footnote{\\href{http://a.b}{http:\\slash \\slash a.b}}}\n"
     "\\label{axnotenandlhttp:a.b}"},
    // Past the deepest sectioning command the heading still opens its brace.
    {"clamped_deep", "latexheaderlevel: 3\n\n###### Deep\n", kN,
     "\\subparagraph{Deep}\n\\label{deep}"},
};
INSTANTIATE_TEST_SUITE_P(Headings, LatexBody, ::testing::ValuesIn(kHeadings),
                         [](const auto &info) { return std::string(info.param.name); });

// Writes the body of `source` with a chosen base header level.
std::string body_with_base(const char *source, int16_t base) {
    tzr_engine *e = tzr_engine_create_with_string(source, kLatexNotes);
    tzr_engine_parse_string(e);
    tzr_export_context *context = tzr_export_context_new(e, TZR_FORMAT_LATEX);
    context->header_level_base = base;
    DString *out = d_string_new(nullptr);
    latex_export_token_chain(out, e->source->str, e->root, context);
    std::string text = out->str;
    d_string_free(out, true);
    tzr_export_context_free(context);
    tzr_engine_free(e, true);
    return text;
}

TEST(LatexHeadings, LevelAboveThePartOpensAPart) {
    EXPECT_EQ(body_with_base("# Top\n", -4), "\\part{Top}\n\\label{top}");
    EXPECT_EQ(body_with_base("# Top\n", 40), "\\subparagraph{Top}\n\\label{top}");
}

TEST(LatexPieces, DimensionCopy) {
    struct {
        const char *in, *out;
    } cases[] = {{"300PX", "300pt"}, {"50%", "50%"}, {"X", "x"}, {"", ""}, {"2In", "2in"}};
    for (auto &c : cases) {
        char *copy = latex_dimension_copy(c.in);
        EXPECT_STREQ(copy, c.out) << c.in;
        free(copy);
    }
    EXPECT_EQ(latex_dimension_copy(nullptr), nullptr);
}

TEST(LatexPieces, NullArgumentsWriteNothing) {
    DString *out = d_string_new(nullptr);
    latex_export_token_chain(out, "x", nullptr, nullptr);
    latex_export_token(nullptr, "x", nullptr, nullptr);
    latex_print_escaped_string(out, nullptr);
    latex_print_url(out, nullptr);
    EXPECT_EQ(out->length, 0u);
    d_string_free(out, true);
}

// Braces balance whatever the nesting: deep block quotes stop at the depth
// limit without leaving a group open.
TEST(LatexRobustness, DeepNestingBalancesBraces) {
    std::string source(1500, '>');
    source += " x {y} *z*\n";
    std::string tex = latex_of(source);
    long depth = 0;
    for (size_t i = 0; i < tex.size(); i++) {
        if (tex[i] == '\\' && i + 1 < tex.size()) {
            i++;
            continue;
        }
        depth += tex[i] == '{' ? 1 : tex[i] == '}' ? -1 : 0;
        ASSERT_GE(depth, 0);
    }
    EXPECT_EQ(depth, 0);
}

}  // namespace

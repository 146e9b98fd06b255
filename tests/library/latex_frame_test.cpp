// The LaTeX document frame and the Beamer and Memoir variants, through the
// export dispatch.
#include <gtest/gtest.h>

#include <string>

#include "latex_test_util.h"

namespace {

const uint64_t kComplete = kLatexNotes | TZR_EXT_COMPLETE;

class LatexFrame : public ::testing::TestWithParam<LatexCase> {};
TEST_P(LatexFrame, WritesExactly) {
    const LatexCase &c = GetParam();
    EXPECT_EQ(latex_of(c.source, c.ext), c.expected) << c.source;
}

const LatexCase kFrames[] = {
    {"support_files_by_config", "latexconfig: article\n\nText.\n", kComplete,
     "\\input{tzr6-article-leader}\n\\input{tzr6-article-begin}\n\nText.\n\n"
     "\\input{tzr6-article-footer}\n\\end{document}"},
    {"own_inputs_win", "latexconfig: article\nlatexleader: lead\nlatexbegin: beg\n"
                       "latexfooter: foot\n\nText.\n",
     kComplete, "\\input{lead}\n\\input{beg}\n\nText.\n\n\\input{foot}\n\n\\end{document}"},
    {"metadata_definitions",
     "title: A_b % c\nlatextitle: \\emph{T}\nauthor: Me\nMy Key: v&w\nlatexheader: \\usepackage{x}\n"
     "baseheaderlevel: 1\n\nText.\n",
     kComplete,
     "\\def\\mytitle{A\\_b \\% c}\n\\def\\latextitle{\\emph{T}}\n\\def\\myauthor{Me}\n"
     "\\def\\mykey{v\\&w}\n\\usepackage{x}\n\nText.\n\n\\end{document}"},
    {"glossary_sorted_once", "[?b] [?a]\n\n[?b]: Bee.\n\n[?a]: Ay.\n\n[?a]: Again.\n\n[>XY]: Ex Why\n",
     kComplete,
     "\\longnewglossaryentry{a}{name=a}{Ay.}\n\n\\longnewglossaryentry{b}{name=b}{Bee.}\n\n"
     "\\newacronym{XY}{XY}{Ex Why}\n\n\n\\gls{b} \\gls{a}\n\n\\end{document}"},
    {"snippet_keeps_bibliography", "A [#k].\n\n[#k]: Ref.\n", kLatexNotes,
     "A ~\\citep{k}.\n\n\\begin{thebibliography}{0}\n\n\\bibitem{k}\nRef.\n"
     "\\end{thebibliography}"},
    {"no_citations_no_bibliography", "Text.\n", kComplete, "\nText.\n\n\\end{document}"},
};
INSTANTIATE_TEST_SUITE_P(Frame, LatexFrame, ::testing::ValuesIn(kFrames),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(Beamer, HeadingsOpenAndCloseFrames) {
    EXPECT_EQ(latex_of("# A\n\ntext\n\n### B\n\nb\n\n#### G\n\ng\n\n### C\n\nc [#k]\n\n[#k]: Ref.\n",
                       kComplete, TZR_FORMAT_BEAMER),
              "\n\\part{A}\n\\label{a}\n\ntext\n\n\\begin{frame}[fragile]\n\\frametitle{B}\n"
              "\\label{b}\n\nb\n\n\\mode<article>{\\emph{G}\n\\label{g}\n\ng\n\n}\n\n"
              "\\end{frame}\n\n\\begin{frame}[fragile]\n\\frametitle{C}\n\\label{c}\n\n"
              "c ~\\citep{k}\n\\end{frame}\n\n\\part{Bibliography}\n"
              "\\begin{frame}[allowframebreaks]\n\\frametitle{Bibliography}\n\\def\\newblock{}\n"
              "\\begin{thebibliography}{0}\n\n\\bibitem{k}\nRef.\n\\end{thebibliography}\n"
              "\\end{frame}\n\n\\mode<all>\n\\end{document}\\mode*\n");
}

TEST(Beamer, UpperLevelsCloseEverything) {
    EXPECT_EQ(latex_of("# A\n\n## B\n\n### C\n\n#### D\n\n# E\n", kLatexNotes, TZR_FORMAT_BEAMER),
              "\\part{A}\n\\label{a}\n\n\\section{B}\n\\label{b}\n\n\\begin{frame}[fragile]\n"
              "\\frametitle{C}\n\\label{c}\n\n\\mode<article>{\\emph{D}\n\\label{d}\n\n}\n\n"
              "\\end{frame}\n\n\\part{E}\n\\label{e}");
}

TEST(Beamer, FrameTitlesKeepFootnotesOutOfTheirCopies) {
    // A frame title is copied into the navigation, emphasis is not copied.
    EXPECT_EQ(latex_of("### S[^n]\n\n##### E[^n]\n\n[^n]: N.\n", kLatexNotes, TZR_FORMAT_BEAMER),
              "\\begin{frame}[fragile]\n\\frametitle[{S}]{S\\footnote{N.}}\n\\label{sn}\n\n"
              "\\emph{E\\footnote{N.}}\n\\label{en}\n\\end{frame}\n\n");
}

TEST(Beamer, HeaderLevelShiftsFrames) {
    EXPECT_EQ(latex_of("latexheaderlevel: 2\n\n## F\n\nx\n", kLatexNotes, TZR_FORMAT_BEAMER),
              "\\begin{frame}[fragile]\n\\frametitle{F}\n\\label{f}\n\nx\n\\end{frame}\n\n");
}

TEST(Beamer, FooterInputWithoutConfigFooter) {
    EXPECT_EQ(latex_of("latexconfig: c\nlatexfooter: foot\n\nText.\n", kComplete,
                       TZR_FORMAT_BEAMER),
              "\\input{tzr6-c-leader}\n\\input{tzr6-c-begin}\n\nText.\n\n\\mode<all>\n"
              "\\input{foot}\n\n\\end{document}\\mode*\n");
}

TEST(Memoir, TopLevelCodeIsIndented) {
    EXPECT_EQ(latex_of("```python\nx\n```\n\n* item\n\n    ```\n    y\n    ```\n\n---\n\n    ind\n",
                       kLatexNotes, TZR_FORMAT_MEMOIR),
              "\\begin{adjustwidth}{2.5em}{2.5em}\n\\begin{lstlisting}[language=python]\nx\n"
              "\\end{lstlisting}\n\\end{adjustwidth}\n\n\\begin{itemize}\n\\item{} item\n\n"
              "\\begin{verbatim}\ny\n\\end{verbatim}\n\n\\end{itemize}\n\n"
              "\\begin{center}\\rule{3in}{0.4pt}\\end{center}\n\n\\begin{adjustwidth}{2.5em}{2.5em}\\begin{verbatim}\nind\n\\end{verbatim}\n"
              "\\end{adjustwidth}");
}

TEST(LatexMode, MetadataPicksTheVariant) {
    EXPECT_EQ(latex_of("latexmode: memoir\n\n```c\nx\n```\n"),
              "\\begin{adjustwidth}{2.5em}{2.5em}\n\\begin{lstlisting}[language=c]\nx\n"
              "\\end{lstlisting}\n\\end{adjustwidth}");
    EXPECT_EQ(latex_of("latexmode: beamer\n\n### S\n"),
              "\\begin{frame}[fragile]\n\\frametitle{S}\n\\label{s}\n\\end{frame}\n\n");
}

}  // namespace

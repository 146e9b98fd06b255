#include <gtest/gtest.h>

#include <string>

#include "html_test_tree.h"

namespace {

constexpr uint64_t kSmart = 0x8, kNotes = 0x10, kCompat = 0x1, kCritic = 0x200;

// One paragraph of inline text written alone.
std::string inline_html(const std::string &text, uint64_t ext = 0, uint16_t quotes = 0) {
    HtmlTree t(text, ext);
    t.engine()->quotes_language = quotes;
    return t.write({t.para(text)});
}

struct InlineCase {
    const char *source;
    uint64_t ext;
    const char *html;
};

class InlineTable : public ::testing::TestWithParam<InlineCase> {};

TEST_P(InlineTable, WritesExactHtml) {
    EXPECT_EQ(inline_html(GetParam().source, GetParam().ext), GetParam().html) << GetParam().source;
}

INSTANTIATE_TEST_SUITE_P(Text, InlineTable, ::testing::Values(
    InlineCase{"a < b & c > d", 0, "<p>a &lt; b &amp; c &gt; d</p>"},
    InlineCase{"say \"hi\"", 0, "<p>say &quot;hi&quot;</p>"},
    InlineCase{"a\\ b \\*", 0, "<p>a&#160;b *</p>"},
    InlineCase{"a\\ b", kCompat, "<p>a b</p>"},
    InlineCase{"x\\<y", 0, "<p>x&lt;y</p>"}));

INSTANTIATE_TEST_SUITE_P(Emphasis, InlineTable, ::testing::Values(
    InlineCase{"*em* and **strong**", 0, "<p><em>em</em> and <strong>strong</strong></p>"},
    InlineCase{"a * b", 0, "<p>a * b</p>"}));

INSTANTIATE_TEST_SUITE_P(Typography, InlineTable, ::testing::Values(
    InlineCase{"\"quoted\" -- a --- b... it's", kSmart,
               "<p>&#8220;quoted&#8221; &#8211; a &#8212; b&#8230; it&#8217;s</p>"},
    InlineCase{"\"quoted\" -- a --- b...", 0, "<p>&quot;quoted&quot; -- a --- b...</p>"}));

INSTANTIATE_TEST_SUITE_P(CodeAndMath, InlineTable, ::testing::Values(
    InlineCase{"a ` x < y ` b", 0, "<p>a <code>x &lt; y</code> b</p>"},
    InlineCase{"`<b>`{=html}", 0, "<p><b></p>"},
    InlineCase{"`<b>`{=latex}", 0, "<p></p>"},
    InlineCase{"$x^2$ and $$y$$", 0,
               "<p><span class=\"math\">\\(x^2\\)</span> and <span class=\"math\">\\[y\\]</span></p>"},
    InlineCase{"H~2~O x^2^", 0, "<p>H<sub>2</sub>O x<sup>2</sup></p>"}));

INSTANTIATE_TEST_SUITE_P(Critic, InlineTable, ::testing::Values(
    InlineCase{"a {++b++} {--c--} {~~d~>e~~} {>>n<<} {==h==}", kCritic,
               "<p>a <ins>b</ins> <del>c</del> <del>d</del><ins>e</ins> "
               "<span class=\"critic comment\">n</span> <mark>h</mark></p>"},
    InlineCase{"a {++b++} {--c--} {~~d~>e~~} {>>n<<}", kCritic | 0x400, "<p>a b  e </p>"},
    InlineCase{"a {++b++} {--c--} {~~d~>e~~} {>>n<<}", kCritic | 0x800, "<p>a  c d </p>"},
    InlineCase{"a {++b++}", 0, "<p>a {++b++}</p>"}));

INSTANTIATE_TEST_SUITE_P(Autolinks, InlineTable, ::testing::Values(
    InlineCase{"<http://x.org/?a=1&b=2>", 0,
               "<p><a href=\"http://x.org/?a=1&amp;b=2\">http://x.org/?a=1&amp;b=2</a></p>"},
    InlineCase{"<span>", 0, "<p><span></p>"}));

TEST(HtmlInline, QuotesByLanguage) {
    EXPECT_EQ(inline_html("\"a\" 'b'", kSmart, 6), "<p>&#8221;a&#8221; &#8217;b&#8217;</p>");
    EXPECT_EQ(inline_html("\"a\" 'b'", kSmart, 3), "<p>&#8222;a&#8220; &#8218;b&#8216;</p>");
}

}  // namespace

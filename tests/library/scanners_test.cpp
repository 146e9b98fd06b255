// Scanner results over hand-picked texts, one table for all scanners. Every
// text is copied into a heap buffer of exactly its size plus the NUL, so the
// sanitizer build catches any read past the end.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "library/scanners/scanners.h"

namespace {

using scanner = size_t (*)(const char *);

struct named_scanner {
    const char *name;
    scanner scan;
};

#define SCANNER(f) named_scanner{#f, f}

const named_scanner kAllScanners[] = {
    SCANNER(scan_fence),
    SCANNER(scan_fence_start),
    SCANNER(scan_setext),
    SCANNER(scan_atx_marker),
    SCANNER(scan_definition),
    SCANNER(scan_table_separator),
    SCANNER(scan_table_alignment),
    SCANNER(scan_meta_line),
    SCANNER(scan_meta_key),
    SCANNER(scan_abbreviation_definition),
    SCANNER(scan_citation_definition),
    SCANNER(scan_footnote_definition),
    SCANNER(scan_glossary_definition),
    SCANNER(scan_link_definition_line),
    SCANNER(scan_reference_link_definition),
    SCANNER(scan_attribute_space),
    SCANNER(scan_attribute_key),
    SCANNER(scan_attribute_value),
    SCANNER(scan_attribute),
    SCANNER(scan_attributes),
    SCANNER(scan_email),
    SCANNER(scan_url),
    SCANNER(scan_link_destination),
    SCANNER(scan_link_title),
    SCANNER(scan_html),
    SCANNER(scan_html_comment),
    SCANNER(scan_html_block_start),
    SCANNER(scan_html_line),
};

static_assert(std::size(kAllScanners) == 28, "every scanner is listed");

struct scan_case {
    named_scanner scanner;
    std::string input;
    size_t expected;
};

#define NBSP "\xC2\xA0"

const std::vector<scan_case> kBaseCases = {
    // Bare fences: the NUL counts as the line end.
    {SCANNER(scan_fence), "`~`\n", 4},
    {SCANNER(scan_fence), "```", 4},
    {SCANNER(scan_fence), "```\t " NBSP "\r\n", 9},
    {SCANNER(scan_fence), "\t```", 0},
    {SCANNER(scan_fence), "    ```", 0},
    {SCANNER(scan_fence), NBSP NBSP NBSP "```", 10},
    {SCANNER(scan_fence), "```x", 0},

    // Fences with an info string.
    {SCANNER(scan_fence_start), "```\n", 0},
    {SCANNER(scan_fence_start), "``` \n", 5},
    {SCANNER(scan_fence_start), "~~~js`x\n", 0},
    {SCANNER(scan_fence_start), "```~~\n", 6},
    {SCANNER(scan_fence_start), "~~~js", 6},
    {SCANNER(scan_fence_start), "```\xC3\n", 0},

    {SCANNER(scan_setext), "===", 4},
    {SCANNER(scan_setext), " ==\r\n", 5},
    {SCANNER(scan_setext), "===  \n", 0},
    {SCANNER(scan_setext), "=-=", 0},
    {SCANNER(scan_setext), "=", 0},
    {SCANNER(scan_setext), "--", 3},
    {SCANNER(scan_setext), "    ===", 0},

    {SCANNER(scan_atx_marker), "#x", 0},
    {SCANNER(scan_atx_marker), "# \n", 0},
    {SCANNER(scan_atx_marker), "####### x", 9},
    {SCANNER(scan_atx_marker), "#\tx", 3},
    {SCANNER(scan_atx_marker), "# " NBSP NBSP "x", 7},
    {SCANNER(scan_atx_marker), "# \xE0\x9F\xBF", 0},  // overlong
    {SCANNER(scan_atx_marker), "# \xED\xA0\x80", 5},  // encoded surrogate passes
    {SCANNER(scan_atx_marker), " # x", 0},

    {SCANNER(scan_definition), ": \n", 2},
    {SCANNER(scan_definition), ":\n", 0},
    {SCANNER(scan_definition), ":: x", 2},
    {SCANNER(scan_definition), "    : x", 0},
    {SCANNER(scan_definition), NBSP ": x", 5},
    {SCANNER(scan_definition), ": \xC3", 2},

    {SCANNER(scan_table_separator), "-|\n", 3},
    {SCANNER(scan_table_separator), "|-\n", 0},
    {SCANNER(scan_table_separator), " |---|\n", 0},
    {SCANNER(scan_table_separator), "   \t  -|\n", 9},
    {SCANNER(scan_table_separator), "|---|\t|\n", 0},
    {SCANNER(scan_table_separator), "|--- ---|\n", 0},
    {SCANNER(scan_table_separator), "-|-|-|-\n", 8},
    {SCANNER(scan_table_separator), "|---| \n", 7},
    {SCANNER(scan_table_separator), "|:|\n", 4},
    {SCANNER(scan_table_separator), "|:-:|\n", 6},

    // Alignment codes, not lengths.
    {SCANNER(scan_table_alignment), ":--|", 1},
    {SCANNER(scan_table_alignment), "--:|", 2},
    {SCANNER(scan_table_alignment), ":-:|", 4},
    {SCANNER(scan_table_alignment), "---|", 0},
    {SCANNER(scan_table_alignment), "--+|", 8},
    {SCANNER(scan_table_alignment), ":--+|", 9},
    {SCANNER(scan_table_alignment), "-:+", 10},
    {SCANNER(scan_table_alignment), ":-:+", 12},
    {SCANNER(scan_table_alignment), "+--|", 0},
    {SCANNER(scan_table_alignment), ":-+-:|", 0},
    {SCANNER(scan_table_alignment), "|:-:|", 0},
    {SCANNER(scan_table_alignment), "          :--|", 1},
    {SCANNER(scan_table_alignment), ":--" NBSP "\n", 1},

    {SCANNER(scan_meta_line), "title: x\n", 9},
    {SCANNER(scan_meta_line), "title:", 7},
    {SCANNER(scan_meta_line), " title: x", 0},
    {SCANNER(scan_meta_line), "_a: x", 0},
    {SCANNER(scan_meta_line), "9: x\n", 5},
    {SCANNER(scan_meta_line), "a/b: x", 0},
    {SCANNER(scan_meta_line), "---\ntitle: x\n", 13},
    {SCANNER(scan_meta_line), "---\n", 0},
    {SCANNER(scan_meta_line), "--- \na: b", 0},
    {SCANNER(scan_meta_line), "---\n\na: b", 0},
    {SCANNER(scan_meta_line), "   ---\na: b\n", 12},
    {SCANNER(scan_meta_line), "ab://cd\n", 8},
    {SCANNER(scan_meta_line), "a: \xC3\n", 0},

    {SCANNER(scan_meta_key), "ab  :", 4},
    {SCANNER(scan_meta_key), "a" NBSP "b", 4},
    {SCANNER(scan_meta_key), "a\xC2" "x", 1},
    {SCANNER(scan_meta_key), " a", 0},

    // Note definitions never count the line end. The footnote rows are
    // repeated for the three twins with their own prefix (see below).
    {SCANNER(scan_footnote_definition), "[^a]: x", 7},
    {SCANNER(scan_footnote_definition), "[^a]: x\n", 7},
    {SCANNER(scan_footnote_definition), "[^a]:", 0},
    {SCANNER(scan_footnote_definition), "[^a]: ", 6},
    {SCANNER(scan_footnote_definition), "[^]: x", 0},
    {SCANNER(scan_footnote_definition), "[^a b]: x", 9},
    {SCANNER(scan_footnote_definition), "[^a[b]: x", 9},
    {SCANNER(scan_footnote_definition), "[^a\\]: x", 0},
    {SCANNER(scan_footnote_definition), "[^\\a]: x", 8},
    {SCANNER(scan_footnote_definition), "[^a] : x", 0},
    {SCANNER(scan_footnote_definition), "   [^a]: x", 10},
    {SCANNER(scan_footnote_definition), "    [^a]: x", 0},
    {SCANNER(scan_footnote_definition), NBSP "[^a]: x", 9},
    {SCANNER(scan_footnote_definition), "\t[^a]: x", 0},
    {SCANNER(scan_footnote_definition), "[^a]: x \xC3", 8},
    {SCANNER(scan_footnote_definition), "[^a]:\xC3", 0},
    {SCANNER(scan_footnote_definition), "[^a\nb]: x", 0},

    {SCANNER(scan_link_definition_line), "[a]: x", 6},
    {SCANNER(scan_link_definition_line), "[]: x", 0},
    {SCANNER(scan_link_definition_line), "[a]:", 0},
    {SCANNER(scan_link_definition_line), "[a]: ", 5},
    {SCANNER(scan_link_definition_line), "[>a]: x", 7},
    {SCANNER(scan_link_definition_line), "[a]]: x", 0},

    // The full reference form counts its final line end, the NUL included.
    {SCANNER(scan_reference_link_definition), "[a]: x", 7},
    {SCANNER(scan_reference_link_definition), "[a]: x\n", 7},
    {SCANNER(scan_reference_link_definition), "[a]:x", 6},
    {SCANNER(scan_reference_link_definition), "[a]: <x>", 9},
    {SCANNER(scan_reference_link_definition), "[a]: <x y>", 0},
    {SCANNER(scan_reference_link_definition), "[a]: <>", 8},
    {SCANNER(scan_reference_link_definition), "[a]:", 0},
    {SCANNER(scan_reference_link_definition), "[a]: ", 0},
    {SCANNER(scan_reference_link_definition), "[a]:\n", 0},
    {SCANNER(scan_reference_link_definition), "[a]:\nx", 7},
    {SCANNER(scan_reference_link_definition), "[a]:\n    x", 11},
    {SCANNER(scan_reference_link_definition), "[a]:\n\nx", 0},
    {SCANNER(scan_reference_link_definition), "[a]: x \"t\"", 11},
    {SCANNER(scan_reference_link_definition), "[a]: x 't'", 11},
    {SCANNER(scan_reference_link_definition), "[a]: x (t)", 11},
    {SCANNER(scan_reference_link_definition), "[a]: x \"\"", 10},
    {SCANNER(scan_reference_link_definition), "[a]: x\n\"t\"", 11},
    {SCANNER(scan_reference_link_definition), "[a]: x\n \"t\"", 7},
    {SCANNER(scan_reference_link_definition), "[a]: x \"t\" y", 0},
    {SCANNER(scan_reference_link_definition), "[a]: x y", 0},
    {SCANNER(scan_reference_link_definition), "[a]: x" NBSP "y", 0},
    {SCANNER(scan_reference_link_definition), "[a]: x (a(b)", 13},
    {SCANNER(scan_reference_link_definition), "[a]: x (a)b)", 0},
    {SCANNER(scan_reference_link_definition), "[a]: x \"t\nu\"", 0},
    {SCANNER(scan_reference_link_definition), "[a]: x \"\xC3\"", 0},
    {SCANNER(scan_reference_link_definition), "[a]: x  ", 9},
    {SCANNER(scan_reference_link_definition), "\t[a]: x", 0},

    {SCANNER(scan_attribute_space), "  x", 2},
    {SCANNER(scan_attribute_space), " \t" NBSP "x", 4},
    {SCANNER(scan_attribute_space), "\n", 1},
    {SCANNER(scan_attribute_space), "\r\n", 2},
    {SCANNER(scan_attribute_space), "\r", 1},
    {SCANNER(scan_attribute_space), "\n\n", 1},
    {SCANNER(scan_attribute_space), " \r\n\t x", 5},
    {SCANNER(scan_attribute_space), " \n  x", 4},
    {SCANNER(scan_attribute_space), "\xC2 ", 0},
    {SCANNER(scan_attribute_space), "x", 0},

    {SCANNER(scan_attribute_key), ":a.b-c_d:9 ", 10},
    {SCANNER(scan_attribute_key), "9a", 0},
    {SCANNER(scan_attribute_key), "-a", 0},
    {SCANNER(scan_attribute_key), "_", 1},
    {SCANNER(scan_attribute_key), "a\xC3\xA9", 1},

    {SCANNER(scan_attribute_value), "40px;", 4},
    {SCANNER(scan_attribute_value), "1.5em", 5},
    {SCANNER(scan_attribute_value), "a-b", 1},
    {SCANNER(scan_attribute_value), "_x", 0},
    {SCANNER(scan_attribute_value), "#x", 0},
    {SCANNER(scan_attribute_value), "\"big wide\"x", 10},
    {SCANNER(scan_attribute_value), "\"a\\\"b\"", 4},
    {SCANNER(scan_attribute_value), "\"a\nb\"", 0},
    {SCANNER(scan_attribute_value), "\"ab", 0},
    {SCANNER(scan_attribute_value), "\"it's\"", 6},
    {SCANNER(scan_attribute_value), "\"\xED\xA0\x80\"", 5},
    {SCANNER(scan_attribute_value), "\"\xE0\x80\x80\"", 0},
    {SCANNER(scan_attribute_value), "''", 2},

    {SCANNER(scan_attribute), "a=b", 3},
    {SCANNER(scan_attribute), "  width=40 x", 10},
    {SCANNER(scan_attribute), "a= b", 4},
    {SCANNER(scan_attribute), "a =b", 0},
    {SCANNER(scan_attribute), "a=\n b", 0},
    {SCANNER(scan_attribute), "\n a=b", 5},
    {SCANNER(scan_attribute), "\n\na=b", 0},
    {SCANNER(scan_attribute), NBSP "a=b", 5},
    {SCANNER(scan_attribute), "=b", 0},
    {SCANNER(scan_attribute), "a=", 0},

    {SCANNER(scan_attributes), "a=b c=\"d e\" f='g'", 17},
    {SCANNER(scan_attributes), "a=b ", 3},
    {SCANNER(scan_attributes), "a=b\nc=d", 7},
    {SCANNER(scan_attributes), "a=b\r\n  c=d", 10},
    {SCANNER(scan_attributes), "a=b\n\nc=d", 3},
    {SCANNER(scan_attributes), "a=bc=d", 6},
    {SCANNER(scan_attributes), "a=\"b\"c=d", 8},
    {SCANNER(scan_attributes), "a=b x", 3},
    {SCANNER(scan_attributes), "a=b)", 3},
    {SCANNER(scan_attributes), " ", 0},

    {SCANNER(scan_email), "a@b", 3},
    {SCANNER(scan_email), "mailto:a@b", 10},
    {SCANNER(scan_email), "MailTo:a@b", 10},
    {SCANNER(scan_email), "mailto:", 0},
    {SCANNER(scan_email), "mailto:mailto:a@b", 0},
    {SCANNER(scan_email), "a@", 0},
    {SCANNER(scan_email), "@b", 0},
    {SCANNER(scan_email), "a@b>", 3},
    {SCANNER(scan_email), "a@b ", 3},
    {SCANNER(scan_email), "a@b" NBSP, 3},
    {SCANNER(scan_email), "a@b\xC3\xA9 ", 5},
    {SCANNER(scan_email), "a@b@c", 5},
    {SCANNER(scan_email), "a@b)", 4},
    {SCANNER(scan_email), "mailto@b", 8},
    {SCANNER(scan_email), "a#b@c", 0},
    {SCANNER(scan_email), "a b@c", 0},
    {SCANNER(scan_email), "x.y+z@d/f?g", 11},

    {SCANNER(scan_url), "ab://c", 6},
    {SCANNER(scan_url), "ab://c.d/e f", 10},
    {SCANNER(scan_url), "x-y://z", 7},
    {SCANNER(scan_url), "-://x", 5},
    {SCANNER(scan_url), "a1://b", 0},
    {SCANNER(scan_url), "a.b://c", 0},
    {SCANNER(scan_url), "ab:/c", 0},
    {SCANNER(scan_url), "ab://", 0},
    {SCANNER(scan_url), "ab://c>", 6},
    {SCANNER(scan_url), "ab://c<d", 8},
    {SCANNER(scan_url), "ab://c\n", 6},
    {SCANNER(scan_url), "ab://c" NBSP, 6},
    {SCANNER(scan_url), "ab:///c", 7},
    {SCANNER(scan_url), "a@b", 3},
    {SCANNER(scan_url), "MAILTO:a@b", 10},
    {SCANNER(scan_url), "mailto:a", 0},
    {SCANNER(scan_url), "mailto://x", 10},
    {SCANNER(scan_url), "x@y://z", 7},

    {SCANNER(scan_link_destination), "a b", 1},
    {SCANNER(scan_link_destination), "a(b)c d", 5},
    {SCANNER(scan_link_destination), "a\\ ", 2},
    {SCANNER(scan_link_destination), "a\tb", 1},
    {SCANNER(scan_link_destination), "a" NBSP "b", 1},
    {SCANNER(scan_link_destination), "a\xC3\xA9" "b", 4},
    {SCANNER(scan_link_destination), " a", 0},
    {SCANNER(scan_link_destination), "a\x80", 1},
    {SCANNER(scan_link_destination), "\"t\"", 3},
    {SCANNER(scan_link_destination), "<a>", 3},
    {SCANNER(scan_link_destination), "<a b>", 2},
    {SCANNER(scan_link_destination), "a)b", 3},

    {SCANNER(scan_link_title), "\"a\"", 3},
    {SCANNER(scan_link_title), "\"\"", 2},
    {SCANNER(scan_link_title), "()", 2},
    {SCANNER(scan_link_title), "(a(b)c)", 5},
    {SCANNER(scan_link_title), "\"a\tb\"", 5},
    {SCANNER(scan_link_title), "\"a\nb\"", 0},
    {SCANNER(scan_link_title), "\"a", 0},
    {SCANNER(scan_link_title), "\" a \"  ", 5},
    {SCANNER(scan_link_title), "(a\"b)", 5},
    {SCANNER(scan_link_title), "a", 0},
    {SCANNER(scan_link_title), " \"a\"", 0},

    {SCANNER(scan_html), "<a b=1>", 7},
    {SCANNER(scan_html), "<a b= 1>", 8},
    {SCANNER(scan_html), "<a b = 1>", 0},
    {SCANNER(scan_html), "<a b =1>", 0},
    {SCANNER(scan_html), "<a b>", 0},
    {SCANNER(scan_html), "<a loop>", 8},
    {SCANNER(scan_html), "<a LOOP>", 8},
    {SCANNER(scan_html), "<a loopx>", 0},
    {SCANNER(scan_html), "<ab=1>", 6},
    {SCANNER(scan_html), "<a b=1c=2>", 10},
    {SCANNER(scan_html), "<a b=x/y>", 0},
    {SCANNER(scan_html), "<a\nb=1>", 7},
    {SCANNER(scan_html), "<a \n\n b=1>", 0},
    {SCANNER(scan_html), "<a b=1\n>", 0},
    {SCANNER(scan_html), "<a b=\"x\ny\">", 0},
    {SCANNER(scan_html), "<a b=\"\xC3\xA9\">", 10},
    {SCANNER(scan_html), "<a b=\"\xC3\">", 0},
    {SCANNER(scan_html), "<a b=\"x>y\">", 11},
    {SCANNER(scan_html), "<a/>", 4},
    {SCANNER(scan_html), "<a />", 5},
    {SCANNER(scan_html), "<a / >", 0},
    {SCANNER(scan_html), "</a >", 5},
    {SCANNER(scan_html), "</a b=1>", 0},
    {SCANNER(scan_html), "</ a>", 0},
    {SCANNER(scan_html), "< a>", 0},
    {SCANNER(scan_html), "<>", 0},
    {SCANNER(scan_html), "</>", 0},
    {SCANNER(scan_html), "<1a>", 0},
    {SCANNER(scan_html), "<?x?>", 0},
    {SCANNER(scan_html), "<!DOCTYPE html>", 0},
    {SCANNER(scan_html), "<![CDATA[x]]>", 0},
    {SCANNER(scan_html), "<!-- x -->\n", 10},
    // Texts that end inside a tag, a quoted value or a comment.
    {SCANNER(scan_html), "<a", 0},
    {SCANNER(scan_html), "<a b=\"x", 0},
    {SCANNER(scan_html), "<!-- x --", 0},

    // Comments; every row holds for scan_html as well (see below).
    {SCANNER(scan_html_comment), "<!-- x -->", 10},
    {SCANNER(scan_html_comment), "<!---->", 0},
    {SCANNER(scan_html_comment), "<!--->", 0},
    {SCANNER(scan_html_comment), "<!---x-->", 0},
    {SCANNER(scan_html_comment), "<!--x--->", 9},
    {SCANNER(scan_html_comment), "<!--x--y-->", 11},
    {SCANNER(scan_html_comment), "<!-- a > b -->", 0},
    {SCANNER(scan_html_comment), "<!--x-->y-->", 8},
    {SCANNER(scan_html_comment), "<!-- a\nb -->", 12},
    {SCANNER(scan_html_comment), "<!-- a\r\nb -->", 13},
    {SCANNER(scan_html_comment), "<!-- a\n\nb -->", 0},
    {SCANNER(scan_html_comment), "<!--\nx-->", 0},
    {SCANNER(scan_html_comment), "<!--x\n-->", 0},
    {SCANNER(scan_html_comment), "<!--x\n-y-->", 11},

    {SCANNER(scan_html_block_start), "<div>", 5},
    {SCANNER(scan_html_block_start), "<DIV>", 5},
    {SCANNER(scan_html_block_start), "</div>", 6},
    {SCANNER(scan_html_block_start), "<div/>", 6},
    {SCANNER(scan_html_block_start), "</div/>", 7},
    {SCANNER(scan_html_block_start), "</div b=1>", 10},
    {SCANNER(scan_html_block_start), "<div b=1>", 9},
    {SCANNER(scan_html_block_start), "<div >", 0},
    {SCANNER(scan_html_block_start), "<div />", 0},
    {SCANNER(scan_html_block_start), "<div b=1 >", 0},
    {SCANNER(scan_html_block_start), "<divb=1>", 8},
    {SCANNER(scan_html_block_start), "<divloop>", 9},
    {SCANNER(scan_html_block_start), "<divx>", 0},
    {SCANNER(scan_html_block_start), "<div>text\n", 5},
    {SCANNER(scan_html_block_start), " <div>", 0},
    {SCANNER(scan_html_block_start), "<div\nb=1>", 9},
    {SCANNER(scan_html_block_start), "</div\nb=1>", 10},
    {SCANNER(scan_html_block_start), "<div b=1\n>", 0},
    {SCANNER(scan_html_block_start), "</div\n>", 0},
    {SCANNER(scan_html_block_start), "<video loop muted>", 18},
    {SCANNER(scan_html_block_start), "<VIDEO LOOP>", 12},
    {SCANNER(scan_html_block_start), "<!-- x -->", 0},
    {SCANNER(scan_html_block_start), "<span>", 0},
    {SCANNER(scan_html_block_start), "<h7>", 0},
    {SCANNER(scan_html_block_start), "<details>", 0},
    {SCANNER(scan_html_block_start), "<h6>", 4},
    {SCANNER(scan_html_block_start), "<Blockquote>", 12},

    // The NUL is no line end for a whole HTML line.
    {SCANNER(scan_html_line), "<span>\n", 7},
    {SCANNER(scan_html_line), "<span>\r\n", 8},
    {SCANNER(scan_html_line), "<span>  \n", 9},
    {SCANNER(scan_html_line), "<span>", 0},
    {SCANNER(scan_html_line), "<span>x\n", 0},
    {SCANNER(scan_html_line), "<a><b>\n", 0},
    {SCANNER(scan_html_line), "<!-- x -->\n", 11},
    {SCANNER(scan_html_line), "<a\nb=1>\n", 8},
    {SCANNER(scan_html_line), "<span>\n\n", 7},
};

// Rows that hold for more than one scanner: the footnote rows again for the
// abbreviation, citation and glossary scanners (whose patterns differ only in
// the prefix's second character), and the comment rows for scan_html.
std::vector<scan_case> with_twins(std::vector<scan_case> cases) {
    const struct {
        named_scanner scanner;
        char mark;
    } twins[] = {{SCANNER(scan_abbreviation_definition), '>'},
                 {SCANNER(scan_citation_definition), '#'},
                 {SCANNER(scan_glossary_definition), '?'}};
    std::vector<scan_case> out = cases;
    for (const scan_case &c : cases) {
        if (c.scanner.scan != scan_footnote_definition)
            continue;
        for (const auto &twin : twins) {
            scan_case copy = c;
            copy.scanner = twin.scanner;
            size_t at = copy.input.find("[^");
            if (at != std::string::npos)
                copy.input[at + 1] = twin.mark;
            out.push_back(copy);
            // A footnote line is no definition of the twin's kind.
            scan_case other = c;
            other.scanner = twin.scanner;
            other.expected = 0;
            out.push_back(other);
        }
    }
    // scan_html accepts comments exactly as scan_html_comment does.
    for (const scan_case &c : cases) {
        if (c.scanner.scan != scan_html_comment)
            continue;
        scan_case copy = c;
        copy.scanner = SCANNER(scan_html);
        out.push_back(copy);
    }
    return out;
}

const std::vector<scan_case> kCases = with_twins(kBaseCases);

// A heap copy of `text` with exactly one byte after it, the NUL.
std::unique_ptr<char[]> exact_copy(const std::string &text) {
    std::unique_ptr<char[]> buffer(new char[text.size() + 1]);
    memcpy(buffer.get(), text.data(), text.size());
    buffer[text.size()] = '\0';
    return buffer;
}

std::string printable(const std::string &text) {
    std::string out;
    for (unsigned char ch : text) {
        if (ch >= 0x20 && ch < 0x7F) {
            out += static_cast<char>(ch);
        } else {
            char hex[8];
            snprintf(hex, sizeof hex, "\\x%02X", ch);
            out += hex;
        }
    }
    return out;
}

TEST(Scanners, TableOfExamples) {
    for (const scan_case &c : kCases) {
        auto text = exact_copy(c.input);
        EXPECT_EQ(c.scanner.scan(text.get()), c.expected)
            << c.scanner.name << "('" << printable(c.input) << "')";
    }
}

TEST(Scanners, EmptyTextAndNullNeverMatch) {
    auto text = exact_copy("");
    for (const named_scanner &s : kAllScanners) {
        EXPECT_EQ(s.scan(text.get()), 0u) << s.name;
        EXPECT_EQ(s.scan(nullptr), 0u) << s.name;
    }
}

// Every scanner on every prefix of every example text (texts that end inside
// a tag, a quote or a character): lengths stay inside the text, counting at
// most the NUL, and under the sanitizers nothing is read past it.
TEST(Scanners, TruncatedTextsStayInBounds) {
    for (const scan_case &c : kCases) {
        for (size_t cut = 0; cut <= c.input.size(); cut++) {
            std::string prefix = c.input.substr(0, cut);
            auto text = exact_copy(prefix);
            for (const named_scanner &s : kAllScanners) {
                size_t result = s.scan(text.get());
                if (s.scan != scan_table_alignment) {
                    EXPECT_LE(result, prefix.size() + 1)
                        << s.name << "('" << printable(prefix) << "')";
                }
            }
        }
    }
}

}  // namespace

// Scanner results over hand-picked texts, one table for all scanners. Every
// text is copied into a heap buffer of exactly its size plus the NUL, so the
// sanitizer build catches any read past the end.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "scanners.h"

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
};

struct scan_case {
    named_scanner scanner;
    std::string input;
    size_t expected;
};

#define NBSP "\xC2\xA0"

const std::vector<scan_case> kCases = {
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
};

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

TEST(Scanners, EmptyTextNeverMatches) {
    auto text = exact_copy("");
    for (const named_scanner &s : kAllScanners)
        EXPECT_EQ(s.scan(text.get()), 0u) << s.name;
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

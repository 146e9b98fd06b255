#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "textengine/transforms/line_transforms.h"
#include "textengine/marked_text.h"
#include "textengine/buffer/smart_string.h"
#include "textengine/transforms/text_ranges.h"

namespace {

using Finder = void (*)(const char *, size_t, size_t, size_t *, size_t *);

struct FinderCase {
    Finder finder;
    const char *before;
    const char *after;
};

TEST(TextRanges, FinderTable) {
    const FinderCase cases[] = {
        {text_word_range, "abc‸ def", "«abc» def"},
        {text_word_range, "a.b‸c", "a.«bc»"},
        {text_word_range, "ab‸c.", "«abc»."},
        {text_word_range, "«abc »x", "«abc» x"},
        {text_word_range, "a ‸ b", "a ‸ b"},
        {text_line_range, "a\nb‸c\nd", "a\n«bc\n»d"},
        {text_line_range, "a\r\nb‸\r\nc", "a\r\n«b\r\n»c"},
        {text_line_range, "«a\n»b", "«a\n»b"},
        {text_line_range, "a\nb‸", "a\n«b»"},
        {text_paragraph_range, "a\nb‸\n\nc\nd", "«a\nb\n»\nc\nd"},
        {text_paragraph_range, "‸a\nb\n\nc\nd", "«a\nb\n»\nc\nd"},
        {text_paragraph_range, "a\nb\n‸\nc", "a\nb\n‸\nc"},
        {text_paragraph_range, "a\nb\n\nc‸\nd", "a\nb\n\n«c\nd»"},
        {text_paragraph_range, "a\r\n\r\nb‸", "a\r\n\r\n«b»"},
        {text_paragraph_range, "«a\n\nb»\n\nc", "«a\n\nb\n»\nc"},
        {text_highlight_range, "‸a\n\nb\n\nc", "«a\n»\nb\n\nc"},
        {text_highlight_range, "a\n\nb‸", "a\n\n«b»"},
        {text_highlight_range, "a\n\n  x‸", "«a\n\n  x»"},
        {text_highlight_range, "‸a\n\n    b\n\nc", "«a\n\n    b\n\nc»"},
    };
    for (const FinderCase &fc : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(fc.before)));
        MarkedText m = parse_marked(fc.before);
        size_t start = 99, length = 99;
        fc.finder(m.text.c_str(), m.start, m.length, &start, &length);
        EXPECT_EQ(render_marked(m.text, start, length), fc.after);
    }
}

// Actions, one letter each: g grow, s shrink, p previous and n next
// paragraph, > indent, < outdent, u and d move lines, - and + heading level.
void act(_SString *s, char action) {
    size_t start = smart_string_caret_start(s), length = smart_string_caret_length(s);
    smart_string_change c = {};
    c.tags = 1;
    switch (action) {
    case 'g': return smart_string_increase_selection(s, start, length);
    case 's': return smart_string_decrease_selection(s, start, length);
    case 'p': return smart_string_previous_paragraph(s, start, length);
    case 'n': return smart_string_next_paragraph(s, start, length);
    case '>': return smart_string_shift_indent(s, start, length, &c);
    case '<': return smart_string_shift_outdent(s, start, length, &c);
    case 'u': return smart_string_shift_lines_up(s, start, length, &c);
    case 'd': return smart_string_shift_lines_down(s, start, length, &c);
    case '-': return smart_string_shift_heading_remove_hash(s, start, length, &c);
    case '+': return smart_string_shift_heading_add_hash(s, start, length, &c);
    }
}

struct ActionCase {
    const char *before;
    const char *actions;
    const char *after;
};

TEST(TextRanges, SelectionAndLineTable) {
    const char *text = "ab‸c de\nfg\n\nhi";
    const ActionCase cases[] = {
        // Grow and shrink
        {text, "g", "«abc» de\nfg\n\nhi"},
        {text, "gg", "«abc de\n»fg\n\nhi"},
        {text, "ggg", "«abc de\nfg\n»\nhi"},
        {text, "gggg", "«abc de\nfg\n\nhi»"},
        {text, "ggggg", "«abc de\nfg\n\nhi»"},
        {text, "ggggs", "«abc de\nfg\n»\nhi"},
        {text, "gggs", "«abc de\n»fg\n\nhi"},
        {text, "gggss", "«abc» de\nfg\n\nhi"},
        {text, "gggsss", text},
        {"x «abc» y", "s", "x «abc» y"},
        // Paragraph moves
        {"a\nb\n\nc‸d", "p", "a\nb\n\n‸cd"},
        {"a\nb\n\nc‸d", "pp", "a\nb\n‸\ncd"},
        {"a\nb\n\nc‸d", "ppp", "‸a\nb\n\ncd"},
        {"  \n\n‸x", "p", "‸  \n\nx"},
        {"‸a\nb\n\ncd", "n", "a\nb\n‸\ncd"},
        {"‸a\nb\n\ncd", "nn", "a\nb\n\n‸cd"},
        {"‸a\nb\n\ncd", "nnn", "a\nb\n\ncd‸"},
        // Indent and outdent
        {"«a\nb\nc\n»", ">", "\t«a\n\tb\n\tc\n»"},
        {"a‸", ">", "\ta‸"},
        {"a\n‸", ">", "a\n‸"},
        {"«\ta\n    b\n  c»", "<", "«a\nb\n  c»"},
        {"\t‸a", "<", "‸a"},
        {"  c‸", "<", "  c‸"},
        // Moving lines
        {"a\nb‸\nc", "u", "b‸\na\nc"},
        {"a\nb‸", "u", "b‸\na\n"},
        {"a‸\nb", "u", "a‸\n\nb"},
        {"a‸\nb\nc", "d", "b\na‸\nc"},
        {"a\nb‸", "d", "a\n\nb‸"},
        {"a\n‸", "d", "a\n‸"},
        {"«a\nb\n»c", "d", "c\n«a\nb\n»"},
        // Heading level
        {"## A ##‸", "-", "# A #‸"},
        {"# A‸", "-", "# A‸"},
        {"## Learn C#‸", "+", "### Learn C#‸"},
        {"## Learn C# ##‸\nx", "+", "### Learn C# ##‸#\nx"},
        {"###### a‸", "+", "###### a‸"},
        {"x\n## a‸", "-", "x\n# a‸"},
    };
    for (const ActionCase &ac : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(ac.before)) + " " + ac.actions);
        MarkedSStringPtr s = make_marked(ac.before, 0xB01);
        for (const char *a = ac.actions; *a; a++)
            act(s.get(), *a);
        EXPECT_EQ(render_marked(s.get()), ac.after);
    }
}

TEST(TextRanges, HeadingClosingRunBelongsToTitleUnlessAfterBlank) {
    const std::pair<const char *, const char *> cases[] = {
        {"### A #", "### A ###"}, {"## Learn C#", "## Learn C#"}, {"# A #  ", "# A #  "},
        {"## A ####", "## A ##"}, {"##", "##"},
    };
    for (const auto &[line, fixed] : cases) {
        DString *d = d_string_new(line);
        heading_fix_closing_hashes(d);
        EXPECT_STREQ(d->str, fixed) << line;
        d_string_free(d, true);
    }
}

TEST(TextRanges, Substring) {
    MarkedSStringPtr s = make_marked("abc", 0xB01);
    char *sub = smart_string_substring(s.get(), 1, (size_t)-1);
    EXPECT_STREQ(sub, "bc");
    free(sub);
    testing::internal::CaptureStderr();
    EXPECT_EQ(smart_string_substring(s.get(), 1, 3), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Smart String: Asked to copy invalid substring range.\n"
              "start: 1  len: 3  string: 3\n");
}

}  // namespace

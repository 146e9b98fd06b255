#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "textengine/marked_text.h"
#include "textengine/typing/smart_enter.h"
#include "textengine/buffer/smart_string.h"

namespace {

constexpr uint64_t kAll = 0xB01 | SMART_STRING_SMART_ENTER | SMART_STRING_ENTER_LIST |
                          SMART_STRING_ENTER_BLOCKQUOTE | SMART_STRING_ENTER_INDENT |
                          SMART_STRING_ENTER_HEADING | SMART_STRING_ENTER_TABLE |
                          SMART_STRING_SMART_TAB;
constexpr uint64_t kTitle = kAll | SMART_STRING_ENTER_HEADING_TC;
constexpr uint64_t kHash = kAll | SMART_STRING_ENTER_HEADING_HASH;

struct EnterCase {
    const char *before;
    const char *keys;
    const char *after;
    uint64_t options = kAll;
    bool parse_fails = false;
};

TEST(SmartEnter, TypingTable) {
    const EnterCase cases[] = {
        // Lists
        {"- item‸", "\n", "- item\n- ‸"},
        {"* a‸", "\n", "* a\n* ‸"},
        {"+ a‸", "\n", "+ a\n+ ‸"},
        {"- ab‸cd", "\n", "- ab\n- ‸cd"},
        {"- ‸", "\n", "‸"},
        {"1. a‸", "\n", "1. a\n2. ‸"},
        {"9. a‸", "\n", "9. a\n10. ‸"},
        {"18446744073709551615. a‸", "\n", "18446744073709551615. a\n18446744073709551616. ‸"},
        {"1. ‸", "\n", "‸"},
        {"\t- a‸", "\n", "\t- a\n\t- ‸"},
        {"\t\t- ‸", "\n", "\t- ‸"},
        {"    - ‸", "\n", "- ‸"},
        {"\t1. ‸", "\n", "1. ‸"},
        {"  - a‸", "\n", "  - a\n- ‸"},
        {"- a‸", "\n", "- a\n\n- ‸", kAll | SMART_STRING_ENTER_LIST_2X},
        {"x\n\n- a‸", "\n", "x\n\n- a\n\n- ‸", kAll | SMART_STRING_ENTER_LIST_SAME},
        {"x\n- a‸", "\n", "x\n- a\n- ‸", kAll | SMART_STRING_ENTER_LIST_SAME},
        {"- a‸", "\n", "- a\n‸", kAll & ~(uint64_t)SMART_STRING_ENTER_LIST},
        {"- a‸", "\n\n", "- a\n‸"},
        // Block quotes
        {"> a‸", "\n", "> a\n> ‸"},
        {"> > a‸", "\n", "> > a\n> > ‸"},
        {"> > ‸", "\n", "> ‸"},
        {"> ‸", "\n", "‸"},
        {">‸", "\n", "‸"},
        {"\t> ‸", "\n", "\t‸"},
        {"> - a‸", "\n", "> - a\n> ‸"},
        {">a‸", "\n", ">a\n>‸"},
        // Indentation and blank lines
        {"\ta‸", "\n", "\ta\n\t‸"},
        {"    a‸", "\n", "    a\n    ‸"},
        {"\t‸", "\n", "‸"},
        {"\t\t‸", "\n", "\t‸"},
        {"   ‸", "\n", "‸", kAll, true},
        // Plain lines and line starts
        {"plain‸", "\n", "plain\n‸"},
        {"‸- a", "\n", "\n‸- a"},
        {"-‸", "\n", "-\n‸"},
        // A line that does not fit keeps its text and gets a plain newline.
        {"- > ‸", "\n", "- > \n‸", kAll, true},
        {"| a |\n| - ‸", "\n", "| a |\n| - \n‸", kAll, true},
        // Tables
        {"| a | b |‸", "\n", "| a | b |\n| -\t| -\t|\n| ‸"},
        {"x\n\n| a |‸", "\n", "x\n\n| a |\n| -\t|\n| ‸"},
        {"| a |\n| - |\n| c‸", "\n", "| a |\n| - |\n| c\n| ‸"},
        {"| a |\n| ‸", "\n", "| a |\n‸"},
        // Headings
        {"## the title‸", "\n", "## the title\n\n‸"},
        {"## the title‸", "\n", "## The Title\n\n‸", kTitle},
        {"# see [the ref] of it‸", "\n", "# See [the ref] of It\n\n‸", kTitle},
        {"### A #‸", "\n", "### A ###\n\n‸", kHash},
        {"## Title ##  ‸", "\n", "## Title ##\n\n‸"},
        {"## Learn C#‸", "\n", "## Learn C# ##\n\n‸", kHash},
        {"## Learn C#‸", "\n", "## Learn C#\n\n‸"},
        {"## ‸", "\n", "## \n\n‸"},
        {"#‸# a", "\n", "#\n‸# a", kAll, true},
        // Smart tab
        {"- a‸", "\n\t", "- a\n\t- ‸"},
        {"- a‸", "\n\t\t", "- a\n\t\t- ‸"},
        {"- a‸", "\t", "- a\t‸"},
        {"- a‸b", "\n\t", "- a\n- \t‸b"},
        {"| a‸", "\t", "| a\t| ‸"},
        {"x | a‸", "\t", "x | a\t| ‸"},
        {"‸| a", "\t", "\t‸| a"},
        {"- a‸", "\t", "- a\t‸", 0xB01},
    };
    for (const EnterCase &ec : cases) {
        SCOPED_TRACE(testing::PrintToString(std::string(ec.before)) + " + " +
                     testing::PrintToString(std::string(ec.keys)));
        MarkedSStringPtr s = make_marked(ec.before, ec.options);
        testing::internal::CaptureStderr();
        type_keys(s.get(), ec.keys);
        std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(render_marked(s.get()), ec.after);
        EXPECT_EQ(err, ec.parse_fails ? "Parser failed to successfully parse.\n" : "");
    }
}

TEST(SmartEnter, LineClasses) {
    const std::pair<const char *, int> cases[] = {
        {"- a", 23},      {"12. a", 23},   {"\t\t* a", 23},  {"   + a", 23},   {"-a", 26},
        {"1.a", 26},      {"> a", 24},     {"   >a", 24},   {"\t> a", 24},     {"\ta", 25},
        {"    a", 25},    {"  a", 26},     {"###### a", 27}, {"####### a", 26}, {"#a", 26},
        {"| a", 28},      {"  |", 28},     {"", 29},         {" \t \n- a", 29}, {"plain", 26},
    };
    for (const auto &[line, line_class] : cases)
        EXPECT_EQ(smart_string_line_class(line), line_class) << line;
    EXPECT_EQ(smart_string_line_class(nullptr), 29);
}

TEST(SmartEnter, Helpers) {
    const std::pair<const char *, const char *> numbers[] = {
        {"1", "2."}, {"9.", "10."}, {"0099", "100."}, {"", "1."},
        {"99999999999999999999999", "100000000000000000000000."},
    };
    for (const auto &[digits, next] : numbers) {
        char *n = smart_string_next_number(digits);
        EXPECT_STREQ(n, next);
        free(n);
    }
    char *row = smart_string_table_separator("|| a |", 6);
    EXPECT_STREQ(row, "|| -\t|");
    free(row);
    EXPECT_EQ(smart_string_next_number(nullptr), nullptr);
    EXPECT_EQ(smart_string_heading_text(nullptr, 0, 0), nullptr);
}

// A line longer than the parser's stack fails cleanly.
TEST(SmartEnter, ParserOverflow) {
    std::string deep(150, '>');
    MarkedSStringPtr s = make_marked(deep + " ‸", kAll);
    testing::internal::CaptureStderr();
    type_keys(s.get(), "\n");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Parser failed to successfully parse.\n");
    EXPECT_EQ(render_marked(s.get()), deep + " \n‸");
}

}  // namespace

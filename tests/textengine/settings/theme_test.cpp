#include <gtest/gtest.h>

#include <cfloat>
#include <cstdlib>
#include <string>

#include "textengine/settings/style_names.h"
#include "textengine/settings/theme.h"

namespace {

const std::string kThemes = std::string(ORVANE_TEST_DATA) + "/themes/";

uint32_t rgba(color c) { return color_to_uint32(c); }

struct Names {
    char **names = smart_text_style_names_new();
    ~Names() { smart_text_style_names_free(names); }
};

struct Loaded {
    theme *t;
    explicit Loaded(theme *loaded) : t(loaded) {}
    ~Loaded() { free(t); }
};

TEST(ThemeColor, ParsesHexadecimalTexts) {
    struct Case {
        const char *text;
        uint32_t value;  // alpha | red << 8 | green << 16 | blue << 24
    } cases[] = {
        {"#fff", 0xFFFFFFFF},      {"fff", 0xFFFFFFFF},       {"##fff", 0xFFFFFFFF},
        {"#80FF0000", 0x0000FF80}, {"#12345", 0x000000FF},    {"", 0x000000FF},
        {"#8f00", 0x0000FF88},     {"#abcdef", 0xEFCDABFF},   {"#1g2233", 0x332201FF},
        {"g12233", 0x332200FF},    {"#0x2233", 0x332200FF},   {"#123456789", 0x000000FF},
    };
    for (const Case &c : cases)
        EXPECT_EQ(rgba(theme_color_parse(c.text)), c.value) << c.text;
    EXPECT_TRUE(color_equal(theme_color_parse(nullptr), color_black));

    char *hex = theme_color_to_hex(theme_color_parse("#80ff0000"));
    EXPECT_STREQ(hex, "#80FF0000");
    free(hex);

    EXPECT_EQ(hex_to_int("0x1F"), 31u);
    EXPECT_EQ(hex_to_int("ff"), 255u);
    EXPECT_EQ(hex_to_int("12z9"), 0x12u);
    EXPECT_EQ(hex_to_int("FFFFFFFFFFFF"), 0xFFFFFFFFu);  // wraps instead of overflowing
    EXPECT_EQ(hex_pair_to_byte("f", 1), 0xFF);
    EXPECT_EQ(hex_pair_to_byte("7", 2), 0x7);
    EXPECT_EQ(hex_pair_to_byte(nullptr, 2), 0);
}

TEST(Theme, LoadsTheSampleTheme) {
    Names names;
    Loaded l(theme_load_file((kThemes + "sample.theme").c_str(), names.names, 256));
    theme *t = l.t;
    ASSERT_NE(t, nullptr);
    EXPECT_TRUE(theme_has_style(t, 0));
    EXPECT_STREQ(theme_style_font_name(t, 0), "Menlo");
    EXPECT_EQ(theme_style_font_size(t, 0), 13.0f);
    EXPECT_EQ(rgba(theme_style_foreground(t, 0)), 0x333333FFu);
    EXPECT_EQ(rgba(theme_caret_color(t)), 0x5A30E0FFu);
    EXPECT_EQ(rgba(theme_selection_color(t)), 0xFED5B480u);
    EXPECT_EQ(rgba(theme_sidebar_background_color(t)), 0xEEEEEEFFu);
    EXPECT_EQ(rgba(theme_sidebar_text_color(t)), 0x222222FFu);
    EXPECT_EQ(rgba(theme_sidebar_text_color_highlighted(t)), 0xFFFFFFFFu);
    EXPECT_EQ(rgba(theme_sidebar_text_color_highlighted_inactive(t)), 0xDDDDDDFFu);
    EXPECT_EQ(rgba(theme_sidebar_highlight_color(t)), 0xF67834FFu);
    EXPECT_EQ(rgba(theme_sidebar_highlight_color_inactive(t)), 0xC0C0C0FFu);
    EXPECT_FLOAT_EQ(theme_line_height(t), 1.4f);
    EXPECT_FLOAT_EQ(theme_kerning(t), 0.5f);
    EXPECT_EQ(t->horizontal_padding, 40.0f);
    EXPECT_EQ(t->vertical_padding, 20.0f);

    // One name fills every style that carries it.
    EXPECT_TRUE(theme_has_style(t, 51));
    EXPECT_TRUE(theme_has_style(t, 52));
    EXPECT_STREQ(theme_style_font_name(t, 52), "Courier");
    EXPECT_TRUE(theme_has_style(t, 62));
    EXPECT_TRUE(theme_has_style(t, 78));
    EXPECT_FALSE(theme_has_style(t, 63));

    theme_inherit_styles(t);
    // heading1 keeps its own scale, takes colour and bold from heading, and
    // takes the indents from it even though it set one.
    EXPECT_FLOAT_EQ(theme_style_font_scale(t, 62), 1.6f);
    EXPECT_EQ(theme_style_bold(t, 62), 1);
    EXPECT_EQ(rgba(theme_style_foreground(t, 62)), 0x801A1AFFu);
    EXPECT_EQ(theme_style_left_indent(t, 62), 0.0f);
    EXPECT_EQ(theme_style_para_space_before(t, 62), 12.0f);
    EXPECT_TRUE(theme_has_style(t, 63));
    // brackets took the colour of pairs before handing it on to image.
    EXPECT_EQ(rgba(theme_style_foreground(t, 112)), 0x999999FFu);
    EXPECT_EQ(theme_style_underline(t, 112), 1);
    // Syntax tokens take the markup style.
    EXPECT_EQ(theme_style_italic(t, 131), 1);
    EXPECT_EQ(rgba(theme_style_foreground(t, 191)), 0xAAAAAAFFu);
}

TEST(Theme, InheritsOnlyWhatTheChildLeftUnset) {
    char *names[4] = {nullptr, const_cast<char *>("parent"), const_cast<char *>("child"),
                      const_cast<char *>("faint")};
    Loaded l(theme_parse("{\"parent\": {\"superscript\": -1, \"leftIndent\": 3, \"fontName\": \"P\","
                         " \"foregroundColor\": \"#00FF00\", \"underline\": 2},"
                         " \"child\": {\"bold\": 1, \"superscript\": 2, \"leftIndent\": 9},"
                         " \"faint\": {\"foregroundColor\": \"#00FF0000\", \"fontName\": \"F\"}}",
                         names, 4));
    theme *t = l.t;
    ASSERT_NE(t, nullptr);
    theme_style_inherit(t, 1, 2);
    EXPECT_EQ(theme_style_bold(t, 2), 1);
    EXPECT_EQ(theme_style_superscript(t, 2), -1);
    EXPECT_EQ(theme_style_left_indent(t, 2), 3.0f);
    EXPECT_EQ(theme_style_underline(t, 2), 2);
    EXPECT_STREQ(theme_style_font_name(t, 2), "P");
    theme_style_inherit(t, 1, 3);
    EXPECT_EQ(rgba(theme_style_foreground(t, 3)), 0x00FF00FFu);  // alpha 00 is replaced
    EXPECT_STREQ(theme_style_font_name(t, 3), "F");

    // Neither side defined: nothing happens.
    theme_style_inherit(t, 10, 11);
    EXPECT_FALSE(theme_has_style(t, 11));
    // Indexes outside the table are ignored.
    theme_style_inherit(t, 1, 256);
    theme_style_inherit(t, -1, 2);
    EXPECT_FALSE(theme_has_style(t, 256));
    EXPECT_FALSE(theme_has_style(t, -5));
    EXPECT_STREQ(theme_style_font_name(t, 999), "");
    EXPECT_EQ(rgba(theme_style_background(t, 300)), 0u);
}

TEST(Theme, RootOnlyThemeDefinesOnlyTheBaseStyle) {
    Names names;
    Loaded l(theme_parse("{\"foregroundColor\": \"#111\"}", names.names, 256));
    ASSERT_NE(l.t, nullptr);
    theme_inherit_styles(l.t);
    EXPECT_TRUE(theme_has_style(l.t, 0));
    for (int i = 1; i < 256; i++)
        EXPECT_FALSE(theme_has_style(l.t, i)) << i;
}

TEST(Theme, ClampsAndIgnoresOddValues) {
    Names names;
    Loaded l(theme_load_file((kThemes + "odd-values.theme").c_str(), names.names, 256));
    theme *t = l.t;
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(theme_style_font_size(t, 0), FLT_MAX);
    EXPECT_EQ(theme_style_left_indent(t, 0), -FLT_MAX);
    EXPECT_EQ(theme_style_superscript(t, 0), 32767);
    EXPECT_EQ(theme_style_underline(t, 0), -32768);
    EXPECT_EQ(theme_style_bold(t, 0), 0);                              // "yes" is no number
    EXPECT_TRUE(color_equal(theme_style_foreground(t, 0), color_black));  // 12 is no text
    EXPECT_TRUE(color_equal(theme_style_background(t, 0), color_black));  // five digits
    // Cut to at most 40 bytes on a character boundary, and terminated.
    EXPECT_STREQ(theme_style_font_name(t, 0), "An Extraordinarily Long Font Family Name");
    EXPECT_FALSE(theme_has_style(t, 61));  // a name without an object
    EXPECT_EQ(theme_style_italic(t, 115), 1);
    EXPECT_EQ(theme_style_superscript(t, 115), -3);

    Loaded bom(theme_load_file((kThemes + "bom.theme").c_str(), nullptr, 0));
    ASSERT_NE(bom.t, nullptr);
    EXPECT_EQ(rgba(theme_style_foreground(bom.t, 0)), 0x00FF00FFu);
}

TEST(Theme, FailsCleanlyOnBadFiles) {
    Names names;
    ::testing::internal::CaptureStderr();
    Loaded broken(theme_load_file((kThemes + "broken.theme").c_str(), names.names, 256));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Invalid JSON...\n");
    EXPECT_EQ(broken.t, nullptr);

    ::testing::internal::CaptureStderr();
    Loaded missing(theme_load_file((kThemes + "missing.theme").c_str(), names.names, 256));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(missing.t, nullptr);

    // What the editor falls back to: black text on white.
    Loaded fallback(theme_new());
    EXPECT_TRUE(color_equal(theme_style_foreground(fallback.t, 0), color_black));
    EXPECT_TRUE(color_equal(theme_style_background(fallback.t, 0), color_white));
    EXPECT_TRUE(color_equal(theme_caret_color(fallback.t), color_clear));
    EXPECT_FALSE(theme_has_style(fallback.t, 0));

    // A count larger than the table reads no names beyond it.
    Loaded big(theme_parse("{\"heading\": {\"bold\": 1}}", names.names, 100000));
    EXPECT_TRUE(theme_has_style(big.t, 61));
    EXPECT_EQ(theme_parse(nullptr, nullptr, 0), nullptr);
    EXPECT_EQ(theme_line_height(nullptr), 0.0f);
    theme_inherit_styles(nullptr);
}

TEST(StyleNames, NamesStylesByTokenType) {
    Names names;
    ASSERT_NE(names.names, nullptr);
    EXPECT_STREQ(names.names[50], "blockquote");
    EXPECT_STREQ(names.names[78], "heading1");
    EXPECT_STREQ(names.names[102], "criticSubstitution");
    EXPECT_STREQ(names.names[166], "html");
    EXPECT_STREQ(names.names[169], "htmlComment");
    EXPECT_EQ(names.names[0], nullptr);
    EXPECT_EQ(names.names[114], nullptr);
    EXPECT_EQ(names.names[255], nullptr);
}

}  // namespace

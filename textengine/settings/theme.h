// Editor themes: one style per token type (style 0 is the base style), caret,
// selection and sidebar colours and global metrics, read from JSON files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "textengine/settings/color.h"
#include "textengine/settings/json.h"

constexpr int kThemeStyleCount = 256;
// Font names keep at most this many bytes; the field has room for a NUL
// after them, so a name is always a usable C text.
constexpr size_t kThemeFontNameLength = 40;

struct theme_style {
    float font_size;   // points; 0 = not set
    float font_scale;  // factor on the base size; 0 = not set
    char font_name[kThemeFontNameLength + 1];  // empty = not set
    color foreground;
    color background;
    uint8_t italic;
    uint8_t bold;
    int16_t superscript;
    int16_t underline;
    float left_indent;
    float right_indent;
    float para_space;
    float para_space_before;
};

// One heap block, released by its holder with one free().
struct theme {
    uint8_t defined[kThemeStyleCount];
    theme_style styles[kThemeStyleCount];
    color caret_color;
    color selection_color;
    color sidebar_background_color;
    color sidebar_text_color;
    color sidebar_text_color_highlighted;
    color sidebar_text_color_highlighted_inactive;
    color sidebar_highlight_color;
    color sidebar_highlight_color_inactive;
    float line_height;
    float kerning;
    float horizontal_padding;
    float vertical_padding;
};

// A theme with every field 0 but style 0's black text on white.
theme *theme_new(void);
// NULL when the file cannot be opened or is not JSON ("Invalid JSON...\n").
theme *theme_load_file(const char *path, char *const *style_names, size_t count);
// `style_names` (may be NULL) names the styles by token type; `count` of them.
theme *theme_parse(const char *text, char *const *style_names, size_t count);
// Reads the style keys present in `object`; true when at least one was read.
bool theme_parse_style(theme_style *style, const json_object *object);

// Child `b` takes parent `a`'s style where it set nothing itself. Indexes
// outside the table do nothing.
void theme_style_inherit(theme *t, int a, int b);
// The inheritance the editor applies after every load: headings from
// "heading", pair styles from "pairs", bracketed ones from "brackets", Markdown
// syntax tokens from "markup" and HTML comments from "html".
void theme_inherit_styles(theme *t);

// Accessors. A NULL theme or an index outside 0-255 gives 0 (an empty name,
// a transparent colour).
bool theme_has_style(const theme *t, int i);
const char *theme_style_font_name(const theme *t, int i);
float theme_style_font_size(const theme *t, int i);
float theme_style_font_scale(const theme *t, int i);
color theme_style_foreground(const theme *t, int i);
color theme_style_background(const theme *t, int i);
uint8_t theme_style_bold(const theme *t, int i);
uint8_t theme_style_italic(const theme *t, int i);
int16_t theme_style_superscript(const theme *t, int i);
int16_t theme_style_underline(const theme *t, int i);
float theme_style_left_indent(const theme *t, int i);
float theme_style_right_indent(const theme *t, int i);
float theme_style_para_space(const theme *t, int i);
float theme_style_para_space_before(const theme *t, int i);
color theme_caret_color(const theme *t);
color theme_selection_color(const theme *t);
color theme_sidebar_background_color(const theme *t);
color theme_sidebar_text_color(const theme *t);
color theme_sidebar_text_color_highlighted(const theme *t);
color theme_sidebar_text_color_highlighted_inactive(const theme *t);
color theme_sidebar_highlight_color(const theme *t);
color theme_sidebar_highlight_color_inactive(const theme *t);
float theme_line_height(const theme *t);
float theme_kerning(const theme *t);

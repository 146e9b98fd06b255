#include "textengine/settings/theme.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "library/d_string.h"
#include "library/diagnostics.h"
#include "textengine/settings/settings_file.h"
#include "textengine/utf8_sequence.h"

namespace {

bool valid_index(int i) { return i >= 0 && i < kThemeStyleCount; }

// Theme numbers are doubles in the file but floats and 16-bit integers in
// the record; values beyond those ranges are clamped rather than converted
// with undefined results, and NaN counts as 0.
float clamp_to_float(double d) {
    if (std::isnan(d))
        return 0.0f;
    if (d > FLT_MAX)
        return FLT_MAX;
    if (d < -FLT_MAX)
        return -FLT_MAX;
    return (float)d;
}

int16_t clamp_to_int16(double d) {
    if (std::isnan(d))
        return 0;
    d = std::trunc(d);
    if (d > INT16_MAX)
        return INT16_MAX;
    if (d < INT16_MIN)
        return INT16_MIN;
    return (int16_t)d;
}

const json_value *member_of_type(const json_object *o, const char *key, int type) {
    const json_value *v = json_object_get_value(o, key);
    return json_value_get_type(v) == type ? v : nullptr;
}

bool read_float(const json_object *o, const char *key, float *out) {
    const json_value *v = member_of_type(o, key, JSON_NUMBER);
    if (v)
        *out = clamp_to_float(json_value_get_number(v));
    return v != nullptr;
}

bool read_int16(const json_object *o, const char *key, int16_t *out) {
    const json_value *v = member_of_type(o, key, JSON_NUMBER);
    if (v)
        *out = clamp_to_int16(json_value_get_number(v));
    return v != nullptr;
}

bool read_flag(const json_object *o, const char *key, uint8_t *out) {
    const json_value *v = member_of_type(o, key, JSON_NUMBER);
    if (v)
        *out = json_value_get_number(v) != 0.0 ? 1 : 0;  // NaN too gives 1
    return v != nullptr;
}

bool read_color(const json_object *o, const char *key, color *out) {
    const json_value *v = member_of_type(o, key, JSON_STRING);
    if (v)
        *out = theme_color_parse(json_value_get_string(v));
    return v != nullptr;
}

// Keeps at most the field's length, cut back to a whole UTF-8 character,
// and always terminated.
void copy_font_name(char *field, const char *name) {
    size_t length = strlen(name);
    size_t n = length < kThemeFontNameLength ? length : kThemeFontNameLength;
    while (n > 0 && n < length && utf8_is_continuation((unsigned char)name[n]))
        n--;
    memset(field, 0, kThemeFontNameLength + 1);
    memcpy(field, name, n);
}

void set_defaults(theme *t) {
    memset(t, 0, sizeof *t);
    t->styles[0].foreground = color_black;
    t->styles[0].background = color_white;
}

struct Inheritance {
    int parent;
    int children[40];
    int count;
};

const Inheritance kInheritance[] = {
    {61, {62, 63, 64, 65, 66, 67, 78, 79}, 8},
    {104, {105, 127, 107, 117, 119, 118}, 6},
    {107, {108, 111, 109, 110, 112, 113}, 6},
    {128,
     {131, 132, 133, 134, 135, 136, 137, 140, 138, 139, 141, 142, 143, 144, 145, 146, 170, 171, 172,
      173, 175, 174, 153, 198, 199, 192, 193, 194, 195, 196, 197, 185, 186, 187, 188, 189, 190, 191},
     38},
    {69, {169}, 1},
};

}  // namespace

theme *theme_new(void) {
    theme *t = static_cast<theme *>(malloc(sizeof(theme)));
    if (t)
        set_defaults(t);
    return t;
}

bool theme_parse_style(theme_style *style, const json_object *object) {
    if (!style || !object)
        return false;
    bool any = false;
    any |= read_float(object, "fontSize", &style->font_size);
    any |= read_float(object, "fontScale", &style->font_scale);
    if (const json_value *name = member_of_type(object, "fontName", JSON_STRING)) {
        copy_font_name(style->font_name, json_value_get_string(name));
        any = true;
    }
    any |= read_color(object, "foregroundColor", &style->foreground);
    any |= read_color(object, "backgroundColor", &style->background);
    any |= read_flag(object, "italic", &style->italic);
    any |= read_flag(object, "bold", &style->bold);
    any |= read_int16(object, "superscript", &style->superscript);
    any |= read_int16(object, "underline", &style->underline);
    any |= read_float(object, "leftIndent", &style->left_indent);
    any |= read_float(object, "rightIndent", &style->right_indent);
    any |= read_float(object, "paraSpace", &style->para_space);
    any |= read_float(object, "paraSpaceBefore", &style->para_space_before);
    return any;
}

theme *theme_parse(const char *text, char *const *style_names, size_t count) {
    json_value *root = json_parse_string(text);
    if (!root) {
        tzr_log("Invalid JSON...\n");
        return nullptr;
    }
    theme *t = theme_new();
    if (!t) {
        json_value_free(root);
        return nullptr;
    }
    const json_object *o = json_value_get_object(root);
    t->defined[0] = theme_parse_style(&t->styles[0], o);

    read_color(o, "selectionColor", &t->selection_color);
    read_color(o, "caretColor", &t->caret_color);
    read_float(o, "lineHeight", &t->line_height);
    read_float(o, "kerning", &t->kerning);
    read_float(o, "horizontalPadding", &t->horizontal_padding);
    read_float(o, "verticalPadding", &t->vertical_padding);
    read_color(o, "sidebarBackgroundColor", &t->sidebar_background_color);
    read_color(o, "sidebarTextColor", &t->sidebar_text_color);
    read_color(o, "sidebarTextColorHighlighted", &t->sidebar_text_color_highlighted);
    read_color(o, "sidebarTextColorHighlightedInactive",
               &t->sidebar_text_color_highlighted_inactive);
    read_color(o, "sidebarHighlightColor", &t->sidebar_highlight_color);
    read_color(o, "sidebarHighlightColorInactive", &t->sidebar_highlight_color_inactive);

    // The table has 256 styles however many names the caller offers.
    if (count > (size_t)kThemeStyleCount)
        count = kThemeStyleCount;
    if (style_names && count >= 2) {
        for (size_t i = 1; i < count; i++) {
            const char *name = style_names[i];
            if (!name || !*name)
                continue;
            const json_object *style = json_object_get_object(o, name);
            if (style)
                t->defined[i] = theme_parse_style(&t->styles[i], style);
        }
    }
    json_value_free(root);
    return t;
}

theme *theme_load_file(const char *path, char *const *style_names, size_t count) {
    DString *text = settings_file_read(path);
    if (!text)
        return nullptr;
    theme *t = theme_parse(text->str, style_names, count);
    d_string_free(text, true);
    return t;
}

void theme_style_inherit(theme *t, int a, int b) {
    if (!t || !valid_index(a) || !valid_index(b))
        return;
    if (!t->defined[a] && !t->defined[b])
        return;
    t->defined[b] = 1;
    const theme_style own = t->styles[b];
    theme_style s = t->styles[a];
    if (own.font_name[0])
        memcpy(s.font_name, own.font_name, sizeof s.font_name);
    if (own.font_size != 0)
        s.font_size = own.font_size;
    if (own.font_scale != 0)
        s.font_scale = own.font_scale;
    if (own.foreground.alpha != 0)
        s.foreground = own.foreground;
    if (own.background.alpha != 0)
        s.background = own.background;
    if (own.italic)
        s.italic = 1;
    if (own.bold)
        s.bold = 1;
    if (own.underline != 0)
        s.underline = own.underline;
    t->styles[b] = s;
}

void theme_inherit_styles(theme *t) {
    if (!t)
        return;
    for (const Inheritance &group : kInheritance)
        for (int i = 0; i < group.count; i++)
            theme_style_inherit(t, group.parent, group.children[i]);
}

// --- Accessors --------------------------------------------------------------

namespace {

const theme_style *style_at(const theme *t, int i) {
    return t && valid_index(i) ? &t->styles[i] : nullptr;
}

}  // namespace

bool theme_has_style(const theme *t, int i) { return t && valid_index(i) && t->defined[i]; }

const char *theme_style_font_name(const theme *t, int i) {
    const theme_style *s = style_at(t, i);
    return s ? s->font_name : "";
}

#define THEME_STYLE_FIELD(type, name, field)      \
    type name(const theme *t, int i) {            \
        const theme_style *s = style_at(t, i);    \
        return s ? s->field : type{};             \
    }

THEME_STYLE_FIELD(float, theme_style_font_size, font_size)
THEME_STYLE_FIELD(float, theme_style_font_scale, font_scale)
THEME_STYLE_FIELD(color, theme_style_foreground, foreground)
THEME_STYLE_FIELD(color, theme_style_background, background)
THEME_STYLE_FIELD(uint8_t, theme_style_bold, bold)
THEME_STYLE_FIELD(uint8_t, theme_style_italic, italic)
THEME_STYLE_FIELD(int16_t, theme_style_superscript, superscript)
THEME_STYLE_FIELD(int16_t, theme_style_underline, underline)
THEME_STYLE_FIELD(float, theme_style_left_indent, left_indent)
THEME_STYLE_FIELD(float, theme_style_right_indent, right_indent)
THEME_STYLE_FIELD(float, theme_style_para_space, para_space)
THEME_STYLE_FIELD(float, theme_style_para_space_before, para_space_before)

#define THEME_FIELD(type, name, field) \
    type name(const theme *t) { return t ? t->field : type{}; }

THEME_FIELD(color, theme_caret_color, caret_color)
THEME_FIELD(color, theme_selection_color, selection_color)
THEME_FIELD(color, theme_sidebar_background_color, sidebar_background_color)
THEME_FIELD(color, theme_sidebar_text_color, sidebar_text_color)
THEME_FIELD(color, theme_sidebar_text_color_highlighted, sidebar_text_color_highlighted)
THEME_FIELD(color, theme_sidebar_text_color_highlighted_inactive,
            sidebar_text_color_highlighted_inactive)
THEME_FIELD(color, theme_sidebar_highlight_color, sidebar_highlight_color)
THEME_FIELD(color, theme_sidebar_highlight_color_inactive, sidebar_highlight_color_inactive)
THEME_FIELD(float, theme_line_height, line_height)
THEME_FIELD(float, theme_kerning, kerning)

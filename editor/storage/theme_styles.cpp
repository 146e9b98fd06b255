#include "editor/storage/theme_styles.h"

#include <QFile>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLoggingCategory>

#include <cstdlib>

#include "platform/text/font_resolver.h"
#include "textengine/settings/style_names.h"
#include "textengine/settings/theme.h"

#include "editor/editor_log.h"

namespace {

StyleColor packed(color c) { return qRgba(c.red, c.green, c.blue, c.alpha); }

std::optional<QColor> setColor(const theme *t, color (*get)(const theme *)) {
    color c = get(t);
    if (!t || c.alpha == 0)
        return std::nullopt;
    return QColor::fromRgba(packed(c));
}

}  // namespace

std::optional<QString> knownFontFamily(const QString &name) {
    if (name.trimmed().isEmpty())
        return std::nullopt;
    if (QFontDatabase::hasFamily(name))
        return name;
    // The resolver falls back from Mac faces to installed ones of their
    // kind, and from any other name to whatever the system matches; only
    // the first is a font "of that name".
    QString resolved = platform::FontResolver::resolveFamily(name);
    if (resolved != QFontInfo(QFont(name)).family())
        return resolved;
    return std::nullopt;
}

QFont editorBaseFont(const QString &name, double pointSize) {
    QFont font;
    if (std::optional<QString> family = knownFontFamily(name); family && pointSize > 0) {
        font = QFont(*family);
        font.setPointSizeF(pointSize);
    } else {
        font = QFont(platform::FontResolver::resolveFamily(QStringLiteral("Palatino")));
        font.setPointSizeF(12);
    }
    return font;
}

ThemeStyles::ThemeStyles() : m_names(smart_text_style_names_new()), m_resolver(knownFontFamily) {}

ThemeStyles::~ThemeStyles() {
    free(m_theme);
    smart_text_style_names_free(m_names);
}

bool ThemeStyles::load(const QString &path) {
    free(m_theme);
    m_theme = nullptr;
    QByteArray file = QFile::encodeName(path);
    m_theme = theme_load_file(file.constData(), m_names, kThemeStyleCount);
    if (!m_theme) {
        qCWarning(lcEditor, "Error loading theme '%s'", qUtf8Printable(path));
        return false;
    }
    theme_inherit_styles(m_theme);
    return true;
}

void ThemeStyles::setBaseFont(const QString &family, float pointSize) {
    m_baseFamily = family;
    m_basePointSize = pointSize;
}

void ThemeStyles::setFontResolver(FontFamilyResolver resolver) {
    m_resolver = resolver ? std::move(resolver) : FontFamilyResolver(knownFontFamily);
    m_resolved.clear();
}

std::optional<QString> ThemeStyles::resolveFamily(const QString &name) const {
    auto found = m_resolved.constFind(name);
    if (found != m_resolved.constEnd())
        return found.value();
    std::optional<QString> family = m_resolver(name);
    m_resolved.insert(name, family);
    return family;
}

bool ThemeStyles::hasStyle(int index) const { return theme_has_style(m_theme, index); }

ParaAttrs ThemeStyles::paragraph(float indent, float tail, float after, float before) const {
    ParaAttrs p;
    p.headIndent = p.firstLineIndent = indent;
    p.tailIndent = tail;
    p.spacingAfter = after;
    p.spacingBefore = before;
    float themeLineHeight = theme_line_height(m_theme);
    p.lineHeightMultiple = themeLineHeight != 0 ? themeLineHeight : m_lineHeightPreference;
    p.alignment = m_defaultAlignment;
    return p;
}

CharAttrs ThemeStyles::baseAttrs(StyleTable &table) const {
    CharAttrs a;
    a.family = m_baseFamily;
    a.pointSize = m_basePointSize;
    a.paragraph = table.intern(paragraph(0, 0, 0, 0));
    a = apply(0, a, table);
    // Text is always given a colour of its own, so that it never depends on
    // the view's palette (and a transparent base colour cannot hide it).
    if (qAlpha(a.foreground) == 0)
        a.foreground = foregroundColor().rgba();
    return a;
}

CharAttrs ThemeStyles::apply(int index, const CharAttrs &in, StyleTable &table) const {
    if (!theme_has_style(m_theme, index))
        return in;
    const theme_style &s = m_theme->styles[index];
    CharAttrs out = in;
    if (s.font_size != 0 || s.font_scale != 0 || s.font_name[0]) {
        float size = s.font_size != 0 ? s.font_size : m_basePointSize;
        if (s.font_scale != 0)
            size *= s.font_scale;
        QString name = s.font_name[0] ? QString::fromUtf8(s.font_name) : m_baseFamily;
        if (std::optional<QString> family = resolveFamily(name)) {
            out.family = *family;
            out.pointSize = size;
            out.bold = out.italic = false;
        }
    }
    if (index != 0 && s.background.alpha != 0)
        out.background = packed(s.background);
    if (s.foreground.alpha != 0)
        out.foreground = packed(s.foreground);
    if (s.bold)
        out.bold = true;
    if (s.italic)
        out.italic = true;
    if (s.underline != 0)
        out.underline = s.underline;
    if (s.superscript != 0)
        out.superscript = s.superscript;
    if (s.left_indent != 0 || s.right_indent != 0 || s.para_space != 0 || s.para_space_before != 0)
        out.paragraph = table.intern(
            paragraph(s.left_indent, -s.right_indent, s.para_space, s.para_space_before));
    return out;
}

QColor ThemeStyles::backgroundColor() const {
    color c = theme_style_background(m_theme, 0);
    return m_theme && c.alpha != 0 ? QColor::fromRgba(packed(c)) : QColor(Qt::white);
}

QColor ThemeStyles::foregroundColor() const {
    color c = theme_style_foreground(m_theme, 0);
    return m_theme && c.alpha != 0 ? QColor::fromRgba(packed(c)) : QColor(Qt::black);
}

ThemeColors ThemeStyles::viewColors() const {
    ThemeColors colors;
    colors.background = backgroundColor();
    colors.text = foregroundColor();
    colors.caret = setColor(m_theme, theme_caret_color).value_or(QColor(Qt::black));
    colors.selection = setColor(m_theme, theme_selection_color);
    colors.sidebarText = setColor(m_theme, theme_sidebar_text_color);
    colors.sidebarTextHighlighted = setColor(m_theme, theme_sidebar_text_color_highlighted);
    colors.sidebarTextHighlightedInactive =
        setColor(m_theme, theme_sidebar_text_color_highlighted_inactive);
    colors.sidebarHighlight = setColor(m_theme, theme_sidebar_highlight_color);
    colors.sidebarHighlightInactive = setColor(m_theme, theme_sidebar_highlight_color_inactive);
    colors.sidebarBackground = setColor(m_theme, theme_sidebar_background_color);
    return colors;
}

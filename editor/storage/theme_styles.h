// A loaded theme and what its styles do to the text: the style-name table
// handed to the theme reader, the inheritance between styles, the attributes
// a style gives a character, and the colours the editor view takes from it.
#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <functional>
#include <optional>

#include "editor/storage/block_style.h"

struct theme;

// Colours of the editor view from the theme. A colour whose alpha is 0 in the
// theme counts as not set: the optional ones are then empty, and the view
// keeps its own.
struct ThemeColors {
    QColor background = Qt::white;
    QColor text = Qt::black;
    QColor caret = Qt::black;
    std::optional<QColor> selection;  // background of selected text
    std::optional<QColor> sidebarText;
    std::optional<QColor> sidebarTextHighlighted;
    std::optional<QColor> sidebarTextHighlightedInactive;
    std::optional<QColor> sidebarHighlight;
    std::optional<QColor> sidebarHighlightInactive;
    std::optional<QColor> sidebarBackground;
};

// The font family to use for a font name, or nothing when no such font can
// be had (the range then keeps its font).
using FontFamilyResolver = std::function<std::optional<QString>(const QString &name)>;

// The stock resolver: a family the font database knows by that name, or the
// installed face that stands in for a known Mac face ("Menlo" is a
// monospaced face here); nothing for a name that is neither.
std::optional<QString> knownFontFamily(const QString &name);

// The editor's base font: `name` at `pointSize`, or the serif face that
// stands in for Palatino at 12 points when no such font can be had or the
// size is not positive.
QFont editorBaseFont(const QString &name, double pointSize);

class ThemeStyles {
public:
    ThemeStyles();
    ~ThemeStyles();
    ThemeStyles(const ThemeStyles &) = delete;
    ThemeStyles &operator=(const ThemeStyles &) = delete;

    // Reads a theme file with the style-name table and applies the style
    // inheritance. On failure logs "Error loading theme '<path>'", keeps no
    // theme (nothing is styled) and returns false.
    bool load(const QString &path);
    bool isLoaded() const { return m_theme != nullptr; }
    const theme *raw() const { return m_theme; }
    // 256 names by token type, as handed to the theme reader.
    char *const *styleNames() const { return m_names; }

    // The base font and the preferences a paragraph style starts from.
    void setBaseFont(const QString &family, float pointSize);
    void setLineHeightPreference(float lineHeight) { m_lineHeightPreference = lineHeight; }
    void setDefaultAlignment(int alignment) { m_defaultAlignment = alignment; }
    void setFontResolver(FontFamilyResolver resolver);
    const QString &baseFamily() const { return m_baseFamily; }
    float basePointSize() const { return m_basePointSize; }

    // What a character is reset to before a restyle: the base font, no
    // colours, traits or marks, the default paragraph style; then the base
    // style 0 of the theme, with an explicit text colour.
    CharAttrs baseAttrs(StyleTable &table) const;
    // The attributes after style `index` (a token type) is applied to `in`.
    // A style that sets a font replaces family, size and traits together,
    // then adds its own bold and italic.
    CharAttrs apply(int index, const CharAttrs &in, StyleTable &table) const;
    bool hasStyle(int index) const;

    // The storage's background and text colours: style 0's, or white and
    // black where the theme leaves them unset or fully transparent.
    QColor backgroundColor() const;
    QColor foregroundColor() const;
    ThemeColors viewColors() const;

private:
    std::optional<QString> resolveFamily(const QString &name) const;
    ParaAttrs paragraph(float indent, float tail, float after, float before) const;

    theme *m_theme = nullptr;
    char **m_names = nullptr;
    QString m_baseFamily;
    float m_basePointSize = 12;
    float m_lineHeightPreference = 0;
    int m_defaultAlignment = 0;
    FontFamilyResolver m_resolver;
    mutable QHash<QString, std::optional<QString>> m_resolved;
};

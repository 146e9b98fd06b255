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
    bool isLoaded() const { return theme_ != nullptr; }
    const theme *raw() const { return theme_; }
    // 256 names by token type, as handed to the theme reader.
    char *const *styleNames() const { return names_; }

    // The base font and the preferences a paragraph style starts from.
    void setBaseFont(const QString &family, float pointSize);
    void setLineHeightPreference(float lineHeight) { lineHeightPreference_ = lineHeight; }
    void setDefaultAlignment(int alignment) { defaultAlignment_ = alignment; }
    void setFontResolver(FontFamilyResolver resolver);
    const QString &baseFamily() const { return baseFamily_; }
    float basePointSize() const { return basePointSize_; }

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

    theme *theme_ = nullptr;
    char **names_ = nullptr;
    QString baseFamily_;
    float basePointSize_ = 12;
    float lineHeightPreference_ = 0;
    int defaultAlignment_ = 0;
    FontFamilyResolver resolver_;
    mutable QHash<QString, std::optional<QString>> resolved_;
};

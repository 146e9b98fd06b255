// The styles the storage gives its text, kept by the storage itself and
// pushed to Qt from there: character attributes per run of each block
// (QTextLayout::setFormats, never document formats) and paragraph attributes
// per block (QTextBlockFormat). Keeping them here lets the storage compare a
// pass with what a block already shows, and lets anyone ask what a character
// looks like without reading Qt's formats back.
#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QList>
#include <QString>
#include <QTextBlockFormat>
#include <QTextBlockUserData>
#include <QTextCharFormat>
#include <QTextLayout>

#include <cstdint>
#include <vector>

// A colour as the theme gives it, 0xAARRGGBB; alpha 0 means "not set".
using StyleColor = quint32;

// Paragraph attributes in the theme's points (the zoom factor is applied when
// they become a QTextBlockFormat).
struct ParaAttrs {
    float headIndent = 0;        // left indent of every line
    float firstLineIndent = 0;   // left indent of the first line
    float tailIndent = 0;        // the theme's right indent, negated
    float spacingAfter = 0;
    float spacingBefore = 0;
    float lineHeightMultiple = 0;  // 0 = the font's own line height
    int alignment = 0;           // 1 left, 2 right, 3 justified, 4 centred, else natural

    bool operator==(const ParaAttrs &) const = default;
};

// Character attributes, flattened: every style that touched the character
// has already been applied in order, so one value says everything.
struct CharAttrs {
    QString family;
    float pointSize = 0;
    bool bold = false;
    bool italic = false;
    StyleColor foreground = 0;
    StyleColor background = 0;
    qint16 underline = 0;
    qint16 superscript = 0;     // > 0 raised, < 0 lowered
    bool lineBreak = false;     // a hard line break (drawn as a mark by the view)
    quint32 paragraph = 0;      // index of the paragraph attributes in the StyleTable

    bool operator==(const CharAttrs &) const = default;
};

// One run of a block: `length` units from `start` (block-relative) in the
// attributes `attrs` (an index in the StyleTable).
struct StyleRun {
    int start = 0;
    int length = 0;
    quint32 attrs = 0;

    bool operator==(const StyleRun &) const = default;
};

// What the storage knows of one displayed block (one line of the text).
class BlockStyle : public QTextBlockUserData {
public:
    QList<StyleRun> runs;        // cover the block's text, without the separator
    quint32 separator = 0;       // attributes of the line feed that ends the block
    quint32 paragraph = 0;       // paragraph attributes the block shows
    // Type of the top-level token of the last parse that begins at the
    // block's start, 0 when none does (a list's, loose or not). The restyle
    // range is widened until a new parse agrees with these.
    quint16 blockStart = 0;
    // A top-level token begins inside the block (after a lone CR).
    bool innerStart = false;
    // A place inside a top-level block of the last parse where a parse may
    // begin again, as at a top-level block's start (an item of a list, a
    // block of a quote's or an item's contents, a line of a fence's code, a
    // row of a table's body): 1 + the index of the opening lines such a
    // parse takes in the storage's list of them; 0 when the block is none.
    quint32 opening = 0;
    // Elastic tab stops: where the block's tabs go, in pixels from the text
    // column's left edge, and the indent of its wrapped lines when the stops
    // set one (negative: the paragraph's own).
    QList<qreal> tabStops;
    qreal tabHeadIndent = -1;
    // Formats other services show over the runs (block-relative, tagged as
    // overlays), dropped by a restyle that changes the runs.
    QList<QTextLayout::FormatRange> overlays;
    // Whether the block's QTextLayout holds the formats of the runs and the
    // overlays. Until the block is laid out they live here alone: Qt's
    // layout of a block is an object of its own, kept as long as the block,
    // and a long text has millions of blocks never shown.
    bool inLayout = false;

    // A part of a long line that ends inside it (smart_text_storage.h, "Long
    // lines"): the block-level tokens the line's parse left open at its end,
    // outermost first, in which the next part is read, and whether their
    // text is read for inline markup (not in code, raw HTML or metadata).
    QList<quint16> lineContext;
    bool lineContextKnown = false;
    bool lineInline = true;
};

// Interned attributes of one storage: every distinct CharAttrs and ParaAttrs
// has a small index, with its Qt format made once.
class StyleTable {
public:
    StyleTable();

    quint32 intern(const CharAttrs &attrs);
    quint32 intern(const ParaAttrs &attrs);
    const CharAttrs &charAttrs(quint32 index) const { return m_chars[index].attrs; }
    const ParaAttrs &paraAttrs(quint32 index) const { return m_paras[index].attrs; }

    // Qt formats at a zoom factor; changing the zoom drops the made formats.
    void setZoom(double zoom);
    const QTextCharFormat &charFormat(quint32 index);
    // The font the characters of `index` show in, over the document's
    // default font `base` (already zoomed).
    QFont font(quint32 index, const QFont &base) const;
    const QTextBlockFormat &blockFormat(quint32 index);

    void clear();

private:
    struct CharEntry {
        CharAttrs attrs;
        QTextCharFormat format;
        bool made = false;
    };
    struct ParaEntry {
        ParaAttrs attrs;
        QTextBlockFormat format;
        bool made = false;
    };
    std::vector<CharEntry> m_chars;
    std::vector<ParaEntry> m_paras;
    QHash<CharAttrs, quint32> m_charIndex;
    QHash<ParaAttrs, quint32> m_paraIndex;
    double m_zoom = 1.0;
};

size_t qHash(const CharAttrs &attrs, size_t seed = 0);
size_t qHash(const ParaAttrs &attrs, size_t seed = 0);

// The colour of a theme value as Qt sees it.
QColor styleColor(StyleColor c);

// The Qt formats of attributes at a zoom factor (font sizes and paragraph
// metrics multiplied by it).
QTextCharFormat charFormatFor(const CharAttrs &attrs, double zoom);
QTextBlockFormat blockFormatFor(const ParaAttrs &attrs, double zoom);

// What the editor draws over its text that the text itself does not show:
// marks for spaces, tabs and line ends while invisible characters are shown,
// and, always, a mark at each hard line break (a line end the highlighter
// tagged as one), in the style of the text there; and, where a long line is
// shown in parts, the character a part's end stands for when it is not a
// space (see SmartTextStorage, "Long lines"), drawn as the text there.
//
// The text is laid out and painted by the document's own layout; this class
// adds the marks over the painted blocks (KVXTextView::paintEvent), so they
// never change where text goes. Marks are drawn in a monospaced face (the
// stand-in for Courier New) at the editor's font size times its zoom, in a
// mid grey at about half opacity.
#pragma once

#include <QColor>
#include <QFont>
#include <QList>
#include <QPointF>
#include <QRectF>

#include <optional>

class KVXTextView;
class QPainter;
class QTextBlock;

// One mark: the character it stands for (document position), the mark's
// glyph and where its baseline begins, in document coordinates.
struct InvisibleMark {
    int position = 0;
    char16_t glyph = 0;
    QPointF origin;
    bool hardBreak = false;  // drawn in the text's style, invisibles shown or not
    bool character = false;  // a character of the text itself, drawn in its style
    bool operator==(const InvisibleMark &) const = default;
};

class KVXLayoutManager {
public:
    static constexpr char16_t kSpaceMark = 0x00B7;      // middle dot
    static constexpr char16_t kTabMark = 0x2192;        // rightwards arrow
    static constexpr char16_t kLineBreakMark = 0x00AC;  // not sign
    // The marks' colour, as four hexadecimal digits (alpha, red, green, blue).
    static constexpr const char *kMarkColor = "8888";

    explicit KVXLayoutManager(KVXTextView *linkedTextView = nullptr);

    KVXTextView *linkedTextView() const { return m_linkedTextView; }
    void setLinkedTextView(KVXTextView *view);

    // Takes the mark font again from the linked editor: its default font's
    // size times its zoom (the platform's default size without an editor).
    void setFont();
    QFont font() const { return m_font; }
    QColor markColor() const { return m_color; }
    // The new font, and every visible line drawn again with or without marks.
    void toggleShowInvisibles();

    // The mark of a character while invisibles are shown: spaces, tabs and
    // line ends (LF, CR) get one, every other character none.
    static std::optional<char16_t> markFor(char16_t c);

    // The marks of one block, with invisibles shown or not (hard breaks are
    // marked either way). The block is laid out as needed.
    QList<InvisibleMark> marksInBlock(const QTextBlock &block, bool showInvisibles) const;
    // Draws the marks of the blocks that meet `clip` (document coordinates;
    // the painter translated accordingly).
    void drawGlyphsForGlyphRange(QPainter *painter, const QRectF &clip) const;

private:
    void drawMark(QPainter *painter, const InvisibleMark &mark) const;

    KVXTextView *m_linkedTextView = nullptr;
    QFont m_font;
    QColor m_color;
};

// The glyph substitution rule of a typesetter that shows invisibles by
// replacing glyphs: with invisibles shown, a line end that would not be
// drawn is drawn as the line-break mark and a tab as the tab mark (the same
// marks the layout manager draws); anything else, and any character at or
// past the end of the text, keeps the caller's flag. The editor draws its
// marks over the text instead, so nothing installs this rule; it is kept
// for a layout that can substitute glyphs.
struct KVXATSTypesetter {
    struct Substitution {
        bool notShown;                  // the flag to set
        std::optional<char16_t> glyph;  // the glyph that replaces the range's
    };
    static Substitution setNotShownAttribute(bool notShown, char16_t firstCharacter,
                                             bool pastEnd, bool showInvisibles);
};

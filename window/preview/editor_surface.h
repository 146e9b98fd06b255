// What the preview and the scroll synchroniser need of the editor beside
// them. The editor view implements it (or an adapter over it); tests use a
// plain QTextEdit through TextEditSurface.
//
// Everything is asked on the main thread.
#pragma once

#include <QByteArray>
#include <QRectF>

class QScrollBar;
class QWidget;

class EditorSurface {
public:
    virtual ~EditorSurface() = default;

    // The editor widget: keyboard focus goes back to it, and the mouse is
    // "over the editor" inside it.
    virtual QWidget *editorWidget() const = 0;
    // Its vertical scroll bar: its value is the top of the visible part, its
    // page step the visible height and maximum + page step the height of the
    // whole document, all in the same unit.
    virtual QScrollBar *verticalScrollBar() const = 0;

    // The visible height (the scroll view's), in pixels.
    virtual double viewHeight() const = 0;
    // The middle of the caret's line as a fraction of the visible height; not
    // finite when there is no caret to follow.
    virtual double cursorPosition() const = 0;
    // Where a range of the text lies, as fractions of the whole document's
    // height: the top is the middle of the range's first line, the height
    // the range's own. `location` and `length` count UTF-16 units.
    virtual QRectF percentOffsetRectForRange(qsizetype location, qsizetype length) const = 0;
    // The text as UTF-8, as the document library reads it.
    virtual QByteArray utf8Text() const = 0;
};

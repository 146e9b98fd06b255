// EditorSurface over a plain QTextEdit: what stands in for
// the editor view until the window is assembled, and what the tests scroll.
#pragma once

#include "window/preview/editor_surface.h"

#include <QPointer>

class QTextDocument;
class QTextEdit;

class TextEditSurface : public EditorSurface {
public:
    explicit TextEditSurface(QTextEdit *edit);

    QWidget *editorWidget() const override;
    QScrollBar *verticalScrollBar() const override;
    double viewHeight() const override;
    double cursorPosition() const override;
    QRectF percentOffsetRectForRange(qsizetype location, qsizetype length) const override;
    QByteArray utf8Text() const override;

private:
    QTextDocument *document() const;
    // The rectangle of the line that holds `position`, in document pixels.
    QRectF lineRect(qsizetype position) const;
    double documentHeight() const;

    QPointer<QTextEdit> m_edit;
};

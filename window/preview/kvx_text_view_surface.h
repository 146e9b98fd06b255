// EditorSurface over the editor view: what the preview and the scroll
// synchroniser of a document window follow.
#pragma once

#include "window/preview/editor_surface.h"

#include <QPointer>

class KVXTextView;

class KVXTextViewSurface : public EditorSurface {
public:
    explicit KVXTextViewSurface(KVXTextView *view);

    QWidget *editorWidget() const override;
    QScrollBar *verticalScrollBar() const override;
    double viewHeight() const override;
    double cursorPosition() const override;
    QRectF percentOffsetRectForRange(qsizetype location, qsizetype length) const override;
    QByteArray utf8Text() const override;

private:
    QPointer<KVXTextView> m_view;
};

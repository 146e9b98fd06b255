#include "window/preview/kvx_text_view_surface.h"

#include "editor/view/kvx_text_view.h"

#include <QScrollBar>

#include <limits>

KVXTextViewSurface::KVXTextViewSurface(KVXTextView *view) : m_view(view) {}

QWidget *KVXTextViewSurface::editorWidget() const {
    return m_view;
}

QScrollBar *KVXTextViewSurface::verticalScrollBar() const {
    return m_view ? m_view->verticalScrollBar() : nullptr;
}

double KVXTextViewSurface::viewHeight() const {
    return m_view ? m_view->viewHeight() : 0;
}

double KVXTextViewSurface::cursorPosition() const {
    return m_view ? m_view->cursorPosition() : std::numeric_limits<double>::quiet_NaN();
}

QRectF KVXTextViewSurface::percentOffsetRectForRange(qsizetype location, qsizetype length) const {
    return m_view ? m_view->percentOffsetRectForRange({location, length}) : QRectF();
}

QByteArray KVXTextViewSurface::utf8Text() const {
    if (!m_view || !m_view->storage())
        return {};
    return QByteArray(m_view->storage()->str(), qsizetype(m_view->storage()->len()));
}

#include "window/preview/text_edit_surface.h"

#include <QAbstractTextDocumentLayout>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextEdit>
#include <QTextLayout>

#include <cmath>
#include <limits>

TextEditSurface::TextEditSurface(QTextEdit *edit) : m_edit(edit) {}

QWidget *TextEditSurface::editorWidget() const {
    return m_edit;
}

QScrollBar *TextEditSurface::verticalScrollBar() const {
    return m_edit ? m_edit->verticalScrollBar() : nullptr;
}

QTextDocument *TextEditSurface::document() const {
    return m_edit ? m_edit->document() : nullptr;
}

double TextEditSurface::viewHeight() const {
    return m_edit ? m_edit->viewport()->height() : 0;
}

double TextEditSurface::documentHeight() const {
    QTextDocument *doc = document();
    return doc ? doc->documentLayout()->documentSize().height() : 0;
}

QRectF TextEditSurface::lineRect(qsizetype position) const {
    QTextDocument *doc = document();
    if (!doc)
        return {};
    const QTextBlock block = doc->findBlock(int(position));
    if (!block.isValid())
        return {};
    const QRectF blockRect = doc->documentLayout()->blockBoundingRect(block);
    const QTextLayout *layout = block.layout();
    const QTextLine line = layout ? layout->lineForTextPosition(int(position - block.position())) : QTextLine();
    if (!line.isValid())
        return blockRect;
    return QRectF(blockRect.left() + line.x(), blockRect.top() + line.y(), line.width(), line.height());
}

double TextEditSurface::cursorPosition() const {
    const double visible = viewHeight();
    if (!m_edit || !(visible > 0))
        return std::numeric_limits<double>::quiet_NaN();
    const QRectF line = lineRect(m_edit->textCursor().position());
    return (line.center().y() - m_edit->verticalScrollBar()->value()) / visible;
}

QRectF TextEditSurface::percentOffsetRectForRange(qsizetype location, qsizetype length) const {
    const double height = documentHeight();
    if (!(height > 0))
        return {};
    const QRectF first = lineRect(location);
    const QRectF last = lineRect(location + std::max<qsizetype>(length - 1, 0));
    const QRectF range = first.united(last);
    return QRectF(range.x(), (first.height() * 0.5 + range.top()) / height, range.width(),
                  range.height() / height);
}

QByteArray TextEditSurface::utf8Text() const {
    return m_edit ? m_edit->toPlainText().toUtf8() : QByteArray();
}

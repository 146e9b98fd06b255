#include "editor/view/kvx_layout_manager.h"

#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextLayout>

#include "editor/view/kvx_text_view.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/storage/smart_text_storage.h"
#include "platform/text/font_resolver.h"
#include "platform/text/hex_color.h"

KVXLayoutManager::KVXLayoutManager(KVXTextView *linkedTextView)
    : m_linkedTextView(linkedTextView),
      m_color(platform::HexColor::colorWithHexString(QString::fromLatin1(kMarkColor))) {
    setFont();
}

void KVXLayoutManager::setLinkedTextView(KVXTextView *view) {
    m_linkedTextView = view;
    setFont();
}

void KVXLayoutManager::setFont() {
    qreal size = 0;
    if (m_linkedTextView)
        size = m_linkedTextView->defaultFont().pointSizeF() * m_linkedTextView->zoomFactor();
    m_font = platform::FontResolver::font(QStringLiteral("Courier New"), size);
}

void KVXLayoutManager::toggleShowInvisibles() {
    setFont();
    if (m_linkedTextView)
        m_linkedTextView->viewport()->update();
}

std::optional<char16_t> KVXLayoutManager::markFor(char16_t c) {
    switch (c) {
    case u' ':
        return kSpaceMark;
    case u'\t':
        return kTabMark;
    case u'\n':
    case u'\r':
        return kLineBreakMark;
    default:
        return std::nullopt;
    }
}

QList<InvisibleMark> KVXLayoutManager::marksInBlock(const QTextBlock &block,
                                                    bool showInvisibles) const {
    QList<InvisibleMark> marks;
    if (!m_linkedTextView || !block.isValid())
        return marks;
    SmartTextStorage *storage = m_linkedTextView->storage();
    const QRectF bounds = storage->documentLayout()->blockBoundingRect(block);
    const QTextLayout *layout = block.layout();
    if (layout->lineCount() == 0)
        return marks;
    const QPointF origin = bounds.topLeft();
    auto place = [&](int offset, char16_t glyph, bool hardBreak) {
        QTextLine line = layout->lineForTextPosition(offset);
        if (!line.isValid())
            line = layout->lineAt(layout->lineCount() - 1);
        const QPointF at(origin.x() + line.cursorToX(offset), origin.y() + line.y() + line.ascent());
        marks.append({block.position() + offset, glyph, at, hardBreak});
    };
    if (showInvisibles) {
        const QString text = block.text();
        for (int i = 0; i < text.size(); i++) {
            // The document shows a carriage return as a visible symbol of
            // its own; only spaces and tabs are marked inside a line.
            const char16_t c = text.at(i).unicode();
            if (c == u' ' || c == u'\t')
                place(i, *markFor(c), false);
        }
    }
    // The block's line feed, when another block follows; or, where a long
    // line is shown in parts, the character the part's end stands for: a
    // space or tab marked as those are, anything else drawn as the text
    // there.
    if (block.next().isValid()) {
        const int end = block.length() - 1;
        const QChar part = storage->partEnd(block);
        if (part == QLatin1Char(' ') || part == QLatin1Char('\t')) {
            if (showInvisibles)
                place(end, *markFor(part.unicode()), false);
        } else if (!part.isNull()) {
            place(end, part.unicode(), false);
            marks.last().character = true;
        } else if (storage->hasHardBreak(block)) {
            place(end, *markFor(u'\n'), true);
        } else if (showInvisibles) {
            place(end, *markFor(u'\n'), false);
        }
    }
    return marks;
}

void KVXLayoutManager::drawMark(QPainter *painter, const InvisibleMark &mark) const {
    const QString glyph(QChar(mark.glyph));
    if (!mark.hardBreak && !mark.character) {
        painter->setFont(m_font);
        painter->setPen(m_color);
        painter->drawText(mark.origin, glyph);
        return;
    }
    // In the style the text has at the line feed (or at the character).
    SmartTextStorage *storage = m_linkedTextView->storage();
    const QTextCharFormat format =
        charFormatFor(storage->attributesAt(mark.position), m_linkedTextView->zoomFactor());
    QFont font = format.font().resolve(storage->document()->defaultFont());
    painter->setFont(font);
    painter->setPen(format.hasProperty(QTextFormat::ForegroundBrush) ? format.foreground().color()
                                                                     : storage->foregroundColor());
    painter->drawText(mark.origin, glyph);
}

void KVXLayoutManager::drawGlyphsForGlyphRange(QPainter *painter, const QRectF &clip) const {
    if (!m_linkedTextView)
        return;
    SmartTextStorage *storage = m_linkedTextView->storage();
    LazyDocumentLayout *layout = storage->documentLayout();
    const bool showInvisibles = m_linkedTextView->showInvisibleCharacters();
    painter->save();
    for (QTextBlock block = m_linkedTextView->blockAtDocumentY(clip.top()); block.isValid();
         block = block.next()) {
        const QRectF bounds = layout->blockBoundingRect(block);
        if (bounds.top() > clip.bottom())
            break;
        for (const InvisibleMark &mark : marksInBlock(block, showInvisibles))
            drawMark(painter, mark);
    }
    painter->restore();
}

KVXATSTypesetter::Substitution KVXATSTypesetter::setNotShownAttribute(bool notShown,
                                                                      char16_t first,
                                                                      bool pastEnd,
                                                                      bool showInvisibles) {
    if (!notShown || !showInvisibles || pastEnd)
        return {notShown, std::nullopt};
    if (first == u'\n' || first == u'\r')
        return {false, KVXLayoutManager::kLineBreakMark};
    if (first == u'\t')
        return {false, KVXLayoutManager::kTabMark};
    return {notShown, std::nullopt};
}

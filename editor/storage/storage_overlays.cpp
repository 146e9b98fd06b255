// Overlay formats: what other services show over the storage's styles,
// kept in the blocks' layout formats beside the style runs.
#include <QTextCursor>
#include <QTextDocument>

#include "editor/storage/smart_text_storage.h"

namespace {

bool isOverlay(const QTextLayout::FormatRange &range) {
    return range.format.hasProperty(SmartTextStorage::kOverlayProperty);
}

}  // namespace

void SmartTextStorage::setOverlayFormats(const QTextBlock &block, QList<QTextLayout::FormatRange> overlays) {
    assertThread();
    if (!block.isValid() || block.document() != m_document)
        return;
    QTextLayout *layout = block.layout();
    QList<QTextLayout::FormatRange> formats = layout->formats();
    const qsizetype before = formats.size();
    formats.removeIf(isOverlay);
    if (overlays.isEmpty() && formats.size() == before)
        return;
    const int textLength = block.length() - 1;
    for (QTextLayout::FormatRange &range : overlays) {
        range.start = qBound(0, range.start, textLength);
        range.length = qBound(0, range.length, textLength - range.start);
        if (range.length == 0)
            continue;
        range.format.setProperty(kOverlayProperty, true);
        formats.append(range);
    }
    // New formats drop the block's lines, and only the end of an edit of
    // the document tells its layout so: the change is one (joining the
    // storage's own when it makes one). It is the storage's change of
    // formats, which its watch over the document must not take for an edit.
    const bool wasPatching = m_patching;
    m_patching = true;
    QTextCursor edit(m_document);
    edit.beginEditBlock();
    layout->setFormats(formats);
    edit.endEditBlock();
    m_patching = wasPatching;
}

QList<QTextLayout::FormatRange> SmartTextStorage::overlayFormats(const QTextBlock &block) const {
    QList<QTextLayout::FormatRange> overlays;
    if (!block.isValid() || block.document() != m_document)
        return overlays;
    for (const QTextLayout::FormatRange &range : block.layout()->formats())
        if (isOverlay(range))
            overlays.append(range);
    return overlays;
}

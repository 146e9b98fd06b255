// Overlay formats: what other services show over the storage's styles, kept
// in each block's BlockStyle beside its style runs; and how both reach the
// block's QTextLayout, once the block is laid out.
#include <QTextCursor>
#include <QTextDocument>

#include "editor/storage/smart_text_storage.h"
#include "editor/view/lazy_document_layout.h"

namespace {

BlockStyle *styleOf(const QTextBlock &block) { return static_cast<BlockStyle *>(block.userData()); }

}  // namespace

void SmartTextStorage::setOverlayFormats(const QTextBlock &block, QList<QTextLayout::FormatRange> overlays) {
    assertThread();
    if (!block.isValid() || block.document() != m_document)
        return;
    const int textLength = block.length() - 1;
    QList<QTextLayout::FormatRange> kept;
    kept.reserve(overlays.size());
    for (QTextLayout::FormatRange &range : overlays) {
        range.start = qBound(0, range.start, textLength);
        range.length = qBound(0, range.length, textLength - range.start);
        if (range.length == 0)
            continue;
        range.format.setProperty(kOverlayProperty, true);
        range.format = sharedOverlayFormat(range.format);
        kept.append(std::move(range));
    }
    BlockStyle *style = styleOf(block);
    if (!style) {
        if (kept.isEmpty())
            return;
        style = new BlockStyle;
        QTextBlock(block).setUserData(style);
    }
    if (style->overlays == kept)
        return;
    style->overlays = std::move(kept);
    if (style->inLayout || m_layout->isLaidOut(block.blockNumber()))
        pushFormatsAsChange(block);
}

// Marks come with formats of their own, most of them alike (every misspelt
// word's underline): the storage keeps one of each of the first few kinds,
// which the marks then share, rather than a format for every mark of a long
// text.
QTextCharFormat SmartTextStorage::sharedOverlayFormat(const QTextCharFormat &format) {
    for (const QTextCharFormat &known : std::as_const(m_overlayFormats))
        if (known == format)
            return known;
    if (m_overlayFormats.size() < kSharedOverlayFormats)
        m_overlayFormats.append(format);
    return format;
}

QList<QTextLayout::FormatRange> SmartTextStorage::overlayFormats(const QTextBlock &block) const {
    if (!block.isValid() || block.document() != m_document)
        return {};
    const BlockStyle *style = styleOf(block);
    return style ? style->overlays : QList<QTextLayout::FormatRange>();
}

// The block's layout takes the formats of its runs, then those of its
// overlays.
void SmartTextStorage::pushFormats(const QTextBlock &block) {
    BlockStyle *style = styleOf(block);
    if (!style)
        return;
    QList<QTextLayout::FormatRange> formats;
    formats.reserve(style->runs.size() + style->overlays.size());
    for (const StyleRun &run : style->runs)
        formats.append({run.start, run.length, m_styles.charFormat(run.attrs)});
    formats += style->overlays;
    // A layout that never had formats needs none now.
    if (!formats.isEmpty() || style->inLayout)
        block.layout()->setFormats(formats);
    style->inLayout = true;
}

// New formats drop the block's lines, and only the end of an edit of the
// document tells its layout so: the change is one (joining the storage's own
// when it makes one). It is the storage's change of formats, which its watch
// over the document must not take for an edit.
void SmartTextStorage::pushFormatsAsChange(const QTextBlock &block) {
    const bool wasPatching = m_patching;
    m_patching = true;
    QTextCursor edit(m_document);
    edit.beginEditBlock();
    pushFormats(block);
    m_layout->expectFormatsOf(block);
    edit.endEditBlock();
    m_layout->expectFormatsOf(QTextBlock());
    m_patching = wasPatching;
}

// Just before the layout lays a block out: its formats, if its layout does
// not hold them yet.
void SmartTextStorage::formatForLayout(const QTextBlock &block) {
    const BlockStyle *style = styleOf(block);
    if (style && !style->inLayout)
        pushFormatsAsChange(block);
}

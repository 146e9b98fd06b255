#include "editor/view/prose_chunk.h"

#include <QTextDocument>

#include <mutex>

#include "editor/storage/smart_text_storage.h"
#include "library/engine.h"
#include "library/token.h"

namespace {

// A parse of its own takes at least this many blocks.
constexpr int kChunkBlocks = 96;
// How far a metadata block's paragraph is looked for.
constexpr int kMetadataLines = 512;

}  // namespace

ProseChunk proseChunkAround(SmartTextStorage &storage, const QTextBlock &block) {
    QTextDocument *document = storage.document();
    QTextBlock first = block;
    while (first.previous().isValid() && storage.blockStartType(first) == 0)
        first = first.previous();
    const QTextBlock top = document->firstBlock();
    if (first != top && storage.blockStartType(top) == BLOCK_META && first.blockNumber() <= kMetadataLines) {
        // Metadata lines may follow anywhere before the first blank line.
        bool blank = false;
        for (QTextBlock b = top; b.isValid() && b != first && !blank; b = b.next())
            blank = b.text().trimmed().isEmpty();
        if (!blank)
            first = top;
    }
    QTextBlock last = block;
    int count = 0;
    for (QTextBlock next = block.next(); next.isValid(); next = next.next()) {
        if (++count >= kChunkBlocks && storage.blockStartType(next) != 0)
            break;
        last = next;
    }
    const qsizetype from = first.position();
    // A text still being laid in ends, for now, where the document does:
    // the rest is parsed with its own blocks.
    const qsizetype to = last.next().isValid() ? last.next().position() : storage.laidInLength();
    token *root = nullptr;
    {
        std::lock_guard<std::mutex> lock(storage.engineMutex());
        root = tzr_engine_parse_substring(storage.engine(), size_t(from), size_t(to - from));
    }
    ProseChunk chunk{first, last, prose::excludedRanges(root, from, to)};
    if (root)
        token_tree_free(root);
    return chunk;
}

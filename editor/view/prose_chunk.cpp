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

ProseChunk proseChunkAround(SmartTextStorage &storage, const QTextBlock &block, bool withSentences) {
    QTextDocument *document = storage.document();
    // A part of a long line after its first is a run of its own, read as
    // the storage styles it: with the parts on either side.
    if (storage.continuesLine(block)) {
        ProseChunk chunk;
        chunk.first = chunk.last = block;
        token *root = storage.partParse(block, &chunk.from, &chunk.to);
        chunk.excluded = prose::excludedRanges(root, chunk.from, chunk.to);
        if (withSentences)
            chunk.sentences = proseSentences(storage, root, chunk.from, chunk.to, chunk.excluded);
        if (root)
            token_tree_free(root);
        return chunk;
    }
    QTextBlock first = block;
    // A run begins where a parse may (inside a block of megabytes too); a
    // long line before the block is no part of its run.
    while (first.previous().isValid() && !storage.beginsParse(first) &&
           !storage.continuesLine(first.previous()) && !storage.endsInLine(first.previous()))
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
    // A run ends with the first part of a long line: its other parts are
    // runs of their own.
    for (QTextBlock next = block.next(); next.isValid() && !storage.endsInLine(last); next = next.next()) {
        if (++count >= kChunkBlocks && storage.beginsParse(next))
            break;
        last = next;
    }
    const qsizetype from = first.position();
    // A text still being laid in ends, for now, where the document does:
    // the rest is parsed with its own blocks.
    const qsizetype to = last.next().isValid() ? last.next().position() : storage.laidInLength();
    token *root = storage.parseFrom(from, to);
    ProseChunk chunk{first, last, from, to, prose::excludedRanges(root, from, to), {}};
    if (withSentences)
        chunk.sentences = proseSentences(storage, root, from, to, chunk.excluded);
    if (root)
        token_tree_free(root);
    return chunk;
}

std::vector<prose::Sentence> proseSentences(SmartTextStorage &storage, const token *root, qsizetype from,
                                            qsizetype to, const std::vector<prose::Excluded> &excluded) {
    if (!root || to <= from)
        return {};
    // The text of the whole blocks, from the document (each block's text and
    // its line end): the storage's own string would be made whole anew after
    // every keystroke.
    const QTextBlock first = storage.document()->findBlock(int(from));
    QString text;
    text.reserve(to - first.position());
    for (QTextBlock b = first; b.isValid() && b.position() < to; b = b.next()) {
        text += b.text();
        // A part's end stands for a character of its line.
        const QChar end = storage.partEnd(b);
        text += end.isNull() ? QChar(QLatin1Char('\n')) : end;
    }
    return prose::sentences(root, QStringView(text).mid(from - first.position(), to - from), from, excluded);
}

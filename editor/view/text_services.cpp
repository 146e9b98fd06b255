#include "editor/view/text_services.h"

#include <QScrollBar>
#include <QTextCharFormat>
#include <QTextDocument>

#include "editor/view/kvx_text_view.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/view/prose_chunk.h"
#include "platform/services/spelling/spell_service.h"

namespace {

// A restyle of at most this many blocks (a keystroke's) is marked at once.
constexpr int kImmediateBlocks = 64;
// An idle slice lasts about this long.
constexpr int kSliceMs = 4;

QTextCharFormat spellingFormat() {
    QTextCharFormat format;
    format.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    format.setUnderlineColor(QColor(Qt::red));
    format.setProperty(SmartTextStorage::kOverlayProperty, true);
    return format;
}

QTextCharFormat linkFormat(const QString &url) {
    QTextCharFormat format;
    format.setAnchor(true);
    format.setAnchorHref(url);
    format.setUnderlineStyle(QTextCharFormat::SingleUnderline);
    format.setProperty(SmartTextStorage::kOverlayProperty, true);
    return format;
}

bool isSpellingMark(const QTextLayout::FormatRange &range) {
    return range.format.underlineStyle() == QTextCharFormat::SpellCheckUnderline && !GrammarMarks::isMark(range);
}

bool isLinkMark(const QTextLayout::FormatRange &range) { return range.format.isAnchor(); }

}  // namespace

TextServices::TextServices(KVXTextView *view, platform::SpellService *spelling, platform::GrammarService *grammar)
    : m_view(view), m_storage(view->storage()), m_spelling(spelling), m_grammar(view->storage(), grammar),
      m_pass(view->storage()->document(),
             BlockPass::Work{[this](const QTextBlock &block) { return markChunk(block); },
                             [this](const QTextBlock &block) { return active() && !isCurrent(block); },
                             [this] { return shownBlocks(); }},
             kSliceMs) {
    m_pass.setWidget(view, 2);
    m_storage->setParseListener([this](const token *root, CharRange range, const QList<int> &restyledBlocks) {
        parsed(root, range, restyledBlocks);
    });
    connect(m_spelling, &platform::SpellService::wordsChanged, this, [this] {
        if (m_checkSpelling)
            invalidate();
    });
    m_grammar.setCaret([this] {
        const QTextCursor caret = m_view->textCursor();
        return caret.hasSelection() ? qsizetype(-1) : qsizetype(caret.position());
    });
    connect(&m_grammar, &GrammarMarks::cannotJudge, this, [this] {
        if (m_checkGrammar) {
            tellWhenGrammarCannotBeChecked();
            active() ? invalidate() : clearAll();
        }
    });
    connect(&m_grammar, &GrammarMarks::judged, this, [this](const QList<CharRange> &runs) { markAgain(runs); });
    connect(m_view, &QTextEdit::cursorPositionChanged, this, [this] { caretMoved(); });
    // What comes into view is marked first.
    connect(m_view->verticalScrollBar(), &QScrollBar::valueChanged, &m_pass, &BlockPass::schedule);
}

TextServices::~TextServices() {
    if (m_storage)
        m_storage->setParseListener({});
}

// Nothing is marked without a dictionary, unless links are.
bool TextServices::active() const {
    return m_storage && ((m_checkSpelling && m_spelling->isAvailable()) || checkingGrammar() || m_detectLinks);
}

void TextServices::setCheckSpelling(bool on) {
    if (on == m_checkSpelling)
        return;
    m_checkSpelling = on;
    active() ? invalidate() : clearAll();
}

void TextServices::setDetectLinks(bool on) {
    if (on == m_detectLinks)
        return;
    m_detectLinks = on;
    active() ? invalidate() : clearAll();
}

void TextServices::ignoreWord(const QString &word) {
    if (word.isEmpty() || m_ignored.contains(word))
        return;
    m_ignored.insert(word);
    if (m_checkSpelling)
        invalidate();
}

bool TextServices::isMisspelt(const QString &word) {
    return !word.isEmpty() && !m_ignored.contains(word) && !m_spelling->isCorrect(word);
}

// --- Marking ---------------------------------------------------------------------

// Everything is to be marked again: the blocks' records no longer hold.
void TextServices::invalidate() {
    if (++m_generation == -1)
        m_generation = 1;
    m_pass.addAll();
}

void TextServices::clearAll() {
    if (++m_generation == -1)
        m_generation = 1;
    m_pass.clear();
    m_heldEnd.reset();
    m_grammar.forget();
    if (!m_storage)
        return;
    QTextDocument *document = m_storage->document();
    for (QTextBlock block = document->firstBlock(); block.isValid(); block = block.next())
        m_storage->setOverlayFormats(block, {});
}

// A restyle dropped the marks of `restyledBlocks` (blocks of `range`): a
// few are marked again at once from the storage's own parse, so that typing
// never shows a block without its marks; many wait for idle slices.
void TextServices::parsed(const token *root, CharRange range, const QList<int> &restyledBlocks) {
    if (!active() || restyledBlocks.isEmpty())
        return;
    QTextDocument *document = m_storage->document();
    if (restyledBlocks.size() < kImmediateBlocks) {
        ProseChunk chunk;
        chunk.from = range.location;
        chunk.to = range.end();
        chunk.excluded = prose::excludedRanges(root, range.location, range.end());
        if (checkingGrammar())
            chunk.sentences = proseSentences(*m_storage, root, range.location, range.end(), chunk.excluded);
        for (int number : restyledBlocks) {
            const QTextBlock block = document->findBlockByNumber(number);
            if (block.isValid())
                markBlock(block, chunk, true);
        }
        return;
    }
    QTextBlock first, last;
    for (int number : restyledBlocks) {
        QTextBlock block = document->findBlockByNumber(number);
        if (!block.isValid())
            continue;
        block.setUserState(-1);
        if (!first.isValid())
            first = block;
        last = block;
    }
    // One range over them all: the blocks between that kept their marks
    // are stepped over.
    m_pass.add(first, last);
}

void TextServices::markBlock(const QTextBlock &block, const ProseChunk &chunk, bool typed) {
    const QString text = block.text();
    const qsizetype position = block.position();
    const prose::Found found = prose::scan(text, position, chunk.excluded);
    const QTextCursor caret = m_view->textCursor();
    const qsizetype held = caret.hasSelection() ? -1 : caret.position();
    if (held >= position && held <= position + text.size())
        m_heldEnd.reset();

    QList<QTextLayout::FormatRange> marks;
    if (m_checkSpelling && m_spelling->isAvailable()) {
        for (const prose::Word &word : found.words) {
            // The word being typed is left alone until it is ended.
            if (word.start + word.length == held) {
                m_heldEnd = held;
                continue;
            }
            if (isMisspelt(text.mid(word.start - position, word.length)))
                marks.append({int(word.start - position), int(word.length), spellingFormat()});
        }
    }
    if (checkingGrammar())
        marks += m_grammar.marksFor(block, chunk.sentences, {chunk.from, chunk.to - chunk.from}, held, typed);
    if (m_detectLinks)
        for (const prose::Address &address : found.addresses)
            marks.append({int(address.start - position), int(address.length), linkFormat(address.url)});
    if (marks != m_storage->overlayFormats(block))
        m_storage->setOverlayFormats(block, marks);
    const_cast<QTextBlock &>(block).setUserState(m_generation);
}

// Marks the run of whole top-level blocks around `block`; returns its last
// block.
QTextBlock TextServices::markChunk(const QTextBlock &block) {
    const ProseChunk chunk = proseChunkAround(*m_storage, block, checkingGrammar());
    for (QTextBlock b = chunk.first; b.isValid(); b = b.next()) {
        markBlock(b, chunk, false);
        if (b == chunk.last)
            break;
    }
    return chunk.last;
}

// The blocks on screen, marked first. They are found from the heights as
// they stand: a lookup that laid blocks out would move the text under the
// view's top line.
std::pair<QTextBlock, QTextBlock> TextServices::shownBlocks() const {
    if (!m_storage)
        return {};
    const int top = m_view->verticalScrollBar()->value();
    const int bottom = top + m_view->viewport()->height();
    const LazyDocumentLayout *layout = m_storage->documentLayout();
    return {layout->blockAtHeight(top), layout->blockAtHeight(bottom)};
}

void TextServices::checkAll() {
    if (!active()) {
        m_pass.clear();
        return;
    }
    m_pass.finish();
    // The sentences asked for are judged here and now, and shown; those
    // whose runs changed meanwhile are marked again.
    if (m_grammar.isWaiting()) {
        m_grammar.judgeWaitingNow();
        m_pass.finish();
    }
}

// The caret left the word it held unmarked (or the sentence): that word's
// block is marked again soon.
void TextServices::caretMoved() {
    if (const std::optional<CharRange> sentence = m_grammar.held(); sentence && m_storage) {
        const QTextCursor caret = m_view->textCursor();
        const qsizetype at = caret.position();
        if (caret.hasSelection() || at <= sentence->location || at >= sentence->end()) {
            m_grammar.releaseHeld();
            markAgain({*sentence});
        }
    }
    if (!m_heldEnd || !m_storage)
        return;
    const QTextCursor caret = m_view->textCursor();
    if (!caret.hasSelection() && caret.position() == *m_heldEnd)
        return;
    const QTextBlock block = m_storage->document()->findBlock(int(qMin(*m_heldEnd, m_storage->length())));
    m_heldEnd.reset();
    if (block.isValid()) {
        QTextBlock(block).setUserState(-1);
        m_pass.add(block, block);
    }
}

// --- What is marked ------------------------------------------------------------------

std::optional<CharRange> TextServices::misspellingAt(qsizetype position) const {
    const QTextBlock block = m_storage->document()->findBlock(int(position));
    const qsizetype offset = position - block.position();
    for (const QTextLayout::FormatRange &range : m_storage->overlayFormats(block))
        if (isSpellingMark(range) && offset >= range.start && offset <= range.start + range.length)
            return CharRange{block.position() + range.start, range.length};
    return std::nullopt;
}

std::optional<CharRange> TextServices::misspeltWordEndingAt(qsizetype end) {
    if (end <= 0 || end > m_storage->length() || !m_spelling->isAvailable())
        return std::nullopt;
    if (m_checkSpelling) {
        const std::optional<CharRange> marked = misspellingAt(end - 1);
        return marked && marked->end() == end ? marked : std::nullopt;
    }
    const QTextBlock block = m_storage->document()->findBlock(int(end - 1));
    if (!block.isValid())
        return std::nullopt;
    const QString text = block.text();
    const prose::Word word = prose::wordAt(text, end - 1 - block.position());
    if (word.length == 0 || block.position() + word.start + word.length != end)
        return std::nullopt;
    // The word as the whole block's scan sees it: not in code, a label or
    // an address.
    const qsizetype start = block.position() + word.start;
    for (const prose::Word &found :
         prose::scan(text, block.position(), proseChunkAround(*m_storage, block).excluded).words)
        if (found.start == start && found.length == word.length)
            return isMisspelt(text.mid(word.start, word.length)) ? std::optional(CharRange{start, word.length})
                                                                 : std::nullopt;
    return std::nullopt;
}

std::optional<TextServices::Link> TextServices::linkAt(qsizetype position) const {
    const QTextBlock block = m_storage->document()->findBlock(int(position));
    const qsizetype offset = position - block.position();
    for (const QTextLayout::FormatRange &range : m_storage->overlayFormats(block))
        if (isLinkMark(range) && offset >= range.start && offset < range.start + range.length)
            return Link{{block.position() + range.start, range.length}, range.format.anchorHref()};
    return std::nullopt;
}

QList<CharRange> TextServices::misspellings() const {
    QList<CharRange> found;
    for (QTextBlock block = m_storage->document()->firstBlock(); block.isValid(); block = block.next()) {
        QList<CharRange> inBlock;
        for (const QTextLayout::FormatRange &range : m_storage->overlayFormats(block))
            if (isSpellingMark(range))
                inBlock.append({block.position() + range.start, range.length});
        std::sort(inBlock.begin(), inBlock.end(),
                  [](const CharRange &a, const CharRange &b) { return a.location < b.location; });
        found += inBlock;
    }
    return found;
}

QList<TextServices::Link> TextServices::links() const {
    QList<Link> found;
    for (QTextBlock block = m_storage->document()->firstBlock(); block.isValid(); block = block.next())
        for (const QTextLayout::FormatRange &range : m_storage->overlayFormats(block))
            if (isLinkMark(range))
                found.append({{block.position() + range.start, range.length}, range.format.anchorHref()});
    return found;
}

bool TextServices::isProseAt(qsizetype position) const {
    const QTextBlock block = m_storage->document()->findBlock(int(qBound<qsizetype>(0, position, m_storage->length())));
    if (!block.isValid())
        return false;
    for (const prose::Excluded &excluded : proseChunkAround(*m_storage, block).excluded)
        if (position >= excluded.start && position < excluded.end)
            return false;
    return true;
}

std::optional<CharRange> TextServices::nextMisspelling(qsizetype from) {
    if (!m_spelling->isAvailable())
        return std::nullopt;
    QTextDocument *document = m_storage->document();
    const QTextBlock startBlock = document->findBlock(int(qBound<qsizetype>(0, from, m_storage->length())));
    if (!startBlock.isValid())
        return std::nullopt;
    // Two rounds: from `from` to the end, then from the start through the
    // block of `from`.
    for (int round = 0; round < 2; round++) {
        QTextBlock block = round == 0 ? startBlock : document->firstBlock();
        while (block.isValid()) {
            const ProseChunk chunk = proseChunkAround(*m_storage, block);
            for (QTextBlock b = block; b.isValid(); b = b.next()) {
                const QString text = b.text();
                for (const prose::Word &word : prose::scan(text, b.position(), chunk.excluded).words) {
                    if (round == 0 && b == startBlock && word.start < from)
                        continue;
                    if (isMisspelt(text.mid(word.start - b.position(), word.length)))
                        return CharRange{word.start, word.length};
                }
                if (round == 1 && b == startBlock)
                    return std::nullopt;
                if (b == chunk.last)
                    break;
            }
            block = chunk.last.next();
        }
    }
    return std::nullopt;
}

// The highlighting half of SmartTextStorage: which blocks an edit restyles,
// the parse of those blocks with the storage's document engine, the walk
// over its tokens that layers the theme's styles, and the push of the
// resulting runs to Qt.
#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <vector>

#include "editor/editor_log.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/view/lazy_document_layout.h"
#include "library/d_string.h"
#include "library/engine.h"
#include "textengine/buffer/smart_string.h"
#include "library/token.h"

namespace {

constexpr quint16 kBlankLinesBlock = 60;
constexpr quint16 kMetadataBlock = 76;
// Pseudo style of a hard line break: it marks the characters, styles nothing.
constexpr int kLineBreakMark = 1000;
// How many top-level blocks past the edit the first parse takes, before
// it looks for the point where the new parse agrees with the old one.
constexpr int kFirstLookahead = 3;

BlockStyle *styleOf(const QTextBlock &block) { return static_cast<BlockStyle *>(block.userData()); }

// The type of the top-level token that the last parse began at this block,
// 0 when it began none there or when the block's record cannot be trusted.
int recordOf(const QTextBlock &block) {
    const BlockStyle *style = styleOf(block);
    return style && !style->innerStart ? style->blockStart : 0;
}

// The opening lines of a place inside a top-level block where a parse may
// begin again (BlockStyle::opening), 0 for none.
quint32 placeOf(const QTextBlock &block) {
    const BlockStyle *style = styleOf(block);
    return style ? style->opening : 0;
}

// Whether a parse may begin at the block.
bool beginsParseAt(const QTextBlock &block) { return recordOf(block) != 0 || placeOf(block) != 0; }

// What kind of list begins somewhere, not whether it is loose: its items
// decide that, as far down it as they go, and the two kinds look alike.
quint16 kindOf(quint16 type) {
    if (type == BLOCK_LIST_BULLETED_LOOSE)
        return BLOCK_LIST_BULLETED;
    if (type == BLOCK_LIST_ENUMERATED_LOOSE)
        return BLOCK_LIST_ENUMERATED;
    return type;
}

// Block-level tokens: the parts of a long line after its first lie in those
// its first part's parse left open.
bool isBlockLevel(int type) {
    return (type >= BLOCK_BLOCKQUOTE && type <= BLOCK_TOC && type != BLOCK_EMPTY) || type == TABLE_ROW;
}

// Block-level tokens whose text is not read for inline markup.
bool isVerbatim(int type) {
    return type == BLOCK_CODE_FENCED || type == BLOCK_CODE_INDENTED || type == BLOCK_HTML || type == BLOCK_META ||
           type == BLOCK_TOC;
}

// Moves the inline tokens under block-level `t` (through any block-level
// tokens below it) to the end of `parent`'s children.
void takeInline(token *t, token *parent, int depth = 0) {
    token *child = t->child;
    t->child = nullptr;
    while (child) {
        token *next = child->next;
        token_unlink(child);
        if (isBlockLevel(child->type) && depth < 64) {
            takeInline(child, parent, depth + 1);
            token_free(child);
        } else {
            token_append_child(parent, child);
        }
        child = next;
    }
}

// A window [from, to) of a long line as a parse of it in place: a root over
// the window, the block-level tokens of `context` (outermost first) nested
// in it over the whole window, and in the innermost the inline tokens of
// `window`, a parse of the window's text on its own (taken over and freed;
// may be null), whose own block-level tokens give way to the context.
token *windowTree(const QList<quint16> &context, qsizetype from, qsizetype to, token *window) {
    token *root = token_new(DOC_ROOT, size_t(from), size_t(to - from));
    if (!root) {
        if (window)
            token_tree_free(window);
        return nullptr;
    }
    token *inner = root;
    for (quint16 type : context) {
        token *t = token_new(type, size_t(from), size_t(to - from));
        if (!t)
            break;
        token_append_child(inner, t);
        inner = t;
    }
    if (window) {
        for (token *top = window->child; top;) {
            token *next = top->next;
            if (isBlockLevel(top->type))
                takeInline(top, inner);
            top = next;
        }
        token_tree_free(window);
    }
    // Taking children moved their parents' ends: each spans the window.
    for (token *t = root;; t = t->child) {
        t->len = uint32_t(to - from);
        if (t == inner)
            break;
    }
    return root;
}

}  // namespace

// The starts of a parse's top-level tokens, one per position, and the places
// inside them where the library can take the parse up again, in order.
std::vector<SmartTextStorage::ParseStart> SmartTextStorage::parseStarts(const token *root, qsizetype from,
                                                                        qsizetype to, bool within) {
    std::vector<ParseStart> tops;
    for (const token *t = root ? root->child : nullptr; t && qsizetype(t->start) < to; t = t->next) {
        const qsizetype at = qsizetype(t->start);
        // The blocks a parse taken up inside them goes on with are no
        // blocks of their own.
        if (within && at == from)
            continue;
        if (tops.empty() || at != tops.back().position)
            tops.push_back({at, kindOf(t->type), 0});
    }
    struct Places {
        SmartTextStorage *storage;
        std::vector<ParseStart> found;
    } places{this, {}};
    {
        std::lock_guard<std::mutex> lock(engineMutex());
        tzr_tree_resume_points(
            m_engine, root, size_t(within ? from + 1 : from), size_t(to),
            [](void *context, size_t position, const unsigned short *opening, size_t levels) {
                auto *places = static_cast<Places *>(context);
                places->found.push_back({qsizetype(position), 0, places->storage->openingIndex(opening, levels)});
            },
            &places);
    }
    std::vector<ParseStart> starts;
    starts.reserve(tops.size() + places.found.size());
    std::merge(tops.begin(), tops.end(), places.found.begin(), places.found.end(), std::back_inserter(starts),
               [](const ParseStart &a, const ParseStart &b) { return a.position < b.position; });
    return starts;
}

quint32 SmartTextStorage::openingIndex(const unsigned short *types, size_t levels) {
    const QList<quint16> key(types, types + levels);
    auto found = m_openingIndex.constFind(key);
    if (found != m_openingIndex.constEnd())
        return found.value();
    m_openings.append(key);
    const quint32 index = quint32(m_openings.size());
    m_openingIndex.insert(key, index);
    return index;
}

// A parse is taken up inside blocks where the last one recorded a place.
// The line after a long one begins a parse of its own, as a fresh showing
// of the text begins it: parses stop in a long line's first part (see
// restyle), so none finds what the whole line left open.
quint32 SmartTextStorage::openingOf(const QTextBlock &block) const {
    if (recordOf(block) != 0 || block.position() == 0 || continuesLine(block.previous()))
        return 0;
    return placeOf(block);
}

token *SmartTextStorage::parseText(qsizetype from, qsizetype to, quint32 opening) {
    std::lock_guard<std::mutex> lock(engineMutex());
    m_unitsParsed += to - from;
    if (opening == 0 || opening > quint32(m_openings.size()))
        return tzr_engine_parse_substring(m_engine, size_t(from), size_t(to - from));
    const QList<quint16> &types = m_openings[opening - 1];
    return tzr_engine_parse_substring_within(m_engine, size_t(from), size_t(to - from), types.constData(),
                                             size_t(types.size()));
}

bool SmartTextStorage::beginsParse(const QTextBlock &block) const { return beginsParseAt(block); }

token *SmartTextStorage::parseFrom(qsizetype from, qsizetype to) {
    const QTextBlock block = m_document->findBlock(int(from));
    const quint32 opening = block.isValid() && block.position() == from ? openingOf(block) : 0;
    std::lock_guard<std::mutex> lock(engineMutex());
    if (opening == 0)
        return tzr_engine_parse_substring(m_engine, size_t(from), size_t(to - from));
    const QList<quint16> &types = m_openings[opening - 1];
    return tzr_engine_parse_substring_within(m_engine, size_t(from), size_t(to - from), types.constData(),
                                             size_t(types.size()));
}

void SmartTextStorage::recordStart(const QTextBlock &block, const std::vector<ParseStart> &starts) {
    if (!block.isValid() || continuesLine(block))
        return;
    const qsizetype position = block.position();
    auto found = std::lower_bound(starts.begin(), starts.end(), position,
                                  [](const ParseStart &s, qsizetype at) { return s.position < at; });
    if (found == starts.end() || found->position != position)
        return;
    BlockStyle *style = styleOf(block);
    if (!style) {
        style = new BlockStyle;
        QTextBlock(block).setUserData(style);
    }
    style->blockStart = found->type;
    style->opening = found->opening;
    style->innerStart = false;
}

// Restyles after an edit whose new text spans [start, insertedEnd): from two
// places before the edit where a parse may begin (blank-line blocks not
// counted: an edit can change how the block before it ends: a setext
// underline, a lazy line, an item that goes on after blank lines) to the
// first such place past the edit where the new parse agrees with the last
// one. From there on nothing can differ, since a parse that starts at a
// top-level block boundary does not depend on what came before it, nor one
// taken up at a place inside a block (an item of a list, a block of a
// quote, a code line, a table's row) on more than the blocks open there.
// An edit that opens or closes a code fence thus restyles everything after
// it, and any other edit only its neighbourhood, inside a block of
// megabytes too.
void SmartTextStorage::restyleAround(qsizetype start, qsizetype insertedEnd) {
    QTextBlock editFirst = m_document->findBlock(int(start));
    QTextBlock editLast = m_document->findBlock(int(insertedEnd));
    if (!editFirst.isValid())
        editFirst = m_document->lastBlock();
    if (!editLast.isValid())
        editLast = m_document->lastBlock();
    if (!m_theme.isLoaded()) {
        clearStyles(editFirst, editLast);
        return;
    }
    // The parts of a long line after its first that the edit touched are
    // restyled on their own; where the edit goes on past the line (a line
    // end typed in it), the rest is restyled as any edit there.
    if (continuesLine(editFirst)) {
        const QTextBlock next = restyleParts(editFirst, insertedEnd);
        if (!next.isValid())
            return;
        editFirst = next;
        if (editLast.blockNumber() < editFirst.blockNumber())
            editLast = editFirst;
    }
    QTextBlock first = m_document->firstBlock();
    int found = 0;
    for (QTextBlock block = editFirst.previous(); block.isValid(); block = block.previous()) {
        // A long line before the edit is not parsed again: the parse begins
        // after it, where a top-level block began after it. Where none did
        // (the line's paragraph, list or code block went on), or the edit
        // may make the line a heading's text, only a parse from the line's
        // start can tell: the text from there is styled ahead again.
        if (continuesLine(block) || endsInLine(block)) {
            first = block.next();
            const QString after = first.text().trimmed();
            const bool underline = !after.isEmpty() && (after.count(u'=') == after.size() ||
                                                        after.count(u'-') + after.count(u' ') == after.size());
            if (!beginsParseAt(first) || underline) {
                styleAheadFrom(lineOf(block).first.position());
                return;
            }
            break;
        }
        const int type = recordOf(block);
        if (((type != 0 && type != kBlankLinesBlock) || placeOf(block) != 0) && ++found == 2) {
            first = block;
            break;
        }
    }
    // A document that begins with metadata may have more metadata lines
    // anywhere before its first blank line, and only a parse from the start
    // of the text finds them.
    if (first.blockNumber() > 0 && recordOf(m_document->firstBlock()) == kMetadataBlock &&
        !blankLineBefore(first.position()))
        first = m_document->firstBlock();
    restyle(first, editFirst, editLast, -1, insertedEnd);
}

// Whether a line of nothing but spaces and tabs begins before `position`.
bool SmartTextStorage::blankLineBefore(qsizetype position) const {
    const DString *mirror = smart_string_mirror_text(m_buffer);
    const char *text = mirror->str;
    const size_t end = qMin(size_t(position), mirror->length);
    size_t line = 0;
    while (line < end) {
        size_t i = line;
        while (i < mirror->length && (text[i] == ' ' || text[i] == '\t'))
            i++;
        if (i >= mirror->length || text[i] == '\n' || text[i] == '\r')
            return true;
        while (i < mirror->length && text[i] != '\n' && text[i] != '\r')
            i++;
        line = i + 1;
    }
    return false;
}

// A restyle outside an edit: one edit block of the document, so that the
// layout hears of it once, and marked as the storage's own change.
class SmartTextStorage::StylingPass {
public:
    explicit StylingPass(SmartTextStorage *storage)
        : m_storage(storage), m_wasPatching(storage->m_patching), m_cursor(storage->m_document) {
        m_storage->m_patching = true;
        m_cursor.beginEditBlock();
    }
    ~StylingPass() {
        m_cursor.endEditBlock();
        m_storage->m_patching = m_wasPatching;
    }

private:
    SmartTextStorage *m_storage;
    bool m_wasPatching;
    QTextCursor m_cursor;
};

void SmartTextStorage::applyHighlighting() {
    assertThread();
    // A text still being laid in is styled again from its start in the same
    // way: what was laid in at once, the rest with what lays it in.
    if (isLayingIn() && m_theme.isLoaded()) {
        m_styledTo = 0;
        styleAhead(0);
        if (isStylingAhead())
            m_styleAheadTask.schedule();
        return;
    }
    finishLayingIn();
    m_styledTo = -1;
    m_styleAheadTask.cancel();
    StylingPass pass(this);
    if (!m_theme.isLoaded())
        clearStyles(m_document->firstBlock(), m_document->lastBlock());
    else
        restyle(m_document->firstBlock(), m_document->firstBlock(), m_document->lastBlock(), length());
}

void SmartTextStorage::applyHighlightingForCharRange(CharRange range) {
    assertThread();
    CharRange clipped = clamp(range);
    if (clipped != range)
        qCWarning(lcEditor, "Attempt to highlight invalid range");
    if (!m_theme.isLoaded())
        return;
    finishLayingIn();
    // Widen to places where the last parse may begin, so that the parse of
    // the range agrees with a parse of the whole text.
    QTextBlock first = m_document->findBlock(int(clipped.location));
    while (first.isValid() && first.previous().isValid() && !beginsParseAt(first))
        first = first.previous();
    QTextBlock last = m_document->findBlock(int(clipped.end()));
    if (!last.isValid())
        last = m_document->lastBlock();
    QTextBlock after = last.next();
    while (after.isValid() && !beginsParseAt(after))
        after = after.next();
    StylingPass pass(this);
    restyle(first, first, after.isValid() ? after.previous() : m_document->lastBlock(),
            after.isValid() ? after.position() : length());
}

// Parses from `first` and restyles. With `end` given, exactly up to it;
// otherwise up to where the new parse meets the old one after the edited
// blocks [editFirst, editLast], parsing further each time it does not.
void SmartTextStorage::restyle(const QTextBlock &first, const QTextBlock &editFirst,
                               const QTextBlock &editLast, qsizetype end, qsizetype editEnd) {
    const qsizetype from = first.position();
    const qsizetype total = length();
    // A place inside a block is parsed with the blocks open there.
    const quint32 opening = openingOf(first);
    int lookahead = kFirstLookahead;
    for (;;) {
        qsizetype parseEnd = end >= 0 ? end : total;
        // The first part of a long line ends the parse: the line's other
        // parts are styled on their own.
        QTextBlock capped;
        if (end < 0) {
            for (QTextBlock block = first; block.isValid() && !capped.isValid(); block = block.next()) {
                if (endsInLine(block))
                    capped = block;
                if (block == editLast)
                    break;
            }
            if (!capped.isValid()) {
                int starts = 0;
                QTextBlock block = editLast.next();
                for (; block.isValid(); block = block.next()) {
                    if (endsInLine(block)) {
                        capped = block;
                        break;
                    }
                    // Text that waits to be styled ahead has no records yet.
                    const bool waits = isStylingAhead() && block.position() >= m_styledTo;
                    if ((beginsParseAt(block) || waits) && ++starts > lookahead)
                        break;
                }
                parseEnd = block.isValid() ? block.position() : total;
            }
            if (capped.isValid())
                parseEnd = capped.next().position();
        }
        token *root = parseText(from, parseEnd, opening);
        const std::vector<ParseStart> starts = parseStarts(root, from, parseEnd, opening != 0);
        qsizetype to = parseEnd;
        bool done = end >= 0 || parseEnd >= total;
        if (!done) {
            // The first place past the edit where the new parse may begin as
            // the last one recorded there (a top-level block of the same
            // type, or a place inside one with the same blocks open),
            // followed by another such place inside the parse: from there
            // the parses agree. A long line the parse stops in agrees on its
            // own where it begins as it began: the rest of the line is its
            // own. Text that waits to be styled ahead holds no records to
            // agree with: the restyle ends where the first place in it
            // begins, and the styling ahead goes on from there.
            auto agrees = [](const QTextBlock &block, const ParseStart &start) {
                const BlockStyle *style = styleOf(block);
                return style && !style->innerStart && style->blockStart == start.type &&
                       style->opening == start.opening;
            };
            for (size_t i = 0; i < starts.size() && !done; i++) {
                const ParseStart &p = starts[i];
                QTextBlock pb = m_document->findBlock(int(p.position));
                if (pb.blockNumber() <= editLast.blockNumber() || pb.position() != p.position ||
                    continuesLine(pb))
                    continue;
                if (isStylingAhead() && p.position >= m_styledTo) {
                    to = p.position;
                    done = true;
                    break;
                }
                if (!agrees(pb, p))
                    continue;
                if (pb == capped) {
                    to = p.position;
                    done = true;
                    break;
                }
                if (i + 1 >= starts.size())
                    break;
                const ParseStart &q = starts[i + 1];
                if (q.position >= parseEnd)
                    break;
                QTextBlock qb = m_document->findBlock(int(q.position));
                if (qb.position() != q.position || !agrees(qb, q))
                    continue;
                bool quiet = true;
                for (QTextBlock b = pb.next(); b.isValid() && b != qb && quiet; b = b.next())
                    quiet = styleOf(b) && styleOf(b)->blockStart == 0 && !styleOf(b)->innerStart &&
                            styleOf(b)->opening == 0;
                if (quiet) {
                    to = p.position;
                    done = true;
                }
            }
            // Stopped at the end of a long line's first part: styled through
            // it.
            if (!done && capped.isValid())
                done = true;
            if (!done) {
                freeTree(root);
                lookahead *= 4;
                continue;
            }
        }
        QList<int> restyledBlocks;
        if (root) {
            QList<int> newContexts;
            restyledBlocks = styleRange(root, from, to, editFirst.blockNumber(), editLast.blockNumber(), false,
                                        &newContexts, &starts, opening != 0);
            // Where the restyle ended, the next parse may begin as this one
            // found (the styling ahead goes on from there).
            if (to < total)
                recordStart(m_document->findBlock(int(to)), starts);
            if (isStylingAhead() && from <= m_styledTo && to > m_styledTo) {
                // The restyle went on into the text that waits: it is styled now.
                m_styledTo = to >= total ? -1 : to;
                if (!isStylingAhead())
                    m_styleAheadTask.cancel();
            }
            // The rest of a long line is read in what its first part leaves
            // open: when that changed, the rest is styled again; else the
            // parts the edit reached (and the one after, which is read with
            // the text before it) are restyled on their own.
            if (capped.isValid() && to > capped.position()) {
                if (newContexts.contains(capped.blockNumber())) {
                    styleAheadFrom(to);
                } else if (editEnd >= capped.position()) {
                    const QTextBlock next = restyleParts(capped.next(), editEnd);
                    if (next.isValid())
                        restyle(next, next, editLast.blockNumber() < next.blockNumber() ? next : editLast, -1,
                                editEnd);
                }
            }
        } else {
            qCWarning(lcEditor, "highlighting parse gave no tree");
        }
        if (root && m_parseListener)
            m_parseListener(root, CharRange{from, to - from}, restyledBlocks);
        freeTree(root);
        emit restyled(CharRange{from, to - from});
        return;
    }
}

void SmartTextStorage::finishStylingAhead() { styleAhead(-1); }

void SmartTextStorage::styleAhead(int milliseconds) {
    if (!isStylingAhead())
        return;
    QElapsedTimer clock;
    clock.start();
    while (styleNextStretch() && (milliseconds < 0 || clock.elapsed() < milliseconds)) {
    }
    if (!isStylingAhead()) {
        m_styleAheadTask.cancel();
        finishLayingIn();
    }
}

// Parses a stretch of the text from m_styledTo and styles it up to the start
// of the last top-level block inside it, which may end past the stretch;
// the next stretch begins there. A block longer than the stretch (a code
// fence that runs on) makes the stretch longer until one ends in it. The
// lines of the stretch go into the document first, as a change of their
// own: the layout then knows every block the styling sets.
bool SmartTextStorage::styleNextStretch() {
    const qsizetype total = length();
    qsizetype from = m_styledTo;
    if (from < 0 || from >= total) {
        m_styledTo = -1;
        return false;
    }
    layInThrough(qMin(total, from + kStyleAheadStretch));
    // A stretch begins where a block does: the block where the text that
    // waits began may have been joined to the one before it since (parts
    // of a long line joined by an edit, text deleted across it).
    const QTextBlock at = m_document->findBlock(int(from));
    if (at.isValid() && at.position() != from)
        m_styledTo = from = at.position();
    // A part of a long line after its first, on its own.
    if (at.isValid() && at.position() == from && continuesLine(at) && restylePart(at)) {
        const QTextBlock next = at.next();
        m_styledTo = next.isValid() && next.position() < total ? next.position() : -1;
        return isStylingAhead();
    }
    // A place inside a block is parsed with the blocks open there.
    const quint32 opening = at.isValid() && at.position() == from ? openingOf(at) : 0;
    for (qsizetype stretch = kStyleAheadStretch;; stretch *= 4) {
        qsizetype end = qMin(total, from + stretch);
        layInThrough(end);
        // A long line in the stretch is parsed through its first part.
        QTextBlock capped;
        for (QTextBlock b = m_document->findBlock(int(from)); b.isValid() && b.position() < end; b = b.next()) {
            if (endsInLine(b)) {
                capped = b;
                break;
            }
        }
        if (capped.isValid()) {
            end = capped.next().position();
        } else if (end < total) {
            // Whole lines: how the last one begins a block may depend on
            // how it ends.
            const QTextBlock last = m_document->findBlock(int(end));
            if (last.isValid() && last.position() > from)
                end = last.position();
        }
        token *root = parseText(from, end, opening);
        qsizetype to = end;
        const std::vector<ParseStart> starts = parseStarts(root, from, end, opening != 0);
        if (capped.isValid()) {
            // Up to the long line where a parse may begin with it, else
            // through its first part.
            if (capped.position() > from)
                for (const ParseStart &start : starts)
                    if (start.position == capped.position())
                        to = capped.position();
        } else if (end < total) {
            // Up to the last place inside the stretch where a parse may
            // begin: the block before it is whole. A block longer than the
            // stretch with no such place in it (a paragraph of megabytes)
            // makes the stretch longer.
            to = from;
            for (size_t i = starts.size(); i-- > 0 && to == from;) {
                const qsizetype at = starts[i].position;
                if (at > from && m_document->findBlock(int(at)).position() == at)
                    to = at;
            }
            if (to == from) {
                freeTree(root);
                continue;
            }
        }
        StylingPass pass(this);
        if (root) {
            const QList<int> restyledBlocks = styleRange(root, from, to, -1, -2, false, nullptr, &starts, opening != 0);
            if (m_parseListener)
                m_parseListener(root, CharRange{from, to - from}, restyledBlocks);
        }
        // The next stretch begins there, as this parse found it.
        if (to < total)
            recordStart(m_document->findBlock(int(to)), starts);
        freeTree(root);
        m_styledTo = to >= total ? -1 : to;
        emit restyled(CharRange{from, to - from});
        return isStylingAhead();
    }
}

// Drops every style of blocks [first, last]: without a theme the text is
// plain.
void SmartTextStorage::clearStyles(const QTextBlock &first, const QTextBlock &last) {
    for (QTextBlock block = first; block.isValid(); block = block.next()) {
        if (const BlockStyle *style = styleOf(block)) {
            const bool inLayout = style->inLayout;
            block.setUserData(nullptr);
            if (inLayout)
                block.layout()->clearFormats();
        }
        if (block.blockFormat() != QTextBlockFormat()) {
            QTextCursor cursor(block);
            cursor.setBlockFormat(QTextBlockFormat());
        }
        if (block == last)
            break;
    }
}

namespace {

// Layers styles over the characters of [from, to): each character holds the
// index of its flattened attributes, and applying a style maps an index to
// another, remembered per (index, style) pair.
class Layering {
public:
    Layering(const ThemeStyles &theme, StyleTable &table, qsizetype from, qsizetype to)
        : m_theme(theme), m_table(table), m_from(from), m_to(to),
          m_ids(size_t(to - from), table.intern(theme.baseAttrs(table))) {}

    void apply(int style, qsizetype start, qsizetype length) {
        if (style != kLineBreakMark && !m_theme.hasStyle(style))
            return;
        qsizetype a = qMax(start, m_from), b = qMin(start + length, m_to);
        quint32 lastIn = UINT32_MAX, lastOut = 0;
        for (qsizetype i = a; i < b; i++) {
            quint32 &id = m_ids[size_t(i - m_from)];
            if (id != lastIn) {
                lastIn = id;
                lastOut = next(id, style);
            }
            id = lastOut;
        }
    }

    // The walk over a chain of sibling tokens, children after their parent.
    void walk(const token *t, qsizetype limit, int depth = 0) {
        if (depth > 1000)
            return;
        for (; t && qsizetype(t->start) < limit; t = t->next) {
            switch (t->type) {
            case 0:
                walk(t->child, limit, depth + 1);
                break;
            case 52:   // indented code
            case 106:  // code span
            case 116:  // math: nothing inside is styled on its own
                apply(t->type, qsizetype(t->start), qsizetype(t->len));
                break;
            case 210:  // hard line break
                apply(kLineBreakMark, qsizetype(t->start), qsizetype(t->len));
                [[fallthrough]];
            case 107:  // brackets
            case 112:  // image opener
                apply(t->type, qsizetype(t->start), qsizetype(t->len));
                walk(t->child, limit, depth + 1);
                // A link's or image's target looks like its text.
                if (t->next && t->next->type == 117)
                    apply(t->type, qsizetype(t->next->start), qsizetype(t->next->len));
                break;
            default:
                apply(t->type, qsizetype(t->start), qsizetype(t->len));
                walk(t->child, limit, depth + 1);
                break;
            }
        }
    }

    quint32 at(qsizetype position) const { return m_ids[size_t(position - m_from)]; }

private:

    quint32 next(quint32 id, int style) {
        const quint64 key = quint64(id) << 16 | quint64(style);
        auto found = m_transitions.constFind(key);
        if (found != m_transitions.constEnd())
            return found.value();
        CharAttrs attrs = m_table.charAttrs(id);
        if (style == kLineBreakMark)
            attrs.lineBreak = true;
        else
            attrs = m_theme.apply(style, attrs, m_table);
        quint32 result = m_table.intern(attrs);
        m_transitions.insert(key, result);
        return result;
    }

    const ThemeStyles &m_theme;
    StyleTable &m_table;
    qsizetype m_from, m_to;
    std::vector<quint32> m_ids;
    QHash<quint64, quint32> m_transitions;
};

}  // namespace

// Styles [from, to) (both block starts, or `to` the end of the text) from a
// parse, and pushes the result to the blocks there. Blocks whose runs did
// not change keep their formats, except the edited ones [forceFirst,
// forceLast], whose layouts may hold formats of text they no longer have.
QList<int> SmartTextStorage::styleRange(token *root, qsizetype from, qsizetype to, int forceFirst, int forceLast,
                                        bool window, QList<int> *newContexts,
                                        const std::vector<ParseStart> *parsed, bool within) {
    QList<int> restyled;
    Layering layering(m_theme, m_styles, from, to);
    layering.walk(root, to);
    const quint32 base = m_styles.intern(m_theme.baseAttrs(m_styles));

    // Records of where a parse may begin in the range: the top-level
    // tokens that begin there and the places inside them. A part on its
    // own has none.
    QHash<int, ParseStart> starts;
    QSet<int> innerStarts;
    if (!window) {
        std::vector<ParseStart> own;
        if (!parsed) {
            own = parseStarts(root, from, to, within);
            parsed = &own;
        }
        for (const ParseStart &s : *parsed) {
            if (s.position >= to)
                break;
            QTextBlock block = m_document->findBlock(int(s.position));
            if (block.position() == s.position)
                starts.insert(block.blockNumber(), s);
            else if (s.type != 0)
                innerStarts.insert(block.blockNumber());
        }
    }

    const token *top = root ? root->child : nullptr;
    // The range ends at a block start, or at the end of the text, where the
    // last block may begin (empty) exactly at `to`.
    const bool toEnd = to >= length();
    for (QTextBlock block = m_document->findBlock(int(from));
         block.isValid() && (block.position() < to || toEnd); block = block.next()) {
        const qsizetype position = block.position();
        const int textLength = block.length() - 1;
        // Only whole blocks inside the range are styled from it.
        if (position < from || position + textLength > to)
            continue;
        QList<StyleRun> runs;
        for (int i = 0; i < textLength;) {
            const quint32 id = layering.at(position + i);
            int j = i + 1;
            while (j < textLength && layering.at(position + j) == id)
                j++;
            runs.append({i, j - i, id});
            i = j;
        }
        const qsizetype separatorAt = position + textLength;
        const quint32 separator = separatorAt < to ? layering.at(separatorAt) : base;
        const quint32 paragraph =
            m_styles.charAttrs(textLength > 0 ? layering.at(position) : separator).paragraph;

        const int number = block.blockNumber();
        BlockStyle *style = styleOf(block);
        const bool force = !style || (number >= forceFirst && number <= forceLast);
        if (!style) {
            style = new BlockStyle;
            block.setUserData(style);
        }
        if (force || style->runs != runs) {
            // Kept for the block's life: no room to grow.
            runs.squeeze();
            style->runs = std::move(runs);
            style->overlays.clear();
            // A block not laid out takes its formats when it is.
            if (style->inLayout || m_layout->isLaidOut(number))
                pushFormats(block);
            restyled.append(number);
        }
        style->separator = separator;
        // The parts of a long line read as one paragraph: no spacing or
        // first-line indent where one part meets the next.
        QTextBlockFormat blockFormat = m_styles.blockFormat(paragraph);
        const bool continues = continuesLine(block), goesOn = endsInLine(block);
        if (continues) {
            blockFormat.setTopMargin(0);
            blockFormat.setTextIndent(0);
        }
        if (goesOn)
            blockFormat.setBottomMargin(0);
        // What the line's parts are read in: what its first part's parse
        // left open at its end, handed on from part to part.
        if (continues) {
            const BlockStyle *before = styleOf(block.previous());
            style->lineContextKnown = before && before->lineContextKnown;
            if (style->lineContextKnown) {
                style->lineContext = before->lineContext;
                style->lineInline = before->lineInline;
            }
        } else if (goesOn && recordLineContext(block, root, &top) && newContexts) {
            newContexts->append(number);
        }
        if (force || style->paragraph != paragraph || block.blockFormat() != blockFormat) {
            // A cursor made on the block: one moved there would lay the
            // block out to learn its x, and styling lays nothing out.
            if (block.blockFormat() != blockFormat)
                QTextCursor(block).setBlockFormat(blockFormat);
            style->paragraph = paragraph;
        }
        // The place a parse taken up inside blocks began at keeps what the
        // parse that found it recorded.
        if (!within || position != from) {
            const ParseStart start = starts.value(number);
            style->blockStart = start.type;
            style->opening = start.opening;
            style->innerStart = innerStarts.contains(number);
        }
    }
    return restyled;
}

// A part of a long line after its first, restyled alone: its text, with the
// parts on either side of it so that sentences across its ends read whole,
// parsed on its own and read in the tokens the part before it left open.
token *SmartTextStorage::partParse(const QTextBlock &part, qsizetype *from, qsizetype *to) {
    const QTextBlock before = part.previous();
    const BlockStyle *record = styleOf(before);
    if (!continuesLine(part) || !record || !record->lineContextKnown)
        return nullptr;
    const QTextBlock after = endsInLine(part) ? part.next() : part;
    *from = before.position();
    *to = qMin(length(), after.position() + after.length());
    token *window = nullptr;
    if (record->lineInline) {
        std::lock_guard<std::mutex> lock(engineMutex());
        window = tzr_engine_parse_substring(m_engine, size_t(*from), size_t(*to - *from));
        m_unitsParsed += *to - *from;
    }
    return windowTree(record->lineContext, *from, *to, window);
}

QTextBlock SmartTextStorage::restyleParts(QTextBlock part, qsizetype editEnd) {
    // A part is read with the parts on either side: the one before an
    // edited part, and the one after, read it too.
    if (continuesLine(part.previous()))
        part = part.previous();
    bool reached = false;
    for (; part.isValid() && continuesLine(part); part = part.next()) {
        if (!restylePart(part)) {
            styleAheadFrom(lineOf(part).first.position());
            return {};
        }
        // The part after those the edit reached is the last.
        if (part.position() > editEnd)
            return {};
        reached = true;
    }
    // The line after the long one begins a parse of its own: the edit
    // reached the long line's end (or past it), which may change how that
    // line reads.
    return part.isValid() && reached ? part : QTextBlock();
}

bool SmartTextStorage::restylePart(const QTextBlock &part) {
    qsizetype from = 0, to = 0;
    token *root = partParse(part, &from, &to);
    if (!root)
        return false;
    const QTextBlock next = part.next();
    const qsizetype partEnd = next.isValid() ? next.position() : length();
    const QList<int> restyledBlocks =
        styleRange(root, part.position(), partEnd, part.blockNumber(), part.blockNumber(), true);
    if (m_parseListener)
        m_parseListener(root, CharRange{from, to - from}, restyledBlocks);
    freeTree(root);
    emit restyled(CharRange{part.position(), partEnd - part.position()});
    // The next part was read in other tokens (two lines joined): the rest
    // of the line is styled again.
    const BlockStyle *now = styleOf(part);
    const BlockStyle *following = styleOf(next);
    if (endsInLine(part) && now && (!following || !following->lineContextKnown ||
                                    following->lineContext != now->lineContext ||
                                    following->lineInline != now->lineInline))
        styleAheadFrom(next.position());
    return true;
}

bool SmartTextStorage::recordLineContext(const QTextBlock &part, const token *root, const token **top) {
    BlockStyle *style = styleOf(part);
    if (!style || !root)
        return false;
    // The last unit of the part, which the next part follows.
    const qsizetype last = part.position() + part.length() - 1;
    QList<quint16> context;
    bool readInline = true;
    // Down the tokens that hold that unit and go on past it, as long as
    // they are block-level; along the top-level chain from `top`.
    auto holding = [last](const token *t) {
        while (t && qsizetype(t->start + t->len) <= last)
            t = t->next;
        return t;
    };
    const token *t = holding(*top);
    *top = t;
    for (int depth = 0; t && depth < 64; depth++, t = holding(t->child)) {
        if (qsizetype(t->start) > last || !isBlockLevel(t->type))
            break;
        context.append(kindOf(t->type));
        readInline &= !isVerbatim(t->type);
    }
    const bool changed = !style->lineContextKnown || style->lineContext != context || style->lineInline != readInline;
    style->lineContext = std::move(context);
    style->lineInline = readInline;
    style->lineContextKnown = true;
    return changed;
}

void SmartTextStorage::styleAheadFrom(qsizetype position) {
    const qsizetype total = length();
    if (position < 0 || position >= total)
        return;
    // A stretch is parsed from where a parse may begin (a part of a long
    // line after its first is read in its line's tokens instead).
    QTextBlock block = m_document->findBlock(int(position));
    if (block.isValid() && !continuesLine(block)) {
        while (block.previous().isValid() && !beginsParseAt(block))
            block = block.previous();
        while (continuesLine(block))
            block = block.previous();
        position = block.position();
    }
    m_styledTo = isStylingAhead() ? qMin(m_styledTo, position) : position;
    m_styleAheadTask.schedule();
}

// --- What the text shows ------------------------------------------------------------------

CharAttrs SmartTextStorage::attributesAt(qsizetype index) const {
    const qsizetype n = length();
    if (index < 0 || index >= n) {
        qCWarning(lcEditor, "get attributes at (%lld) in (%lld)", qlonglong(index), qlonglong(n));
        qCWarning(lcEditor, "error");
        if (n == 0)
            return CharAttrs{};
        index = qBound<qsizetype>(0, index, n - 1);
    }
    QTextBlock block = m_document->findBlock(int(index));
    const BlockStyle *style = styleOf(block);
    if (!style)
        return CharAttrs{};
    const int offset = int(index - block.position());
    if (offset >= block.length() - 1)
        return m_styles.charAttrs(style->separator);
    for (const StyleRun &run : style->runs)
        if (offset < run.start + run.length)
            return m_styles.charAttrs(run.attrs);
    return CharAttrs{};
}

QList<AttributeRun> SmartTextStorage::runs(const QTextBlock &block) const {
    QList<AttributeRun> result;
    const BlockStyle *style = styleOf(block);
    if (!style)
        return result;
    for (const StyleRun &run : style->runs) {
        CharAttrs attrs = m_styles.charAttrs(run.attrs);
        const ParaAttrs paragraph = m_styles.paraAttrs(attrs.paragraph);
        attrs.paragraph = 0;
        if (!result.isEmpty() && result.last().attrs == attrs && result.last().paragraph == paragraph)
            result.last().length += run.length;
        else
            result.append({run.start, run.length, attrs, paragraph});
    }
    return result;
}

ParaAttrs SmartTextStorage::paragraphAttributes(const QTextBlock &block) const {
    const BlockStyle *style = styleOf(block);
    return style ? m_styles.paraAttrs(style->paragraph) : ParaAttrs{};
}

bool SmartTextStorage::hasHardBreak(const QTextBlock &block) const {
    const BlockStyle *style = styleOf(block);
    return style && m_styles.charAttrs(style->separator).lineBreak;
}

int SmartTextStorage::blockStartType(const QTextBlock &block) const {
    const BlockStyle *style = styleOf(block);
    return style ? style->blockStart : 0;
}

// The text services an editor view turns on over its storage: misspelt
// words underlined as the user types ("checkSpelling") and addresses shown
// as links ("smartLinks").
//
// Both are marks over the storage's styles (SmartTextStorage overlay
// formats: a red wavy underline, an underlined link), never edits. Only
// prose is looked at (editor/markdown/prose_ranges.h), as the storage's own
// parse tells it. Each restyle of the storage drops the marks of the blocks
// whose formats it sets anew (the edited ones and those whose styles
// changed; the others keep theirs) and hands over its parse: a few such
// blocks (a keystroke's, even in a long paragraph) are marked again at once
// from that parse; the blocks of a large change (a fence opened, a new
// theme, a zoom) wait for a pass of idle slices of a few milliseconds
// (editor/view/block_pass.h), the blocks on screen first, each slice
// parsing runs of whole top-level blocks itself (editor/view/prose_chunk.h)
// and going on where the last one stopped. A loaded document is marked the
// same way.
//
// The word the caret ends while the user types it is not marked until it
// is ended or the caret leaves it. Words the user ignores in this document
// are kept here; learnt words belong to the spelling service, whose every
// change marks the document again.
//
// A block's marks are up to date when its user state holds this object's
// generation. Main thread only; the view outlives it, and it does nothing
// more once the storage is gone (a window may drop the storage first).
#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTextBlock>

#include <optional>
#include <vector>

#include "editor/markdown/prose_ranges.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/view/block_pass.h"

class KVXTextView;
namespace platform {
class SpellService;
}

class TextServices : public QObject {
    Q_OBJECT
public:
    TextServices(KVXTextView *view, platform::SpellService *spelling);
    ~TextServices() override;

    platform::SpellService *spelling() const { return m_spelling; }

    // The two services; switching one marks the whole document again.
    void setCheckSpelling(bool on);
    bool checksSpelling() const { return m_checkSpelling; }
    void setDetectLinks(bool on);
    bool detectsLinks() const { return m_detectLinks; }

    // Words this document does not mark ("Ignore Spelling").
    void ignoreWord(const QString &word);
    bool isIgnored(const QString &word) const { return m_ignored.contains(word); }
    // Whether `word` counts as misspelt here: the dictionary does not know
    // it, the user has not learnt it and this document does not ignore it.
    bool isMisspelt(const QString &word);

    // The misspelt word marked at `position` (inside it or at its end).
    std::optional<CharRange> misspellingAt(qsizetype position) const;
    // The misspelt word of prose that ends at `end`: the one marked there
    // while checking is on, else found now (a correction as a word is
    // ended needs no marks).
    std::optional<CharRange> misspeltWordEndingAt(qsizetype end);
    struct Link {
        CharRange range;
        QString url;
        bool operator==(const Link &) const = default;
    };
    // The address shown as a link at `position` (inside it).
    std::optional<Link> linkAt(qsizetype position) const;
    // Every mark shown now, in order.
    QList<CharRange> misspellings() const;
    QList<Link> links() const;

    // Whether `position` lies in prose (not in code, a link's target, a
    // label ...), by a parse of the blocks around it.
    bool isProseAt(qsizetype position) const;

    // The first misspelt word of prose that begins at or after `from`,
    // going round to the start of the text once; checked now, whether the
    // continuous checking is on or not (Check Document Now).
    std::optional<CharRange> nextMisspelling(qsizetype from);

    // Marks every block that is not up to date, at once.
    void checkAll();
    // Some blocks wait for an idle slice.
    bool isPending() const { return m_pass.isPending(); }
    // The pass of idle slices that marks them, and what it has cost.
    const BlockPass &pass() const { return m_pass; }

private:
    bool active() const;
    void parsed(const token *root, CharRange range, const QList<int> &restyledBlocks);
    void markBlock(const QTextBlock &block, const std::vector<prose::Excluded> &excluded);
    QTextBlock markChunk(const QTextBlock &block);
    std::pair<QTextBlock, QTextBlock> shownBlocks() const;
    void invalidate();
    void clearAll();
    bool isCurrent(const QTextBlock &block) const { return block.userState() == m_generation; }
    void caretMoved();

    KVXTextView *m_view;
    QPointer<SmartTextStorage> m_storage;
    platform::SpellService *m_spelling;
    bool m_checkSpelling = false;
    bool m_detectLinks = false;
    QSet<QString> m_ignored;
    int m_generation = 1;
    BlockPass m_pass;
    // The word left unmarked at the caret: its block and where it ends.
    std::optional<qsizetype> m_heldEnd;
};

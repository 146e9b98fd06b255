// The text services an editor view turns on over its storage: misspelt
// words underlined as the user types ("checkSpelling"), sentences that may
// not be grammatical underlined ("checkGrammar", grammar_marks.h) and
// addresses shown as links ("smartLinks").
//
// All are marks over the storage's styles (SmartTextStorage overlay
// formats: a red or a green wavy underline, an underlined link), never
// edits. Only
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
// is ended or the caret leaves it, nor the sentence the caret is in. Words
// the user ignores in this document are kept here; learnt words belong to
// the spelling service, whose every change marks the document again.
// Grammar's verdicts come from a thread of the grammar service's, and are
// shown as they come.
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
#include "editor/view/grammar_marks.h"

class KVXTextView;
struct ProseChunk;
namespace platform {
class GrammarService;
class SpellService;
}

class TextServices : public QObject {
    Q_OBJECT
public:
    TextServices(KVXTextView *view, platform::SpellService *spelling, platform::GrammarService *grammar);
    ~TextServices() override;

    platform::SpellService *spelling() const { return m_spelling; }
    platform::GrammarService *grammar() const { return m_grammar.grammar(); }
    // Marks from another grammar service (a test's, for a language of its
    // own); what the document showed is marked again.
    void setGrammar(platform::GrammarService *grammar);

    // The three services; switching one marks the whole document again.
    void setCheckSpelling(bool on);
    bool checksSpelling() const { return m_checkSpelling; }
    // Turning grammar on starts loading its dictionary (in the background).
    void setCheckGrammar(bool on);
    bool checksGrammar() const { return m_checkGrammar; }
    void setDetectLinks(bool on);
    bool detectsLinks() const { return m_detectLinks; }
    // Tells the user, once in the program's life, that their language's
    // grammar is not checked, when it cannot be. True when it told.
    bool tellWhenGrammarCannotBeChecked();

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

    // A grammar mark: what it underlines, and the text of its sentence (as
    // grammar read it).
    struct GrammarFault {
        CharRange range;
        QString sentence;
        bool operator==(const GrammarFault &) const = default;
    };
    // The grammar mark at `position` (inside it or at its end).
    std::optional<GrammarFault> grammarFaultAt(qsizetype position) const;
    // Every grammar mark shown now, in order.
    QList<GrammarFault> grammarFaults() const;
    // Sentences this document does not mark ("Ignore Grammar").
    void ignoreSentence(const QString &sentence);
    // The first sentence of prose found faulty (its verdict known) that ends
    // after `from`, the whole sentence, going round to the start of the text
    // once.
    std::optional<GrammarFault> nextGrammarFault(qsizetype from);

    // Whether `position` lies in prose (not in code, a link's target, a
    // label ...), by a parse of the blocks around it.
    bool isProseAt(qsizetype position) const;

    // The first misspelt word of prose that begins at or after `from`,
    // going round to the start of the text once; checked now, whether the
    // continuous checking is on or not (Check Document Now).
    std::optional<CharRange> nextMisspelling(qsizetype from);

    // Marks every block that is not up to date, at once, the sentences not
    // judged yet judged now.
    void checkAll();
    // Some blocks wait for an idle slice, or sentences for their verdicts.
    bool isPending() const { return m_pass.isPending() || m_grammar.isWaiting(); }
    // The pass of idle slices that marks them, and what it has cost.
    const BlockPass &pass() const { return m_pass; }

private:
    bool active() const;
    bool checkingGrammar() const { return m_checkGrammar && m_grammar.canJudge(); }
    void parsed(const token *root, CharRange range, const QList<int> &restyledBlocks);
    // `typed`: the block was restyled by an edit, whose sentences are judged
    // before those of an idle slice.
    void markBlock(const QTextBlock &block, const ProseChunk &chunk, bool typed);
    // The blocks over `ranges` are to be marked again.
    void markAgain(const QList<CharRange> &ranges);
    QTextBlock markChunk(const QTextBlock &block);
    std::pair<QTextBlock, QTextBlock> shownBlocks() const;
    void invalidate();
    void clearAll();
    bool isCurrent(const QTextBlock &block) const { return block.userState() == m_generation; }
    void caretMoved();

    KVXTextView *m_view;
    QPointer<SmartTextStorage> m_storage;
    platform::SpellService *m_spelling;
    GrammarMarks m_grammar;
    bool m_checkSpelling = false;
    bool m_checkGrammar = false;
    bool m_detectLinks = false;
    QSet<QString> m_ignored;
    int m_generation = 1;
    BlockPass m_pass;
    // The word left unmarked at the caret: its block and where it ends.
    std::optional<qsizetype> m_heldEnd;
};

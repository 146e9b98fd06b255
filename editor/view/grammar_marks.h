// Grammar marks: the sentences of prose that the grammar service finds
// faulty, underlined with a green wavy line beside spelling's red one.
//
// The text services (text_services.h) ask for the marks of a block as they
// mark it, with the sentences of a parse of a run of blocks around it
// (prose_sentences.h). A sentence whose verdict is known is marked at once:
// under the words the parser left unlinked, or under the whole sentence when
// those are many or none (the sentence as a whole is then what is wrong).
// One whose verdict is not known yet is asked for, and the service judges
// it on its own thread. When the verdict comes, a grammatical sentence needs
// nothing. A faulty one that still reads as it did where it stood is marked
// there and then, over its blocks' other marks, with no parse. Where it no
// longer does, either its blocks changed (the change restyled them, and
// they were marked again and the sentence asked for again with it), or text
// before it in its run of blocks did: judged() then asks for that run to be
// marked again.
//
// The sentence the caret is in is left alone while the user edits it, as
// spelling leaves the word being typed. Sentences the user ignores are kept
// here, per document.
//
// Main thread only.
#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextLayout>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "editor/markdown/prose_sentences.h"
#include "editor/storage/smart_text_storage.h"
#include "platform/services/grammar/grammar_service.h"

class GrammarMarks : public QObject {
    Q_OBJECT
public:
    GrammarMarks(SmartTextStorage *storage, platform::GrammarService *grammar, QObject *parent = nullptr);
    ~GrammarMarks() override;

    platform::GrammarService *grammar() const { return m_grammar; }
    // Another service (a test's): what waited for the last one is dropped.
    void setGrammar(platform::GrammarService *grammar);

    // Whether sentences can be judged at all (there is a dictionary for the
    // user's language, and it loads).
    bool canJudge() const;
    // Where the caret is, when nothing is selected (else -1): a verdict that
    // comes for the sentence it is in waits until it leaves.
    void setCaret(std::function<qsizetype()> caret) { m_caret = std::move(caret); }

    // The marks of `block` (block-relative ranges) from `sentences`, those
    // of a parse of the blocks over `run`. Sentences not judged yet are asked
    // for, `urgent` ones (those of a keystroke) first. The one that holds
    // `caret` (inside it, not at its end) is left unmarked and remembered
    // (held()).
    QList<QTextLayout::FormatRange> marksFor(const QTextBlock &block, const std::vector<prose::Sentence> &sentences,
                                             CharRange run, qsizetype caret, bool urgent);
    // Where the sentence left unmarked at the caret stands now; forgetting it.
    std::optional<CharRange> held() const;
    void releaseHeld() { m_held.reset(); }

    // The ranges of the text to underline for `sentence`, whose verdict is
    // known: none when it is grammatical, not judged, not known yet or
    // ignored.
    QList<CharRange> faultsOf(const prose::Sentence &sentence) const;

    void ignore(const QString &sentence) { m_ignored.insert(sentence); }
    bool isIgnored(const QString &sentence) const { return m_ignored.contains(sentence); }

    // Verdicts were asked for and have not come yet.
    bool isWaiting() const { return !m_waiting.isEmpty(); }
    // Judges what waits here and now, on this thread, and shows it.
    void judgeWaitingNow();
    // Nothing waits any more (checking went off).
    void forget();

    // The mark's format: a green wavy underline that remembers its
    // sentence's text.
    static QTextCharFormat format(const QString &sentence);
    static bool isMark(const QTextLayout::FormatRange &range);
    static QString sentenceOf(const QTextLayout::FormatRange &range);
    static constexpr int kSentenceProperty = QTextFormat::UserProperty + 0x5C1;
    static QColor color();
    // What a mark says of its sentence.
    static QString reading();

signals:
    // Verdicts came for sentences of these runs of blocks, which changed
    // meanwhile: they are to be marked again.
    void judged(const QList<CharRange> &runs);
    // The grammar's dictionary could not be loaded: nothing is judged.
    void cannotJudge();

private:
    // A sentence asked for where it stood: its offset in its run of blocks,
    // whose range a cursor keeps as the text changes (one cursor for the
    // run: the document adjusts every cursor it has at every edit), and
    // the revisions of its blocks.
    struct Wait {
        std::shared_ptr<QTextCursor> run;
        qsizetype offset = 0;
        prose::Sentence sentence;
        std::vector<int> revisions;
    };

    void connectGrammar();
    QTextCursor cursorOver(qsizetype start, qsizetype end) const;
    std::shared_ptr<QTextCursor> runOver(CharRange run);
    void wait(const prose::Sentence &sentence, CharRange run);
    void checked(const QStringList &sentences);
    bool show(const Wait &wait);
    bool readsAsItDid(const Wait &wait, qsizetype start, std::vector<QTextBlock> *blocks) const;
    void hold(CharRange range);

    QPointer<SmartTextStorage> m_storage;
    QPointer<platform::GrammarService> m_grammar;
    std::function<qsizetype()> m_caret;
    QList<QMetaObject::Connection> m_connections;
    QSet<QString> m_ignored;
    QHash<QString, std::vector<Wait>> m_waiting;
    // The run the last waits were made in, while they wait.
    std::weak_ptr<QTextCursor> m_lastRun;
    std::optional<QTextCursor> m_held;
};

// TextServices: grammar checking, its switch, its marks and the search for
// the next faulty sentence. The marking itself runs with spelling's
// (text_services.cpp); the verdicts come from grammar_marks.h.
#include <QTextDocument>

#include "editor/view/kvx_text_view.h"
#include "editor/view/prose_chunk.h"
#include "editor/view/text_services.h"
#include "platform/runtime/alerts.h"
#include "platform/services/grammar/grammar_service.h"

void TextServices::setGrammar(platform::GrammarService *grammar) {
    if (grammar == m_grammar.grammar())
        return;
    m_grammar.setGrammar(grammar);
    if (m_checkGrammar && grammar)
        grammar->load();
    active() ? invalidate() : clearAll();
}

void TextServices::setCheckGrammar(bool on) {
    if (on == m_checkGrammar)
        return;
    m_checkGrammar = on;
    if (!on)
        m_grammar.forget();
    else if (m_grammar.grammar())
        m_grammar.grammar()->load();
    active() ? invalidate() : clearAll();
}

bool TextServices::tellWhenGrammarCannotBeChecked() {
    platform::GrammarService *grammar = m_grammar.grammar();
    if (!grammar || m_grammar.canJudge() || !grammar->takeUnavailableNotice())
        return false;
    platform::Alerts::simpleAlert(
        QStringLiteral("There is no grammar dictionary for %1 here: grammar is checked only in languages "
                       "that have one.")
            .arg(grammar->languageName()),
        QStringLiteral("Grammar is not checked"));
    return true;
}

void TextServices::ignoreSentence(const QString &sentence) {
    if (sentence.isEmpty() || m_grammar.isIgnored(sentence))
        return;
    m_grammar.ignore(sentence);
    if (m_checkGrammar)
        invalidate();
}

// The blocks over `ranges` wait for the pass, which parses them and marks
// them anew.
void TextServices::markAgain(const QList<CharRange> &ranges) {
    if (!m_storage || !active())
        return;
    QTextDocument *document = m_storage->document();
    for (const CharRange &range : ranges) {
        const QTextBlock first = document->findBlock(int(qBound<qsizetype>(0, range.location, m_storage->length())));
        const QTextBlock last = document->findBlock(int(qBound<qsizetype>(0, range.end(), m_storage->length())));
        if (!first.isValid() || !last.isValid())
            continue;
        for (QTextBlock block = first; block.isValid(); block = block.next()) {
            block.setUserState(-1);
            if (block == last)
                break;
        }
        m_pass.add(first, last);
    }
}

// --- What is marked ------------------------------------------------------------------

std::optional<TextServices::GrammarFault> TextServices::grammarFaultAt(qsizetype position) const {
    if (!m_storage)
        return std::nullopt;
    const QTextBlock block = m_storage->document()->findBlock(int(position));
    const qsizetype offset = position - block.position();
    for (const QTextLayout::FormatRange &range : m_storage->overlayFormats(block))
        if (GrammarMarks::isMark(range) && offset >= range.start && offset <= range.start + range.length)
            return GrammarFault{{block.position() + range.start, range.length}, GrammarMarks::sentenceOf(range)};
    return std::nullopt;
}

QList<TextServices::GrammarFault> TextServices::grammarFaults() const {
    QList<GrammarFault> found;
    if (!m_storage)
        return found;
    for (QTextBlock block = m_storage->document()->firstBlock(); block.isValid(); block = block.next()) {
        QList<GrammarFault> inBlock;
        for (const QTextLayout::FormatRange &range : m_storage->overlayFormats(block))
            if (GrammarMarks::isMark(range))
                inBlock.append({{block.position() + range.start, range.length}, GrammarMarks::sentenceOf(range)});
        std::sort(inBlock.begin(), inBlock.end(), [](const GrammarFault &a, const GrammarFault &b) {
            return a.range.location < b.range.location;
        });
        found += inBlock;
    }
    return found;
}

std::optional<TextServices::GrammarFault> TextServices::nextGrammarFault(qsizetype from) {
    if (!m_storage || !checkingGrammar())
        return std::nullopt;
    QTextDocument *document = m_storage->document();
    const QTextBlock startBlock = document->findBlock(int(qBound<qsizetype>(0, from, m_storage->length())));
    if (!startBlock.isValid())
        return std::nullopt;
    // Two rounds: from the chunk of `from` to the end, then from the start
    // through that chunk.
    for (int round = 0; round < 2; round++) {
        QTextBlock block = round == 0 ? startBlock : document->firstBlock();
        while (block.isValid()) {
            const ProseChunk chunk = proseChunkAround(*m_storage, block, true);
            for (const prose::Sentence &sentence : chunk.sentences) {
                // The first round looks at the sentences that end after
                // `from`, the second at the others.
                if ((round == 0) != (sentence.end > from))
                    continue;
                if (!m_grammar.faultsOf(sentence).isEmpty())
                    return GrammarFault{{sentence.start, sentence.end - sentence.start}, sentence.text};
            }
            if (round == 1 && chunk.last.blockNumber() >= startBlock.blockNumber())
                return std::nullopt;
            block = chunk.last.next();
        }
    }
    return std::nullopt;
}

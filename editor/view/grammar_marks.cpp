#include "editor/view/grammar_marks.h"

#include <QTextDocument>

#include <algorithm>

#include "platform/services/grammar/grammar_service.h"

using platform::GrammarService;

namespace {

// Unlinked words past this share of a sentence's words say that the
// sentence as a whole is wrong.
constexpr int kMostUnlinkedShare = 3;  // one in three

bool hasLetterOrDigit(QStringView text) {
    for (QChar c : text)
        if (c.isLetterOrNumber())
            return true;
    return false;
}

int wordsOf(const QString &text) { return int(text.count(QLatin1Char(' '))) + 1; }

}  // namespace

GrammarMarks::GrammarMarks(SmartTextStorage *storage, GrammarService *grammar, QObject *parent)
    : QObject(parent), m_storage(storage), m_grammar(grammar) {
    connectGrammar();
}

GrammarMarks::~GrammarMarks() {
    if (m_grammar)
        m_grammar->cancel(this);
}

void GrammarMarks::setGrammar(GrammarService *grammar) {
    if (grammar == m_grammar)
        return;
    forget();
    for (const QMetaObject::Connection &connection : m_connections)
        disconnect(connection);
    m_connections.clear();
    m_grammar = grammar;
    connectGrammar();
}

void GrammarMarks::connectGrammar() {
    if (!m_grammar)
        return;
    m_connections.append(connect(m_grammar, &GrammarService::checked, this,
                                 [this](const QStringList &sentences) { checked(sentences); }));
    // Without a dictionary nothing that waits will come.
    m_connections.append(connect(m_grammar, &GrammarService::loaded, this, [this](bool available) {
        if (available)
            return;
        m_waiting.clear();
        emit cannotJudge();
    }));
}

bool GrammarMarks::canJudge() const {
    return m_grammar && m_grammar->hasDictionary() && m_grammar->state() != GrammarService::State::Failed;
}

void GrammarMarks::forget() {
    if (m_grammar)
        m_grammar->cancel(this);
    m_waiting.clear();
    m_held.reset();
}

QList<QTextLayout::FormatRange> GrammarMarks::marksFor(const QTextBlock &block,
                                                       const std::vector<prose::Sentence> &sentences, CharRange run,
                                                       qsizetype caret, bool urgent) {
    QList<QTextLayout::FormatRange> marks;
    if (!canJudge() || !m_storage)
        return marks;
    const qsizetype from = block.position();
    const qsizetype to = from + block.length() - 1;
    // The sentences are in order: the first that ends past the block's
    // start, up to the first that begins after its end.
    auto first = std::partition_point(sentences.begin(), sentences.end(),
                                      [from](const prose::Sentence &sentence) { return sentence.end <= from; });
    for (auto it = first; it != sentences.end() && it->start <= to; ++it) {
        const prose::Sentence &sentence = *it;
        if (!sentence.judged || !GrammarService::isJudgeable(sentence.text))
            continue;
        if (caret > sentence.start && caret < sentence.end) {
            hold({sentence.start, sentence.end - sentence.start});
            continue;
        }
        if (!m_grammar->known(sentence.text)) {
            m_grammar->request(sentence.text, this, urgent);
            wait(sentence, run);
            continue;
        }
        for (const CharRange &fault : faultsOf(sentence)) {
            const qsizetype start = qMax(fault.location, from);
            const qsizetype end = qMin(fault.end(), to);
            if (end > start)
                marks.append({int(start - from), int(end - start), format(sentence.text)});
        }
    }
    return marks;
}

std::optional<CharRange> GrammarMarks::held() const {
    if (!m_held)
        return std::nullopt;
    return CharRange{m_held->selectionStart(), m_held->selectionEnd() - m_held->selectionStart()};
}

QList<CharRange> GrammarMarks::faultsOf(const prose::Sentence &sentence) const {
    QList<CharRange> faults;
    if (!m_grammar || !sentence.judged || m_ignored.contains(sentence.text))
        return faults;
    const std::optional<GrammarService::Verdict> verdict = m_grammar->known(sentence.text);
    if (!verdict || verdict->kind != GrammarService::Verdict::Faulty)
        return faults;
    const qsizetype length = sentence.text.size();
    for (const GrammarService::Span &span : verdict->unlinked) {
        if (span.start < 0 || span.length <= 0 || span.start + span.length > length ||
            !hasLetterOrDigit(QStringView(sentence.text).mid(span.start, span.length)))
            continue;
        const qsizetype start = sentence.positions[size_t(span.start)];
        const qsizetype end = sentence.positions[size_t(span.start + span.length - 1)] + 1;
        faults.append({start, end - start});
    }
    if (faults.isEmpty() || faults.size() * kMostUnlinkedShare > wordsOf(sentence.text))
        return {CharRange{sentence.start, sentence.end - sentence.start}};
    return faults;
}

QTextCursor GrammarMarks::cursorOver(qsizetype start, qsizetype end) const {
    QTextCursor cursor(m_storage->document());
    cursor.setPosition(int(start));
    cursor.setPosition(int(end), QTextCursor::KeepAnchor);
    return cursor;
}

void GrammarMarks::hold(CharRange range) { m_held = cursorOver(range.location, range.end()); }

std::shared_ptr<QTextCursor> GrammarMarks::runOver(CharRange run) {
    std::shared_ptr<QTextCursor> last = m_lastRun.lock();
    if (last && last->selectionStart() == run.location && last->selectionEnd() == run.end())
        return last;
    last = std::make_shared<QTextCursor>(cursorOver(run.location, run.end()));
    m_lastRun = last;
    return last;
}

void GrammarMarks::wait(const prose::Sentence &sentence, CharRange run) {
    std::shared_ptr<QTextCursor> over = runOver(run);
    const qsizetype offset = sentence.start - over->selectionStart();
    std::vector<Wait> &waits = m_waiting[sentence.text];
    for (const Wait &wait : waits)
        if (wait.run == over && wait.offset == offset)
            return;
    Wait wait{over, offset, sentence, {}};
    QTextDocument *document = m_storage->document();
    for (QTextBlock b = document->findBlock(int(sentence.start)); b.isValid() && b.position() < sentence.end;
         b = b.next())
        wait.revisions.push_back(b.revision());
    waits.push_back(std::move(wait));
}

void GrammarMarks::judgeWaitingNow() {
    if (!m_grammar)
        return;
    const QStringList sentences = m_waiting.keys();
    for (const QString &sentence : sentences)
        m_grammar->check(sentence);
    checked(sentences);
}

void GrammarMarks::checked(const QStringList &sentences) {
    QList<CharRange> again;
    for (const QString &sentence : sentences) {
        auto found = m_waiting.find(sentence);
        if (found == m_waiting.end())
            continue;
        const std::vector<Wait> waits = std::move(found.value());
        m_waiting.erase(found);
        const std::optional<GrammarService::Verdict> verdict = m_grammar ? m_grammar->known(sentence) : std::nullopt;
        // A grammatical sentence shows as it did: unmarked.
        if (!verdict || verdict->kind != GrammarService::Verdict::Faulty)
            continue;
        for (const Wait &wait : waits) {
            if (show(wait))
                continue;
            const CharRange run{wait.run->selectionStart(), wait.run->selectionEnd() - wait.run->selectionStart()};
            if (!again.contains(run))
                again.append(run);
        }
    }
    if (!again.isEmpty())
        emit judged(again);
}

// Whether the sentence of `wait` reads as it did at `start`: the same
// characters, in blocks of the same revisions (which it gives).
bool GrammarMarks::readsAsItDid(const Wait &wait, qsizetype start, std::vector<QTextBlock> *blocks) const {
    QTextDocument *document = m_storage->document();
    const qsizetype end = start + wait.sentence.end - wait.sentence.start;
    if (start < 0 || end > m_storage->length())
        return false;
    for (QTextBlock b = document->findBlock(int(start)); b.isValid() && b.position() < end; b = b.next())
        blocks->push_back(b);
    if (blocks->size() != wait.revisions.size())
        return false;
    for (size_t i = 0; i < blocks->size(); i++)
        if ((*blocks)[i].revision() != wait.revisions[i])
            return false;
    const qsizetype shift = start - wait.sentence.start;
    const QString &text = wait.sentence.text;
    size_t b = 0;
    for (qsizetype i = 0; i < text.size(); i++) {
        // A space may stand for a line end or several spaces.
        if (text[i] == QLatin1Char(' '))
            continue;
        const qsizetype at = wait.sentence.positions[size_t(i)] + shift;
        while (b + 1 < blocks->size() && at >= (*blocks)[b + 1].position())
            b++;
        const QTextBlock &block = (*blocks)[b];
        const QString line = block.text();
        const qsizetype offset = at - block.position();
        if (offset < 0 || offset >= line.size() || line[offset] != text[i])
            return false;
    }
    return true;
}

// Marks a faulty sentence where it waited, over its blocks' other marks;
// false when it no longer reads as it did there.
bool GrammarMarks::show(const Wait &wait) {
    if (!m_storage)
        return true;
    const qsizetype start = wait.run->selectionStart() + wait.offset;
    const qsizetype end = start + wait.sentence.end - wait.sentence.start;
    std::vector<QTextBlock> blocks;
    if (!readsAsItDid(wait, start, &blocks))
        return false;
    const qsizetype caret = m_caret ? m_caret() : -1;
    if (caret > start && caret < end) {
        hold({start, end - start});
        return true;
    }
    const qsizetype shift = start - wait.sentence.start;
    const QList<CharRange> faults = faultsOf(wait.sentence);
    for (const QTextBlock &block : blocks) {
        const qsizetype from = block.position();
        const qsizetype to = from + block.length() - 1;
        QList<QTextLayout::FormatRange> overlays = m_storage->overlayFormats(block);
        const qsizetype before = overlays.size();
        for (const CharRange &fault : faults) {
            const qsizetype s = qMax(fault.location + shift, from);
            const qsizetype e = qMin(fault.end() + shift, to);
            if (e > s)
                overlays.append({int(s - from), int(e - s), format(wait.sentence.text)});
        }
        if (overlays.size() != before)
            m_storage->setOverlayFormats(block, overlays);
    }
    return true;
}

// --- The marks ----------------------------------------------------------------------

QColor GrammarMarks::color() { return QColor(46, 160, 67); }

QString GrammarMarks::reading() { return QStringLiteral("This sentence may not be grammatical"); }

QTextCharFormat GrammarMarks::format(const QString &sentence) {
    QTextCharFormat format;
    format.setUnderlineStyle(QTextCharFormat::SpellCheckUnderline);
    format.setUnderlineColor(color());
    format.setProperty(kSentenceProperty, sentence);
    format.setProperty(SmartTextStorage::kOverlayProperty, true);
    return format;
}

bool GrammarMarks::isMark(const QTextLayout::FormatRange &range) {
    return range.format.hasProperty(kSentenceProperty);
}

QString GrammarMarks::sentenceOf(const QTextLayout::FormatRange &range) {
    return range.format.property(kSentenceProperty).toString();
}

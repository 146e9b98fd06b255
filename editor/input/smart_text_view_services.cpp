// SmartTextView: the text services of typing (corrections and
// substitutions), the spelling commands and panels, the context menu's
// guesses, links opened with Ctrl+click, and speech.
//
// What typing inserts goes through the storage as any typed text does (smart
// pairs, change tracking); a substitution or a correction is then a second
// edit through the storage's edit path, an undo step of its own, so that one
// undo gives back exactly what was typed.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QScrollBar>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>

#include "editor/editor_log.h"
#include "editor/input/spelling_panels.h"
#include "editor/smart_text_view.h"
#include "editor/smart_text_view_routing.h"
#include "editor/view/grammar_marks.h"
#include "editor/view/lazy_document_layout.h"
#include "editor/view/text_services.h"
#include "library/tzr.h"
#include "platform/files/workspace.h"
#include "platform/prefs/defaults.h"
#include "platform/services/speech/speech_service.h"
#include "platform/services/spelling/spell_service.h"

namespace {

// How long a correction shows highlighted, and how long after it the
// counts are published again.
constexpr int kReplacementShownMs = 1500;
constexpr int kDelayedInformationMs = 100;
// Guesses the context menu offers at most.
constexpr int kMenuGuesses = 5;

constexpr char16_t kEnDash = u'\u2013';
constexpr char16_t kEmDash = u'\u2014';
constexpr char16_t kApostrophe = u'\u2019';

QAction *menuSeparator(QMenu *parent) {
    auto *line = new QAction(parent);
    line->setSeparator(true);
    return line;
}

bool isLineStart(QChar c) { return c == QChar::ParagraphSeparator || c == QLatin1Char('\n') || c.isNull(); }

// Where a quotation mark opens: after a space, at a line's start, after an
// opening bracket, an opening quotation mark or a dash.
bool opensAfter(QChar before) {
    static const QString opening = QStringLiteral("([{<\u201C\u2018\u201E\u201A\u00AB\u00BB\u2039\u203A\u2013\u2014");
    return isLineStart(before) || before.isSpace() || opening.contains(before);
}

// A character that ends the word before it.
bool endsWord(QChar c) {
    if (c.isSpace() || isLineStart(c))
        return true;
    if (c == QLatin1Char('\'') || c == QChar(kApostrophe) || c == QLatin1Char('-') || c == QLatin1Char('_'))
        return false;
    return c.isPunct() || c.isSymbol();
}

}  // namespace

// --- Typing --------------------------------------------------------------------------------

void SmartTextView::typeText(const QString &text) {
    if (text.size() == 1 && stepOverClosingQuote(text.front()))
        return;
    const CharRange selection = selectedRange();
    const bool quote = text == QLatin1String("\"") || text == QLatin1String("'");
    // Smart pairs may put a typed quote around the selection.
    const QString selected = quote && selection.length > 0 ? textOfRange(selection) : QString();
    insertText(text);
    if (text.size() != 1)
        return;
    if (!selected.isEmpty() && systemTextSettings().automaticQuoteSubstitution &&
        substituteWrappingQuotes(text.front(), selection.location, selected))
        return;
    afterTyping(text.front(), selection.location);
}

// `typed` was inserted where `at` was.
void SmartTextView::afterTyping(QChar typed, qsizetype at) {
    const KVXTextView::SystemTextSettings &settings = systemTextSettings();
    if (settings.automaticQuoteSubstitution && (typed == QLatin1Char('"') || typed == QLatin1Char('\'')))
        substituteQuote(typed, at);
    qsizetype wordEnd = at;
    if (settings.automaticDashSubstitution && typed != QLatin1Char('-'))
        wordEnd = substituteDashes(typed, at);
    if (settings.automaticSpellingCorrection && wordEnd == at && endsWord(typed))
        correctWordBefore(at);
}

QStringList SmartTextView::quoteMarks() const {
    uint16_t language = TZR_QUOTES_ENGLISH;
    if (const std::optional<QString> quotes = storage()->metadataForKey(QStringLiteral("quoteslanguage")))
        language = tzr_quotes_language_named(quotes->toUtf8().constData(), false);
    else if (const std::optional<QString> named = storage()->metadataForKey(QStringLiteral("language")))
        language = tzr_quotes_language_named(named->toUtf8().constData(), true);
    QStringList marks;
    for (int which = 0; which < 4; which++)
        marks.append(QString::fromUtf8(tzr_quote_mark(language, which)));
    return marks;
}

// Smart pairs type over the closing half of a pair; a pair made curly
// keeps that: a straight double quote typed before the closing mark of the
// document's quotes moves the caret past it.
bool SmartTextView::stepOverClosingQuote(QChar typed) {
    if (typed != QLatin1Char('"') || !systemTextSettings().automaticQuoteSubstitution ||
        !storage()->preferences().enableSmartPairs)
        return false;
    const CharRange selection = selectedRange();
    if (selection.length > 0 || selection.location == 0)
        return false;
    const QChar next = document()->characterAt(int(selection.location));
    const QChar before = document()->characterAt(int(selection.location - 1));
    const QStringList marks = quoteMarks();
    // After an opening mark the pair is empty: its closing mark is typed
    // over too.
    if (next != marks[1].front() || marks[0] == marks[1] || (opensAfter(before) && before != marks[0].back()))
        return false;
    setSelectedRange({selection.location + 1, 0});
    makeCaretVisible();
    return true;
}

void SmartTextView::substituteQuote(QChar typed, qsizetype at) {
    // What the pipeline made of the quote: the quote itself, a pair of them
    // (smart pairs), or the quote inside a change-tracking mark.
    qsizetype position = -1;
    for (qsizetype p = at; p < qMin(storage()->length(), at + 4); p++) {
        if (document()->characterAt(int(p)) == typed) {
            position = p;
            break;
        }
    }
    if (position < 0 || (textServices()->isProseAt(position) == false))
        return;
    const QStringList marks = quoteMarks();
    const bool isDouble = typed == QLatin1Char('"');
    const QString open = marks[isDouble ? 0 : 2];
    const QString close = marks[isDouble ? 1 : 3];
    const QChar before = at > 0 ? document()->characterAt(int(at - 1)) : QChar();
    const bool pair =
        document()->characterAt(int(position + 1)) == typed && selectedRange() == CharRange{position + 1, 0};
    QString replacement;
    if (pair)
        replacement = open + close;
    else if (opensAfter(before))
        replacement = open;
    else if (!isDouble && before.isLetterOrNumber() && !closesSingleQuote(at, open, close))
        replacement = QString(QChar(kApostrophe));
    else
        replacement = close;
    const CharRange range{position, pair ? 2 : 1};
    if (replacement == textOfRange(range))
        return;
    replaceAsOwnStep(range, replacement);
}

// When smart pairs put the quote `typed` around `selected` (which stood at
// `at`), both marks are curled, as one step, and the text they hold stays
// selected. False when they did not.
bool SmartTextView::substituteWrappingQuotes(QChar typed, qsizetype at, const QString &selected) {
    const qsizetype closing = at + 1 + selected.size();
    if (closing >= storage()->length() || document()->characterAt(int(at)) != typed ||
        document()->characterAt(int(closing)) != typed || textOfRange({at + 1, selected.size()}) != selected ||
        !textServices()->isProseAt(at))
        return false;
    const QStringList marks = quoteMarks();
    const bool isDouble = typed == QLatin1Char('"');
    const QString open = marks[isDouble ? 0 : 2];
    const QString close = marks[isDouble ? 1 : 3];
    replaceAsOwnStep({at, selected.size() + 2}, open + selected + close);
    setSelectedRange({at + open.size(), selected.size()});
    return true;
}

// After a letter a single quote is an apostrophe, unless it closes a quote
// the line opened: where the two marks differ ("geht's" but ‚so‘), the
// quotes still open before `at` tell.
bool SmartTextView::closesSingleQuote(qsizetype at, const QString &open, const QString &close) const {
    if (close == QString(QChar(kApostrophe)) || open.isEmpty() || open == close)
        return false;
    const QTextBlock block = document()->findBlock(int(at));
    const QString before = block.text().left(at - block.position());
    return before.count(open) > before.count(close);
}

// The "--" or "---" that `typed` (at `at`) ends, in prose: an en dash
// between spaces or between digits, else an em dash; "---" an em dash.
// Gives where `typed` is afterwards.
qsizetype SmartTextView::substituteDashes(QChar typed, qsizetype at) {
    qsizetype start = at;
    while (start > 0 && at - start < 4 && document()->characterAt(int(start - 1)) == QLatin1Char('-'))
        start--;
    const qsizetype count = at - start;
    if (count != 2 && count != 3)
        return at;
    const QTextBlock block = document()->findBlock(int(start));
    // A line of dashes alone is a rule, a heading's underline or a
    // metadata fence.
    bool otherThanDashes = false;
    for (QChar c : block.text())
        otherThanDashes = otherThanDashes || (c != QLatin1Char('-') && !c.isSpace());
    if (!otherThanDashes || !textServices()->isProseAt(start))
        return at;
    const QChar before = start > 0 ? document()->characterAt(int(start - 1)) : QChar();
    const bool between = (before.isSpace() && typed.isSpace()) || (before.isDigit() && typed.isDigit());
    const QChar dash = count == 2 && between ? QChar(kEnDash) : QChar(kEmDash);
    replaceAsOwnStep({start, count}, QString(dash));
    return at - count + 1;
}

// The word of prose that ends at `at`, when it is misspelt (underlined or
// not: checking as the user types may be off), not capitalised, and exactly
// one correct word lies one edit away from it, becomes that word.
void SmartTextView::correctWordBefore(qsizetype at) {
    if (at <= 0)
        return;
    const std::optional<CharRange> marked = textServices()->misspeltWordEndingAt(at);
    if (!marked)
        return;
    const QString word = textOfRange(*marked);
    if (word.isEmpty() || word.front().isUpper())
        return;
    // Two found are enough to know it is not one.
    const QStringList corrections = textServices()->spelling()->singleEditCorrections(word, 2);
    if (corrections.size() != 1)
        return;
    const qsizetype before = storage()->length();
    replaceAsOwnStep(*marked, corrections.front());
    showReplacement({marked->location, marked->length + storage()->length() - before});
    setTypedSpace(true);
    qCInfo(lcEditor, "set delayed information update");
    QTimer::singleShot(kDelayedInformationMs, this, [this] { updateInformation(); });
}

void SmartTextView::replaceAsOwnStep(CharRange range, const QString &text) {
    const CharRange selection = selectedRange();
    const qsizetype before = storage()->length();
    storage()->replaceCharactersAsOwnStep(range, text);
    const qsizetype delta = storage()->length() - before;
    auto shifted = [&](qsizetype position) { return position >= range.end() ? position + delta : position; };
    const qsizetype start = shifted(selection.location);
    setSelectedRange({start, shifted(selection.end()) - start});
}

// The corrected word lit up for a moment, so that the user sees what
// changed.
void SmartTextView::showReplacement(CharRange range) {
    QTextEdit::ExtraSelection shown;
    shown.cursor = QTextCursor(document());
    shown.cursor.setPosition(int(range.location));
    shown.cursor.setPosition(int(qMin(range.end(), storage()->length())), QTextCursor::KeepAnchor);
    shown.format.setBackground(QColor(120, 170, 255, 90));
    shown.format.setUnderlineStyle(QTextCharFormat::DotLine);
    shown.format.setUnderlineColor(QColor(40, 100, 220));
    setExtraSelections({shown});
    QTimer::singleShot(kReplacementShownMs, this, [this] { setExtraSelections({}); });
}

// --- Spelling commands --------------------------------------------------------------------------

void SmartTextView::checkSpelling() {
    const qsizetype from = selectedRange().end();
    const std::optional<CharRange> misspelt = textServices()->nextMisspelling(from);
    const std::optional<TextServices::GrammarFault> faulty =
        textServices()->checksGrammar() ? textServices()->nextGrammarFault(from) : std::nullopt;
    // Whichever comes first going on from `from` (round the text): a word
    // by where it begins, a sentence by where it ends, so that the words of
    // a sentence come before the sentence.
    const qsizetype length = storage()->length();
    const auto wordDistance = [&](qsizetype start) { return start >= from ? start - from : start + length - from; };
    const auto sentenceDistance = [&](qsizetype end) { return end > from ? end - from : end + length - from; };
    const bool sentenceFirst =
        faulty && (!misspelt || sentenceDistance(faulty->range.end()) <= wordDistance(misspelt->location));
    if (!misspelt && !faulty) {
        if (m_spellingPanel)
            m_spellingPanel->showWord(QString(), {});
        QApplication::beep();
        return;
    }
    const CharRange found = sentenceFirst ? faulty->range : *misspelt;
    setSelectedRange(found);
    centerRange(found, false);
    if (!m_spellingPanel || !m_spellingPanel->isVisible())
        return;
    if (sentenceFirst) {
        m_spellingPanel->showSentence(faulty->sentence, GrammarMarks::reading());
    } else {
        const QString word = textOfRange(found);
        m_spellingPanel->showWord(word, textServices()->spelling()->suggestions(word, kMenuGuesses));
    }
}

void SmartTextView::showGuessPanel() {
    if (!m_spellingPanel) {
        m_spellingPanel = new SpellingPanel(this);
        connect(m_spellingPanel, &SpellingPanel::findNextRequested, this, [this] { checkSpelling(); });
        connect(m_spellingPanel, &SpellingPanel::changeRequested, this,
                [this](const QString &word, const QString &replacement) {
                    const CharRange selection = selectedRange();
                    if (textOfRange(selection) != word)
                        return;
                    {
                        RoutedEdit routed(this);
                        storage()->replaceCharactersInRange(selection, replacement);
                    }
                    checkSpelling();
                });
        connect(m_spellingPanel, &SpellingPanel::ignoreRequested, this, [this](const QString &word) {
            textServices()->ignoreWord(word);
            checkSpelling();
        });
        connect(m_spellingPanel, &SpellingPanel::ignoreSentenceRequested, this, [this](const QString &sentence) {
            textServices()->ignoreSentence(sentence);
            checkSpelling();
        });
        connect(m_spellingPanel, &SpellingPanel::learnRequested, this, [this](const QString &word) {
            textServices()->spelling()->learnWord(word);
            checkSpelling();
        });
    }
    m_spellingPanel->show();
    m_spellingPanel->raise();
    const QString selected = textOfRange(selectedRange());
    if (!selected.isEmpty() && textServices()->isMisspelt(selected))
        m_spellingPanel->showWord(selected, textServices()->spelling()->suggestions(selected, kMenuGuesses));
    else
        checkSpelling();
}

void SmartTextView::orderFrontSubstitutionsPanel() {
    if (!m_substitutionsPanel)
        m_substitutionsPanel = new SubstitutionsPanel(defaults(), this);
    m_substitutionsPanel->show();
    m_substitutionsPanel->raise();
}

QList<QAction *> SmartTextView::spellingMenuItems(qsizetype position, QMenu *parent) {
    QList<QAction *> items;
    if (const std::optional<CharRange> marked = textServices()->misspellingAt(position))
        items += misspellingMenuItems(*marked, parent);
    if (const std::optional<TextServices::GrammarFault> fault = textServices()->grammarFaultAt(position)) {
        auto *reading = new QAction(GrammarMarks::reading(), parent);
        reading->setEnabled(false);
        auto *ignore = new QAction(QStringLiteral("Ignore Grammar"), parent);
        connect(ignore, &QAction::triggered, this,
                [this, sentence = fault->sentence] { textServices()->ignoreSentence(sentence); });
        items << reading << ignore << menuSeparator(parent);
    }
    return items;
}

QList<QAction *> SmartTextView::misspellingMenuItems(CharRange range, QMenu *parent) {
    QList<QAction *> items;
    const QString word = textOfRange(range);
    const QStringList guesses = textServices()->spelling()->suggestions(word, kMenuGuesses);
    for (const QString &guess : guesses) {
        auto *item = new QAction(guess, parent);
        connect(item, &QAction::triggered, this, [this, range, word, guess] {
            if (textOfRange(range) == word)
                replaceAsOwnStep(range, guess);
        });
        items.append(item);
    }
    if (guesses.isEmpty()) {
        auto *none = new QAction(QStringLiteral("No Guesses Found"), parent);
        none->setEnabled(false);
        items.append(none);
    }
    items.append(menuSeparator(parent));
    auto *ignore = new QAction(QStringLiteral("Ignore Spelling"), parent);
    connect(ignore, &QAction::triggered, this, [this, word] { textServices()->ignoreWord(word); });
    auto *learn = new QAction(QStringLiteral("Learn Spelling"), parent);
    connect(learn, &QAction::triggered, this, [this, word] { textServices()->spelling()->learnWord(word); });
    items << ignore << learn << menuSeparator(parent);
    return items;
}

// --- Links ----------------------------------------------------------------------------------------

// The address under the pointer, when one shows as a link, goes to the
// user's application for it, if the allowlist lets it leave.
bool SmartTextView::openLinkAt(const QPoint &viewportPoint) {
    const QPointF point(viewportPoint.x() + horizontalScrollBar()->value(),
                        viewportPoint.y() + verticalScrollBar()->value());
    const int hit = storage()->documentLayout()->hitTest(point, Qt::ExactHit);
    if (hit < 0)
        return false;
    const std::optional<TextServices::Link> link = textServices()->linkAt(hit);
    if (!link)
        return false;
    platform::Workspace::openExternally(QUrl(link->url));
    return true;
}

// --- Speech --------------------------------------------------------------------------------------

platform::SpeechService &SmartTextView::speechService() const {
    return m_speech ? *m_speech : platform::SpeechService::shared();
}

void SmartTextView::startSpeaking() {
    const CharRange selection = selectedRange();
    speechService().startSpeaking(selection.length > 0 ? textOfRange(selection) : storage()->string());
}

void SmartTextView::stopSpeaking() { speechService().stopSpeaking(); }

// --- Switches and validation ----------------------------------------------------------------------

void SmartTextView::togglePreference(const char *key) {
    const QString name = QString::fromLatin1(key);
    defaults().setBool(!defaults().boolForKey(name), name);
}

// The items of the text services: the switches are checked as their
// preferences stand; the speaker's items follow its state; the spelling
// commands need a dictionary. False when `action` is none of them.
bool SmartTextView::validateTextService(const QString &action, QAction *item, bool *enabled) {
    static const std::pair<const char *, const char *> switches[] = {
        {"toggleContinuousSpellChecking:", "checkSpelling"},  {"toggleAutomaticSpellingCorrection:", "correctSpelling"},
        {"toggleGrammarChecking:", "checkGrammar"},           {"toggleAutomaticQuoteSubstitution:", "smartQuotes"},
        {"toggleAutomaticDashSubstitution:", "smartDashes"},  {"toggleAutomaticLinkDetection:", "smartLinks"},
    };
    for (const auto &[name, key] : switches) {
        if (action == QLatin1String(name)) {
            if (item) {
                item->setCheckable(true);
                item->setChecked(defaults().boolForKey(QString::fromLatin1(key)));
            }
            *enabled = true;
            return true;
        }
    }
    if (action == QLatin1String("startSpeaking:")) {
        *enabled = speechService().canStartSpeaking();
        return true;
    }
    if (action == QLatin1String("stopSpeaking:")) {
        *enabled = speechService().canStopSpeaking();
        return true;
    }
    if (action == QLatin1String("checkSpelling:") || action == QLatin1String("showGuessPanel:")) {
        *enabled = textServices()->spelling()->isAvailable();
        return true;
    }
    return false;
}

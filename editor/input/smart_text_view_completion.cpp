// SmartTextView: completion of the word before the caret, and of labels.
//
// complete() shows the completions of the word before the caret in the
// list under it, the first one already put in place with its untyped part
// selected; moving through the list, choosing and cancelling come back as
// insertCompletion() calls with the movement that caused them. Inside a
// label ("[...]") the names are the document's labels, and the text the user
// typed in the label (_pendingCompletion) comes back when nothing matches or
// the completion is cancelled.
#include <QGuiApplication>
#include <QInputMethod>
#include <QTextDocument>

#include "editor/input/completion_popup.h"
#include "editor/storage/label_ranges.h"
#include "editor/smart_text_view.h"
#include "editor/smart_text_view_routing.h"
#include "platform/prefs/defaults.h"
#include "textengine/buffer/smart_string.h"

using namespace textmovement;

QByteArrayView SmartTextView::mirrorText() const {
    const DString *mirror = smart_string_mirror_text(storage()->buffer());
    if (!mirror)
        return {};
    return QByteArrayView(mirror->str, qsizetype(mirror->length));
}

bool SmartTextView::autocompleteFootnotes() const {
    return defaults().boolForKey(QStringLiteral("autocompleteFootnotes"));
}

std::optional<CharRange> SmartTextView::rangeOfLabelForRange(CharRange range) const {
    return labels::rangeOfLabel(mirrorText(), range, autocompleteFootnotes());
}

bool SmartTextView::rangeIsInsideLabel(CharRange range) const {
    return rangeOfLabelForRange(range).has_value();
}

std::optional<CharRange> SmartTextView::fixLabelCompletionRange(CharRange range) const {
    return labels::insideOfLabel(mirrorText(), range, autocompleteFootnotes());
}

CharRange SmartTextView::rangeForUserCompletion() const {
    const qsizetype end = selectedRange().location;
    qsizetype start = end;
    const QTextDocument *text = document();
    while (start > 0) {
        const QChar c = text->characterAt(int(start - 1));
        if (!c.isLetterOrNumber() && c != QLatin1Char('_') && !c.isMark())
            break;
        start--;
    }
    return {start, end - start};
}

CompletionPopup *SmartTextView::popup() {
    if (!m_completionPopup) {
        m_completionPopup = new CompletionPopup(this);
        m_completionPopup->setFont(defaultFont());
        connect(m_completionPopup, &CompletionPopup::highlightedWord, this,
                [this](const QString &word, int movement) {
                    insertCompletion(word, m_completionRange, movement, false);
                });
        connect(m_completionPopup, &CompletionPopup::chosenWord, this,
                [this](const QString &word, int movement) {
                    insertCompletion(word, m_completionRange, movement, true);
                });
        connect(m_completionPopup, &CompletionPopup::cancelled, this, [this] {
            insertCompletion(m_completionOriginal, m_completionRange, kCancel, true);
        });
    }
    return m_completionPopup;
}

void SmartTextView::complete() {
    const CharRange partial = rangeForUserCompletion();
    m_completionRange = partial;
    m_completionOriginal = textOfRange(partial);
    m_completionShown = partial.length;
    int selected = 0;
    const QStringList words = completionsForPartialWordRange(partial, &selected);
    if (words.isEmpty()) {
        if (m_completionPopup)
            m_completionPopup->hide();
        return;
    }
    // The list stands under the word it completes.
    QTextCursor start(document());
    start.setPosition(int(partial.location));
    const QRect word = cursorRect(start);
    popup()->showCompletions(words, selected,
                             QRect(viewport()->mapToGlobal(word.topLeft()), word.size()));
    if (selected >= 0 && selected < words.size())
        insertCompletion(words[selected], partial, kOther, false);
}

bool SmartTextView::hasTentativeCompletion() const {
    return m_tentative && m_completionPopup && m_completionPopup->isVisible();
}

QString SmartTextView::committedString() const {
    QString text = KVXTextView::committedString();
    if (hasTentativeCompletion() && m_tentative->shown.location >= 0 && m_tentative->shown.end() <= text.size())
        text.replace(m_tentative->shown.location, m_tentative->shown.length, m_tentative->over);
    return text;
}

QByteArray SmartTextView::committedUtf8() const {
    return hasTentativeCompletion() ? committedString().toUtf8() : KVXTextView::committedUtf8();
}

bool SmartTextView::holdsCommittedUtf8(QByteArrayView utf8) const {
    return hasTentativeCompletion() ? committedString().toUtf8() == utf8 : KVXTextView::holdsCommittedUtf8(utf8);
}

void SmartTextView::withdrawOfferedText() {
    if (!hasTentativeCompletion()) {
        m_tentative.reset();
        return;
    }
    m_completionPopup->hide();
    insertCompletion(m_completionOriginal, m_completionRange, kCancel, true);
}

void SmartTextView::cancelOperation() {
    if (hasMarkedText()) {
        QGuiApplication::inputMethod()->reset();
        return;
    }
    complete();
}

QStringList SmartTextView::completionsForPartialWordRange(CharRange range, int *indexOfSelectedItem) {
    const std::optional<CharRange> inner = fixLabelCompletionRange(range);
    if (!inner)
        return storage()->completionsForPartialWordRange(range, indexOfSelectedItem);
    const QString typed = textOfRange({inner->location, range.end() - inner->location});
    m_pendingCompletion = labels::pendingCompletion(m_pendingCompletion, typed);
    const QStringList words = storage()->labelCompletionsForPartialWordRange(*inner, indexOfSelectedItem);
    if (words.isEmpty()) {
        // Nothing matches: the label holds what the user typed.
        RoutedEdit routed(this);
        storage()->replaceCharactersInRange(*inner, m_pendingCompletion);
    }
    return words;
}

void SmartTextView::insertCompletion(const QString &word, CharRange partialRange, int movement,
                                     bool isFinal) {
    const std::optional<CharRange> inner = fixLabelCompletionRange(partialRange);
    if (!inner) {
        // A word of the text: the completion shown stands where the partial
        // word stood; cancelling puts the partial word back.
        const QString text = movement == kCancel ? m_completionOriginal : word;
        const CharRange shown{partialRange.location, m_completionShown};
        // Known before the edit, which the preview and the document hear of.
        if (isFinal)
            m_tentative.reset();
        else
            m_tentative = Tentative{{partialRange.location, text.size()}, m_completionOriginal};
        if (movement == kCancel) {
            // The text as it was before the list opened: no longer edited
            // when that was the saved text.
            {
                RestoringEdit restoring(this);
                storage()->replaceCharactersInRange(shown, text);
            }
            tellDocumentAfterRestoring(OwningDocument::ChangeKind::Done);
        } else {
            RoutedEdit routed(this);
            storage()->replaceCharactersInRange(shown, text);
        }
        m_completionShown = text.size();
        const qsizetype end = partialRange.location + text.size();
        if (isFinal || end <= partialRange.end())
            setSelectedRange({end, 0});
        else
            setSelectedRange({partialRange.end(), end - partialRange.end()});
        return;
    }
    if (movement != kLeft && movement != kRight && movement != kOther) {
        // Up and Down only move through the list; choosing puts the word in
        // the label, cancelling the user's own text.
        if (!isFinal)
            return;
        const QString chosen = movement == kCancel ? m_pendingCompletion : word;
        m_tentative.reset();
        {
            RoutedEdit routed(this);
            storage()->replaceCharactersInRange(*inner, chosen);
        }
        m_pendingCompletion.clear();
        setSelectedRange({inner->location + chosen.size(), 0});
        return;
    }
    m_tentative = Tentative{{inner->location, word.size()}, m_pendingCompletion};
    {
        RoutedEdit routed(this);
        storage()->replaceCharactersInRange(*inner, word);
    }
    // What the user has not typed of the word stays selected.
    const qsizetype end = partialRange.end();
    const qsizetype placed = inner->location + word.size();
    if (placed >= end)
        setSelectedRange({end, placed - end});
    else
        setSelectedRange({placed, 0});
}

// SmartTextView: the editor of a Markdown document window.
//
// A KVXTextView over a SmartTextStorage that decides what each key press,
// paste, drop and input-method commit means and hands every change of the
// text to the storage: Tab indents a selection, Shift-Tab outdents, the
// Return variants end a line or break it, the user's key bindings come
// before the rest, and a label being typed is completed from the document.
// After each change the selection follows the caret that the text buffer
// computed, and the counts are published.
//
// Closed paths. QTextEdit edits its document by itself in many ways; here
// none of them is left open. Keys are interpreted by this view (only moving
// and selecting keys reach QTextEdit), input-method commits go through the
// storage while the preedit stays in the layout, pastes (the clipboard and
// the middle button's selection) and drops are inserted through the
// storage, a drag that moves text within the view is one edit of the
// storage, and a drag that moves text out deletes it through the storage.
// Qt's own context menu is never shown. Text from outside has its line ends
// made "\n" and NUL characters removed on the way in. QTextEdit's own
// setters (setPlainText, insertPlainText, clear, append) are not for this
// view: they would edit the document behind the storage, which then puts
// its own text back and logs the edit as unrouted.
//
// Published values, each with a signal that tells of it, for the engine
// bridge and the info bar:
//   charCount      told after every change of the text, even one that
//                  leaves the count as it was (the bridge's trigger), and
//                  when set up;
//   wordCount, lineCount, paraCount   told only when they change;
//   lastEditedRange   the selection at the last count update, told with
//                  every update;
//   typedSpace     true after a typed single space or a spelling
//                  correction, false after a backward delete; the bridge
//                  reads and clears it (takeTypedSpace).
// The other values are up to date when charCount is told.
//
// Text services: misspelt words are underlined and addresses shown as links
// by the base view (KVXTextView::textServices()); this view corrects and
// substitutes as the user types (typeText), offers guesses in its context
// menu, opens a link on Ctrl+click (through platform::Workspace, which
// decides what may leave the program), and speaks.
//
// Actions (platform/runtime/action_router.h): the view is a responder for the
// editor's commands ("shiftLeft:", "addStrong:", "acceptCurrentCriticMarkup:"
// ...), the standard text commands ("moveLeft:", "deleteWordBackward:",
// "selectParagraph:", "yank:" ...), "undo:"/"redo:", the base view's
// switches ("toggleShowLineNumbers:", "zoomIn:" ...) and the text services'
// ("checkSpelling:", "toggleAutomaticQuoteSubstitution:", "startSpeaking:"
// ..., whose switches are the preferences themselves); everything else goes
// on to its parents. Main thread only.
#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

#include "editor/editor_interfaces.h"
#include "editor/storage/heading_row.h"
#include "editor/view/kvx_text_view.h"
#include "editor/storage/theme_styles.h"
#include "platform/runtime/action_router.h"

class CompletionPopup;
class QMenuBar;
class QMenu;
class SmartUndoManager;
class SpellingPanel;
class SubstitutionsPanel;
namespace platform {
class SpeechService;
}

class SmartTextView : public KVXTextView, public platform::Responder {
    Q_OBJECT
public:
    // Edits `storage` (which must outlive the view) with the preferences of
    // `defaults` (the standard store when null).
    explicit SmartTextView(SmartTextStorage *storage, platform::Defaults *defaults = nullptr,
                           QWidget *parent = nullptr);
    ~SmartTextView() override;

    // --- Published values ------------------------------------------------------

    quint64 charCount() const { return m_charCount; }
    quint64 wordCount() const { return m_wordCount; }
    quint64 lineCount() const { return m_lineCount; }
    quint64 paraCount() const { return m_paraCount; }
    CharRange lastEditedRange() const { return m_lastEditedRange; }
    bool typedSpace() const { return m_typedSpace; }
    // Reads typedSpace and clears it.
    bool takeTypedSpace();

    // The theme's colours as last applied, sidebar colours included.
    const ThemeColors &themeColors() const { return m_themeColors; }

    // The window's scroll synchroniser (not owned, opaque here).
    QObject *syncScroller() const { return m_syncScroller; }
    void setSyncScroller(QObject *syncer) { m_syncScroller = syncer; }

    // The document told of changes, and whose folder relative paths of
    // dropped files start from; none until the document sets itself.
    OwningDocument *owningDocument() const { return m_owningDocument; }
    void setOwningDocument(OwningDocument *document) { m_owningDocument = document; }

    SmartUndoManager *undoManager() const { return m_undoManager.get(); }

    // --- Text entry and edits ------------------------------------------------------

    void setInitialText(const QString &text);
    // An edit of the storage; the selection is kept where Qt moves it.
    void replaceCharactersInRange(CharRange range, const QString &text);
    // A CriticMarkup comment or highlight written by command, which change
    // tracking does not mark as a change; false when tracking refused it.
    bool replaceCharactersWithCriticNote(CharRange range, const QString &text);
    // The differences only, as one change; the selection follows the caret.
    void bulkReplaceCharactersInRange(CharRange range, const QString &text);
    // Text typed (or committed by an input method) over the selection, or
    // over `replacementRange`, through the storage's editing pipeline.
    void insertText(const QString &text, std::optional<CharRange> replacementRange = {});
    // The selection replaced by `text` as typed: what key bindings insert.
    void myInsertText(const QString &text);
    void deleteBackward();
    // The storage's answer while changes are tracked: 1 allowed, 0 refused,
    // -1 when no existing change is touched.
    int canEditRange(CharRange range, qsizetype replacementLength);

    // --- After an edit ---------------------------------------------------------------

    // The selection becomes the caret the storage's text buffer left, when
    // it left one.
    void didChangeSelection();
    void didChangeTextOrSelection();
    // The same, and the caret centred.
    void moveToNewSelection();
    // Publishes the counts, lastEditedRange and, always, charCount.
    void updateInformation();

    // --- Commands on the selection ---------------------------------------------------

    void addStrong();
    void addEmph();
    void decreaseLine();
    void increaseLine();
    void shiftLeft();
    void shiftRight();
    void shiftUp();
    void shiftDown();
    void increaseSelection();
    void decreaseSelection();
    void moveSelectionToPreviousParagraph();
    void moveSelectionToNextParagraph();
    // Moves sections dropped in the table of contents (the storage's rules);
    // true when the text changed.
    bool moveToCHeadings(const std::vector<HeadingRow> &headings, const HeadingRow *ontoHeading,
                         const HeadingRow *beforeHeading, const HeadingRow *afterHeading);
    void moveSelectionToNextCriticMarkup();
    void moveSelectionToPreviousCriticMarkup();
    // While changes are tracked, a change is neither accepted nor rejected
    // (the edit would be tracked in its turn): the user is told why.
    void acceptCurrentCriticMarkup();
    void rejectCurrentCriticMarkup();
    static void alertCriticMarkupBlocked();
    void toggleChangeTracking();
    bool isTrackingChanges() const;
    // Title case for the selection's first line; the rest is kept.
    void applyTitleCase();
    void setLastUndoTags(quint64 tags);

    // --- Appearance ----------------------------------------------------------------------

    // Loads a theme into the storage and takes its colours.
    void applyThemeFromPath(const QString &path);
    // The font of "defaultFontName" and "defaultFontSize", when it exists.
    void resetDefaultFont();
    void resetFormatting();

    // --- Pasteboard and drops ---------------------------------------------------------------

    // The clipboard's text, as pasteAsPlainText.
    void paste();
    // An address over a selected word becomes a link; any other text is
    // inserted as it is (line ends and NULs made safe).
    void pasteAsPlainText();
    void cut();
    static bool stringIsValidURL(const QString &text);
    // What a drag of the selection carries: its text, and which view and
    // which range of which text it came from, so that a drop back into this
    // view moves the text rather than copying it.
    QMimeData *dragDataForSelection() const;

    // --- Undo ------------------------------------------------------------------------------

    bool canUndo() const;
    bool canRedo() const;
    void smartUndo(QObject *sender = nullptr);
    void smartRedo(QObject *sender = nullptr);

    // --- Completion -------------------------------------------------------------------------

    // Opens the completion list for the word before the caret (a label's
    // names inside a label).
    void complete();
    // Escape: ends an input method's composition, else complete().
    void cancelOperation();
    bool rangeIsInsideLabel(CharRange range) const;
    std::optional<CharRange> rangeOfLabelForRange(CharRange range) const;
    std::optional<CharRange> fixLabelCompletionRange(CharRange range) const;
    QStringList completionsForPartialWordRange(CharRange range, int *indexOfSelectedItem);
    void insertCompletion(const QString &word, CharRange partialRange, int movement, bool isFinal);
    // The word before the selection that completion works on.
    CharRange rangeForUserCompletion() const;
    // The list shown while completing (null before the first completion).
    CompletionPopup *completionPopup() const { return m_completionPopup; }
    // While the list shows, the word of its highlighted row stands in the
    // text only tentatively: the document, its preview and its file have
    // the text it stands over until the word is chosen or typed on.
    bool hasTentativeCompletion() const;
    QString committedString() const override;
    QByteArray committedUtf8() const override;
    bool holdsCommittedUtf8(QByteArrayView utf8) const override;
    // Cancels a completion still in its list, as Escape in the list would.
    void withdrawOfferedText() override;

    // --- Text services (smart_text_view_services.cpp) ------------------------------------------

    // A character typed with the keyboard (or committed alone by an input
    // method): inserted as typed text, then what typing it calls for, each
    // an undo step of its own: a straight quote made curly ("smartQuotes"),
    // the "--" or "---" it ends made a dash ("smartDashes"), the misspelt
    // word it ends corrected ("correctSpelling"). A straight double quote
    // typed before the closing curly quote of a pair steps over it.
    void typeText(const QString &text);
    // Selects the next misspelt word after the selection (round the text
    // once) and shows it in the spelling panel when that is open. With
    // grammar checked ("checkGrammar"), a sentence found faulty counts too:
    // it comes after the misspelt words in it, and is selected whole.
    void checkSpelling();
    void showGuessPanel();
    void orderFrontSubstitutionsPanel();
    SpellingPanel *spellingPanel() const { return m_spellingPanel; }
    SubstitutionsPanel *substitutionsPanel() const { return m_substitutionsPanel; }
    // The items the context menu begins with for a misspelt word at
    // `position`: up to five guesses, then Ignore Spelling and Learn
    // Spelling; for a grammar mark there, what grammar says of its sentence
    // and Ignore Grammar (all owned by `parent`); none elsewhere.
    QList<QAction *> spellingMenuItems(qsizetype position, QMenu *parent);
    // The speaker: the selection, or the whole text without one.
    void startSpeaking();
    void stopSpeaking();
    platform::SpeechService &speechService() const;
    // Tests speak through a service of their own (not owned).
    void setSpeechService(platform::SpeechService *speech) { m_speech = speech; }
    // The quotation marks of the document's quotes language: opening and
    // closing double, opening and closing single.
    QStringList quoteMarks() const;

    // --- Actions -------------------------------------------------------------------------------

    bool respondsToAction(const QString &action) const override;
    void performAction(const QString &action, QObject *sender) override;
    bool validateAction(const QString &action, QAction *item) override;
    bool validateUserInterfaceItem(const QString &action, QAction *item) override;
    // Logs "action <name>" for every item of the menu bar without a submenu.
    static void describeMenuBar(const QMenuBar *menuBar);
    static void describeMenu(const QMenu *menu);

    void textDidChange() override;

signals:
    void charCountChanged(quint64 count);
    void wordCountChanged(quint64 count);
    void lineCountChanged(quint64 count);
    void paraCountChanged(quint64 count);
    void lastEditedRangeChanged(CharRange range);
    void typedSpaceChanged(bool typed);

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    bool canInsertFromMimeData(const QMimeData *source) const override;
    void insertFromMimeData(const QMimeData *source) override;
    void dropEvent(QDropEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;

private:
    class RoutedEdit;
    class RestoringEdit;
    struct ActionEntry;
    static const std::vector<ActionEntry> &actionTable();
    static const ActionEntry *findAction(const QString &action);

    void configureSelf();
    void applyThemeToView();
    void adoptCaret();
    // After an edit that may bring back the saved text: Cleared when the
    // text is the saved text again, else `kind`.
    void tellDocumentAfterRestoring(OwningDocument::ChangeKind kind);
    void preferenceChanged(const QString &key);
    void setTypedSpace(bool typed);

    // Keys (smart_text_view_keys.cpp)
    bool interpretKey(QKeyEvent *event);
    void returnVariant(Qt::KeyboardModifiers modifiers);
    void checkLabelCompletion();
    bool hasMarkedText() const;

    // Mouse, drops and drags (smart_text_view_drops.cpp)
    void insertIncomingText(const QString &text);
    void concludeDragOperation(QDropEvent *event);
    // The range a drop of `data` moves within this view, if it is a drag of
    // this view's text as it is now.
    std::optional<CharRange> draggedRangeOf(const QMimeData *data) const;
    void startTextDrag();
    void pasteSelectionBuffer(const QPoint &at);
    void publishSelectionBuffer();

    // Commands (smart_text_view_commands.cpp)
    void moveCaret(int operation, bool extend);
    // Moves `cursor` as QTextCursor::movePosition does, except that the
    // block operations go by lines of the text: a line shown in parts is
    // one paragraph here.
    void moveByLines(QTextCursor &cursor, int operation, QTextCursor::MoveMode mode) const;
    void collapseOrMove(bool forward, bool extend);
    void movePage(bool down, bool extend);
    void deleteRange(CharRange range, bool kill);
    void deleteTowards(int operation, bool kill);
    enum class LetterCase { Capitalized, Lower, Upper };
    void changeCaseOfWord(LetterCase letterCase);
    void transpose();
    void yank(bool select);
    // A storage command on the selection, then the selection it leaves.
    void runStorageCommand(void (SmartTextStorage::*command)(CharRange));
    void runSelectionCommand(void (SmartTextStorage::*command)(CharRange));
    void showRange(CharRange range);

    // Text services (smart_text_view_services.cpp)
    void afterTyping(QChar typed, qsizetype at);
    bool stepOverClosingQuote(QChar typed);
    void substituteQuote(QChar typed, qsizetype at);
    bool substituteWrappingQuotes(QChar typed, qsizetype at, const QString &selected);
    bool closesSingleQuote(qsizetype at, const QString &open, const QString &close) const;
    qsizetype substituteDashes(QChar typed, qsizetype at);
    void correctWordBefore(qsizetype at);
    // A replacement made for the user as its own undo step; the caret keeps
    // its place in the text around it.
    void replaceAsOwnStep(CharRange range, const QString &text);
    void showReplacement(CharRange range);
    // The guesses, Ignore Spelling and Learn Spelling of a misspelt word.
    QList<QAction *> misspellingMenuItems(CharRange range, QMenu *parent);
    void togglePreference(const char *key);
    bool validateTextService(const QString &action, QAction *item, bool *enabled);
    bool openLinkAt(const QPoint &viewportPoint);

    // Completion (smart_text_view_completion.cpp)
    CompletionPopup *popup();
    QByteArrayView mirrorText() const;
    bool autocompleteFootnotes() const;

    quint64 m_charCount = 0;
    quint64 m_wordCount = 0;
    quint64 m_lineCount = 0;
    quint64 m_paraCount = 0;
    CharRange m_lastEditedRange;
    bool m_typedSpace = false;

    ThemeColors m_themeColors;
    QPointer<QObject> m_syncScroller;
    OwningDocument *m_owningDocument = nullptr;
    std::unique_ptr<SmartUndoManager> m_undoManager;

    // An edit this view made: the selection follows the buffer's caret.
    int m_routing = 0;
    // An undo, a redo or a cancelled completion under way: the document
    // hears of it once, afterwards.
    bool m_restoring = false;

    // Completion
    QString m_pendingCompletion;
    CompletionPopup *m_completionPopup = nullptr;
    CharRange m_completionRange;   // the partial word of the list shown
    QString m_completionOriginal;  // its text before the list opened
    qsizetype m_completionShown = 0;  // units of the word now in its place
    // The word the list put in place and the text it stands over, while
    // neither chosen nor typed on.
    struct Tentative {
        CharRange shown;
        QString over;
    };
    std::optional<Tentative> m_tentative;

    // Text services
    SpellingPanel *m_spellingPanel = nullptr;
    SubstitutionsPanel *m_substitutionsPanel = nullptr;
    platform::SpeechService *m_speech = nullptr;

    // Marks and the kill buffer of the Emacs-style commands.
    std::optional<qsizetype> m_mark;
    QString m_killBuffer;

    // A press inside the selection that may become a drag of it, unless it
    // is the third click of a triple click.
    bool m_dragCandidate = false;
    QPoint m_dragStart;
    QElapsedTimer m_lastDoubleClick;
};

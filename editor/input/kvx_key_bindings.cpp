#include "editor/input/kvx_key_bindings.h"

#include <QSet>

#include "editor/editor_interfaces.h"
#include "editor/editor_log.h"
#include "editor/smart_text_view.h"
#include "textengine/settings/keybindings.h"
#include "platform/runtime/action_router.h"

namespace {

// The actions a binding may send: the editor's and the window's commands,
// and the standard text and application commands.
const char *const kAllowedActions[] = {
    "acceptCurrentCriticMarkup:", "addEmph:", "addStrong:", "applyTitleCase:", "cleanupFull:",
    "cleanupHTMLEntities:", "cleanupList:", "cleanupMetadata:", "cleanupSmartTypography:",
    "cleanupTables:", "copyAsHTML:", "copyAsLaTeX:", "copyAsRichText:", "decreaseLine:",
    "decreaseSelection:", "diffToCriticMarkup:", "increaseLine:", "increaseSelection:",
    "insertTOC:", "makeBlockquote:", "makeBulletedList:", "makeEnumeratedList:",
    "makeFencedBlock:", "moveSelectionToNextCriticMarkup:",
    "moveSelectionToPreviousCriticMarkup:", "onlineHelp:", "openWithMarked:",
    "pasteAsBlockquote:", "pasteAsBulletedList:", "pasteAsEnumeratedList:", "pasteAsTable:",
    "pasteAsTableRows:", "printPreview:", "refreshPreview:", "rejectCurrentCriticMarkup:",
    "selectEditor:", "selectLeftSidebar:", "selectRightSidebar:", "shiftDown:", "shiftLeft:",
    "shiftRight:", "shiftUp:", "showCheatSheet:", "showPreferences:", "stripMarkers:",
    "submitProblem:", "swapPreview:", "swapVisiblePanels:", "toggleAutoZoom:",
    "toggleChangeTracking:", "toggleCritic:", "toggleInfo:", "toggleList:", "togglePreview:",
    "toggleRef:", "toggleShowInvisibleCharacters:", "toggleShowLineNumbers:",
    "toggleShowParagraphNumbers:", "toggleTOC:", "transcludeToNewDocument:",
    "unwrapParagraphs:", "wrapSelectionInCriticComment:", "wrapSelectionInCriticHighlight:",
    "zoomIn:", "zoomOut:", "zoomPreviewIn:", "zoomPreviewOut:", "arrangeInFront:",
    "capitalizeWord:", "centerSelectionInVisibleArea:", "changeCaseOfLetter:", "checkSpelling:",
    "clearRecentDocuments:", "complete:", "copy:", "cut:", "delete:", "deleteBackward:",
    "deleteBackwardByDecomposingPreviousCharacter:", "deleteForward:",
    "deleteToBeginningOfLine:", "deleteToBeginningOfParagraph:", "deleteToEndOfLine:",
    "deleteToEndOfParagraph:", "deleteToMark:", "deleteWordBackward:", "deleteWordForward:",
    "hide:", "hideOtherApplications:", "indent:", "insertTabIgnoringFieldEditor:",
    "insertBacktab:", "insertDoubleQuoteIgnoringSubstitution:", "insertNewline:",
    "insertNewlineIgnoringFieldEditor:", "insertSingleQuoteIgnoringSubstitution:", "insertTab:",
    "insertText:", "lowercaseWord:", "moveBackward:", "moveBackwardAndModifySelection:",
    "moveDown:", "moveDownAndModifySelection:", "moveForward:",
    "moveForwardAndModifySelection:", "moveLeft:", "moveLeftAndModifySelection:",
    "moveParagraphBackwardAndModifySelection:", "moveParagraphForwardAndModifySelection:",
    "moveRight:", "moveRightAndModifySelection:", "moveSelectionToNextParagraph:",
    "moveSelectionToPreviousParagraph:", "moveToBeginningOfDocument:",
    "moveToBeginningOfDocumentAndModifySelection:", "moveToBeginningOfLine:",
    "moveToBeginningOfLineAndModifySelection:", "moveToBeginningOfParagraph:",
    "moveToBeginningOfParagraphAndModifySelection:", "moveToEndOfDocument:",
    "moveToEndOfDocumentAndModifySelection:", "moveToEndOfLineAndModifySelection:",
    "moveToEndOfParagraph:", "moveToEndOfParagraphAndModifySelection:", "moveToLeftEndOfLine:",
    "moveToLeftEndOfLineAndModifySelection:", "moveToRightEndOfLine:",
    "moveToRightEndOfLineAndModifySelection:", "moveUp:", "moveUpAndModifySelection:",
    "moveWordBackward:", "moveWordBackwardAndModifySelection:", "moveWordForward:",
    "moveWordForwardAndModifySelection:", "moveWordLeft:", "moveWordLeftAndModifySelection:",
    "moveWordRight:", "moveWordRightAndModifySelection:", "newDocument:", "newWindowForTab:",
    "openDocument:", "openFolder:", "orderFrontStandardAboutPanel:",
    "orderFrontSubstitutionsPanel:", "pageDown:", "pageDownAndModifySelection:", "pageUp:",
    "pageUpAndModifySelection:", "paste:", "performClose:", "performFindPanelAction:",
    "performMiniaturize:", "performZoom:", "printDocument:", "redo:", "revertDocumentToSaved:",
    "runPageLayout:", "saveAs:", "saveDocument:", "saveDocumentAs:", "saveDocumentTo:",
    "scrollLineDown:", "scrollLineUp:", "scrollPageDown:", "scrollPageUp:",
    "scrollToBeginningOfDocument:", "scrollToEndOfDocument:", "selectAll:", "selectLine:",
    "selectNextTab:", "selectParagraph:", "selectPreviousTab:", "selectToMark:", "selectWord:",
    "setMark:", "showContextHelp:", "showGuessPanel:", "startSpeaking:", "stopSpeaking:",
    "swapWithMark:", "terminate:", "toggleAutomaticDashSubstitution:",
    "toggleAutomaticDataDetection:", "toggleAutomaticLinkDetection:",
    "toggleAutomaticQuoteSubstitution:", "toggleAutomaticSpellingCorrection:",
    "toggleAutomaticTextReplacement:", "toggleContinuousSpellChecking:", "toggleFullScreen:",
    "toggleGrammarChecking:", "toggleSmartInsertDelete:", "toggleTypewriterMode:", "transpose:",
    "transposeWords:", "undo:", "unhideAllApplications:", "uppercaseWord:", "yank:",
    "yankAndSelect:",
};

const QSet<QString> &allowedActions() {
    // Made once, on first use, thread-safely.
    static const QSet<QString> allowed = [] {
        QSet<QString> names;
        for (const char *name : kAllowedActions)
            names.insert(QString::fromLatin1(name));
        return names;
    }();
    return allowed;
}

const QString kInsertText = QStringLiteral("insertText:");

}  // namespace

KVXKeyBindings &KVXKeyBindings::sharedController() {
    static KVXKeyBindings controller;
    return controller;
}

KVXKeyBindings::~KVXKeyBindings() { key_bindings_free(m_table); }

void KVXKeyBindings::setProvider(KeyBindingProvider *provider) {
    m_provider = provider;
    reloadBindings();
}

void KVXKeyBindings::reloadBindings() {
    key_bindings_free(m_table);
    m_table = m_provider ? m_provider->keyBindingStack() : nullptr;
}

bool KVXKeyBindings::isAllowedAction(const QString &action) {
    return allowedActions().contains(action);
}

bool KVXKeyBindings::performActionForKey(char16_t key, quint64 modifiers, SmartTextView *sender) {
    const quint64 kept = modifiers & kKeyModifierMask;
    // Keys without Shift, Control, Option or Command are never looked up:
    // they are the text being typed.
    if (key == 0 || kept == 0)
        return false;
    // Shift-Tab arrives as the back-tab character; bindings name it Tab.
    const int lookedUp = key == 0x19 ? 0x09 : key;
    const key_binding *binding = key_bindings_lookup(m_table, lookedUp, kept);
    const int count = key_binding_action_count(binding);
    if (count < 0 || (binding->single && !key_binding_action_at_index(binding, 0)))
        return false;
    QWidget *first = sender;
    if (binding->single) {
        const QString action = QString::fromUtf8(key_binding_action_at_index(binding, 0));
        if (!isAllowedAction(action))
            return false;
        if (!platform::ActionRouter::sendAction(action, this, first)) {
            qCWarning(lcEditor, "failed %s", qUtf8Printable(action));
            return false;
        }
        return true;
    }
    for (int i = 0; i < count; i++) {
        const char *name = key_binding_action_at_index(binding, size_t(i));
        if (!name)
            continue;
        const QString action = QString::fromUtf8(name);
        if (!isAllowedAction(action))
            continue;
        if (action == kInsertText) {
            // The next item is the text; a list that ends here inserts none.
            if (++i < count) {
                if (const char *text = key_binding_action_at_index(binding, size_t(i)); text && sender)
                    sender->myInsertText(QString::fromUtf8(text));
            }
            continue;
        }
        platform::ActionRouter::sendAction(action, this, first);
    }
    return true;
}

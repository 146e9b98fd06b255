// SmartTextView: construction, the published values, the edit entry points,
// what follows an edit, themes and fonts, undo and redo. Keys and input
// methods are in smart_text_view_keys.cpp, the clipboard, drops and the
// mouse in smart_text_view_drops.cpp, the commands and the action table in
// smart_text_view_commands.cpp, completion in smart_text_view_completion.cpp.
#include "editor/smart_text_view.h"

#include <QMenu>
#include <QMenuBar>
#include <QPalette>

#include <utility>

#include "editor/input/context_menu_controllers.h"
#include "editor/editor_log.h"
#include "editor/input/kvx_key_bindings.h"
#include "editor/view/kvx_layout_manager.h"
#include "editor/view/line_numbers_ruler_view.h"
#include "editor/smart_text_view_routing.h"
#include "editor/smart_undo_manager.h"
#include "platform/prefs/defaults.h"

// --- Construction ------------------------------------------------------------------

SmartTextView::SmartTextView(SmartTextStorage *storage, platform::Defaults *defaults,
                             QWidget *parent)
    : KVXTextView(storage, defaults, parent) {
    configureSelf();
}

SmartTextView::~SmartTextView() = default;

void SmartTextView::configureSelf() {
    applyThemeToView();
    connect(storage(), &SmartTextStorage::themeChanged, this, [this] { applyThemeToView(); });
    defaults().observe({QStringLiteral("defaultFontName"), QStringLiteral("defaultFontSize")},
                       this, [this](const QString &key, const QVariant &) { preferenceChanged(key); });
    setTypedSpace(false);
    m_pendingCompletion.clear();
    updateInformation();
    m_undoManager = std::make_unique<SmartUndoManager>();
    m_undoManager->connectToTextView(this);
    // Built for the first editor; every editor shows the same menu.
    SmartTextContextMenuController::sharedController().contextMenu();
    KVXKeyBindings::sharedController().reloadBindings();
    setAcceptDrops(true);
    connect(this, &QTextEdit::selectionChanged, this, [this] { publishSelectionBuffer(); });
}

// Lines and alignment are the storage's own preferences, which it follows
// and restyles for; only the font waits for the view (the storage has read
// the new name and size by now, having heard of the change first).
void SmartTextView::preferenceChanged(const QString &key) {
    if (key == QLatin1String("defaultFontName") || key == QLatin1String("defaultFontSize"))
        resetDefaultFont();
}

bool SmartTextView::takeTypedSpace() {
    const bool typed = m_typedSpace;
    setTypedSpace(false);
    return typed;
}

void SmartTextView::setTypedSpace(bool typed) {
    if (typed == m_typedSpace)
        return;
    m_typedSpace = typed;
    emit typedSpaceChanged(typed);
}

// --- Edits -----------------------------------------------------------------------------

void SmartTextView::setInitialText(const QString &text) {
    storage()->setInitialText(text);
}

void SmartTextView::replaceCharactersInRange(CharRange range, const QString &text) {
    storage()->replaceCharactersInRange(range, text);
}

bool SmartTextView::replaceCharactersWithCriticNote(CharRange range, const QString &text) {
    return storage()->replaceCharactersWithCriticNote(range, text);
}

void SmartTextView::bulkReplaceCharactersInRange(CharRange range, const QString &text) {
    RoutedEdit routed(this);
    storage()->bulkReplaceCharactersInRange(range, text);
}

void SmartTextView::insertText(const QString &text, std::optional<CharRange> replacementRange) {
    setTypedSpace(text == QLatin1String(" "));
    RoutedEdit routed(this);
    storage()->replaceCharactersInRange(replacementRange.value_or(selectedRange()), text);
}

void SmartTextView::myInsertText(const QString &text) { insertText(text); }

void SmartTextView::deleteBackward() {
    setTypedSpace(false);
    CharRange range = selectedRange();
    if (range.length == 0) {
        // One character as the user sees it: a letter with its accents, an
        // emoji with its parts.
        QTextCursor cursor(document());
        cursor.setPosition(int(range.location));
        cursor.movePosition(QTextCursor::PreviousCharacter, QTextCursor::KeepAnchor);
        range = {cursor.selectionStart(), cursor.selectionEnd() - cursor.selectionStart()};
    }
    if (range.length == 0)
        return;
    // Where a part's end of a long line splits that character, Qt took only
    // its part in the block the caret is in.
    if (const CharRange split = storage()->characterSplitAt(range.location); split.length > 0)
        range = {split.location, range.end() - split.location};
    RoutedEdit routed(this);
    storage()->replaceCharactersInRange(range, QString());
}

int SmartTextView::canEditRange(CharRange range, qsizetype replacementLength) {
    return storage()->canEditRange(range, replacementLength);
}

// --- After an edit ------------------------------------------------------------------------

// The storage tells of every change of its text, whoever made it.
void SmartTextView::textDidChange() {
    if (m_routing > 0)
        adoptCaret();
    KVXTextView::textDidChange();
    updateInformation();
    if (m_owningDocument && !m_restoring)
        m_owningDocument->updateChangeCount(OwningDocument::ChangeKind::Done);
}

void SmartTextView::adoptCaret() {
    if (const std::optional<CharRange> caret = storage()->caretRange())
        setSelectedRange(*caret);
}

void SmartTextView::didChangeSelection() {
    adoptCaret();
    makeCaretVisible();
}

void SmartTextView::didChangeTextOrSelection() { didChangeSelection(); }

void SmartTextView::moveToNewSelection() {
    didChangeSelection();
    centerCaretUsingTarget(true);
}

void SmartTextView::updateInformation() {
    const SmartTextStorage &text = *storage();
    // Each count is stored before any is told.
    const quint64 words = std::exchange(m_wordCount, text.wordCount());
    const quint64 lines = std::exchange(m_lineCount, text.lineCount());
    const quint64 paras = std::exchange(m_paraCount, text.paraCount());
    m_lastEditedRange = selectedRange();
    m_charCount = text.charCount();
    if (words != m_wordCount)
        emit wordCountChanged(m_wordCount);
    if (lines != m_lineCount)
        emit lineCountChanged(m_lineCount);
    if (paras != m_paraCount)
        emit paraCountChanged(m_paraCount);
    emit lastEditedRangeChanged(m_lastEditedRange);
    // Last, and always: the engine bridge renders on it, and reads the rest.
    emit charCountChanged(m_charCount);
}

// --- Themes and fonts ----------------------------------------------------------------------

void SmartTextView::applyThemeFromPath(const QString &path) {
    // The storage restyles the whole text as it loads the theme.
    storage()->applyThemeFromPath(path);
    applyThemeToView();
    layoutManager()->setFont();
    if (LineNumbersRulerView *ruler = verticalRulerView()) {
        ruler->setBackgroundColor(m_themeColors.background);
        ruler->setTextColor(m_themeColors.text);
    }
}

// Qt draws the caret and any text without a colour of its own in one
// colour: the theme's text colour (a caret colour of its own is kept in
// themeColors but not drawn).
void SmartTextView::applyThemeToView() {
    m_themeColors = storage()->viewColors();
    QPalette colours = palette();
    colours.setColor(QPalette::Base, m_themeColors.background);
    colours.setColor(QPalette::Window, m_themeColors.background);
    colours.setColor(QPalette::Text, m_themeColors.text);
    if (m_themeColors.selection)
        colours.setColor(QPalette::Highlight, *m_themeColors.selection);
    colours.setColor(QPalette::HighlightedText, m_themeColors.text);
    setPalette(colours);
}

void SmartTextView::resetDefaultFont() {
    const QString name = defaults().stringForKey(QStringLiteral("defaultFontName"));
    if (!knownFontFamily(name))
        return;
    setDefaultFont(editorBaseFont(name, defaults().doubleForKey(QStringLiteral("defaultFontSize"))));
    storage()->resetDefaultFont();
    layoutManager()->setFont();
}

void SmartTextView::resetFormatting() { storage()->applyHighlighting(); }

// --- Undo ------------------------------------------------------------------------------------

bool SmartTextView::canUndo() const { return storage()->canUndo(); }
bool SmartTextView::canRedo() const { return storage()->canRedo(); }

// The document is clean again only when the text is the saved text: the
// undo history may reach past the save (or a save may have happened inside
// one undo step), and then the text it leaves differs from the file.
void SmartTextView::smartUndo(QObject *) {
    bool undone = false;
    {
        RestoringEdit restoring(this);
        undone = storage()->undo();
    }
    if (!undone)
        return;
    didChangeTextOrSelection();
    tellDocumentAfterRestoring(OwningDocument::ChangeKind::Undone);
}

void SmartTextView::smartRedo(QObject *) {
    bool redone = false;
    {
        RestoringEdit restoring(this);
        redone = storage()->redo();
    }
    if (!redone)
        return;
    tellDocumentAfterRestoring(OwningDocument::ChangeKind::Redone);
    didChangeTextOrSelection();
}

void SmartTextView::tellDocumentAfterRestoring(OwningDocument::ChangeKind kind) {
    if (!m_owningDocument)
        return;
    const QByteArrayView text(storage()->str(), qsizetype(storage()->len()));
    m_owningDocument->updateChangeCount(m_owningDocument->isSavedText(text)
                                           ? OwningDocument::ChangeKind::Cleared
                                           : kind);
}

// --- Menus ------------------------------------------------------------------------------------

void SmartTextView::describeMenuBar(const QMenuBar *menuBar) {
    if (!menuBar)
        return;
    for (const QAction *item : menuBar->actions())
        if (item->menu())
            describeMenu(item->menu());
}

void SmartTextView::describeMenu(const QMenu *menu) {
    for (const QAction *item : menu->actions()) {
        if (item->isSeparator())
            continue;
        if (item->menu())
            describeMenu(item->menu());
        else
            qCInfo(lcEditor, "action %s", qUtf8Printable(platform::ActionRouter::actionOf(item)));
    }
}

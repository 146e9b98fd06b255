// TZRMasterView: the content of one Markdown document window.
//
// It builds the editor (a SmartTextView over the window's own text storage,
// with the info bar under it), the live preview, the table-of-contents,
// references and changes sidebars, the engine bridge and the scroll
// synchroniser, and nests them as panes, outermost first:
//
//   changes sidebar | references sidebar | table of contents | editor | preview
//                                                              info bar
//
// Each sidebar is the fixed-width toggle pane of the pane inside it, the
// preview the toggle pane beside the editor block (sized by the editor's
// share), the info bar a 30-point strip under the editor. Sides and
// visibility come from the preferences when the window is built; the sizes
// the user drags are saved back ("criticWidth", "refWidth", "tocWidth",
// "previewRatio"), and a new window opens at them.
//
// A new window's bridge is blocked until 0.2 s after it was built and its
// preview frozen until 1.0 s after, so that a document opens before any
// rendering starts.
//
// The window's commands (sidebars, preview and info bar, focus, CriticMarkup,
// copies, pastes, blocks and clean-ups) are action methods here, sent by
// name ("toggleTOC:", "cleanupList:" ...) through the action router. Every
// change of the text goes through the editor as one undoable edit.
//
// Closing: the window can go at any time, also while the bridge renders in
// the background: observers are disconnected, timers stopped and the bridge
// let go (its cycle abandons its work) before any view is deleted.
#pragma once

#include <QByteArray>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <array>
#include <memory>
#include <optional>

#include "editor/storage/smart_text_storage.h"
#include "platform/runtime/action_router.h"
#include "window/bridge/left_out_files.h"
#include "window/panes/matryoshka_view.h"

class EngineEditorLink;
class EngineScrollMapSource;
class KVXFilterSidebar;
class KVXTextViewSurface;
class QTextDocument;
class SmartTextInfoView;
class SmartTextView;
class SmartWebView;
class SyncScroller;
class TZRCriticView;
class TZREngine;
class TZRReferenceView;
class TZRTOCView;

namespace windowedits {
struct TextEdit;
enum class PasteForm;
}

class TZRMasterView : public MatryoshkaView, public platform::Responder {
    Q_OBJECT

public:
    // The three sidebars, in the order the commands visit them.
    enum class Sidebar { TableOfContents, References, Changes };

    explicit TZRMasterView(QWidget *parent = nullptr);
    ~TZRMasterView() override;

    // --- For the document ---------------------------------------------------------------

    // Replaces the whole text through the editor (on the main thread, waiting
    // when called from another). With `clearingUndo` the replacement is never
    // undone and the document counts as not edited.
    void setText(const QString &text, bool clearingUndo);
    // The document's file, for transclusion and the preview's relative links;
    // an empty path forgets the file and keeps the folder and base address.
    void setTransclusionPath(const QString &path);
    QByteArray exportToFormat(short format, LeftOutFiles *leftOut = nullptr) const;
    std::optional<QStringList> tzrTags();
    static std::optional<QStringList> tzrTagsFromString(const QString &text);
    void setOkToUpdatePreview(bool ok);
    std::optional<QString> metadataForKey(const QString &key) const;

    SmartTextView *textView() const { return m_textView; }
    SmartWebView *webView() const { return m_webView; }
    SmartTextStorage *textStorage() const { return m_storage.get(); }
    QString textString() const;
    QByteArray textCString() const;
    QTextDocument *textAttributedString() const;
    void setLastUndoTags(quint64 tags);

    // Themes and style sheets by name, from the application's extras
    // (WindowExtras); the defaults are "defaultTheme" and "defaultCSS".
    void applyThemeNamed(const QString &name);
    void applyDefaultTheme();
    void applyCSSNamed(const QString &name);
    void applyDefaultCSS();
    // The background of a sidebar's pane by "appearanceTheme": clear below 2,
    // light grey at 2, the theme's sidebar background above.
    void applyAppearanceToAssistant(QWidget *view);
    void applyAppearanceTheme();

    // --- Parts --------------------------------------------------------------------------

    SmartTextInfoView *infoView() const { return m_infoView; }
    TZRTOCView *tocView() const { return m_tocView; }
    TZRReferenceView *refView() const { return m_refView; }
    TZRCriticView *criticView() const { return m_criticView; }
    TZREngine *engine() const { return m_engine.get(); }
    SyncScroller *syncScroller() const { return m_syncScroller.get(); }
    MatryoshkaView *editorBlock() const { return m_editorBlock; }
    MatryoshkaView *previewPane() const { return m_previewPane; }
    MatryoshkaView *tocPane() const { return m_tocPane; }
    MatryoshkaView *refPane() const { return m_refPane; }
    MatryoshkaView *criticPane() const { return m_criticPane; }
    KVXFilterSidebar *sidebar(Sidebar which) const;
    MatryoshkaView *paneOf(Sidebar which) const;

    bool isSidebarVisible(Sidebar which) const;
    // The sidebar stands right of the editor.
    bool isSidebarOnRight(Sidebar which) const;
    bool isPreviewVisible() const;
    bool isInfoBarVisible() const;

    // --- Commands: sidebars, preview, info bar and focus ----------------------------------

    // Shows a hidden sidebar (hiding any other on its side) or hides a shown
    // one, storing its visibility.
    void toggleSidebar(Sidebar which);
    void toggleTOC() { toggleSidebar(Sidebar::TableOfContents); }
    void toggleRef() { toggleSidebar(Sidebar::References); }
    void toggleCritic() { toggleSidebar(Sidebar::Changes); }
    // The list of a visible sidebar on that side takes the focus.
    void selectLeftSidebar();
    void selectRightSidebar();
    // The editor takes the focus, its caret in view.
    void selectEditor();
    // The visible sidebars change sides (and their side preferences); the
    // preview changes sides for this window only.
    void swapVisiblePanels();
    void swapPreview();
    void togglePreview();
    void toggleInfo();
    void zoomPreviewIn();
    void zoomPreviewOut();
    void refreshPreview();

    // --- Commands: text --------------------------------------------------------------------

    void insertTOC();
    static QString criticMarkupCommentDefault();
    void wrapSelectionInCriticHighlight();
    void wrapSelectionInCriticComment();
    // The selection (or the whole text) converted, onto the pasteboard.
    void copyAsHTML();
    void copyAsLaTeX();
    void copyAsFormat(short format);
    static QString stringFromPasteboard();
    void pasteAsBulletedList();
    void pasteAsEnumeratedList();
    void pasteAsBlockquote();
    void pasteAsTable();
    void pasteAsTableRows();
    // 0 plain, 1 blockquote, 2 bulleted list, 3 enumerated list, 4 fenced code.
    void makeTypeCore(int type);
    void stripMarkers() { makeTypeCore(0); }
    void makeBlockquote() { makeTypeCore(1); }
    void makeBulletedList() { makeTypeCore(2); }
    void makeEnumeratedList() { makeTypeCore(3); }
    void makeFencedBlock() { makeTypeCore(4); }
    // The text engine's clean-up `type` (0 to 9) over the whole lines of
    // `range`, applied as differences only; the selection is kept.
    void cleanupCoreRange(CharRange range, int type);
    // The clean-up commands, each over the range its type calls for.
    void cleanupCommand(int type);

    // --- Actions ----------------------------------------------------------------------------

    bool respondsToAction(const QString &action) const override;
    void performAction(const QString &action, QObject *sender) override;
    // Enables the window's items and marks the toggles of its panes.
    bool validateAction(const QString &action, QAction *item) override;
    // Whether the pane a toggle action ("toggleTOC:", "togglePreview:",
    // "toggleInfo:" ...) shows or hides is shown; nothing for other actions.
    std::optional<bool> toggleState(const QString &action) const;
    // The names of every action this view performs.
    static QStringList actionNames();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    class EditorLink;
    struct ActionEntry;
    static const std::vector<ActionEntry> &actionTable();

    // What each sidebar is to the window: its view and pane, how the view is
    // made and fed, and the preferences it is placed from and saves to.
    struct SidebarPlace {
        Sidebar which;
        const char *paneName;    // the pane's object name
        const char *widthKey;    // its width ("tocWidth")
        const char *visibleKey;  // whether it is shown ("tocIsVisible")
        const char *onRightKey;  // whether it stands right of the editor ("tocOnRight")
        MatryoshkaView *TZRMasterView::*pane;
        KVXFilterSidebar *(*view)(const TZRMasterView &window);
        // Makes the view (a new one, kept in its field).
        KVXFilterSidebar *(*make)(TZRMasterView &window);
        // The view follows the bridge's list for it.
        void (*observeEngine)(const TZRMasterView &window, TZREngine *engine);
    };
    template <class View, View *TZRMasterView::*field>
    struct SidebarSlot;
    // The sidebars in the order they nest, innermost first: the table of
    // contents, the references, the changes.
    static const std::array<SidebarPlace, 3> &sidebarPlaces();
    static const SidebarPlace &placeOf(Sidebar which);

    void configure();
    void configureContentView();
    MatryoshkaView *createContentView();
    QWidget *newEditorView();
    void newWebView();
    void configureEngine();
    void configureSync();
    void applyAppearanceToAssistantTable(KVXFilterSidebar *sidebar);
    void focusSidebarOnSide(quint64 sideBit);
    void observePanes();
    void saveSize(MatryoshkaView *pane);

    CharRange selectedRange() const;
    void pasteAs(windowedits::PasteForm form);
    // Hands an edit to the editor: the replacement, the selection it asks
    // for, and the lists renumbered after when it asks for that.
    void applyEdit(const windowedits::TextEdit &edit);

    std::unique_ptr<SmartTextStorage> m_storage;
    std::unique_ptr<EditorLink> m_link;
    std::unique_ptr<KVXTextViewSurface> m_surface;
    std::unique_ptr<TZREngine> m_engine;
    std::unique_ptr<EngineScrollMapSource> m_scrollSource;
    std::unique_ptr<SyncScroller> m_syncScroller;

    // Views (children, deleted with the content).
    SmartTextView *m_textView = nullptr;
    SmartTextInfoView *m_infoView = nullptr;
    SmartWebView *m_webView = nullptr;
    TZRTOCView *m_tocView = nullptr;
    TZRReferenceView *m_refView = nullptr;
    TZRCriticView *m_criticView = nullptr;
    MatryoshkaView *m_editorBlock = nullptr;
    MatryoshkaView *m_previewPane = nullptr;
    MatryoshkaView *m_tocPane = nullptr;
    MatryoshkaView *m_refPane = nullptr;
    MatryoshkaView *m_criticPane = nullptr;

    // Hidden in its window (a tab not in front), the bridge renders nothing
    // for its views: the cycles it skipped meanwhile (a window opened behind
    // others, another program's change taken in) are made up for with one
    // once it shows again.
    bool m_hiddenInWindow = false;
    bool m_skippedWhileHidden = false;

    QTimer m_enableTimer;  // the bridge's start, 0.2 s after building
    QTimer m_thawTimer;    // the preview's, 1.0 s after
    QList<QMetaObject::Connection> m_connections;
};

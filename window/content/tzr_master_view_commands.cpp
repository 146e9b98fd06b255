// TZRMasterView: the window's commands. Panes, focus and sides here; every
// change of the text is worked out by window_text_edits.h on a copy of the
// text and handed to the editor as one edit.
#include "window/content/tzr_master_view.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>

#include "textengine/transforms/cleanup.h"
#include "library/d_string.h"
#include "editor/smart_text_view.h"
#include "platform/prefs/defaults.h"
#include "platform/text/pasteboard.h"
#include "library/tzr.h"
#include "window/sidebars/kvx_filter_sidebar.h"
#include "window/sidebars/smart_text_info_view.h"
#include "window/preview/smart_web_view.h"
#include "window/bridge/tzr_engine.h"
#include "window/bridge/tzr_engine_core.h"
#include "window/content/window_text_edits.h"

using platform::Defaults;
using windowedits::TextEdit;

namespace {

// Side bits of a pane: where its permanent view stands.
constexpr quint64 kPermanentLeft = 0x01;
constexpr quint64 kPermanentRight = 0x02;

// Opens or collapses a sidebar's pane at once.
void setSidebarPaneOpen(MatryoshkaView *pane, bool open) {
    pane->setDividerThickness(open ? pane->dividerThickness() : 0);
    pane->adjustFixedDimension(open ? pane->fixedTarget() : 0, false);
}

}  // namespace

// --- Sidebars, preview and info bar ---------------------------------------------------------------

bool TZRMasterView::isSidebarVisible(Sidebar which) const {
    const KVXFilterSidebar *view = sidebar(which);
    return view && !view->isHidden();
}

bool TZRMasterView::isSidebarOnRight(Sidebar which) const {
    return paneOf(which)->extensions() & kPermanentLeft;
}

bool TZRMasterView::isPreviewVisible() const { return m_webView && !m_webView->isHidden(); }
bool TZRMasterView::isInfoBarVisible() const { return m_infoView && !m_infoView->isHidden(); }

void TZRMasterView::toggleSidebar(Sidebar which) {
    Defaults &defaults = Defaults::standard();
    MatryoshkaView *pane = paneOf(which);
    const bool wasHidden = !isSidebarVisible(which);
    if (wasHidden) {
        // One sidebar on each side: another shown on this side gives way.
        const quint64 sides = pane->extensions();
        for (const SidebarPlace &place : sidebarPlaces()) {
            const Sidebar other = place.which;
            if (other == which || !isSidebarVisible(other))
                continue;
            const quint64 otherSides = paneOf(other)->extensions();
            const bool sameSide = ((sides & kPermanentLeft) && (otherSides & kPermanentLeft)) ||
                                  (!(sides & kPermanentLeft) && (otherSides & kPermanentRight));
            if (sameSide) {
                if (sidebar(other)->listView()->hasFocus())
                    selectEditor();
                setSidebarPaneOpen(paneOf(other), false);
                defaults.setBool(false, QLatin1String(place.visibleKey));
            }
        }
        defaults.setBool(true, QLatin1String(placeOf(which).visibleKey));
        setSidebarPaneOpen(pane, true);
        // The bridge builds no list for a hidden sidebar: ask for one now.
        m_engine->updateData(std::nullopt);
    } else {
        defaults.setBool(false, QLatin1String(placeOf(which).visibleKey));
        if (sidebar(which)->listView()->hasFocus())
            selectEditor();
        setSidebarPaneOpen(pane, false);
    }
}

void TZRMasterView::selectLeftSidebar() { focusSidebarOnSide(kPermanentRight); }

void TZRMasterView::selectRightSidebar() { focusSidebarOnSide(kPermanentLeft); }

// The visible sidebars whose pane has `sideBit`, in order: the last takes
// the focus.
void TZRMasterView::focusSidebarOnSide(quint64 sideBit) {
    for (const SidebarPlace &place : sidebarPlaces())
        if (isSidebarVisible(place.which) && (this->*place.pane)->extensions() & sideBit)
            place.view(*this)->listView()->setFocus(Qt::OtherFocusReason);
}

void TZRMasterView::selectEditor() {
    m_textView->setFocus(Qt::OtherFocusReason);
    m_textView->locateOnCaret();
}

void TZRMasterView::swapVisiblePanels() {
    Defaults &defaults = Defaults::standard();
    for (Sidebar which : {Sidebar::References, Sidebar::TableOfContents, Sidebar::Changes}) {
        if (!isSidebarVisible(which))
            continue;
        paneOf(which)->swapViews();
        const QString key = QLatin1String(placeOf(which).onRightKey);
        defaults.setBool(!defaults.boolForKey(key), key);
    }
}

void TZRMasterView::swapPreview() { m_previewPane->swapViews(); }

void TZRMasterView::togglePreview() {
    if (m_previewPane->isAdjusting())
        return;
    // The preview's page stays as it is while hidden, laid out at the
    // preview's open size (see setToggleViewKeepsOpenSize()): showing it
    // again puts in only what changed meanwhile, through the preview's
    // usual changes, rather than building a whole page again beside the
    // one it holds.
    if (isPreviewVisible()) {
        m_previewPane->adjustRatio(1.0, true);
        m_previewPane->setDividerThickness(0);
    } else {
        m_previewPane->setDividerThickness(m_previewPane->dividerThickness());
        m_previewPane->adjustRatio(m_previewPane->ratioTarget(), true);
        // Fresh HTML with the caret's place: the edits made while hidden,
        // and the page put where the editor is.
        const CharRange selection = selectedRange();
        m_engine->updateData(platform::TextRange{selection.location, selection.length});
    }
}

void TZRMasterView::toggleInfo() {
    if (m_editorBlock->isAdjusting())
        return;
    const bool wasHidden = !isInfoBarVisible();
    m_editorBlock->toggleViewWithAnimation(true);
    Defaults::standard().setBool(wasHidden, QStringLiteral("showInfoBar"));
    m_textView->refreshLayout();
}

void TZRMasterView::zoomPreviewIn() { m_webView->zoomIn(); }
void TZRMasterView::zoomPreviewOut() { m_webView->zoomOut(); }
void TZRMasterView::refreshPreview() { m_webView->refreshPreview(); }

// --- Text -------------------------------------------------------------------------------------

CharRange TZRMasterView::selectedRange() const {
    // Clamped, so that no command ever works past the end of the text.
    const CharRange selection = m_textView->selectedRange();
    const qsizetype length = m_storage->length();
    const qsizetype location = qBound<qsizetype>(0, selection.location, length);
    return {location, qBound<qsizetype>(0, selection.length, length - location)};
}

void TZRMasterView::applyEdit(const TextEdit &requested) {
    const TextEdit edit = windowedits::withListsRenumbered(m_storage->string(), requested, TZREngine::extensions(),
                                                           languagePreference());
    if (edit.differencesOnly) {
        // Only what differs changes: the selection stays on its text.
        if (!edit.selection)
            m_textView->saveSelection();
        m_textView->bulkReplaceCharactersInRange(edit.range, edit.text);
        if (!edit.selection)
            m_textView->restoreSelection();
    } else if (edit.criticNote) {
        // Refused (change tracking allows no edit there): the selection
        // stays where it was.
        if (!m_textView->replaceCharactersWithCriticNote(edit.range, edit.text))
            return;
    } else {
        m_textView->replaceCharactersInRange(edit.range, edit.text);
    }
    if (edit.selection)
        m_textView->setSelectedRange(*edit.selection);
}

void TZRMasterView::insertTOC() { applyEdit(windowedits::insertTOC(m_storage->string(), selectedRange())); }

QString TZRMasterView::criticMarkupCommentDefault() {
    return windowedits::criticMarkupCommentDefault(Defaults::standard());
}

void TZRMasterView::wrapSelectionInCriticHighlight() {
    applyEdit(windowedits::wrapInCriticHighlight(m_storage->string(), selectedRange(), criticMarkupCommentDefault()));
}

void TZRMasterView::wrapSelectionInCriticComment() {
    applyEdit(windowedits::wrapInCriticComment(m_storage->string(), selectedRange(), criticMarkupCommentDefault()));
}

void TZRMasterView::copyAsHTML() { copyAsFormat(0); }
void TZRMasterView::copyAsLaTeX() { copyAsFormat(2); }

void TZRMasterView::copyAsFormat(short format) {
    CharRange range = selectedRange();
    if (range.length == 0)
        range = {0, m_storage->length()};
    const QByteArray text = m_storage->string().mid(range.location, range.length).toUtf8();
    DString *source = d_string_new("");
    d_string_append_c_array(source, text.constData(), size_t(text.size()));
    m_engine->prepareSource(source, format, TZREngine::extensions());
    tzr_engine *e = TZREngine::createEngine(source);
    if (!e) {
        d_string_free(source, true);
        return;
    }
    DString *out = tzr_engine_convert_to_data(e, uint16_t(format), nullptr);
    m_textView->stringToPasteboard(out ? QString::fromUtf8(out->str, qsizetype(out->length)) : QString());
    tzr_engine_free(e, false);
    d_string_free(source, true);
    d_string_free(out, true);
}

QString TZRMasterView::stringFromPasteboard() { return platform::Pasteboard::string().value_or(QString()); }

void TZRMasterView::pasteAs(windowedits::PasteForm form) {
    applyEdit(windowedits::pasteAs(m_storage->string(), selectedRange(), form, stringFromPasteboard()));
}

void TZRMasterView::pasteAsBulletedList() { pasteAs(windowedits::PasteForm::BulletedList); }
void TZRMasterView::pasteAsEnumeratedList() { pasteAs(windowedits::PasteForm::EnumeratedList); }
void TZRMasterView::pasteAsBlockquote() { pasteAs(windowedits::PasteForm::Blockquote); }
void TZRMasterView::pasteAsTable() { pasteAs(windowedits::PasteForm::Table); }
void TZRMasterView::pasteAsTableRows() { pasteAs(windowedits::PasteForm::TableRows); }

void TZRMasterView::makeTypeCore(int type) { applyEdit(windowedits::makeBlock(m_storage->string(), selectedRange(), type)); }

void TZRMasterView::cleanupCoreRange(CharRange range, int type) {
    const QByteArray utf8(m_storage->str(), qsizetype(m_storage->len()));
    const std::optional<TextEdit> edit =
        windowedits::cleanup(utf8, m_storage->length(), range, type, TZREngine::extensions(), languagePreference(),
                             Defaults::standard().integerForKey(QStringLiteral("tzrListMarker")));
    if (edit)
        applyEdit(*edit);
}

void TZRMasterView::cleanupCommand(int type) {
    cleanupCoreRange(windowedits::cleanupRangeForCommand(type, selectedRange(), m_storage->length()), type);
}

// --- Actions ----------------------------------------------------------------------------------

struct TZRMasterView::ActionEntry {
    const char *name;
    void (*perform)(TZRMasterView &view);
};

const std::vector<TZRMasterView::ActionEntry> &TZRMasterView::actionTable() {
    using V = TZRMasterView;
    static const std::vector<ActionEntry> table = {
        {"toggleTOC:", [](V &v) { v.toggleTOC(); }},
        {"toggleRef:", [](V &v) { v.toggleRef(); }},
        {"toggleCritic:", [](V &v) { v.toggleCritic(); }},
        {"selectLeftSidebar:", [](V &v) { v.selectLeftSidebar(); }},
        {"selectRightSidebar:", [](V &v) { v.selectRightSidebar(); }},
        {"selectEditor:", [](V &v) { v.selectEditor(); }},
        {"swapVisiblePanels:", [](V &v) { v.swapVisiblePanels(); }},
        {"swapPreview:", [](V &v) { v.swapPreview(); }},
        {"togglePreview:", [](V &v) { v.togglePreview(); }},
        {"toggleInfo:", [](V &v) { v.toggleInfo(); }},
        {"zoomPreviewIn:", [](V &v) { v.zoomPreviewIn(); }},
        {"zoomPreviewOut:", [](V &v) { v.zoomPreviewOut(); }},
        {"refreshPreview:", [](V &v) { v.refreshPreview(); }},
        {"performFindPanelAction:", [](V &v) { v.textView()->performAction(QStringLiteral("performFindPanelAction:"), &v); }},
        {"insertTOC:", [](V &v) { v.insertTOC(); }},
        {"wrapSelectionInCriticHighlight:", [](V &v) { v.wrapSelectionInCriticHighlight(); }},
        {"wrapSelectionInCriticComment:", [](V &v) { v.wrapSelectionInCriticComment(); }},
        {"copyAsHTML:", [](V &v) { v.copyAsHTML(); }},
        {"copyAsLaTeX:", [](V &v) { v.copyAsLaTeX(); }},
        {"pasteAsBulletedList:", [](V &v) { v.pasteAsBulletedList(); }},
        {"pasteAsEnumeratedList:", [](V &v) { v.pasteAsEnumeratedList(); }},
        {"pasteAsBlockquote:", [](V &v) { v.pasteAsBlockquote(); }},
        {"pasteAsTable:", [](V &v) { v.pasteAsTable(); }},
        {"pasteAsTableRows:", [](V &v) { v.pasteAsTableRows(); }},
        {"stripMarkers:", [](V &v) { v.stripMarkers(); }},
        {"makeBlockquote:", [](V &v) { v.makeBlockquote(); }},
        {"makeBulletedList:", [](V &v) { v.makeBulletedList(); }},
        {"makeEnumeratedList:", [](V &v) { v.makeEnumeratedList(); }},
        {"makeFencedBlock:", [](V &v) { v.makeFencedBlock(); }},
        {"cleanupList:", [](V &v) { v.cleanupCommand(0); }},
        {"unwrapParagraphs:", [](V &v) { v.cleanupCommand(1); }},
        {"cleanupHTMLEntities:", [](V &v) { v.cleanupCommand(2); }},
        {"cleanupSmartTypography:", [](V &v) { v.cleanupCommand(3); }},
        {"cleanupMetadata:", [](V &v) { v.cleanupCommand(4); }},
        {"cleanupTables:", [](V &v) { v.cleanupCommand(5); }},
        {"cleanupFull:", [](V &v) { v.cleanupCommand(6); }},
        {"toggleList:", [](V &v) { v.cleanupCommand(7); }},
        {"toggleListIndentToSpace:", [](V &v) { v.cleanupCommand(8); }},
        {"toggleListIndentToTab:", [](V &v) { v.cleanupCommand(9); }},
    };
    return table;
}

QStringList TZRMasterView::actionNames() {
    QStringList names;
    for (const ActionEntry &entry : actionTable())
        names << QLatin1String(entry.name);
    return names;
}

bool TZRMasterView::respondsToAction(const QString &action) const {
    for (const ActionEntry &entry : actionTable())
        if (action == QLatin1String(entry.name))
            return true;
    return false;
}

void TZRMasterView::performAction(const QString &action, QObject *) {
    for (const ActionEntry &entry : actionTable())
        if (action == QLatin1String(entry.name))
            return entry.perform(*this);
}

std::optional<bool> TZRMasterView::toggleState(const QString &action) const {
    // On screen: not hidden, its pane not collapsed, and (once laid out,
    // with no animation running) not squeezed to nothing by a neighbour that
    // a divider's drag widened. While an animation runs, where it goes.
    const auto onScreen = [](const QWidget *view, const MatryoshkaView *pane, bool open, bool across) {
        if (!view || !pane || view->isHidden() || !open)
            return false;
        if (pane->isAdjusting() || !view->isVisible())
            return true;
        return (across ? view->width() : view->height()) > 0;
    };
    const auto sidebarState = [&](Sidebar which) {
        const MatryoshkaView *pane = paneOf(which);
        return onScreen(sidebar(which), pane, pane->currentSize() > 0, true);
    };
    if (action == QLatin1String("toggleTOC:"))
        return sidebarState(Sidebar::TableOfContents);
    if (action == QLatin1String("toggleRef:"))
        return sidebarState(Sidebar::References);
    if (action == QLatin1String("toggleCritic:"))
        return sidebarState(Sidebar::Changes);
    if (action == QLatin1String("togglePreview:"))
        return onScreen(m_webView, m_previewPane, m_previewPane && m_previewPane->currentRatio() != 1.0, true);
    if (action == QLatin1String("toggleInfo:"))
        return onScreen(m_infoView, m_editorBlock, m_editorBlock && m_editorBlock->currentSize() > 0, false);
    return std::nullopt;
}

bool TZRMasterView::validateAction(const QString &action, QAction *item) {
    if (!m_textView)
        return false;
    // The item of a pane's toggle is marked as the pane stands: a key, a
    // drag or a preference may have changed it since the menu last showed.
    if (const std::optional<bool> shown = toggleState(action); shown && item) {
        item->setCheckable(true);
        item->setChecked(*shown);
    }
    return true;
}

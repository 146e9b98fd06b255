// TZRTOCView: the table of contents of a document window. It shows the
// headings the engine bridge publishes as a tree, selects the heading whose
// section holds the editor's caret, centres a heading the user selects in
// the editor, puts the caret on it on double-click, Return or Enter,
// filters headings by the search text, and moves whole sections when
// headings are dragged within the tree (a heading dragged into the text
// lands there as a reference link, "[title][id]").
//
// The tree shows a shadow of the headings (label, shortcut, level and
// children only); the headings themselves, with their offsets, are kept
// apart (fullData()) in the same shape, so an index path of the tree is one
// into them too. A new list whose shadow equals the tree's only refreshes
// the offsets: expansion and selection stay. The shadow is built and
// compared on a background thread.
//
// New lists come at most every 2.0 s (the newest waiting one is shown when
// the pause ends); lists that arrive while the sidebar is hidden are
// dropped.
//
// Moving sections acts only on headings of the editor text as it is now: a
// list built before the last edit, or from a text prepared otherwise than
// the editor's (header text, transclusion), moves nothing.
#pragma once

#include <optional>

#include "window/sidebars/sidebar_rows.h"
#include "window/sidebars/kvx_filter_outline_view.h"
#include "window/sidebars/sidebar_update_coalescer.h"

class TZREngine;

class TZRTOCView : public KVXFilterOutlineView {
    Q_OBJECT

public:
    static const QString kTOCDragType;  // "TZRToCOutlineDragType"

    explicit TZRTOCView(Form form = Form::Window, QWidget *parent = nullptr);
    ~TZRTOCView() override;

    // Shows the engine's "headers" from now on (filtered by the search text).
    void observeEngine(TZREngine *engine);
    TZREngine *engine() const;

    // Links the editor and follows its caret.
    void connectToTextView(KVXTextView *view) override;

    // --- Updates ------------------------------------------------------------------------

    // Shows `headers` now, or when the pause ends; see above.
    void updateData(const HeaderList &headers);
    // Asks the engine for its headings filtered by the search text.
    void updateData() override;
    void resumeUpdating();
    bool isUpdating() const { return m_coalescer.isUpdating(); }
    SidebarUpdateCoalescer<HeaderList> &coalescer() { return m_coalescer; }

    // The headings shown, with their offsets.
    const HeaderList &fullData() const { return m_fullData; }
    // The tree's form of `rows`: "label", "shortcut", "level" and, for rows
    // that have some, "children".
    static QVariantList shadowDataForData(const QList<HeaderRow> &rows);

    // --- Caret and selection -------------------------------------------------------------

    // Selects the heading whose section holds the start of the caret's line
    // (unless the sidebar is hidden or a search text is set).
    void selectCurrentToCEntry();
    // The path of the deepest row whose section ("start" to "end") holds
    // `location`; nothing when none does.
    static std::optional<IndexPath> pathForLocation(qsizetype location, const QList<HeaderRow> &rows,
                                                    const IndexPath &path = {});
    // The row at `path` from `depth` on; null when the path leads nowhere.
    static const HeaderRow *childForPath(const IndexPath &path, const QList<HeaderRow> &rows, int depth = 0);
    // The heading last selected, by the user or by following the caret.
    std::optional<IndexPath> lastSelectionIndexPath() const { return m_lastSelectionIndexPath; }
    const HeaderRow *selectedFullObject() const;
    // Centres the selected heading's section in the editor.
    void scrollToPath();
    void scrollToObject(const HeaderRow *row);
    // Puts the caret at the selected heading and gives the editor the focus.
    void actOnTableRow(int row) override;

    // --- Moving sections ------------------------------------------------------------------

    // `rows` without those that lie inside another of them.
    static QList<HeaderRow> arrayWithoutAnyDescendantsFromArray(const QList<HeaderRow> &rows);

protected:
    QString pasteboardTextForItem(const SidebarRow &row) const override;
    QString dragType() const override { return kTOCDragType; }
    bool acceptDrop(const QMimeData *data, const std::optional<IndexPath> &item, int childIndex) override;
    void controlTextDidChange(const QString &text) override;
    void clearContent() override;

private:
    HeaderList filtered(const HeaderList &headers) const;
    void showShadow(const HeaderList &headers, const QVariantList &shadow, bool sameShadow);
    void userSelectionChanged();
    void selectQuietly(const std::function<void()> &select);

    QPointer<TZREngine> m_engine;
    QMetaObject::Connection m_engineConnection;
    SidebarUpdateCoalescer<HeaderList> m_coalescer;
    std::optional<IndexPath> m_lastSelectionIndexPath;
    HeaderList m_fullData;
    quint64 m_updateTicket = 0;

    // Set while the caret's heading is being selected (one for all tables
    // of contents): such a selection does not scroll the editor.
    static bool m_followingCaret;
};

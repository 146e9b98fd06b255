// KVXFilterOutlineView: a sidebar tree. Its content is a tree of rows
// (sidebar_row_model.h, "children" nesting them), sorted by "label" ignoring
// case unless a subclass chooses another key or none. Rows are found by
// index paths into the tree as shown.
//
// The tree keeps what the user opened: expandedItems() names the open rows
// by a key that survives new content (the labels from the top down to the
// row, unless a subclass keys rows otherwise), and expandItemsInHash() opens
// them again.
//
// The search text is only recorded here; each subclass filters its tree in
// its own way. Rows can be dragged: a drag carries the rows' labels as text
// and the format "KVXOutlineDragType"; a drop onto the tree is accepted and
// does nothing unless a subclass gives it a meaning.
#pragma once

#include <QSet>
#include <QVariantList>

#include <optional>

#include "window/sidebars/kvx_filter_sidebar.h"
#include "window/sidebars/sidebar_row_model.h"

class KVXOutlineView;
class QMimeData;

class KVXFilterOutlineView : public KVXFilterSidebar {
    Q_OBJECT

public:
    static const QString kOutlineDragType;  // "KVXOutlineDragType"

    explicit KVXFilterOutlineView(Form form = Form::Window, QWidget *parent = nullptr);
    ~KVXFilterOutlineView() override;

    KVXOutlineView *tableView() const { return m_outlineView; }
    SidebarRowModel *treeModel() const { return m_model; }

    // --- Content ----------------------------------------------------------------------

    // Replaces the tree (sorted by the sort key); selection and expansion go.
    void setTreeControllerContent(const QVariantList &rows);
    const QVariantList &treeContent() const { return m_model->rows(); }
    void setSortKey(const QString &key) { m_sortKey = key; }
    QString sortKey() const { return m_sortKey; }
    // The search text as last recorded (the subclasses filter by it).
    QString filterText() const { return m_filterText; }

    // --- Expansion ----------------------------------------------------------------------

    void expandAll();
    void collapseAll();
    // The keys of the open rows.
    QSet<QString> expandedItems() const;
    // Opens every row whose key is in `keys` (a row inside a closed one only
    // when that one opens too).
    void expandItemsInHash(const QSet<QString> &keys);

    // --- Finding rows --------------------------------------------------------------------

    std::optional<IndexPath> indexPathOfObject(const SidebarRow &row) const;
    std::optional<SidebarRow> parentOfObject(const SidebarRow &row) const;
    std::optional<SidebarRow> objectAtPath(const IndexPath &path) const;

    // --- Selection ----------------------------------------------------------------------

    // The first selected row's path (in tree order); nothing when none is.
    std::optional<IndexPath> selectionIndexPath() const;
    QList<IndexPath> selectionIndexPaths() const;  // in tree order
    QList<SidebarRow> selectedObjects() const;
    // Selects exactly these rows (paths that lead nowhere are left out) and
    // brings the first into view.
    void setSelectionIndexPaths(const QList<IndexPath> &paths);
    void setSelectionIndexPath(const IndexPath &path) { setSelectionIndexPaths({path}); }

    // The paths of the rows being dragged (empty outside a drag).
    const QList<IndexPath> &draggedNodes() const { return m_draggedNodes; }

signals:
    // The selected rows changed.
    void selectionIndexPathChanged();

protected:
    // The key a row is remembered by while it is open.
    virtual QString expansionKey(const SidebarRow &row, const QStringList &labelPath) const;

    // What a drag of these rows carries: the text (rows' pasteboard texts on
    // lines of their own) and the drag format.
    virtual QString pasteboardTextForItem(const SidebarRow &row) const;
    virtual QString dragType() const { return kOutlineDragType; }
    // The formats a drop may carry.
    void setDropTypes(const QStringList &types);
    // A drop of the dragged rows onto `item` (none: the top) before its
    // child `childIndex` (-1: onto the item itself). Accepted, with no
    // effect, here.
    virtual bool acceptDrop(const QMimeData *data, const std::optional<IndexPath> &item, int childIndex);

    void controlTextDidChange(const QString &text) override;
    void clearContent() override { setTreeControllerContent({}); }

private:
    QMimeData *dragData(const QList<IndexPath> &paths);

    KVXOutlineView *m_outlineView = nullptr;
    SidebarRowModel *m_model = nullptr;
    QString m_sortKey;
    QString m_filterText;
    QList<IndexPath> m_draggedNodes;
    QStringList m_dropTypes;
};

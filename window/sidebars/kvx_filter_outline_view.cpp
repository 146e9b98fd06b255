#include "window/sidebars/kvx_filter_outline_view.h"

#include <QItemSelectionModel>
#include <QMimeData>

#include <algorithm>
#include <functional>

#include "window/sidebars/kvx_list_views.h"
#include "window/window_log.h"

const QString KVXFilterOutlineView::kOutlineDragType = QStringLiteral("KVXOutlineDragType");

namespace {

// Visits the rows under `parent`, depth first, each with the labels from the
// top down to it; `into` says whether to go into a row's children.
void visitRows(const SidebarRowModel *model, const QModelIndex &parent, QStringList &labels,
               const std::function<bool(const QModelIndex &, const QStringList &)> &into) {
    for (int i = 0; i < model->rowCount(parent); i++) {
        const QModelIndex index = model->index(i, 0, parent);
        labels.append(rowLabel(model->rowAt(index)));
        if (into(index, labels))
            visitRows(model, index, labels, into);
        labels.removeLast();
    }
}

}  // namespace

KVXFilterOutlineView::KVXFilterOutlineView(Form form, QWidget *parent)
    : KVXFilterSidebar(form, parent), m_sortKey(QStringLiteral("label")) {
    m_model = new SidebarRowModel(this);
    setDropTypes({kOutlineDragType});
    m_outlineView = new KVXOutlineView;
    m_outlineView->setModel(m_model);
    m_outlineView->setDragEnabled(true);
    m_outlineView->setAcceptDrops(true);
    m_outlineView->setDropIndicatorShown(true);
    m_outlineView->setDragDropMode(QAbstractItemView::DragDrop);
    m_outlineView->setDefaultDropAction(Qt::MoveAction);
    connect(m_outlineView, &KVXOutlineView::dragFinished, this, [this] { m_draggedNodes.clear(); });
    connect(m_outlineView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &KVXFilterOutlineView::selectionIndexPathChanged);
    setUpList(m_outlineView, m_outlineView);
    setTreeControllerContent(placeholderRows());
    layOutListAboveSearchField();
}

KVXFilterOutlineView::~KVXFilterOutlineView() = default;

void KVXFilterOutlineView::setTreeControllerContent(const QVariantList &rows) {
    m_model->setRows(sortedRows(rows, m_sortKey));
}

void KVXFilterOutlineView::controlTextDidChange(const QString &text) {
    qCInfo(lcWindow, "need to subclass controlTextDidChange");
    m_filterText = text;
}

// --- Expansion ----------------------------------------------------------------------------------

void KVXFilterOutlineView::expandAll() { m_outlineView->expandAll(); }

void KVXFilterOutlineView::collapseAll() { m_outlineView->collapseAll(); }

QString KVXFilterOutlineView::expansionKey(const SidebarRow &, const QStringList &labelPath) const {
    // Labels hold any character but the ones that cannot be typed.
    return labelPath.join(QChar(0x1F));
}

QSet<QString> KVXFilterOutlineView::expandedItems() const {
    QSet<QString> keys;
    QStringList labels;
    visitRows(m_model, {}, labels, [&](const QModelIndex &index, const QStringList &path) {
        if (!m_outlineView->isExpanded(index))
            return false;
        keys.insert(expansionKey(m_model->rowAt(index), path));
        return true;
    });
    return keys;
}

void KVXFilterOutlineView::expandItemsInHash(const QSet<QString> &keys) {
    if (keys.isEmpty())
        return;
    QStringList labels;
    visitRows(m_model, {}, labels, [&](const QModelIndex &index, const QStringList &path) {
        if (!keys.contains(expansionKey(m_model->rowAt(index), path)))
            return false;
        m_outlineView->expand(index);
        return true;
    });
}

// --- Finding rows --------------------------------------------------------------------------------

std::optional<IndexPath> KVXFilterOutlineView::indexPathOfObject(const SidebarRow &row) const {
    return ::indexPathOfObject(m_model->rows(), row);
}

std::optional<SidebarRow> KVXFilterOutlineView::parentOfObject(const SidebarRow &row) const {
    return ::parentOfObject(m_model->rows(), row);
}

std::optional<SidebarRow> KVXFilterOutlineView::objectAtPath(const IndexPath &path) const {
    return rowAtPath(m_model->rows(), path);
}

// --- Selection ----------------------------------------------------------------------------------

QList<IndexPath> KVXFilterOutlineView::selectionIndexPaths() const {
    QList<IndexPath> paths;
    for (const QModelIndex &index : m_outlineView->selectionModel()->selectedRows())
        paths.append(m_model->pathForIndex(index));
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::optional<IndexPath> KVXFilterOutlineView::selectionIndexPath() const {
    const QList<IndexPath> paths = selectionIndexPaths();
    if (paths.isEmpty())
        return std::nullopt;
    return paths.first();
}

QList<SidebarRow> KVXFilterOutlineView::selectedObjects() const {
    QList<SidebarRow> rows;
    for (const IndexPath &path : selectionIndexPaths())
        if (auto row = objectAtPath(path))
            rows.append(*row);
    return rows;
}

void KVXFilterOutlineView::setSelectionIndexPaths(const QList<IndexPath> &paths) {
    QItemSelection selection;
    QModelIndex first;
    for (const IndexPath &path : paths) {
        const QModelIndex index = m_model->indexForPath(path);
        if (!index.isValid())
            continue;
        selection.select(index, index);
        if (!first.isValid())
            first = index;
    }
    QItemSelectionModel *model = m_outlineView->selectionModel();
    model->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (!first.isValid())
        return;
    model->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    // Into view when it is shown; a row inside a closed one stays closed.
    for (QModelIndex parent = first.parent(); parent.isValid(); parent = parent.parent())
        if (!m_outlineView->isExpanded(parent))
            return;
    m_outlineView->scrollTo(first);
}

// --- Dragging -----------------------------------------------------------------------------------

QMimeData *KVXFilterOutlineView::dragData(const QList<IndexPath> &paths) {
    m_draggedNodes = paths;
    QStringList texts;
    for (const IndexPath &path : paths)
        if (auto row = objectAtPath(path))
            texts.append(pasteboardTextForItem(*row));
    auto *data = new QMimeData;
    data->setText(texts.join(QLatin1Char('\n')));
    data->setData(dragType(), QByteArray());
    return data;
}

QString KVXFilterOutlineView::pasteboardTextForItem(const SidebarRow &row) const { return rowLabel(row); }

void KVXFilterOutlineView::setDropTypes(const QStringList &types) {
    m_dropTypes = types;
    m_model->setDragHooks({[this](const QList<IndexPath> &paths) { return dragData(paths); }, m_dropTypes,
                          [this](const QMimeData *data, const std::optional<IndexPath> &item, int childIndex) {
                              return acceptDrop(data, item, childIndex);
                          }});
}

bool KVXFilterOutlineView::acceptDrop(const QMimeData *, const std::optional<IndexPath> &, int) { return true; }

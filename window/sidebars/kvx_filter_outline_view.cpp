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
    : KVXFilterSidebar(form, parent), sortKey_(QStringLiteral("label")) {
    model_ = new SidebarRowModel(this);
    setDropTypes({kOutlineDragType});
    outlineView_ = new KVXOutlineView;
    outlineView_->setModel(model_);
    outlineView_->setDragEnabled(true);
    outlineView_->setAcceptDrops(true);
    outlineView_->setDropIndicatorShown(true);
    outlineView_->setDragDropMode(QAbstractItemView::DragDrop);
    outlineView_->setDefaultDropAction(Qt::MoveAction);
    outlineView_->onDragFinished = [this] { draggedNodes_.clear(); };
    connect(outlineView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &KVXFilterOutlineView::selectionIndexPathChanged);
    setUpList(outlineView_, outlineView_);
    setTreeControllerContent(placeholderRows());
    layOutListAboveSearchField();
}

KVXFilterOutlineView::~KVXFilterOutlineView() = default;

void KVXFilterOutlineView::setTreeControllerContent(const QVariantList &rows) {
    model_->setRows(sortedRows(rows, sortKey_));
}

void KVXFilterOutlineView::controlTextDidChange(const QString &text) {
    qCInfo(lcWindow, "need to subclass controlTextDidChange");
    filterText_ = text;
}

// --- Expansion ----------------------------------------------------------------------------------

void KVXFilterOutlineView::expandAll() { outlineView_->expandAll(); }

void KVXFilterOutlineView::collapseAll() { outlineView_->collapseAll(); }

QString KVXFilterOutlineView::expansionKey(const SidebarRow &, const QStringList &labelPath) const {
    // Labels hold any character but the ones that cannot be typed.
    return labelPath.join(QChar(0x1F));
}

QSet<QString> KVXFilterOutlineView::expandedItems() const {
    QSet<QString> keys;
    QStringList labels;
    visitRows(model_, {}, labels, [&](const QModelIndex &index, const QStringList &path) {
        if (!outlineView_->isExpanded(index))
            return false;
        keys.insert(expansionKey(model_->rowAt(index), path));
        return true;
    });
    return keys;
}

void KVXFilterOutlineView::expandItemsInHash(const QSet<QString> &keys) {
    if (keys.isEmpty())
        return;
    QStringList labels;
    visitRows(model_, {}, labels, [&](const QModelIndex &index, const QStringList &path) {
        if (!keys.contains(expansionKey(model_->rowAt(index), path)))
            return false;
        outlineView_->expand(index);
        return true;
    });
}

// --- Finding rows --------------------------------------------------------------------------------

std::optional<IndexPath> KVXFilterOutlineView::indexPathOfObject(const SidebarRow &row) const {
    return ::indexPathOfObject(model_->rows(), row);
}

std::optional<SidebarRow> KVXFilterOutlineView::parentOfObject(const SidebarRow &row) const {
    return ::parentOfObject(model_->rows(), row);
}

std::optional<SidebarRow> KVXFilterOutlineView::objectAtPath(const IndexPath &path) const {
    return rowAtPath(model_->rows(), path);
}

// --- Selection ----------------------------------------------------------------------------------

QList<IndexPath> KVXFilterOutlineView::selectionIndexPaths() const {
    QList<IndexPath> paths;
    for (const QModelIndex &index : outlineView_->selectionModel()->selectedRows())
        paths.append(model_->pathForIndex(index));
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
        const QModelIndex index = model_->indexForPath(path);
        if (!index.isValid())
            continue;
        selection.select(index, index);
        if (!first.isValid())
            first = index;
    }
    QItemSelectionModel *model = outlineView_->selectionModel();
    model->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (!first.isValid())
        return;
    model->setCurrentIndex(first, QItemSelectionModel::NoUpdate);
    // Into view when it is shown; a row inside a closed one stays closed.
    for (QModelIndex parent = first.parent(); parent.isValid(); parent = parent.parent())
        if (!outlineView_->isExpanded(parent))
            return;
    outlineView_->scrollTo(first);
}

// --- Dragging -----------------------------------------------------------------------------------

QMimeData *KVXFilterOutlineView::dragData(const QList<IndexPath> &paths) {
    draggedNodes_ = paths;
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
    dropTypes_ = types;
    model_->setDragHooks({[this](const QList<IndexPath> &paths) { return dragData(paths); }, dropTypes_,
                          [this](const QMimeData *data, const std::optional<IndexPath> &item, int childIndex) {
                              return acceptDrop(data, item, childIndex);
                          }});
}

bool KVXFilterOutlineView::acceptDrop(const QMimeData *, const std::optional<IndexPath> &, int) { return true; }

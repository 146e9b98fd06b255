#include "window/sidebars/kvx_filter_table_view.h"

#include <QItemSelectionModel>
#include <QMimeData>

#include "platform/text/text_search.h"
#include "window/sidebars/kvx_list_views.h"
#include "window/window_log.h"

KVXFilterTableView::KVXFilterTableView(Form form, QWidget *parent)
    : KVXFilterTableView(form, Layout::Standard, parent) {}

KVXFilterTableView::KVXFilterTableView(Form form, Layout layout, QWidget *parent)
    : KVXFilterSidebar(form, parent), sortKey_(QStringLiteral("label")) {
    model_ = new SidebarRowModel(this);
    model_->setDragHooks({[this](const QList<IndexPath> &paths) {
                              QStringList texts;
                              for (const IndexPath &path : paths)
                                  if (auto row = objectForRow(path.value(0, -1)))
                                      texts.append(pasteboardTextForRow(*row));
                              auto *data = new QMimeData;
                              data->setText(texts.join(QLatin1Char('\n')));
                              return data;
                          },
                          {},
                          nullptr});
    tableView_ = new KVXTableView;
    tableView_->setModel(model_);
    tableView_->setDragEnabled(true);
    tableView_->setDragDropMode(QAbstractItemView::DragOnly);
    connect(tableView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &KVXFilterTableView::selectionIndexesChanged);
    setUpList(tableView_, tableView_);
    content_ = placeholderRows();
    rearrangeObjects();
    if (layout == Layout::Standard)
        layOutListAboveSearchField();
}

KVXFilterTableView::~KVXFilterTableView() = default;

void KVXFilterTableView::setContent(const QVariantList &rows) {
    content_ = rows;
    rearrangeObjects();
}

void KVXFilterTableView::setSortKey(const QString &key) {
    sortKey_ = key;
    rearrangeObjects();
}

void KVXFilterTableView::controlTextDidChange(const QString &text) {
    filterText_ = text;
    rearrangeObjects();
}

void KVXFilterTableView::rearrangeObjects() {
    QVariantList rows = sortedRows(content_, sortKey_);
    if (!filterText_.isEmpty()) {
        const QString needle = platform::foldedForSearch(filterText_);
        rows.removeIf([&](const QVariant &row) {
            return !platform::foldedForSearch(rowLabel(row.toMap())).contains(needle);
        });
    }
    if (rows == arranged_)
        return;
    showArranged(rows);
}

// Shows new arranged rows, keeping selected the rows that are still there.
void KVXFilterTableView::showArranged(const QVariantList &rows) {
    const QList<SidebarRow> wasSelected = selectedObjects();
    arranged_ = rows;
    {
        const QSignalBlocker quiet(tableView_->selectionModel());
        model_->setRows(arranged_);
    }
    QList<int> keep;
    for (const SidebarRow &row : wasSelected)
        if (std::optional<int> at = rowForObject(row))
            keep.append(*at);
    selectRows(keep);
    if (wasSelected.size() != keep.size())
        emit selectionIndexesChanged();
}

std::optional<SidebarRow> KVXFilterTableView::objectForRow(int row) const {
    if (row < 0 || row >= arranged_.size())
        return std::nullopt;
    return arranged_[row].toMap();
}

std::optional<int> KVXFilterTableView::rowForObject(const SidebarRow &row) const {
    for (int i = 0; i < arranged_.size(); i++)
        if (arranged_[i].toMap() == row)
            return i;
    return std::nullopt;
}

QList<int> KVXFilterTableView::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex &index : tableView_->selectionModel()->selectedRows())
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

QList<SidebarRow> KVXFilterTableView::selectedObjects() const {
    QList<SidebarRow> rows;
    for (int row : selectedRows())
        if (auto object = objectForRow(row))
            rows.append(*object);
    return rows;
}

void KVXFilterTableView::selectRows(const QList<int> &rows) {
    QItemSelection selection;
    for (int row : rows) {
        const QModelIndex index = model_->index(row, 0);
        if (index.isValid())
            selection.select(index, index);
    }
    QItemSelectionModel *model = tableView_->selectionModel();
    model->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (!rows.isEmpty() && model_->index(rows.first(), 0).isValid())
        model->setCurrentIndex(model_->index(rows.first(), 0), QItemSelectionModel::NoUpdate);
}

QString KVXFilterTableView::pasteboardTextForRow(const SidebarRow &row) const {
    qCInfo(lcWindow, "testdrag -- need to subclass and override");
    return rowLabel(row);
}

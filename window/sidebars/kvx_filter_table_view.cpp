#include "window/sidebars/kvx_filter_table_view.h"

#include <QItemSelectionModel>
#include <QMimeData>
#include <QTreeView>

#include "platform/text/text_search.h"
#include "window/sidebars/kvx_appearance_controller.h"
#include "window/sidebars/kvx_list_views.h"
#include "window/window_log.h"

KVXFilterTableView::KVXFilterTableView(Form form, QWidget *parent)
    : KVXFilterTableView(form, Layout::Standard, parent) {}

KVXFilterTableView::KVXFilterTableView(Form form, Layout layout, QWidget *parent)
    : KVXFilterSidebar(form, parent), m_sortKey(QStringLiteral("label")) {
    m_model = new SidebarRowModel(this);
    m_model->setDragHooks({[this](const QList<IndexPath> &paths) {
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
    m_tableView = new KVXTableView;
    m_tableView->setModel(m_model);
    m_tableView->setDragEnabled(true);
    m_tableView->setDragDropMode(QAbstractItemView::DragOnly);
    connect(m_tableView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &KVXFilterTableView::selectionIndexesChanged);
    setUpList(m_tableView, m_tableView);
    m_content = placeholderRows();
    rearrangeObjects();
    if (layout == Layout::Standard)
        layOutListAboveSearchField();
}

KVXFilterTableView::~KVXFilterTableView() = default;

void KVXFilterTableView::setContent(const QVariantList &rows) {
    m_content = rows;
    rearrangeObjects();
}

void KVXFilterTableView::setSortKey(const QString &key) {
    m_sortKey = key;
    rearrangeObjects();
}

void KVXFilterTableView::controlTextDidChange(const QString &text) {
    m_filterText = text;
    rearrangeObjects();
}

void KVXFilterTableView::rearrangeObjects() {
    QVariantList rows = sortedRows(m_content, m_sortKey);
    if (!m_filterText.isEmpty()) {
        const QString needle = platform::foldedForSearch(m_filterText);
        rows.removeIf([&](const QVariant &row) {
            return !platform::foldedForSearch(rowLabel(row.toMap())).contains(needle);
        });
    }
    if (rows == m_arranged)
        return;
    showArranged(rows);
}

// Shows new arranged rows, keeping selected the rows that are still there.
void KVXFilterTableView::showArranged(const QVariantList &rows) {
    const QList<SidebarRow> wasSelected = selectedObjects();
    m_arranged = rows;
    {
        const QSignalBlocker quiet(m_tableView->selectionModel());
        m_model->setRows(m_arranged);
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
    if (row < 0 || row >= m_arranged.size())
        return std::nullopt;
    return m_arranged[row].toMap();
}

std::optional<int> KVXFilterTableView::rowForObject(const SidebarRow &row) const {
    for (int i = 0; i < m_arranged.size(); i++)
        if (m_arranged[i].toMap() == row)
            return i;
    return std::nullopt;
}

QList<int> KVXFilterTableView::selectedRows() const {
    QList<int> rows;
    for (const QModelIndex &index : m_tableView->selectionModel()->selectedRows())
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
        const QModelIndex index = m_model->index(row, 0);
        if (index.isValid())
            selection.select(index, index);
    }
    QItemSelectionModel *model = m_tableView->selectionModel();
    model->select(selection, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (!rows.isEmpty() && m_model->index(rows.first(), 0).isValid())
        model->setCurrentIndex(m_model->index(rows.first(), 0), QItemSelectionModel::NoUpdate);
}

QString KVXFilterTableView::pasteboardTextForRow(const SidebarRow &row) const {
    qCInfo(lcWindow, "testdrag -- need to subclass and override");
    return rowLabel(row);
}

// --- The floating panel's tree ------------------------------------------------------------------

SidebarRowModel *KVXFilterTableView::createTreeController() {
    if (!m_treeController) {
        m_treeController = new SidebarRowModel(this);
        m_treeController->setRows(sortedRows(placeholderRows(), QStringLiteral("label")));
    }
    return m_treeController;
}

QTreeView *KVXFilterTableView::createOutlineViewForHUD() {
    qCInfo(lcWindow, "create filtertable outlineview for HUD");
    auto *outline = new QTreeView;
    outline->setModel(createTreeController());
    outline->setHeaderHidden(true);
    outline->setFrameShape(QFrame::NoFrame);
    outline->setAttribute(Qt::WA_MacShowFocusRect, false);
    outline->setEditTriggers(QAbstractItemView::NoEditTriggers);
    outline->setSelectionMode(QAbstractItemView::ExtendedSelection);
    QPalette palette = outline->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    palette.setColor(QPalette::Text, KVXAppearanceController::textColorForTableColumnforHUD(true));
    outline->setPalette(palette);
    connect(outline, &QTreeView::doubleClicked, this,
            [this](const QModelIndex &index) { actOnTable(index.isValid() ? index.row() : -1); });
    return outline;
}

#include "window/sidebars/sidebar_row_model.h"

#include <QMimeData>

#include <algorithm>

namespace {

const QString kLabel = QStringLiteral("label");
const QString kChildren = QStringLiteral("children");

bool findPath(const QVariantList &rows, const SidebarRow &row, IndexPath &path) {
    for (int i = 0; i < rows.size(); i++) {
        const SidebarRow candidate = rows[i].toMap();
        path.append(i);
        if (candidate == row)
            return true;
        if (findPath(rowChildren(candidate), row, path))
            return true;
        path.removeLast();
    }
    return false;
}

}  // namespace

QVariantList placeholderRows() {
    QVariantList rows;
    for (const char *label : {"first", "second", "third"})
        rows.append(QVariantMap{{kLabel, QString::fromLatin1(label)}});
    return rows;
}

QString rowLabel(const SidebarRow &row) { return row.value(kLabel).toString(); }

QVariantList rowChildren(const SidebarRow &row) { return row.value(kChildren).toList(); }

std::optional<SidebarRow> rowAtPath(const QVariantList &rows, const IndexPath &path) {
    if (path.isEmpty())
        return std::nullopt;
    QVariantList level = rows;
    SidebarRow row;
    for (int index : path) {
        if (index < 0 || index >= level.size())
            return std::nullopt;
        row = level[index].toMap();
        level = rowChildren(row);
    }
    return row;
}

std::optional<IndexPath> indexPathOfObject(const QVariantList &rows, const SidebarRow &row) {
    IndexPath path;
    if (findPath(rows, row, path))
        return path;
    return std::nullopt;
}

std::optional<SidebarRow> parentOfObject(const QVariantList &rows, const SidebarRow &row) {
    std::optional<IndexPath> path = indexPathOfObject(rows, row);
    if (!path || path->size() < 2)
        return std::nullopt;
    path->removeLast();
    return rowAtPath(rows, *path);
}

bool rowLessThan(const SidebarRow &a, const SidebarRow &b, const QString &key) {
    const QVariant x = a.value(key), y = b.value(key);
    const bool numbers = x.typeId() != QMetaType::QString && y.typeId() != QMetaType::QString &&
                         x.canConvert<double>() && y.canConvert<double>();
    if (numbers)
        return x.toDouble() < y.toDouble();
    return QString::compare(x.toString(), y.toString(), Qt::CaseInsensitive) < 0;
}

QVariantList sortedRows(QVariantList rows, const QString &key) {
    if (key.isEmpty())
        return rows;
    std::stable_sort(rows.begin(), rows.end(), [&](const QVariant &a, const QVariant &b) {
        return rowLessThan(a.toMap(), b.toMap(), key);
    });
    for (QVariant &value : rows) {
        SidebarRow row = value.toMap();
        if (row.contains(kChildren)) {
            row.insert(kChildren, sortedRows(rowChildren(row), key));
            value = row;
        }
    }
    return rows;
}

// --- The model ----------------------------------------------------------------------------

struct SidebarRowModel::Node {
    SidebarRow row;
    Node *parent = nullptr;
    int index = 0;
    std::vector<std::unique_ptr<Node>> children;
};

SidebarRowModel::SidebarRowModel(QObject *parent)
    : QAbstractItemModel(parent), m_root(std::make_unique<Node>()) {}

SidebarRowModel::~SidebarRowModel() = default;

void SidebarRowModel::setRows(const QVariantList &rows) {
    beginResetModel();
    m_rows = rows;
    m_root = std::make_unique<Node>();
    build(m_root.get(), m_rows);
    endResetModel();
}

void SidebarRowModel::build(Node *parent, const QVariantList &rows) {
    parent->children.reserve(size_t(rows.size()));
    for (int i = 0; i < rows.size(); i++) {
        auto node = std::make_unique<Node>();
        node->row = rows[i].toMap();
        node->parent = parent;
        node->index = i;
        build(node.get(), rowChildren(node->row));
        parent->children.push_back(std::move(node));
    }
}

const SidebarRowModel::Node *SidebarRowModel::nodeFor(const QModelIndex &index) const {
    if (!index.isValid() || index.model() != this)
        return m_root.get();
    return static_cast<const Node *>(index.internalPointer());
}

SidebarRow SidebarRowModel::rowAt(const QModelIndex &index) const {
    return index.isValid() ? nodeFor(index)->row : SidebarRow();
}

QModelIndex SidebarRowModel::indexForPath(const IndexPath &path) const {
    QModelIndex index;
    for (int row : path) {
        index = this->index(row, 0, index);
        if (!index.isValid())
            return {};
    }
    return index;
}

IndexPath SidebarRowModel::pathForIndex(const QModelIndex &index) const {
    IndexPath path;
    for (const Node *node = index.isValid() ? nodeFor(index) : nullptr; node && node->parent;
         node = node->parent)
        path.prepend(node->index);
    return path;
}

QModelIndex SidebarRowModel::index(int row, int column, const QModelIndex &parent) const {
    const Node *node = nodeFor(parent);
    if (column != 0 || row < 0 || size_t(row) >= node->children.size())
        return {};
    return createIndex(row, 0, node->children[size_t(row)].get());
}

QModelIndex SidebarRowModel::parent(const QModelIndex &child) const {
    if (!child.isValid())
        return {};
    const Node *parent = nodeFor(child)->parent;
    if (!parent || parent == m_root.get())
        return {};
    return createIndex(parent->index, 0, const_cast<Node *>(parent));
}

int SidebarRowModel::rowCount(const QModelIndex &parent) const {
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return int(nodeFor(parent)->children.size());
}

int SidebarRowModel::columnCount(const QModelIndex &) const { return 1; }

QVariant SidebarRowModel::data(const QModelIndex &index, int role) const {
    if (!index.isValid())
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return rowLabel(nodeFor(index)->row);
    return {};
}

Qt::ItemFlags SidebarRowModel::flags(const QModelIndex &index) const {
    Qt::ItemFlags flags;
    if (m_hooks.drop)
        flags |= Qt::ItemIsDropEnabled;
    if (!index.isValid())
        return flags;
    flags |= Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (m_hooks.dragData)
        flags |= Qt::ItemIsDragEnabled;
    if (nodeFor(index)->children.empty() && !nodeFor(index)->row.contains(kChildren))
        flags |= Qt::ItemNeverHasChildren;
    return flags;
}

QStringList SidebarRowModel::mimeTypes() const { return m_hooks.dropFormats; }

QMimeData *SidebarRowModel::mimeData(const QModelIndexList &indexes) const {
    if (!m_hooks.dragData)
        return nullptr;
    QList<IndexPath> paths;
    for (const QModelIndex &index : indexes)
        if (index.isValid() && index.column() == 0)
            paths.append(pathForIndex(index));
    return paths.isEmpty() ? nullptr : m_hooks.dragData(paths);
}

bool SidebarRowModel::canDropMimeData(const QMimeData *data, Qt::DropAction, int, int,
                                      const QModelIndex &) const {
    if (!data || !m_hooks.drop)
        return false;
    return std::any_of(m_hooks.dropFormats.begin(), m_hooks.dropFormats.end(),
                       [&](const QString &format) { return data->hasFormat(format); });
}

bool SidebarRowModel::dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                                   const QModelIndex &parent) {
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    std::optional<IndexPath> item;
    if (parent.isValid())
        item = pathForIndex(parent);
    return m_hooks.drop(data, item, row);
}

Qt::DropActions SidebarRowModel::supportedDragActions() const { return Qt::CopyAction | Qt::MoveAction; }

Qt::DropActions SidebarRowModel::supportedDropActions() const { return Qt::CopyAction | Qt::MoveAction; }

// The rows of a sidebar list and the item model that shows them.
//
// A row is a dictionary whose "label" is the text shown; the other keys
// belong to each sidebar (a heading's offsets, a change's range, a file's
// path). "children", a list of rows, nests rows into a tree. A row is found
// again by an index path: its index among its siblings at each level, from
// the top.
//
// The model shows one column of labels, flat or as a tree, exactly in the
// order of the rows it was given (sorting and filtering belong to the lists
// above it). Dragging and dropping rows is handed to hooks, so that each
// list decides what a drag carries and what a drop does.
#pragma once

#include <QAbstractItemModel>
#include <QList>
#include <QStringList>
#include <QVariantList>
#include <QVariantMap>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

using SidebarRow = QVariantMap;
using IndexPath = QList<int>;

// The rows a new list shows until it is given real ones: "first", "second"
// and "third".
QVariantList placeholderRows();

// The row's "label" and "children".
QString rowLabel(const SidebarRow &row);
QVariantList rowChildren(const SidebarRow &row);

// The row at `path` among `rows` and their children; nothing when the path
// leads nowhere.
std::optional<SidebarRow> rowAtPath(const QVariantList &rows, const IndexPath &path);

// The index path of the first row equal to `row`, depth first in order (a
// row's children are searched before its next sibling); nothing when none is.
std::optional<IndexPath> indexPathOfObject(const QVariantList &rows, const SidebarRow &row);

// The row whose child `row` is; nothing for a top row or a row not found.
std::optional<SidebarRow> parentOfObject(const QVariantList &rows, const SidebarRow &row);

// `rows` sorted by `key` at every level (stable): numbers by value, text
// ignoring case. An empty key keeps the order.
QVariantList sortedRows(QVariantList rows, const QString &key);
bool rowLessThan(const SidebarRow &a, const SidebarRow &b, const QString &key);

class SidebarRowModel : public QAbstractItemModel {
    Q_OBJECT

public:
    // What dragging rows out of the list and dropping onto it do.
    struct DragHooks {
        // The data a drag of the rows at these paths carries; null refuses.
        std::function<QMimeData *(const QList<IndexPath> &paths)> dragData;
        // The formats a drop must carry one of to be taken.
        QStringList dropFormats;
        // A drop onto the row at `item` (none: the top), before its child
        // `childIndex`, or onto the row itself when `childIndex` is -1.
        std::function<bool(const QMimeData *data, const std::optional<IndexPath> &item, int childIndex)> drop;
    };

    explicit SidebarRowModel(QObject *parent = nullptr);
    ~SidebarRowModel() override;

    // Replaces every row (the views reset: selection and expansion go).
    void setRows(const QVariantList &rows);
    const QVariantList &rows() const { return m_rows; }

    SidebarRow rowAt(const QModelIndex &index) const;
    QModelIndex indexForPath(const IndexPath &path) const;
    IndexPath pathForIndex(const QModelIndex &index) const;

    void setDragHooks(DragHooks hooks) { m_hooks = std::move(hooks); }

    // QAbstractItemModel
    QModelIndex index(int row, int column, const QModelIndex &parent = {}) const override;
    QModelIndex parent(const QModelIndex &child) const override;
    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QStringList mimeTypes() const override;
    QMimeData *mimeData(const QModelIndexList &indexes) const override;
    bool canDropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                         const QModelIndex &parent) const override;
    bool dropMimeData(const QMimeData *data, Qt::DropAction action, int row, int column,
                      const QModelIndex &parent) override;
    Qt::DropActions supportedDragActions() const override;
    Qt::DropActions supportedDropActions() const override;

private:
    struct Node;
    void build(Node *parent, const QVariantList &rows);
    const Node *nodeFor(const QModelIndex &index) const;

    QVariantList m_rows;
    std::unique_ptr<Node> m_root;
    DragHooks m_hooks;
};

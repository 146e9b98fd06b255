#include "window/sidebars/tzr_file_navigator_mac.h"

#include <QMenu>
#include <QSet>
#include <QTimer>

#include "window/sidebars/kvx_list_views.h"

namespace {

QString filePath(const SidebarRow &row) { return row.value(QStringLiteral("path")).toString(); }

// The index paths of the rows whose files are in `paths`, depth first.
void collectPaths(const QVariantList &rows, const QSet<QString> &paths, IndexPath &at, QList<IndexPath> &found) {
    for (int i = 0; i < rows.size(); i++) {
        const SidebarRow row = rows.at(i).toMap();
        at.append(i);
        if (paths.contains(filePath(row)))
            found.append(at);
        collectPaths(rowChildren(row), paths, at, found);
        at.removeLast();
    }
}

}  // namespace

TZRFileNavigatorMac::TZRFileNavigatorMac(QWidget *parent) : KVXFilterOutlineView(Form::Window, parent) {
    setSortKey(QString());  // rows keep the order of the listing
    setTreeControllerContent({});
    addContextMenu();
    connect(this, &KVXFilterOutlineView::selectionIndexPathChanged, this, [this] {
        if (!m_restoringSelection)
            handOffSelection();
    });
}

TZRFileNavigatorMac::~TZRFileNavigatorMac() = default;

void TZRFileNavigatorMac::addContextMenu() {
    m_contextMenu = new QMenu(QStringLiteral("Contextual Menu"), this);
    struct Item {
        const char *title;
        const char *selector;
        void (TZRFileNavigatorMac::*action)();
    };
    const Item items[] = {
        {"Open File(s)", "openFileRows:", &TZRFileNavigatorMac::openFileRows},
        {"Show In File Manager", "revealFileRows:", &TZRFileNavigatorMac::revealFileRows},
        {"Delete File(s)", "deleteFileRows:", &TZRFileNavigatorMac::deleteFileRows},
    };
    for (const Item &item : items) {
        QAction *action = m_contextMenu->addAction(QString::fromLatin1(item.title));
        action->setObjectName(QString::fromLatin1(item.selector));
        connect(action, &QAction::triggered, this, item.action);
    }
    tableView()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(tableView(), &QWidget::customContextMenuRequested, this, [this](const QPoint &at) {
        m_contextMenu->popup(tableView()->viewport()->mapToGlobal(at));
    });
}

// --- Content ---------------------------------------------------------------------------------------

void TZRFileNavigatorMac::setData(const std::vector<platform::FileEntry> &hierarchy) {
    QVariantList rows;
    rows.reserve(qsizetype(hierarchy.size()));
    for (const platform::FileEntry &entry : hierarchy)
        rows.append(entry.toVariantMap());
    setData(rows);
}

void TZRFileNavigatorMac::setData(const QVariantList &hierarchy) {
    const QSet<QString> expanded = expandedItems();
    QSet<QString> selected;
    for (const SidebarRow &row : selectedObjects())
        selected.insert(filePath(row));

    m_restoringSelection = true;
    setTreeControllerContent(hierarchy);
    if (!searchText().isEmpty())
        expandAll();  // every match in sight
    else
        expandItemsInHash(expanded);
    QList<IndexPath> paths;
    IndexPath at;
    collectPaths(treeContent(), selected, at, paths);
    setSelectionIndexPaths(paths);
    m_restoringSelection = false;
    // The selected files may have changed, or gone.
    if (!selected.isEmpty())
        handOffSelection();
}

QString TZRFileNavigatorMac::expansionKey(const SidebarRow &row, const QStringList &) const {
    return filePath(row);
}

// --- Actions -----------------------------------------------------------------------------------------

void TZRFileNavigatorMac::handOff(Action action, const QList<SidebarRow> &files) {
    // On the next pass of the event loop, as the menu or key that asked ends.
    QTimer::singleShot(0, this, [this, action, files] {
        if (m_delegate)
            (m_delegate->*action)(files);
    });
}

void TZRFileNavigatorMac::handOffSelection() { handOff(&TZRFileNavigatorDelegate::selectFiles, selectedObjects()); }

void TZRFileNavigatorMac::actOnTableRow(int) { openFileRows(); }

void TZRFileNavigatorMac::openFileRows() { handOff(&TZRFileNavigatorDelegate::openFiles, selectedObjects()); }

void TZRFileNavigatorMac::deleteFileRows() { handOff(&TZRFileNavigatorDelegate::deleteFiles, selectedObjects()); }

void TZRFileNavigatorMac::revealFileRows() { handOff(&TZRFileNavigatorDelegate::revealFiles, selectedObjects()); }

void TZRFileNavigatorMac::doubleAction(int clickedRow) {
    const QModelIndex index = tableView()->currentIndex();
    if (clickedRow >= 0 && index.isValid() && treeModel()->rowAt(index).value(QStringLiteral("isDirectory")).toBool()) {
        tableView()->setExpanded(index, !tableView()->isExpanded(index));
        return;
    }
    actOnTable(clickedRow);
}

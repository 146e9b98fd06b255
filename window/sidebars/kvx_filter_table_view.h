// KVXFilterTableView: a flat sidebar list. Its content is a list of rows
// (sidebar_row_model.h); what it shows, its arranged rows, are the content
// sorted by a key (by "label", ignoring case, unless a subclass chooses
// another or none) and filtered by the search text: a row stays when its
// label contains the text, ignoring case and diacritics. Row numbers are
// numbers among the arranged rows.
//
// A new list holds three placeholder rows, "first", "second" and "third",
// until real content is set.
//
// For a floating panel that would rather show a tree, the list also keeps a
// tree of rows of its own (made on first use, with the same placeholder
// rows) and makes plain tree views over it.
#pragma once

#include <QVariantList>

#include <optional>

#include "window/sidebars/kvx_filter_sidebar.h"
#include "window/sidebars/sidebar_row_model.h"

class KVXTableView;
class QTreeView;

class KVXFilterTableView : public KVXFilterSidebar {
    Q_OBJECT

public:
    explicit KVXFilterTableView(Form form = Form::Window, QWidget *parent = nullptr);
    ~KVXFilterTableView() override;

    KVXTableView *tableView() const { return m_tableView; }

    // --- Content ----------------------------------------------------------------------

    // Replaces the rows; the rows selected before stay selected where they
    // are still shown.
    void setContent(const QVariantList &rows);
    QVariantList content() const { return m_content; }
    // The key rows are sorted by; empty keeps the content's order.
    void setSortKey(const QString &key);
    QString sortKey() const { return m_sortKey; }
    // The filter in force: the search text, empty for none.
    QString filterText() const { return m_filterText; }
    // Sorts and filters the content again.
    void rearrangeObjects();

    // --- Arranged rows ---------------------------------------------------------------------

    const QVariantList &arrangedObjects() const { return m_arranged; }
    int numberOfRows() const { return int(m_arranged.size()); }
    // The arranged row at `row`; nothing outside the rows.
    std::optional<SidebarRow> objectForRow(int row) const;
    // The first arranged row equal to `row`; nothing when it is not shown.
    std::optional<int> rowForObject(const SidebarRow &row) const;

    // --- Selection ----------------------------------------------------------------------

    QList<int> selectedRows() const;  // in ascending order
    QList<SidebarRow> selectedObjects() const;
    void selectRows(const QList<int> &rows);
    void selectRow(int row) { selectRows({row}); }

    // --- The floating panel's tree ------------------------------------------------------

    // The tree's rows, made with the placeholder rows when there are none yet.
    SidebarRowModel *createTreeController();
    // A new plain tree view over that tree, which the caller owns: one
    // column of labels in the panel's text colour, no header, not editable,
    // any number of rows selectable; a double-click acts on the clicked row.
    QTreeView *createOutlineViewForHUD();

signals:
    // The selected rows changed.
    void selectionIndexesChanged();

protected:
    // For subclasses that lay the parts out themselves.
    enum class Layout { Standard, Custom };
    KVXFilterTableView(Form form, Layout layout, QWidget *parent);

    // What a row dragged out of the list carries as text.
    virtual QString pasteboardTextForRow(const SidebarRow &row) const;

    void controlTextDidChange(const QString &text) override;
    void clearContent() override { setContent({}); }

private:
    void showArranged(const QVariantList &rows);

    KVXTableView *m_tableView = nullptr;
    SidebarRowModel *m_model = nullptr;
    SidebarRowModel *m_treeController = nullptr;
    QVariantList m_content;
    QVariantList m_arranged;
    QString m_sortKey;
    QString m_filterText;
};

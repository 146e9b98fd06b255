// KVXFilterTableView: a flat sidebar list. Its content is a list of rows
// (sidebar_row_model.h); what it shows, its arranged rows, are the content
// sorted by a key (by "label", ignoring case, unless a subclass chooses
// another or none) and filtered by the search text: a row stays when its
// label contains the text, ignoring case and diacritics. Row numbers are
// numbers among the arranged rows.
//
// A new list holds three placeholder rows, "first", "second" and "third",
// until real content is set.
#pragma once

#include <QVariantList>

#include <optional>

#include "window/sidebars/kvx_filter_sidebar.h"
#include "window/sidebars/sidebar_row_model.h"

class KVXTableView;

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
    QVariantList m_content;
    QVariantList m_arranged;
    QString m_sortKey;
    QString m_filterText;
};

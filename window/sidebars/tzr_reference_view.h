// TZRReferenceView: the references sidebar. It lists the document's
// reference labels and citation keys ("#key") alphabetically, ignoring case
// (the engine bridge's "references"), and a double-click inserts a
// reference link for each selected label into the editor: "[label]" at the
// caret, or "[selected text][label]" in place of a selection. A label
// dragged into the text lands there as "[label]". Return and Enter insert
// nothing.
//
// Lists come at most every 2.0 s and are dropped while the sidebar is
// hidden, as in the other sidebars.
#pragma once

#include "window/sidebars/sidebar_rows.h"
#include "window/sidebars/kvx_filter_table_view.h"
#include "window/sidebars/sidebar_update_coalescer.h"

class TZREngine;

class TZRReferenceView : public KVXFilterTableView {
    Q_OBJECT

public:
    explicit TZRReferenceView(Form form = Form::Window, QWidget *parent = nullptr);
    ~TZRReferenceView() override;

    // Shows the engine's "references" from now on.
    void observeEngine(TZREngine *engine);
    TZREngine *engine() const;

    void updateData(const LabelSet &references);
    // Asks the engine for its current references.
    void updateData() override;
    void resumeUpdating();
    bool isUpdating() const { return m_coalescer.isUpdating(); }
    SidebarUpdateCoalescer<LabelSet> &coalescer() { return m_coalescer; }

    // Return and Enter: nothing.
    void actOnTableRow(int) override {}
    // The double-click: a link for each selected row, in the list's order.
    void actOnSelectedRow();
    // Inserts the link for the row at the editor's selection, then brings
    // the editor's window to the front.
    void insertLinkFromTableRow(int row);

protected:
    void doubleAction(int) override { actOnSelectedRow(); }
    QString pasteboardTextForRow(const SidebarRow &row) const override;

private:
    QPointer<TZREngine> m_engine;
    QMetaObject::Connection m_engineConnection;
    SidebarUpdateCoalescer<LabelSet> m_coalescer;
};

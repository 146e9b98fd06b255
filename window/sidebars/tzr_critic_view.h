// TZRCriticView: the changes sidebar. It lists the document's CriticMarkup
// changes in document order (the engine bridge's "changes"), points out the
// selected change in the editor, and accepts or rejects the selected changes
// with its Accept and Reject buttons, a double-click or Return (with the
// Command key, which is Ctrl here, a double-click or Return rejects).
//
// A row is {"label": the change's markup, "start", "stop", "length": its
// range in the editor text, "generation": the edit generation of the text
// the list was read from, "editorOffsets": whether that text was the
// editor's own}. A change is settled only when its row still describes the
// editor text: the list was read from the text as it is now and the text at
// the row's range is the row's markup. Any other row changes nothing.
//
// Lists come at most every 2.0 s, as in the table of contents; the row
// selected first stays selected across a new list (the last row when the
// list became shorter), so that changes can be accepted one after another.
#pragma once

#include "window/sidebars/sidebar_rows.h"
#include "window/sidebars/kvx_filter_table_view.h"
#include "window/sidebars/sidebar_update_coalescer.h"

class QPushButton;
class TZREngine;

class TZRCriticView : public KVXFilterTableView {
    Q_OBJECT

public:
    explicit TZRCriticView(Form form = Form::Window, QWidget *parent = nullptr);
    ~TZRCriticView() override;

    // Shows the engine's "changes" from now on.
    void observeEngine(TZREngine *engine);
    TZREngine *engine() const;

    // --- Updates ------------------------------------------------------------------------

    void updateData(const ChangeList &changes);
    // Asks the engine for its current changes.
    void updateData() override;
    void resumeUpdating();
    bool isUpdating() const { return m_coalescer.isUpdating(); }
    SidebarUpdateCoalescer<ChangeList> &coalescer() { return m_coalescer; }
    // The rows of a change list.
    static QVariantList rowsForChanges(const ChangeList &changes);

    // --- Actions ------------------------------------------------------------------------

    // Accepts (rejects) the selected changes, from the last in the text to
    // the first. While the editor tracks changes, an alert says that
    // CriticMarkup cannot be changed, and nothing else happens.
    void acceptChange();
    void rejectChange();
    // Return and Enter, and the double-click: reject with Command (Ctrl)
    // held, accept otherwise.
    void actOnTableRow(int row) override;
    void actOnSelectedRow();
    // Shows the change of the first selected row (of `row`) in the editor.
    void locateSelectedRow();
    void locateRow(int row);
    void enableButtons();
    void disableButtons();
    void alertActionBlocked();

    QPushButton *acceptButton() const { return m_acceptButton; }
    QPushButton *rejectButton() const { return m_rejectButton; }
    // The row kept selected across new lists; -1 for none.
    qint64 firstSelectedItem() const { return m_firstSelectedItem; }

protected:
    void doubleAction(int) override { actOnSelectedRow(); }
    void clearContent() override;

private:
    void configure();
    void layOutWithButtons();
    void selectionChanged();
    void settleSelectedChanges(bool accept);

    QPushButton *m_acceptButton = nullptr;
    QPushButton *m_rejectButton = nullptr;
    QPointer<TZREngine> m_engine;
    QMetaObject::Connection m_engineConnection;
    SidebarUpdateCoalescer<ChangeList> m_coalescer;
    qint64 m_firstSelectedItem = -1;
};

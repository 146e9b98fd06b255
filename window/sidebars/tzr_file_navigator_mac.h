// TZRFileNavigatorMac: the file list of a project window. It shows a folder's
// files and folders as a tree of file entries ("label", "isDirectory",
// "modDate", "path", "relativePath", "parentPath", "children"; see
// platform/files/folder_listing.h) in the order they are given, and hands every
// action on files to its delegate, which opens, previews, deletes or shows
// them: Return, Enter, a double-click and "Open File(s)" open the selected
// files, "Show In File Manager" shows them, "Delete File(s)" deletes them,
// and each change of the selection previews it. The delegate hears of an
// action on the next pass of the event loop, with the entries of the
// selected rows.
//
// The delegate also owns the search: it follows searchField() and gives the
// navigator the matching tree through setData(). A new tree keeps the folders
// that were open (rows are known by their "path") and the selected files
// (the delegate then hears of the selection again, since the files may have
// changed); while a search text is set, every folder of the tree is open.
#pragma once

#include <QList>
#include <QVariantList>

#include <vector>

#include "platform/files/folder_listing.h"
#include "window/sidebars/kvx_filter_outline_view.h"

class QMenu;

// What a project window does with the files of its list.
class TZRFileNavigatorDelegate {
public:
    virtual ~TZRFileNavigatorDelegate() = default;
    virtual void openFiles(const QList<SidebarRow> &files) = 0;
    virtual void selectFiles(const QList<SidebarRow> &files) = 0;
    virtual void deleteFiles(const QList<SidebarRow> &files) = 0;
    virtual void revealFiles(const QList<SidebarRow> &files) = 0;
};

class TZRFileNavigatorMac : public KVXFilterOutlineView {
    Q_OBJECT

public:
    explicit TZRFileNavigatorMac(QWidget *parent = nullptr);
    ~TZRFileNavigatorMac() override;

    // The delegate must outlive the navigator or set another (or none).
    TZRFileNavigatorDelegate *delegate() const { return m_delegate; }
    void setDelegate(TZRFileNavigatorDelegate *delegate) { m_delegate = delegate; }

    // Shows a new tree of file entries; see above.
    void setData(const QVariantList &hierarchy);
    void setData(const std::vector<platform::FileEntry> &hierarchy);

    // The outline's menu, "Contextual Menu": "Open File(s)" ("openFileRows:"),
    // "Show In File Manager" ("revealFileRows:"), "Delete File(s)"
    // ("deleteFileRows:").
    QMenu *contextMenu() const { return m_contextMenu; }

    // The actions on the selected rows.
    void actOnTableRow(int row) override;
    void openFileRows();
    void deleteFileRows();
    void revealFileRows();

protected:
    // Rows are known by their file's "path".
    QString expansionKey(const SidebarRow &row, const QStringList &labelPath) const override;
    // The delegate filters; the navigator only shows what it is given.
    void controlTextDidChange(const QString &) override {}
    // A double-click on a folder opens or closes it in the list.
    void doubleAction(int clickedRow) override;

private:
    using Action = void (TZRFileNavigatorDelegate::*)(const QList<SidebarRow> &);
    void addContextMenu();
    void handOff(Action action, const QList<SidebarRow> &files);
    void handOffSelection();

    TZRFileNavigatorDelegate *m_delegate = nullptr;
    QMenu *m_contextMenu = nullptr;
    bool m_restoringSelection = false;
};

// ProjectWindowController: a folder opened as a project. Its window holds the
// folder's files as a searchable tree (TZRFileNavigatorMac over a
// KVXFolderContents listing, newest first) beside a quick look at the file
// selected, on a MatryoshkaView whose side pane keeps the width the user
// drags ("projectFileWidth").
//
// What the list asks for happens here: text files open as documents laid
// over the project window as its tabs (one already open comes to the front),
// other files open in the user's applications when they are documents
// (regular files that nothing would run), files and folders go to the trash
// after the user agreed to each, and files are shown in the file manager.
// The listing follows the folder, so that the list changes with the disk;
// each new listing goes through the search the field shows, and the list
// keeps its open folders and selection.
//
// The window's frame is kept under the folder's path, and the theme chosen
// for the project under "Theme %@" with that path. Main thread only.
#pragma once

#include <QPointer>
#include <QString>
#include <QUrl>

#include <memory>

#include <QLineEdit>

#include "platform/files/kvx_folder_contents.h"
#include "platform/files/quick_preview.h"
#include "platform/documents/window_controller.h"
#include "window/panes/matryoshka_view.h"
#include "window/sidebars/tzr_file_navigator_mac.h"

class QAction;

class ProjectWindowController : public platform::WindowController, public TZRFileNavigatorDelegate {
    Q_OBJECT

public:
    // The window's name among the program's windows.
    static constexpr char kWindowNibName[] = "ProjectWindowController";
    // The grey behind the file list in the plain look (sRGB, each channel).
    static constexpr double kPlainSidebarGrey = 0.929411768913269;

    explicit ProjectWindowController(QObject *parent = nullptr);
    ~ProjectWindowController() override;

    // --- The window -----------------------------------------------------------------

    void windowDidLoad() override;
    // Builds the window's content: the list beside the preview, tabbing,
    // theme and focus.
    void convertWindow();
    // Saves the frame, and stops following the folder.
    void windowWillClose() override;

    // Keeps the frame under the folder's path, unless the window is in full
    // screen or there is no folder.
    void saveWindowSize();
    // Saves the frame, then closes the window.
    void close();
    // Brings the first window of the window's tab group to the front.
    void gotoFirstTab();

    // --- The folder -------------------------------------------------------------------

    QUrl baseURL() const { return m_baseURL; }
    // Lists the folder into the file list and follows it; titles the window
    // after it and keeps the frame under its path.
    void setBaseURL(const QUrl &url);
    QString projectPath() const;

    // --- The file list's actions ---------------------------------------------------------

    void openFiles(const QList<SidebarRow> &files) override;
    void selectFiles(const QList<SidebarRow> &files) override;
    void deleteFiles(const QList<SidebarRow> &files) override;
    void revealFiles(const QList<SidebarRow> &files) override;

    // The search field changed: the matching tree, or the whole one for an
    // empty field.
    void controlTextDidChange(const QString &text);

    // --- Theme ----------------------------------------------------------------------------

    void selectTheme(const QString &title);
    void applyThemeNamed(const QString &name);
    // Applies the theme kept for the folder when it differs from the default.
    void applyDefaultTheme();
    // Colours `view`'s parent by "appearanceTheme".
    void applyAppearanceToAssistant(QWidget *view);
    // The file list and its pane in the look "appearanceTheme" asks for;
    // again whenever it changes.
    void applyAppearance();
    QString activeTheme() const { return m_activeTheme; }

    // --- Actions of its window ("selectTheme:", "gotoFirstTab:", "performClose:") -----------

    bool respondsToAction(const QString &action) const;
    void performAction(const QString &action, QObject *sender);
    bool validateAction(const QString &action, QAction *item);

    // --- Parts ------------------------------------------------------------------------------

    KVXFolderContents *folderContents() const { return m_fileNavigator.get(); }
    TZRFileNavigatorMac *fileTable() const { return m_fileTable; }
    QLineEdit *searchField() const { return m_searchField; }
    platform::QuickPreview *preview() const { return m_preview; }
    MatryoshkaView *paneView() const { return m_paneView; }

    // The alert texts.
    static QString deleteQuestion(const QString &path, bool folder);
    static QString notOpenedMessage(const QString &path);

private:
    void listingChanged();
    void showHierarchy(const std::vector<platform::FileEntry> &hierarchy);
    void openTextFile(const QString &path);
    void openElsewhere(const QString &path);

    QUrl m_baseURL;
    std::unique_ptr<KVXFolderContents> m_fileNavigator;
    QPointer<TZRFileNavigatorMac> m_fileTable;
    QPointer<QLineEdit> m_searchField;
    QPointer<platform::QuickPreview> m_preview;
    QPointer<MatryoshkaView> m_paneView;
    QString m_activeTheme;
};

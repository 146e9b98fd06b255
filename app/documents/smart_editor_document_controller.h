// SmartEditorDocumentController: the application's document controller, with
// three commands of its own besides opening and making documents:
//
//   "openFolder:"       a panel that takes a file or a folder: a folder opens
//                       as a project window (one per use, even for a folder
//                       already open), a file as a document, or brings its
//                       open document to the front;
//   "newWindowForTab:"  a new untitled document as a tab of the active
//                       document or project window's group, after its tab
//                       (an ordinary new window when another kind of window
//                       is active);
//
// and the enabling of those. It answers these two actions after every
// window (an application responder) while it lives; the application makes
// it the shared document controller. Main thread only.
#pragma once

#include <QUrl>

#include <memory>
#include <vector>

#include "platform/runtime/action_router.h"
#include "platform/documents/document_controller.h"

class ProjectWindowController;

class SmartEditorDocumentController : public platform::DocumentController, public platform::Responder {
    Q_OBJECT

public:
    explicit SmartEditorDocumentController(QObject *parent = nullptr);
    ~SmartEditorDocumentController() override;

    // Whether the shared controller holds a document.
    static bool hasOpenDocuments();

    // The Open Folder command: the panel, then openFolderURL with the first
    // path chosen; nothing when cancelled.
    void openFolder();
    // What Open Folder does with the path chosen.
    void openFolderURL(const QUrl &url);
    void newWindowForTab();

    // The project windows made so far, closed ones included (made on the
    // first folder opened).
    const std::vector<std::unique_ptr<ProjectWindowController>> &openProjects() const { return m_openProjects; }

    // --- Responder ----------------------------------------------------------------------
    bool respondsToAction(const QString &action) const override;
    void performAction(const QString &action, QObject *sender) override;
    bool validateAction(const QString &action, QAction *item) override;

private:
    // Whether the active window (its selected tab) is a document's or a
    // project's; `window` receives it.
    static bool activeWindowTakesTabs(QWidget **window);

    std::vector<std::unique_ptr<ProjectWindowController>> m_openProjects;
};

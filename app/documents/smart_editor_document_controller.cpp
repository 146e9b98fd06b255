#include "app/documents/smart_editor_document_controller.h"

#include <QAction>
#include <QApplication>
#include <QFileInfo>

#include "app/documents/kvx_document_window_controller.h"
#include "app/documents/project_window_controller.h"
#include "platform/documents/document.h"
#include "platform/documents/file_panels.h"
#include "platform/files/folders.h"
#include "platform/files/kvx_sandbox_permission_manager.h"
#include "platform/documents/window_controller.h"
#include "platform/documents/window_tabs.h"

SmartEditorDocumentController::SmartEditorDocumentController(QObject *parent)
    : platform::DocumentController(parent) {
    platform::ActionRouter::addApplicationResponder(this);
}

SmartEditorDocumentController::~SmartEditorDocumentController() {
    platform::ActionRouter::removeApplicationResponder(this);
}

bool SmartEditorDocumentController::hasOpenDocuments() { return !shared().documents().isEmpty(); }

// --- Open Folder -------------------------------------------------------------------------------

void SmartEditorDocumentController::openFolder() {
    platform::OpenPanel panel;
    panel.title = QStringLiteral("Open Folder");
    panel.canChooseDirectories = true;
    const QStringList chosen = platform::FilePanels::runOpenPanel(panel, QApplication::activeWindow());
    if (!chosen.isEmpty())
        openFolderURL(QUrl::fromLocalFile(chosen.first()));
}

void SmartEditorDocumentController::openFolderURL(const QUrl &url) {
    if (!url.isLocalFile())
        return;
    const QString path = platform::standardizedPath(url.toLocalFile());
    if (QFileInfo(path).isDir()) {
        auto project = std::make_unique<ProjectWindowController>();
        project->showWindow();  // which builds it
        ProjectWindowController *shown = project.get();
        m_openProjects.push_back(std::move(project));
        shown->setBaseURL(QUrl::fromLocalFile(path));
        KVXSandboxPermissionManager::saveSecurityBookmarkForURL(path, false);
        return;
    }
    // A file already open only comes to the front.
    openDocument(path, true);
}

// --- New tab ------------------------------------------------------------------------------------

bool SmartEditorDocumentController::activeWindowTakesTabs(QWidget **window) {
    auto *active = qobject_cast<platform::DocumentWindow *>(platform::WindowTabs::keyWindow());
    platform::WindowController *controller = active ? active->controller() : nullptr;
    if (!qobject_cast<KVXDocumentWindowController *>(controller) && !qobject_cast<ProjectWindowController *>(controller))
        return false;
    if (window)
        *window = active;
    return true;
}

void SmartEditorDocumentController::newWindowForTab() {
    QWidget *keyWindow = nullptr;
    if (!activeWindowTakesTabs(&keyWindow)) {
        openUntitledDocument(true);  // as New does
        return;
    }
    platform::Document *document = openUntitledDocument(false);
    if (!document)
        return;
    if (document->windowControllers().isEmpty())
        document->makeWindowControllers();
    if (QWidget *opened = document->firstWindow())
        platform::WindowTabs::addTabbedWindow(keyWindow, opened);
}

// --- Responder ------------------------------------------------------------------------------------

bool SmartEditorDocumentController::respondsToAction(const QString &action) const {
    // New and Open belong to the application's delegate, which opens through
    // this controller.
    return action == QLatin1String("openFolder:") || action == QLatin1String("newWindowForTab:");
}

void SmartEditorDocumentController::performAction(const QString &action, QObject *) {
    if (action == QLatin1String("openFolder:"))
        openFolder();
    else if (action == QLatin1String("newWindowForTab:"))
        newWindowForTab();
}

bool SmartEditorDocumentController::validateAction(const QString &action, QAction *) {
    // Open Folder is always there; New Tab needs a window to join.
    return action != QLatin1String("newWindowForTab:") || activeWindowTakesTabs(nullptr);
}

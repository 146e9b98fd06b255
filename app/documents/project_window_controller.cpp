#include "app/documents/project_window_controller.h"

#include <QAction>
#include <QFileInfo>
#include <QLineEdit>
#include <QMainWindow>
#include <QVBoxLayout>

#include "app/app_log.h"
#include "app/kvx_app_delegate.h"
#include "app/documents/kvx_document_window_controller.h"
#include "app/extras/tzr_theme_controller.h"
#include "platform/runtime/action_router.h"
#include "platform/runtime/alerts.h"
#include "platform/prefs/defaults.h"
#include "platform/documents/document.h"
#include "platform/documents/document_controller.h"
#include "platform/files/file_manager.h"
#include "platform/files/folder_listing.h"
#include "platform/files/folders.h"
#include "platform/files/kvx_folder_contents.h"
#include "platform/files/native_path.h"
#include "platform/files/quick_preview.h"
#include "platform/files/trash.h"
#include "platform/documents/type_registry.h"
#include "platform/documents/window_tabs.h"
#include "platform/files/workspace.h"
#include "window/panes/matryoshka_view.h"
#include "window/sidebars/kvx_list_views.h"

using platform::Defaults;

namespace {

const QString kWidthKey = QStringLiteral("projectFileWidth");
const QString kDefaultThemeKey = QStringLiteral("defaultTheme");

QString pathOf(const SidebarRow &file) { return file.value(QStringLiteral("path")).toString(); }

QString themeKey(const QString &folder) { return Defaults::keyForPath(u"Theme %@", folder); }

// The window's content: where the window's own actions arrive.
class ProjectWindowView : public QWidget, public platform::Responder {
public:
    explicit ProjectWindowView(ProjectWindowController *controller) : m_controller(controller) {}

    bool respondsToAction(const QString &action) const override {
        return m_controller && m_controller->respondsToAction(action);
    }
    void performAction(const QString &action, QObject *sender) override {
        if (m_controller)
            m_controller->performAction(action, sender);
    }
    bool validateAction(const QString &action, QAction *item) override {
        return m_controller && m_controller->validateAction(action, item);
    }

private:
    QPointer<ProjectWindowController> m_controller;
};

}  // namespace

ProjectWindowController::ProjectWindowController(QObject *parent) : platform::WindowController(parent) {}

ProjectWindowController::~ProjectWindowController() {
    // The list lives on with the window a moment longer.
    if (m_fileTable)
        m_fileTable->setDelegate(nullptr);
}

// --- The window ----------------------------------------------------------------------------

void ProjectWindowController::windowDidLoad() {
    platform::WindowController::windowDidLoad();
    KVXDocumentWindowController::setUpWindow(window());  // the main menu, as document windows have it
    convertWindow();
}

void ProjectWindowController::convertWindow() {
    QMainWindow *projectWindow = window();
    auto *content = new ProjectWindowView(this);

    m_fileTable = new TZRFileNavigatorMac;
    m_fileTable->setDelegate(this);
    m_searchField = m_fileTable->searchField();
    connect(m_searchField, &QLineEdit::textChanged, this, &ProjectWindowController::controlTextDidChange);

    m_preview = new platform::QuickPreview;

    double width = Defaults::standard().floatForKey(kWidthKey);
    if (!(width > 0))
        width = 200;  // a width that was never a width: the registered one
    m_paneView = new MatryoshkaView(MatryoshkaView::Panes::RightWithToggleByWidth, m_preview, m_fileTable, width,
                                   true);
    auto *layout = new QVBoxLayout(content);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_paneView);
    setContentWidget(content);

    platform::WindowTabs::setTabbingIdentifier(projectWindow, QStringLiteral("OrvaneDoc"));
    platform::WindowTabs::setTabbingMode(projectWindow, platform::WindowTabs::TabbingMode::Preferred);

    m_activeTheme = Defaults::standard().stringForKey(kDefaultThemeKey);
    applyDefaultTheme();
    // The sidebars' look, as the document windows' sidebars follow it.
    Defaults::standard().observe(QStringLiteral("appearanceTheme"), this,
                                 [this](const QVariant &) { applyAppearance(); });

    m_fileTable->tableView()->setFocus();

    connect(m_paneView, &MatryoshkaView::fixedTargetChanged, this,
            [](double size) { Defaults::standard().setFloat(float(size), kWidthKey); });
}

void ProjectWindowController::windowWillClose() {
    saveWindowSize();
    // A closed project no longer follows its folder.
    if (m_fileNavigator)
        disconnect(m_fileNavigator.get(), nullptr, this, nullptr);
    m_fileNavigator.reset();
    if (m_preview)
        m_preview->setPreviewItem(QString());
}

void ProjectWindowController::saveWindowSize() {
    const QString path = projectPath();
    if (isFullScreen() || path.isEmpty())
        return;
    setFrameAutosaveName(path);
    saveFrameUsingName(path);
}

void ProjectWindowController::close() {
    saveWindowSize();
    closeWindow();
}

void ProjectWindowController::gotoFirstTab() {
    const QList<QWidget *> tabs = platform::WindowTabs::tabbedWindows(window());
    if (!tabs.isEmpty())
        platform::WindowTabs::makeKeyAndOrderFront(tabs.first());
}

// --- The folder -------------------------------------------------------------------------------

QString ProjectWindowController::projectPath() const {
    return m_baseURL.isLocalFile() ? platform::standardizedPath(m_baseURL.toLocalFile()) : QString();
}

void ProjectWindowController::setBaseURL(const QUrl &url) {
    if (m_fileNavigator)
        disconnect(m_fileNavigator.get(), nullptr, this, nullptr);
    m_baseURL = url;
    m_fileNavigator = KVXFolderContents::initForURL(url);
    m_fileNavigator->sortByNewest();
    connect(m_fileNavigator.get(), &KVXFolderContents::filesChanged, this, &ProjectWindowController::listingChanged);
    showHierarchy(m_fileNavigator->fileHierarchy());

    const QString path = projectPath();
    window()->setWindowTitle(QFileInfo(path).fileName());
    setFrameAutosaveName(path);
    // The theme kept for this folder, now that the folder is known.
    applyDefaultTheme();
}

void ProjectWindowController::showHierarchy(const std::vector<platform::FileEntry> &hierarchy) {
    if (m_fileTable)
        m_fileTable->setData(hierarchy);
}

void ProjectWindowController::listingChanged() {
    // The new listing through the search the field shows: the list keeps its
    // filter (and the navigator its open folders and selection).
    if (!m_fileNavigator)
        return;
    const std::vector<platform::FileEntry> listed = m_fileNavigator->files();
    const QString query = m_searchField ? m_searchField->text() : QString();
    showHierarchy(platform::fileHierarchy(query.isEmpty() ? listed : platform::filesMatchingQuery(listed, query)));
}

void ProjectWindowController::controlTextDidChange(const QString &text) {
    if (!m_fileNavigator)
        return;
    showHierarchy(text.isEmpty() ? m_fileNavigator->fileHierarchy() : m_fileNavigator->fileHierarchyMatchingQuery(text));
}

// --- The file list's actions ---------------------------------------------------------------------

void ProjectWindowController::openFiles(const QList<SidebarRow> &files) {
    saveWindowSize();
    for (const SidebarRow &file : files) {
        const QString path = pathOf(file);
        // Told by the bytes of the path, which may not be UTF-8.
        const platform::PathStatus info = platform::pathStatus(path);
        // A folder is opened in the list itself.
        if (path.isEmpty() || info.isDir)
            continue;
        // Only a plain file is read as text: a pipe would never end.
        const QString type = platform::TypeRegistry::typeForPath(path);
        if (info.isFile && platform::TypeRegistry::conformsTo(type, QLatin1String(platform::types::kText)))
            openTextFile(path);
        else
            openElsewhere(path);
    }
}

void ProjectWindowController::openTextFile(const QString &path) {
    platform::DocumentController &documents = platform::DocumentController::shared();
    if (platform::Document *open = documents.documentForPath(path)) {
        open->showWindows();  // to the front, where it is
        return;
    }
    platform::Document *document = documents.openDocument(path, false);
    if (!document)
        return;  // the controller told the user why
    if (document->windowControllers().isEmpty())
        document->makeWindowControllers();
    if (QWidget *opened = document->firstWindow())
        platform::WindowTabs::addTabbedWindow(window(), opened);
}

void ProjectWindowController::openElsewhere(const QString &path) {
    const QUrl url = QUrl::fromLocalFile(path);
    if (!platform::Workspace::canOpenExternally(url)) {
        KVXAppDelegate::simpleAlertWithMessage(notOpenedMessage(path), QStringLiteral("Not Opened"));
        return;
    }
    if (!platform::Workspace::openExternally(url))
        KVXAppDelegate::simpleAlertWithMessage(
            QStringLiteral("No application could open “%1”.").arg(QFileInfo(path).fileName()),
            QStringLiteral("Not Opened"));
}

QString ProjectWindowController::notOpenedMessage(const QString &path) {
    return QStringLiteral("“%1” is not opened in another application: only documents are, never programs, "
                          "scripts, launchers or anything that is not a plain file.")
        .arg(QFileInfo(path).fileName());
}

void ProjectWindowController::selectFiles(const QList<SidebarRow> &files) {
    saveWindowSize();
    if (m_preview)
        m_preview->setPreviewItem(files.size() == 1 ? pathOf(files.first()) : QString());
}

// The files go to the trash, from where the desktop can put them back: the
// question says so instead of calling the step final.
QString ProjectWindowController::deleteQuestion(const QString &path, bool folder) {
    if (folder)
        return QStringLiteral("Are you certain you wish to delete the folder \"%1\" and everything in it?  "
                              "It will be moved to the trash.")
            .arg(path);
    return QStringLiteral("Are you certain you wish to delete the file \"%1\"?  It will be moved to the trash.")
        .arg(path);
}

void ProjectWindowController::deleteFiles(const QList<SidebarRow> &files) {
    saveWindowSize();
    for (const SidebarRow &file : files) {
        const QString path = pathOf(file);
        if (path.isEmpty())
            continue;
        const platform::PathStatus info = platform::pathStatus(path, false);
        const platform::Alert question{QStringLiteral("Warning"), deleteQuestion(platform::displayablePath(path), info.isDir),
                                       {QStringLiteral("OK"), QStringLiteral("Cancel")},
                                       platform::AlertStyle::Critical};
        if (platform::Alerts::runModal(question, window()) != 0)
            continue;
        // Into the trash, from where the desktop can put it back.
        QString reason;
        if (!platform::Trash::moveToTrash(path, nullptr, &reason)) {
            qCWarning(lcApp).noquote() << QStringLiteral("%1 was not deleted: %2").arg(path, reason);
            KVXAppDelegate::simpleAlertWithMessage(QStringLiteral("There was an error deleting the selected file."),
                                                   QStringLiteral("Error"));
        }
    }
}

void ProjectWindowController::revealFiles(const QList<SidebarRow> &files) {
    QStringList paths;
    for (const SidebarRow &file : files)
        if (const QString path = pathOf(file); !path.isEmpty())
            paths.append(path);
    platform::FileManager::revealFiles(paths);
}

// --- Theme -----------------------------------------------------------------------------------------

void ProjectWindowController::selectTheme(const QString &title) { applyThemeNamed(title); }

void ProjectWindowController::applyAppearance() {
    if (!m_fileTable)
        return;
    m_fileTable->applyAppearanceTheme();
    applyAppearanceToAssistant(m_fileTable);
    if (QWidget *pane = m_fileTable->parentWidget())
        pane->repaint();
}

void ProjectWindowController::applyThemeNamed(const QString &name) {
    applyAppearance();
    m_activeTheme = name;
    const QString path = projectPath();
    if (path.isEmpty())
        return;
    Defaults &defaults = Defaults::standard();
    if (name == defaults.stringForKey(kDefaultThemeKey))
        defaults.removeObject(themeKey(path));
    else
        defaults.setObject(name, themeKey(path));
}

void ProjectWindowController::applyDefaultTheme() {
    const QString path = projectPath();
    if (path.isEmpty())
        return;
    const Defaults &defaults = Defaults::standard();
    const QString kept = defaults.stringForKey(themeKey(path));
    if (!kept.isEmpty() && kept != defaults.stringForKey(kDefaultThemeKey))
        applyThemeNamed(kept);
}

void ProjectWindowController::applyAppearanceToAssistant(QWidget *view) {
    auto *pane = view ? qobject_cast<MatryoshkaView *>(view->parentWidget()) : nullptr;
    if (!pane)
        return;
    const qint64 appearance = Defaults::standard().integerForKey(QStringLiteral("appearanceTheme"));
    if (appearance < 2) {
        pane->setBackgroundColor(Qt::transparent);
    } else if (appearance == 2) {
        static const QColor grey = QColor::fromRgbF(kPlainSidebarGrey, kPlainSidebarGrey, kPlainSidebarGrey);
        pane->setBackgroundColor(grey);
    }
}

// --- Actions -----------------------------------------------------------------------------------------

bool ProjectWindowController::respondsToAction(const QString &action) const {
    return action == QLatin1String("selectTheme:") || action == QLatin1String("gotoFirstTab:") ||
           action == QLatin1String("performClose:");
}

void ProjectWindowController::performAction(const QString &action, QObject *sender) {
    if (action == QLatin1String("selectTheme:")) {
        auto *item = qobject_cast<QAction *>(sender);
        if (item)
            selectTheme(TZRThemeController::styleNameOf(item));
    } else if (action == QLatin1String("gotoFirstTab:")) {
        gotoFirstTab();
    } else if (action == QLatin1String("performClose:")) {
        close();
    }
}

bool ProjectWindowController::validateAction(const QString &action, QAction *item) {
    if (action == QLatin1String("selectTheme:") && item)
        return TZRThemeController::validateUserInterfaceItem(item, m_activeTheme);
    return true;
}

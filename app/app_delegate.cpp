#include "app/app_delegate.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFontDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <cmath>
#include <mutex>

#include "app/app_log.h"
#include "app/help/kvx_announcement_helper.h"
#include "app/documents/kvx_document_window_controller.h"
#include "app/help/kvx_static_web_window_controller.h"
#include "app/help/maker_addresses.h"
#include "app/documents/project_window_controller.h"
#include "app/documents/smart_editor_document.h"
#include "app/documents/smart_editor_document_controller.h"
#include "app/prefs/smart_editor_preferences.h"
#include "app/help/tzr_help_controller.h"
#include "app/extras/tzr_theme_controller.h"
#include "editor/input/context_menu_controllers.h"
#include "editor/input/kvx_key_bindings.h"
#include "textengine/settings/keybindings.h"
#include "platform/runtime/alerts.h"
#include "platform/prefs/defaults.h"
#include "platform/runtime/dispatch.h"
#include "platform/documents/document.h"
#include "platform/documents/document_controller.h"
#include "platform/documents/unsaved_documents.h"
#include "platform/documents/file_panels.h"
#include "platform/files/folders.h"
#include "platform/text/font_resolver.h"
#include "platform/text/key_modifiers.h"
#include "platform/files/kvx_folder_contents.h"
#include "platform/files/native_path.h"
#include "platform/prefs/registered_defaults.h"
#include "platform/documents/window_controller.h"
#include "platform/documents/window_tabs.h"
#include "platform/files/workspace.h"
#include "window/content/master_view_content.h"
#include "window/content/window_extras.h"

namespace {

const QString kTimeInUse = QStringLiteral("timeInUse");

// The windows' themes, style sheets and expansions: the user's extras.
class ThemeControllerExtras : public WindowExtras {
public:
    explicit ThemeControllerExtras(TZRThemeController *extras) : m_extras(extras) {}
    QString filePathForThemeNamed(const QString &name) const override {
        return m_extras->filePathForThemeNamed(name);
    }
    QString filePathForCSSNamed(const QString &name) const override { return m_extras->filePathForCSSNamed(name); }
    ExtrasProvider *expansions() const override { return m_extras; }

private:
    TZRThemeController *m_extras;
};

}  // namespace

void AppDelegate::initialize() {
    static std::once_flag registered;
    std::call_once(registered, [] { platform::registerDefaults(platform::Defaults::standard()); });
}

AppDelegate::AppDelegate(platform::Defaults *defaults, TZRThemeController *extras,
                         SmartEditorPreferences *preferences, QObject *parent)
    : KVXAppDelegate(defaults, parent),
      m_extras(extras ? extras : TZRThemeController::sharedController()),
      m_preferences(preferences),
      m_mainMenu(std::make_unique<MainMenu>()) {
    m_extras->setThemeMenu(m_mainMenu->themeMenu());
    m_extras->setCSSMenu(m_mainMenu->cssMenu());
    m_extras->updateThemeMenu();
    m_extras->updateCSSMenu();

    auto *announcements = KVXAnnouncementHelper::sharedHelper();
    m_commands = {
        {QStringLiteral("showPreferences:"), [this] { showPreferences(); }},
        {QStringLiteral("showCheatSheet:"), [this] { showCheatSheet(); }},
        {QStringLiteral("showGuide:"), [this] { showGuide(); }},
        {QStringLiteral("myChangeFont:"), [this] { myChangeFont(); }},
        {QStringLiteral("terminate:"), [this] { terminate(); }},
        {QStringLiteral("orderFrontStandardAboutPanel:"),
         [] {
             simpleAlertWithMessage(QStringLiteral("Version %1\nA Markdown editor for Tessaro markup.")
                                        .arg(versionBuildString()),
                                    QStringLiteral("Tessaro Orvane"));
         }},
        {QStringLiteral("showNewMessage:"), [announcements] { announcements->showNewMessage(); }},
        {QStringLiteral("showLastMessage:"), [announcements] { announcements->showLastMessage(); }},
        {QStringLiteral("loadSignup:"), [announcements] { announcements->loadSignup(); }},
        {QStringLiteral("openThemesFolder:"), [this] { m_extras->openThemesFolder(); }},
        {QStringLiteral("openCSSFolder:"), [this] { m_extras->openCSSFolder(); }},
        {QStringLiteral("openExpansionFolder:"), [this] { m_extras->openExpansionFolder(); }},
        {QStringLiteral("openKeyBindingsFolder:"), [this] { m_extras->openKeyBindingsFolder(); }},
        {QStringLiteral("getMoreThemes:"), [this] { m_extras->getMoreThemes(); }},
        {QStringLiteral("newDocument:"), [this] { openDocuments({QString()}); }},
        {QStringLiteral("openDocument:"), [this] { openDocumentsWithPanel(); }},
        {QStringLiteral("clearRecentDocuments:"),
         [] { platform::DocumentController::shared().clearRecentDocuments(); }},
        {QStringLiteral("arrangeInFront:"),
         [] {
             for (QWidget *window : QApplication::topLevelWidgets())
                 if (window->isVisible())
                     window->raise();
         }},
    };
    // The window a later start of the program brings forward.
    if (auto *application = qobject_cast<QApplication *>(QCoreApplication::instance()))
        connect(application, &QGuiApplication::focusWindowChanged, this, [this] {
            if (QWidget *active = QApplication::activeWindow())
                m_lastActiveWindow = active;
        });
    for (const TZRHelpController::Page &page : TZRHelpController::pages())
        m_commands.insert(page.action, [action = page.action] { TZRHelpController::sharedController().perform(action); });
    platform::ActionRouter::addApplicationResponder(this);
}

AppDelegate::~AppDelegate() {
    if (m_documentsInstalled) {
        KVXKeyBindings::sharedController().setProvider(nullptr);
        SmartTextContextMenuController::sharedController().setSource(nullptr);
        KVXDocumentWindowController::setWindowSetUp({});
        SmartEditorDocument::setContentFactory({});
        platform::DocumentController::shared().setDocumentFactory({});
        if (WindowExtras::shared() == m_windowExtras.get())
            WindowExtras::setShared(nullptr);
    }
    platform::ActionRouter::removeApplicationResponder(this);
    m_extras->setThemeMenu(nullptr);
    m_extras->setCSSMenu(nullptr);
    delete m_fontPanel;
}

SmartEditorPreferences *AppDelegate::preferences() {
    return m_preferences ? m_preferences : SmartEditorPreferences::sharedPrefsWindowController();
}

// --- Launch and quit -------------------------------------------------------------

void AppDelegate::applicationWillFinishLaunching() {
    if (defaults().boolForKey(QStringLiteral("useKeyBindingsForMenuBar")))
        applyCustomKeyBindings();
}

void AppDelegate::applicationDidFinishLaunching() {
    KVXAppDelegate::applicationDidFinishLaunching();
    if (const QString problem = defaults().fileProblem(); !problem.isEmpty())
        simpleAlertWithMessage(problem, QStringLiteral("Your preferences could not be read"));
    tellTextsKeptAtQuit();

    m_cheatSheet = std::make_unique<KVXStaticWebWindowController>(KVXStaticWebWindowController::syntaxGuideTitle());
    m_guide = std::make_unique<KVXStaticWebWindowController>(KVXStaticWebWindowController::programGuideTitle());

    KVXAnnouncementHelper *announcements = KVXAnnouncementHelper::sharedHelper();
    announcements->setMessageURL(QString::fromLatin1(maker::kAnnouncementAddress));
    announcements->setMailingListSignupPage(QString::fromLatin1(maker::kMailingListSignupPage));
    if (defaults().boolForKey(QStringLiteral("checkForAnnouncements")))
        announcements->showNewMessage();

    setTimeInUseTarget();

    // No cloud account on this platform: its identity and folder stay absent.
    defaults().removeObject(QStringLiteral("iCloudURL"));
    defaults().removeObject(QStringLiteral("iCloudToken"));
}

void AppDelegate::applicationWillTerminate() {
    // A quit that closed no window (a terminating signal at log-out) would
    // otherwise drop the edits still waiting for their save in place; none
    // goes over another program's version that nobody saw (it stays, and
    // the edits go beside it).
    for (platform::Document *document : platform::DocumentController::shared().documents())
        document->saveBeforeQuitting();
    updateTimeInUse();
    KVXAppDelegate::applicationWillTerminate();
}

void AppDelegate::tellTextsKeptAtQuit() {
    const QList<platform::Document::TextKeptAtQuit> kept = platform::Document::textsKeptAtQuit(defaults());
    if (kept.isEmpty())
        return;
    QStringList told;
    for (const platform::Document::TextKeptAtQuit &text : kept) {
        const QString file = platform::displayablePath(text.file);
        told << (text.keptIn.isEmpty()
                     ? QStringLiteral("Your edits to “%1” could not be kept anywhere.").arg(file)
                     : QStringLiteral("Your edits to “%1” are in “%2”.").arg(file, platform::displayablePath(text.keptIn)));
        if (!text.why.isEmpty())
            told.last() += u' ' + text.why;
    }
    const platform::Alert alert{QStringLiteral("When Orvane last quit, it could not save your edits in their files."),
                                told.join(QStringLiteral("\n\n")),
                                {QStringLiteral("OK")},
                                platform::AlertStyle::Warning};
    // Forgotten once seen: a start that ends before the alert is answered
    // (the session ending again) leaves it for the next.
    platform::Dispatch::main(this, [this, alert, kept] {
        if (platform::Alerts::runModal(alert) >= 0)
            platform::Document::forgetTextsKeptAtQuit(defaults(), kept);
    });
}

void AppDelegate::bringBackUnsavedDocuments(const QString &folder) {
    platform::UnsavedDocuments::Claim claim(folder.isEmpty() ? platform::UnsavedDocuments::folder() : folder);
    const QList<platform::UnsavedDocuments::Claim::Entry> entries = claim.take();
    if (entries.isEmpty())
        return;
    platform::DocumentController &documents = platform::DocumentController::shared();
    // Files that cannot be opened are told together, after the others.
    platform::DocumentController::OpenBatch batch(documents);
    QStringList notBack, elsewhere;
    for (const platform::UnsavedDocuments::Claim::Entry &entry : entries) {
        if (!entry.document) {
            const QString path = claim.giveBack(entry);
            qCWarning(lcApp).noquote()
                << QStringLiteral("The document kept in %1 cannot be read: %2").arg(path, entry.problem);
            notBack << QStringLiteral("“%1”: %2").arg(platform::displayablePath(path), entry.problem);
            continue;
        }
        const platform::UnsavedDocument &kept = *entry.document;
        platform::Document *document = nullptr;
        // Into its file's window; one open already holds a text of its own
        // (another kept for the same file), and this one goes elsewhere.
        if (!kept.filePath.isEmpty() && !documents.documentForPath(kept.filePath))
            document = documents.openDocument(kept.filePath);
        if (!document) {
            document = documents.openUntitledDocument();
            // Its own name again, unless another window has it now.
            bool taken = kept.untitledNumber < 1;
            for (platform::Document *other : documents.documents())
                taken = taken || (other != document && other->filePath().isEmpty() &&
                                  other->untitledNumber() == kept.untitledNumber);
            if (document && kept.filePath.isEmpty() && !taken)
                document->setUntitledNumber(kept.untitledNumber);
        }
        if (!document || !document->takeBackUnsavedDocument(kept)) {
            if (document)
                document->close();
            const QString path = claim.giveBack(entry);
            notBack << QStringLiteral("“%1”: it could not be opened in a window.").arg(platform::displayablePath(path));
            continue;
        }
        claim.release(entry);
        if (!kept.filePath.isEmpty() && document->filePath().isEmpty())
            elsewhere << QStringLiteral("Your edits to “%1” are in the window “%2”: the file could not be opened.")
                             .arg(platform::displayablePath(kept.filePath), document->displayName());
    }
    if (!elsewhere.isEmpty())
        simpleAlertWithMessage(elsewhere.join(QStringLiteral("\n\n")),
                               QStringLiteral("Edits kept when Orvane last ended are in untitled windows."));
    if (!notBack.isEmpty())
        simpleAlertWithMessage(
            notBack.join(QStringLiteral("\n\n")) +
                (notBack.size() == 1 ? QStringLiteral("\n\nIt stays where it is; remove it once you no longer need it.")
                                     : QStringLiteral("\n\nThey stay where they are; remove each once you no longer "
                                                      "need it.")),
            notBack.size() == 1 ? QStringLiteral("A document kept when Orvane last ended could not be brought back.")
                                : QStringLiteral("%1 documents kept when Orvane last ended could not be brought back.")
                                      .arg(notBack.size()));
}

// --- The crash offer -----------------------------------------------------------------

QString AppDelegate::crashAlertInformation() {
    return QStringLiteral(
        "It appears that Tessaro Orvane did not quit properly.  This can happen if you reboot your "
        "machine, if you force quit Orvane, or if Orvane crashes. If you believe this was an actual "
        "crash, please report it so it can be fixed for the future (Instructions will appear in the "
        "email body for you).  Thanks!!");
}

QUrl AppDelegate::crashReportMail() const {
    const QString body =
        QStringLiteral("I was using Tessaro Orvane %1 and had a crash.\n\n"
                       "Please attach the crash reports of Orvane from the folder %2 (the files whose "
                       "names mention orvane), or the output of \"coredumpctl info orvane\".\n\n"
                       "What I was doing when it crashed:\n\n")
            .arg(versionBuildString(), m_crashReportsFolder);
    return QUrl(QStringLiteral("mailto:%1?subject=Tessaro%20Orvane%20Crash&body=%2")
                    .arg(QString::fromLatin1(maker::kSupportMail),
                         QString::fromLatin1(QUrl::toPercentEncoding(body))));
}

void AppDelegate::appCrashed() {
    const QString folder = m_crashReportsFolder;
    platform::Dispatch::main(this, [this, folder] {
        const int choice = platform::Alerts::runModal(
            {crashAlertMessage(), crashAlertInformation(),
             {QStringLiteral("Report Crash"), QStringLiteral("False Alarm")}});
        if (choice != 0)
            return;
        openOutside(crashReportMail());
        if (QFileInfo(folder).isDir())
            QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    });
}

void AppDelegate::openOutside(const QUrl &url) { platform::Workspace::openExternally(url); }

// --- Time in use ---------------------------------------------------------------------

qint64 AppDelegate::milestoneHours(qint64 hours) {
    if (hours <= 0)
        return 1;
    if (hours < 10)
        return 10;
    if (hours < 100)
        return 100;
    if (hours < 1000)
        return hours / 100 * 100 + 100;
    return hours / 1000 * 1000 + 1000;
}

QString AppDelegate::thankYouMessage(double seconds) {
    const qint64 hours = qint64(std::floor(seconds / 3600.0));
    if (hours == 1)
        return QStringLiteral("You've logged over an hour using Tessaro Orvane. We hope it has served you well!");
    return QStringLiteral("You've logged over %1 hours using Tessaro Orvane. We hope it has served you well!")
        .arg(hours);
}

void AppDelegate::setTimeInUseTarget() {
    const double t = defaults().floatForKey(kTimeInUse);
    const qint64 milestone = milestoneHours(qint64(std::floor(t / 60.0 / 60.0)));
    m_targetTimeInUse = milestone * 3600;
    // The timer runs on the clock while the count grows only while the
    // program is active: a timer that fires early re-arms for the rest, and
    // so does one cut to a day.
    const qint64 wait = std::clamp<qint64>(m_targetTimeInUse - qint64(t), 0, kMaxTimerSeconds);
    if (!m_ourTimer) {
        m_ourTimer = new QTimer(this);
        m_ourTimer->setSingleShot(true);
        m_ourTimer->setTimerType(Qt::VeryCoarseTimer);
        connect(m_ourTimer, &QTimer::timeout, this, &AppDelegate::checkTimeInUse);
    }
    m_ourTimer->start(std::chrono::seconds(wait));
}

void AppDelegate::checkTimeInUse() {
    updateTimeInUse();
    const double t = defaults().floatForKey(kTimeInUse);
    if (t > double(m_targetTimeInUse))
        simpleAlertWithMessage(thankYouMessage(t), QStringLiteral("Thank you!"));
    setTimeInUseTarget();
}

// --- Menu key bindings ---------------------------------------------------------------

void AppDelegate::applyCustomKeyBindings() {
    stack *table = m_extras->keyBindingStack();
    if (table)
        applyBindings(table, m_mainMenu->menu());
    key_bindings_free(table);
}

QKeySequence AppDelegate::keyEquivalentForBinding(const key_binding *binding) {
    if (!binding)
        return {};
    static const QHash<uint16_t, Qt::Key> named = {
        {0xF700, Qt::Key_Up},     {0xF701, Qt::Key_Down},     {0xF702, Qt::Key_Left},
        {0xF703, Qt::Key_Right},  {0xF728, Qt::Key_Delete},   {0xF729, Qt::Key_Home},
        {0xF72B, Qt::Key_End},    {0xF72C, Qt::Key_PageUp},   {0xF72D, Qt::Key_PageDown},
        {0x09, Qt::Key_Tab},      {0x19, Qt::Key_Backtab},    {0x0D, Qt::Key_Return},
        {0x03, Qt::Key_Enter},    {0x1B, Qt::Key_Escape},     {0x7F, Qt::Key_Backspace},
        {0x08, Qt::Key_Backspace}, {0x20, Qt::Key_Space},
    };
    Qt::Key key;
    if (auto it = named.constFind(binding->key); it != named.constEnd())
        key = *it;
    else if (binding->key >= 0xF704 && binding->key <= 0xF726)
        key = Qt::Key(Qt::Key_F1 + (binding->key - 0xF704));
    else
        // The table keeps letters upper-cased; a key equivalent is the
        // lower-case letter, which Qt names by its upper-case key.
        key = Qt::Key(QChar(binding->key).toLower().toUpper().unicode());
    return QKeySequence(QKeyCombination(platform::qtModifiers(binding->modifiers), key));
}

namespace {

void applyBindingsTo(const stack *table, QMenu *menu, bool isMainMenu, bool onlyEarlySubmenus) {
    const QList<QAction *> items = menu->actions();
    int separators = 0;
    for (qsizetype index = 0; index < items.size(); index++) {
        QAction *item = items.at(index);
        const QString action = platform::ActionRouter::actionOf(item);
        const key_binding *binding =
            action.isEmpty() ? nullptr : key_bindings_find_action(table, action.toUtf8().constData());
        if (binding) {
            item->setShortcut(AppDelegate::keyEquivalentForBinding(binding));
            continue;
        }
        if (item->isSeparator()) {
            separators++;
        } else if (QMenu *submenu = item->menu()) {
            // The third menu's standard submenus, after its second
            // separator, keep their own keys.
            if (onlyEarlySubmenus && separators >= 2)
                continue;
            applyBindingsTo(table, submenu, false, isMainMenu && index == 2);
        }
    }
}

}  // namespace

void AppDelegate::applyBindings(const stack *table, QMenu *menu) {
    if (table && menu)
        applyBindingsTo(table, menu, true, false);
}

// --- Commands --------------------------------------------------------------------------

void AppDelegate::showPreferences() { preferences()->showWindow(); }

void AppDelegate::showCheatSheet() { showGuideWindow(m_cheatSheet, KVXStaticWebWindowController::syntaxGuideTitle()); }

void AppDelegate::showGuide() { showGuideWindow(m_guide, KVXStaticWebWindowController::programGuideTitle()); }

void AppDelegate::showGuideWindow(std::unique_ptr<KVXStaticWebWindowController> &guide, const QString &title) {
    if (!guide)
        guide = std::make_unique<KVXStaticWebWindowController>(title);
    // Under the main menu, as every window of the program: its zoom and
    // close items reach the guide.
    if (QMainWindow *window = guide->window(); window->menuBar()->actions().isEmpty())
        installMainMenu(window);
    guide->showWindow();
}

void AppDelegate::myChangeFont() {
    SmartEditorPreferences *prefs = preferences();
    QFont current = platform::FontResolver::font(defaults().stringForKey(QStringLiteral("defaultFontName")),
                                                 defaults().doubleForKey(QStringLiteral("defaultFontSize")));
    // Named, so that the chooser shows the font's own face rather than the
    // first its family lists.
    current.setStyleName(platform::FontResolver::styleNameOf(current));
    if (!m_fontPanel) {
        m_fontPanel = new QFontDialog(current, prefs->isWindowLoaded() ? prefs->window() : nullptr);
        m_fontPanel->setObjectName(QStringLiteral("fontPanel"));
        m_fontPanel->setWindowTitle(tr("Default Font"));
        connect(m_fontPanel, &QFontDialog::currentFontChanged, this, &AppDelegate::myFontChanged);
        connect(m_fontPanel, &QFontDialog::fontSelected, this, &AppDelegate::myFontChanged);
    } else {
        m_fontPanel->setCurrentFont(current);
    }
    if (prefs->isWindowLoaded() && prefs->defaultFontField())
        prefs->defaultFontField()->setFocus(Qt::OtherFocusReason);
    m_fontPanel->show();
    m_fontPanel->raise();
}

void AppDelegate::myFontChanged(const QFont &font) {
    defaults().setObject(font.family(), QStringLiteral("defaultFontName"));
    defaults().setFloat(float(font.pointSizeF()), QStringLiteral("defaultFontSize"));
}

void AppDelegate::terminate() {
    if (closeAllWindows())
        QCoreApplication::quit();
}

bool AppDelegate::closeAllWindows() {
    for (QWidget *window : QApplication::topLevelWidgets())
        if (window->isVisible() && !window->close() && window->isVisible())
            return false;
    return true;
}

void AppDelegate::testFileNavigatorLocal() {
    std::unique_ptr<KVXFolderContents> contents = KVXFolderContents::initForLocal();
    if (!contents)
        return;
    for (const auto &entry : contents->fileHierarchy())
        qCInfo(lcApp).noquote() << entry.path;
}

// --- Documents ---------------------------------------------------------------------------

void AppDelegate::installDocumentMachinery() {
    m_documentsInstalled = true;
    m_windowExtras = std::make_unique<ThemeControllerExtras>(m_extras);
    WindowExtras::setShared(m_windowExtras.get());
    SmartEditorDocument::setContentFactory([] { return new MasterViewContent; });
    KVXDocumentWindowController::setWindowSetUp([this](QMainWindow *window) { installMainMenu(window); });
    KVXKeyBindings::sharedController().setProvider(m_extras);
    SmartTextContextMenuController::sharedController().setSource(m_mainMenu.get());
    platform::DocumentController &documents = platform::DocumentController::shared();
    documents.setDocumentFactory([](const QString &) { return new SmartEditorDocument; });
    setDocumentOpener([](const QString &path) {
        platform::DocumentController &documents = platform::DocumentController::shared();
        if (path.isEmpty())
            documents.openUntitledDocument();
        else
            documents.openDocument(path);
    });
    // Open Recent lists the documents' recent files, and lists them again
    // as soon as a file is opened or saved (every window shares the menu).
    m_mainMenu->setRecentDocumentsSource([] { return platform::DocumentController::shared().recentDocumentPaths(); });
    connect(&documents, &platform::DocumentController::recentDocumentsChanged, this,
            [this] { m_mainMenu->updateOpenRecentMenu(); });
}

void AppDelegate::openDocuments(const QStringList &paths) {
    for (const QString &path : paths)
        if (m_documentOpener)
            m_documentOpener(path);
}

void AppDelegate::openRecentDocument(const QString &path) {
    if (path.isEmpty())
        return;
    if (!platform::pathStatus(path).exists) {
        // Gone since it was listed: said so, and off the list.
        platform::DocumentController::shared().forgetRecentDocument(path);
        const QFileInfo file(platform::displayablePath(path));
        platform::Alerts::runModal(
            {tr("The document “%1” no longer exists.").arg(file.fileName()),
             tr("It was in the folder %1. It is taken off the recent documents.").arg(file.path()),
             {tr("OK")},
             platform::AlertStyle::Warning});
        return;
    }
    openDocuments({path});
}

void AppDelegate::openDocumentsWithPanel() {
    platform::OpenPanel panel;
    panel.title = tr("Open");
    panel.directory = platform::Folders::documentsFolder();
    panel.allowsMultipleSelection = true;
    platform::Document *current = platform::DocumentController::shared().currentDocument();
    const QStringList paths = platform::FilePanels::runOpenPanel(panel, current ? current->firstWindow() : nullptr);
    openDocuments(paths);
}

// --- Starts of the program ------------------------------------------------------------

QWidget *AppDelegate::openCommandLinePaths(const QStringList &paths) {
    platform::DocumentController &documents = platform::DocumentController::shared();
    auto *projects = qobject_cast<SmartEditorDocumentController *>(&documents);
    // Those that cannot be opened are told together, once all the others
    // are open.
    platform::DocumentController::OpenBatch batch(documents);
    QWidget *last = nullptr;
    for (const QString &path : paths) {
        if (projects && platform::pathStatus(path).isDir) {
            projects->openFolderURL(QUrl::fromLocalFile(path));
            if (!projects->openProjects().empty())
                last = projects->openProjects().back()->window();
            continue;
        }
        openDocuments({path});
        if (platform::Document *document = documents.documentForPath(path); document && document->firstWindow())
            last = document->firstWindow();
    }
    return last;
}

void AppDelegate::bringForward(QWidget *window) {
    const auto shown = [](QWidget *candidate) { return candidate && candidate->isVisible() ? candidate : nullptr; };
    if (!window)
        window = shown(m_lastActiveWindow);
    if (!window) {
        if (platform::Document *current = platform::DocumentController::shared().currentDocument())
            window = shown(current->firstWindow());
    }
    if (!window) {
        for (QWidget *candidate : QApplication::topLevelWidgets())
            if ((qobject_cast<platform::DocumentWindow *>(candidate) ||
                 platform::WindowTabs::isGroupWindow(candidate)) &&
                candidate->isVisible())
                window = candidate;
    }
    if (!window) {
        openDocuments({QString()});
        if (platform::Document *current = platform::DocumentController::shared().documents().value(0))
            window = current->firstWindow();
    }
    if (!window)
        return;
    platform::WindowTabs::makeKeyAndOrderFront(window);
    // Windows shown just now (a folder and a file handed over together) each
    // become active as they reach the screen, in turn: the one brought
    // forward is made active again once it is on screen, after them.
    QPointer<QWidget> front = window->window();
    auto *onScreen = new QTimer(this);
    onScreen->setInterval(20);
    connect(onScreen, &QTimer::timeout, this, [onScreen, front, tries = 0]() mutable {
        QWindow *handle = front ? front->windowHandle() : nullptr;
        const bool exposed = handle && handle->isExposed();
        if (!exposed && front && ++tries < 100)
            return;  // not on screen yet
        onScreen->stop();
        onScreen->deleteLater();
        if (exposed && QApplication::activeWindow() != front)
            platform::WindowTabs::makeKeyAndOrderFront(front);
    });
    onScreen->start();
}

// --- Responder -------------------------------------------------------------------------

bool AppDelegate::respondsToAction(const QString &action) const {
    return m_commands.contains(action) || action == MainMenu::openRecentAction();
}

void AppDelegate::performAction(const QString &action, QObject *sender) {
    if (action == MainMenu::openRecentAction()) {
        if (auto *item = qobject_cast<QAction *>(sender))
            openRecentDocument(item->data().toString());
        return;
    }
    if (auto it = m_commands.constFind(action); it != m_commands.constEnd())
        (*it)();
}

bool AppDelegate::validateAction(const QString &action, QAction *) {
    if (action == QLatin1String("newDocument:") || action == QLatin1String("openDocument:") ||
        action == MainMenu::openRecentAction())
        return bool(m_documentOpener);
    if (action == QLatin1String("clearRecentDocuments:"))
        return m_documentsInstalled;
    return true;
}

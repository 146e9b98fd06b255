#include "app/documents/smart_editor_document.h"

#include <QAction>
#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFileInfo>
#include <QPageLayout>
#include <QPointer>
#include <QPrinter>
#include <QScopeGuard>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cstdlib>
#include <utility>

#include "app/app_log.h"
#include "app/documents/export_types.h"
#include "app/documents/kvx_document_window_controller.h"
#include "app/documents/print_templates.h"
#include "app/extras/tzr_theme_controller.h"
#include "library/tzr.h"
#include "library/writers/textbundle.h"
#include "platform/documents/document_controller.h"
#include "platform/documents/file_tags.h"
#include "platform/documents/safe_write.h"
#include "platform/documents/type_registry.h"
#include "platform/documents/window_tabs.h"
#include "platform/prefs/defaults.h"
#include "platform/runtime/alerts.h"
#include "platform/text/critic_diff.h"
#include "window/bridge/engine_editor_link.h"
#include "window/bridge/tzr_engine.h"
#include "window/content/basic_document_content.h"
#include "window/content/document_content.h"
#include "window/preview/smart_web_view.h"

using platform::Alerts;
using platform::Defaults;
namespace types = platform::types;

namespace {

const QString kTextBundleExtension = QStringLiteral("textbundle");
const QString kTextBundleText = QStringLiteral("text.markdown");

SmartEditorDocument::ContentFactory &contentFactory() {
    static SmartEditorDocument::ContentFactory factory;
    return factory;
}

SmartEditorDocument::StylePaths &themePaths() {
    static SmartEditorDocument::StylePaths paths;
    return paths;
}

SmartEditorDocument::StylePaths &cssPaths() {
    static SmartEditorDocument::StylePaths paths;
    return paths;
}

QString themePath(const QString &name) {
    return themePaths() ? themePaths()(name) : TZRThemeController::sharedController()->filePathForThemeNamed(name);
}

QString cssPath(const QString &name) {
    return cssPaths() ? cssPaths()(name) : TZRThemeController::sharedController()->filePathForCSSNamed(name);
}

bool isTextBundlePath(const QString &path) {
    return !path.isEmpty() && QFileInfo(path).suffix().compare(kTextBundleExtension, Qt::CaseInsensitive) == 0;
}

// Whether the document at `path` keeps its text in a package's text file: a
// TextBundle folder, or one still to be made. A plain file that only has a
// package's name is its own text.
bool keepsTextInPackage(const QString &path) { return isTextBundlePath(path) && !QFileInfo(path).isFile(); }

// Copies the files below `from` into `to`, keeping their places.
bool copyTree(const QString &from, const QString &to, QString *error) {
    QDirIterator walk(from, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden,
                      QDirIterator::Subdirectories);
    while (walk.hasNext()) {
        const QString source = walk.next();
        const QString target = to + u'/' + QDir(from).relativeFilePath(source);
        const bool ok = walk.fileInfo().isDir() ? QDir().mkpath(target) : QFile::copy(source, target);
        if (!ok) {
            if (error)
                *error = QStringLiteral("The package's file “%1” could not be copied.").arg(walk.fileName());
            return false;
        }
    }
    return true;
}

// The outside previewer is a program of another platform: never here.
bool openFileWithApplication(const QString &, const QString &) { return false; }

QString joined(const QStringList &tags) { return tags.join(QStringLiteral(", ")); }

}  // namespace

SmartEditorDocument::SmartEditorDocument(QObject *parent) : KVXTextDocument(parent) {
    connect(this, &platform::Document::filePathChanged, this, &SmartEditorDocument::fileURLChanged);
}

SmartEditorDocument::~SmartEditorDocument() = default;

void SmartEditorDocument::setContentFactory(ContentFactory factory) { contentFactory() = std::move(factory); }

void SmartEditorDocument::setStylePaths(StylePaths themes, StylePaths styleSheets) {
    themePaths() = std::move(themes);
    cssPaths() = std::move(styleSheets);
}

QString SmartEditorDocument::actualFilePath() const {
    const QString path = filePath();
    return keepsTextInPackage(path) ? path + u'/' + kTextBundleText : path;
}

QString SmartEditorDocument::guessTitle() const {
    const QString text = _textView ? _textView->text() : fileString();
    if (!text.isEmpty()) {
        if (m_content) {
            const QString title = m_content->metadataForKey(QStringLiteral("title")).value_or(QString()).trimmed();
            if (!title.isEmpty())
                return title;
        }
        const QString line = text.section(u'\n', 0, 0).trimmed();
        if (!line.isEmpty())
            return line;
    }
    return displayName();
}

QWidget *SmartEditorDocument::documentWindow() const {
    return windowControllers().size() == 1 ? windowControllers().first()->window() : nullptr;
}

// --- Reading ----------------------------------------------------------------------------

std::optional<QByteArray> SmartEditorDocument::contentsOfPath(const QString &path, const QString &type, QString *error,
                                                              platform::FileState *state) const {
    if (keepsTextInPackage(path))
        return KVXTextDocument::contentsOfPath(path + u'/' + kTextBundleText, type, error, state);
    return KVXTextDocument::contentsOfPath(path, type, error, state);
}

bool SmartEditorDocument::readFromData(const QByteArray &data, const QString &type, QString *error) {
    const bool firstRead = !_textView;
    if (!KVXTextDocument::readFromData(data, type, error))
        return false;
    if (firstRead && Defaults::standard().boolForKey(QStringLiteral("autoTag")))
        checkTags();
    return true;
}

void SmartEditorDocument::checkTags() {
    const std::optional<QStringList> metadata = TZREngine::tzrTagsFromString(fileString());
    if (!metadata || metadata->isEmpty() || filePath().isEmpty())
        return;
    // A file system that keeps no tags has none to disagree with.
    const std::optional<QStringList> system = platform::FileTags::tags(filePath());
    if (!system)
        return;
    const QSet<QString> metadataSet(metadata->begin(), metadata->end());
    const QSet<QString> systemSet(system->begin(), system->end());
    if (metadataSet == systemSet)
        return;
    const int answer = Alerts::runModal(
        {QStringLiteral("Tags out of sync"),
         QStringLiteral("The tags specified in the metadata differ from those set as file tags.\n\nMetadata: "
                        "<%1>\n\nFile tags: <%2>")
             .arg(joined(*metadata), joined(*system)),
         {QStringLiteral("Update file tags"), QStringLiteral("Update metadata tags"), QStringLiteral("Leave as is")},
         platform::AlertStyle::Informational});
    if (answer == 0) {
        QString reason;
        if (!platform::FileTags::setTags(filePath(), *metadata, &reason))
            reportError(QStringLiteral("The tags of “%1” could not be changed.").arg(displayName()), reason);
    } else if (answer == 1) {
        char *updated = tzr_string_update_metavalue_for_key(_fileString.constData(), "tags",
                                                            joined(*system).toUtf8().constData());
        // The window shows the new metadata; the file still has the old, so
        // the document holds an edit until it is saved.
        if (updated)
            m_initialText = QString::fromUtf8(updated);
        free(updated);
    }
}

// --- Writing ----------------------------------------------------------------------------

std::optional<platform::Document::SaveSnapshot> SmartEditorDocument::snapshotForSave(const QString &type) {
    // A package keeps its other files: its text goes in on this thread.
    if (exporttypes::formatForType(type) || isTextBundlePath(filePath()))
        return std::nullopt;
    if (m_content)
        m_content->setOkToUpdatePreview(true);
    return KVXTextDocument::snapshotForSave(type);
}

std::optional<QByteArray> SmartEditorDocument::dataOfType(const QString &type, QString *error) {
    if (m_content)
        m_content->setOkToUpdatePreview(true);
    const std::optional<short> format = exporttypes::formatForType(type);
    if (!format)
        return KVXTextDocument::dataOfType(type, error);
    if (!m_content) {
        if (error)
            *error = QStringLiteral("A document exports only from its window.");
        return std::nullopt;
    }
    QByteArray data = m_content->exportToFormat(*format, &m_leftOutOfExport);
    if (data.isEmpty()) {
        m_leftOutOfExport.clear();
        if (error)
            *error = QStringLiteral("The export in this format made nothing, so no file was written.");
        return std::nullopt;
    }
    Defaults::standard().setObject(type, QStringLiteral("lastExportType"));
    return data;
}

// An export written says once which of the files the document names it left
// out of its package, and why, so that nobody shares the file believing it
// whole.
void SmartEditorDocument::didWrite(const QString &path, const QString &type, platform::SaveOperation operation) {
    const LeftOutFiles leftOut = std::exchange(m_leftOutOfExport, {});
    KVXTextDocument::didWrite(path, type, operation);
    if (operation != platform::SaveOperation::SaveTo || leftOut.isEmpty())
        return;
    const struct {
        uint16_t reason;
        QString why;
    } reasons[] = {
        {TZR_LEFT_OUT_UNAVAILABLE, QStringLiteral("These could not be read or downloaded:")},
        {TZR_LEFT_OUT_TOO_LARGE, QStringLiteral("These are larger than 64 MiB, the most an export takes of a file:")},
        {TZR_LEFT_OUT_NOT_HELD, QStringLiteral("These are not pictures (or a style sheet) that this format can hold:")},
    };
    QStringList paragraphs;
    for (const auto &r : reasons) {
        QStringList addresses;
        for (const LeftOutFile &file : leftOut)
            if (file.reason == r.reason)
                addresses.append(file.address);
        if (!addresses.isEmpty())
            paragraphs.append(r.why + QStringLiteral("\n\n") + addresses.join(u'\n'));
    }
    Alerts::runModal({QStringLiteral("“%1” was exported without some of the files the document names.")
                          .arg(QFileInfo(path).fileName()),
                      paragraphs.join(QStringLiteral("\n\n")),
                      {QStringLiteral("OK")},
                      platform::AlertStyle::Informational},
                     firstWindow());
}

bool SmartEditorDocument::writeToPath(const QString &path, const QString &type, platform::SaveOperation operation,
                                      QByteArray *written, QString *error) {
    if (exporttypes::formatForType(type) || !isTextBundlePath(path))
        return KVXTextDocument::writeToPath(path, type, operation, written, error);
    const std::optional<QByteArray> text = dataOfType(type, error);
    if (!text || !writeTextBundle(path, *text, error))
        return false;
    if (written)
        *written = *text;
    return true;
}

// The package's text is replaced on its own: the package and its assets stay.
// A new package gets its info.json, and the assets of the package the
// document came from.
bool SmartEditorDocument::writeTextBundle(const QString &path, const QByteArray &text, QString *error) {
    const QFileInfo package(path);
    if (package.exists() && !package.isDir()) {
        if (error)
            *error = QStringLiteral("A file stands where the package “%1” would be written.").arg(package.fileName());
        return false;
    }
    if (!package.exists()) {
        if (!QDir().mkpath(path)) {
            if (error)
                *error = QStringLiteral("The package “%1” could not be made.").arg(package.fileName());
            return false;
        }
        const QString from = filePath();
        if (isTextBundlePath(from) && QFileInfo(from).isDir() && from != path) {
            for (const QFileInfo &entry :
                 QDir(from).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
                if (entry.fileName() == kTextBundleText)
                    continue;
                const QString target = path + u'/' + entry.fileName();
                const bool copied = entry.isDir() ? QDir().mkpath(target) && copyTree(entry.filePath(), target, error)
                                                  : QFile::copy(entry.filePath(), target);
                if (!copied)
                    return false;
            }
        }
    }
    const QString info = path + QStringLiteral("/info.json");
    if (!QFileInfo::exists(info)) {
        char *json = textbundle_info_json();
        const bool ok = json && platform::writeFileAtomically(info, QByteArray(json), error);
        free(json);
        if (!ok)
            return false;
    }
    return writeContents(path + u'/' + kTextBundleText, text, error);
}

QStringList SmartEditorDocument::writableTypesForSaveOperation(platform::SaveOperation operation) const {
    QStringList offered = exporttypes::offeredTypes(operation);
    // A package saved under a new name stays a package, its assets with it,
    // unless the user picks a plain Markdown file instead.
    if (operation != platform::SaveOperation::SaveTo &&
        platform::TypeRegistry::canonical(fileType()) == QLatin1String(types::kTextBundle))
        offered.prepend(QLatin1String(types::kTextBundle));
    return offered;
}

void SmartEditorDocument::prepareSavePanel(platform::SavePanel &panel, platform::SaveOperation operation) {
    const Defaults &defaults = Defaults::standard();
    // The last export's type is chosen, in its place in the list.
    panel.chosenType =
        exporttypes::preselectedType(operation, defaults.stringForKey(QStringLiteral("lastExportType")), panel.types);
    auto withoutExtension = [](const QString &name) {
        const QString suffix = QFileInfo(name).suffix();
        return suffix.isEmpty() ? name : name.left(name.size() - suffix.size() - 1);
    };
    if (defaults.boolForKey(QStringLiteral("betterFilenames")) &&
        withoutExtension(panel.nameFieldStringValue) == displayName())
        panel.nameFieldStringValue = guessTitle();
    const QString saving = fileType().isEmpty() ? QLatin1String(types::kMarkdownType) : fileType();
    if (saving == QLatin1String(types::kPlainText) || saving == QLatin1String(types::kMarkdownType)) {
        const QString extension = defaults.stringForKey(QStringLiteral("defaultTextFileExtension"));
        panel.canSelectHiddenExtension = true;
        panel.allowsOtherFileTypes = true;
        QStringList allowed{extension};
        for (const QString &type : panel.types)
            allowed += platform::TypeRegistry::extensions(type);
        allowed.removeDuplicates();
        panel.allowedExtensions = allowed;
        panel.nameFieldStringValue = withoutExtension(panel.nameFieldStringValue) + u'.' + extension;
    }
    if (defaults.boolForKey(QStringLiteral("autoTag")) && m_content)
        panel.tagNames = m_content->tzrTags().value_or(QStringList());
}

// --- The window -------------------------------------------------------------------------

QWidget *SmartEditorDocument::makeContentWidget() {
    m_content = contentFactory() ? contentFactory()() : new BasicDocumentContent;
    setTextView(m_content->textContent());
    return m_content->widget();
}

void SmartEditorDocument::makeWindowControllers() {
    makeDocumentWindow();
    convertWindowToSmartEditor();
}

void SmartEditorDocument::convertWindowToSmartEditor() {
    const Defaults &defaults = Defaults::standard();
    m_content->setTransclusionPath(actualFilePath());
    m_activeTheme = defaults.stringForKey(QStringLiteral("defaultTheme"));
    m_activeCSS = defaults.stringForKey(QStringLiteral("defaultCSS"));
    m_content->applyTheme(m_activeTheme, themePath(m_activeTheme));
    m_content->applyCSS(m_activeCSS, cssPath(m_activeCSS));
    applyDefaultTheme();
    applyDefaultCSS();
    if (defaults.boolForKey(QStringLiteral("previewWithMarked")) &&
        defaults.boolForKey(QStringLiteral("showPreviewAtFirst")))
        openWithMarked();
    // Opened as a tab of the front document or project window.
    if (QWidget *window = documentWindow()) {
        platform::WindowTabs::setTabbingIdentifier(window, QStringLiteral("OrvaneDoc"));
        platform::WindowTabs::setTabbingMode(window, platform::WindowTabs::TabbingMode::Preferred);
    }
    const QString read = takeTextToShow();
    m_content->setText(m_initialText.value_or(read), true);
    m_initialText.reset();
    restoreSavedSelection();
    _textView->focusEditor();
    m_windowBuilt = true;
    settleChangeCount();
}

void SmartEditorDocument::restoreSavedSelection() {
    if (filePath().isEmpty() || !_textView)
        return;
    _textView->showSelection(Defaults::standard().selectionForPath(filePath()).value_or(platform::TextRange{}));
}

void SmartEditorDocument::fileURLChanged(const QString &) {
    if (m_content)
        m_content->setTransclusionPath(actualFilePath());
}

// --- Themes and style sheets ------------------------------------------------------------

namespace {

// Applies a theme or style sheet and keeps the file's choice: the default
// is kept as no choice at all.
void keepChoice(const QString &keyFormat, const QString &defaultKey, const QString &name, const QString &path) {
    if (path.isEmpty())
        return;
    Defaults &defaults = Defaults::standard();
    const QString key = Defaults::keyForPath(keyFormat, path);
    if (name == defaults.stringForKey(defaultKey))
        defaults.removeObject(key);
    else
        defaults.setObject(name, key);
}

// The file's own choice, when it is not the default.
QString choiceOf(const QString &keyFormat, const QString &defaultKey, const QString &path) {
    if (path.isEmpty())
        return {};
    const Defaults &defaults = Defaults::standard();
    const QString stored = defaults.stringForKey(Defaults::keyForPath(keyFormat, path));
    return stored == defaults.stringForKey(defaultKey) ? QString() : stored;
}

}  // namespace

void SmartEditorDocument::applyThemeNamed(const QString &name) {
    if (m_content)
        m_content->applyTheme(name, themePath(name));
    m_activeTheme = name;
    keepChoice(QStringLiteral("Theme %@"), QStringLiteral("defaultTheme"), name, filePath());
}

void SmartEditorDocument::applyDefaultTheme() {
    const QString chosen = choiceOf(QStringLiteral("Theme %@"), QStringLiteral("defaultTheme"), filePath());
    if (!chosen.isEmpty())
        applyThemeNamed(chosen);
}

void SmartEditorDocument::selectTheme(const QString &title) { applyThemeNamed(title); }

void SmartEditorDocument::applyCSSNamed(const QString &name) {
    if (m_content)
        m_content->applyCSS(name, cssPath(name));
    m_activeCSS = name;
    keepChoice(QStringLiteral("CSS %@"), QStringLiteral("defaultCSS"), name, filePath());
}

void SmartEditorDocument::applyDefaultCSS() {
    const QString chosen = choiceOf(QStringLiteral("CSS %@"), QStringLiteral("defaultCSS"), filePath());
    if (!chosen.isEmpty())
        applyCSSNamed(chosen);
}

void SmartEditorDocument::selectCSS(const QString &title) { applyCSSNamed(title); }

// --- Commands ---------------------------------------------------------------------------

void SmartEditorDocument::diffToCriticMarkup() {
    platform::OpenPanel panel;
    panel.title = QStringLiteral("Compare with...");
    const QStringList chosen = platform::FilePanels::runOpenPanel(panel, documentWindow());
    if (!chosen.isEmpty())
        diffToCriticMarkupWithFile(chosen.first());
}

void SmartEditorDocument::diffToCriticMarkupWithFile(const QString &path) {
    QString marked;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        if (const std::optional<QString> other = convertDataIntoString(file.readAll()))
            marked = platform::mergeWithNewString(*other, _textView ? _textView->text() : fileString(), true);
    } else {
        qCWarning(lcApp, "%s cannot be compared: %s", qPrintable(path), qPrintable(file.errorString()));
    }
    // A file that cannot be read gives an empty new document.
    auto *copy = qobject_cast<KVXTextDocument *>(platform::DocumentController::shared().openUntitledDocument());
    if (copy && !marked.isEmpty())
        copy->resetTextTo(marked);
}

void SmartEditorDocument::transcludeToNewDocument() {
    if (!m_content)
        return;
    const QString text = QString::fromUtf8(m_content->exportToFormat(TZR_FORMAT_ORIGINAL, nullptr));
    if (auto *copy = qobject_cast<KVXTextDocument *>(platform::DocumentController::shared().openUntitledDocument()))
        copy->resetTextTo(text);
}

void SmartEditorDocument::openWithMarked() {
    const QString path = filePath().isEmpty() ? QString() : actualFilePath();
    if (path.isEmpty()) {
        Alerts::simpleAlert(
            QStringLiteral("The document must be saved to disk in order to preview with the Marked application."),
            QStringLiteral("Warning"));
        return;
    }
    if (openFileWithApplication(QStringLiteral("Marked 2"), path) ||
        openFileWithApplication(QStringLiteral("Marked"), path))
        return;
    Alerts::simpleAlert(
        QStringLiteral("Marked and Marked 2 are separate applications and must be installed prior to use."),
        QStringLiteral("About Marked"));
}

// --- Printing ---------------------------------------------------------------------------

QString SmartEditorDocument::fillTemplateWithMetadata(const QString &pattern) const {
    return printtemplates::fillTemplateWithMetadata(pattern, [this](const QString &key) -> std::optional<QString> {
        return m_content ? m_content->metadataForKey(key) : std::nullopt;
    });
}

void SmartEditorDocument::preFillHeaderAndFooter() {
    Defaults &defaults = Defaults::standard();
    defaults.setObject(fillTemplateWithMetadata(defaults.stringForKey(QStringLiteral("printHeaderTemplate"))),
                       QStringLiteral("templatedHeader"));
    defaults.setObject(fillTemplateWithMetadata(defaults.stringForKey(QStringLiteral("printFooterTemplate"))),
                       QStringLiteral("templatedFooter"));
}

bool SmartEditorDocument::isPreviewShown() const {
    QWebEngineView *preview = m_content ? m_content->previewView() : nullptr;
    return preview && !isHiddenOrHasHiddenAncestor(preview);
}

bool SmartEditorDocument::printPreview() { return printPreviewToPdf(QString()); }

namespace {

// Has the preview fill every part of its page and set all its math; false
// when it could not (the page ended or was replaced meanwhile, or
// the preview went away).
bool wholePreview(SmartWebView *preview) {
    bool answered = false, whole = false;
    QEventLoop filling;
    const QMetaObject::Connection gone = QObject::connect(preview, &QObject::destroyed, &filling, &QEventLoop::quit);
    preview->controller().showWholePage([&](bool ok) {
        answered = true;
        whole = ok;
        filling.quit();
    });
    if (!answered)
        filling.exec();
    QObject::disconnect(gone);
    return answered && whole;
}

}  // namespace

bool SmartEditorDocument::printPreviewToPdf(const QString &path) {
    if (!isPreviewShown())
        return false;
    // The web view's header and footer are 12 points high.
    constexpr qreal kBand = 12;
    QPointer<QWebEngineView> preview = m_content->previewView();
    return runPrintOperation(
        [this, preview](QPrinter &printer, QString *error) {
            if (!preview) {
                *error = QStringLiteral("The preview went away.");
                return false;
            }
            const platform::PageDecoration decoration = pageDecoration(kBand);
            printer.setFullPage(true);
            const platform::PageGeometry geometry = platform::PagePrinter::geometry(printer, decoration);
            // The web engine lays the page out in the body; the bands stay free.
            const QMarginsF margins(geometry.body.left(), geometry.body.top(),
                                    geometry.paper.right() - geometry.body.right(),
                                    geometry.paper.bottom() - geometry.body.bottom());
            const QPageLayout layout(printer.pageLayout().pageSize(), QPageLayout::Portrait, margins,
                                     QPageLayout::Point);
            // A long document's preview holds only the parts near what it
            // shows, and sets only the math near what it shows: the whole
            // body goes in and all its math is set before it is laid out on
            // pages; afterwards, also when that failed, the far parts are
            // emptied again and the far math waits again.
            QPointer<SmartWebView> smart = qobject_cast<SmartWebView *>(preview.data());
            const auto endWhole = qScopeGuard([smart] {
                if (smart)
                    smart->controller().endWholePage();
            });
            if (smart && !wholePreview(smart)) {
                *error = QStringLiteral("The preview could not be laid out on pages.");
                return false;
            }
            QByteArray pdf;
            bool finished = false;
            QEventLoop wait;
            preview->page()->printToPdf(
                [&](const QByteArray &result) {
                    pdf = result;
                    finished = true;
                    wait.quit();
                },
                layout);
            if (!finished)
                wait.exec();
            if (pdf.isEmpty()) {
                *error = QStringLiteral("The preview could not be laid out on pages.");
                return false;
            }
            return platform::PagePrinter::printPdfPages(pdf, printer, decoration, error);
        },
        path);
}

bool SmartEditorDocument::printToPdfWithPanel() {
    platform::SavePanel panel;
    panel.title = QStringLiteral("Print to PDF");
    panel.types = {QStringLiteral("com.adobe.pdf")};
    panel.allowedExtensions = {QStringLiteral("pdf")};
    panel.nameFieldStringValue = QFileInfo(displayName()).completeBaseName() + QStringLiteral(".pdf");
    if (!platform::FilePanels::runSavePanel(panel, documentWindow()))
        return false;
    return printDocumentToPdf(panel.path);
}

// --- Actions ----------------------------------------------------------------------------

namespace {

const QStringList &smartActions() {
    static const QStringList actions{
        QStringLiteral("printPreview:"),           QStringLiteral("printToPDF:"),
        QStringLiteral("selectTheme:"),            QStringLiteral("selectCSS:"),
        QStringLiteral("diffToCriticMarkup:"),     QStringLiteral("transcludeToNewDocument:"),
        QStringLiteral("openWithMarked:"),
    };
    return actions;
}

QString titleOf(QObject *sender) { return TZRThemeController::styleNameOf(qobject_cast<QAction *>(sender)); }

}  // namespace

bool SmartEditorDocument::respondsToAction(const QString &action) const {
    return smartActions().contains(action) || KVXTextDocument::respondsToAction(action);
}

bool SmartEditorDocument::performAction(const QString &action, QObject *sender) {
    if (action == QLatin1String("printPreview:"))
        printPreview();
    else if (action == QLatin1String("printToPDF:"))
        printToPdfWithPanel();
    else if (action == QLatin1String("selectTheme:"))
        selectTheme(titleOf(sender));
    else if (action == QLatin1String("selectCSS:"))
        selectCSS(titleOf(sender));
    else if (action == QLatin1String("diffToCriticMarkup:"))
        diffToCriticMarkup();
    else if (action == QLatin1String("transcludeToNewDocument:"))
        transcludeToNewDocument();
    else if (action == QLatin1String("openWithMarked:"))
        openWithMarked();
    else
        return KVXTextDocument::performAction(action, sender);
    return true;
}

bool SmartEditorDocument::validateAction(const QString &action, QAction *item) {
    if (action == QLatin1String("selectTheme:") || action == QLatin1String("selectCSS:")) {
        if (item)
            TZRThemeController::validateUserInterfaceItem(item, action == QLatin1String("selectTheme:") ? m_activeTheme
                                                                                                        : m_activeCSS);
        return KVXTextDocument::validateAction(action, item);
    }
    if (action == QLatin1String("printDocument:") || action == QLatin1String("saveDocumentTo:") ||
        action == QLatin1String("diffToCriticMarkup:") || action == QLatin1String("transcludeToNewDocument:"))
        return true;
    if (action == QLatin1String("printPreview:"))
        return isPreviewShown();
    return KVXTextDocument::validateAction(action, item);
}

#include "platform/documents/document_controller.h"

#include <QApplication>
#include <QWindow>
#include <QFileInfo>
#include <QLocale>
#include <QWidget>

#include "platform/runtime/alerts.h"
#include "platform/prefs/defaults.h"
#include "platform/documents/document.h"
#include "platform/documents/file_panels.h"
#include "platform/runtime/log.h"
#include "platform/files/native_path.h"
#include "platform/documents/type_registry.h"
#include "platform/documents/window_controller.h"
#include "platform/documents/window_tabs.h"

namespace platform {

namespace {

// Where the recent files are kept in the preferences.
const QString kRecentKey = QStringLiteral("recentDocumentPaths");

DocumentController *s_replacement = nullptr;

// Resolved from the bytes of the path: Qt would resolve another file for a
// name that is not UTF-8.
QString resolvedPath(const QString &path) {
    const QString canonical = canonicalPath(path);
    return canonical.isEmpty() ? QFileInfo(path).absoluteFilePath() : canonical;
}

}  // namespace

DocumentController &DocumentController::shared() {
    if (s_replacement)
        return *s_replacement;
    static DocumentController *application = new DocumentController(qApp);
    return *application;
}

DocumentController *DocumentController::setShared(DocumentController *controller) {
    return std::exchange(s_replacement, controller);
}

DocumentController::DocumentController(QObject *parent) : QObject(parent) {
    m_defaultType = QLatin1String(types::kMarkdownType);
    if (auto *application = qobject_cast<QApplication *>(QCoreApplication::instance())) {
        const auto noteActive = [this] {
            if (auto *window = qobject_cast<DocumentWindow *>(WindowTabs::keyWindow()))
                if (window->controller() && window->controller()->document())
                    m_lastActive = window->controller()->document();
        };
        connect(application, &QApplication::focusWindowChanged, this, noteActive);
        // Another tab selected in the active window moves the focus only.
        connect(application, &QApplication::focusChanged, this, noteActive);
    }
}

DocumentController::~DocumentController() {
    if (s_replacement == this)
        s_replacement = nullptr;
}

QList<Document *> DocumentController::documents() const {
    QList<Document *> result;
    for (const QPointer<Document> &document : m_documents)
        if (document && !document->isClosing())
            result.append(document);
    return result;
}

Document *DocumentController::documentForPath(const QString &path) const {
    const QString wanted = resolvedPath(path);
    for (Document *document : documents())
        if (!document->filePath().isEmpty() && resolvedPath(document->filePath()) == wanted)
            return document;
    return nullptr;
}

Document *DocumentController::currentDocument() const {
    if (auto *window = qobject_cast<DocumentWindow *>(WindowTabs::keyWindow()))
        if (window->controller() && window->controller()->document())
            return window->controller()->document();
    if (m_lastActive && !m_lastActive->isClosing())
        return m_lastActive;
    return nullptr;
}

Document *DocumentController::makeDocument(const QString &type) const {
    return m_factory ? m_factory(type) : nullptr;
}

void DocumentController::addDocument(Document *document) {
    if (!document || documents().contains(document))
        return;
    m_documents.append(document);
    emit documentAdded(document);
}

void DocumentController::removeDocument(Document *document) {
    const bool had = m_documents.removeAll(document) > 0;
    m_documents.removeAll(nullptr);
    if (had)
        emit documentRemoved(document);
}

int DocumentController::nextUntitledNumber() const {
    QList<int> used;
    for (Document *document : documents())
        if (document->filePath().isEmpty())
            used.append(document->untitledNumber());
    int number = 1;
    while (used.contains(number))
        number++;
    return number;
}

Document *DocumentController::openDocument(const QString &path, bool display) {
    if (Document *open = documentForPath(path)) {
        if (display)
            open->showWindows();
        return open;
    }
    if (!confirmOpeningLargeFile(path))
        return nullptr;
    const QString type = TypeRegistry::typeForPath(path);
    Document *document = makeDocument(type);
    QString reason;
    if (!document) {
        reason = QStringLiteral("The program cannot open files of this kind.");
    } else if (!document->readFromPath(QFileInfo(path).absoluteFilePath(), type, &reason)) {
        delete document;
        document = nullptr;
    }
    if (!document) {
        qCWarning(lcPlatform).noquote()
            << QStringLiteral("%1 could not be opened: %2").arg(displayablePath(path), reason);
        if (m_batching)
            m_failures.append({path, reason});
        else
            reportFailures({{path, reason}});
        return nullptr;
    }
    addDocument(document);
    noteRecentDocument(document->filePath());
    document->makeWindowControllers();
    if (display)
        document->showWindows();
    return document;
}

DocumentController::OpenBatch::OpenBatch(DocumentController &controller)
    : m_controller(&controller), m_outermost(!controller.m_batching) {
    controller.m_batching = true;
}

DocumentController::OpenBatch::~OpenBatch() {
    if (!m_outermost || !m_controller)
        return;
    m_controller->m_batching = false;
    reportFailures(std::exchange(m_controller->m_failures, {}));
}

void DocumentController::reportFailures(const QList<Failure> &failures) {
    if (failures.isEmpty())
        return;
    if (failures.size() == 1) {
        const Failure &failure = failures.first();
        Alerts::runModal({QStringLiteral("The document “%1” could not be opened.")
                              .arg(displayablePath(QFileInfo(failure.path).fileName())),
                          failure.reason,
                          {QStringLiteral("OK")},
                          AlertStyle::Warning});
        return;
    }
    QStringList lines;
    for (const Failure &failure : failures.first(std::min<qsizetype>(failures.size(), kMostListedFailures)))
        lines << QStringLiteral("%1: %2").arg(displayablePath(failure.path), failure.reason);
    if (failures.size() > kMostListedFailures)
        lines << QStringLiteral("And %1 more.").arg(failures.size() - kMostListedFailures);
    Alerts::runModal({QStringLiteral("%1 documents could not be opened.").arg(failures.size()),
                      lines.join(u'\n'),
                      {QStringLiteral("OK")},
                      AlertStyle::Warning});
}

bool DocumentController::confirmOpeningLargeFile(const QString &path, QWidget *parent) {
    const QFileInfo file(path);
    if (!file.isFile() || file.size() <= kLargeDocumentBytes)
        return true;
    const QString size = QLocale().formattedDataSize(file.size(), 1, QLocale::DataSizeTraditionalFormat);
    const int answer = Alerts::runModal(
        {QStringLiteral("The document “%1” is large: %2. Do you want to open it?").arg(file.fileName(), size),
         QStringLiteral("A document this large takes much of the computer's memory (about 100 times its size) "
                        "and a long time to open, and the editor is slow with it."),
         {QStringLiteral("Open"), QStringLiteral("No")},
         AlertStyle::Warning},
        parent);
    if (answer != 0)
        qCInfo(lcPlatform, "%s is not opened: %s is more than the editor takes comfortably", qPrintable(path),
               qPrintable(size));
    return answer == 0;
}

Document *DocumentController::openUntitledDocument(bool display) {
    Document *document = makeDocument(m_defaultType);
    if (!document)
        return nullptr;
    document->setFileType(m_defaultType);
    document->setUntitledNumber(nextUntitledNumber());
    addDocument(document);
    document->makeWindowControllers();
    if (display)
        document->showWindows();
    return document;
}

QList<Document *> DocumentController::openDocumentsWithPanel() {
    OpenPanel panel;
    panel.title = QStringLiteral("Open");
    panel.allowsMultipleSelection = true;
    QList<Document *> opened;
    Document *current = currentDocument();
    for (const QString &path : FilePanels::runOpenPanel(panel, current ? current->firstWindow() : nullptr))
        if (Document *document = openDocument(path))
            opened.append(document);
    return opened;
}

bool DocumentController::closeAllDocuments() {
    for (Document *document : documents()) {
        if (!document->canClose())
            return false;
        document->close();
    }
    return true;
}

// --- Recent files -------------------------------------------------------------------------

QStringList DocumentController::recentDocumentPaths() const {
    QStringList result;
    for (const QString &path : Defaults::standard().stringArrayForKey(kRecentKey))
        if (result.size() < kMaximumRecentDocuments && pathStatus(path).exists)
            result.append(path);
    return result;
}

void DocumentController::noteRecentDocument(const QString &path) {
    if (path.isEmpty())
        return;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList paths = Defaults::standard().stringArrayForKey(kRecentKey);
    paths.removeAll(absolute);
    paths.prepend(absolute);
    while (paths.size() > kMaximumRecentDocuments)
        paths.removeLast();
    Defaults::standard().setObject(paths, kRecentKey);
    emit recentDocumentsChanged();
}

void DocumentController::forgetRecentDocument(const QString &path) {
    QStringList paths = Defaults::standard().stringArrayForKey(kRecentKey);
    if (paths.removeAll(path) == 0)
        return;
    Defaults::standard().setObject(paths, kRecentKey);
    emit recentDocumentsChanged();
}

void DocumentController::clearRecentDocuments() {
    Defaults::standard().removeObject(kRecentKey);
    emit recentDocumentsChanged();
}

// --- Actions ------------------------------------------------------------------------------

bool DocumentController::respondsToAction(const QString &action) const {
    return action == QLatin1String("newDocument:") || action == QLatin1String("openDocument:") ||
           action == QLatin1String("clearRecentDocuments:");
}

bool DocumentController::performAction(const QString &action, QObject *) {
    if (action == QLatin1String("newDocument:"))
        openUntitledDocument();
    else if (action == QLatin1String("openDocument:"))
        openDocumentsWithPanel();
    else if (action == QLatin1String("clearRecentDocuments:"))
        clearRecentDocuments();
    else
        return false;
    return true;
}

}  // namespace platform

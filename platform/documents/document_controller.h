// The application's documents: opening files (once each), new untitled
// documents with their numbers, the recent files, and closing everything
// when the application quits.
//
//   DocumentController &documents = DocumentController::shared();
//   documents.setDocumentFactory([](const QString &type) { return new MyDocument; });
//   documents.openDocument("/home/ann/notes.md");
//
// The File menu reaches the documents through it: "newDocument:" and
// "openDocument:" go to the controller, every other File command to the
// document of the active window (currentDocument()), which performs it.
// Main thread only.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace platform {

class Document;

class DocumentController : public QObject {
    Q_OBJECT
public:
    // The application's controller, made on first use.
    static DocumentController &shared();
    // Makes shared() answer `controller` (tests); null restores the
    // application's. Returns the replaced one.
    static DocumentController *setShared(DocumentController *controller);

    explicit DocumentController(QObject *parent = nullptr);
    ~DocumentController() override;

    // Makes a new, empty document for a type identifier.
    using Factory = std::function<Document *(const QString &type)>;
    void setDocumentFactory(Factory factory) { m_factory = std::move(factory); }
    // The type of new untitled documents.
    QString defaultType() const { return m_defaultType; }
    void setDefaultType(const QString &type) { m_defaultType = type; }

    QList<Document *> documents() const;
    Document *documentForPath(const QString &path) const;
    // The document of the active window (its selected tab), else of the
    // window most recently active; null when none.
    Document *currentDocument() const;

    // Opens the file, or brings its open document to the front. A file that
    // cannot be opened is reported in an alert (while an OpenBatch lives, in
    // its alert); the result is then null. A
    // file larger than kLargeDocumentBytes is opened only after the user,
    // told its size, agrees; "No" opens nothing (the result is null).
    Document *openDocument(const QString &path, bool display = true);
    // The size above which a document is not opened without asking. The
    // editor, its styles and the preview together take about 100 bytes of
    // memory for each byte of text (measured: 1.5 GB for 10 MB, 2.4 GB for
    // 20 MB, over 13 GB for 200 MB), and the window shows only once all of
    // it is built.
    static constexpr qint64 kLargeDocumentBytes = 10 * 1024 * 1024;
    // Asks before a file above kLargeDocumentBytes is read, giving its size;
    // true to open it (at once for a smaller file).
    static bool confirmOpeningLargeFile(const QString &path, QWidget *parent = nullptr);
    // A new untitled document with its windows, shown when `display`.
    Document *openUntitledDocument(bool display = true);
    // Asks for files with the open panel and opens each.
    QList<Document *> openDocumentsWithPanel();

    void addDocument(Document *document);
    void removeDocument(Document *document);
    // The number a new untitled document gets: the smallest that no open
    // untitled document has.
    int nextUntitledNumber() const;

    // Asks each document with edits in turn; true when all closed. One that
    // refuses (Cancel, a failed save) stops the round and stays open.
    bool closeAllDocuments();

    // Files opened together (named on the command line, handed over by a
    // later start): while a batch lives, those that cannot be opened are
    // gathered, and told in one alert that lists them once the outermost
    // batch ends, rather than in a modal alert each.
    class OpenBatch {
    public:
        explicit OpenBatch(DocumentController &controller);
        ~OpenBatch();
        OpenBatch(const OpenBatch &) = delete;
        OpenBatch &operator=(const OpenBatch &) = delete;

    private:
        QPointer<DocumentController> m_controller;
        bool m_outermost = false;
    };
    // The most files one alert names; the rest are counted (and all are
    // logged).
    static constexpr int kMostListedFailures = 10;

    // --- Recent files ---------------------------------------------------------------

    static constexpr int kMaximumRecentDocuments = 10;
    // The files recently opened or saved, newest first, those gone left out;
    // at most kMaximumRecentDocuments.
    QStringList recentDocumentPaths() const;
    void noteRecentDocument(const QString &path);
    // Takes `path` off the list (a file that went away).
    void forgetRecentDocument(const QString &path);
    void clearRecentDocuments();

    // --- Actions ---------------------------------------------------------------------

    // "newDocument:", "openDocument:", "clearRecentDocuments:".
    bool respondsToAction(const QString &action) const;
    bool performAction(const QString &action, QObject *sender);

signals:
    void documentAdded(Document *document);
    void documentRemoved(Document *document);
    void recentDocumentsChanged();

private:
    Document *makeDocument(const QString &type) const;
    struct Failure {
        QString path;
        QString reason;
    };
    // Tells the user of files that could not be opened, in one alert.
    static void reportFailures(const QList<Failure> &failures);

    Factory m_factory;
    QString m_defaultType;
    QList<QPointer<Document>> m_documents;
    QPointer<Document> m_lastActive;
    bool m_batching = false;
    QList<Failure> m_failures;  // of the batch that lives
};

}  // namespace platform

// KVXTextDocument: a plain text file in an editor window.
//
// Reading decodes the bytes (textdecoding) and makes line endings "\n";
// writing gives the line endings of "exportLineEndings" in the encoding the
// file was read in (UTF-8 when that cannot hold the text, after asking). The
// text last read from or written to the file, as the editor holds it ("\n"
// line endings, no NUL characters, UTF-8 as in its buffer), is the base
// against which changes made by other programs are merged, and the editor's
// text is unedited exactly when it is that text. The base moves only once a
// write of the document's own file succeeded. A save in place takes a copy
// of the buffer's bytes on the main thread and makes the file's bytes of it
// on the save's thread.
//
// A file the editor cannot show byte for byte (NUL bytes, bytes that are
// not text in the encoding it is read in) is opened with an alert that says
// so; the document then saves in place only when the user asks, and that
// Save says what the file loses (lossOnSave()).
//
// When another program changes the file, the document reads it and, in one
// step on the main thread (so that nothing typed meanwhile is lost): reloads
// a document without edits, or merges the other program's changes into the
// editor's text three ways, each at the place it was made; it asks first
// ("Do you want to merge the changes?") unless "MERGE_FILE_CHANGES" is set.
// A merge fails where both changed the same place, and one that goes through
// has carried every change of both, the typing among them. A merge that
// fails is not taken: the user keeps their text (which the next save writes
// over the file's version), takes the file's, or gets both with the
// differences marked as CriticMarkup. The selection is kept across the
// replacement. No question comes up while the user types: the change waits,
// unseen and not saved over, until the keys pause, and a key typed before
// the user could read a question goes to the text, not to its buttons. A
// change still waiting, or whose question is closed unanswered, when the
// session ends stays in the file: quitting puts the user's text beside it
// (Document::saveBeforeQuitting()). A merge that asks nothing is made at
// once. A version larger than a file opens without asking is never read
// here: the document is told of it instead (Document::takeInLargeVersion()).
#pragma once

#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

#include "app/documents/kvx_document.h"
#include "app/documents/text_decoding.h"
#include "app/documents/three_way_merge.h"
#include "window/content/text_content.h"

class KVXTextDocument : public KVXDocument {
    Q_OBJECT
public:
    explicit KVXTextDocument(QObject *parent = nullptr);
    ~KVXTextDocument() override;

    // The editor of the window, as the document reaches it; null until the
    // window exists and after it has gone.
    TextContent *textView() const { return _textView; }
    // The merge base: the text last read from or written to the file.
    QString fileString() const { return QString::fromUtf8(_fileString); }

    static std::optional<QString> convertDataIntoString(const QByteArray &data);
    static QString convertStringToWindows(const QString &text);
    static QString convertStringToOldMac(const QString &text);
    static MergeResult mergeOriginal(const QString &base, const QString &newText, const QString &alternative) {
        return ::mergeOriginal(base, newText, alternative);
    }

    bool readFromData(const QByteArray &data, const QString &type, QString *error) override;
    std::optional<QByteArray> dataOfType(const QString &type, QString *error) override;
    void makeWindowControllers() override;
    void presentedItemDidChange() override;
    // Revert drops the edits: the file's text replaces the editor's, with no
    // merge and no question beyond revert's own.
    bool revertToContentsOfFile(QString *error) override;

    // Replaces the whole text of the editor, queued on the main thread (a
    // new document's text that another command made).
    void resetTextTo(const QString &text);

    // What a session that ends keeps of a document whose text no file holds:
    // the editor's text, the merge base, and the hash of the file's bytes
    // that the document knew. Taken back, the text replaces the window's
    // (one edit that can be undone) and the document is edited; where the
    // file changed since it was kept, the other program's version is taken
    // in as any outside change is (asking first, merged into the kept text
    // against the kept base).
    std::optional<platform::UnsavedDocument> unsavedDocument() const override;
    bool takeBackUnsavedDocument(const platform::UnsavedDocument &kept) override;

    // Prints the editor's text with its styles, through the print panel or
    // into a PDF file.
    bool printDocument();
    bool printDocumentToPdf(const QString &path);

    bool respondsToAction(const QString &action) const override;
    bool performAction(const QString &action, QObject *sender) override;

    // How the file was read, and so how it is written back.
    textdecoding::Form fileForm() const { return m_form; }
    QString lossOnSave() const override;

protected:
    // The window's content, which sets _textView; the plain document's is a
    // KVXDocumentViewController.
    virtual QWidget *makeContentWidget();
    // The window, its controller added, around makeContentWidget()'s content.
    void makeDocumentWindow();
    // Hands the document its editor, which tells it of every change from
    // then on (a Markdown editor of each edit, undo and redo; a plain one
    // whether the text is the saved text after each change).
    void setTextView(TextContent *view);
    // Replaces the editor's whole text now, as one undoable edit that applies
    // only the differences, and marks the document edited or not by whether
    // the text is the file's.
    void replaceShownText(const QString &text);
    // After the writes of the document's own file: the written text becomes
    // the merge base.
    void didWrite(const QString &path, const QString &type, platform::SaveOperation operation) override;
    // A save in place: the editor's text as UTF-8 (a copy of its buffer's
    // bytes), made the file's bytes on the save's thread; the text written
    // becomes the base once the file is on the disk.
    std::optional<SaveSnapshot> snapshotForSave(const QString &type) override;
    bool isEditedSinceSave() const override;
    // Edited unless the editor shows the merge base.
    void settleChangeCount();
    // The text a new window shows: the file's as it was read (given once,
    // then let go), else the base's.
    QString takeTextToShow();

    QPointer<TextContent> _textView;
    // The merge base in UTF-8, as the editor's buffer holds text: half the
    // memory of UTF-16, and compared with the buffer byte for byte.
    QByteArray _fileString;

private:
    class EditorOwner;

    // A file's version as the document takes it in.
    struct DiskVersion {
        QString text;  // as the editor holds it
        textdecoding::Form form;
        textdecoding::Fidelity fidelity;
    };
    static std::optional<DiskVersion> decodeFile(const QByteArray &data);
    void adopt(const DiskVersion &version);
    // Tells the user, once, what of the file the editor cannot show.
    void tellShownInexactly(const textdecoding::Fidelity &fidelity, const textdecoding::Form &form) const;
    // The outside version, read on the main thread: reload, merge or refuse.
    bool reloadShownDocument(const DiskVersion &disk);
    // Both the file's version and the editor's in the editor, as one undoable
    // edit: the file's text with the differences to `mine` marked as
    // CriticMarkup. The file's version becomes the base, and the document
    // is edited.
    void showBothVersions(const DiskVersion &disk, const QString &mine);
    void fileURLChanged(const QString &path);

    // The text of a write in progress, before its line endings changed, and
    // the form it is written in.
    std::optional<QByteArray> m_pendingBase;
    // The text of the file as it was read, until a window shows it.
    std::optional<QString> m_textToShow;
    textdecoding::Form m_pendingForm;
    textdecoding::Form m_form;
    textdecoding::Fidelity m_fidelity;
    std::unique_ptr<EditorOwner> m_owner;
};

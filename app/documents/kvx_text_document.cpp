#include "app/documents/kvx_text_document.h"

#include <QTextDocument>

#include "app/app_log.h"
#include "app/documents/kvx_document_window_controller.h"
#include "app/documents/text_decoding.h"
#include "editor/editor_interfaces.h"
#include "platform/runtime/alerts.h"
#include "platform/text/critic_diff.h"
#include "platform/prefs/defaults.h"
#include "platform/runtime/dispatch.h"
#include "platform/documents/type_registry.h"

using platform::Alerts;
using platform::Defaults;

// What the Markdown editor asks of the document it edits.
class KVXTextDocument::EditorOwner : public OwningDocument {
public:
    explicit EditorOwner(KVXTextDocument &document) : m_document(document) {}

    void updateChangeCount(ChangeKind kind) override {
        switch (kind) {
        case ChangeKind::Done:
            m_document.updateChangeCount(platform::ChangeKind::Done);
            break;
        case ChangeKind::Undone:
            m_document.updateChangeCount(platform::ChangeKind::Undone);
            break;
        case ChangeKind::Redone:
            m_document.updateChangeCount(platform::ChangeKind::Redone);
            break;
        case ChangeKind::Cleared:
            m_document.updateChangeCount(platform::ChangeKind::Cleared);
            break;
        }
    }
    bool isSavedText(QByteArrayView utf8) const override { return utf8 == QByteArrayView(m_document._fileString); }
    QString filePath() const override { return m_document.filePath(); }

private:
    KVXTextDocument &m_document;
};

KVXTextDocument::KVXTextDocument(QObject *parent) : KVXDocument(parent), m_owner(std::make_unique<EditorOwner>(*this)) {
    connect(this, &platform::Document::filePathChanged, this, &KVXTextDocument::fileURLChanged);
}

KVXTextDocument::~KVXTextDocument() {
    // The window, and with it the editor, may outlive the document by a
    // moment: it must not tell a document that is gone.
    if (_textView)
        _textView->setOwningDocument(nullptr);
}

std::optional<QString> KVXTextDocument::convertDataIntoString(const QByteArray &data) {
    return textdecoding::convertDataIntoString(data);
}

QString KVXTextDocument::convertStringToWindows(const QString &text) {
    return textdecoding::convertStringToWindows(text);
}

QString KVXTextDocument::convertStringToOldMac(const QString &text) {
    return textdecoding::convertStringToOldMac(text);
}

// --- Reading ----------------------------------------------------------------------------

bool KVXTextDocument::readFromData(const QByteArray &data, const QString &type, QString *error) {
    if (!platform::TypeRegistry::conformsTo(type, QLatin1String(platform::types::kText))) {
        qCWarning(lcApp, "UTI '%s' is not a valid text file", qPrintable(type));
        if (error)
            *error = QStringLiteral("The file is not a text file.");
        return false;
    }
    const std::optional<DiskVersion> version = decodeFile(data);
    if (!version) {
        qCWarning(lcApp, "Error reading file contents");
        if (error)
            *error = QStringLiteral("The file's text could not be read.");
        return false;
    }
    if (!_textView) {
        adopt(*version);
        if (version->fidelity.isShownInexactly())
            tellShownInexactly(version->fidelity, version->form);
        return true;
    }
    return reloadShownDocument(*version);
}

std::optional<KVXTextDocument::DiskVersion> KVXTextDocument::decodeFile(const QByteArray &data) {
    const std::optional<textdecoding::Decoded> decoded = textdecoding::decode(data);
    if (!decoded) {
        qCWarning(lcApp, "Unable to read data into string");
        return std::nullopt;
    }
    const qint64 lineEndings = Defaults::standard().integerForKey(QStringLiteral("exportLineEndings"));
    return DiskVersion{textdecoding::editorText(textdecoding::normalizeLineEndings(decoded->text)), decoded->form(),
                       textdecoding::fidelity(data, *decoded, lineEndings)};
}

void KVXTextDocument::adopt(const DiskVersion &version) {
    _fileString = version.text.toUtf8();
    if (!_textView)
        m_textToShow = version.text;
    m_form = version.form;
    m_fidelity = version.fidelity;
}

void KVXTextDocument::tellShownInexactly(const textdecoding::Fidelity &fidelity,
                                         const textdecoding::Form &form) const {
    QStringList what;
    if (fidelity.nulBytes == 1)
        what << QStringLiteral("It contains 1 NUL byte, which the editor cannot show.");
    else if (fidelity.nulBytes > 1)
        what << QStringLiteral("It contains %1 NUL bytes, which the editor cannot show.").arg(fidelity.nulBytes);
    if (fidelity.notText)
        what << QStringLiteral("It is not UTF-8 text: it is shown as %1 reads it.")
                    .arg(textdecoding::encodingName(form.encoding));
    if (fidelity.exact)
        what << QStringLiteral("Saving it writes it as %1 again, its bytes unchanged but for your edits.")
                    .arg(textdecoding::encodingName(form.encoding));
    else
        what << QStringLiteral("Nothing is written to the file until you edit it and save it, and that save asks "
                               "first.");
    platform::Alerts::simpleAlert(
        what.join(u' '), QStringLiteral("The document “%1” is not shown exactly as it is on disk.").arg(displayName()));
}

QString KVXTextDocument::lossOnSave() const {
    QStringList changes;
    if (!m_fidelity.exact && m_fidelity.isShownInexactly()) {
        if (m_fidelity.nulBytes == 1)
            changes << QStringLiteral("The file contains 1 NUL byte, which the editor cannot show; the saved file "
                                      "will not have it.");
        else if (m_fidelity.nulBytes > 1)
            changes << QStringLiteral("The file contains %1 NUL bytes, which the editor cannot show; the saved "
                                      "file will not have them.")
                           .arg(m_fidelity.nulBytes);
        else
            changes << QStringLiteral("The file holds bytes that are not text, which the editor cannot show as "
                                      "they are; the saved file will have them as they are shown.");
    }
    if (m_form.encoding != textdecoding::Encoding::UTF8 && m_form.encoding != textdecoding::Encoding::ASCII) {
        const QString text = _textView ? _textView->text() : fileString();
        if (!textdecoding::encode(text, m_form))
            changes << QStringLiteral("The file was read as %1, which cannot hold all of the text now; it will be "
                                      "written as UTF-8, and every character outside ASCII changes its bytes.")
                           .arg(textdecoding::encodingName(m_form.encoding));
    }
    return changes.join(u' ');
}

namespace {

// A question about another program's change: it comes unasked, maybe among
// the user's keys, which must not answer it.
int askAboutChange(platform::Alert alert, QWidget *window) {
    alert.unasked = true;
    return Alerts::runModal(alert, window);
}

}  // namespace

bool KVXTextDocument::reloadShownDocument(const DiskVersion &disk) {
    const QString changed = QStringLiteral("File has changed");
    // The first question waits until the user stops typing; one that
    // follows an answer comes at once.
    bool answered = false;
    if (!Defaults::standard().boolForKey(QStringLiteral("MERGE_FILE_CHANGES"))) {
        if (holdChangeWhileTyping())
            return false;
        const int answer = askAboutChange(
            {changed,
             QStringLiteral("The file on disk has been changed by another program. Do you want to merge the changes?"),
             {QStringLiteral("Merge"), QStringLiteral("No")},
             platform::AlertStyle::Informational},
            firstWindow());
        if (answer != 0)
            return false;
        answered = true;
    }
    // From here to the replacement nothing else runs on the main thread: the
    // text merged is the text replaced.
    QString shown;
    if (isDocumentEdited()) {
        const QString mine = _textView->text();
        // A merge that goes through has carried every change of both
        // versions, the typing among them; one that could not fails.
        const MergeResult merged = mergeOriginal(fileString(), mine, disk.text);
        // (A merge that asks nothing goes ahead while the user types.)
        if (!merged.ok && !answered && holdChangeWhileTyping())
            return false;
        if (merged.ok) {
            adopt(disk);
            shown = merged.text;
        } else {
            // The user keeps their text, takes the file's, or has both. Kept,
            // their text goes to the file at the next save, over the file's
            // version, which they have not seen: the alert says so.
            const int answer = askAboutChange(
                {changed,
                 QStringLiteral("The file on disk has been changed by another program, and the changes could not "
                                "be merged successfully.  Do you want to reload the file?"),
                 {QStringLiteral("Reload"), QStringLiteral("Cancel"), QStringLiteral("Merge as CriticMarkup")},
                 platform::AlertStyle::Informational,
                 QStringLiteral("Cancel keeps your text: the file's version will be replaced at the next save.")},
                firstWindow());
            if (answer == 2) {
                showBothVersions(disk, mine);
                return true;
            }
            // The old base stays: a later change of the file merges against it.
            if (answer != 0)
                return false;
            adopt(disk);
            shown = disk.text;
        }
    } else {
        adopt(disk);
        shown = disk.text;
    }
    replaceShownText(shown);
    return true;
}

void KVXTextDocument::showBothVersions(const DiskVersion &disk, const QString &mine) {
    adopt(disk);
    replaceShownText(platform::mergeWithNewString(disk.text, mine, true));
}

void KVXTextDocument::presentedItemDidChange() {
    platform::FileState state;
    QString reason;
    // (A version that grew past the bound since it was looked at is not
    // read: its growth is a change of its own, told of as such.)
    const std::optional<QByteArray> bytes = readContentFile(&state, &reason, kLargestVersionTakenIn);
    if (!bytes) {
        qCWarning(lcApp, "the changed file %s cannot be read: %s", qPrintable(contentPath()), qPrintable(reason));
        return;
    }
    // The same bytes (a file touched, or written again as it was): nothing
    // to merge.
    if (isKnownContent(*bytes)) {
        noteFileOnDisk(state, *bytes);
        return;
    }
    if (_textView)
        _textView->saveSelection();
    readFromData(*bytes, fileType(), nullptr);
    if (_textView)
        _textView->restoreSelection();
    // Held until the user stops typing, or its question closed unanswered
    // as the session ends: not seen yet (quitting keeps it in the file).
    if (isChangeHeld() || Alerts::isUnattended())
        return;
    // Whatever the answer, this version is seen: it is not offered again.
    noteFileOnDisk(state, *bytes);
}

bool KVXTextDocument::revertToContentsOfFile(QString *error) {
    platform::FileState state;
    const std::optional<QByteArray> bytes = readContentFile(&state, error);
    if (!bytes)
        return false;
    const std::optional<DiskVersion> version = decodeFile(*bytes);
    if (!version) {
        if (error)
            *error = QStringLiteral("The file's text could not be read.");
        return false;
    }
    adopt(*version);
    if (_textView)
        replaceShownText(version->text);
    noteFileOnDisk(state, *bytes);
    updateChangeCount(platform::ChangeKind::Cleared);
    return true;
}

// --- Writing ----------------------------------------------------------------------------

namespace {

qint64 exportLineEndings() { return Defaults::standard().integerForKey(QStringLiteral("exportLineEndings")); }

}  // namespace

std::optional<QByteArray> KVXTextDocument::dataOfType(const QString &, QString *) {
    // Back in the file's own encoding, so that an edit changes only its own
    // bytes; UTF-8 for text the encoding cannot hold (lossOnSave() asked).
    textdecoding::FileText file =
        textdecoding::fileText(_textView ? _textView->utf8Text() : _fileString, exportLineEndings(), m_form);
    m_pendingBase = std::move(file.text);
    m_pendingForm = file.form;
    return std::move(file.bytes);
}

std::optional<platform::Document::SaveSnapshot> KVXTextDocument::snapshotForSave(const QString &) {
    m_pendingBase.reset();
    // Filled on the save's thread, read here once the save is done.
    auto made = std::make_shared<textdecoding::FileText>();
    SaveSnapshot snapshot;
    snapshot.bytes = [text = _textView ? _textView->utf8Text() : _fileString, lineEndings = exportLineEndings(),
                      form = m_form, made](QString *) -> std::optional<QByteArray> {
        *made = textdecoding::fileText(text, lineEndings, form);
        return std::exchange(made->bytes, QByteArray());
    };
    snapshot.written = [this, made] {
        _fileString = made->text;
        m_form = made->form;
        m_fidelity = textdecoding::Fidelity{};
    };
    return snapshot;
}

bool KVXTextDocument::isEditedSinceSave() const { return !_textView || !_textView->holdsUtf8(_fileString); }

void KVXTextDocument::didWrite(const QString &path, const QString &type, platform::SaveOperation operation) {
    // A copy written elsewhere leaves the document's own file, and so the
    // base, as they were. The file now holds exactly the text written.
    if (operation != platform::SaveOperation::SaveTo && m_pendingBase) {
        _fileString = *m_pendingBase;
        m_form = m_pendingForm;
        m_fidelity = textdecoding::Fidelity{};
    }
    m_pendingBase.reset();
    KVXDocument::didWrite(path, type, operation);
}

// --- The window -------------------------------------------------------------------------

QWidget *KVXTextDocument::makeContentWidget() {
    auto *content = new KVXDocumentViewController;
    setTextView(content->keyTextView());
    _textView->loadText(takeTextToShow());
    return content;
}

void KVXTextDocument::makeWindowControllers() {
    makeDocumentWindow();
    settleChangeCount();
}

void KVXTextDocument::makeDocumentWindow() {
    auto *controller = new KVXDocumentWindowController;
    addWindowController(controller);
    controller->setContentWidget(makeContentWidget());
    controller->window();
}

void KVXTextDocument::setTextView(TextContent *view) {
    if (_textView)
        _textView->setOwningDocument(nullptr);
    _textView = view;
    if (view)
        view->setOwningDocument(m_owner.get());
}

void KVXTextDocument::settleChangeCount() {
    if (!_textView)
        return;
    updateChangeCount(_textView->holdsUtf8(_fileString) ? platform::ChangeKind::Cleared : platform::ChangeKind::Done);
}

QString KVXTextDocument::takeTextToShow() {
    if (m_textToShow)
        return *std::exchange(m_textToShow, std::nullopt);
    return fileString();
}

void KVXTextDocument::replaceShownText(const QString &text) {
    _textView->replaceText(text);
    settleChangeCount();
}

void KVXTextDocument::resetTextTo(const QString &text) {
    platform::Dispatch::main(this, [this, text] {
        if (_textView)
            _textView->resetText(text);
    });
}

// --- Kept when the session ended -------------------------------------------------------

std::optional<platform::UnsavedDocument> KVXTextDocument::unsavedDocument() const {
    if (!_textView)
        return std::nullopt;
    platform::UnsavedDocument kept;
    kept.text = _textView->utf8Text();
    kept.filePath = filePath();
    kept.fileType = fileType();
    kept.displayName = displayName();
    kept.untitledNumber = untitledNumber();
    if (!filePath().isEmpty()) {
        kept.base = _fileString;
        kept.contentHash = knownContentHash();
    }
    return kept;
}

bool KVXTextDocument::takeBackUnsavedDocument(const platform::UnsavedDocument &kept) {
    if (!_textView)
        return false;
    const QString text = QString::fromUtf8(kept.text);
    // Untitled, or the file as the edits left it: the kept text is all.
    if (filePath().isEmpty() || kept.filePath.isEmpty() || knownContentHash() == kept.contentHash) {
        replaceShownText(text);
        return true;
    }
    // Another program changed the file since: the edits were made on the
    // kept base, and the file's version now is another program's change,
    // taken in as one (its question, its merge).
    qCInfo(lcApp, "%s changed since its edits were kept: taken in as an outside change", qPrintable(filePath()));
    const DiskVersion disk{fileString(), m_form, m_fidelity};
    _fileString = kept.base;
    replaceShownText(text);
    reloadShownDocument(disk);
    return true;
}

void KVXTextDocument::fileURLChanged(const QString &path) {
    if (path.isEmpty() || !_textView)
        return;
    Defaults::standard().setSelection(_textView->selectedRange(), path);
}

// --- Printing and actions ---------------------------------------------------------------

bool KVXTextDocument::printDocument() { return printDocumentToPdf(QString()); }

bool KVXTextDocument::printDocumentToPdf(const QString &path) {
    if (!_textView)
        return false;
    return runPrintOperation(
        [this](QPrinter &printer, QString *error) {
            if (!_textView) {
                *error = QStringLiteral("The editor went away.");
                return false;
            }
            const std::unique_ptr<QTextDocument> text = _textView->richText();
            return platform::PagePrinter::printTextDocument(*text, printer, pageDecoration(), error);
        },
        path);
}

bool KVXTextDocument::respondsToAction(const QString &action) const {
    return action == QLatin1String("printDocument:") || KVXDocument::respondsToAction(action);
}

bool KVXTextDocument::performAction(const QString &action, QObject *sender) {
    if (action == QLatin1String("printDocument:")) {
        printDocument();
        return true;
    }
    return KVXDocument::performAction(action, sender);
}

// SmartEditorDocument: the document of every Markdown window.
//
// It reads and writes text as KVXTextDocument does, and builds its window
// around a window content (DocumentContent) that holds the editor; gives
// each file its theme and style sheet ("Theme %@", "CSS %@"); exports by
// type identifier through the library (Save To: HTML, LaTeX, OpenDocument
// flat and zipped, EPUB, compressed TextBundle), reporting an export that
// makes nothing instead of writing an empty file; reads and writes TextBundle
// packages through their "text.markdown", keeping their assets; checks on
// opening that the metadata tags agree with the file's tags; compares the
// text with another file as CriticMarkup; makes a transcluded copy; prints
// the editor's text or the rendered preview; and tells that the outside
// previewer Marked is not to be had here.
#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

#include "app/documents/kvx_text_document.h"
#include "window/bridge/left_out_files.h"

class DocumentContent;
class QAction;

class SmartEditorDocument : public KVXTextDocument {
    Q_OBJECT
public:
    explicit SmartEditorDocument(QObject *parent = nullptr);
    ~SmartEditorDocument() override;

    // What makes the window content of new documents; the basic content
    // (the editor alone) unless set. The factory's content is owned by the
    // window it goes into.
    using ContentFactory = std::function<DocumentContent *()>;
    static void setContentFactory(ContentFactory factory);
    // Where the files of themes and style sheets are found by name; the
    // extras folders unless set.
    using StylePaths = std::function<QString(const QString &name)>;
    static void setStylePaths(StylePaths themes, StylePaths styleSheets);

    DocumentContent *content() const { return m_content; }
    QString activeTheme() const { return m_activeTheme; }
    QString activeCSS() const { return m_activeCSS; }

    // The file of the text: the file, or a TextBundle's "text.markdown".
    QString actualFilePath() const;
    QString contentPath() const override { return actualFilePath(); }
    // The title for a new file's name: the metadata title, else the first
    // line, else the display name.
    QString guessTitle() const;
    QWidget *documentWindow() const;

    // --- Reading and writing ------------------------------------------------------------

    bool readFromData(const QByteArray &data, const QString &type, QString *error) override;
    std::optional<QByteArray> contentsOfPath(const QString &path, const QString &type, QString *error,
                                             platform::FileState *state) const override;
    std::optional<QByteArray> dataOfType(const QString &type, QString *error) override;
    std::optional<SaveSnapshot> snapshotForSave(const QString &type) override;
    bool writeToPath(const QString &path, const QString &type, platform::SaveOperation operation,
                     QByteArray *written, QString *error) override;
    void didWrite(const QString &path, const QString &type, platform::SaveOperation operation) override;
    QStringList writableTypesForSaveOperation(platform::SaveOperation operation) const override;
    void prepareSavePanel(platform::SavePanel &panel, platform::SaveOperation operation) override;

    // --- The window ------------------------------------------------------------------------

    void makeWindowControllers() override;
    void restoreSavedSelection();

    void applyThemeNamed(const QString &name);
    void applyDefaultTheme();
    void selectTheme(const QString &title);
    void applyCSSNamed(const QString &name);
    void applyDefaultCSS();
    void selectCSS(const QString &title);

    // --- Commands ---------------------------------------------------------------------------

    // Opens a new document with this text, the differences from a chosen
    // file marked as CriticMarkup.
    void diffToCriticMarkup();
    void diffToCriticMarkupWithFile(const QString &path);
    // Opens a new document with the text after transclusion.
    void transcludeToNewDocument();
    void openWithMarked();
    // Prints the rendered preview (when it is shown), through the print panel
    // or into a PDF file.
    bool printPreview();
    bool printPreviewToPdf(const QString &path);
    // Prints the editor's text into a PDF file chosen with the save panel.
    bool printToPdfWithPanel();

    void preFillHeaderAndFooter() override;
    // The metadata stage of a header or footer template.
    QString fillTemplateWithMetadata(const QString &pattern) const;

    bool respondsToAction(const QString &action) const override;
    bool performAction(const QString &action, QObject *sender) override;
    bool validateAction(const QString &action, QAction *item) override;

protected:
    QWidget *makeContentWidget() override;

private:
    void convertWindowToSmartEditor();
    void checkTags();
    bool isPreviewShown() const;
    void fileURLChanged(const QString &path);
    bool writeTextBundle(const QString &path, const QByteArray &text, QString *error);

    DocumentContent *m_content = nullptr;
    QString m_activeTheme;
    QString m_activeCSS;
    // The text the window shows first when it is not the file's (the tags
    // brought into the metadata).
    std::optional<QString> m_initialText;
    bool m_windowBuilt = false;
    // What the export being written left out of its package (see didWrite).
    LeftOutFiles m_leftOutOfExport;
};

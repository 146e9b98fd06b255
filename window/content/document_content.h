// What a Markdown document needs of its window's content: the editor's text
// (through TextContent, never the editor's own classes), exports through the
// document library, the document's tags and metadata, its theme and style
// sheet, and the preview (for printing and for updates after a save).
//
// The window content implements it; the document builds its window around
// the widget and reaches the content only through these calls.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

#include "window/bridge/left_out_files.h"

class QWebEngineView;
class TextContent;
class QWidget;

class DocumentContent {
public:
    virtual ~DocumentContent() = default;

    // The widget the document puts into its window; the window owns it then,
    // and with it the content.
    virtual QWidget *widget() = 0;
    // The editor as the document reaches it; it goes with the content.
    virtual TextContent *textContent() const = 0;

    // Replaces the whole text. With `clearingUndo` the replacement is not
    // undoable (a loaded text), otherwise it is one undoable edit.
    virtual void setText(const QString &text, bool clearingUndo) = 0;

    // The document's file: transclusion and local pictures are read
    // relative to it. An empty path forgets the file but keeps the folder.
    virtual void setTransclusionPath(const QString &path) = 0;

    // The text in an output format (the library's format codes) as the
    // bytes of the file; empty when the library makes nothing. `leftOut`,
    // when given, gets the files and downloads a package left out, and why.
    virtual QByteArray exportToFormat(short format, LeftOutFiles *leftOut) = 0;
    // The document's metadata tags; nothing when it has none.
    virtual std::optional<QStringList> tzrTags() = 0;
    // The value of a metadata key (compared as a label: "%author," finds
    // "author"); nothing when absent.
    virtual std::optional<QString> metadataForKey(const QString &key) = 0;

    // The editor theme and the preview's style sheet, by name and the file
    // the name stands for (empty when there is none).
    virtual void applyTheme(const QString &name, const QString &path) = 0;
    virtual void applyCSS(const QString &name, const QString &path) = 0;

    // With live updates off, lets the preview take the next HTML (each save).
    virtual void setOkToUpdatePreview(bool ok) = 0;
    // The preview's web view; null when the content has none.
    virtual QWebEngineView *previewView() const = 0;
};

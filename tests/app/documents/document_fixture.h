// What the document tests share: a fresh user with the registered
// preferences, a temporary folder, a document controller of their own that
// makes Markdown documents (with the basic window content and the style
// lookup unless a test sets others), and alerts and panels answered from
// scripts.
#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPdfDocument>
#include <QTemporaryDir>

#include <cstdio>

#include "app/documents/smart_editor_document.h"
#include "editor/view/kvx_text_view.h"
#include "editor/storage/smart_text_storage.h"
#include "platform/runtime/alerts.h"
#include "platform/prefs/defaults.h"
#include "platform/documents/document_controller.h"
#include "platform/documents/file_panels.h"
#include "platform/prefs/registered_defaults.h"
#include "platform/documents/type_registry.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

namespace documents_test {

inline QByteArray readAll(const QString &path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

inline bool writeAll(const QString &path, const QByteArray &bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Another program saving the way most do: a new file renamed over the old.
inline bool renameSave(const QString &path, const QByteArray &bytes) {
    const QString temporary = path + QStringLiteral(".tmp~");
    return writeAll(temporary, bytes) &&
           ::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(path).constData()) == 0;
}

// Another user's doing, as one with write access to the folder would do it:
// a link to `target` takes the place of `path` in one rename.
inline bool replaceByLink(const QString &path, const QString &target) {
    const QString link = path + QStringLiteral(".link~");
    return QFile::link(target, link) &&
           ::rename(QFile::encodeName(link).constData(), QFile::encodeName(path).constData()) == 0;
}

// What a command-line tool answers.
inline int run(const QString &command, QString *output = nullptr) {
    FILE *pipe = popen((command + QStringLiteral(" 2>&1")).toLocal8Bit().constData(), "r");
    if (!pipe)
        return -1;
    QByteArray text;
    char buffer[4096];
    while (size_t got = fread(buffer, 1, sizeof buffer, pipe))
        text.append(buffer, qsizetype(got));
    const int status = pclose(pipe);
    if (output)
        *output = QString::fromLocal8Bit(text);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline bool haveTool(const QString &tool) { return run(QStringLiteral("command -v ") + tool) == 0; }

// The themes and style sheets the program ships, found by name.
inline void useShippedStyles() {
    SmartEditorDocument::setStylePaths(
        [](const QString &name) { return QStringLiteral(ORVANE_SOURCE_DIR "/resources/themes/") + name + ".theme"; },
        [](const QString &name) { return QStringLiteral(ORVANE_SOURCE_DIR "/resources/css/") + name + ".css"; });
}

// A page of a PDF at one pixel a point, on white paper (the renderer leaves
// the paper transparent); a null image when the file cannot be read.
inline QImage renderedPage(const QString &pdf, int page) {
    QPdfDocument document;
    if (document.load(pdf) != QPdfDocument::Error::None || page >= document.pageCount())
        return {};
    const QImage rendered = document.render(page, document.pagePointSize(page).toSize());
    QImage paper(rendered.size(), QImage::Format_RGB32);
    paper.fill(Qt::white);
    QPainter(&paper).drawImage(0, 0, rendered);
    return paper;
}

struct DocumentFixture : ::testing::Test {
    platform::ScopedStandardDefaults defaults;
    QTemporaryDir folder;
    platform::DocumentController controller;
    platform::DocumentController *previous = nullptr;
    platform::ScriptedAlerts alerts;
    platform::ScriptedPanels panels;

    void SetUp() override {
        previous = platform::DocumentController::setShared(&controller);
        controller.setDocumentFactory([](const QString &) { return new SmartEditorDocument; });
    }
    void TearDown() override {
        for (platform::Document *document : controller.documents())
            document->close();
        testing_qt::spinFor(std::chrono::milliseconds(20));
        platform::DocumentController::setShared(previous);
        SmartEditorDocument::setStylePaths({}, {});
        SmartEditorDocument::setContentFactory({});
    }
    platform::Defaults &prefs() { return platform::Defaults::standard(); }
    QString path(const QString &name) const { return folder.filePath(name); }

    SmartEditorDocument *open(const QString &name, const QByteArray &bytes) {
        if (!writeAll(path(name), bytes))
            return nullptr;
        return openExisting(path(name));
    }
    SmartEditorDocument *openExisting(const QString &file) {
        auto *document = qobject_cast<SmartEditorDocument *>(controller.openDocument(file, false));
        if (document)
            document->presenter()->setDebounce(std::chrono::milliseconds(20));
        return document;
    }
    // The text storage of the document's editor (the one editor view of its
    // window).
    static SmartTextStorage *storage(KVXTextDocument *document) {
        QWidget *window = document->firstWindow();
        KVXTextView *editor = window ? window->findChild<KVXTextView *>() : nullptr;
        return editor ? editor->storage() : nullptr;
    }
    static QString text(KVXTextDocument *document) { return storage(document)->string(); }
    // Types at the end of the text, as the editor's keys do.
    static void type(KVXTextDocument *document, const QString &typed) {
        SmartTextStorage *s = storage(document);
        s->replaceCharactersInRange({s->length(), 0}, typed);
    }
};

}  // namespace documents_test

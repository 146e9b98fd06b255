// The application as the program starts it, over preferences of its own in
// a folder of its own, with a user who saves by hand and is asked nothing
// unless a test answers: its delegate and document machinery, no launch.
// Shared by the end-to-end test of tabs and the benchmark that times them.
// Main thread.
#pragma once

#include "app/app_delegate.h"
#include "app/documents/smart_editor_document.h"
#include "app/documents/smart_editor_document_controller.h"
#include "app/extras/tzr_theme_controller.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/view/lazy_document_layout.h"
#include "platform/prefs/registered_defaults.h"
#include "platform/runtime/alerts.h"
#include "support/qt_wait.h"
#include "window/content/document_content.h"
#include "window/content/tzr_master_view.h"

#include <QAction>
#include <QTemporaryDir>

#include <chrono>
#include <memory>

struct TabsProgram {
    QTemporaryDir dir;
    platform::Defaults defaults{dir.filePath("preferences.json")};
    platform::Defaults *previousDefaults;
    platform::ScriptedAlerts alerts;
    TZRThemeController extras{TZRThemeController::standardLocations()};
    SmartEditorDocumentController documents;
    platform::DocumentController *previousDocuments;
    std::unique_ptr<AppDelegate> delegate;

    TabsProgram() {
        platform::registerDefaults(defaults);
        defaults.setBool(false, "checkForAnnouncements");
        defaults.setBool(false, "enableLionSaveFeatures");
        defaults.setBool(true, "MERGE_FILE_CHANGES");  // another program's change, taken in without a question
        previousDefaults = platform::Defaults::setStandard(&defaults);
        previousDocuments = platform::DocumentController::setShared(&documents);
        delegate = std::make_unique<AppDelegate>(&defaults, &extras);
        delegate->installDocumentMachinery();
    }
    ~TabsProgram() {
        for (platform::Document *document : documents.documents())
            document->close();
        testing_qt::spinFor(std::chrono::milliseconds(100));
        delegate.reset();
        platform::DocumentController::setShared(previousDocuments);
        platform::Defaults::setStandard(previousDefaults);
    }
    QString path(const char *name) const { return dir.filePath(QString::fromLatin1(name)); }
    SmartEditorDocument *document(const char *name) {
        return qobject_cast<SmartEditorDocument *>(documents.documentForPath(path(name)));
    }
    QAction *menuItem(const char *action) { return delegate->mainMenu().itemForAction(QString::fromLatin1(action)); }
};

// The Markdown content of `document`'s window; null for any other document.
inline TZRMasterView *contentOf(platform::Document *document) {
    auto *markdown = qobject_cast<SmartEditorDocument *>(document);
    return markdown ? dynamic_cast<TZRMasterView *>(markdown->content()) : nullptr;
}

// Whether `content`'s editor is still at work on its text in the
// background: styling it ahead of what was shown, or settling the heights
// of its blocks.
inline bool editorAtWork(TZRMasterView *content) {
    SmartTextStorage *storage = content->textStorage();
    return storage->isStylingAhead() || !storage->documentLayout()->isSettled();
}

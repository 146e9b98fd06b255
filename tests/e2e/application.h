// The application as the program starts it, in this test program: its
// delegate, the keeper of its extras and its documents, in a controller of
// the test's own, and its document windows on screen. Main thread.
#pragma once

#include "app/app_delegate.h"
#include "app/documents/smart_editor_document.h"
#include "app/extras/tzr_theme_controller.h"
#include "platform/documents/document_controller.h"
#include "support/qt_wait.h"

#include <QWidget>
#include <QWindow>

#include <chrono>

// The program's documents in a controller of the test's own, while it lives.
struct ScopedDocuments {
    platform::DocumentController controller;
    platform::DocumentController *previous = platform::DocumentController::setShared(&controller);
    ~ScopedDocuments() { platform::DocumentController::setShared(previous); }
};

// The application started as the program starts it; its documents closed
// and the application ended when it goes.
struct Application {
    ScopedDocuments scoped;
    platform::DocumentController &documents = scoped.controller;
    TZRThemeController extras;
    AppDelegate delegate;

    Application(platform::Defaults &defaults, const TZRExtrasLocations &locations)
        : extras(locations), delegate(&defaults, &extras) {
        delegate.installDocumentMachinery();
        delegate.applicationWillFinishLaunching();
        delegate.applicationDidFinishLaunching();
    }
    ~Application() {
        for (platform::Document *document : documents.documents())
            document->close();
        testing_qt::spinFor(std::chrono::milliseconds(50));
        delegate.applicationWillTerminate();
    }
    // Opens `path` as the program does and waits for its window on screen.
    SmartEditorDocument *open(const QString &path) {
        delegate.openDocuments({path});
        return shown(documents.documentForPath(path));
    }
    // `document` once its window is on screen, the active one; null when it
    // is not a Markdown document or its window never shows.
    SmartEditorDocument *shown(platform::Document *opened) {
        auto *document = qobject_cast<SmartEditorDocument *>(opened);
        if (!document)
            return nullptr;
        QWidget *window = document->firstWindow();
        window->resize(1280, 800);
        // Menu items go to the focused window: it must be the active one.
        const bool shown = testing_qt::spinUntil([&] {
            window->activateWindow();
            return window->isVisible() && window->windowHandle() && window->windowHandle()->isExposed() &&
                   window->isActiveWindow();
        });
        return shown ? document : nullptr;
    }
};

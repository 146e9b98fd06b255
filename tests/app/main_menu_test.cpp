// The main menu as a user meets it, over the program's own documents: full
// screen with its key.
#include "app/app_delegate.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include <memory>

#include "app/documents/smart_editor_document.h"
#include "app/extras/tzr_theme_controller.h"
#include "app/main_menu.h"
#include "editor/storage/smart_text_storage.h"
#include "editor/view/kvx_text_view.h"
#include "platform/documents/document_controller.h"
#include "platform/prefs/defaults.h"
#include "platform/prefs/registered_defaults.h"
#include "platform/runtime/action_router.h"
#include "platform/runtime/alerts.h"
#include "support/qt_print.h"
#include "support/qt_wait.h"

using namespace std::chrono_literals;

namespace {

bool writeAll(const QString &path, const QByteArray &bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// The program's delegate with its documents (in a controller of the test's
// own), as the program starts it; the windows hold the editor alone.
class Program : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_folder.isValid());
        m_previous = platform::DocumentController::setShared(&m_documents);
        m_delegate = std::make_unique<AppDelegate>(&m_scoped.defaults(), &m_extras);
        m_delegate->installDocumentMachinery();
        SmartEditorDocument::setContentFactory({});
    }
    void TearDown() override {
        for (platform::Document *document : m_documents.documents())
            document->close();
        testing_qt::spinFor(20ms);
        m_delegate.reset();
        platform::DocumentController::setShared(m_previous);
    }

    MainMenu &menu() { return m_delegate->mainMenu(); }
    QString path(const QString &name) const { return m_folder.filePath(name); }
    QString write(const QString &name) {
        EXPECT_TRUE(writeAll(path(name), "# Text\n"));
        return path(name);
    }
    // Opened as File > Open opens it, its window active.
    SmartEditorDocument *open(const QString &file) {
        m_delegate->openDocuments({file});
        auto *document = qobject_cast<SmartEditorDocument *>(m_documents.documentForPath(file));
        if (!document)
            return nullptr;
        QWidget *window = document->firstWindow();
        const bool active = testing_qt::spinUntil([&] {
            window->activateWindow();
            return window->isVisible() && window->isActiveWindow();
        });
        return active ? document : nullptr;
    }
    static KVXTextView *editorOf(platform::Document *document) {
        return document->firstWindow()->findChild<KVXTextView *>();
    }

    platform::ScopedStandardDefaults m_scoped;
    QTemporaryDir m_folder;
    TZRThemeController m_extras{TZRThemeController::standardLocations()};
    platform::DocumentController m_documents;
    platform::DocumentController *m_previous = nullptr;
    std::unique_ptr<AppDelegate> m_delegate;
    platform::ScriptedAlerts m_alerts;
};

// --- Full screen ---------------------------------------------------------------------------------

// F11 puts the active window in full screen and takes it out; the item says
// what it will do, also when the window manager changed the state, and for
// whichever window is active.
TEST_F(Program, FullScreenTogglesWithF11AndItsItemSaysWhatItWillDo) {
    SmartEditorDocument *document = open(write("wide.md"));
    ASSERT_TRUE(document);
    QWidget *window = document->firstWindow();
    QAction *item = menu().itemForAction("toggleFullScreen:");
    ASSERT_TRUE(item);
    EXPECT_EQ(item->shortcut(), QKeySequence(Qt::Key_F11));
    EXPECT_EQ(item->text(), "Enter Full Screen");

    QTest::keyClick(window, Qt::Key_F11);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return window->isFullScreen(); }));
    EXPECT_EQ(item->text(), "Exit Full Screen");
    QTest::keyClick(window, Qt::Key_F11);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return !window->isFullScreen(); }));
    EXPECT_EQ(item->text(), "Enter Full Screen");

    // Put in full screen past the menu and the window's own calls, as a
    // window manager does.
    window->windowHandle()->setWindowStates(Qt::WindowFullScreen);
    EXPECT_TRUE(testing_qt::spinUntil([&] { return window->isFullScreen(); }));
    EXPECT_EQ(item->text(), "Exit Full Screen");

    // Another window active, the item speaks for it; back, for this one.
    QMainWindow other;
    other.show();
    ASSERT_TRUE(testing_qt::spinUntil([&] {
        other.activateWindow();
        return other.isActiveWindow();
    }));
    EXPECT_EQ(item->text(), "Enter Full Screen");
    ASSERT_TRUE(testing_qt::spinUntil([&] {
        window->activateWindow();
        return window->isActiveWindow();
    }));
    EXPECT_EQ(item->text(), "Exit Full Screen");
    item->trigger();
    EXPECT_TRUE(testing_qt::spinUntil([&] { return !window->isFullScreen(); }));
    EXPECT_EQ(item->text(), "Enter Full Screen");
}

}  // namespace

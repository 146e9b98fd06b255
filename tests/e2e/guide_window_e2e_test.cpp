// The guide windows on a real display: the syntax guide keeps its size and
// place between runs under its frame autosave name; the program guide keeps
// none.
#include "app/help/kvx_static_web_window_controller.h"

#include <QMainWindow>

#include <gtest/gtest.h>

#include "platform/documents/document.h"
#include "platform/documents/window_controller.h"
#include "platform/prefs/registered_defaults.h"
#include "support/qt_wait.h"

namespace {

const QString kSyntaxFrameName = QStringLiteral("--TZR Syntax Guide Window Frame");

TEST(GuideWindows, TheSyntaxGuideTakesTheFrameItWasLeftInAtTheNextStart) {
    platform::ScopedStandardDefaults scoped;
    platform::Defaults &defaults = scoped.defaults();
    const QString key = platform::WindowController::frameKey(kSyntaxFrameName);
    const QRect frame(130, 140, 640, 480);
    {
        KVXStaticWebWindowController first(KVXStaticWebWindowController::syntaxGuideTitle());
        EXPECT_EQ(first.frameAutosaveName(), kSyntaxFrameName);
        QMainWindow *window = first.window();
        EXPECT_EQ(window->size(), QSize(820, 900));  // nothing kept yet
        EXPECT_FALSE(defaults.hasStoredValue(key)) << "nothing kept while the window is made";
        first.showWindow();
        window->setGeometry(frame);
        ASSERT_TRUE(testing_qt::spinUntil([&] { return window->geometry() == frame; }));
        EXPECT_EQ(defaults.stringForKey(key), platform::WindowController::frameString(frame));
        window->close();  // hides it: the frame stays kept
        EXPECT_FALSE(window->isVisible());
    }
    EXPECT_EQ(defaults.stringForKey(key), platform::WindowController::frameString(frame));

    // The next run's controller, over the same preferences.
    KVXStaticWebWindowController second(KVXStaticWebWindowController::syntaxGuideTitle());
    EXPECT_EQ(second.window()->geometry(), frame);
    second.showWindow();
    ASSERT_TRUE(testing_qt::spinUntil([&] { return second.window()->isVisible(); }));
    EXPECT_EQ(second.window()->size(), frame.size());

    // A frame that cannot be read leaves the window as it is made.
    defaults.setObject(QStringLiteral("not a frame"), key);
    KVXStaticWebWindowController third(KVXStaticWebWindowController::syntaxGuideTitle());
    EXPECT_EQ(third.window()->size(), QSize(820, 900));
}

TEST(GuideWindows, TheProgramGuideKeepsNoFrame) {
    platform::ScopedStandardDefaults scoped;
    KVXStaticWebWindowController program(KVXStaticWebWindowController::programGuideTitle());
    EXPECT_TRUE(program.frameAutosaveName().isEmpty());
    program.showWindow();
    program.window()->setGeometry(QRect(100, 100, 500, 400));
    testing_qt::spinFor(std::chrono::milliseconds(50));
    program.window()->close();
    EXPECT_FALSE(scoped.defaults().hasStoredValue(platform::WindowController::frameKey(QString())));
    EXPECT_FALSE(scoped.defaults().hasStoredValue(platform::WindowController::frameKey(kSyntaxFrameName)));
    KVXStaticWebWindowController again(KVXStaticWebWindowController::programGuideTitle());
    EXPECT_EQ(again.window()->size(), QSize(820, 900));
}

}  // namespace

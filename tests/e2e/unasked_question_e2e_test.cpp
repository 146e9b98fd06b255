// A question the user did not ask for, raised among their keys on a real
// display under a window manager: the keys go on coming through the X server
// while its window is mapped and takes the keyboard's focus, and every one
// of them reaches the text, none answers it; once the keyboard was still
// for the pause, the keys are the user's answer.
#include <QAbstractButton>
#include <QApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "e2e/window_manager.h"
#include "e2e/x_keyboard.h"
#include "platform/runtime/alerts.h"
#include "support/qt_wait.h"

namespace {

using namespace std::chrono_literals;
using platform::Alert;
using platform::Alerts;

// A window of a text field in front, under a window manager, the keys
// typed through the X server.
class UnaskedQuestion : public ::testing::Test {
protected:
    void SetUp() override {
        if (!testing_x::canType())
            GTEST_SKIP() << "keys cannot be typed on this display (libxtst-dev)";
        if (!manager.isRunning())
            GTEST_SKIP() << "no window manager (openbox) on this display";
        window.setWindowTitle(QStringLiteral("typed here"));
        (new QVBoxLayout(&window))->addWidget(text);
        window.resize(500, 300);
        window.show();
        ASSERT_TRUE(testing_qt::spinUntil([] { return testing_x::focusWindowTitled("typed here"); }, 10s));
        ASSERT_TRUE(testing_qt::spinUntil([&] { return window.isActiveWindow(); }, 10s));
        text->setFocus();
    }

    testing_x::WindowManager manager;
    QWidget window;
    QPlainTextEdit *text = new QPlainTextEdit(&window);
};

TEST_F(UnaskedQuestion, EveryKeyTypedAsItComesUpReachesTheText) {

    // Rounds of fast typing, each with a question raised in its middle: a
    // key every few milliseconds, so that some come while the question's
    // window is shown but has not yet taken the focus from the text's.
    std::string typed;
    for (int round = 0; round < 6; round++) {
        std::string keys;
        for (int k = 0; k < 120; k++)
            keys += char('a' + (round * 7 + k) % 26);
        std::atomic<bool> done{false};
        std::thread typist([&] {
            for (const char key : keys) {
                testing_x::typeText(std::string(1, key));
                std::this_thread::sleep_for(3ms);
            }
            done = true;
        });
        const qsizetype before = text->toPlainText().size();
        ASSERT_TRUE(testing_qt::spinUntil([&] { return text->toPlainText().size() >= before + 30; }, 10s));
        // Once the keys have stopped for the pause, the user reads it and
        // answers with a click.
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box || !done || Alerts::typingPauseLeft().count() > 0)
                return;
            for (QAbstractButton *button : box->buttons())
                if (button->text() == QLatin1String("Cancel"))
                    button->click();
        });
        answer.start(50);
        Alert question{QStringLiteral("File has changed"), QStringLiteral("Merge the changes?"),
                       {QStringLiteral("Merge"), QStringLiteral("Cancel")}};
        question.unasked = true;
        EXPECT_EQ(Alerts::runModal(question, &window), 1) << "round " << round;
        typist.join();
        typed += keys;
        ASSERT_TRUE(testing_qt::spinUntil([&] { return window.isActiveWindow(); }, 10s));
        testing_qt::spinFor(100ms);
        ASSERT_EQ(text->toPlainText().toStdString(), typed) << "round " << round;
    }
}

// The question has been up longer than the pause, the keyboard still: the
// user reads it and answers with keys, Tab to the second button and Space,
// a moment later, to press it. Both are the question's.
TEST_F(UnaskedQuestion, KeysAfterThePauseAnswerItHoweverQuicklyTheyFollow) {
    ASSERT_TRUE(testing_x::typeText("abc"));
    ASSERT_TRUE(testing_qt::spinUntil([&] { return text->toPlainText() == QLatin1String("abc"); }, 10s));

    std::atomic<bool> focused{false};
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box && QGuiApplication::focusWindow() == box->windowHandle())
            focused = true;
    });
    look.start(10);
    std::thread reader([&] {
        const auto until = std::chrono::steady_clock::now() + 20s;
        while (!focused && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(10ms);
        std::this_thread::sleep_for(Alerts::kTypingPause + 300ms);
        testing_x::pressKeys({"Tab"});
        std::this_thread::sleep_for(300ms);
        testing_x::typeText(" ");
    });
    // A question the keys did not answer fails the test, rather than hold it.
    QTimer::singleShot(30s, &window, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->done(-1);
    });
    Alert question{QStringLiteral("File has changed"), QStringLiteral("Merge the changes?"),
                   {QStringLiteral("Merge"), QStringLiteral("Merge as CriticMarkup")}};
    question.unasked = true;
    EXPECT_EQ(Alerts::runModal(question, &window), 1);
    reader.join();
    testing_qt::spinFor(100ms);
    EXPECT_EQ(text->toPlainText().toStdString(), "abc");
}

}  // namespace

// Key bindings in a shown editor: which keys are looked up at all, what a
// binding sends and where it goes, what a list of actions does, and that a
// new editor reads edited bindings.
#include <QApplication>

#include <gtest/gtest.h>

#include "editor/input/kvx_key_bindings.h"
#include "textengine/settings/keybindings.h"
#include "platform/runtime/action_router.h"
#include "editor/smart_view_support.h"
#include "support/log_capture.h"

using editortest::ScopedKeyBindings;
using editortest::ShownEditor;

namespace {

// The application at the end of the responder chain.
class RecordingApplication : public platform::Responder {
public:
    RecordingApplication() { platform::ActionRouter::addApplicationResponder(this); }
    ~RecordingApplication() override { platform::ActionRouter::removeApplicationResponder(this); }
    bool respondsToAction(const QString &action) const override {
        return action == QLatin1String("terminate:");
    }
    void performAction(const QString &action, QObject *sender) override {
        performed.append(action);
        senders.append(sender);
    }
    QStringList performed;
    QList<QObject *> senders;
};

constexpr quint64 kShift = kKeyModifierShift;
constexpr quint64 kCmd = kKeyModifierCmd;

}  // namespace

TEST(KeyBindings, OnlyKeysWithModifiersAreLookedUpAndOnlyAllowedActionsSent) {
    ScopedKeyBindings bindings(R"json([
        { "key": "\t", "modifiers": ["shift"], "action": "shiftRight:" },
        { "key": "a", "action": "shiftRight:" },
        { "key": "b", "modifiers": ["opt"], "action": "deleteEverything:" },
        { "key": "]", "modifiers": ["cmd"], "action": "shiftRight:" },
        { "key": "q", "modifiers": ["cmd", "opt"], "action": "terminate:" },
        { "key": "p", "modifiers": ["cmd", "opt"], "action": "togglePreview:" },
        { "key": "e", "modifiers": ["cmd", "opt"], "action": [] }
    ])json");
    ShownEditor editor;
    editor.show(QStringLiteral("line\n"));
    KVXKeyBindings &keys = KVXKeyBindings::sharedController();

    // The back-tab of Shift-Tab finds the binding written for Tab.
    EXPECT_TRUE(keys.performActionForKey(0x19, kShift, &editor.view()));
    EXPECT_EQ(editor.text(), QStringLiteral("\tline\n"));
    EXPECT_FALSE(keys.performActionForKey(0, kShift, &editor.view()));

    // A binding without modifiers is never used: "a" is typed.
    EXPECT_FALSE(keys.performActionForKey(u'a', 0, &editor.view()));
    editor.select(1);
    editor.type(QStringLiteral("a"));
    EXPECT_EQ(editor.text(), QStringLiteral("\taline\n"));

    // An action outside the allowed list is not sent: the key reaches the
    // text (Alt+b types "b").
    EXPECT_FALSE(KVXKeyBindings::isAllowedAction(QStringLiteral("deleteEverything:")));
    editor.press(Qt::Key_B, Qt::AltModifier, QStringLiteral("b"));
    EXPECT_EQ(editor.text(), QStringLiteral("\tabline\n"));

    // Modifier bits other than the four (keypad, fn) play no part.
    EXPECT_TRUE(keys.performActionForKey(u']', kCmd | 0x800000 | 0x200000, &editor.view()));
    EXPECT_EQ(editor.text(), QStringLiteral("\t\tabline\n"));

    // A key press with Ctrl ("cmd") goes through the same table.
    editor.press(Qt::Key_BracketRight, Qt::ControlModifier, QStringLiteral("]"));
    EXPECT_EQ(editor.text(), QStringLiteral("\t\t\tabline\n"));

    // An allowed action goes along the chain to the application.
    RecordingApplication application;
    EXPECT_TRUE(keys.performActionForKey(u'q', kCmd | kKeyModifierOpt, &editor.view()));
    EXPECT_EQ(application.performed, QStringList{QStringLiteral("terminate:")});
    EXPECT_EQ(application.senders.value(0), &keys);

    // Nobody takes it: "failed <action>", and the key is not used up.
    testing_qt::LogCapture log;
    EXPECT_FALSE(keys.performActionForKey(u'p', kCmd | kKeyModifierOpt, &editor.view()));
    EXPECT_EQ(log.count(QStringLiteral("failed togglePreview:")), 1);

    // An empty list uses the key up and does nothing.
    EXPECT_TRUE(keys.performActionForKey(u'e', kCmd | kKeyModifierOpt, &editor.view()));
    EXPECT_EQ(editor.text(), QStringLiteral("\t\t\tabline\n"));
}

TEST(KeyBindings, ListsInsertTextAndRunActionsInOrder) {
    ScopedKeyBindings bindings(R"json([
        { "key": "l", "modifiers": ["cmd"], "action": ["insertText:", "[]()", "moveLeft:", "moveLeft:", "moveLeft:"] },
        { "key": "k", "modifiers": ["cmd"], "action": ["noSuchAction:", "insertText:", "**", "moveLeft:", 7, "insertText:"] }
    ])json");
    ShownEditor editor;
    editor.show(QStringLiteral("word\n"));
    editor.select(4);
    editor.press(Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(editor.text(), QStringLiteral("word[]()\n"));
    EXPECT_EQ(editor.selection(), (CharRange{5, 0}));
    editor.select(0);
    // Names not allowed are skipped, a non-string entry too, and a last
    // "insertText:" has no text to insert.
    editor.press(Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(editor.text(), QStringLiteral("**word[]()\n"));
    EXPECT_EQ(editor.selection(), (CharRange{1, 0}));
}

TEST(KeyBindings, ShiftTabOutdentsWhateverIsBound) {
    ScopedKeyBindings bindings(R"json([
        { "key": "\t", "modifiers": ["shift"], "action": "shiftRight:" }
    ])json");
    ShownEditor editor;
    editor.show(QStringLiteral("\t\tindented\n"));
    editor.select(4);
    editor.press(Qt::Key_Backtab, Qt::ShiftModifier);
    EXPECT_EQ(editor.text(), QStringLiteral("\tindented\n"));
}

TEST(KeyBindings, ANewEditorReadsTheBindingsAgain) {
    ScopedKeyBindings bindings(R"json([{ "key": "]", "modifiers": ["cmd"], "action": "shiftRight:" }])json");
    {
        ShownEditor first;
        first.show(QStringLiteral("x\n"));
        first.press(Qt::Key_BracketRight, Qt::ControlModifier, QStringLiteral("]"));
        EXPECT_EQ(first.text(), QStringLiteral("\tx\n"));
    }
    bindings.setJson(R"json([{ "key": "]", "modifiers": ["cmd"], "action": "increaseLine:" }])json");
    const int asked = bindings.asked;
    ShownEditor second;
    EXPECT_EQ(bindings.asked, asked + 1);
    second.show(QStringLiteral("# Title\n"));
    second.press(Qt::Key_BracketRight, Qt::ControlModifier, QStringLiteral("]"));
    EXPECT_EQ(second.text(), QStringLiteral("## Title\n"));
}

// Actions sent by name from the focus widget along its responders to the
// application, menus validated by the responder that would get their
// action, and the characters key presses stand for in key bindings.
#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QWidget>

#include <gtest/gtest.h>

#include "platform/runtime/action_router.h"
#include "platform/text/key_characters.h"

using platform::ActionRouter;
using platform::Responder;

namespace {

// A widget that answers the actions it is given and records what it did.
class ResponderWidget : public QWidget, public Responder {
public:
    ResponderWidget(QStringList actions, QWidget *parent = nullptr)
        : QWidget(parent), m_actions(std::move(actions)) {}
    bool respondsToAction(const QString &action) const override { return m_actions.contains(action); }
    void performAction(const QString &action, QObject *) override { performed.append(action); }
    bool validateAction(const QString &action, QAction *item) override {
        if (item)
            item->setChecked(true);
        return action != QLatin1String("disabled:");
    }
    QWidget *nextResponder() const override { return next; }

    QStringList performed;
    QWidget *next = nullptr;

private:
    QStringList m_actions;
};

class ApplicationResponder : public Responder {
public:
    ApplicationResponder() { ActionRouter::addApplicationResponder(this); }
    ~ApplicationResponder() override { ActionRouter::removeApplicationResponder(this); }
    bool respondsToAction(const QString &action) const override {
        return action == QLatin1String("terminate:") || action == QLatin1String("shared:");
    }
    void performAction(const QString &action, QObject *) override { performed.append(action); }
    QStringList performed;
};

}  // namespace

TEST(ActionRouter, SendsAlongTheResponderChainToTheApplication) {
    ResponderWidget window({QStringLiteral("windowCommand:"), QStringLiteral("shared:")});
    auto *plain = new QWidget(&window);  // no responder: passed over
    auto *editor = new ResponderWidget({QStringLiteral("shiftLeft:"), QStringLiteral("shared:")}, plain);
    auto *sidebar = new ResponderWidget({QStringLiteral("filter:")}, &window);
    sidebar->next = editor;  // a sidebar hands on to its editor
    ApplicationResponder application;

    // The nearest responder that answers performs it.
    EXPECT_TRUE(ActionRouter::sendAction(QStringLiteral("shared:"), nullptr, editor));
    EXPECT_EQ(editor->performed, QStringList{QStringLiteral("shared:")});
    EXPECT_TRUE(window.performed.isEmpty());
    EXPECT_TRUE(ActionRouter::sendAction(QStringLiteral("windowCommand:"), nullptr, editor));
    EXPECT_EQ(window.performed, QStringList{QStringLiteral("windowCommand:")});
    // From the sidebar the chain runs through the editor, not its parent.
    EXPECT_TRUE(ActionRouter::sendAction(QStringLiteral("shiftLeft:"), nullptr, sidebar));
    EXPECT_EQ(editor->performed.last(), QStringLiteral("shiftLeft:"));
    // After the window, the application.
    EXPECT_TRUE(ActionRouter::sendAction(QStringLiteral("terminate:"), nullptr, editor));
    EXPECT_EQ(application.performed, QStringList{QStringLiteral("terminate:")});
    // Nobody answers: false, and nothing happens.
    EXPECT_FALSE(ActionRouter::sendAction(QStringLiteral("nothing:"), nullptr, editor));
    EXPECT_EQ(ActionRouter::targetForAction(QString(), editor), nullptr);
    // A chain that turns back on itself ends.
    editor->next = sidebar;
    EXPECT_FALSE(ActionRouter::sendAction(QStringLiteral("nothing:"), nullptr, sidebar));
    editor->next = nullptr;

    // Without a first responder given, the focus widget starts.
    window.show();
    window.activateWindow();
    editor->setFocusPolicy(Qt::StrongFocus);
    editor->setFocus();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), editor);
    EXPECT_TRUE(ActionRouter::sendAction(QStringLiteral("shared:"), nullptr));
    EXPECT_EQ(editor->performed.count(QStringLiteral("shared:")), 2);
}

TEST(ActionRouter, MenusAreValidatedByTheTargetOfEachItem) {
    ResponderWidget editor({QStringLiteral("shiftLeft:"), QStringLiteral("disabled:")});
    QMenu menu;
    QAction *shift = menu.addAction(QStringLiteral("Shift Left"));
    QAction *off = menu.addAction(QStringLiteral("Disabled"));
    QAction *orphan = menu.addAction(QStringLiteral("Nobody"));
    QAction *plain = menu.addAction(QStringLiteral("No action"));
    shift->setCheckable(true);
    ActionRouter::setAction(shift, QStringLiteral("shiftLeft:"));
    ActionRouter::setAction(off, QStringLiteral("disabled:"));
    ActionRouter::setAction(orphan, QStringLiteral("nobody:"));
    EXPECT_EQ(ActionRouter::actionOf(shift), QStringLiteral("shiftLeft:"));
    EXPECT_EQ(ActionRouter::actionOf(plain), QString());
    ActionRouter::validateMenu(&menu, &editor);
    EXPECT_TRUE(shift->isEnabled());
    EXPECT_TRUE(shift->isChecked());
    EXPECT_FALSE(off->isEnabled());
    EXPECT_FALSE(orphan->isEnabled());
    EXPECT_TRUE(plain->isEnabled());  // not the router's

    // Naming the action again does not send it twice.
    ActionRouter::setAction(shift, QStringLiteral("shiftLeft:"));
    editor.setFocusPolicy(Qt::StrongFocus);
    editor.show();
    editor.activateWindow();
    editor.setFocus();
    QApplication::processEvents();
    ASSERT_EQ(QApplication::focusWidget(), &editor);
    shift->trigger();
    EXPECT_EQ(editor.performed, QStringList{QStringLiteral("shiftLeft:")});
}

TEST(KeyCharacters, KeysStandForTheCharactersOfBindingFiles) {
    using namespace platform;
    struct Case {
        int key;
        Qt::KeyboardModifiers modifiers;
        char16_t expected;
    };
    const Case cases[] = {
        {Qt::Key_A, Qt::NoModifier, u'a'},
        {Qt::Key_A, Qt::ShiftModifier, u'A'},
        {Qt::Key_A, Qt::ControlModifier, u'a'},
        {Qt::Key_BracketLeft, Qt::ControlModifier, u'['},
        {Qt::Key_BraceRight, Qt::ControlModifier | Qt::ShiftModifier, u'}'},
        {Qt::Key_Adiaeresis, Qt::NoModifier, u'ä'},
        {Qt::Key_Tab, Qt::ControlModifier, 0x09},
        {Qt::Key_Backtab, Qt::ShiftModifier, 0x19},
        {Qt::Key_Return, Qt::NoModifier, 0x0D},
        {Qt::Key_Enter, Qt::KeypadModifier, 0x03},
        {Qt::Key_Backspace, Qt::NoModifier, 0x7F},
        {Qt::Key_Escape, Qt::NoModifier, 0x1B},
        {Qt::Key_Left, Qt::ControlModifier | Qt::MetaModifier, 0xF702},
        {Qt::Key_Down, Qt::NoModifier, 0xF701},
        {Qt::Key_Delete, Qt::NoModifier, 0xF728},
        {Qt::Key_PageDown, Qt::NoModifier, 0xF72D},
        {Qt::Key_F1, Qt::NoModifier, 0xF704},
        {Qt::Key_F12, Qt::NoModifier, 0xF70F},
        {Qt::Key_Shift, Qt::ShiftModifier, 0},
        {Qt::Key_VolumeUp, Qt::NoModifier, 0},
        {0x1F600, Qt::NoModifier, 0xD83D},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.key);
        EXPECT_EQ(keyCharacter(c.key, c.modifiers), c.expected);
    }
}

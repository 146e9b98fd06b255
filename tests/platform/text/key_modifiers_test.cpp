// The modifier names of key-binding files on a PC keyboard.
#include "platform/text/key_modifiers.h"

#include <gtest/gtest.h>

#include "textengine/settings/keybindings.h"

namespace {

TEST(KeyModifiers, CommandIsControlOptionIsAltControlIsMeta) {
    struct Case {
        uint64_t binding;
        Qt::KeyboardModifiers qt;
    } cases[] = {
        {kKeyModifierCmd, Qt::ControlModifier},
        {kKeyModifierOpt, Qt::AltModifier},
        {kKeyModifierCtrl, Qt::MetaModifier},
        {kKeyModifierShift, Qt::ShiftModifier},
        {kKeyModifierCmd | kKeyModifierShift, Qt::ControlModifier | Qt::ShiftModifier},
        {kKeyModifierMask, Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier | Qt::ShiftModifier},
        {0, Qt::NoModifier},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(platform::qtModifiers(c.binding), c.qt) << std::hex << c.binding;
        EXPECT_EQ(platform::keyBindingModifiers(c.qt), c.binding) << std::hex << c.binding;
    }
}

TEST(KeyModifiers, BitsThatTakeNoPartAreDropped) {
    // "fn" is read from files but never kept; the keypad flag of arrow keys
    // must not keep a binding from matching.
    EXPECT_EQ(platform::qtModifiers(kKeyModifierFn | kKeyModifierCmd), Qt::ControlModifier);
    EXPECT_EQ(platform::keyBindingModifiers(Qt::KeypadModifier | Qt::ControlModifier), kKeyModifierCmd);
    EXPECT_EQ(platform::keyBindingModifiers(Qt::GroupSwitchModifier), 0u);
}

}  // namespace

#include "platform/text/key_modifiers.h"

#include "textengine/settings/keybindings.h"

namespace platform {

namespace {

struct ModifierPair {
    uint64_t binding;
    Qt::KeyboardModifier qt;
};

constexpr ModifierPair kModifierPairs[] = {
    {kKeyModifierCmd, Qt::ControlModifier},
    {kKeyModifierOpt, Qt::AltModifier},
    {kKeyModifierCtrl, Qt::MetaModifier},
    {kKeyModifierShift, Qt::ShiftModifier},
};

}  // namespace

uint64_t keyBindingModifiers(Qt::KeyboardModifiers modifiers) {
    uint64_t bits = 0;
    for (const ModifierPair &pair : kModifierPairs)
        if (modifiers.testFlag(pair.qt))
            bits |= pair.binding;
    return bits;
}

Qt::KeyboardModifiers qtModifiers(uint64_t keyBindingModifiers) {
    Qt::KeyboardModifiers modifiers;
    for (const ModifierPair &pair : kModifierPairs)
        if (keyBindingModifiers & pair.binding)
            modifiers |= pair.qt;
    return modifiers;
}

}  // namespace platform

// The one place that decides which keys of a PC keyboard the modifier names
// of key-binding files mean:
//
//   "cmd"   Ctrl    (Qt::ControlModifier)
//   "opt"   Alt     (Qt::AltModifier)
//   "ctrl"  Meta    (Qt::MetaModifier, the Super or Windows key)
//   "shift" Shift   (Qt::ShiftModifier)
//
// so that bindings written for a Command key keep their feel: Command-[
// becomes Ctrl+[. Key events, menu shortcuts and binding files all convert
// through here.
#pragma once

#include <Qt>

#include <cstdint>

namespace platform {

// The modifier bits of a key-binding table (kKeyModifierShift ... Cmd) for
// the modifiers of a Qt key event; keypad and group-switch bits are dropped.
uint64_t keyBindingModifiers(Qt::KeyboardModifiers modifiers);

// The Qt modifiers that stand for key-binding modifier bits; bits outside
// the kept mask ("fn") are dropped.
Qt::KeyboardModifiers qtModifiers(uint64_t keyBindingModifiers);

}  // namespace platform

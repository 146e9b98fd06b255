// The character a key press stands for, whatever modifiers are held: the
// 16-bit key that key-binding files name ("\uF702" for the left arrow) and
// that the editor decides its keys by. Together with key_modifiers.h it
// turns a Qt key event into what a key binding matches.
//
// Text keys give their character as Shift leaves it and every other
// modifier does not touch it: Ctrl+[ is "[", Ctrl+Shift+] is "}" on a US
// keyboard, Shift+A is "A" and A is "a". The other keys give the codes of
// the Mac keyboard that binding files were first written for:
//
//   Tab 0x09, Shift+Tab 0x19, Return 0x0D, Enter (keypad) 0x03,
//   Backspace 0x7F, Escape 0x1B, arrows 0xF700-0xF703 (up, down, left,
//   right), F1-F35 0xF704-0xF726, Insert 0xF727, Delete 0xF728,
//   Home 0xF729, End 0xF72B, Page Up 0xF72C, Page Down 0xF72D.
#pragma once

#include <QKeyEvent>

namespace platform {

namespace keys {
constexpr char16_t kEnter = 0x03;
constexpr char16_t kTab = 0x09;
constexpr char16_t kReturn = 0x0D;
constexpr char16_t kBackTab = 0x19;
constexpr char16_t kEscape = 0x1B;
constexpr char16_t kBackspace = 0x7F;
constexpr char16_t kUpArrow = 0xF700;
constexpr char16_t kDownArrow = 0xF701;
constexpr char16_t kLeftArrow = 0xF702;
constexpr char16_t kRightArrow = 0xF703;
constexpr char16_t kF1 = 0xF704;
constexpr char16_t kInsert = 0xF727;
constexpr char16_t kDelete = 0xF728;
constexpr char16_t kHome = 0xF729;
constexpr char16_t kEnd = 0xF72B;
constexpr char16_t kPageUp = 0xF72C;
constexpr char16_t kPageDown = 0xF72D;
constexpr char16_t kDeleteChar = 0xF73E;
}  // namespace keys

// The key's character; 0 for a key that stands for none (a modifier alone,
// keys without a code above).
char16_t keyCharacter(int qtKey, Qt::KeyboardModifiers modifiers);
inline char16_t keyCharacter(const QKeyEvent &event) {
    return keyCharacter(event.key(), event.modifiers());
}

}  // namespace platform

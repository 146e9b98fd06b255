#include "platform/text/key_characters.h"

#include <QChar>

namespace platform {

namespace {

struct KeyCode {
    int qtKey;
    char16_t character;
};

constexpr KeyCode kSpecialKeys[] = {
    {Qt::Key_Tab, keys::kTab},
    {Qt::Key_Backtab, keys::kBackTab},
    {Qt::Key_Return, keys::kReturn},
    {Qt::Key_Enter, keys::kEnter},
    {Qt::Key_Backspace, keys::kBackspace},
    {Qt::Key_Escape, keys::kEscape},
    {Qt::Key_Up, keys::kUpArrow},
    {Qt::Key_Down, keys::kDownArrow},
    {Qt::Key_Left, keys::kLeftArrow},
    {Qt::Key_Right, keys::kRightArrow},
    {Qt::Key_Insert, keys::kInsert},
    {Qt::Key_Delete, keys::kDelete},
    {Qt::Key_Home, keys::kHome},
    {Qt::Key_End, keys::kEnd},
    {Qt::Key_PageUp, keys::kPageUp},
    {Qt::Key_PageDown, keys::kPageDown},
};

}  // namespace

char16_t keyCharacter(int qtKey, Qt::KeyboardModifiers modifiers) {
    for (const KeyCode &code : kSpecialKeys)
        if (code.qtKey == qtKey)
            return code.character;
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F35)
        return char16_t(keys::kF1 + (qtKey - Qt::Key_F1));
    // Qt's codes of text keys are their characters (letters upper-cased);
    // everything from Qt::Key_Escape up is a key without text.
    if (qtKey < Qt::Key_Space || qtKey >= Qt::Key_Escape)
        return 0;
    char32_t point = char32_t(qtKey);
    if (!modifiers.testFlag(Qt::ShiftModifier))
        point = QChar::toLower(point);
    // Beyond the first plane a key reports its leading surrogate, as a
    // binding file's key of such a character is read.
    if (point >= 0x10000)
        return QChar::highSurrogate(point);
    return char16_t(point);
}

}  // namespace platform

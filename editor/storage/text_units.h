// The editor's offset spaces meet here. The text buffer holds UTF-8 and
// counts bytes; the displayed QTextDocument counts UTF-16 units; the buffer's
// mirror text (one byte per unit) is what the highlighting engine parses, so
// its token offsets are document positions. Units are always counted with the
// text engine's lead-byte table, so that the three lengths agree whatever the
// bytes are.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

namespace textunits {

// Characters that QTextCursor::insertText would turn into a block break,
// shown instead as one visible unit each, so that document positions stay one
// to one with the buffer's units: CR as U+240D, the paragraph separator and
// the two frame markers U+FDD0 and U+FDD1 as U+FFFD.
constexpr char16_t kShownCarriageReturn = 0x240D;
constexpr char16_t kShownBlockBreak = 0xFFFD;

// Appends the displayed form of `length` bytes of UTF-8. It has exactly as
// many units as the lead-byte table counts in those bytes: a malformed
// sequence shows as U+FFFD for each unit it counts, a stray continuation byte
// as nothing.
void appendDisplayText(QString &out, const char *utf8, size_t length);
QString displayText(const char *utf8, size_t length);

// The real text of UTF-8 bytes, for callers that read the document's string.
QString realText(const char *utf8, size_t length);

// Text that enters the buffer: UTF-8 without NUL characters, which would end
// the buffer's NUL-terminated input early and lose what follows.
QByteArray bufferBytes(const QString &text);

// Units in `length` bytes (the lead-byte table; stops at a NUL).
size_t unitsIn(const char *utf8, size_t length);

// Byte <-> unit conversions over the buffer's current text that start from a
// remembered pair (byte, units) near the last edit, so that typing in a long
// text does not walk it from the beginning at every keystroke. The caller
// moves the anchor after every edit to a pair it knows to be true of the new
// text (the start of the edit, whose prefix did not change), or resets it.
class UnitAnchor {
public:
    void reset() { m_byte = m_units = 0; }
    void moveTo(size_t byte, size_t units) { m_byte = byte, m_units = units; }
    // The text changed from `byte` on: a pair past it no longer holds.
    void forgetFrom(size_t byte) {
        if (m_byte > byte)
            reset();
    }

    // Units before byte `byte` (clamped to `length`).
    size_t unitsAt(const char *text, size_t length, size_t byte);
    // The byte where unit `units` begins; a unit inside a surrogate pair
    // gives the start of its four-byte sequence; past the end, `length`.
    size_t byteAt(const char *text, size_t length, size_t units);

private:
    size_t m_byte = 0;
    size_t m_units = 0;
};

}  // namespace textunits

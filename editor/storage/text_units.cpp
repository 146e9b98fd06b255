#include "editor/storage/text_units.h"

#include "library/utf16_units.h"

namespace textunits {

namespace {

bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

char16_t shown(char32_t c) {
    switch (c) {
    case '\r':
        return kShownCarriageReturn;
    case 0x2029:
    case 0xFDD0:
    case 0xFDD1:
        return kShownBlockBreak;
    default:
        return 0;
    }
}

}  // namespace

void appendDisplayText(QString &out, const char *utf8, size_t length) {
    if (!utf8)
        return;
    const auto *p = reinterpret_cast<const unsigned char *>(utf8);
    out.reserve(out.size() + qsizetype(length));
    size_t i = 0;
    while (i < length) {
        unsigned char b = p[i];
        if (b == 0)
            break;
        if (b < 0x80) {
            out.append(b == '\r' ? QChar(kShownCarriageReturn) : QChar(b));
            i++;
            continue;
        }
        int units = utf8_unit_table[b];
        if (units == 0) {  // stray continuation byte or a byte UTF-8 never has
            i++;
            continue;
        }
        int follow = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : 1;
        char32_t c = b >= 0xF0 ? (b & 0x07) : b >= 0xE0 ? (b & 0x0F) : (b & 0x1F);
        bool good = true;
        int taken = 0;
        for (; taken < follow; taken++) {
            size_t j = i + 1 + size_t(taken);
            if (j >= length || !isContinuation(p[j])) {
                good = false;
                break;
            }
            c = (c << 6) | (p[j] & 0x3F);
        }
        i += 1 + size_t(taken);
        // Overlong forms, surrogates and values past U+10FFFF are shown as
        // replacement characters too, one per counted unit.
        if (good && follow == 1 && c < 0x80)
            good = false;
        if (good && follow == 2 && (c < 0x800 || (c >= 0xD800 && c <= 0xDFFF)))
            good = false;
        if (good && follow == 3 && (c < 0x10000 || c > 0x10FFFF))
            good = false;
        if (!good) {
            for (int u = 0; u < units; u++)
                out.append(QChar(kShownBlockBreak));
        } else if (c >= 0x10000) {
            out.append(QChar(QChar::highSurrogate(c)));
            out.append(QChar(QChar::lowSurrogate(c)));
        } else if (char16_t s = shown(c)) {
            out.append(QChar(s));
        } else {
            out.append(QChar(char16_t(c)));
        }
    }
}

QString displayText(const char *utf8, size_t length) {
    QString out;
    appendDisplayText(out, utf8, length);
    return out;
}

QString realText(const char *utf8, size_t length) {
    return utf8 ? QString::fromUtf8(utf8, qsizetype(length)) : QString();
}

QByteArray bufferBytes(const QString &text) {
    QByteArray bytes = text.toUtf8();
    if (bytes.contains('\0'))
        bytes.replace(QByteArray(1, '\0'), QByteArray());
    return bytes;
}

size_t unitsIn(const char *utf8, size_t length) {
    size_t units = 0;
    if (!utf8)
        return 0;
    for (size_t i = 0; i < length; i++) {
        unsigned char b = static_cast<unsigned char>(utf8[i]);
        if (b == 0)
            break;
        units += utf8_unit_table[b];
    }
    return units;
}

size_t UnitAnchor::unitsAt(const char *text, size_t length, size_t byte) {
    if (byte > length)
        byte = length;
    if (m_byte > length)
        reset();
    size_t units;
    if (byte >= m_byte)
        units = m_units + unitsIn(text + m_byte, byte - m_byte);
    else if (byte < m_byte - byte)
        units = unitsIn(text, byte);
    else
        units = m_units - unitsIn(text + byte, m_byte - byte);
    moveTo(byte, units);
    return units;
}

size_t UnitAnchor::byteAt(const char *text, size_t length, size_t units) {
    if (m_byte > length)
        reset();
    size_t i = 0, u = 0;
    if (units >= m_units) {
        i = m_byte, u = m_units;
    } else if (m_units - units < units) {
        // Step back from the anchor to a character start at or before the
        // wanted unit, then forward as usual.
        i = m_byte, u = m_units;
        while (i > 0 && (u > units || isContinuation(static_cast<unsigned char>(text[i])))) {
            i--;
            u -= utf8_unit_table[static_cast<unsigned char>(text[i])];
        }
    }
    for (; i < length; i++) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        if (b == 0)
            break;
        size_t w = utf8_unit_table[b];
        if (u + w > units)
            break;
        u += w;
    }
    moveTo(i, u);
    return i;
}

}  // namespace textunits

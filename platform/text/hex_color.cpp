#include "platform/text/hex_color.h"

#include "textengine/settings/hex_digit.h"

namespace platform {

namespace {

int hexDigit(QChar c) { return c.unicode() < 0x80 ? hex_digit_value(char(c.unicode())) : -1; }

}  // namespace

double HexColor::colorComponentFrom(const QString &text, qsizetype start, qsizetype length) {
    QString digits = text.mid(start, length);
    if (digits.size() != 2)
        digits += digits;
    // Read as a hexadecimal number: blanks skipped, then the leading digits.
    QStringView rest = QStringView(digits).trimmed();
    int value = 0;
    for (QChar c : rest) {
        const int digit = hexDigit(c);
        if (digit < 0)
            break;
        value = value * 16 + digit;
    }
    return value / 255.0;
}

QColor HexColor::colorWithHexString(const QString &text) {
    QString digits = text;
    digits.remove(u'#');
    digits = digits.toUpper();
    double alpha = 1, red, green, blue;
    switch (digits.size()) {
    case 3:  // RGB
        red = colorComponentFrom(digits, 0, 1);
        green = colorComponentFrom(digits, 1, 1);
        blue = colorComponentFrom(digits, 2, 1);
        break;
    case 4:  // ARGB
        alpha = colorComponentFrom(digits, 0, 1);
        red = colorComponentFrom(digits, 1, 1);
        green = colorComponentFrom(digits, 2, 1);
        blue = colorComponentFrom(digits, 3, 1);
        break;
    case 6:  // RRGGBB
        red = colorComponentFrom(digits, 0, 2);
        green = colorComponentFrom(digits, 2, 2);
        blue = colorComponentFrom(digits, 4, 2);
        break;
    case 8:  // AARRGGBB
        alpha = colorComponentFrom(digits, 0, 2);
        red = colorComponentFrom(digits, 2, 2);
        green = colorComponentFrom(digits, 4, 2);
        blue = colorComponentFrom(digits, 6, 2);
        break;
    default:
        return QColor();
    }
    return QColor::fromRgbF(float(red), float(green), float(blue), float(alpha));
}

}  // namespace platform

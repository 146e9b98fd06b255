#include "textengine/settings/color.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "textengine/settings/hex_digit.h"

uint32_t hex_to_int(const char *text) {
    if (!text)
        return 0;
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text += 2;
    uint32_t value = 0;
    for (int digit; (digit = hex_digit_value(*text)) >= 0; text++)
        value = value * 16 + (uint32_t)digit;
    return value;
}

uint8_t hex_pair_to_byte(const char *text, int digits) {
    if (!text)
        return 0;
    int high = hex_digit_value(text[0]);
    if (high < 0)
        return 0;
    if (digits <= 1)
        return (uint8_t)(high * 17);
    int low = hex_digit_value(text[1]);  // text[1] exists: text[0] was a digit, not NUL
    if (low < 0)
        return (uint8_t)high;
    return (uint8_t)(high * 16 + low);
}

color theme_color_parse(const char *text) {
    if (!text)
        return color_black;
    while (*text == '#')
        text++;
    switch (strlen(text)) {
    case 3:
        return color{255, hex_pair_to_byte(text, 1), hex_pair_to_byte(text + 1, 1),
                     hex_pair_to_byte(text + 2, 1)};
    case 4:
        return color{hex_pair_to_byte(text, 1), hex_pair_to_byte(text + 1, 1),
                     hex_pair_to_byte(text + 2, 1), hex_pair_to_byte(text + 3, 1)};
    case 6:
        return color{255, hex_pair_to_byte(text, 2), hex_pair_to_byte(text + 2, 2),
                     hex_pair_to_byte(text + 4, 2)};
    case 8:
        return color{hex_pair_to_byte(text, 2), hex_pair_to_byte(text + 2, 2),
                     hex_pair_to_byte(text + 4, 2), hex_pair_to_byte(text + 6, 2)};
    default: return color_black;
    }
}

char *theme_color_to_hex(color c) {
    char *text = static_cast<char *>(malloc(10));
    if (text)
        snprintf(text, 10, "#%02X%02X%02X%02X", c.alpha, c.red, c.green, c.blue);
    return text;
}

// The value of one hexadecimal digit, shared by the colour, JSON and
// key-binding readers.
#pragma once

// 0 to 15 for a hexadecimal digit of either case, -1 for any other byte
// (NUL included, so a reader that stops at -1 never runs past the end).
constexpr int hex_digit_value(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

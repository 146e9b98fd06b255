// The offset spaces: the displayed form of any bytes has exactly the units
// the text engine counts, and conversions from a remembered anchor agree
// with conversions from the start of the text.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "editor/storage/text_units.h"
#include "textengine/buffer/offsets.h"

TEST(TextUnits, DisplayedTextHasTheCountedUnitsWhateverTheBytes) {
    std::mt19937 random(3);
    const char *pieces[] = {"a", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\r", "\n",
                            "\xE2\x80\xA9", "\xEF\xB7\x90", "\x80", "\xFF", "\xC3", "\xF0\x9F",
                            "\xED\xA0\x80", "\xC0\x80", "\xF4\x90\x80\x80"};
    for (int round = 0; round < 300; round++) {
        std::string bytes;
        for (int i = 0; i < 30; i++)
            bytes += pieces[random() % std::size(pieces)];
        QString shown = textunits::displayText(bytes.data(), bytes.size());
        ASSERT_EQ(size_t(shown.size()), utf8_units_in_bytes(bytes.c_str(), bytes.size()));
        EXPECT_FALSE(shown.contains(QChar('\r')));
        EXPECT_FALSE(shown.contains(QChar(0x2029)));
        EXPECT_FALSE(shown.contains(QChar(0xFDD0)));
    }
    EXPECT_EQ(textunits::displayText("a\rb\xE2\x80\xA9", 7),
              QStringLiteral("a") + QChar(0x240D) + QStringLiteral("b") + QChar(0xFFFD));
    EXPECT_EQ(textunits::displayText("\xF0\x9F\x98\x80", 4), QStringLiteral("😀"));
}

TEST(TextUnits, AnchoredConversionsAgreeWithWalksFromTheStart) {
    std::mt19937 random(5);
    const char *pieces[] = {"a", "bc", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\n"};
    std::string text;
    for (int i = 0; i < 400; i++)
        text += pieces[random() % std::size(pieces)];
    const size_t units = utf8_units_in_bytes(text.c_str(), text.size());
    textunits::UnitAnchor anchor;
    for (int i = 0; i < 2000; i++) {
        size_t byte = random() % (text.size() + 1);
        ASSERT_EQ(anchor.unitsAt(text.c_str(), text.size(), byte),
                  utf8_units_in_bytes(text.c_str(), byte));
        size_t unit = random() % (units + 1);
        ASSERT_EQ(anchor.byteAt(text.c_str(), text.size(), unit),
                  utf8_unit_offset_to_byte_offset(text.c_str(), unit))
            << unit;
    }
}

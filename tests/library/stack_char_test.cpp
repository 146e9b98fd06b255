#include <gtest/gtest.h>

#include <cstdint>

#include "library/char.h"
#include "library/stack.h"

namespace {

TEST(Stack, DefaultCapacityAndDoubling) {
    for (int start : {0, -5}) {
        stack *s = stack_new(start);
        EXPECT_EQ(s->capacity, 64u);
        for (intptr_t i = 1; i <= 65; i++)
            stack_push(s, reinterpret_cast<void *>(i));
        EXPECT_EQ(s->capacity, 128u);
        EXPECT_EQ(s->size, 65u);
        EXPECT_EQ(stack_peek(s), reinterpret_cast<void *>(65));
        EXPECT_EQ(stack_peek_index(s, 0), reinterpret_cast<void *>(1));
        stack_free(s);
    }
}

TEST(Stack, EmptyStackGivesNull) {
    stack *s = stack_new(2);
    EXPECT_EQ(stack_pop(s), nullptr);
    EXPECT_EQ(stack_peek(s), nullptr);
    int a = 1;
    stack_push(s, &a);
    EXPECT_EQ(stack_peek_index(s, 1), nullptr);
    EXPECT_EQ(stack_pop(s), &a);
    EXPECT_EQ(stack_pop(s), nullptr);
    EXPECT_EQ(stack_pop(nullptr), nullptr);
    stack_free(s);
}

TEST(Stack, SortHandsSlotPointersToTheComparator) {
    int values[] = {5, 1, 4, 2, 3};
    stack *s = stack_new(0);
    for (int &v : values)
        stack_push(s, &v);
    stack_sort(s, [](const void *a, const void *b) {
        int x = **static_cast<int *const *>(a);
        int y = **static_cast<int *const *>(b);
        return x - y;
    });
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(*static_cast<int *>(s->element[i]), i + 1);
    stack_free(s);
}

TEST(CharClasses, EveryByteHasAtMostTheExpectedClass) {
    int counts[5] = {};
    for (int c = 0; c < 256; c++) {
        int bits = char_class_table[c];
        EXPECT_TRUE(bits == 0 || (bits & (bits - 1)) == 0) << c;
        for (int b = 0; b < 5; b++)
            counts[b] += (bits >> b) & 1;
        if (c >= 0x80 || c == 0x0B || c == 0x0C || c == 0x7F) {
            EXPECT_EQ(bits, 0) << c;
        }
    }
    EXPECT_EQ(counts[0], 2);   // whitespace
    EXPECT_EQ(counts[1], 32);  // punctuation
    EXPECT_EQ(counts[2], 52);  // letters
    EXPECT_EQ(counts[3], 10);  // digits
    EXPECT_EQ(counts[4], 3);   // line endings
}

TEST(CharClasses, PredicatesUseOnlyTheLowByte) {
    EXPECT_TRUE(char_is_alpha('a' + 0x100));
    EXPECT_TRUE(char_is_whitespace_or_line_ending('\0'));
    EXPECT_TRUE(char_is_whitespace_or_line_ending_or_punctuation('~'));
    EXPECT_FALSE(char_is_whitespace_or_punctuation('\n'));
    EXPECT_FALSE(char_is_alphanumeric((char)0xC3));
    EXPECT_TRUE(char_is_alphanumeric('7'));
}

TEST(CharClasses, WindowsLineEndingLooksBothWays) {
    const char *text = "a\r\nb\n\r";
    EXPECT_FALSE(char_is_windows_line_ending(text));
    EXPECT_TRUE(char_is_windows_line_ending(text + 1));
    EXPECT_TRUE(char_is_windows_line_ending(text + 2));
    EXPECT_FALSE(char_is_windows_line_ending(text + 4));
    EXPECT_FALSE(char_is_windows_line_ending(text + 5));
}

}  // namespace

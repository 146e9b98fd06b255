// Types the input into a Smart String with every typing aid on (smart pairs,
// smart enter and tab, headings), interleaved with caret moves, selection
// commands and line transforms, and checks after each step that the caret
// lies in the text and the mirror is the encoding of the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "textengine/transforms/line_transforms.h"
#include "textengine/typing/smart_enter.h"
#include "textengine/typing/smart_pairs.h"
#include "textengine/buffer/smart_string.h"
#include "textengine/transforms/text_ranges.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const uint64_t options = 0xB01 | 0x8 | 0x10 | 0x3FF000 | 0x400000;
    _SString *s = smart_string_new("- item\n> quote\n## Head #\n| a | b |\n", options);
    smart_string_set_pairs(s, "<>\"\"{}[]()**__``''");
    size_t i = 0;
    auto next = [&]() -> uint8_t { return i < size ? data[i++] : 0; };
    while (i < size) {
        uint8_t op = next();
        size_t n = smart_string_length(s);
        size_t start = smart_string_caret_start(s), length = smart_string_caret_length(s);
        if (start > n || length > n - start)
            abort();
        smart_string_change c = {};
        c.tags = 1;
        switch (op % 16) {
        case 0: {  // move the caret or select
            size_t a = (next() * 256u + next()) % (n + 1);
            size_t b = next() % (n - a + 1);
            smart_string_set_caret(s, a, b % 4 == 0 ? b : 0);
            break;
        }
        case 1:
            smart_string_replace(s, length || !start ? start : start - 1, length || !start ? length : 1,
                                 "", &c);
            break;
        case 2: smart_string_increase_selection(s, start, length); break;
        case 3: smart_string_decrease_selection(s, start, length); break;
        case 4: smart_string_previous_paragraph(s, start, length); break;
        case 5: smart_string_next_paragraph(s, start, length); break;
        case 6: smart_string_shift_indent(s, start, length, &c); break;
        case 7: smart_string_shift_outdent(s, start, length, &c); break;
        case 8: smart_string_shift_lines_up(s, start, length, &c); break;
        case 9: smart_string_shift_lines_down(s, start, length, &c); break;
        case 10: smart_string_shift_heading_remove_hash(s, start, length, &c); break;
        case 11: smart_string_shift_heading_add_hash(s, start, length, &c); break;
        case 12: {
            size_t hs, hl;
            smart_string_highlight_range(s, start, length, &hs, &hl);
            if (hs > n || hl > n - hs)
                abort();
            break;
        }
        default: {  // type one key
            char key[2] = {(char)(next() ?: '\n'), 0};
            smart_string_replace(s, start, length, key, &c);
            break;
        }
        }
        const char *str = smart_string_text(s);
        char *encoded = smart_string_mirror_encode(str);
        if (strcmp(encoded, smart_string_mirror_text(s)->str) != 0)
            abort();
        free(encoded);
    }
    smart_string_free(s, true);
    return 0;
}

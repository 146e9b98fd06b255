// Drives a Smart String through edits, undos and redos in plain and linear
// history; the text must stay in step with its mirror, and undoing all of a
// plain history must give back the first text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "textengine/buffer/smart_string.h"
#include "textengine/buffer/undo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    size_t i = 0;
    auto next = [&]() -> size_t { return i < size ? data[i++] : 0; };
    uint64_t options = 0x1 | 0x200 | 0x800 | (next() & 1 ? 0x2 : 0);
    _SString *s = smart_string_new("start \xC3\xA9t\xC3\xA9", options);
    smart_string_set_coalesce_level(s, (uint32_t)next() % 5);
    std::string first = smart_string_text(s);
    while (i < size) {
        size_t op = next() % 4;
        if (op == 0) {
            smart_string_undo(s, nullptr, nullptr, nullptr, next() % 4);
        } else if (op == 1) {
            smart_string_redo(s, nullptr, nullptr, nullptr, next() % 4);
        } else {
            size_t len = smart_string_length(s);
            size_t at = len ? next() * 7 % (len + 1) : 0;
            size_t cut = next() % 5;
            char text[8] = {};
            size_t n = next() % 5;
            for (size_t k = 0; k < n && i < size; k++)
                text[k] = (char)(data[i++] | 1);
            smart_string_change *c = smart_string_change_new();
            c->tags = 1 + next() % 2;
            smart_string_replace(s, at, std::min(cut, len - at), text, c);
            smart_string_change_free(c);
        }
    }
    _SString *fresh = smart_string_new(smart_string_text(s), options);
    if (strcmp(smart_string_mirror_text(s)->str, smart_string_mirror_text(fresh)->str) != 0)
        abort();
    smart_string_free(fresh, true);
    if (!(options & 0x2)) {
        while (smart_string_undo(s, nullptr, nullptr, nullptr, 0)) {
        }
        if (first != smart_string_text(s))
            abort();
    }
    smart_string_free(s, true);
    return 0;
}

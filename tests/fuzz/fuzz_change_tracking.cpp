// Drives a Smart String with change tracking and expansions on through edits
// built from the input bytes. The original text and every typed text are
// kept free of marker characters and of backslashes (which escape markers
// for the CriticMarkup functions), so rejecting every change must always give
// the original text back: each edit was either refused or written as
// CriticMarkup. The queries and template processing run on the way and must
// stay inside the text.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "textengine/typing/change_tracking.h"
#include "library/critic.h"
#include "library/d_string.h"
#include "textengine/typing/expansions.h"
#include "textengine/buffer/smart_string.h"

namespace {

std::string without_markers(const uint8_t *data, size_t size) {
    std::string out;
    for (size_t i = 0; i < size; i++) {
        char c = (char)data[i];
        if (c && !strchr("{}~+-<>=\\", c))
            out += c;
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 2)
        return 0;
    size_t seed_length = data[0] % 32;
    if (seed_length > size - 1)
        seed_length = size - 1;
    std::string original = without_markers(data + 1, seed_length);
    size_t i = 1 + seed_length;
    auto next = [&]() -> size_t { return i < size ? data[i++] : 0; };

    _SString *s = smart_string_new(original.c_str(), 0xB01 | SMART_STRING_EXPANSIONS);
    smart_string_add_expansion(s, "q", "<%replaced %d>");
    smart_string_add_expansion(s, "zz", "%snippet:zz%");
    smart_string_start_tracking_changes(s);
    while (i < size) {
        size_t length_now = smart_string_length(s);
        size_t start = next() % (length_now + 1);
        size_t length = next() % (length_now - start + 1);
        if (length > 4 && (length & 1))
            length = 1;  // backspaces are common
        size_t n = next() % 6;
        std::string typed = without_markers(data + i, n < size - i ? n : size - i);
        i += n < size - i ? n : size - i;
        smart_string_set_caret(s, start, 0);
        smart_string_replace(s, start, length, typed.c_str(), nullptr);

        size_t out_start, out_length;
        size_t text_length = smart_string_length(s);
        smart_string_next_change(s, start, &out_start, &out_length);
        if (out_start != (size_t)-1 && out_start + out_length > text_length)
            abort();
        smart_string_previous_change(s, start, &out_start, &out_length);
        if (out_start != (size_t)-1 && out_start + out_length > text_length)
            abort();
        smart_string_change_intersecting_range(s, start / 2, length, &out_start, &out_length);
        if (out_start != (size_t)-1 && out_start + out_length > text_length)
            abort();
        int can = smart_string_can_edit_range(s, start / 2, length, n);
        if (can < -1 || can > 1)
            abort();
    }
    DString *rejected = d_string_new(smart_string_text(s));
    critic_reject_all(rejected);
    if (original != rejected->str)
        abort();
    d_string_free(rejected, true);

    // Any bytes as a template.
    std::string raw((const char *)data, size);
    DString *t = d_string_new(raw.c_str());
    smart_string_expand_template(s, t);
    d_string_free(t, true);
    smart_string_free(s, true);
    return 0;
}

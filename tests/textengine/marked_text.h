// Texts with the caret or the selection marked in them, for tables of
// editing cases: "‸" is an insertion point, "«" and "»" bound a selection.
#pragma once

#include <cstring>
#include <memory>
#include <string>

#include "textengine/buffer/smart_string.h"

struct MarkedText {
    std::string text;
    size_t start = 0;
    size_t length = 0;
};

inline MarkedText parse_marked(const std::string &marked) {
    MarkedText m;
    m.text = marked;
    size_t caret = m.text.find("‸");
    if (caret != std::string::npos) {
        m.text.erase(caret, strlen("‸"));
        m.start = caret;
        return m;
    }
    size_t open = m.text.find("«");
    if (open == std::string::npos) {
        m.start = m.text.size();
        return m;
    }
    m.text.erase(open, strlen("«"));
    size_t close = m.text.find("»");
    m.text.erase(close, strlen("»"));
    m.start = open;
    m.length = close - open;
    return m;
}

inline std::string render_marked(const std::string &text, size_t start, size_t length) {
    if (start > text.size() || length > text.size() - start)
        return text + " (caret " + std::to_string(start) + "/" + std::to_string(length) + ")";
    std::string out = text;
    if (length == 0)
        return out.insert(start, "‸");
    out.insert(start + length, "»");
    return out.insert(start, "«");
}

// The Smart String's text with its caret fields marked.
inline std::string render_marked(_SString *s) {
    return render_marked(smart_string_text(s), smart_string_caret_start(s),
                         smart_string_caret_length(s));
}

struct MarkedSStringDeleter {
    void operator()(_SString *s) const { smart_string_free(s, true); }
};
using MarkedSStringPtr = std::unique_ptr<_SString, MarkedSStringDeleter>;

// A Smart String over the marked text, its caret set from the marks.
inline MarkedSStringPtr make_marked(const std::string &marked, uint64_t options) {
    MarkedText m = parse_marked(marked);
    MarkedSStringPtr s(smart_string_new(m.text.c_str(), options));
    smart_string_set_caret(s.get(), m.start, m.length);
    return s;
}

// Types the keys one byte at a time at the caret the last edit left; "\b" is
// Backspace (the selection, or the byte before the caret).
inline void type_keys(_SString *s, const std::string &keys) {
    for (char key : keys) {
        size_t start = smart_string_caret_start(s), length = smart_string_caret_length(s);
        smart_string_change c = {};
        c.tags = 1;
        if (key == '\b') {
            if (length == 0 && start > 0) {
                start--;
                length = 1;
            }
            smart_string_replace(s, start, length, "", &c);
        } else {
            const char one[2] = {key, '\0'};
            smart_string_replace(s, start, length, one, &c);
        }
    }
}

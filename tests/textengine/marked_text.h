// Texts with the caret or the selection marked in them, for tables of
// editing cases: "‸" is an insertion point, "«" and "»" bound a selection.
#pragma once

#include <string>

#include "smart_string.h"

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

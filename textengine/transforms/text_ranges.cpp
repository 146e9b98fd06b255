#include "textengine/transforms/text_ranges.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "library/char.h"
#include "library/diagnostics.h"

static bool is_line_end(char c) { return c == '\0' || c == '\n' || c == '\r'; }
static bool is_break(char c) { return c == '\n' || c == '\r'; }
static bool is_blank(char c) { return c == ' ' || c == '\t'; }
static bool is_word_delimiter(char c) { return char_is_whitespace_or_line_ending_or_punctuation(c); }

static void set_out(size_t *out_start, size_t *out_length, size_t start, size_t length) {
    if (out_start)
        *out_start = start;
    if (out_length)
        *out_length = length;
}

// The range must lie in the text; otherwise it is cut to the text.
static void clamp(const char *text, size_t *start, size_t *length) {
    size_t n = strlen(text);
    if (*start > n)
        *start = n;
    if (*length > n - *start)
        *length = n - *start;
}

size_t text_line_start(const char *text, size_t at) {
    while (at > 0 && !is_break(text[at - 1]))
        at--;
    return at;
}

// Offset just past the line ending of the line holding `at` (CR LF as one),
// or of the NUL's position at the end of the text.
static size_t line_end_after(const char *text, size_t at) {
    while (!is_line_end(text[at]))
        at++;
    if (text[at] == '\r' && text[at + 1] == '\n')
        return at + 2;
    return text[at] ? at + 1 : at;
}

// Whether the line that starts at `line_start` holds nothing.
static bool empty_line(const char *text, size_t line_start) { return is_line_end(text[line_start]); }

size_t text_previous_line_start(const char *text, size_t line_start) {
    size_t end = line_start - 1;
    if (text[end] == '\n' && end > 0 && text[end - 1] == '\r')
        end--;
    return text_line_start(text, end);
}

void text_word_range(const char *text, size_t start, size_t length, size_t *out_start,
                     size_t *out_length) {
    if (!text)
        return set_out(out_start, out_length, 0, 0);
    clamp(text, &start, &length);
    size_t from = start;
    while (from > 0 && !is_word_delimiter(text[from - 1]))
        from--;
    size_t to = start + length;
    while (to > start && is_word_delimiter(text[to - 1]))
        to--;
    while (!is_word_delimiter(text[to]))
        to++;
    set_out(out_start, out_length, from, std::max(to, from) - from);
}

void text_line_range(const char *text, size_t start, size_t length, size_t *out_start,
                     size_t *out_length) {
    if (!text)
        return set_out(out_start, out_length, 0, 0);
    clamp(text, &start, &length);
    size_t from = text_line_start(text, start);
    size_t end = start + length;
    size_t to;
    if (length > 0 && text[end - 1] == '\r' && text[end] == '\n')
        to = end + 1;
    else if (length > 0 && is_break(text[end - 1]))
        to = end;
    else
        to = line_end_after(text, end);
    set_out(out_start, out_length, from, to - from);
}

// Start of the paragraph that holds `at`; on an empty line, that line.
static size_t paragraph_start(const char *text, size_t at) {
    size_t line = text_line_start(text, at);
    if (empty_line(text, line))
        return line;
    while (line > 0) {
        size_t before = text_previous_line_start(text, line);
        if (empty_line(text, before))
            break;
        line = before;
    }
    return line;
}

// Just past the line ending of the paragraph's last line; on an empty line,
// its start.
static size_t paragraph_end(const char *text, size_t at) {
    size_t line = text_line_start(text, at);
    if (empty_line(text, line))
        return line;
    size_t end = line_end_after(text, line);
    while (text[end] && !empty_line(text, end))
        end = line_end_after(text, end);
    return end;
}

void text_paragraph_range(const char *text, size_t start, size_t length, size_t *out_start,
                          size_t *out_length) {
    if (!text)
        return set_out(out_start, out_length, 0, 0);
    clamp(text, &start, &length);
    size_t from = paragraph_start(text, start);
    size_t end = start + length;
    // A range that ends with a line ending ends on the line holding it.
    size_t to = paragraph_end(text, length > 0 && is_break(text[end - 1]) ? end - 1 : end);
    to = std::max(to, end);
    set_out(out_start, out_length, from, to - from);
}

size_t text_next_paragraph_boundary(const char *text, size_t position) {
    if (!text)
        return 0;
    size_t n = strlen(text);
    size_t i = std::min(position, n);
    while (i < n) {
        if (!is_break(text[i])) {
            i++;
            continue;
        }
        size_t after = (text[i] == '\r' && text[i + 1] == '\n') ? i + 2 : i + 1;
        if (!is_break(text[after])) {
            i = after;
            continue;
        }
        // A blank line; it does not end the paragraph when an indented line
        // follows it (the paragraph goes on, as in a list item's body).
        size_t k = after;
        while (is_blank(text[k]) || is_break(text[k]))
            k++;
        if (!text[k] || text_line_start(text, k) == k)
            return after;
        i = line_end_after(text, k);
    }
    return n;
}

void text_highlight_range(const char *text, size_t start, size_t length, size_t *out_start,
                          size_t *out_length) {
    if (!text)
        return set_out(out_start, out_length, 0, 0);
    clamp(text, &start, &length);
    size_t boundary = std::max(text_next_paragraph_boundary(text, start + length), start + length);
    size_t from, len;
    text_paragraph_range(text, start, boundary - start, &from, &len);
    // A range that starts on a blank or an empty line belongs with the text
    // before it (an indented continuation, a blank line inside a block).
    while (from > 0 && (is_blank(text[from]) || is_line_end(text[from]))) {
        size_t back = from;
        while (back > 0 && (is_blank(text[back - 1]) || is_break(text[back - 1])))
            back--;
        if (back == from)
            break;
        size_t end = from + len;
        text_paragraph_range(text, back, end - back, &from, &len);
    }
    set_out(out_start, out_length, from, len);
}

bool ranges_overlap(size_t a, size_t a_length, size_t b, size_t b_length) {
    return a < b + b_length && b < a + a_length;
}

bool range_inside(size_t a, size_t a_length, size_t b, size_t b_length) {
    return a >= b && a + a_length <= b + b_length;
}

// ---------------------------------------------------------------------------
// Selection commands

static void set_caret(_SString *s, size_t start, size_t length) {
    smart_string_set_caret(s, start, length);
}

void smart_string_increase_selection(_SString *s, size_t start, size_t length) {
    if (!smart_string_range_in_text(s, start, length))
        return;
    size_t rs = (size_t)s->remembered_selection_start, rl = s->remembered_selection_length;
    if (s->remembered_selection_start < 0 || !ranges_overlap(rs, rl, start, length) ||
        !range_inside(rs, rl, start, length)) {
        s->remembered_selection_start = (int64_t)start;
        s->remembered_selection_length = length;
    }
    const char *text = s->text->str;
    size_t ranges[4][2];
    text_word_range(text, start, length, &ranges[0][0], &ranges[0][1]);
    text_line_range(text, start, length, &ranges[1][0], &ranges[1][1]);
    text_paragraph_range(text, start, length, &ranges[2][0], &ranges[2][1]);
    ranges[3][0] = 0;
    ranges[3][1] = s->text->length;
    for (auto &range : ranges) {
        if (range[1] > length) {
            set_caret(s, range[0], range[1]);
            return;
        }
    }
}

void smart_string_decrease_selection(_SString *s, size_t start, size_t length) {
    if (!smart_string_range_in_text(s, start, length))
        return;
    size_t rs = (size_t)s->remembered_selection_start, rl = s->remembered_selection_length;
    if (s->remembered_selection_start < 0 || !ranges_overlap(rs, rl, start, length) ||
        !range_inside(rs, rl, start, length) || !smart_string_range_in_text(s, rs, rl)) {
        set_caret(s, start, length);
        return;
    }
    const char *text = s->text->str;
    size_t ranges[3][2];
    text_paragraph_range(text, rs, rl, &ranges[0][0], &ranges[0][1]);
    text_line_range(text, rs, rl, &ranges[1][0], &ranges[1][1]);
    text_word_range(text, rs, rl, &ranges[2][0], &ranges[2][1]);
    for (auto &range : ranges) {
        if (range[1] < length) {
            set_caret(s, range[0], range[1]);
            return;
        }
    }
    set_caret(s, rs, rl);
}

void smart_string_previous_paragraph(_SString *s, size_t start, size_t length) {
    if (!smart_string_range_in_text(s, start, length))
        return;
    const char *text = s->text->str;
    size_t from, len;
    text_paragraph_range(text, start, length, &from, &len);
    if (from < start)
        return set_caret(s, from, 0);
    if (start > 0) {
        text_paragraph_range(text, start - 1, 0, &from, &len);
        if (from < start - 1)
            return set_caret(s, from, 0);
    }
    size_t i = start;
    while (i > 0 && (is_blank(text[i - 1]) || is_break(text[i - 1])))
        i--;
    if (i == 0)
        return set_caret(s, 0, 0);
    while (is_blank(text[i]))
        i++;
    set_caret(s, std::min(i + 1, s->text->length), 0);
}

void smart_string_next_paragraph(_SString *s, size_t start, size_t length) {
    if (!smart_string_range_in_text(s, start, length))
        return;
    const char *text = s->text->str;
    size_t from, len;
    text_paragraph_range(text, start, length, &from, &len);
    if (from + len > start + length)
        return set_caret(s, from + len, 0);
    size_t i = start + length;
    while (is_blank(text[i]) || is_break(text[i]))
        i++;
    set_caret(s, i, 0);
}

static void finder_on(_SString *s, size_t start, size_t length, size_t *out_start,
                      size_t *out_length,
                      void (*finder)(const char *, size_t, size_t, size_t *, size_t *)) {
    if (!smart_string_range_in_text(s, start, length))
        return set_out(out_start, out_length, (size_t)-1, (size_t)-1);
    finder(s->text->str, start, length, out_start, out_length);
}

void smart_string_line_range_at(_SString *s, size_t start, size_t length, size_t *out_start,
                                size_t *out_length) {
    finder_on(s, start, length, out_start, out_length, text_line_range);
}

void smart_string_paragraph_range(_SString *s, size_t start, size_t length, size_t *out_start,
                                  size_t *out_length) {
    finder_on(s, start, length, out_start, out_length, text_paragraph_range);
}

void smart_string_highlight_range(_SString *s, size_t start, size_t length, size_t *out_start,
                                  size_t *out_length) {
    finder_on(s, start, length, out_start, out_length, text_highlight_range);
}

char *smart_string_substring(_SString *s, size_t start, size_t length) {
    if (!s)
        return nullptr;
    size_t n = s->text->length;
    if (length == (size_t)-1 && start <= n)
        length = n - start;
    if (!smart_string_range_in_text(s, start, length)) {
        tzr_log("Smart String: Asked to copy invalid substring range.\n");
        tzr_log("start: %lu  len: %lu  string: %lu\n", (unsigned long)start, (unsigned long)length,
                (unsigned long)n);
        return nullptr;
    }
    char *copy = static_cast<char *>(malloc(length + 1));
    if (!copy)
        return nullptr;
    memcpy(copy, s->text->str + start, length);
    copy[length] = '\0';
    return copy;
}

void smart_string_prepend_text(_SString *s, const char *text, smart_string_change *change) {
    smart_string_replace(s, 0, 0, text, change);
}

void smart_string_append_text(_SString *s, const char *text, smart_string_change *change) {
    if (s)
        smart_string_replace(s, s->text->length, 0, text, change);
}

void smart_string_delete_range(_SString *s, size_t start, size_t length,
                               smart_string_change *change) {
    smart_string_replace(s, start, length, "", change);
}

void smart_string_insert_text(_SString *s, size_t position, const char *text,
                              smart_string_change *change) {
    smart_string_replace(s, position, 0, text, change);
}

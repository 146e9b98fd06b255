#include "textengine/transforms/line_transforms.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "textengine/heap_string.h"
#include "textengine/typing/smart_enter.h"
#include "textengine/transforms/text_ranges.h"

static bool is_blank(char c) { return c == ' ' || c == '\t'; }
static bool is_break(char c) { return c == '\n' || c == '\r'; }


// Whether [start, start + length) lies in text.
static bool valid_range(const char *text, size_t start, size_t length) {
    if (!text)
        return false;
    size_t n = strlen(text);
    return start <= n && length <= n - start;
}

// One change at a line start: `removed` bytes go, `added` bytes come.
struct line_edit {
    size_t at, removed, added;
};

// Where a position of the old text lands: it keeps its distance from the end
// of its line, but never moves before the line's start.
static size_t map_position(const std::vector<line_edit> &edits, size_t p) {
    size_t moved = p;
    for (const line_edit &e : edits) {
        if (e.at > p)
            break;
        moved += e.added;
        moved -= std::min(p - e.at, e.removed);
    }
    return moved;
}

// Line starts in [start, start + length): the first, and the one after every
// LF inside the range except a final one.
static std::vector<size_t> line_starts(const char *text, size_t start, size_t length) {
    std::vector<size_t> starts = {start};
    for (size_t i = start; i + 1 < start + length; i++)
        if (text[i] == '\n')
            starts.push_back(i + 1);
    return starts;
}

static std::vector<line_edit> indent_edits(const char *text, size_t start, size_t length) {
    std::vector<line_edit> edits;
    for (size_t at : line_starts(text, start, length))
        edits.push_back({at, 0, 1});
    return edits;
}

static std::vector<line_edit> outdent_edits(const char *text, size_t start, size_t length) {
    std::vector<line_edit> edits;
    size_t end = start + length;
    for (size_t at : line_starts(text, start, length)) {
        if (at < end && text[at] == '\t')
            edits.push_back({at, 1, 0});
        else if (at + 4 <= end && strncmp(text + at, "    ", 4) == 0)
            edits.push_back({at, 4, 0});
    }
    return edits;
}

// The lines with the edits made (edits add tabs only).
static std::string apply_edits(const char *text, size_t start, size_t length,
                               const std::vector<line_edit> &edits) {
    std::string out;
    size_t i = start;
    for (const line_edit &e : edits) {
        out.append(text + i, e.at - i);
        out.append(e.added, '\t');
        i = e.at + e.removed;
    }
    out.append(text + i, start + length - i);
    return out;
}

char *indent_lines(const char *text, size_t start, size_t length) {
    if (!valid_range(text, start, length))
        return nullptr;
    return heap_string(apply_edits(text, start, length, indent_edits(text, start, length)));
}

char *outdent_lines(const char *text, size_t start, size_t length) {
    if (!valid_range(text, start, length))
        return nullptr;
    return heap_string(apply_edits(text, start, length, outdent_edits(text, start, length)));
}

char *indent_lines_string(const char *text) {
    return text ? indent_lines(text, 0, strlen(text)) : nullptr;
}

char *outdent_lines_string(const char *text) {
    return text ? outdent_lines(text, 0, strlen(text)) : nullptr;
}

char *lines_moved_up(const char *text, size_t start, size_t length, size_t *replace_start,
                     size_t *replace_length) {
    if (!valid_range(text, start, length))
        return nullptr;
    size_t from, len;
    text_line_range(text, start, length, &from, &len);
    std::string lines(text + from, len);
    if (lines.empty() || lines.back() != '\n')
        lines += '\n';
    size_t replaced_from = from;
    if (from == 0) {
        lines += '\n';
    } else {
        replaced_from = text_previous_line_start(text, from);
        lines.append(text + replaced_from, from - replaced_from);
    }
    if (replace_start)
        *replace_start = replaced_from;
    if (replace_length)
        *replace_length = from + len - replaced_from;
    return heap_string(lines);
}

char *lines_moved_down(const char *text, size_t start, size_t length, size_t *replace_start,
                       size_t *replace_length) {
    if (!valid_range(text, start, length))
        return nullptr;
    size_t from, len;
    text_line_range(text, start, length, &from, &len);
    if (len == 0)
        return nullptr;  // the empty last line: nothing to move
    size_t end = from + len;
    std::string moved;
    size_t replaced_end = end;
    if (!text[end] || !is_break(text[end - 1])) {
        moved = "\n";
    } else {
        size_t next_from, next_len;
        text_line_range(text, end, 0, &next_from, &next_len);
        moved.assign(text + end, next_len);
        if (moved.empty() || moved.back() != '\n')
            moved += '\n';
        replaced_end = end + next_len;
    }
    moved.append(text + from, len);
    if (replace_start)
        *replace_start = from;
    if (replace_length)
        *replace_length = replaced_end - from;
    return heap_string(moved);
}

// ---------------------------------------------------------------------------
// Headings

static size_t opening_run(const std::string &line, size_t *at) {
    size_t i = 0;
    while (i < 3 && line[i] == ' ')
        i++;
    size_t n = 0;
    while (i + n < line.size() && line[i + n] == '#')
        n++;
    if (at)
        *at = i;
    return n;
}

void heading_fix_closing_hashes(DString *line) {
    if (!line || !line->str)
        return;
    std::string text(line->str, line->length);
    size_t open_at;
    size_t open = opening_run(text, &open_at);
    size_t end = text.size();
    while (end > 0 && is_blank(text[end - 1]))
        end--;
    size_t run = end;
    while (run > 0 && text[run - 1] == '#')
        run--;
    // Only a run after a blank closes the heading ("## Learn C#" keeps its
    // "#"); the opening run itself is no closing run.
    if (run == end || run <= open_at + open || !is_blank(text[run - 1]))
        return;
    d_string_erase(line, run, end - run);
    d_string_insert(line, run, std::string(open, '#').c_str());
}

static char *heading_changed(const char *text, size_t line_start, size_t line_length, bool add) {
    if (!valid_range(text, line_start, line_length))
        return nullptr;
    std::string line(text + line_start, line_length);
    if (smart_string_line_class(line.c_str()) != LINE_CLASS_HEADING)
        return nullptr;
    size_t first = line.find('#');
    if (add)
        line.insert(first, 1, '#');
    else
        line.erase(first, 1);
    if (smart_string_line_class(line.c_str()) != LINE_CLASS_HEADING)
        return nullptr;
    DString *d = d_string_new(line.c_str());
    if (!d)
        return nullptr;
    heading_fix_closing_hashes(d);
    char *result = strdup(d->str);
    d_string_free(d, true);
    return result;
}

char *heading_removing_hash(const char *text, size_t line_start, size_t line_length) {
    return heading_changed(text, line_start, line_length, false);
}

char *heading_adding_hash(const char *text, size_t line_start, size_t line_length) {
    return heading_changed(text, line_start, line_length, true);
}

// ---------------------------------------------------------------------------
// Heap-string helpers

void trim_trailing_blanks(char *text) {
    if (!text)
        return;
    size_t n = strlen(text);
    while (n > 0 && is_blank(text[n - 1]))
        n--;
    text[n] = '\0';
}

static void string_splice(char **string, const char *add, size_t n, bool front) {
    if (!string || !add)
        return;
    std::string joined = *string ? *string : "";
    n = strnlen(add, n);
    if (front)
        joined.insert(0, add, n);
    else
        joined.append(add, n);
    char *copy = heap_string(joined);
    if (!copy)
        return;
    free(*string);
    *string = copy;
}

void string_prepend_n(char **string, const char *add, size_t n) { string_splice(string, add, n, true); }
void string_prepend(char **string, const char *add) { string_splice(string, add, (size_t)-1, true); }
void string_append_n(char **string, const char *add, size_t n) { string_splice(string, add, n, false); }
void string_append(char **string, const char *add) { string_splice(string, add, (size_t)-1, false); }

// ---------------------------------------------------------------------------
// Shift actions

static void clamp_caret(_SString *s, size_t start, size_t length) {
    smart_string_clamp_range(s, &start, &length);
    smart_string_set_caret(s, start, length);
}

static void shift_lines(_SString *s, size_t start, size_t length, smart_string_change *change,
                        bool indent) {
    if (!smart_string_range_in_text(s, start, length))
        return;
    const char *text = s->text->str;
    size_t from, len;
    text_line_range(text, start, length, &from, &len);
    if (len == 0)
        return;  // the empty line after a final line ending
    std::vector<line_edit> edits =
        indent ? indent_edits(text, from, len) : outdent_edits(text, from, len);
    if (edits.empty())
        return;
    std::string lines = apply_edits(text, from, len, edits);
    size_t new_start = map_position(edits, start);
    size_t new_end = map_position(edits, start + length);
    smart_string_replace(s, from, len, lines.c_str(), change);
    clamp_caret(s, new_start, new_end > new_start ? new_end - new_start : 0);
}

void smart_string_shift_indent(_SString *s, size_t start, size_t length,
                               smart_string_change *change) {
    shift_lines(s, start, length, change, true);
}

void smart_string_shift_outdent(_SString *s, size_t start, size_t length,
                                smart_string_change *change) {
    shift_lines(s, start, length, change, false);
}

void smart_string_shift_lines_up(_SString *s, size_t start, size_t length,
                                 smart_string_change *change) {
    if (!smart_string_range_in_text(s, start, length))
        return;
    size_t from, len;
    char *moved = lines_moved_up(s->text->str, start, length, &from, &len);
    if (!moved)
        return;
    size_t lines_start;
    text_line_range(s->text->str, start, length, &lines_start, nullptr);
    size_t new_start = start - (lines_start - from);
    smart_string_replace(s, from, len, moved, change);
    free(moved);
    clamp_caret(s, new_start, length);
}

void smart_string_shift_lines_down(_SString *s, size_t start, size_t length,
                                   smart_string_change *change) {
    if (!smart_string_range_in_text(s, start, length))
        return;
    size_t from, len;
    char *moved = lines_moved_down(s->text->str, start, length, &from, &len);
    if (!moved)
        return;
    size_t lines_start, lines_length;
    text_line_range(s->text->str, start, length, &lines_start, &lines_length);
    size_t block_end = lines_start + lines_length;
    size_t new_start = from + strlen(moved) - (block_end - start);
    smart_string_replace(s, from, len, moved, change);
    free(moved);
    clamp_caret(s, new_start, length);
}

static void shift_heading(_SString *s, size_t start, size_t length, smart_string_change *change,
                          bool add) {
    if (!smart_string_range_in_text(s, start, length))
        return;
    const char *text = s->text->str;
    size_t line_start = text_line_start(text, start);
    size_t line_end = line_start;
    while (text[line_end] && !is_break(text[line_end]))
        line_end++;
    char *line = heading_changed(text, line_start, line_end - line_start, add);
    if (!line)
        return;
    smart_string_replace(s, line_start, line_end - line_start, line, change);
    free(line);
    if (start > line_start)
        start = add ? start + 1 : start - 1;
    else if (add)
        length++;
    else if (length > 0)
        length--;
    clamp_caret(s, start, length);
}

void smart_string_shift_heading_remove_hash(_SString *s, size_t start, size_t length,
                                            smart_string_change *change) {
    shift_heading(s, start, length, change, false);
}

void smart_string_shift_heading_add_hash(_SString *s, size_t start, size_t length,
                                         smart_string_change *change) {
    shift_heading(s, start, length, change, true);
}

#include "textengine/typing/autocomplete.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/char.h"
#include "textengine/typing/tst.h"

// Any non-NULL payload marks the end of a word.
static char kWordMarker[] = "w";

static bool is_delimiter(unsigned char c) {
    return char_is_whitespace_or_line_ending_or_punctuation(c);
}

void smart_string_autocomplete_add(_SString *s, const char *word) {
    if (!s || !word || !*word)
        return;
    tst_insert(&s->autocomplete, word, kWordMarker);
}

void smart_string_autocomplete_add_words(_SString *s, const char *text) {
    if (!s || !text)
        return;
    const char *p = text;
    while (*p) {
        while (*p && is_delimiter((unsigned char)*p))
            p++;
        const char *begin = p;
        while (*p && !is_delimiter((unsigned char)*p))
            p++;
        if (p > begin)
            smart_string_autocomplete_add(s, std::string(begin, p).c_str());
    }
}

void smart_string_autocomplete_set_words(_SString *s, const char *text) {
    if (!s)
        return;
    tst_free(s->autocomplete);
    s->autocomplete = nullptr;
    smart_string_autocomplete_add_words(s, text);
}

// A list with a line feed after every line, as a new text without the last.
static char *finish_list(std::string list) {
    if (!list.empty() && list.back() == '\n')
        list.pop_back();
    return strdup(list.c_str());
}

char *smart_string_autocomplete_prefix(_SString *s, const char *prefix) {
    if (!s)
        return nullptr;
    return finish_list(tst_completions(s->autocomplete, prefix));
}

char *smart_string_autocomplete_fuzzy(_SString *s, const char *partial) {
    if (!s)
        return nullptr;
    std::string list = tst_fuzzy_completions(s->autocomplete, partial);
    return fuzzy_rank(partial, list.c_str());
}

bool fuzzy_match(const char *pattern, const char *word) {
    if (!pattern || !word)
        return false;
    const char *p = pattern;
    for (const char *w = word; *p && *w; w++) {
        if (tolower((unsigned char)*w) == tolower((unsigned char)*p))
            p++;
    }
    return *p == 0;
}

int32_t fuzzy_score(const char *pattern, const char *word) {
    if (!pattern || !*pattern || !word)
        return 0;
    int32_t score = 0;
    bool run = false;
    const char *p = pattern;
    for (const char *w = word; *p && *w; w++) {
        unsigned char c = (unsigned char)*w;
        if (tolower(c) == tolower((unsigned char)*p)) {
            if (w == word || char_is_whitespace_or_punctuation((unsigned char)w[-1]))
                score += 10;
            if (run)
                score += 5;
            if (c >= 'A' && c <= 'Z')
                score += 5;
            run = true;
            p++;
        } else {
            score -= 1;
            run = false;
        }
    }
    return score;
}

scored_list *scored_list_new(void) {
    scored_list *list = (scored_list *)calloc(1, sizeof(scored_list));
    if (!list)
        return nullptr;
    list->capacity = 64;
    list->entries = (scored_entry *)malloc(list->capacity * sizeof(scored_entry));
    if (!list->entries) {
        free(list);
        return nullptr;
    }
    return list;
}

void scored_list_add(scored_list *list, int32_t score, const char *text) {
    if (!list)
        return;
    if (list->count == list->capacity) {
        size_t capacity = list->capacity * 2;
        scored_entry *grown =
            (scored_entry *)realloc(list->entries, capacity * sizeof(scored_entry));
        if (!grown)
            return;
        list->entries = grown;
        list->capacity = capacity;
    }
    list->entries[list->count++] = {score, text};
}

void scored_list_free(scored_list *list) {
    if (!list)
        return;
    free(list->entries);
    free(list);
}

int scored_list_compare(const void *a, const void *b) {
    int32_t first = ((const scored_entry *)a)->score;
    int32_t second = ((const scored_entry *)b)->score;
    // second - first, without the overflow of a subtraction
    return (second > first) - (second < first);
}

void scored_list_sort(scored_list *list) {
    if (list && list->count > 1)
        qsort(list->entries, list->count, sizeof(scored_entry), scored_list_compare);
}

char *fuzzy_rank(const char *pattern, const char *list) {
    if (!list)
        return strdup("");
    std::string lines(list);
    scored_list *scored = scored_list_new();
    if (!scored)
        return strdup("");
    // Split in place: each line becomes its own NUL-terminated text.
    size_t begin = 0;
    while (begin < lines.size()) {
        size_t end = lines.find('\n', begin);
        if (end == std::string::npos)
            end = lines.size();
        if (end < lines.size())
            lines[end] = 0;
        if (end > begin)
            scored_list_add(scored, fuzzy_score(pattern, &lines[begin]), &lines[begin]);
        begin = end + 1;
    }
    scored_list_sort(scored);
    std::string out;
    for (size_t i = 0; i < scored->count; i++) {
        if (i)
            out += '\n';
        out += scored->entries[i].text;
    }
    scored_list_free(scored);
    return strdup(out.c_str());
}

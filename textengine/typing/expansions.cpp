#include "textengine/typing/expansions.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>

#include "library/char.h"
#include "library/diagnostics.h"
#include "textengine/settings/json.h"
#include "textengine/diff/match.h"
#include "textengine/settings/settings_file.h"
#include "textengine/typing/tst.h"
#include "textengine/utf8_sequence.h"

// Payload of a key registered without a template: it holds the key (so the
// first file that names it wins) but never expands.
static char kNoTemplate[] = "";

static bool is_delimiter(unsigned char c) {
    return char_is_whitespace_or_line_ending_or_punctuation(c);
}

// ---------------------------------------------------------------------------
// Loading

void smart_string_load_expansions(_SString *s, const char *path) {
    if (!s)
        return;
    DString *json = settings_file_read(path);
    if (!json)
        return;
    smart_string_parse_expansions(s, json->str);
    d_string_free(json, true);
}

void smart_string_parse_expansions(_SString *s, const char *json) {
    if (!s || !json)
        return;
    json_value *root = json_parse_string(json);
    if (!root || json_value_get_type(root) == JSON_ERROR) {
        tzr_log("Invalid JSON...\n");
        json_value_free(root);
        return;
    }
    json_value *list = json_object_get_value(json_value_get_object(root), "expansions");
    json_array *entries = json_value_get_type(list) == JSON_ARRAY ? json_value_get_array(list)
                                                                  : nullptr;
    size_t count = json_array_get_count(entries);
    for (size_t i = 0; i < count; i++) {
        json_object *entry = json_array_get_object(entries, i);
        if (!entry)
            continue;
        smart_string_add_expansion(s, json_object_get_string(entry, "key"),
                                   json_object_get_string(entry, "expansion"));
    }
    json_value_free(root);
}

// Marks the key's last bytes in the trigger-suffix table: for position k
// (counted back from the typed character), bit 2k when the key goes on
// further back, bit 2k + 1 when it begins there.
static void mark_trigger_suffixes(_SString *s, const char *key, size_t n) {
    int first = 0;
    size_t marked = n < 4 ? n : 4;
    if (s->options & SMART_STRING_EXPANSION_DELIMITER) {
        // Position 0 is the delimiter that fires the key.
        for (int c = 0; c < 256; c++) {
            if (is_delimiter((unsigned char)c))
                s->trigger_suffixes[c] |= 1;
        }
        first = 1;
        marked = n < 3 ? n : 3;
    }
    for (size_t j = 0; j < marked; j++) {
        unsigned char byte = (unsigned char)key[n - 1 - j];
        int k = first + (int)j;
        s->trigger_suffixes[byte] |= (unsigned char)(j + 1 < n ? 1 << (2 * k) : 1 << (2 * k + 1));
    }
}

int smart_string_add_expansion(_SString *s, const char *key, const char *template_text) {
    if (!s || !key || !*key)
        return 0;
    char *copy = nullptr;
    if (template_text) {
        copy = strdup(template_text);
        if (!copy)
            return 0;
    }
    mark_trigger_suffixes(s, key, strlen(key));
    if (!tst_insert_reversed(&s->expansions, key, copy ? copy : kNoTemplate)) {
        free(copy);
        return 0;
    }
    if (copy)
        stack_push(s->owned_blocks, copy);  // freed with the Smart String
    return 1;
}

// ---------------------------------------------------------------------------
// Templates

void smart_string_set_replaced(_SString *s, size_t start, size_t length) {
    if (!s)
        return;
    smart_string_clamp_range(s, &start, &length);
    free(s->replaced_text);
    s->replaced_text = strndup(s->text->str + start, length);
}

void smart_string_clear_replaced(_SString *s) {
    if (!s)
        return;
    free(s->replaced_text);
    s->replaced_text = nullptr;
}

static bool starts_with(const std::string &text, size_t i, const char *prefix) {
    return text.compare(i, strlen(prefix), prefix) == 0;
}

static const char kTimeCodes[] = "%ABCDFGHIMRSTUVWXYZabcdeghjmnprtuwxyz";

// Appends the processed `in` to `out`. Returns false when an unclosed snippet
// code stopped processing: the rest of `in` was then appended as it was, and
// every enclosing template stops too.
static bool expand_into(_SString *s, const std::string &in, const struct tm *now, int depth,
                        std::string &out) {
    size_t i = 0;
    while (i < in.size()) {
        char c = in[i];
        if (c == '\\' && i + 1 < in.size() && in[i + 1] == '%') {
            out += "\\%";
            i += 2;
        } else if (c != '%') {
            out += c;
            i++;
        } else if (starts_with(in, i, "%snippet:")) {
            size_t name_start = i + 9;
            size_t close = in.find('%', name_start);
            if (close == std::string::npos) {
                out.append(in, i, std::string::npos);
                return false;
            }
            std::string name = in.substr(name_start, close - name_start);
            size_t begin = 0;
            const char *snippet =
                name.empty() ? nullptr
                             : (const char *)tst_longest_suffix(s->expansions, name.c_str(), &begin);
            i = close + 1;
            // A snippet that names itself, directly or through others, stops
            // at the nesting limit instead of growing without end.
            if (snippet && snippet != kNoTemplate && depth < kSnippetNestingLimit &&
                !expand_into(s, snippet, now, depth + 1, out)) {
                out.append(in, i, std::string::npos);
                return false;
            }
        } else if (starts_with(in, i, "%clipboard")) {
            out += "%clipboard";  // the text storage fills it in after the edit
            i += 10;
        } else if (starts_with(in, i, "%replaced")) {
            if (s->replaced_text)
                out += s->replaced_text;
            i += 9;
        } else if (i + 1 < in.size() && in[i + 1] && strchr(kTimeCodes, in[i + 1])) {
            char format[3] = {'%', in[i + 1], 0};
            char buffer[60];
            size_t written = now ? strftime(buffer, sizeof buffer, format, now) : 0;
            out.append(buffer, written);
            i += 2;
        } else {
            out += '%';
            i++;
        }
    }
    return true;
}

void smart_string_expand_template(_SString *s, DString *d) {
    if (!s || !d)
        return;
    time_t clock = time(nullptr);
    struct tm local = {};
    const struct tm *now = localtime_r(&clock, &local);
    std::string in(d->str, d->length);
    std::string out;
    expand_into(s, in, now, 0, out);
    d_string_erase(d, 0, (size_t)-1);
    d_string_append_c_array(d, out.data(), out.size());
}

// ---------------------------------------------------------------------------
// The expansion step

static void end_run(_SString *s) {
    s->typing_run_start = -1;
    smart_string_clear_replaced(s);
}

// Bytes 0xF8 to 0xFF begin no sequence: each is a character of its own.
static bool is_one_character(const char *text, size_t n) {
    if (n == 0)
        return false;
    unsigned char lead = (unsigned char)text[0];
    return n == (lead >= 0xF8 ? 1 : utf8_sequence_length(lead));
}

// The trigger-suffix filter: reads the bytes that end at the typed character
// (the typed bytes, then the text before the edit) against the table and
// tells whether some key may end there.
static bool smart_string_expand_filter(_SString *s, size_t start, const char *typed,
                                       size_t n) {
    for (size_t k = 0; k < 4; k++) {
        unsigned char byte;
        if (k < n) {
            byte = (unsigned char)typed[n - 1 - k];
        } else {
            size_t back = k - n + 1;
            if (start < back)
                return true;  // the text has no byte there
            byte = (unsigned char)s->text->str[start - back];
        }
        unsigned char bits = s->trigger_suffixes[byte];
        if (bits & (1 << (2 * k + 1)))
            return true;
        if (!(bits & (1 << (2 * k))))
            return false;
    }
    return true;  // position 3 passed and some key goes on further back
}

// Looks up the longest key that ends the current typing run and, when there
// is one, replaces the edit with its processed template.
static bool smart_string_expand_key(_SString *s, size_t start, size_t length, char **text,
                                    smart_string_change *change) {
    bool delimited = s->options & SMART_STRING_EXPANSION_DELIMITER;
    if (s->typing_run_start < 0 || (size_t)s->typing_run_start > start)
        return false;
    size_t run = (size_t)s->typing_run_start;
    std::string candidate(s->text->str + run, start - run);
    if (!delimited)
        candidate += *text;  // the typed character is the key's last
    if (candidate.empty() || candidate.find('\0') != std::string::npos)
        return false;
    size_t begin = 0;
    const char *template_text =
        (const char *)tst_longest_suffix(s->expansions, candidate.c_str(), &begin);
    if (!template_text || template_text == kNoTemplate)
        return false;
    size_t key_start = run + begin;

    DString *expansion = d_string_new(template_text);
    if (!expansion)
        return false;
    if (delimited && (s->options & SMART_STRING_KEEP_DELIMITER))
        d_string_append(expansion, *text);
    smart_string_expand_template(s, expansion);
    size_t expansion_length = expansion->length;
    free(*text);
    *text = d_string_free(expansion, false);

    // The key's bytes already in the text go, and so does the selection the
    // typed character replaced.
    change->start = key_start;
    change->removed_length = start - key_start + length;
    s->caret_start = key_start + expansion_length;
    s->caret_length = 0;
    // The expansion was not typed: a later key must not reach into it.
    end_run(s);
    return true;
}

bool smart_string_expand(_SString *s, size_t start, size_t length, char **text,
                         smart_string_change *change) {
    if (!s || !text || !*text || !change)
        return false;
    const char *typed = *text;
    size_t n = strlen(typed);
    if (length == 1) {
        if (n == 0 && s->caret_start == start + 1)
            return false;  // Backspace keeps the run
        end_run(s);
        return false;
    }
    if (length == 0) {
        if (n == 0)
            return false;
        if (!is_one_character(typed, n)) {
            end_run(s);
            return false;
        }
        if (s->caret_start != start) {
            // Typing away from the caret starts a new run there.
            s->typing_run_start = (int64_t)start;
            smart_string_clear_replaced(s);
            return false;
        }
        if (s->typing_run_start < 0 || (size_t)s->typing_run_start > start)
            s->typing_run_start = (int64_t)start;
    } else {
        if (n > 0 && !is_one_character(typed, n)) {
            end_run(s);
            return false;
        }
        s->typing_run_start = (int64_t)start;
        smart_string_set_replaced(s, start, length);
        if (n == 0)
            return false;  // a deletion never expands
    }
    if (!smart_string_expand_filter(s, start, typed, n))
        return false;
    return smart_string_expand_key(s, start, length, text, change);
}

// ---------------------------------------------------------------------------
// Caret anchors

static const size_t kAnchorContext = 20;

static char *context_at(_SString *s, size_t at) {
    size_t text_length = s->text->length;
    size_t n = text_length - at < kAnchorContext ? text_length - at : kAnchorContext;
    return strndup(s->text->str + at, n);
}

void smart_string_save_caret_anchor(_SString *s, size_t start, size_t length) {
    if (!s || start > s->text->length)
        return;
    smart_string_clamp_range(s, &start, &length);
    free(s->anchor_start_context);
    free(s->anchor_end_context);
    s->anchor_start = start;
    s->anchor_end = start + length;
    s->anchor_start_context = context_at(s, start);
    s->anchor_end_context = length ? context_at(s, start + length) : nullptr;
}

// Where `context` is now, near `expected`; `fallback` when it cannot be
// found. An empty context stood at the text's end.
static size_t locate(_SString *s, const char *context, size_t expected, size_t fallback,
                     const dmp_options *options) {
    size_t text_length = s->text->length;
    if (!*context)
        return text_length;
    long found = -1;
    if (text_length > 0 && options)
        found = dmp_match_main(s->text->str, text_length, context, strlen(context),
                               expected < text_length ? expected : text_length, options);
    size_t at = found < 0 ? fallback : (size_t)found;
    return at < text_length ? at : text_length;
}

void smart_string_restore_caret_anchor(_SString *s, size_t *start, size_t *length) {
    if (!s)
        return;
    size_t text_length = s->text->length;
    size_t p1, p2;
    if (!s->anchor_start_context) {
        p1 = s->anchor_start < text_length ? s->anchor_start : text_length;
        p2 = s->anchor_end < text_length ? s->anchor_end : text_length;
        if (p2 < p1)
            p2 = p1;
    } else {
        dmp_options *options = dmp_options_new();
        p1 = locate(s, s->anchor_start_context, s->anchor_start, s->anchor_start, options);
        if (s->anchor_end_context)
            p2 = locate(s, s->anchor_end_context, s->anchor_end,
                        p1 + (s->anchor_end - s->anchor_start), options);
        else
            p2 = p1;
        dmp_options_free(options);
    }
    size_t lo = p2 > p1 ? p1 : p2;
    size_t hi = p2 > p1 ? p2 : p1;
    if (start)
        *start = lo;
    if (length)
        *length = hi - lo;
}

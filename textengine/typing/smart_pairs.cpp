#include "textengine/typing/smart_pairs.h"

#include <cstdlib>
#include <cstring>

#include "library/char.h"
#include "textengine/buffer/smart_string_steps.h"
#include "textengine/utf8_sequence.h"

// Byte length of the UTF-8 character that starts at p, never past the NUL.
static size_t character_length(const unsigned char *p) {
    size_t n = utf8_sequence_length(*p);
    size_t i = 1;
    while (i < n && utf8_is_continuation(p[i]))
        i++;
    return i;
}

void smart_string_set_pairs(_SString *s, const char *pairs) {
    if (!s)
        return;
    memset(s->pair_closers, 0, sizeof s->pair_closers);
    memset(s->pair_openers, 0, sizeof s->pair_openers);
    s->pair_pending = 0;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(pairs ? pairs : "");
    while (*p) {
        const unsigned char *opener = p;
        size_t opener_length = character_length(p);
        p += opener_length;
        if (!*p)
            break;  // an opener without its closer
        const unsigned char *closer = p;
        size_t closer_length = character_length(p);
        p += closer_length;
        // The tables map single bytes; a byte of a multi-byte character
        // would pair half a character.
        if (opener_length != 1 || closer_length != 1 || *opener >= 0x80 || *closer >= 0x80)
            continue;
        s->pair_closers[*opener] = *closer;
        s->pair_openers[*closer] = *opener;
    }
    if (s->options & SMART_STRING_TYPE_OVER_PERIODS)
        s->pair_openers[(unsigned char)'.'] = '.';
}

static void set_caret(_SString *s, size_t at) {
    s->caret_start = at;
    s->caret_length = 0;
}

// The automatic closer of the last pair, when it still stands at `at`.
static bool pending_closer_at(const _SString *s, size_t at) {
    return s->pair_pending && s->pair_pending_at == at && at < s->text->length &&
           (unsigned char)s->text->str[at] == s->pair_pending_closer;
}

bool smart_string_smart_pairs(_SString *s, size_t start, size_t length, char **text,
                              smart_string_change *change) {
    if (!s || !text || !*text || !change)
        return false;
    const char *str = s->text->str;
    size_t text_length = s->text->length;
    const char *typed = *text;

    if (!typed[0] || typed[1]) {
        // Backspace over a fresh pair takes its closer along.
        if (length == 1 && !typed[0] && s->caret_start == start + 1 &&
            pending_closer_at(s, start + 1)) {
            change->removed_length = 2;
            set_caret(s, start);
            s->pair_pending = 0;
            return true;
        }
        s->pair_pending = 0;
        return false;
    }

    unsigned char c = (unsigned char)typed[0];
    unsigned char at = start < text_length ? (unsigned char)str[start] : 0;

    // A typed closer steps over the same byte after the caret.
    if (length == 0 && s->pair_openers[c] && start < text_length && at == c) {
        if (!smart_string_step_set_text(text, ""))
            return false;
        set_caret(s, start + 1);
        s->pair_pending = 0;
        return true;
    }

    // Right after a fresh pair, a blank, or the "s" of a possessive after an
    // apostrophe, takes the place of the automatic closer.
    if (length == 0 && c != '\n' && s->caret_start == start && pending_closer_at(s, start)) {
        bool blank = c == ' ' || c == '\t';
        bool possessive = (c == 's' || c == 'S') && start >= 2 && str[start - 1] == '\'' &&
                          char_is_alpha(str[start - 2]);
        if (blank || possessive) {
            change->removed_length = 1;
            set_caret(s, start + 1);
            s->pair_pending = 0;
            return true;
        }
    }

    unsigned char closer = s->pair_closers[c];
    if (!closer) {
        s->pair_pending = 0;
        return false;
    }

    if (length > 0) {
        // Wrap the selection.
        size_t wrapped_length = length + 2;
        char *wrapped = static_cast<char *>(malloc(wrapped_length + 1));
        if (!wrapped)
            return false;
        wrapped[0] = (char)c;
        memcpy(wrapped + 1, str + start, length);
        wrapped[length + 1] = (char)closer;
        wrapped[wrapped_length] = '\0';
        free(*text);
        *text = wrapped;
        set_caret(s, start + wrapped_length);
        s->pair_pending = 0;
        return true;
    }

    if (!char_is_whitespace_or_line_ending_or_punctuation(at)) {
        s->pair_pending = 0;
        return false;
    }
    const char pair[3] = {(char)c, (char)closer, '\0'};
    if (!smart_string_step_set_text(text, pair))
        return false;
    set_caret(s, start + 1);
    s->pair_pending = 1;
    s->pair_pending_at = start + 1;
    s->pair_pending_closer = closer;
    return true;
}

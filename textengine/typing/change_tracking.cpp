#include "textengine/typing/change_tracking.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "textengine/typing/expansions.h"
#include "textengine/buffer/smart_string_steps.h"

// ---------------------------------------------------------------------------
// Scanning

int critic_lex_next(critic_scanner *state, const char *end) {
    if (!state || !state->cursor || !end)
        return 0;
    const char *p = state->cursor;
    while (p < end) {
        size_t left = (size_t)(end - p);
        int type = 0;
        size_t length = 0;
        auto is = [p, left](const char *marker) {
            size_t n = strlen(marker);
            return left >= n && memcmp(p, marker, n) == 0;
        };
        switch (*p) {
        case '{':
            if (is("{++")) type = CRITIC_ADD_OPEN;
            else if (is("{--")) type = CRITIC_DEL_OPEN;
            else if (is("{>>")) type = CRITIC_COM_OPEN;
            else if (is("{~~")) type = CRITIC_SUB_OPEN;
            else if (is("{==")) type = CRITIC_HI_OPEN;
            length = 3;
            break;
        case '+':
            if (is("++}")) type = CRITIC_ADD_CLOSE;
            length = 3;
            break;
        case '-':
            if (is("--}")) type = CRITIC_DEL_CLOSE;
            length = 3;
            break;
        case '<':
            if (is("<<}")) type = CRITIC_COM_CLOSE;
            length = 3;
            break;
        case '=':
            if (is("==}")) type = CRITIC_HI_CLOSE;
            length = 3;
            break;
        case '~':
            if (is("~~}")) {
                type = CRITIC_SUB_CLOSE;
                length = 3;
            } else if (is("~>")) {
                type = CRITIC_SUB_DIV;
                length = 2;
            }
            break;
        default:
            break;
        }
        if (type) {
            state->token_start = p;
            state->marker = p;
            state->cursor = p + length;
            return type;
        }
        // Markers are ASCII, so any other byte (a UTF-8 sequence's bytes
        // included, well-formed or not) is passed over one at a time.
        p++;
    }
    state->token_start = end;
    state->cursor = end;
    return 0;
}

token *critic_scan_text(const char *start, size_t length) {
    token *root = token_new(0, 0, 0);
    if (!root || !start)
        return root;
    critic_scanner state = {start, start, start};
    const char *end = start + length;
    int type;
    while ((type = critic_lex_next(&state, end)) != 0) {
        token *marker = token_new((unsigned short)type, (size_t)(state.token_start - start),
                                  (size_t)(state.cursor - state.token_start));
        if (!marker)
            break;
        token_append_child(root, marker);
    }
    return root;
}

// The pair type of an (opener, closer) pair of markers, 0 when they do not
// pair.
static unsigned short pair_type(unsigned short opener, unsigned short closer) {
    switch (opener) {
    case CRITIC_ADD_OPEN: return closer == CRITIC_ADD_CLOSE ? PAIR_CRITIC_ADD : 0;
    case CRITIC_DEL_OPEN: return closer == CRITIC_DEL_CLOSE ? PAIR_CRITIC_DEL : 0;
    case CRITIC_COM_OPEN: return closer == CRITIC_COM_CLOSE ? PAIR_CRITIC_COM : 0;
    case CRITIC_SUB_OPEN: return closer == CRITIC_SUB_CLOSE ? PAIR_CRITIC_SUB_ADD : 0;
    case CRITIC_HI_OPEN: return closer == CRITIC_HI_CLOSE ? PAIR_CRITIC_HI : 0;
    default: return 0;
    }
}

static unsigned short opener_for(unsigned short closer) {
    switch (closer) {
    case CRITIC_ADD_CLOSE: return CRITIC_ADD_OPEN;
    case CRITIC_DEL_CLOSE: return CRITIC_DEL_OPEN;
    case CRITIC_COM_CLOSE: return CRITIC_COM_OPEN;
    case CRITIC_SUB_CLOSE: return CRITIC_SUB_OPEN;
    default: return CRITIC_HI_OPEN;
    }
}

static bool is_opener(unsigned short type) {
    return type == CRITIC_ADD_OPEN || type == CRITIC_DEL_OPEN || type == CRITIC_COM_OPEN ||
           type == CRITIC_SUB_OPEN || type == CRITIC_HI_OPEN;
}

static bool is_closer(unsigned short type) {
    return type == CRITIC_ADD_CLOSE || type == CRITIC_DEL_CLOSE || type == CRITIC_COM_CLOSE ||
           type == CRITIC_SUB_CLOSE || type == CRITIC_HI_CLOSE;
}

// A closer pairs with the innermost pending opener of its kind; the openers
// above that one are dropped unpaired, and the pair with everything between
// it is wrapped into a pair token in the opener's place.
void critic_pair_changes(token *root) {
    if (!root)
        return;
    std::vector<token *> openers;
    // Pending openers per type, so that a closer whose kind has none open
    // skips the search (a long run of other openers would make it slow).
    size_t pending[CRITIC_HI_CLOSE + 1] = {};
    for (token *t = root->child; t; t = t->next) {
        if (is_closer(t->type) && t->unmatched && pending[opener_for(t->type)] > 0) {
            size_t i = openers.size();
            unsigned short matched = 0;
            while (i > 0 && !(matched = pair_type(openers[i - 1]->type, t->type)))
                i--;
            if (matched) {
                token *opener = openers[i - 1];
                for (size_t k = i - 1; k < openers.size(); k++)
                    pending[openers[k]->type]--;
                openers.resize(i - 1);
                opener->mate = t;
                t->mate = opener;
                opener->unmatched = 0;
                t->unmatched = 0;
                t = token_wrap_range(opener, t, matched);
                continue;
            }
        }
        if (is_opener(t->type) && t->unmatched) {
            openers.push_back(t);
            pending[t->type]++;
        }
    }
}

void smart_string_scan_changes(_SString *s) {
    if (!s)
        return;
    token *root = critic_scan_text(s->text->str, s->text->length);
    critic_pair_changes(root);
    token_tree_free(s->change_tokens);
    s->change_tokens = root;
}

void smart_string_free_changes(_SString *s) {
    if (!s)
        return;
    token_tree_free(s->change_tokens);
    s->change_tokens = nullptr;
}

// ---------------------------------------------------------------------------
// Range tests

static size_t end_of(const token *t) { return t->start + t->len; }

static bool touches(const token *t, size_t start, size_t length) {
    return t && start < end_of(t) && t->start < start + length;
}

static token *first_touched(token *parent, size_t start, size_t length) {
    for (token *t = parent ? parent->child : nullptr; t && t->start < start + length + 1;
         t = t->next) {
        if (touches(t, start, length))
            return t;
    }
    return nullptr;
}

static token *last_touched(token *parent, size_t start, size_t length) {
    token *found = nullptr;
    for (token *t = parent ? parent->child : nullptr; t && t->start < start + length + 1;
         t = t->next) {
        if (touches(t, start, length))
            found = t;
    }
    return found;
}

static bool is_change(const token *t) { return t && t->child; }

static token *opener_of(token *change) { return change->child; }

static token *closer_of(token *change) {
    token *opener = change->child;
    if (opener->mate)
        return opener->mate;
    return opener->tail ? opener->tail : opener;
}

// The substitution's divider: the last "~>" among its own markers.
static token *divider_of(token *substitution) {
    token *found = nullptr;
    for (token *t = substitution->child; t; t = t->next) {
        if (t->type == CRITIC_SUB_DIV)
            found = t;
    }
    return found;
}

static bool touches_markers(token *change, size_t start, size_t length) {
    return touches(opener_of(change), start, length) || touches(closer_of(change), start, length);
}

bool critic_substitution_new_half(token *substitution, size_t start, size_t length) {
    if (!is_change(substitution))
        return false;
    token *divider = divider_of(substitution);
    return divider && divider->start < start && !touches(divider, start, length) &&
           !touches_markers(substitution, start, length);
}

// The change the range lies in, for the tracking rules: NULL when the range
// touches no change. `crossing` is set when the range reaches from plain
// text or a lone marker into a change, or from one change into another, an
// edit that would split or nest changes.
static token *change_for_range(token *root, size_t start, size_t length, bool *crossing) {
    *crossing = false;
    token *first = first_touched(root, start, length);
    if (!first)
        return nullptr;
    token *last = last_touched(root, start, length);
    for (token *t = first; t; t = t->next) {
        if (t != first && is_change(t))
            *crossing = true;
        if (t == last)
            break;
    }
    if (is_change(first) && first != last)
        *crossing = true;
    return is_change(first) ? first : nullptr;
}

// ---------------------------------------------------------------------------
// Tracking

void smart_string_start_tracking_changes(_SString *s) {
    if (!s)
        return;
    s->options |= SMART_STRING_CHANGE_TRACKING;
    smart_string_scan_changes(s);
}

void smart_string_stop_tracking_changes(_SString *s) {
    if (!s)
        return;
    smart_string_free_changes(s);
    s->options &= ~(uint64_t)SMART_STRING_CHANGE_TRACKING;
}

void smart_string_toggle_change_tracking(_SString *s) {
    if (smart_string_is_tracking_changes(s))
        smart_string_stop_tracking_changes(s);
    else
        smart_string_start_tracking_changes(s);
}

bool smart_string_is_tracking_changes(_SString *s) {
    return s && (s->options & SMART_STRING_CHANGE_TRACKING);
}

void smart_string_set_comment_template(_SString *s, const char *comment) {
    if (!s)
        return;
    free(s->comment_template);
    s->comment_template = comment ? strdup(comment) : nullptr;
}

void smart_string_wrap_critic(_SString *s, char **text, unsigned short pair_type) {
    if (!s || !text || !*text)
        return;
    const char *open, *close;
    switch (pair_type) {
    case PAIR_CRITIC_ADD: open = "{++"; close = "++}"; break;
    case PAIR_CRITIC_DEL: open = "{--"; close = "--}"; break;
    case PAIR_CRITIC_COM: open = "{>>"; close = "<<}"; break;
    case PAIR_CRITIC_HI: open = "{=="; close = "==}"; break;
    default: return;
    }
    std::string wrapped = std::string(open) + *text + close;
    if (s->comment_template && *s->comment_template) {
        DString *comment = d_string_new(s->comment_template);
        if (comment) {
            smart_string_expand_template(s, comment);
            wrapped += "{>>";
            wrapped.append(comment->str, comment->length);
            wrapped += "<<}";
            d_string_free(comment, true);
        }
    }
    smart_string_step_set_text(text, wrapped);
}

static void set_caret(_SString *s, size_t start, size_t length) {
    s->caret_start = start;
    s->caret_length = length;
}

// Whether an edit inside `change` is made plainly (true) or refused.
static bool plain_inside(token *change, size_t start, size_t length) {
    switch (change->type) {
    case PAIR_CRITIC_ADD:
    case PAIR_CRITIC_COM:
        return true;
    case PAIR_CRITIC_SUB_ADD:
        return critic_substitution_new_half(change, start, length);
    default:
        return false;  // deletions and highlights
    }
}

bool smart_string_track_change(_SString *s, size_t start, size_t length, char **text,
                               smart_string_change *change) {
    if (!s || !text || !*text || !change)
        return false;
    size_t n = strlen(*text);
    // The record always says what to apply, so a caller that runs this step
    // on its own (a multi-edit) needs nothing else.
    change->start = start;
    change->removed_length = length;
    bool crossing = false;
    token *in = change_for_range(s->change_tokens, start, length, &crossing);
    if (crossing || (in && touches_markers(in, start, length))) {
        set_caret(s, start, length);
        return false;
    }

    if (in) {
        if (!plain_inside(in, start, length)) {
            set_caret(s, start, length);
            return false;
        }
        set_caret(s, start + n, 0);
        return true;
    }

    const char *str = s->text->str;
    if (length == 0) {
        if (n > 0) {
            smart_string_wrap_critic(s, text, PAIR_CRITIC_ADD);
            set_caret(s, start + n + 3, 0);  // before the closing "++}"
        } else {
            set_caret(s, start, 0);
        }
        return true;
    }

    std::string old(str + start, length);
    if (n > 0) {
        std::string substitution = "{~~" + old + "~>" + *text + "~~}";
        smart_string_step_set_text(text, substitution);
        set_caret(s, start + substitution.size() - 3, 0);  // before "~~}"
        return true;
    }

    // A deletion next to an existing deletion joins it.
    token *after = token_child_at_offset(s->change_tokens, start + length);
    token *before = start > 0 ? token_child_at_offset(s->change_tokens, start - 1) : nullptr;
    if (after && after->type == PAIR_CRITIC_DEL && after->start == start + length) {
        smart_string_step_set_text(text, "{--" + old);
        change->removed_length = length + 3;  // swallows the following "{--"
        set_caret(s, start, 0);
    } else if (before && before->type == PAIR_CRITIC_DEL && end_of(before) == start) {
        smart_string_step_set_text(text, old + "--}");
        change->start = start - 3;  // swallows the preceding "--}"
        change->removed_length = length + 3;
        set_caret(s, start + length, 0);
    } else {
        smart_string_step_set_text(text, old);
        smart_string_wrap_critic(s, text, PAIR_CRITIC_DEL);
        set_caret(s, start, 0);
    }
    return true;
}

bool smart_string_track_note(_SString *s, size_t start, size_t length, char **text,
                             smart_string_change *change) {
    if (!s || !text || !*text || !change)
        return false;
    bool crossing = false;
    const token *in = change_for_range(s->change_tokens, start, length, &crossing);
    if (in || crossing)
        return smart_string_track_change(s, start, length, text, change);
    change->start = start;
    change->removed_length = length;
    set_caret(s, start + strlen(*text), 0);
    return true;
}

void smart_string_replace_with_note(_SString *s, size_t start, size_t length, const char *text,
                                    smart_string_change *change) {
    smart_string_steps steps = kSmartStringSteps;
    steps.track_change = smart_string_track_note;
    smart_string_replace_with_steps(s, start, length, text, change, &steps);
}

// ---------------------------------------------------------------------------
// Queries

static const int kChangeDepthLimit = 1000;

static bool change_range_at_depth(token *parent, size_t start, size_t length, size_t *out_start,
                                  size_t *out_length, int depth) {
    if (!parent || depth >= kChangeDepthLimit)
        return false;
    token *first = first_touched(parent, start, length);
    token *last = last_touched(parent, start, length);
    if (!first)
        return false;
    if (first == last) {
        if (!is_change(first))
            return false;
        if (start >= first->start && start + length <= end_of(first) &&
            change_range_at_depth(first, start, length, out_start, out_length, depth + 1))
            return true;
        *out_start = first->start;
        *out_length = first->len;
        return true;
    }
    for (token *t = first; t; t = t->next) {
        if (!is_change(t))
            return false;
        if (t == last)
            break;
    }
    *out_start = first->start;
    *out_length = end_of(last) - first->start;
    return true;
}

bool critic_change_range(token *parent, size_t start, size_t length, size_t *out_start,
                         size_t *out_length) {
    size_t found_start = 0, found_length = 0;
    if (!change_range_at_depth(parent, start, length, &found_start, &found_length, 0))
        return false;
    if (out_start)
        *out_start = found_start;
    if (out_length)
        *out_length = found_length;
    return true;
}

static void report(token *t, size_t *out_start, size_t *out_length) {
    if (out_start)
        *out_start = t ? t->start : (size_t)-1;
    if (out_length)
        *out_length = t ? t->len : 0;
}

void smart_string_change_intersecting_range(_SString *s, size_t start, size_t length,
                                            size_t *out_start, size_t *out_length) {
    report(nullptr, out_start, out_length);
    if (!s)
        return;
    smart_string_scan_changes(s);
    critic_change_range(s->change_tokens, start, length, out_start, out_length);
}

static bool strictly_inside(const token *t, size_t position) {
    return t->start < position && position < end_of(t);
}

void smart_string_next_change(_SString *s, size_t position, size_t *out_start,
                              size_t *out_length) {
    report(nullptr, out_start, out_length);
    if (!s)
        return;
    smart_string_scan_changes(s);
    token *root = s->change_tokens;
    size_t text_length = s->text->length;
    if (position > text_length)
        position = text_length;
    token *found = first_touched(root, position, text_length - position);
    if (found && strictly_inside(found, position))
        found = found->next;
    if (!found)
        found = first_touched(root, 0, position);
    report(found, out_start, out_length);
}

void smart_string_previous_change(_SString *s, size_t position, size_t *out_start,
                                  size_t *out_length) {
    report(nullptr, out_start, out_length);
    if (!s)
        return;
    smart_string_scan_changes(s);
    token *root = s->change_tokens;
    size_t text_length = s->text->length;
    if (position > text_length)
        position = text_length;
    token *found = last_touched(root, 0, position);
    if (found && strictly_inside(found, position))
        found = found->prev;
    if (!found)
        found = last_touched(root, position, text_length - position);
    report(found, out_start, out_length);
}

int smart_string_can_edit_range(_SString *s, size_t start, size_t length,
                                size_t replacement_length) {
    if (!s || (length == 0 && replacement_length == 0) || !smart_string_is_tracking_changes(s))
        return 1;
    // The tree of the last scan may predate the latest edits.
    smart_string_scan_changes(s);
    bool crossing = false;
    token *in = change_for_range(s->change_tokens, start, length, &crossing);
    if (crossing)
        return 0;
    if (!in)
        return -1;
    if (touches_markers(in, start, length))
        return 0;
    return plain_inside(in, start, length) ? 1 : 0;
}

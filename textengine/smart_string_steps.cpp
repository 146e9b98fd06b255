// Stand-ins for the pipeline steps and services whose modules have not
// landed yet. Each declines the edit or does nothing, so the pipeline runs
// as with the step switched off. A module that implements one of these
// deletes its stand-in here.
#include "smart_string_steps.h"

#include <cstring>

void smart_string_scan_changes(_SString *) {}

// Until change tracking lands, every edit goes on as a plain edit with the
// caret after its text, as tracking does for an edit inside an addition.
bool smart_string_track_change(_SString *s, size_t start, size_t, char **text,
                               smart_string_change *) {
    if (s && text && *text) {
        s->caret_start = start + strlen(*text);
        s->caret_length = 0;
    }
    return true;
}

void smart_string_free_changes(_SString *s) {
    if (!s)
        return;
    token_tree_free(s->change_tokens);
    s->change_tokens = nullptr;
}

bool smart_string_expand(_SString *, size_t, size_t, char **, smart_string_change *) {
    return false;
}

void tst_free(TST *) {}

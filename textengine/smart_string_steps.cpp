// Stand-ins for the pipeline steps and services whose modules have not
// landed yet. Each declines the edit or does nothing, so the pipeline runs
// as with the step switched off. A module that implements one of these
// deletes its stand-in here.
#include "smart_string_steps.h"

#include <cstring>

bool smart_string_smart_tab(_SString *, size_t, size_t, char **, smart_string_change *) {
    return false;
}

bool smart_string_smart_enter(_SString *, size_t, size_t, char **, smart_string_change *) {
    return false;
}

bool smart_string_smart_pairs(_SString *, size_t, size_t, char **, smart_string_change *) {
    return false;
}


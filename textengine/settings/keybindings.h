// The key-binding table: bindings of keys with modifiers to editor actions,
// read from JSON key-binding files and sorted for binary search.
#pragma once

#include <cstddef>
#include <cstdint>

#include "textengine/settings/json.h"
#include "library/stack.h"

// Modifier bits of key events, by the names used in key-binding files.
constexpr uint64_t kKeyModifierShift = 0x20000;  // "shift"
constexpr uint64_t kKeyModifierCtrl = 0x40000;   // "ctrl"
constexpr uint64_t kKeyModifierOpt = 0x80000;    // "opt"
constexpr uint64_t kKeyModifierCmd = 0x100000;   // "cmd"
constexpr uint64_t kKeyModifierFn = 0x800000;    // "fn": accepted, not kept
// The bits a binding keeps; callers mask key events with it too.
constexpr uint64_t kKeyModifierMask = 0x1E0000;

struct key_binding {
    uint64_t code;  // the upper-cased key OR the kept modifier bits; the table's order
    uint16_t key;   // upper-cased key: a UTF-16 unit
    uint8_t single;  // 1: one action string; 0: a list of actions
    union {
        char *action;  // single
        stack *list;   // owned strings in file order; an entry may be NULL
    } actions;
    uint64_t modifiers;  // kept modifier bits
    char *title;         // NULL when the file gave none
};

// A table is a stack of key_binding pointers sorted by code, highest first.
// The builders never return NULL for a bad file: the table is then empty.
stack *key_bindings_from_file(const char *path);
stack *key_bindings_from_string(const char *text);
// Read and parse, printing "Error reading file...\n" or "Invalid JSON...\n"
// on standard error; NULL on failure.
json_value *key_bindings_read_json(const char *path);
json_value *key_bindings_parse_json(const char *text);
stack *key_bindings_from_json(const json_value *value);

// The binding of a UTF-16 key (0-0xFFFF) pressed with exactly these
// modifier bits, or NULL. Letters match in either case.
key_binding *key_bindings_lookup(const stack *table, int key, uint64_t modifiers);
// The first single-action binding, in table order, whose action is `action`.
key_binding *key_bindings_find_action(const stack *table, const char *action);
// 1 for a single action, the list's length, or -1 for NULL.
int key_binding_action_count(const key_binding *binding);
const char *key_binding_action_at_index(const key_binding *binding, size_t index);

void key_bindings_free(stack *table);
// Orders pointers to record pointers by code, highest first (for stack_sort).
int key_binding_compare(const void *a, const void *b);
// Frees each string of the stack, then the stack.
void key_binding_strings_free(stack *strings);

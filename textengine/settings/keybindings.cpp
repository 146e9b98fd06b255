#include "textengine/settings/keybindings.h"

#include <cstdlib>
#include <cstring>

#include "library/d_string.h"
#include "library/diagnostics.h"
#include "textengine/settings/hex_digit.h"
#include "textengine/settings/settings_file.h"
#include "textengine/utf8_sequence.h"

namespace {

struct ModifierName {
    const char *name;
    uint64_t bit;
};

const ModifierName kModifierNames[] = {
    {"shift", kKeyModifierShift}, {"ctrl", kKeyModifierCtrl}, {"opt", kKeyModifierOpt},
    {"cmd", kKeyModifierCmd},     {"fn", kKeyModifierFn},
};

// ASCII letters only: the keys are UTF-16 units, far beyond what the C
// library's toupper may be given.
uint16_t fold_key(uint32_t key) {
    return (uint16_t)(key >= 'a' && key <= 'z' ? key - ('a' - 'A') : key);
}

// The key a "key" string names: "\u" and hexadecimal digits (modulo 65536),
// or the first UTF-16 unit of its first character. False when that
// character is not well-formed UTF-8: no key event could produce it.
bool key_from_string(const char *text, uint16_t *key) {
    if (text[0] == '\\' && text[1] == 'u') {
        uint32_t value = 0;
        for (const char *p = text + 2; hex_digit_value(*p) >= 0; p++)
            value = (value * 16 + (uint32_t)hex_digit_value(*p)) & 0xFFFF;
        *key = (uint16_t)value;
        return true;
    }
    uint32_t point;
    if (utf8_decode_sequence(reinterpret_cast<const unsigned char *>(text), &point) == 0)
        return false;
    // Characters beyond the first plane arrive as a surrogate pair; a key
    // event reports the leading unit.
    if (point >= 0x10000)
        point = 0xD800 + ((point - 0x10000) >> 10);
    *key = (uint16_t)point;
    return true;
}

uint64_t modifier_bits(const json_array *names) {
    uint64_t bits = 0;
    for (size_t i = 0; i < json_array_get_count(names); i++) {
        const char *name = json_array_get_string(names, i);
        if (!name)
            continue;
        for (const ModifierName &m : kModifierNames)
            if (strcmp(name, m.name) == 0)
                bits |= m.bit;
    }
    return bits;
}

char *copy_text(const char *text) { return text ? strdup(text) : nullptr; }

void free_binding(key_binding *b) {
    if (b->single)
        free(b->actions.action);
    else
        key_binding_strings_free(b->actions.list);
    free(b->title);
    free(b);
}

// One binding from one element of the file's array, or NULL. Elements that
// are not objects, have no string "key" or no usable "action" give none.
key_binding *binding_from(const json_object *element) {
    const char *key_text = json_object_get_string(element, "key");
    uint16_t key;
    if (!key_text || !key_from_string(key_text, &key))
        return nullptr;
    const json_value *action = json_object_get_value(element, "action");
    int action_type = json_value_get_type(action);
    if (action_type != JSON_STRING && action_type != JSON_ARRAY)
        return nullptr;

    auto b = static_cast<key_binding *>(calloc(1, sizeof(key_binding)));
    if (!b)
        return nullptr;
    uint64_t bits = modifier_bits(json_object_get_array(element, "modifiers"));
    b->key = fold_key(key);
    b->modifiers = bits & kKeyModifierMask;
    b->code = b->key | b->modifiers;
    if (action_type == JSON_STRING) {
        b->single = 1;
        b->actions.action = copy_text(json_value_get_string(action));
    } else {
        const json_array *list = json_value_get_array(action);
        b->actions.list = stack_new(3);
        for (size_t i = 0; b->actions.list && i < json_array_get_count(list); i++)
            stack_push(b->actions.list, copy_text(json_array_get_string(list, i)));
    }
    b->title = copy_text(json_object_get_string(element, "title"));
    return b;
}

}  // namespace

json_value *key_bindings_parse_json(const char *text) {
    json_value *v = json_parse_string(text);
    if (!v)
        tzr_log("Invalid JSON...\n");
    return v;
}

json_value *key_bindings_read_json(const char *path) {
    DString *text = settings_file_read(path);
    if (!text) {
        tzr_log("Error reading file...\n");
        return nullptr;
    }
    json_value *v = key_bindings_parse_json(text->str);
    d_string_free(text, true);
    return v;
}

stack *key_bindings_from_json(const json_value *value) {
    stack *table = stack_new(0);
    if (!table)
        return nullptr;
    const json_array *elements = json_value_get_array(value);
    for (size_t i = 0; i < json_array_get_count(elements); i++) {
        key_binding *b = binding_from(json_array_get_object(elements, i));
        if (b)
            stack_push(table, b);
    }
    stack_sort(table, key_binding_compare);
    return table;
}

stack *key_bindings_from_file(const char *path) {
    json_value *v = key_bindings_read_json(path);
    stack *table = key_bindings_from_json(v);
    json_value_free(v);
    return table;
}

stack *key_bindings_from_string(const char *text) {
    json_value *v = key_bindings_parse_json(text);
    stack *table = key_bindings_from_json(v);
    json_value_free(v);
    return table;
}

int key_binding_compare(const void *a, const void *b) {
    uint64_t first = (*static_cast<key_binding *const *>(a))->code;
    uint64_t second = (*static_cast<key_binding *const *>(b))->code;
    return (first < second) - (first > second);
}

key_binding *key_bindings_lookup(const stack *table, int key, uint64_t modifiers) {
    if (!table || table->size == 0)
        return nullptr;
    // The key and the modifiers occupy separate bits of a code. A key beyond
    // 16 bits or a modifier bit that no binding keeps would otherwise blend
    // into the other half and select an unrelated binding.
    if (key < 0 || key > 0xFFFF || (modifiers & ~kKeyModifierMask) != 0)
        return nullptr;
    uint64_t code = fold_key((uint32_t)key) | modifiers;
    size_t low = 0;
    size_t high = table->size;
    while (low < high) {
        size_t middle = low + (high - low) / 2;
        auto b = static_cast<key_binding *>(table->element[middle]);
        if (b->code == code)
            return b;
        if (b->code > code)
            low = middle + 1;
        else
            high = middle;
    }
    return nullptr;
}

key_binding *key_bindings_find_action(const stack *table, const char *action) {
    if (!table || !action)
        return nullptr;
    for (size_t i = 0; i < table->size; i++) {
        auto b = static_cast<key_binding *>(table->element[i]);
        if (b->single && b->actions.action && strcmp(b->actions.action, action) == 0)
            return b;
    }
    return nullptr;
}

int key_binding_action_count(const key_binding *binding) {
    if (!binding)
        return -1;
    if (binding->single)
        return 1;
    return binding->actions.list ? (int)binding->actions.list->size : -1;
}

const char *key_binding_action_at_index(const key_binding *binding, size_t index) {
    int count = key_binding_action_count(binding);
    if (count < 0 || index >= (size_t)count)
        return nullptr;
    if (binding->single)
        return binding->actions.action;
    return static_cast<const char *>(binding->actions.list->element[index]);
}

void key_bindings_free(stack *table) {
    if (!table)
        return;
    while (table->size)
        free_binding(static_cast<key_binding *>(stack_pop(table)));
    stack_free(table);
}

void key_binding_strings_free(stack *strings) {
    if (!strings)
        return;
    for (size_t i = 0; i < strings->size; i++)
        free(strings->element[i]);
    stack_free(strings);
}

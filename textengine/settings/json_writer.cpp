// The JSON writer, tree editing, deep copy, equality and schema matching.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "textengine/settings/json.h"
#include "textengine/settings/json_internal.h"

namespace {

// Measures, or writes when `out` is set, keeping the output NUL-terminated
// after every piece.
struct Output {
    char *out;
    size_t length;
    char *scratch;

    void put(const char *text, size_t count) {
        if (out) {
            memcpy(out + length, text, count);
            out[length + count] = '\0';
        }
        length += count;
    }
    void put(const char *text) { put(text, strlen(text)); }
    void indent(int level) {
        for (int i = 0; i < level; i++)
            put("    ", 4);
    }
};

// The number's text into `buffer` (kJsonNumberScratchSize bytes); 0 when it
// has none. NaN and the infinities have no JSON form, so they are refused
// rather than written as text no reader would take back.
size_t format_number(double d, char *buffer) {
    if (!std::isfinite(d))
        return 0;
    int written;
    if (d >= -2147483648.0 && d <= 2147483647.0 && d == (double)(int32_t)d) {
        written = snprintf(buffer, kJsonNumberScratchSize, "%d", (int)(int32_t)d);
    } else if (d >= 0.0 && d < 4294967296.0 && d == (double)(uint32_t)d) {
        written = snprintf(buffer, kJsonNumberScratchSize, "%u", (unsigned)(uint32_t)d);
    } else {
        // Six decimals like "%f", but with a decimal point whatever the
        // application's locale.
        auto result = std::to_chars(buffer, buffer + kJsonNumberScratchSize - 1, d,
                                    std::chars_format::fixed, 6);
        if (result.ec != std::errc())
            return 0;
        *result.ptr = '\0';
        written = (int)(result.ptr - buffer);
    }
    return written > 0 ? (size_t)written : 0;
}

void put_quoted(Output &o, const char *text) {
    static const char hex[] = "0123456789abcdef";
    o.put("\"", 1);
    for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; p++) {
        switch (*p) {
        case '"': o.put("\\\"", 2); break;
        case '\\': o.put("\\\\", 2); break;
        case '/': o.put("\\/", 2); break;
        case '\b': o.put("\\b", 2); break;
        case '\f': o.put("\\f", 2); break;
        case '\n': o.put("\\n", 2); break;
        case '\r': o.put("\\r", 2); break;
        case '\t': o.put("\\t", 2); break;
        default:
            if (*p < 0x20) {
                char escape[6] = {'\\', 'u', '0', '0', hex[*p >> 4], hex[*p & 0xF]};
                o.put(escape, 6);
            } else {
                o.put(reinterpret_cast<const char *>(p), 1);
            }
        }
    }
    o.put("\"", 1);
}

// The members of an array or object between the two `brackets`, each
// written by `member(i)`; when `indented`, one a line, one level deeper.
template <typename Member>
bool put_members(Output &o, size_t count, const char *brackets, int level, bool indented,
                 Member member) {
    if (count == 0) {
        o.put(brackets, 2);
        return true;
    }
    o.put(brackets, 1);
    if (indented)
        o.put("\n", 1);
    for (size_t i = 0; i < count; i++) {
        if (indented)
            o.indent(level + 1);
        if (!member(i))
            return false;
        bool more = i + 1 < count;
        if (indented)
            o.put(more ? ",\n" : "\n");
        else if (more)
            o.put(",", 1);
    }
    if (indented)
        o.indent(level);
    o.put(brackets + 1, 1);
    return true;
}

// Nesting is held to the depth the reader accepts, so whatever is written
// can be read back and no hand-built tree exhausts the stack.
bool put_value(Output &o, const json_value *v, int level, bool indented) {
    if (!v || level > kJsonMaxNesting)
        return false;
    switch (v->type) {
    case JSON_NULL: o.put("null", 4); return true;
    case JSON_BOOLEAN: o.put(v->value.boolean ? "true" : "false"); return true;
    case JSON_NUMBER: {
        size_t n = format_number(v->value.number, o.scratch);
        if (n == 0)
            return false;
        o.put(o.scratch, n);
        return true;
    }
    case JSON_STRING:
        if (!v->value.string)
            return false;
        put_quoted(o, v->value.string);
        return true;
    case JSON_ARRAY: {
        const json_array *a = v->value.array;
        return a && put_members(o, a->count, "[]", level, indented, [&](size_t i) {
                   return put_value(o, a->items[i], level + 1, indented);
               });
    }
    case JSON_OBJECT: {
        const json_object *obj = v->value.object;
        return obj && put_members(o, obj->count, "{}", level, indented, [&](size_t i) {
                   put_quoted(o, obj->names[i]);
                   o.put(indented ? ": " : ":");
                   return put_value(o, obj->values[i], level + 1, indented);
               });
    }
    default: return false;
    }
}

long measure(const json_value *value, bool indented) {
    char scratch[kJsonNumberScratchSize];
    Output o{nullptr, 0, scratch};
    return put_value(o, value, 0, indented) ? (long)o.length : -1;
}

int to_buffer(const json_value *value, char *buffer, size_t size, bool indented) {
    if (!buffer)
        return -1;
    long count = measure(value, indented);
    if (count < 0 || (size_t)count >= size)
        return -1;
    char scratch[kJsonNumberScratchSize];
    Output o{buffer, 0, scratch};
    return put_value(o, value, 0, indented) ? 0 : -1;
}

char *to_string(const json_value *value, bool indented) {
    long count = measure(value, indented);
    if (count < 0)
        return nullptr;
    char *text = static_cast<char *>(json_allocate((size_t)count + 1));
    if (!text)
        return nullptr;
    if (to_buffer(value, text, (size_t)count + 1, indented) != 0) {
        json_release(text);
        return nullptr;
    }
    return text;
}

int to_file(const json_value *value, const char *path, bool indented) {
    if (!path)
        return -1;
    char *text = to_string(value, indented);
    if (!text)
        return -1;
    FILE *f = fopen(path, "w");
    if (!f) {
        json_release(text);
        return -1;
    }
    int result = fputs(text, f) < 0 ? -1 : 0;
    if (fclose(f) != 0)
        result = -1;
    json_release(text);
    return result;
}

// True when `value` is `holder` or one of its ancestors: storing it under
// `holder` would make the tree contain itself.
bool is_ancestor_or_self(const json_value *value, const json_value *holder) {
    for (const json_value *v = holder; v; v = v->parent)
        if (v == value)
            return true;
    return false;
}

bool storable(const json_value *value, const json_value *holder) {
    return value && !value->parent && !is_ancestor_or_self(value, holder);
}

// Runs a store with a value made for it, releasing the value when the store
// fails so that a failed typed call leaves nothing behind.
template <typename Store> int store_made(json_value *made, Store store) {
    if (!made)
        return -1;
    if (store(made) != 0) {
        json_value_free(made);
        return -1;
    }
    return 0;
}

json_value *copy_value(const json_value *v, int depth) {
    if (!v || depth > kJsonMaxNesting)
        return nullptr;
    switch (v->type) {
    case JSON_NULL: return json_value_new_null();
    case JSON_BOOLEAN: return json_value_new_boolean(v->value.boolean);
    case JSON_NUMBER: return json_value_new_number(v->value.number);
    case JSON_STRING: {
        if (!v->value.string)
            return nullptr;
        // Copied as it is, with no UTF-8 test: the parser keeps bytes that
        // the constructor would refuse.
        size_t length = strlen(v->value.string);
        char *text = static_cast<char *>(json_allocate(length + 1));
        if (!text)
            return nullptr;
        memcpy(text, v->value.string, length + 1);
        json_value *copy = json_value_new_null();
        if (!copy) {
            json_release(text);
            return nullptr;
        }
        copy->type = JSON_STRING;
        copy->value.string = text;
        return copy;
    }
    case JSON_ARRAY: {
        json_value *copy = json_value_new_array();
        if (!copy || !v->value.array)
            return copy;
        for (size_t i = 0; i < v->value.array->count; i++) {
            json_value *item = copy_value(v->value.array->items[i], depth + 1);
            if (!item || json_array_append_value(copy->value.array, item) != 0) {
                json_value_free(item);
                json_value_free(copy);
                return nullptr;
            }
        }
        return copy;
    }
    case JSON_OBJECT: {
        json_value *copy = json_value_new_object();
        if (!copy || !v->value.object)
            return copy;
        const json_object *o = v->value.object;
        for (size_t i = 0; i < o->count; i++) {
            json_value *member = copy_value(o->values[i], depth + 1);
            if (!member || json_object_add(copy->value.object, o->names[i], member) != 0) {
                json_value_free(member);
                json_value_free(copy);
                return nullptr;
            }
        }
        return copy;
    }
    default: return nullptr;
    }
}

bool equal_values(const json_value *a, const json_value *b, int depth) {
    if (depth > kJsonMaxNesting)
        return false;
    int ta = json_value_get_type(a);
    int tb = json_value_get_type(b);
    if (ta != tb)
        return false;
    switch (ta) {
    case JSON_STRING:
        return a->value.string && b->value.string && strcmp(a->value.string, b->value.string) == 0;
    case JSON_NUMBER: return std::fabs(a->value.number - b->value.number) < 0.000001;
    case JSON_BOOLEAN: return a->value.boolean == b->value.boolean;
    case JSON_ARRAY: {
        size_t n = json_array_get_count(a->value.array);
        if (n != json_array_get_count(b->value.array))
            return false;
        for (size_t i = 0; i < n; i++)
            if (!equal_values(a->value.array->items[i], b->value.array->items[i], depth + 1))
                return false;
        return true;
    }
    case JSON_OBJECT: {
        const json_object *oa = a->value.object;
        const json_object *ob = b->value.object;
        size_t n = json_object_get_count(oa);
        if (n != json_object_get_count(ob))
            return false;
        for (size_t i = 0; i < n; i++) {
            json_value *other = json_object_get_value(ob, oa->names[i]);
            if (!other || !equal_values(oa->values[i], other, depth + 1))
                return false;
        }
        return true;
    }
    default: return true;  // null values, and two NULL values
    }
}

bool matches(const json_value *schema, const json_value *value, int depth) {
    if (!schema || !value || depth > kJsonMaxNesting)
        return false;
    if (schema->type == JSON_NULL)
        return true;
    if (schema->type != value->type)
        return false;
    switch (schema->type) {
    case JSON_STRING:
    case JSON_NUMBER:
    case JSON_BOOLEAN: return true;
    case JSON_OBJECT: {
        const json_object *s = schema->value.object;
        const json_object *v = value->value.object;
        size_t n = json_object_get_count(s);
        if (n == 0)
            return true;
        if (json_object_get_count(v) < n)
            return false;
        for (size_t i = 0; i < n; i++) {
            json_value *member = json_object_get_value(v, s->names[i]);
            if (!member || !matches(s->values[i], member, depth + 1))
                return false;
        }
        return true;
    }
    case JSON_ARRAY: {
        const json_array *s = schema->value.array;
        const json_array *v = value->value.array;
        if (json_array_get_count(s) == 0)
            return true;
        for (size_t i = 0; i < json_array_get_count(v); i++)
            if (!matches(s->items[0], v->items[i], depth + 1))
                return false;
        return true;
    }
    default: return false;
    }
}

}  // namespace

// --- Serialisation ----------------------------------------------------------

long json_serialize_value(const json_value *value, char *out, int level, bool indented,
                          char *scratch) {
    char local[kJsonNumberScratchSize];
    if (level < 0)
        return -1;
    Output o{out, 0, scratch ? scratch : local};
    return put_value(o, value, level, indented) ? (long)o.length : -1;
}

long json_serialize_quoted_string(const char *text, char *out) {
    if (!text)
        return -1;
    Output o{out, 0, nullptr};
    put_quoted(o, text);
    return (long)o.length;
}

size_t json_serialized_size(const json_value *value) {
    long count = measure(value, false);
    return count < 0 ? 0 : (size_t)count + 1;
}

size_t json_serialized_size_indented(const json_value *value) {
    long count = measure(value, true);
    return count < 0 ? 0 : (size_t)count + 1;
}

int json_serialize_to_buffer(const json_value *value, char *buffer, size_t size) {
    return to_buffer(value, buffer, size, false);
}

int json_serialize_to_buffer_indented(const json_value *value, char *buffer, size_t size) {
    return to_buffer(value, buffer, size, true);
}

char *json_serialize_to_string(const json_value *value) { return to_string(value, false); }

char *json_serialize_to_string_indented(const json_value *value) {
    return to_string(value, true);
}

int json_serialize_to_file(const json_value *value, const char *path) {
    return to_file(value, path, false);
}

int json_serialize_to_file_indented(const json_value *value, const char *path) {
    return to_file(value, path, true);
}

void json_free_serialized(char *text) { json_release(text); }

// --- Object editing ---------------------------------------------------------

int json_object_set_value(json_object *object, const char *name, json_value *value) {
    if (!object || !name || !storable(value, object->owner))
        return -1;
    long i = json_object_find(object, name, strlen(name));
    if (i < 0)
        return json_object_add(object, name, value);
    json_value_free(object->values[i]);
    object->values[i] = value;
    value->parent = object->owner;
    return 0;
}

int json_object_set_string(json_object *object, const char *name, const char *text) {
    if (!object || !name)
        return -1;
    return store_made(json_value_new_string(text),
                      [&](json_value *v) { return json_object_set_value(object, name, v); });
}

int json_object_set_number(json_object *object, const char *name, double number) {
    if (!object || !name)
        return -1;
    return store_made(json_value_new_number(number),
                      [&](json_value *v) { return json_object_set_value(object, name, v); });
}

int json_object_set_boolean(json_object *object, const char *name, int boolean) {
    if (!object || !name)
        return -1;
    return store_made(json_value_new_boolean(boolean),
                      [&](json_value *v) { return json_object_set_value(object, name, v); });
}

int json_object_set_null(json_object *object, const char *name) {
    if (!object || !name)
        return -1;
    return store_made(json_value_new_null(),
                      [&](json_value *v) { return json_object_set_value(object, name, v); });
}

int json_object_set_value_by_path(json_object *object, const char *path, json_value *value) {
    if (!object || !path || !value)
        return -1;
    const char *segment = path;
    for (const char *dot = strchr(segment, '.'); dot; dot = strchr(segment, '.')) {
        size_t length = (size_t)(dot - segment);
        long i = json_object_find(object, segment, length);
        if (i >= 0 && object->values[i]->type == JSON_OBJECT) {
            object = object->values[i]->value.object;
        } else {
            json_value *made = json_value_new_object();
            std::string name(segment, length);
            if (!made || json_object_add(object, name.c_str(), made) != 0) {
                json_value_free(made);
                return -1;
            }
            object = made->value.object;
        }
        segment = dot + 1;
    }
    return json_object_set_value(object, segment, value);
}

int json_object_set_string_by_path(json_object *object, const char *path, const char *text) {
    if (!object || !path)
        return -1;
    return store_made(json_value_new_string(text),
                      [&](json_value *v) { return json_object_set_value_by_path(object, path, v); });
}

int json_object_set_number_by_path(json_object *object, const char *path, double number) {
    if (!object || !path)
        return -1;
    return store_made(json_value_new_number(number),
                      [&](json_value *v) { return json_object_set_value_by_path(object, path, v); });
}

int json_object_set_boolean_by_path(json_object *object, const char *path, int boolean) {
    if (!object || !path)
        return -1;
    return store_made(json_value_new_boolean(boolean),
                      [&](json_value *v) { return json_object_set_value_by_path(object, path, v); });
}

int json_object_set_null_by_path(json_object *object, const char *path) {
    if (!object || !path)
        return -1;
    return store_made(json_value_new_null(),
                      [&](json_value *v) { return json_object_set_value_by_path(object, path, v); });
}

int json_object_remove(json_object *object, const char *name) {
    if (!object || !name)
        return -1;
    long i = json_object_find(object, name, strlen(name));
    if (i < 0)
        return -1;
    json_object_drop_member(object, (size_t)i);
    return 0;
}

int json_object_remove_by_path(json_object *object, const char *path) {
    const char *last = nullptr;
    size_t length = 0;
    json_object *holder =
        const_cast<json_object *>(json_object_walk_path(object, path, &last, &length));
    long i = json_object_find(holder, last, length);
    if (i < 0)
        return -1;
    json_object_drop_member(holder, (size_t)i);
    return 0;
}

int json_object_clear(json_object *object) {
    if (!object)
        return -1;
    for (size_t i = 0; i < object->count; i++) {
        json_release(object->names[i]);
        json_value_free(object->values[i]);
    }
    object->count = 0;
    return 0;
}

// --- Array editing ----------------------------------------------------------

int json_array_append_value(json_array *array, json_value *value) {
    if (!array || !storable(value, array->owner) || !json_array_reserve_one(array))
        return -1;
    array->items[array->count++] = value;
    value->parent = array->owner;
    return 0;
}

int json_array_append_string(json_array *array, const char *text) {
    if (!array)
        return -1;
    return store_made(json_value_new_string(text),
                      [&](json_value *v) { return json_array_append_value(array, v); });
}

int json_array_append_number(json_array *array, double number) {
    if (!array)
        return -1;
    return store_made(json_value_new_number(number),
                      [&](json_value *v) { return json_array_append_value(array, v); });
}

int json_array_append_boolean(json_array *array, int boolean) {
    if (!array)
        return -1;
    return store_made(json_value_new_boolean(boolean),
                      [&](json_value *v) { return json_array_append_value(array, v); });
}

int json_array_append_null(json_array *array) {
    if (!array)
        return -1;
    return store_made(json_value_new_null(),
                      [&](json_value *v) { return json_array_append_value(array, v); });
}

int json_array_replace_value(json_array *array, size_t index, json_value *value) {
    if (!array || index >= array->count || !storable(value, array->owner))
        return -1;
    json_value_free(array->items[index]);
    array->items[index] = value;
    value->parent = array->owner;
    return 0;
}

int json_array_replace_string(json_array *array, size_t index, const char *text) {
    if (!array || index >= array->count)
        return -1;
    return store_made(json_value_new_string(text),
                      [&](json_value *v) { return json_array_replace_value(array, index, v); });
}

int json_array_replace_number(json_array *array, size_t index, double number) {
    if (!array || index >= array->count)
        return -1;
    return store_made(json_value_new_number(number),
                      [&](json_value *v) { return json_array_replace_value(array, index, v); });
}

int json_array_replace_boolean(json_array *array, size_t index, int boolean) {
    if (!array || index >= array->count)
        return -1;
    return store_made(json_value_new_boolean(boolean),
                      [&](json_value *v) { return json_array_replace_value(array, index, v); });
}

int json_array_replace_null(json_array *array, size_t index) {
    if (!array || index >= array->count)
        return -1;
    return store_made(json_value_new_null(),
                      [&](json_value *v) { return json_array_replace_value(array, index, v); });
}

int json_array_remove(json_array *array, size_t index) {
    if (!array || index >= array->count)
        return -1;
    json_value_free(array->items[index]);
    size_t last = array->count - 1;
    if (index != last)
        array->items[index] = array->items[last];
    array->count = last;
    return 0;
}

int json_array_clear(json_array *array) {
    if (!array)
        return -1;
    for (size_t i = 0; i < array->count; i++)
        json_value_free(array->items[i]);
    array->count = 0;
    return 0;
}

// --- Whole values -----------------------------------------------------------

json_value *json_value_copy(const json_value *value) { return copy_value(value, 0); }

int json_value_equal(const json_value *a, const json_value *b) {
    return equal_values(a, b, 0) ? 1 : 0;
}

int json_value_matches_schema(const json_value *schema, const json_value *value) {
    return matches(schema, value, 0) ? 0 : -1;
}

// JSON values, the reader and the read accessors.

#include "textengine/settings/json.h"

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#include "textengine/settings/hex_digit.h"
#include "textengine/settings/json_internal.h"
#include "textengine/utf8_sequence.h"

namespace {

json_allocate_function g_allocate = malloc;
json_release_function g_release = free;

bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

void skip_space(const char **p) {
    while (is_space(**p))
        (*p)++;
}

char *copy_bytes(const char *text, size_t length) {
    char *copy = static_cast<char *>(json_allocate(length + 1));
    if (!copy)
        return nullptr;
    memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

json_value *new_value(int32_t type) {
    json_value *v = static_cast<json_value *>(json_allocate(sizeof(json_value)));
    if (!v)
        return nullptr;
    v->parent = nullptr;
    v->type = type;
    memset(&v->value, 0, sizeof v->value);
    return v;
}

// Numbers are read in the C locale whatever locale the application set, so a
// decimal comma never creeps in.
locale_t c_locale() {
    static locale_t loc = newlocale(LC_ALL_MASK, "C", (locale_t)0);
    return loc;
}

double convert_number(const char *text, char **end) {
    locale_t loc = c_locale();
    if (loc)
        return strtod_l(text, end, loc);
    return strtod(text, end);
}

const char *skip_byte_order_mark(const char *text) {
    if ((unsigned char)text[0] == 0xEF && (unsigned char)text[1] == 0xBB &&
        (unsigned char)text[2] == 0xBF)
        return text + 3;
    return text;
}

// Moves a container's entries into new slots for `capacity` of them (at
// least its count). False, the container unchanged, when out of memory.
bool move_items(json_array *a, size_t capacity) {
    auto items = static_cast<json_value **>(json_allocate(capacity * sizeof(json_value *)));
    if (!items)
        return false;
    if (a->count)
        memcpy(items, a->items, a->count * sizeof(json_value *));
    json_release(a->items);
    a->items = items;
    a->capacity = capacity;
    return true;
}

bool move_members(json_object *o, size_t capacity) {
    auto names = static_cast<char **>(json_allocate(capacity * sizeof(char *)));
    auto values = static_cast<json_value **>(json_allocate(capacity * sizeof(json_value *)));
    if (!names || !values) {
        json_release(names);
        json_release(values);
        return false;
    }
    if (o->count) {
        memcpy(names, o->names, o->count * sizeof(char *));
        memcpy(values, o->values, o->count * sizeof(json_value *));
    }
    json_release(o->names);
    json_release(o->values);
    o->names = names;
    o->values = values;
    o->capacity = capacity;
    return true;
}

// Gives back the spare slots of a container whose closing bracket was read.
// A failed allocation keeps the larger arrays, which is harmless.
void trim_array(json_array *a) {
    if (a->count == a->capacity)
        return;
    if (a->count == 0) {
        json_release(a->items);
        a->items = nullptr;
        a->capacity = 0;
        return;
    }
    move_items(a, a->count);
}

void trim_object(json_object *o) {
    if (o->count == o->capacity)
        return;
    if (o->count == 0) {
        json_release(o->names);
        json_release(o->values);
        o->names = nullptr;
        o->values = nullptr;
        o->capacity = 0;
        return;
    }
    move_members(o, o->count);
}

json_value *parse_number(const char **cursor) {
    const char *s = *cursor;
    // JSON numbers start with a digit after an optional minus sign. Checking
    // that here keeps the C conversion from reading "-", "-inf", "-nan" or
    // "-.5" as numbers.
    if (!is_digit(s[s[0] == '-' ? 1 : 0]))
        return nullptr;
    errno = 0;
    char *end = nullptr;
    double number = convert_number(s, &end);
    if (errno != 0 || !end)
        return nullptr;
    size_t length = (size_t)(end - s);
    if (length == 0)
        return nullptr;
    if (length >= 2 && s[0] == '0' && s[1] != '.')
        return nullptr;
    if (length >= 3 && s[0] == '-' && s[1] == '0' && s[2] != '.')
        return nullptr;
    for (size_t i = 0; i < length; i++) {
        char c = s[i];
        if (!is_digit(c) && c != '.' && c != 'e' && c != 'E' && c != '+' && c != '-')
            return nullptr;  // hexadecimal and other forms the C library knows
    }
    json_value *v = new_value(JSON_NUMBER);
    if (!v)
        return nullptr;
    v->value.number = number;
    *cursor = s + length;
    return v;
}

json_value *parse_literal(const char **cursor) {
    const char *s = *cursor;
    json_value *v = nullptr;
    // strncmp stops at the first difference, so a short text ending in NUL
    // is never read past.
    if (strncmp(s, "true", 4) == 0) {
        v = new_value(JSON_BOOLEAN);
        if (v)
            v->value.boolean = 1;
        s += 4;
    } else if (strncmp(s, "false", 5) == 0) {
        v = new_value(JSON_BOOLEAN);
        s += 5;
    } else if (strncmp(s, "null", 4) == 0) {
        v = new_value(JSON_NULL);
        s += 4;
    }
    if (v)
        *cursor = s;
    return v;
}

json_value *parse_array(const char **cursor, int depth) {
    json_value *v = json_value_new_array();
    if (!v)
        return nullptr;
    json_array *a = v->value.array;
    const char *p = *cursor + 1;
    skip_space(&p);
    if (*p == ']') {
        *cursor = p + 1;
        return v;
    }
    while (*p) {
        json_value *item = json_parse_value(&p, depth + 1);
        if (!item || !json_array_reserve_one(a)) {
            json_value_free(item);
            json_value_free(v);
            return nullptr;
        }
        item->parent = v;
        a->items[a->count++] = item;
        skip_space(&p);
        if (*p != ',')
            break;
        p++;
        skip_space(&p);
    }
    skip_space(&p);
    if (*p != ']') {
        json_value_free(v);
        return nullptr;
    }
    trim_array(a);
    *cursor = p + 1;
    return v;
}

json_value *parse_object(const char **cursor, int depth) {
    json_value *v = json_value_new_object();
    if (!v)
        return nullptr;
    json_object *o = v->value.object;
    const char *p = *cursor + 1;
    skip_space(&p);
    if (*p == '}') {
        *cursor = p + 1;
        return v;
    }
    while (*p) {
        char *name = json_parse_quoted_string(&p);
        if (!name) {
            json_value_free(v);
            return nullptr;
        }
        skip_space(&p);
        json_value *member = nullptr;
        if (*p == ':') {
            p++;
            member = json_parse_value(&p, depth + 1);
        }
        // Duplicate names and a member past the limit refuse the whole text.
        if (!member || json_object_add(o, name, member) != 0) {
            json_release(name);
            json_value_free(member);
            json_value_free(v);
            return nullptr;
        }
        json_release(name);
        skip_space(&p);
        if (*p != ',')
            break;
        p++;
        skip_space(&p);
    }
    skip_space(&p);
    if (*p != '}') {
        json_value_free(v);
        return nullptr;
    }
    trim_object(o);
    *cursor = p + 1;
    return v;
}

// Encodes a code point below 0x110000 as UTF-8; returns the byte count.
size_t put_utf8(char *out, uint32_t c) {
    if (c < 0x80) {
        out[0] = (char)c;
        return 1;
    }
    if (c < 0x800) {
        out[0] = (char)(0xC0 | (c >> 6));
        out[1] = (char)(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = (char)(0xE0 | (c >> 12));
        out[1] = (char)(0x80 | ((c >> 6) & 0x3F));
        out[2] = (char)(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = (char)(0xF0 | (c >> 18));
    out[1] = (char)(0x80 | ((c >> 12) & 0x3F));
    out[2] = (char)(0x80 | ((c >> 6) & 0x3F));
    out[3] = (char)(0x80 | (c & 0x3F));
    return 4;
}

// Reads a whole file into a new string through the allocator pair.
char *read_whole_file(const char *path) {
    if (!path)
        return nullptr;
    FILE *f = fopen(path, "rb");
    if (!f)
        return nullptr;
    char *text = nullptr;
    long size = -1;
    if (fseek(f, 0, SEEK_END) == 0)
        size = ftell(f);
    if (size >= 0 && fseek(f, 0, SEEK_SET) == 0)
        text = static_cast<char *>(json_allocate((size_t)size + 1));
    if (text) {
        size_t read = fread(text, 1, (size_t)size, f);
        if (read == 0 && ferror(f)) {
            json_release(text);
            text = nullptr;
        } else {
            // The terminator goes after what was really read: a file that
            // shrank since it was measured must not expose unread bytes.
            text[read] = '\0';
        }
    }
    fclose(f);
    return text;
}

}  // namespace

// --- Shared inside the component -------------------------------------------

void *json_allocate(size_t size) { return g_allocate(size); }

void json_release(void *pointer) {
    if (pointer)
        g_release(pointer);
}

bool json_object_reserve_one(json_object *o) {
    if (o->count < o->capacity)
        return true;
    size_t capacity = o->capacity * 2;
    if (capacity < kJsonFirstCapacity)
        capacity = kJsonFirstCapacity;
    if (capacity > kJsonObjectMaxCapacity)
        return false;
    return move_members(o, capacity);
}

bool json_array_reserve_one(json_array *a) {
    if (a->count < a->capacity)
        return true;
    size_t capacity = a->capacity * 2;
    if (capacity < kJsonFirstCapacity)
        capacity = kJsonFirstCapacity;
    if (capacity > kJsonArrayMaxCapacity)
        return false;
    return move_items(a, capacity);
}

long json_object_find(const json_object *object, const char *name, size_t length) {
    if (!object || !name)
        return -1;
    for (size_t i = 0; i < object->count; i++) {
        const char *candidate = object->names[i];
        if (strlen(candidate) == length && memcmp(candidate, name, length) == 0)
            return (long)i;
    }
    return -1;
}

const json_object *json_object_walk_path(const json_object *object, const char *path,
                                         const char **last, size_t *last_length) {
    if (!object || !path)
        return nullptr;
    const char *segment = path;
    for (;;) {
        const char *dot = strchr(segment, '.');
        if (!dot) {
            *last = segment;
            *last_length = strlen(segment);
            return object;
        }
        long i = json_object_find(object, segment, (size_t)(dot - segment));
        if (i < 0 || object->values[i]->type != JSON_OBJECT)
            return nullptr;
        object = object->values[i]->value.object;
        segment = dot + 1;
    }
}

void json_object_drop_member(json_object *object, size_t index) {
    json_release(object->names[index]);
    json_value_free(object->values[index]);
    size_t last = object->count - 1;
    if (index != last) {
        object->names[index] = object->names[last];
        object->values[index] = object->values[last];
    }
    object->count = last;
}

// --- Allocators -------------------------------------------------------------

void json_set_allocators(json_allocate_function allocate, json_release_function release) {
    if (!allocate || !release)
        return;
    g_allocate = allocate;
    g_release = release;
}

// --- Parsing ----------------------------------------------------------------

int json_parse_hex4(const char *text) {
    if (!text)
        return -1;
    int code = 0;
    for (int i = 0; i < 4; i++) {
        int digit = hex_digit_value(text[i]);  // a NUL is no digit: reading stops there
        if (digit < 0)
            return -1;
        code = code * 16 + digit;
    }
    return code;
}

char *json_parse_quoted_string(const char **cursor) {
    if (!cursor || !*cursor || **cursor != '"')
        return nullptr;
    const char *start = *cursor + 1;
    const char *p = start;
    while (*p != '"') {
        if (*p == '\0')
            return nullptr;
        if (*p == '\\') {
            p++;
            if (*p == '\0')
                return nullptr;
        }
        p++;
    }
    size_t raw = (size_t)(p - start);
    *cursor = p + 1;

    // Every escape decodes to no more bytes than it takes in the text.
    char *buffer = static_cast<char *>(json_allocate(raw + 1));
    if (!buffer)
        return nullptr;
    size_t out = 0;
    bool ok = true;
    for (size_t i = 0; ok && i < raw;) {
        unsigned char c = (unsigned char)start[i];
        if (c < 0x20) {
            ok = false;
        } else if (c != '\\') {
            buffer[out++] = (char)c;
            i++;
        } else {
            char e = start[i + 1];  // within the text: the scan saw no NUL there
            i += 2;
            switch (e) {
            case '"': buffer[out++] = '"'; break;
            case '\\': buffer[out++] = '\\'; break;
            case '/': buffer[out++] = '/'; break;
            case 'b': buffer[out++] = '\b'; break;
            case 'f': buffer[out++] = '\f'; break;
            case 'n': buffer[out++] = '\n'; break;
            case 'r': buffer[out++] = '\r'; break;
            case 't': buffer[out++] = '\t'; break;
            case 'u': {
                // Digits are read one by one and stop at the closing quote
                // or a NUL, so no byte beyond the string is touched.
                int code = i + 4 <= raw ? json_parse_hex4(start + i) : -1;
                if (code < 0 || (code >= 0xDC00 && code <= 0xDFFF)) {
                    ok = false;
                    break;
                }
                i += 4;
                uint32_t point = (uint32_t)code;
                if (code >= 0xD800 && code <= 0xDBFF) {
                    int low = -1;
                    if (i + 6 <= raw && start[i] == '\\' && start[i + 1] == 'u')
                        low = json_parse_hex4(start + i + 2);
                    if (low < 0xDC00 || low > 0xDFFF) {
                        ok = false;
                        break;
                    }
                    i += 6;
                    point = 0x10000 + ((((uint32_t)code & 0x3FF) << 10) | ((uint32_t)low & 0x3FF));
                }
                out += put_utf8(buffer + out, point);
                break;
            }
            default: ok = false; break;
            }
        }
    }
    if (!ok) {
        json_release(buffer);
        return nullptr;
    }
    buffer[out] = '\0';
    // "\u0000" ends the stored text where it stands.
    char *text = copy_bytes(buffer, strlen(buffer));
    json_release(buffer);
    return text;
}

json_value *json_parse_value(const char **cursor, int depth) {
    if (!cursor || !*cursor || depth < 0 || depth > kJsonMaxNesting)
        return nullptr;
    skip_space(cursor);
    switch (**cursor) {
    case '"': {
        char *text = json_parse_quoted_string(cursor);
        if (!text)
            return nullptr;
        json_value *v = new_value(JSON_STRING);
        if (!v) {
            json_release(text);
            return nullptr;
        }
        v->value.string = text;
        return v;
    }
    case '[': return parse_array(cursor, depth);
    case '{': return parse_object(cursor, depth);
    case 't':
    case 'f':
    case 'n': return parse_literal(cursor);
    default:
        if (**cursor == '-' || is_digit(**cursor))
            return parse_number(cursor);
        return nullptr;
    }
}

json_value *json_parse_string(const char *text) {
    if (!text)
        return nullptr;
    const char *cursor = skip_byte_order_mark(text);
    return json_parse_value(&cursor, 0);
}

json_value *json_parse_string_commented(const char *text) {
    if (!text)
        return nullptr;
    char *copy = copy_bytes(text, strlen(text));
    if (!copy)
        return nullptr;
    json_strip_comments(copy, "/*", "*/");
    json_strip_comments(copy, "//", "\n");
    const char *cursor = copy;
    json_value *v = json_parse_value(&cursor, 0);
    json_release(copy);
    return v;
}

char *json_read_file(const char *path) { return read_whole_file(path); }

json_value *json_parse_file(const char *path) {
    char *text = json_read_file(path);
    if (!text)
        return nullptr;
    json_value *v = json_parse_string(text);
    json_release(text);
    return v;
}

json_value *json_parse_file_commented(const char *path) {
    char *text = json_read_file(path);
    if (!text)
        return nullptr;
    json_value *v = json_parse_string_commented(text);
    json_release(text);
    return v;
}

void json_strip_comments(char *text, const char *start, const char *end) {
    if (!text || !start || !end || !*text || !*start || !*end)
        return;
    size_t start_length = strlen(start);
    size_t end_length = strlen(end);
    bool in_string = false;
    char *p = text;
    while (*p) {
        if (*p == '\\') {
            if (p[1] == '\0')
                return;
            p += 2;
            continue;
        }
        if (*p == '"') {
            in_string = !in_string;
        } else if (!in_string && strncmp(p, start, start_length) == 0) {
            memset(p, ' ', start_length);
            char *close = strstr(p + start_length, end);
            if (!close)
                return;
            char *after = close + end_length;
            memset(p + start_length, ' ', (size_t)(after - (p + start_length)));
            p = after;
            continue;
        }
        p++;
    }
}

// --- Release ----------------------------------------------------------------

namespace {

// Detaches and returns the last member or item of a container, or NULL.
json_value *take_last_child(json_value *v) {
    if (v->type == JSON_ARRAY && v->value.array) {
        json_array *a = v->value.array;
        while (a->count) {
            json_value *item = a->items[--a->count];
            if (item)
                return item;
        }
    } else if (v->type == JSON_OBJECT && v->value.object) {
        json_object *o = v->value.object;
        while (o->count) {
            o->count--;
            json_release(o->names[o->count]);
            if (o->values[o->count])
                return o->values[o->count];
        }
    }
    return nullptr;
}

void release_node(json_value *v) {
    switch (v->type) {
    case JSON_STRING: json_release(v->value.string); break;
    case JSON_ARRAY:
        if (v->value.array) {
            json_release(v->value.array->items);
            json_release(v->value.array);
        }
        break;
    case JSON_OBJECT:
        if (v->value.object) {
            json_release(v->value.object->names);
            json_release(v->value.object->values);
            json_release(v->value.object);
        }
        break;
    default: break;
    }
    json_release(v);
}

}  // namespace

void json_value_free(json_value *value) {
    // Walks down and back up through the parent links instead of recursing,
    // so a tree of any depth is released without exhausting the stack.
    json_value *current = value;
    while (current) {
        json_value *child = take_last_child(current);
        if (child) {
            child->parent = current;
            current = child;
            continue;
        }
        json_value *up = current == value ? nullptr : current->parent;
        release_node(current);
        current = up;
    }
}

// --- Constructors -----------------------------------------------------------

json_value *json_value_new_object(void) {
    json_value *v = new_value(JSON_OBJECT);
    if (!v)
        return nullptr;
    auto o = static_cast<json_object *>(json_allocate(sizeof(json_object)));
    if (!o) {
        json_release(v);
        return nullptr;
    }
    *o = json_object{v, nullptr, nullptr, 0, 0};
    v->value.object = o;
    return v;
}

json_value *json_value_new_array(void) {
    json_value *v = new_value(JSON_ARRAY);
    if (!v)
        return nullptr;
    auto a = static_cast<json_array *>(json_allocate(sizeof(json_array)));
    if (!a) {
        json_release(v);
        return nullptr;
    }
    *a = json_array{v, nullptr, 0, 0};
    v->value.array = a;
    return v;
}

json_value *json_value_new_string(const char *text) {
    if (!text)
        return nullptr;
    const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
    while (*p) {
        uint32_t point;
        int length = utf8_decode_sequence(p, &point);
        if (length == 0)
            return nullptr;
        p += length;
    }
    char *copy = copy_bytes(text, (size_t)(p - reinterpret_cast<const unsigned char *>(text)));
    if (!copy)
        return nullptr;
    json_value *v = new_value(JSON_STRING);
    if (!v) {
        json_release(copy);
        return nullptr;
    }
    v->value.string = copy;
    return v;
}

json_value *json_value_new_number(double number) {
    json_value *v = new_value(JSON_NUMBER);
    if (v)
        v->value.number = number;
    return v;
}

json_value *json_value_new_boolean(int boolean) {
    json_value *v = new_value(JSON_BOOLEAN);
    if (v)
        v->value.boolean = boolean ? 1 : 0;
    return v;
}

json_value *json_value_new_null(void) { return new_value(JSON_NULL); }

// --- Value accessors --------------------------------------------------------

int json_value_get_type(const json_value *value) { return value ? value->type : JSON_ERROR; }

json_object *json_value_get_object(const json_value *value) {
    return value && value->type == JSON_OBJECT ? value->value.object : nullptr;
}

json_array *json_value_get_array(const json_value *value) {
    return value && value->type == JSON_ARRAY ? value->value.array : nullptr;
}

const char *json_value_get_string(const json_value *value) {
    return value && value->type == JSON_STRING ? value->value.string : nullptr;
}

double json_value_get_number(const json_value *value) {
    return value && value->type == JSON_NUMBER ? value->value.number : 0.0;
}

int json_value_get_boolean(const json_value *value) {
    return value && value->type == JSON_BOOLEAN ? value->value.boolean : -1;
}

json_value *json_value_get_parent(const json_value *value) {
    return value ? value->parent : nullptr;
}

int json_type_of(const json_value *value) { return json_value_get_type(value); }
json_object *json_object_of(const json_value *value) { return json_value_get_object(value); }
json_array *json_array_of(const json_value *value) { return json_value_get_array(value); }
const char *json_string_of(const json_value *value) { return json_value_get_string(value); }
double json_number_of(const json_value *value) { return json_value_get_number(value); }
int json_boolean_of(const json_value *value) { return json_value_get_boolean(value); }

// --- Object accessors -------------------------------------------------------

json_value *json_object_get_value(const json_object *object, const char *name) {
    if (!name)
        return nullptr;
    long i = json_object_find(object, name, strlen(name));
    return i < 0 ? nullptr : object->values[i];
}

const char *json_object_get_string(const json_object *object, const char *name) {
    return json_value_get_string(json_object_get_value(object, name));
}

double json_object_get_number(const json_object *object, const char *name) {
    return json_value_get_number(json_object_get_value(object, name));
}

json_object *json_object_get_object(const json_object *object, const char *name) {
    return json_value_get_object(json_object_get_value(object, name));
}

json_array *json_object_get_array(const json_object *object, const char *name) {
    return json_value_get_array(json_object_get_value(object, name));
}

int json_object_get_boolean(const json_object *object, const char *name) {
    return json_value_get_boolean(json_object_get_value(object, name));
}

int json_object_has_name(const json_object *object, const char *name) {
    return json_object_get_value(object, name) != nullptr;
}

int json_object_has_name_of_type(const json_object *object, const char *name, int type) {
    json_value *v = json_object_get_value(object, name);
    return v && v->type == type;
}

json_value *json_object_get_value_by_path(const json_object *object, const char *path) {
    const char *last = nullptr;
    size_t length = 0;
    const json_object *holder = json_object_walk_path(object, path, &last, &length);
    long i = json_object_find(holder, last, length);
    return i < 0 ? nullptr : holder->values[i];
}

const char *json_object_get_string_by_path(const json_object *object, const char *path) {
    return json_value_get_string(json_object_get_value_by_path(object, path));
}

double json_object_get_number_by_path(const json_object *object, const char *path) {
    return json_value_get_number(json_object_get_value_by_path(object, path));
}

json_object *json_object_get_object_by_path(const json_object *object, const char *path) {
    return json_value_get_object(json_object_get_value_by_path(object, path));
}

json_array *json_object_get_array_by_path(const json_object *object, const char *path) {
    return json_value_get_array(json_object_get_value_by_path(object, path));
}

int json_object_get_boolean_by_path(const json_object *object, const char *path) {
    return json_value_get_boolean(json_object_get_value_by_path(object, path));
}

int json_object_has_path(const json_object *object, const char *path) {
    return json_object_get_value_by_path(object, path) != nullptr;
}

int json_object_has_path_of_type(const json_object *object, const char *path, int type) {
    json_value *v = json_object_get_value_by_path(object, path);
    return v && v->type == type;
}

size_t json_object_get_count(const json_object *object) { return object ? object->count : 0; }

const char *json_object_get_name(const json_object *object, size_t index) {
    return object && index < object->count ? object->names[index] : nullptr;
}

json_value *json_object_get_value_at(const json_object *object, size_t index) {
    return object && index < object->count ? object->values[index] : nullptr;
}

json_value *json_object_get_owner(const json_object *object) {
    return object ? object->owner : nullptr;
}

// --- Array accessors --------------------------------------------------------

size_t json_array_get_count(const json_array *array) { return array ? array->count : 0; }

json_value *json_array_get_value(const json_array *array, size_t index) {
    return array && index < array->count ? array->items[index] : nullptr;
}

const char *json_array_get_string(const json_array *array, size_t index) {
    return json_value_get_string(json_array_get_value(array, index));
}

double json_array_get_number(const json_array *array, size_t index) {
    return json_value_get_number(json_array_get_value(array, index));
}

json_object *json_array_get_object(const json_array *array, size_t index) {
    return json_value_get_object(json_array_get_value(array, index));
}

json_array *json_array_get_array(const json_array *array, size_t index) {
    return json_value_get_array(json_array_get_value(array, index));
}

int json_array_get_boolean(const json_array *array, size_t index) {
    return json_value_get_boolean(json_array_get_value(array, index));
}

json_value *json_array_get_owner(const json_array *array) {
    return array ? array->owner : nullptr;
}

int json_object_add(json_object *object, const char *name, json_value *value) {
    if (!object || !name || !value)
        return -1;
    size_t length = strlen(name);
    if (json_object_find(object, name, length) >= 0)
        return -1;
    if (!json_object_reserve_one(object))
        return -1;
    char *copy = copy_bytes(name, length);
    if (!copy)
        return -1;
    object->names[object->count] = copy;
    object->values[object->count] = value;
    object->count++;
    value->parent = object->owner;
    return 0;
}

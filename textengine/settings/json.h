// The text engine's own JSON component: values, the reader, typed accessors,
// the writer and tree editing. Themes, expansions and key bindings are read
// through it.
//
// Every operation accepts NULL and then gives a neutral result (NULL, 0, 0.0
// or -1); nothing here prints. Text is UTF-8, passed as NUL-terminated bytes.
#pragma once

#include <cstddef>
#include <cstdint>

// Type codes of a value. 0 is never used.
enum json_value_type : int32_t {
    JSON_ERROR = -1,  // the type reported for a NULL value
    JSON_NULL = 1,
    JSON_STRING = 2,
    JSON_NUMBER = 3,
    JSON_OBJECT = 4,
    JSON_ARRAY = 5,
    JSON_BOOLEAN = 6,
};

struct json_object;
struct json_array;

// One node of a tree.
struct json_value {
    json_value *parent;  // the value of the container holding it; NULL for a root
    int32_t type;        // a json_value_type
    union {
        char *string;
        double number;
        json_object *object;
        json_array *array;
        int32_t boolean;
    } value;
};

struct json_object {
    json_value *owner;    // the object value wrapping this object
    char **names;         // `capacity` slots of owned names
    json_value **values;  // `capacity` slots of owned values, parallel to `names`
    size_t count;
    size_t capacity;
};

struct json_array {
    json_value *owner;   // the array value wrapping this array
    json_value **items;  // `capacity` slots of owned values
    size_t count;
    size_t capacity;
};

// Limits: objects never grow past 960 member slots nor arrays past 122880
// items; the reader accepts values nested at most 2048 levels below the top.
constexpr size_t kJsonObjectMaxCapacity = 960;
constexpr size_t kJsonArrayMaxCapacity = 122880;
constexpr size_t kJsonFirstCapacity = 15;
constexpr int kJsonMaxNesting = 2048;

// --- Allocator pair ---------------------------------------------------------
// Every allocation of the component goes through these two (malloc and free
// at start). Replace them, if at all, before any value exists.
typedef void *(*json_allocate_function)(size_t size);
typedef void (*json_release_function)(void *pointer);
void json_set_allocators(json_allocate_function allocate, json_release_function release);

// --- Parsing ----------------------------------------------------------------
json_value *json_parse_string(const char *text);
json_value *json_parse_file(const char *path);
json_value *json_parse_string_commented(const char *text);
json_value *json_parse_file_commented(const char *path);
// The whole file as a new NUL-terminated string (release it through the
// allocator pair, e.g. with json_free_serialized), or NULL.
char *json_read_file(const char *path);
// Blanks comments from `start` to `end` (inclusive) with spaces, in place.
void json_strip_comments(char *text, const char *start, const char *end);
// Parses one value at the cursor, which then stands right after it.
json_value *json_parse_value(const char **cursor, int depth);
// Parses a quoted string at the cursor into a new string, or NULL.
char *json_parse_quoted_string(const char **cursor);
// Four hexadecimal digits as a 16-bit code, or -1.
int json_parse_hex4(const char *text);

// Releases a value and everything it owns (any depth). It does not detach the
// value from a parent: release only roots and values never stored.
void json_value_free(json_value *value);

// --- Constructors -----------------------------------------------------------
json_value *json_value_new_object(void);
json_value *json_value_new_array(void);
json_value *json_value_new_string(const char *text);  // NULL unless valid UTF-8
json_value *json_value_new_number(double number);
json_value *json_value_new_boolean(int boolean);
json_value *json_value_new_null(void);

// --- Value accessors --------------------------------------------------------
int json_value_get_type(const json_value *value);
json_object *json_value_get_object(const json_value *value);
json_array *json_value_get_array(const json_value *value);
const char *json_value_get_string(const json_value *value);
double json_value_get_number(const json_value *value);
int json_value_get_boolean(const json_value *value);
json_value *json_value_get_parent(const json_value *value);

int json_type_of(const json_value *value);
json_object *json_object_of(const json_value *value);
json_array *json_array_of(const json_value *value);
const char *json_string_of(const json_value *value);
double json_number_of(const json_value *value);
int json_boolean_of(const json_value *value);

// --- Object accessors -------------------------------------------------------
json_value *json_object_get_value(const json_object *object, const char *name);
const char *json_object_get_string(const json_object *object, const char *name);
double json_object_get_number(const json_object *object, const char *name);
json_object *json_object_get_object(const json_object *object, const char *name);
json_array *json_object_get_array(const json_object *object, const char *name);
int json_object_get_boolean(const json_object *object, const char *name);
int json_object_has_name(const json_object *object, const char *name);
int json_object_has_name_of_type(const json_object *object, const char *name, int type);

// The same by dotted path ("a.b.c").
json_value *json_object_get_value_by_path(const json_object *object, const char *path);
const char *json_object_get_string_by_path(const json_object *object, const char *path);
double json_object_get_number_by_path(const json_object *object, const char *path);
json_object *json_object_get_object_by_path(const json_object *object, const char *path);
json_array *json_object_get_array_by_path(const json_object *object, const char *path);
int json_object_get_boolean_by_path(const json_object *object, const char *path);
int json_object_has_path(const json_object *object, const char *path);
int json_object_has_path_of_type(const json_object *object, const char *path, int type);

size_t json_object_get_count(const json_object *object);
const char *json_object_get_name(const json_object *object, size_t index);
json_value *json_object_get_value_at(const json_object *object, size_t index);
json_value *json_object_get_owner(const json_object *object);

// --- Array accessors --------------------------------------------------------
size_t json_array_get_count(const json_array *array);
json_value *json_array_get_value(const json_array *array, size_t index);
const char *json_array_get_string(const json_array *array, size_t index);
double json_array_get_number(const json_array *array, size_t index);
json_object *json_array_get_object(const json_array *array, size_t index);
json_array *json_array_get_array(const json_array *array, size_t index);
int json_array_get_boolean(const json_array *array, size_t index);
json_value *json_array_get_owner(const json_array *array);

// Adds a member (a copy of the name; the value passes to the object). -1 for
// NULL arguments, a name already present, a full object or no memory.
int json_object_add(json_object *object, const char *name, json_value *value);

// --- Serialisation ----------------------------------------------------------
// A tree holding NaN or an infinity, a NULL value, a string value without
// text or nesting deeper than the reader accepts cannot be serialised.
size_t json_serialized_size(const json_value *value);
int json_serialize_to_buffer(const json_value *value, char *buffer, size_t size);
char *json_serialize_to_string(const json_value *value);
int json_serialize_to_file(const json_value *value, const char *path);
size_t json_serialized_size_indented(const json_value *value);
int json_serialize_to_buffer_indented(const json_value *value, char *buffer, size_t size);
char *json_serialize_to_string_indented(const json_value *value);
int json_serialize_to_file_indented(const json_value *value, const char *path);
void json_free_serialized(char *text);

// Bytes of the text of `value` (no NUL counted), or -1. Writes when `out` is
// given, only measures otherwise; `scratch` holds a number's text while
// measuring and must have kJsonNumberScratchSize bytes.
constexpr size_t kJsonNumberScratchSize = 400;
long json_serialize_value(const json_value *value, char *out, int level, bool indented,
                          char *scratch);
long json_serialize_quoted_string(const char *text, char *out);

// --- Object editing ---------------------------------------------------------
// Storing refuses a value that already has a parent and a value that would
// become its own descendant.
int json_object_set_value(json_object *object, const char *name, json_value *value);
int json_object_set_string(json_object *object, const char *name, const char *text);
int json_object_set_number(json_object *object, const char *name, double number);
int json_object_set_boolean(json_object *object, const char *name, int boolean);
int json_object_set_null(json_object *object, const char *name);
int json_object_set_value_by_path(json_object *object, const char *path, json_value *value);
int json_object_set_string_by_path(json_object *object, const char *path, const char *text);
int json_object_set_number_by_path(json_object *object, const char *path, double number);
int json_object_set_boolean_by_path(json_object *object, const char *path, int boolean);
int json_object_set_null_by_path(json_object *object, const char *path);
int json_object_remove(json_object *object, const char *name);
int json_object_remove_by_path(json_object *object, const char *path);
int json_object_clear(json_object *object);

// --- Array editing ----------------------------------------------------------
int json_array_append_value(json_array *array, json_value *value);
int json_array_append_string(json_array *array, const char *text);
int json_array_append_number(json_array *array, double number);
int json_array_append_boolean(json_array *array, int boolean);
int json_array_append_null(json_array *array);
int json_array_replace_value(json_array *array, size_t index, json_value *value);
int json_array_replace_string(json_array *array, size_t index, const char *text);
int json_array_replace_number(json_array *array, size_t index, double number);
int json_array_replace_boolean(json_array *array, size_t index, int boolean);
int json_array_replace_null(json_array *array, size_t index);
int json_array_remove(json_array *array, size_t index);
int json_array_clear(json_array *array);

// --- Whole values -----------------------------------------------------------
json_value *json_value_copy(const json_value *value);
int json_value_equal(const json_value *a, const json_value *b);
// 0 when `value` matches `schema`, -1 otherwise.
int json_value_matches_schema(const json_value *schema, const json_value *value);

// What the JSON reader and the JSON writer share inside the component.
#pragma once

#include <cstddef>

#include "textengine/settings/json.h"

void *json_allocate(size_t size);
void json_release(void *pointer);

// Makes room for one more member or item by the growth rule (twice the
// capacity, at least 15, never past the limit). False when the limit or the
// memory says no; the container is then unchanged.
bool json_object_reserve_one(json_object *object);
bool json_array_reserve_one(json_array *array);

// Index of the member whose name has these `length` bytes, or -1.
long json_object_find(const json_object *object, const char *name, size_t length);

// Follows a dotted path to the object holding its last segment, which is
// returned through `last` and `last_length`; NULL when a segment before the
// last is absent or not an object.
const json_object *json_object_walk_path(const json_object *object, const char *path,
                                         const char **last, size_t *last_length);

// Releases the name and the value of the member at `index` and fills the
// hole with the last member.
void json_object_drop_member(json_object *object, size_t index);

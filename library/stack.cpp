#include "library/stack.h"
#include "library/diagnostics.h"

#include <cstdlib>

stack *stack_new(int start_size) {
    size_t capacity = start_size > 0 ? (size_t)start_size : kStackDefaultCapacity;
    stack *s = static_cast<stack *>(malloc(sizeof(stack)));
    if (!s)
        return nullptr;
    s->element = static_cast<void **>(malloc(capacity * sizeof(void *)));
    if (!s->element) {
        free(s);
        return nullptr;
    }
    s->size = 0;
    s->capacity = capacity;
    return s;
}

void stack_free(stack *s) {
    if (!s)
        return;
    free(s->element);
    free(s);
}

void stack_push(stack *s, void *element) {
    if (!s)
        return;
    if (s->size == s->capacity) {
        size_t capacity = s->capacity ? s->capacity * 2 : kStackDefaultCapacity;
        void **slots = static_cast<void **>(realloc(s->element, capacity * sizeof(void *)));
        if (!slots) {
            // Dropping the element silently would corrupt every caller's
            // bookkeeping; running out of memory here is fatal, as for strings.
            tzr_fatal("Error reallocating memory for stack. Current size %lu.\n",
                      (unsigned long)s->capacity);
        }
        s->element = slots;
        s->capacity = capacity;
    }
    s->element[s->size++] = element;
}

void *stack_pop(stack *s) {
    if (!s || s->size == 0)
        return nullptr;
    return s->element[--s->size];
}

void *stack_peek(stack *s) {
    if (!s || s->size == 0)
        return nullptr;
    return s->element[s->size - 1];
}

void *stack_peek_index(stack *s, size_t index) {
    if (!s || index >= s->size)
        return nullptr;
    return s->element[index];
}

void stack_sort(stack *s, int (*compare)(const void *, const void *)) {
    if (!s || !compare || s->size < 2)
        return;
    qsort(s->element, s->size, sizeof(void *), compare);
}

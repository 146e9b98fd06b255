// A growable array of untyped pointers, used as a stack and as a list.
// Callers read the fields directly and empty it by setting `size` to 0.
#pragma once

#include <cstddef>

struct stack {
    size_t size;      // elements held
    size_t capacity;  // slots allocated
    void **element;   // element[0] is the bottom, element[size - 1] the top
};

constexpr size_t kStackDefaultCapacity = 64;

stack *stack_new(int start_size);
void stack_free(stack *s);  // the elements are not freed
void stack_push(stack *s, void *element);
void *stack_pop(stack *s);
void *stack_peek(stack *s);
void *stack_peek_index(stack *s, size_t index);
void stack_sort(stack *s, int (*compare)(const void *, const void *));

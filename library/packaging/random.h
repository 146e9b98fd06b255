// Knuth's subtractive lagged-Fibonacci generator (lags 100 and 37, modulus
// 2^30). The HTML writer draws from it to obfuscate e-mail addresses.
//
// Every thread has a generator of its own, seeded with 314159 on its first
// draw, so every thread of every process draws the same sequence, and an
// export's output never depends on exports running on other threads. The
// functions below act on the calling thread's generator.
#pragma once

#include <cstddef>

// The seed a thread's generator starts from.
inline constexpr long RANDOM_DEFAULT_SEED = 314159;

long random_next(void);
long random_cycle(void);
void random_seed(long seed);
void random_fill_array(long *array, int n);  // n >= 100

// Knuth's subtractive lagged-Fibonacci generator (lags 100 and 37, modulus
// 2^30). The HTML writer draws from it to obfuscate e-mail addresses; it is
// seeded with 314159 on first use, so every process draws the same sequence.
#pragma once

#include <cstddef>

long random_next(void);
long random_cycle(void);
void random_seed(long seed);
void random_fill_array(long *array, int n);  // n >= 100

#include "library/packaging/random.h"

#include <memory>

namespace {

constexpr int KK = 100;                // the long lag
constexpr int LL = 37;                 // the short lag
constexpr long MM = 1L << 30;          // the modulus
constexpr int QUALITY = 1009;          // values made per refill
constexpr int TT = 70;                 // guaranteed separation between streams

constexpr long mod_diff(long x, long y) { return (x - y) & (MM - 1); }

// One generator: its state, the buffer it hands values out of, and where
// the next value is read. The read pointer rests on one of the two
// sentinels while no value is buffered.
struct Generator {
    long state[KK] = {};
    long buffer[QUALITY] = {};
    long not_started = -1;
    long started = -1;
    long *read_pointer = &not_started;
};

// Each thread draws from a generator of its own, made on its first draw:
// exports on different threads neither race for one state nor take each
// other's values, so what an export writes does not depend on what other
// threads are doing.
Generator &generator() {
    thread_local std::unique_ptr<Generator> own = std::make_unique<Generator>();
    return *own;
}

long cycle(Generator &g) {
    if (g.read_pointer == &g.not_started)
        random_seed(RANDOM_DEFAULT_SEED);
    random_fill_array(g.buffer, QUALITY);
    g.buffer[KK] = -1;
    g.read_pointer = g.buffer + 1;
    return g.buffer[0];
}

}  // namespace

void random_fill_array(long *a, int n) {
    if (!a || n < KK)
        return;
    long *state = generator().state;
    int i, j;
    for (j = 0; j < KK; j++)
        a[j] = state[j];
    for (; j < n; j++)
        a[j] = mod_diff(a[j - KK], a[j - LL]);
    for (i = 0; i < LL; i++, j++)
        state[i] = mod_diff(a[j - KK], a[j - LL]);
    for (; i < KK; i++, j++)
        state[i] = mod_diff(a[j - KK], state[i - LL]);
}

void random_seed(long seed) {
    Generator &g = generator();
    long x[KK + KK - 1];
    long ss = (seed + 2) & (MM - 2);
    for (int j = 0; j < KK; j++) {
        x[j] = ss;
        ss <<= 1;
        if (ss >= MM)
            ss -= MM - 2;
    }
    x[1]++;
    ss = seed & (MM - 1);
    int t = TT - 1;
    while (t) {
        for (int j = KK - 1; j > 0; j--) {
            x[j + j] = x[j];
            x[j + j - 1] = 0;
        }
        for (int j = KK + KK - 2; j >= KK; j--) {
            x[j - (KK - LL)] = mod_diff(x[j - (KK - LL)], x[j]);
            x[j - KK] = mod_diff(x[j - KK], x[j]);
        }
        if (ss & 1) {
            for (int j = KK; j > 0; j--)
                x[j] = x[j - 1];
            x[0] = x[KK];
            x[LL] = mod_diff(x[LL], x[KK]);
        }
        if (ss)
            ss >>= 1;
        else
            t--;
    }
    for (int j = 0; j < LL; j++)
        g.state[j + KK - LL] = x[j];
    for (int j = LL; j < KK; j++)
        g.state[j - LL] = x[j];
    for (int j = 0; j < 10; j++)
        random_fill_array(x, KK + KK - 1);
    g.read_pointer = &g.started;
}

long random_cycle(void) { return cycle(generator()); }

long random_next(void) {
    Generator &g = generator();
    if (*g.read_pointer >= 0)
        return *g.read_pointer++;
    return cycle(g);
}

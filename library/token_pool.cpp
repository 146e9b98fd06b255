#include "library/token_pool.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include "library/token.h"

#ifdef TOKEN_POOL_MALLOC

token *token_pool_take() { return static_cast<token *>(malloc(sizeof(token))); }

void token_pool_give_back(token *t) { free(t); }

void TokenReleaser::add(token *t) { free(t); }

bool token_pool_in_scratch(const token *) { return false; }

TokenScratch::TokenScratch() {}

TokenScratch::~TokenScratch() {}

void TokenReleaser::flush() {}

#else

namespace {

// A slab is aligned on its own size, so a token finds its slab by masking
// its address. Its header counts the tokens still alive in it.
constexpr size_t kSlabBytes = 256 * 1024;

struct Slab {
    // Tokens alive, plus kCarving while a thread still carves from the slab
    // (the carver settles its count when it moves on; until then frees on
    // other threads cannot bring the count to zero).
    std::atomic<uint32_t> live;
    // Carved inside a scratch: released with it, never counted.
    bool scratch;
};

constexpr uint32_t kCarving = 1u << 30;
constexpr size_t kFirstToken = (sizeof(Slab) + alignof(token) - 1) / alignof(token) * alignof(token);
constexpr size_t kTokensPerSlab = (kSlabBytes - kFirstToken) / sizeof(token);
static_assert(kTokensPerSlab < kCarving, "a slab's count must stay below the carving mark");

Slab *slab_of(const token *t) {
    return reinterpret_cast<Slab *>(reinterpret_cast<uintptr_t>(t) & ~(uintptr_t)(kSlabBytes - 1));
}

// Empty slabs kept for the next parse (an editor parses again on every
// keystroke); the rest go back to the system. Never destroyed: threads may
// still give slabs back while the program exits.
constexpr size_t kSpareLimit = 16;

struct Spares {
    std::mutex lock;
    std::vector<Slab *> slabs;
};

Spares &spares() {
    static Spares *all = new Spares;
    return *all;
}

Slab *fresh_slab() {
    Spares &s = spares();
    {
        std::lock_guard<std::mutex> hold(s.lock);
        if (!s.slabs.empty()) {
            Slab *slab = s.slabs.back();
            s.slabs.pop_back();
            return slab;
        }
    }
    void *memory = std::aligned_alloc(kSlabBytes, kSlabBytes);
    return memory ? new (memory) Slab{} : nullptr;
}

void retire(Slab *slab) {
    Spares &s = spares();
    {
        std::lock_guard<std::mutex> hold(s.lock);
        if (s.slabs.size() < kSpareLimit) {
            s.slabs.push_back(slab);
            return;
        }
    }
    slab->~Slab();
    std::free(slab);
}

void give_back(Slab *slab, uint32_t count) {
    if (slab->scratch)
        return;
    if (slab->live.fetch_sub(count, std::memory_order_acq_rel) == count)
        retire(slab);
}

token *first_token(Slab *slab) {
    return reinterpret_cast<token *>(reinterpret_cast<char *>(slab) + kFirstToken);
}

// Each thread carves tokens from a slab of its own. Where the next token
// lies is kept apart (token_pool_detail::carving), plain enough to be read
// inline by every token_new; the rest is only needed when a slab runs out.
struct Carver {
    Slab *slab = nullptr;
    std::vector<Slab *> *scratch = nullptr;  // the slabs of the scratch in force

    ~Carver() { settle(); }

    void settle() {
        if (!slab)
            return;
        auto used = (uint32_t)(token_pool_detail::carving.next - first_token(slab));
        give_back(slab, kCarving - used);
        slab = nullptr;
        token_pool_detail::carving = {};
    }

    token *take() {
        settle();
        slab = fresh_slab();
        if (!slab)
            return nullptr;
        slab->live.store(kCarving, std::memory_order_relaxed);
        slab->scratch = scratch != nullptr;
        if (scratch)
            scratch->push_back(slab);
        token *first = first_token(slab);
        token_pool_detail::carving = {first + 1, first + kTokensPerSlab};
        return first;
    }
};

thread_local Carver carver;

}  // namespace

thread_local constinit token_pool_detail::Carving token_pool_detail::carving = {};

token *token_pool_detail::take_from_new_slab() { return carver.take(); }

void token_pool_give_back(token *t) {
    if (t)
        give_back(slab_of(t), 1);
}

bool token_pool_in_scratch(const token *t) { return t && slab_of(t)->scratch; }

TokenScratch::TokenScratch() {
    if (carver.scratch)
        return;
    active_ = true;
    saved_slab_ = carver.slab;
    saved_carving_ = token_pool_detail::carving;
    carver.slab = nullptr;
    token_pool_detail::carving = {};
    carver.scratch = new std::vector<Slab *>;
}

TokenScratch::~TokenScratch() {
    if (!active_)
        return;
    for (Slab *slab : *carver.scratch) {
        slab->scratch = false;
        retire(slab);
    }
    delete carver.scratch;
    carver.scratch = nullptr;
    carver.slab = static_cast<Slab *>(saved_slab_);
    token_pool_detail::carving = saved_carving_;
}

void TokenReleaser::add(token *t) {
    Slab *slab = slab_of(t);
    if (slab != slab_) {
        flush();
        slab_ = slab;
    }
    count_++;
}

void TokenReleaser::flush() {
    if (slab_ && count_)
        give_back(static_cast<Slab *>(slab_), (uint32_t)count_);
    slab_ = nullptr;
    count_ = 0;
}

#endif

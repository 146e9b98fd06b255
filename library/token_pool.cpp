#include "library/token_pool.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include "library/token.h"

#ifndef TOKEN_POOL_MALLOC
#include <sys/mman.h>
#endif

#ifdef TOKEN_POOL_MALLOC

// Each token's output record follows it in its block.
token *token_pool_take() {
    return static_cast<token *>(malloc(sizeof(token) + sizeof(token_output_span)));
}

token_output_span *token_output(const token *t) {
    return reinterpret_cast<token_output_span *>(const_cast<token *>(t) + 1);
}

void token_pool_give_back(token *t) { free(t); }

void TokenReleaser::add(token *t) { free(t); }

bool token_pool_in_arena(const token *) { return false; }

TokenScratch::TokenScratch() {}

TokenScratch::~TokenScratch() {}

void TokenReleaser::flush() {}

struct token_arena {};

token_arena *token_arena_new() { return new (std::nothrow) token_arena; }

void token_arena_reset(token_arena *) {}

void token_arena_free(token_arena *a) { delete a; }

TokenArenaScope::TokenArenaScope(token_arena *) {}

TokenArenaScope::~TokenArenaScope() {}

#else

constinit char *token_region::base = nullptr;

namespace {

// A slab is aligned on its own size, so a token finds its slab by masking
// its address. Its header counts the tokens still alive in it.
constexpr size_t kSlabBytes = 256 * 1024;

struct Slab {
    // Tokens alive, plus kCarving while a thread still carves from the slab
    // (the carver settles its count when it moves on; until then frees on
    // other threads cannot bring the count to zero).
    std::atomic<uint32_t> live;
    // The arena (or scratch) the slab belongs to: its tokens are released
    // with it and never counted. NULL for a thread's own slab.
    token_arena *arena;
};

constexpr uint32_t kCarving = 1u << 30;

// Tokens start on a link step, and the header keeps the first step of the
// first slab from ever being a token (a link of 0 stands for none).
//
// The tokens fill the front of the slab and their output records the back,
// record i for token i: a conversion, which writes no record, never touches
// the back's pages.
constexpr size_t kStep = size_t{1} << token_region::kStepShift;
constexpr size_t kFirstToken = (sizeof(Slab) + kStep - 1) / kStep * kStep;
constexpr size_t kTokensPerSlab =
    (kSlabBytes - kFirstToken) / (sizeof(token) + sizeof(token_output_span));
constexpr size_t kFirstRecord = kFirstToken + kTokensPerSlab * sizeof(token);
static_assert(kFirstToken > 0, "step 0 of the region must not be a token");
static_assert(alignof(token) <= kStep, "a token must fit the alignment of its step");
static_assert(kFirstRecord % alignof(token_output_span) == 0, "records must be aligned");
static_assert(kTokensPerSlab < kCarving, "a slab's count must stay below the carving mark");

Slab *slab_of(const token *t) {
    return reinterpret_cast<Slab *>(reinterpret_cast<uintptr_t>(t) & ~(uintptr_t)(kSlabBytes - 1));
}

// Empty slabs kept for the next parse (an editor parses again on every
// keystroke; a megabyte of text makes about 8 MB of tokens); the rest give
// their pages back to the system and keep their place in the region. Never
// destroyed: threads may still give slabs back while the program exits.
constexpr size_t kSpareLimit = 16;

// The largest region a 32-bit link can reach, and the least worth reserving
// when the address space is limited (a reservation is tried at halving sizes
// down to it).
constexpr size_t kRegionMost = size_t{1} << (32 + token_region::kStepShift);
constexpr size_t kRegionLeast = 64 * kSlabBytes;

struct Region {
    std::mutex lock;
    char *begin = nullptr;       // aligned on a slab; token_region::base
    size_t size = 0;             // bytes reserved from `begin`
    size_t opened = 0;           // bytes from `begin` made readable and writable
    std::vector<Slab *> spares;  // empty slabs whose pages are still there
    std::vector<Slab *> cold;    // empty slabs whose pages went back
};

// Reserves the region: address space only, no memory, until slabs are
// opened in it. Tried at halving sizes, since a process may be limited in
// address space; when none can be had, no token can be made and every parse
// fails as it does when memory is exhausted.
Region *reserve_region() {
    auto *r = new (std::nothrow) Region;
    if (!r)
        return nullptr;
    for (size_t size = kRegionMost; size >= kRegionLeast; size /= 2) {
        size_t span = size + kSlabBytes;
        void *mapped =
            mmap(nullptr, span, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
        if (mapped == MAP_FAILED)
            continue;
        auto start = reinterpret_cast<uintptr_t>(mapped);
        uintptr_t aligned = (start + kSlabBytes - 1) & ~(uintptr_t)(kSlabBytes - 1);
        r->begin = reinterpret_cast<char *>(aligned);
        r->size = size;
        token_region::base = r->begin;
        break;
    }
    // Room for every slab up front: a slab given back must find its place
    // in the list without asking for memory.
    try {
        r->spares.reserve(kSpareLimit);
        r->cold.reserve(r->size / kSlabBytes);
    } catch (const std::bad_alloc &) {
        delete r;
        return nullptr;
    }
    return r;
}

// The region, or NULL when even its bookkeeping could not be had.
Region *region() {
    static Region *r = reserve_region();
    return r;
}

// The pages of the slab's tokens, faulted in with one call rather than one
// fault per 4 KiB page as tokens reach them, which took a tenth of a
// conversion's time: the slab will be carved whole. The records' pages come
// only when a writer records. Advice only (older systems ignore it).
void populate(void *slab) {
#ifdef MADV_POPULATE_WRITE
    madvise(slab, kFirstRecord, MADV_POPULATE_WRITE);
#else
    (void)slab;
#endif
}

Slab *fresh_slab() {
    Region *rp = region();
    if (!rp)
        return nullptr;
    Region &r = *rp;
    void *memory = nullptr;
    {
        std::lock_guard<std::mutex> hold(r.lock);
        if (!r.spares.empty()) {
            Slab *slab = r.spares.back();
            r.spares.pop_back();
            return slab;
        }
        if (!r.cold.empty()) {
            memory = r.cold.back();
            r.cold.pop_back();
        } else if (r.begin && r.size - r.opened >= kSlabBytes) {
            char *next = r.begin + r.opened;
            if (mprotect(next, kSlabBytes, PROT_READ | PROT_WRITE) != 0)
                return nullptr;
            r.opened += kSlabBytes;
            memory = next;
        } else {
            return nullptr;  // the region is full
        }
    }
    populate(memory);
    return new (memory) Slab{};
}

// Only slabs of the region come here, so the region is there.
void retire(Slab *slab) {
    Region &r = *region();
    std::lock_guard<std::mutex> hold(r.lock);
    if (r.spares.size() < kSpareLimit) {
        r.spares.push_back(slab);
        return;
    }
    slab->~Slab();
    // The pages go back to the system; touched again they come back zeroed.
    madvise(slab, kSlabBytes, MADV_DONTNEED);
    r.cold.push_back(slab);
}

void give_back(Slab *slab, uint32_t count) {
    if (slab->arena)
        return;
    if (slab->live.fetch_sub(count, std::memory_order_acq_rel) == count)
        retire(slab);
}

token *first_token(Slab *slab) {
    return reinterpret_cast<token *>(reinterpret_cast<char *>(slab) + kFirstToken);
}

}  // namespace

// The slabs of an arena in the order they are carved. The first `used` have
// been carved since the last reset; the rest wait for the next tree.
struct token_arena {
    std::vector<Slab *> slabs;
    size_t used = 0;
    size_t wanted = 0;                        // slabs the last tree took, kept through a reset
    token_pool_detail::Carving carving = {};  // where the next scope goes on
    bool in_scope = false;
    // Tokens of this tree given back one by one while it was carved, the
    // last freed first; carved again before any fresh slab space. Each
    // freed token holds the link to the next in its own bytes.
    token *freed = nullptr;
};

namespace {

// A freed token's link to the next freed one is its own `next`.
void keep_freed(token_arena *a, token *t) {
    t->next = a->freed;
    a->freed = t;
}

token *reuse_freed(token_arena *a) {
    token *t = a->freed;
    a->freed = t->next;
    return t;
}

// Each thread carves tokens from a slab of its own, or from the arena of the
// scope (or scratch) in force. Where the next token lies is kept apart
// (token_pool_detail::carving), plain enough to be read inline by every
// token_new; the rest is only needed when a slab runs out.
struct Carver {
    Slab *slab = nullptr;           // the thread's own slab, outside arenas
    token_arena *region = nullptr;  // the arena in force

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
        if (region)
            return take_in_region();
        settle();
        slab = fresh_slab();
        if (!slab)
            return nullptr;
        slab->live.store(kCarving, std::memory_order_relaxed);
        slab->arena = nullptr;
        return start_carving(slab);
    }

    // The arena's next slab: one it kept, or a fresh one. Its tokens are
    // never counted; they go when the arena is reset.
    token *take_in_region() {
        token_arena *a = region;
        if (a->freed)
            return reuse_freed(a);
        if (a->used == a->slabs.size()) {
            Slab *fresh = fresh_slab();
            if (!fresh)
                return nullptr;
            fresh->arena = a;
            a->slabs.push_back(fresh);
        }
        return start_carving(a->slabs[a->used++]);
    }

    static token *start_carving(Slab *s) {
        token *first = first_token(s);
        token_pool_detail::carving = {first + 1, first + kTokensPerSlab};
        return first;
    }

    // Carving goes to `a` until leave(); what the thread carved before is
    // saved by the caller.
    void enter(token_arena *a, void *&saved_slab, token_pool_detail::Carving &saved_carving) {
        saved_slab = slab;
        saved_carving = token_pool_detail::carving;
        slab = nullptr;
        region = a;
        a->in_scope = true;
        token_pool_detail::carving = a->carving;
    }

    void leave(void *saved_slab, const token_pool_detail::Carving &saved_carving) {
        region->carving = token_pool_detail::carving;
        region->in_scope = false;
        region = nullptr;
        slab = static_cast<Slab *>(saved_slab);
        token_pool_detail::carving = saved_carving;
    }
};

thread_local Carver carver;

// Gives back the arena's slabs beyond its first `keep`.
void trim(token_arena *a, size_t keep) {
    while (a->slabs.size() > keep) {
        Slab *slab = a->slabs.back();
        a->slabs.pop_back();
        slab->arena = nullptr;
        retire(slab);
    }
}

}  // namespace

thread_local constinit token_pool_detail::Carving token_pool_detail::carving = {};

token *token_pool_detail::take_from_new_slab() { return carver.take(); }

token_output_span *token_output(const token *t) {
    Slab *slab = slab_of(t);
    size_t index = (size_t)(t - first_token(slab));
    return reinterpret_cast<token_output_span *>(reinterpret_cast<char *>(slab) + kFirstRecord) +
           index;
}

void token_pool_give_back(token *t) {
    if (!t)
        return;
    Slab *slab = slab_of(t);
    // A token of the arena this thread carves from joins the arena's freed
    // tokens; one of another arena is left to that arena's reset.
    if (slab->arena) {
        if (slab->arena == carver.region)
            keep_freed(slab->arena, t);
        return;
    }
    give_back(slab, 1);
}

bool token_pool_in_arena(const token *t) { return t && slab_of(t)->arena; }

token_arena *token_arena_new() { return new (std::nothrow) token_arena; }

void token_arena_reset(token_arena *a) {
    if (!a || a->in_scope)
        return;
    // A reset right after another keeps what the tree before them took.
    if (a->used)
        a->wanted = a->used;
    trim(a, a->wanted);
    a->used = 0;
    a->carving = {};
    a->freed = nullptr;  // those tokens are forgotten with the rest
}

void token_arena_free(token_arena *a) {
    if (!a)
        return;
    trim(a, 0);
    delete a;
}

TokenArenaScope::TokenArenaScope(token_arena *a) {
    if (!a || carver.region)
        return;
    arena_ = a;
    carver.enter(a, saved_slab_, saved_carving_);
}

TokenArenaScope::~TokenArenaScope() {
    if (arena_)
        carver.leave(saved_slab_, saved_carving_);
}

// A scratch is an arena of its own, freed with it.
TokenScratch::TokenScratch() {
    if (carver.region)
        return;
    token_arena *a = token_arena_new();
    if (!a)
        return;
    active_ = true;
    carver.enter(a, saved_slab_, saved_carving_);
}

TokenScratch::~TokenScratch() {
    if (!active_)
        return;
    token_arena *a = carver.region;
    carver.leave(saved_slab_, saved_carving_);
    token_arena_free(a);
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

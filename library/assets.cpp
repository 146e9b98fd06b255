#include "library/assets.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <unordered_set>

#include <unistd.h>

namespace {

constexpr size_t kUuidBytes = 16;
constexpr size_t kUuidLength = 36;

// A generator per thread, seeded once from the kernel's random source and
// then stepped by SplitMix64. Drawing every name from the system source
// itself cost 20 microseconds a word on machines whose hardware random
// instruction is slow (std::random_device uses it), a third of converting a
// README with badges. The step is a bijection of a counter, so a thread
// never draws one value twice; two threads' seeds coinciding is as unlikely
// as two draws of the system source doing so.
struct Generator {
    uint64_t state = 0;
    bool seeded = false;

    uint64_t next() {
        if (!seeded)
            seed();
        uint64_t z = (state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // Should the kernel's source fail, a clock, a counter and an address are
    // mixed instead: not secret, but still distinct between threads.
    void seed() {
        seeded = true;
        if (getentropy(&state, sizeof state) == 0)
            return;
        static std::atomic<uint64_t> counter{0};
        uint64_t now = (uint64_t)std::chrono::steady_clock::now().time_since_epoch().count();
        state = jenkins_mix(now, counter.fetch_add(1), (uint64_t)(uintptr_t)this);
    }
};

void random_bytes(unsigned char *bytes, size_t count) {
    thread_local Generator generator;
    for (size_t i = 0; i < count; i += 8) {
        uint64_t word = generator.next();
        for (size_t k = 0; k < 8 && i + k < count; k++)
            bytes[i + k] = (unsigned char)(word >> (8 * k));
    }
}

std::mutex c_random_lock;

}  // namespace

char *uuid_new_from_bytes(const unsigned char *b) {
    if (!b)
        return nullptr;
    char *s = static_cast<char *>(malloc(kUuidLength + 1));
    if (!s)
        return nullptr;
    snprintf(s, kUuidLength + 1,
             "%02x%02x%02x%02x-%02x%02x-%02x%02x-%02x%02x-%02x%02x%02x%02x%02x%02x", b[0], b[1],
             b[2], b[3], b[4], b[5], b[6], b[7], b[8], b[9], b[10], b[11], b[12], b[13], b[14],
             b[15]);
    return s;
}

char *uuid_new_random() {
    unsigned char b[kUuidBytes];
    random_bytes(b, kUuidBytes);
    b[6] = (unsigned char)((b[6] & 0x0F) | 0x40);  // version 4
    b[8] = (unsigned char)((b[8] & 0x3F) | 0x80);  // RFC 4122 variant
    return uuid_new_from_bytes(b);
}

uint64_t jenkins_mix(uint64_t a, uint64_t b, uint64_t c) {
    a -= b; a -= c; a ^= (c >> 13);
    b -= c; b -= a; b ^= (a << 8);
    c -= a; c -= b; c ^= (b >> 13);
    a -= b; a -= c; a ^= (c >> 12);
    b -= c; b -= a; b ^= (a << 16);
    c -= a; c -= b; c ^= (b >> 5);
    a -= b; a -= c; a ^= (c >> 3);
    b -= c; b -= a; b ^= (a << 10);
    c -= a; c -= b; c ^= (b >> 15);
    return c;
}

void random_seed_from_clock() {
    uint64_t first = (uint64_t)clock();
    uint64_t now = (uint64_t)time(nullptr);
    uint64_t second = (uint64_t)clock();
    std::lock_guard hold(c_random_lock);
    srand((unsigned)(jenkins_mix(first, now, second) & 0xFFFFFFFFu));
}

int c_library_rand() {
    std::lock_guard hold(c_random_lock);
    return rand();
}

struct tzr_asset_index {
    std::unordered_map<std::string, tzr_asset *> by_url;
    std::unordered_set<std::string> names;
    tzr_asset *last = nullptr;
};

void tzr_asset_free(tzr_asset *asset) {
    if (!asset)
        return;
    free(asset->url);
    free(asset->name);
    free(asset);
}

void tzr_asset_table_free(tzr_asset *head) {
    if (!head)
        return;
    delete head->index;
    while (head) {
        tzr_asset *next = head->next;
        tzr_asset_free(head);
        head = next;
    }
}

tzr_asset *tzr_asset_table_find(const tzr_asset *head, const char *url) {
    if (!head || !head->index || !url)
        return nullptr;
    auto it = head->index->by_url.find(url);
    return it == head->index->by_url.end() ? nullptr : it->second;
}

size_t tzr_asset_table_count(const tzr_asset *head) {
    return head && head->index ? head->index->by_url.size() : 0;
}

tzr_asset *tzr_asset_table_add(tzr_asset **head, const char *url) {
    if (!head || !url)
        return nullptr;
    if (tzr_asset *found = tzr_asset_table_find(*head, url))
        return found;
    tzr_asset_index *index = *head ? (*head)->index : new (std::nothrow) tzr_asset_index();
    if (!index)
        return nullptr;
    tzr_asset *a = static_cast<tzr_asset *>(calloc(1, sizeof(tzr_asset)));
    if (a) {
        a->url = strdup(url);
        // Two assets of one package must never share a file name; a repeat is
        // all but impossible from a real random source, but cheap to rule out.
        do {
            free(a->name);
            a->name = uuid_new_random();
        } while (a->name && index->names.count(a->name));
    }
    if (!a || !a->url || !a->name) {
        tzr_asset_free(a);
        if (!*head)
            delete index;
        return nullptr;
    }
    index->by_url.emplace(a->url, a);
    index->names.emplace(a->name);
    if (*head) {
        index->last->next = a;
    } else {
        a->index = index;
        *head = a;
    }
    index->last = a;
    return a;
}

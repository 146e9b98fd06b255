// Images met during an export, with the unique file names they get inside a
// package, and the UUID strings behind those names and book identifiers.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

// A new version-4 UUID string (36 lower-case characters) drawn from the
// system's random source. The caller frees it. NULL when allocation fails.
//
// Deliberately independent of rand(): the writers reseed rand() for random
// footnote numbers, after which rand()-based names would repeat.
char *uuid_new_random();
// A UUID-formatted string over the 16 given bytes, no bits changed.
char *uuid_new_from_bytes(const unsigned char *bytes);

// Bob Jenkins' 96-bit mix over 64-bit words; returns the final c.
uint64_t jenkins_mix(uint64_t a, uint64_t b, uint64_t c);
// Seeds the C library's rand() from the clock.
void random_seed_from_clock();

struct tzr_asset {
    char *url;   // as written in the document; owned
    char *name;  // UUID file name; owned
};

void tzr_asset_free(tzr_asset *asset);

// Assets keyed by URL, in the order they were first met. No two assets of
// one table share a name.
struct tzr_asset_table {
    std::vector<tzr_asset *> assets;  // owned, in insertion order
    std::unordered_map<std::string, tzr_asset *> by_url;
    std::unordered_set<std::string> names;
};

tzr_asset_table *tzr_asset_table_new();
// Frees the table and its assets; NULL does nothing.
void tzr_asset_table_free(tzr_asset_table *table);
// The asset of that URL, or NULL (also for a NULL table or URL).
tzr_asset *tzr_asset_table_find(const tzr_asset_table *table, const char *url);
// The asset of that URL, made with a fresh name when it is new; NULL for a
// NULL table or URL or when allocation fails.
tzr_asset *tzr_asset_table_add(tzr_asset_table *table, const char *url);

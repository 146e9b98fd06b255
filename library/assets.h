// Images met during an export, with the unique file names they get inside a
// package, and the UUID strings behind those names and book identifiers.
#pragma once

#include <cstdint>
#include <cstddef>

// A new version-4 UUID string (36 lower-case characters) drawn from a
// generator seeded from the system's random source. The caller frees it.
// NULL when allocation fails.
//
// Deliberately independent of rand(): anyone in the process may reseed
// rand(), after which rand()-based names would repeat.
char *uuid_new_random();
// A UUID-formatted string over the 16 given bytes, no bits changed.
char *uuid_new_from_bytes(const unsigned char *bytes);

// Bob Jenkins' 96-bit mix over 64-bit words; returns the final c.
uint64_t jenkins_mix(uint64_t a, uint64_t b, uint64_t c);
// Seeds the C library's rand() from the clock.
void random_seed_from_clock();
// The C library's rand(). rand() and srand() keep one process-wide state that
// the C standard does not guard; the library's own uses (this and
// random_seed_from_clock) take one lock, so two exports on two threads never
// use it at once.
int c_library_rand();

struct tzr_asset_index;

// An image met by an export. The asset table is a pointer to its first asset
// (NULL while empty), as the engine holds it; `next` runs through the table
// in the order the URLs were first met, and the first asset also carries the
// table's index by URL and name.
struct tzr_asset {
    char *url;   // as written in the document; owned
    char *name;  // UUID file name, unique within the table; owned
    // Named by the "css" metadata as the document's style sheet (also when
    // an image names it too): a package may hold it as a style sheet.
    bool style_sheet;
    tzr_asset *next;
    tzr_asset_index *index;  // set on the first asset only
};

// Frees one asset's strings and record (not the table it is in).
void tzr_asset_free(tzr_asset *asset);

// Frees every asset of the table that starts at `head`; NULL does nothing.
void tzr_asset_table_free(tzr_asset *head);
// The asset of that URL, or NULL (also for an empty table or a NULL URL).
tzr_asset *tzr_asset_table_find(const tzr_asset *head, const char *url);
// The asset of that URL, made with a fresh name and appended when it is new;
// NULL for a NULL table slot or URL or when allocation fails.
tzr_asset *tzr_asset_table_add(tzr_asset **head, const char *url);
// Number of assets in the table.
size_t tzr_asset_table_count(const tzr_asset *head);

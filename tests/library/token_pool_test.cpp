// Tokens share slabs between trees and threads: a tree may be freed on
// another thread than the one that made it, while that thread goes on
// carving from the same slab. A slab reused too early would show as a
// token whose fields changed under a tree still held.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "library/d_string.h"
#include "library/token.h"
#include "library/token_pool.h"
#include "library/tzr.h"

namespace {

// A tree of `count` tokens: a root whose children are lines of ten tokens,
// each token recording `tag` and its place.
token *make_tree(size_t tag, size_t count) {
    token *root = token_new(DOC_ROOT, tag, 0);
    token *line = nullptr;
    for (size_t i = 0; i < count; i++) {
        if (i % 10 == 0) {
            line = token_new(LINE_PLAIN, tag, i);
            token_append_child(root, line);
        }
        token_append_child(line, token_new(TEXT, tag, i));
    }
    return root;
}

// Whether every token still carries what make_tree wrote.
bool intact(const token *root, size_t tag, size_t count) {
    size_t seen = 0;
    for (const token *line = root->child; line; line = line->next) {
        if (line->start != tag)
            return false;
        for (const token *t = line->child; t; t = t->next, seen++) {
            if (t->type != TEXT || t->start != tag || t->len != seen)
                return false;
        }
    }
    return root->type == DOC_ROOT && root->start == tag && seen == count;
}

TEST(TokenPool, TreesLargerThanASlabStayIntactUntilFreed) {
    std::vector<token *> trees;
    for (size_t tag = 0; tag < 8; tag++)
        trees.push_back(make_tree(tag, 20000 + tag * 777));
    // Freeing every other tree gives slabs back while the rest still live in
    // them; new trees are then carved, possibly from reused slabs.
    for (size_t tag = 0; tag < 8; tag += 2) {
        token_tree_free(trees[tag]);
        trees[tag] = make_tree(100 + tag, 5000);
    }
    for (size_t tag = 0; tag < 8; tag++) {
        size_t expected_tag = tag % 2 == 0 ? 100 + tag : tag;
        size_t expected_count = tag % 2 == 0 ? 5000 : 20000 + tag * 777;
        EXPECT_TRUE(intact(trees[tag], expected_tag, expected_count)) << tag;
        token_tree_free(trees[tag]);
    }
}

TEST(TokenPool, TreesFreedOnOtherThreadsThanTheirMakers) {
    // Each maker hands its trees to the next thread round the ring, which
    // checks and frees them while its own maker keeps carving.
    constexpr int kThreads = 4;
    constexpr int kRounds = 60;
    std::mutex lock;
    std::vector<std::vector<std::pair<token *, size_t>>> inbox(kThreads);
    std::atomic<int> damaged{0};
    std::vector<std::thread> threads;
    for (int id = 0; id < kThreads; id++) {
        threads.emplace_back([&, id] {
            for (int round = 0; round < kRounds; round++) {
                size_t tag = (size_t)id * 1000 + (size_t)round;
                token *tree = make_tree(tag, 3000 + (size_t)round * 37);
                {
                    std::lock_guard<std::mutex> hold(lock);
                    inbox[(id + 1) % kThreads].push_back({tree, tag});
                }
                std::vector<std::pair<token *, size_t>> mine;
                {
                    std::lock_guard<std::mutex> hold(lock);
                    mine.swap(inbox[id]);
                }
                for (auto &[t, t_tag] : mine) {
                    if (!intact(t, t_tag, 3000 + (t_tag % 1000) * 37))
                        damaged++;
                    token_tree_free(t);
                }
            }
        });
    }
    for (std::thread &t : threads)
        t.join();
    // The trees left over outlive the threads that made them.
    for (auto &box : inbox) {
        for (auto &[t, tag] : box) {
            EXPECT_TRUE(intact(t, tag, 3000 + (tag % 1000) * 37));
            token_tree_free(t);
        }
    }
    EXPECT_EQ(damaged.load(), 0);
}

TEST(TokenPool, AScratchLeavesTreesMadeBeforeAndAfterItAlone) {
    token *before = make_tree(1, 30000);
    {
        TokenScratch scratch;
        TokenScratch nested;  // does nothing
        for (size_t round = 0; round < 5; round++) {
            token *inside = make_tree(2 + round, 40000);
            EXPECT_TRUE(intact(inside, 2 + round, 40000));
            token_tree_free(inside);
        }
        EXPECT_TRUE(intact(before, 1, 30000));
    }
    token *after = make_tree(9, 30000);
    EXPECT_TRUE(intact(before, 1, 30000));
    EXPECT_TRUE(intact(after, 9, 30000));
    token_tree_free(before);
    token_tree_free(after);
}

// An arena holds one tree across the scopes that carve it, whatever the
// thread makes between them, until it is reset; then its slabs carry the next
// tree. A scope inside a scratch or another scope leaves carving where it is.
// (Under AddressSanitizer arenas do nothing: trees are freed as usual.)
TEST(TokenArena, KeepsItsTreeAcrossScopesUntilResetThenReusesItsSlabs) {
    token_arena *arena = token_arena_new();
    ASSERT_NE(arena, nullptr);
    token *first = nullptr;
    {
        TokenArenaScope scope(arena);
        first = make_tree(1, 50000);
        token_tree_free(make_tree(2, 20000));
    }
    // Ordinary trees made and freed meanwhile must not take the arena's slabs.
    for (size_t round = 0; round < 4; round++)
        token_tree_free(make_tree(10 + round, 40000));
    token *more = nullptr;
    {
        TokenArenaScope scope(arena);
        TokenArenaScope nested(arena);  // does nothing
        more = make_tree(3, 30000);
    }
    EXPECT_TRUE(intact(first, 1, 50000));
    EXPECT_TRUE(intact(more, 3, 30000));
#ifndef TOKEN_POOL_MALLOC
    token_tree_free(first);  // nothing: the tree goes with the arena
    EXPECT_TRUE(intact(first, 1, 50000));
#endif

    {
        TokenArenaScope scope(arena);
        token_arena_reset(arena);  // ignored while carving
        EXPECT_TRUE(intact(more, 3, 30000));
    }
#ifdef TOKEN_POOL_MALLOC
    token_tree_free(first);
    token_tree_free(more);
#endif
    token_arena_reset(arena);
    token_arena_reset(arena);  // a second reset keeps the slabs too
    {
        TokenArenaScope scope(arena);
        token *again = make_tree(4, 50000);
#ifndef TOKEN_POOL_MALLOC
        EXPECT_EQ(again, first);  // carved from the same slabs
#endif
        EXPECT_TRUE(intact(again, 4, 50000));
        token_tree_free(again);
    }
    token_arena_free(arena);

    // Inside a scratch, the scratch carves; the arena may go first.
    arena = token_arena_new();
    {
        TokenScratch scratch;
        token *inside = nullptr;
        {
            TokenArenaScope scope(arena);
            inside = make_tree(5, 30000);
        }
        token_arena_free(arena);
        EXPECT_TRUE(intact(inside, 5, 30000));
        token_tree_free(inside);
    }
    token_arena_reset(nullptr);
    token_arena_free(nullptr);
    TokenArenaScope none(nullptr);
    token_tree_free(make_tree(6, 100));
}

// Tokens of an arena freed one by one while it carves are carved again, last
// freed first, before fresh slab space; tokens freed outside any scope or
// while another arena carves are not, and a reset forgets those still
// waiting. A token handed out twice would show as
// a tree whose tokens changed under it.
TEST(TokenArena, TokensFreedWhileCarvingAreCarvedAgainAndForgottenOnReset) {
    token_arena *arena = token_arena_new();
    token_arena *other = token_arena_new();
    ASSERT_NE(arena, nullptr);
    ASSERT_NE(other, nullptr);
    for (size_t round = 0; round < 3; round++) {
        token *kept = nullptr;
        token *refilled = nullptr;
        token *stray = nullptr;
        {
            TokenArenaScope scope(arena);
            stray = token_new(TEXT, 0, 1);
            kept = make_tree(round, 30000);
            token *dropped = make_tree(100 + round, 20000);
            token *last = token_new(TEXT, 0, 1);
            token_free(last);
            token_tree_free(dropped);
            token *single = token_new(TEXT, 0, 1);
            token_pool_give_back(single);
            // Enough to use up the slab being carved, the freed tokens and
            // fresh slabs after them.
            refilled = make_tree(200 + round, 60000);
#ifndef TOKEN_POOL_MALLOC
            // The first tokens past the slab in carving are the last freed.
            bool reused_single = refilled == single;
            for (token *line = refilled->child; line && !reused_single; line = line->next) {
                reused_single = line == single;
                for (token *t = line->child; t && !reused_single; t = t->next)
                    reused_single = t == single;
            }
            EXPECT_TRUE(reused_single) << round;
#endif
        }
        EXPECT_TRUE(intact(kept, round, 30000)) << round;
        EXPECT_TRUE(intact(refilled, 200 + round, 60000)) << round;

        // Freed while another arena carves, or outside any scope: left to
        // this arena's reset, never carved into the other arena's tree.
        token *elsewhere = nullptr;
        {
            TokenArenaScope scope(other);
            token_pool_give_back(stray);
            token_tree_free(kept);
            elsewhere = make_tree(300 + round, 40000);
        }
        token_tree_free(refilled);
        EXPECT_TRUE(intact(elsewhere, 300 + round, 40000)) << round;
        token *more = nullptr;
        {
            TokenArenaScope scope(other);
            more = make_tree(400 + round, 40000);
        }

        // Tokens freed and then forgotten by a reset: the next trees are
        // carved from the slabs alone, once each (those tokens lie in the
        // first slabs, which the next trees fill again), and the other
        // arena's trees hold none of them.
        token_arena_reset(arena);
        {
            TokenArenaScope scope(arena);
            for (size_t i = 0; i < 20000; i++)
                token_pool_give_back(token_new(TEXT, i, 1));
        }
        token_arena_reset(arena);
        {
            TokenArenaScope scope(arena);
            token *first = make_tree(600 + round, 30000);
            token *second = make_tree(700 + round, 30000);
            EXPECT_TRUE(intact(first, 600 + round, 30000)) << round;
            EXPECT_TRUE(intact(second, 700 + round, 30000)) << round;
#ifdef TOKEN_POOL_MALLOC
            token_tree_free(first);
            token_tree_free(second);
#endif
        }
        EXPECT_TRUE(intact(elsewhere, 300 + round, 40000)) << round;
        EXPECT_TRUE(intact(more, 400 + round, 40000)) << round;
#ifdef TOKEN_POOL_MALLOC
        token_tree_free(more);
        token_tree_free(elsewhere);
#endif
        token_arena_reset(other);
        token_arena_reset(arena);
    }
    token_arena_free(arena);
    token_arena_free(other);
}

// Trees of different arenas freed and reset on other threads than the
// carvers, while those threads carve on: each arena only ever holds its own.
TEST(TokenArena, ArenasResetOnOtherThreadsKeepOthersIntact) {
    constexpr size_t kArenas = 4;
    std::vector<token_arena *> arenas;
    std::vector<token *> trees;
    for (size_t i = 0; i < kArenas; i++)
        arenas.push_back(token_arena_new());
    for (size_t round = 0; round < 3; round++) {
        trees.assign(kArenas, nullptr);
        std::vector<std::thread> makers;
        for (size_t i = 0; i < kArenas; i++) {
            makers.emplace_back([&, i] {
                TokenArenaScope scope(arenas[i]);
                trees[i] = make_tree(i + round * 10, 20000 + i * 5000);
            });
        }
        for (auto &t : makers)
            t.join();
        std::thread resetter([&] {
            token_tree_free(trees[0]);
            token_arena_reset(arenas[0]);
        });
        resetter.join();
        for (size_t i = 1; i < kArenas; i++) {
            EXPECT_TRUE(intact(trees[i], i + round * 10, 20000 + i * 5000)) << i;
            token_tree_free(trees[i]);
            token_arena_reset(arenas[i]);
        }
    }
    for (token_arena *a : arenas)
        token_arena_free(a);
}

// Pages of this process in memory, or 0 when the system does not say.
size_t resident_pages() {
    FILE *f = fopen("/proc/self/statm", "r");
    if (!f)
        return 0;
    unsigned long size = 0, resident = 0;
    int read = fscanf(f, "%lu %lu", &size, &resident);
    fclose(f);
    return read == 2 ? resident : 0;
}

// Bytes of address space this process holds, or 0 when the system does not say.
size_t address_space_bytes() {
    FILE *f = fopen("/proc/self/statm", "r");
    if (!f)
        return 0;
    unsigned long size = 0;
    int read = fscanf(f, "%lu", &size);
    fclose(f);
    return read == 1 ? size * (size_t)sysconf(_SC_PAGESIZE) : 0;
}

// A tree far larger than the empty slabs the pool keeps: freeing it gives
// most of its memory back to the system, and the next trees are carved
// from the same places again, starting from zeroed pages.
TEST(TokenPool, MemoryOfAFreedLargeTreeGoesBackAndIsCarvedAgain) {
    constexpr size_t kCount = 1500000;
    for (size_t round = 0; round < 3; round++) {
        size_t before = resident_pages();
        token *tree = make_tree(round, kCount);
        size_t grown = resident_pages();
        ASSERT_TRUE(intact(tree, round, kCount)) << round;
        token_tree_free(tree);
        size_t after = resident_pages();
#ifndef TOKEN_POOL_MALLOC
        if (before && grown > before) {
            // All but the few slabs kept for the next parse went back.
            size_t page = (size_t)sysconf(_SC_PAGESIZE);
            EXPECT_LT(after, before + (8u << 20) / page) << round;
            EXPECT_GT(grown - before, (16u << 20) / page) << round;
        }
#endif
        (void)after;
    }
}

#ifndef TOKEN_POOL_MALLOC
// A process allowed little address space cannot reserve the range tokens
// are carved from at its full size; it takes a smaller one, and documents
// still convert as they do elsewhere. Run in a process of its own, since a
// process reserves the range once, with its first token.
TEST(TokenPool, AProcessWithLittleAddressSpaceStillConverts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::string source;
    for (int i = 0; i < 3000; i++)
        source += "Paragraph " + std::to_string(i) + " with *emphasis* and a [link](http://x.org/" + std::to_string(i) +
                  ").\n\n";
    EXPECT_EXIT(
        {
            size_t held = address_space_bytes();
            if (held == 0)
                _exit(2);
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = held + (size_t{1} << 30);
            if (setrlimit(RLIMIT_AS, &limit) != 0)
                _exit(3);
            DString *out = tzr_string_convert_to_data(source.c_str(), 0, 0, 0, nullptr);
            if (!out)
                _exit(4);
            std::string html(out->str);
            d_string_free(out, true);
            bool whole = html.find("<p>Paragraph 0 with <em>emphasis</em>") != std::string::npos &&
                         html.find("<a href=\"http://x.org/2999\">link</a>") != std::string::npos;
            _exit(whole ? 0 : 5);
        },
        testing::ExitedWithCode(0), "");
}
#endif

}  // namespace

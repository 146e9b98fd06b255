#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>
#include <string>
#include <thread>

#include "library/assets.h"

namespace {

std::string take(char *s) {
    std::string r = s ? s : "<null>";
    free(s);
    return r;
}

TEST(Uuid, RandomUuidsAreVersion4AndDistinct) {
    const std::regex form("[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}");
    std::set<std::string> seen;
    for (int i = 0; i < 200; i++) {
        std::string u = take(uuid_new_random());
        EXPECT_TRUE(std::regex_match(u, form)) << u;
        seen.insert(u);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(Uuid, RandomUuidsIgnoreTheCLibraryGenerator) {
    // Random footnote numbers reseed rand(); names made after equal seeds
    // must still differ.
    srand(7);
    std::string a = take(uuid_new_random());
    srand(7);
    std::string b = take(uuid_new_random());
    EXPECT_NE(a, b);
}

TEST(Uuid, RandomUuidsDifferBetweenThreads) {
    // Each thread draws from a generator of its own; two threads must not
    // start from one seed.
    std::string first, second;
    std::thread a([&] { first = take(uuid_new_random()); });
    std::thread b([&] { second = take(uuid_new_random()); });
    a.join();
    b.join();
    EXPECT_NE(first, second);
}

TEST(Uuid, FromBytesChangesNoBits) {
    const unsigned char bytes[16] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                                     0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff};
    EXPECT_EQ(take(uuid_new_from_bytes(bytes)), "00112233-4455-6677-8899-aabbccddeeff");
    EXPECT_EQ(uuid_new_from_bytes(nullptr), nullptr);
}

TEST(AssetTable, OneRecordPerUrlAndDistinctNames) {
    tzr_asset *table = nullptr;
    EXPECT_EQ(tzr_asset_table_find(table, "img/a.png"), nullptr);
    srand(1);
    tzr_asset *first = tzr_asset_table_add(&table, "img/a.png");
    srand(1);
    tzr_asset *second = tzr_asset_table_add(&table, "img/b.png");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(table, first);
    EXPECT_STRNE(first->name, second->name);
    EXPECT_EQ(tzr_asset_table_add(&table, "img/a.png"), first);
    EXPECT_EQ(tzr_asset_table_find(table, "img/b.png"), second);
    EXPECT_EQ(tzr_asset_table_find(table, "img/c.png"), nullptr);
    EXPECT_EQ(tzr_asset_table_add(&table, nullptr), nullptr);
    EXPECT_EQ(tzr_asset_table_add(nullptr, "x"), nullptr);
    EXPECT_EQ(tzr_asset_table_count(table), 2u);
    EXPECT_EQ(first->next, second);  // insertion order
    EXPECT_EQ(second->next, nullptr);
    tzr_asset_table_free(table);
    tzr_asset_table_free(nullptr);
}

TEST(AssetTable, ManyImagesNeverShareAName) {
    tzr_asset *table = nullptr;
    std::set<std::string> names;
    for (int i = 0; i < 500; i++) {
        srand(42);  // as a random-footnote writer would between images
        tzr_asset *a = tzr_asset_table_add(&table, ("img" + std::to_string(i)).c_str());
        ASSERT_NE(a, nullptr);
        names.insert(a->name);
    }
    EXPECT_EQ(names.size(), 500u);
    tzr_asset_table_free(table);
}

}  // namespace

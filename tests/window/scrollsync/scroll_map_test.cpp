// The scroll map: thinning, lookups both ways, and the build from a real
// parse against page geometry made up here.
#include "window/scrollsync/scroll_map.h"

#include "window/widget_test_support.h"

#include "library/tzr.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using namespace scrollsync;
using preview::PageGeometry;

namespace {

std::vector<MapEntry> thinned(std::vector<MapEntry> map) {
    cleanScrollMap(map);
    return map;
}

// A parse of `text` with the editor's rectangles as fractions of the bytes.
struct Parsed {
    explicit Parsed(const char *text) : engine(tzr_engine_create_with_string(text, TZR_EXT_NOTES)) {
        base = baseHeaderLevel(tzr_engine_metavalue_for_key(engine, "baseheaderlevel"),
                               tzr_engine_metavalue_for_key(engine, "htmlheaderlevel"));
        tzr_engine_parse_string(engine);
    }
    ~Parsed() { tzr_engine_free(engine, true); }
    size_t length() const { return tzr_engine_source(engine)->length; }
    std::optional<ScrollMap> build(const PageGeometry &page) const {
        const double total = double(length());
        return buildScrollMap(tzr_engine_root(engine), length(), base, page, [total](size_t start, size_t len) {
            return QRectF(0, start / total, 1, len / total);
        });
    }
    // The editor's rectangle of the first block that begins with `prefix`.
    QRectF rectOf(const char *prefix) const {
        const std::string text(tzr_engine_source(engine)->str);
        for (const token *t = tzr_engine_root(engine)->child; t; t = t->next)
            if (text.compare(t->start, strlen(prefix), prefix) == 0)
                return QRectF(0, t->start / double(length()), 1, t->len / double(length()));
        ADD_FAILURE() << "no block begins with " << prefix;
        return {};
    }

    tzr_engine *engine;
    int base = 0;
};

PageGeometry pageOf(std::vector<PageGeometry::Node> nodes, double height = 1000) {
    PageGeometry page;
    page.documentHeight = height;
    page.viewHeight = 400;
    page.body = QRectF(0, 100, 500, height - 200);
    page.children = std::move(nodes);
    return page;
}

bool hasEntry(const ScrollMap &map, double edit, double web) {
    for (const MapEntry &entry : map.entries)
        if (entry.edit == float(edit) && entry.web == float(web))
            return true;
    return false;
}

}  // namespace

// Every decision of a pass is taken on the map as the pass found it; the
// very end of the text keeps its place against a neighbour on the same web
// fraction.
TEST(ScrollMap, ThinsNeighboursOnOneWebFractionAndEntriesThatGoBack) {
    EXPECT_EQ(thinned({{0.1f, 0.2f}, {0.3f, 0.2f}, {0.4f, 0.5f}}),
              (std::vector<MapEntry>{{0.1f, 0.2f}, {0.4f, 0.5f}}));
    EXPECT_EQ(thinned({{0.5f, 0.9f}, {1.0f, 0.9f}}), (std::vector<MapEntry>{{1.0f, 0.9f}}));
    // Three on one fraction: the second and the third go in the same pass.
    EXPECT_EQ(thinned({{0.1f, 0.2f}, {0.2f, 0.2f}, {0.3f, 0.2f}}), (std::vector<MapEntry>{{0.1f, 0.2f}}));
    // An entry above its successor goes; its successor stays.
    EXPECT_EQ(thinned({{0.1f, 0.1f}, {0.6f, 0.2f}, {0.4f, 0.3f}, {0.7f, 0.4f}}),
              (std::vector<MapEntry>{{0.1f, 0.1f}, {0.4f, 0.3f}, {0.7f, 0.4f}}));
    EXPECT_TRUE(thinned({}).empty());
    EXPECT_EQ(thinned({{0.5f, 0.5f}}).size(), 1u);
}

TEST(ScrollMap, LooksUpBothWays) {
    ScrollMap map;
    map.entries = {{0.2f, 0.1f}, {0.4f, 0.5f}, {0.6f, 0.6f}};
    map.minWeb = 0.05;
    map.maxWeb = 0.95;
    map.minEdit = 0.01;
    map.maxEdit = 0.99;
    // The ends of the page body at 0 and 1.
    EXPECT_DOUBLE_EQ(map.webOffsetFromEditorOffset(0), 0.05);
    EXPECT_DOUBLE_EQ(map.webOffsetFromEditorOffset(-3), 0.05);
    EXPECT_DOUBLE_EQ(map.webOffsetFromEditorOffset(1), 0.95);
    // Before the first entry from (0, 0), clamped to the body.
    EXPECT_DOUBLE_EQ(map.webOffsetFromEditorOffset(0.1), 0.05);
    EXPECT_NEAR(map.webOffsetFromEditorOffset(0.3), 0.3, 1e-6);
    EXPECT_NEAR(map.webOffsetFromEditorOffset(0.5), 0.55, 1e-6);
    // Past the last entry but below 1: itself.
    EXPECT_DOUBLE_EQ(map.webOffsetFromEditorOffset(0.8), 0.8);

    EXPECT_DOUBLE_EQ(map.editorOffsetFromWebOffset(0), 0.01);
    EXPECT_DOUBLE_EQ(map.editorOffsetFromWebOffset(1), 0.99);
    EXPECT_NEAR(map.editorOffsetFromWebOffset(0.05), 0.1, 1e-6);
    EXPECT_NEAR(map.editorOffsetFromWebOffset(0.3), 0.3, 1e-6);
    // Past the last entry: on towards (1, 1).
    EXPECT_NEAR(map.editorOffsetFromWebOffset(0.8), 0.8, 1e-6);

    // An empty map runs from (0, 0) to (1, 1).
    const ScrollMap empty;
    EXPECT_DOUBLE_EQ(empty.editorOffsetFromWebOffset(0.4), 0.4);
    EXPECT_DOUBLE_EQ(empty.webOffsetFromEditorOffset(0.4), 0.4);

    // What is not a finite number moves nothing.
    EXPECT_TRUE(std::isnan(map.webOffsetFromEditorOffset(std::nan(""))));
    ScrollMap broken;
    broken.minWeb = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(std::isnan(broken.webOffsetFromEditorOffset(0)));
}

// Blocks pair with the page's elements of their kind in order; headings move
// by the base level; a table's caption line answers to no paragraph; a page
// without height gives no map.
TEST(ScrollMap, PairsBlocksWithThePagesElementsOfTheirKind) {
    const Parsed parsed("Base Header Level: 2\n\n"
                        "# Title\n\nFirst paragraph.\n\n"
                        "| a | b |\n|---|---|\n| 1 | 2 |\n[Table] [caption]\n\n"
                        "After the table.\n\n* one\n* two\n\n1. first\n\n```\ncode\n```\n");
    EXPECT_EQ(parsed.base, 2);
    window_test::LogCapture log;
    const PageGeometry page = pageOf({{"H2", 110, 40},
                                      {"P", 150, 20},
                                      {"TABLE", 180, 60},
                                      {"P", 250, 20},
                                      {"UL", 280, 40},
                                      {"OL", 330, 20},
                                      {"PRE", 360, 30},
                                      {"DIV", 400, 10}});
    const std::optional<ScrollMap> map = parsed.build(page);
    ASSERT_TRUE(map);
    EXPECT_DOUBLE_EQ(map->minWeb, 0.1);
    EXPECT_DOUBLE_EQ(map->maxWeb, 0.9);
    const QRectF title = parsed.rectOf("# Title");
    EXPECT_TRUE(hasEntry(*map, title.top(), 0.11));
    EXPECT_TRUE(hasEntry(*map, title.bottom(), 0.15));
    EXPECT_TRUE(hasEntry(*map, parsed.rectOf("After").top(), 0.25));
    EXPECT_TRUE(hasEntry(*map, parsed.rectOf("* one").top(), 0.28));
    EXPECT_TRUE(hasEntry(*map, parsed.rectOf("1. first").top(), 0.33));
    EXPECT_TRUE(std::is_sorted(map->entries.begin(), map->entries.end(),
                               [](const MapEntry &a, const MapEntry &b) { return a.web < b.web; }));
    EXPECT_TRUE(log.texts().contains("Other HTML node DIV"));
    EXPECT_FALSE(log.texts().filter("mismatch").size()) << log.texts().join('\n').toStdString();

    EXPECT_FALSE(parsed.build(pageOf({{"H2", 100, 40}}, 0)));
}

TEST(ScrollMap, LogsKindsThatDoNotPairUp) {
    const Parsed parsed("# One\n\n## Two\n\nA.\n\nB.\n\nC.\n");
    window_test::LogCapture log;
    const std::optional<ScrollMap> map = parsed.build(pageOf({{"H1", 100, 40}, {"P", 150, 20}, {"P", 180, 20}}));
    ASSERT_TRUE(map);
    EXPECT_TRUE(log.texts().contains("Paragraph mismatch (3 != 2)"));
    EXPECT_TRUE(log.texts().contains("H2 mismatch (1 != 0)"));
    EXPECT_FALSE(log.texts().contains("H1 mismatch (1 != 1)"));
    // The paragraph that found no element adds nothing.
    EXPECT_FALSE(hasEntry(*map, parsed.rectOf("C.").top(), 0.18));
}

TEST(ScrollMap, CountsUtf16UnitsOfUtf8Offsets) {
    const char text[] = "a\xC3\xA9" "b\xF0\x9F\x98\x80" "c";  // a é b 😀 c
    Utf16Offsets units(text, sizeof(text) - 1);
    EXPECT_EQ(units.unitsAt(1), 1u);
    EXPECT_EQ(units.unitsAt(3), 2u);
    EXPECT_EQ(units.unitsAt(8), 5u);
    EXPECT_EQ(units.unitsAt(4), 3u);  // back again
    EXPECT_EQ(units.unitsAt(100), 6u);
    EXPECT_EQ(baseHeaderLevel("2", "3"), 3);
    EXPECT_EQ(baseHeaderLevel("2", nullptr), 2);
    EXPECT_EQ(baseHeaderLevel(nullptr, nullptr), 0);
}

// A parse that begins inside blocks opened before its range: from each place
// the tree offers for it, the parse gives every byte after it the tokens a
// parse of the whole text gives it, and finds the same places after it.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "library/engine.h"
#include "library/token.h"
#include "library/tzr.h"
#include "parse_helpers.h"

namespace {

struct Place {
    size_t position;
    std::vector<unsigned short> opening;
    bool operator==(const Place &) const = default;
};

void PrintTo(const Place &place, std::ostream *out) {
    *out << place.position << " (";
    for (unsigned short type : place.opening)
        *out << type_name(type) << ' ';
    *out << ')';
}

std::vector<Place> places_of(const tzr_engine *e, const token *root, size_t from, size_t to) {
    std::vector<Place> places;
    tzr_tree_resume_points(
        e, root, from, to,
        [](void *context, size_t position, const unsigned short *opening, size_t levels) {
            static_cast<std::vector<Place> *>(context)->push_back({position, {opening, opening + levels}});
        },
        &places);
    return places;
}

// Whether a list is loose depends on items the range may not hold; the
// two kinds of each list read alike.
unsigned short kind_of(unsigned short type) {
    if (type == BLOCK_LIST_BULLETED_LOOSE)
        return BLOCK_LIST_BULLETED;
    if (type == BLOCK_LIST_ENUMERATED_LOOSE)
        return BLOCK_LIST_ENUMERATED;
    return type;
}

// For each byte from `from` on, the types of the tokens over it, outermost
// first, as a walk down the tree meets them; tokens of no length hold
// nothing.
void cover(const token *t, size_t from, std::vector<std::vector<unsigned short>> &bytes) {
    for (; t; t = t->next) {
        const size_t start = t->start, end = size_t(t->start) + t->len;
        if (t->type != DOC_ROOT)
            for (size_t i = std::max(start, from); i < end && i - from < bytes.size(); i++)
                bytes[i - from].push_back(kind_of(t->type));
        cover(t->child, from, bytes);
    }
}

std::string describe(const std::vector<unsigned short> &types) {
    std::string out;
    for (unsigned short type : types)
        out += type_name(type) + " ";
    return out;
}

// Checks every place the whole parse of `text` offers.
void expect_resumes_as_whole(const std::string &text, uint64_t extensions = 0) {
    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), extensions);
    token *whole = tzr_engine_parse_substring(e, 0, text.size());
    ASSERT_NE(whole, nullptr);
    const std::vector<Place> places = places_of(e, whole, 0, text.size());
    std::vector<std::vector<unsigned short>> expected(text.size());
    cover(whole, 0, expected);
    for (const Place &place : places) {
        SCOPED_TRACE("from " + std::to_string(place.position) + " in:\n" + text);
        token *part = tzr_engine_parse_substring_within(e, place.position, text.size() - place.position,
                                                        place.opening.data(), place.opening.size());
        ASSERT_NE(part, nullptr);
        std::vector<std::vector<unsigned short>> found(text.size() - place.position);
        cover(part, place.position, found);
        for (size_t i = 0; i < found.size(); i++) {
            const size_t at = place.position + i;
            if (found[i] != expected[at]) {
                ADD_FAILURE() << "byte " << at << ": " << describe(found[i]) << "instead of "
                              << describe(expected[at]);
                break;
            }
        }
        // The places after it are the whole parse's.
        std::vector<Place> after;
        for (const Place &p : places)
            if (p.position > place.position)
                after.push_back(p);
        EXPECT_EQ(places_of(e, part, place.position + 1, text.size()), after);
        token_tree_free(part);
    }
    token_tree_free(whole);
    tzr_engine_free(e, true);
}

std::vector<size_t> positions(const std::vector<Place> &places) {
    std::vector<size_t> out;
    for (const Place &p : places)
        out.push_back(p.position);
    return out;
}

}  // namespace

// Where the places are, and what opens the blocks around them.
TEST(ResumedParse, PlacesAreItemsBlocksOfContainersCodeLinesAndBodyRows) {
    const std::string text = "- one\n- two\n  lazy\n- three\n\n> a\n>\n> b\n> - c\n> - d\n\n"
                             "```\ncode\n``\n```\n\n| a | b |\n|---|---|\n| 1 | 2 |\n| 3 | 4 |\n";
    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), 0);
    token *root = tzr_engine_parse_substring(e, 0, text.size());
    const std::vector<Place> places = places_of(e, root, 0, text.size());
    auto at = [&](const char *what) { return text.find(what); };
    const std::vector<Place> expected = {
        {at("- two"), {}},
        {at("- three"), {}},
        // "> b": the blank quote line between is no place.
        {at("> b"), {LINE_BLOCKQUOTE}},
        {at("> - c"), {LINE_BLOCKQUOTE}},
        {at("> - d"), {LINE_BLOCKQUOTE}},
        {at("code"), {LINE_FENCE_START_3}},
        {at("\n``\n") + 1, {LINE_FENCE_START_3}},
        {at("```\n\n"), {LINE_FENCE_START_3}},
        {at("| 1"), {LINE_TABLE_SEPARATOR}},
        {at("| 3"), {LINE_TABLE_SEPARATOR}},
    };
    EXPECT_EQ(places, expected) << testing::PrintToString(positions(places));
    // Within a range only.
    EXPECT_EQ(positions(places_of(e, root, at("> b"), at("code"))),
              (std::vector<size_t>{at("> b"), at("> - c"), at("> - d")}));
    token_tree_free(root);
    tzr_engine_free(e, true);
}

TEST(ResumedParse, ListsGoOnAsInTheWholeText) {
    expect_resumes_as_whole("- one\n- two *em\n  phasis*\n- three\n\n- loose\n- four\n\nAfter.\n");
    expect_resumes_as_whole("1. one\n2. two\n   lazy\nlazier\n3. three\n- bullets\n- again\n");
    expect_resumes_as_whole("- top\n    - nested\n    - nested two\n\n        code in it\n\n    - three\n"
                            "- back\n    1. deep\n        - deeper\n        - deeper two\n    2. deep two\n");
    expect_resumes_as_whole("- a\n\n    para of a\n\n    another\n- b\n\n    > quote in b\n    > more\n- c\n");
    expect_resumes_as_whole("- # heading item\n    text\n- ```\n    in a fence\n    ```\n- last\n");
    expect_resumes_as_whole("- \n    empty first line\n- x\n---\n- after a break\n");
}

TEST(ResumedParse, QuotesGoOnAsInTheWholeText) {
    expect_resumes_as_whole("> one\n> two\n>\n> # head\n> para\nlazy line\n>\n> > nested\n> > more\n>\n> end\n");
    expect_resumes_as_whole("> - item\n> - item two\n>     - deep\n>     - deep two\n>\n> | a | b |\n> |---|---|\n"
                            "> | 1 | 2 |\n> | 3 | 4 |\n>\n> ```\n> code\n> ```\n> after\n");
    expect_resumes_as_whole("> quote\n\n> another quote\n> - x\n>\n>     code\n> Title\n> ===\n");
}

TEST(ResumedParse, FencesAndTablesGoOnAsInTheWholeText) {
    expect_resumes_as_whole("```\n# not a heading\n- not a list\n> not a quote\n```\n\n*after*\n");
    expect_resumes_as_whole("````js\n```\ninside\n```python\n````\nout\n");
    expect_resumes_as_whole("`````\n```\n````\nstill\n`````\ndone\n```\nunclosed\n- to the end\n");
    expect_resumes_as_whole("| a | b |\n|---|---|\n| *1* | 2 |\n| 3 | [x](y) |\n\n| 5 | 6 |\n| 7 | 8 |\n\n\nafter\n");
    expect_resumes_as_whole("|---|---|\n| 1 | 2 |\n|---|---|\n| 3 | 4 |\ntext | more\n");
}

// Random documents of the kinds of lines that open, continue and end these
// blocks.
TEST(ResumedParse, RandomDocumentsGoOnAsInTheWholeText) {
    const char *const lines[] = {
        "- item", "- *em* item", "* star", "1. first", "2) second", "    - nested", "        - deeper",
        "    1. nested ordered", "  lazy", "plain text", "more *text", "text* end", "", "", "> quote",
        "> > deep", ">", "> - quoted item", ">     - quoted nested", "```", "````", "```js", "    code",
        "| a | b |", "|---|---|", "| 1 | 2 |", "# heading", "---", "===", "<div>", "</div>",
        "[^1]: note", ": definition", "Term", "\tindented", "- ", "> ```", "    ```", "    > q",
        "- > quoted in an item", "> 1. ordered in a quote", "\t- tab nested", "    |---|", "~~~", "> > - x",
    };
    std::mt19937 random(1105);
    for (int round = 0; round < 400; round++) {
        std::string text;
        const int count = 4 + int(random() % 20);
        for (int i = 0; i < count; i++) {
            text += lines[random() % std::size(lines)];
            text += round % 3 == 2 ? "\r\n" : "\n";
        }
        expect_resumes_as_whole(text, round % 2 ? uint64_t(TZR_EXT_NOTES) : 0);
        if (HasFailure())
            return;
    }
}

// Opening lines the range does not go on with, of no known kind, or more
// than the grammar nests, still give a tree and no complaint.
TEST(ResumedParse, AnyOpeningLinesGiveATree) {
    const std::string text = "plain\n- item\n";
    tzr_engine *e = tzr_engine_create_with_string(text.c_str(), 0);
    const std::vector<std::vector<unsigned short>> openings = {
        {LINE_PLAIN},
        {LINE_FENCE_3, LINE_BLOCKQUOTE},
        {LINE_LIST_BULLETED},
        {LINE_TABLE_SEPARATOR},
        {LINE_BLOCKQUOTE, LINE_BLOCKQUOTE, LINE_LIST_ENUMERATED},
        {0xFFFF, LINE_BLOCKQUOTE},
        std::vector<unsigned short>(5000, LINE_BLOCKQUOTE),
    };
    for (const auto &opening : openings) {
        for (size_t start : {size_t(0), size_t(6), text.size()}) {
            token *root = tzr_engine_parse_substring_within(e, start, size_t(-1), opening.data(), opening.size());
            ASSERT_NE(root, nullptr);
            token_tree_free(root);
        }
    }
    // Without opening lines, or of no use, the tree is a substring's.
    for (const std::vector<unsigned short> &opening : {std::vector<unsigned short>{}, {LINE_PLAIN}}) {
        token *within = tzr_engine_parse_substring_within(e, 6, size_t(-1), opening.data(), opening.size());
        token *plain = tzr_engine_parse_substring(e, 6, size_t(-1));
        EXPECT_EQ(dump_chain(within), dump_chain(plain));
        token_tree_free(within);
        token_tree_free(plain);
    }
    EXPECT_EQ(tzr_engine_parse_substring_within(nullptr, 0, 1, openings[2].data(), 1), nullptr);
    token *root = tzr_engine_parse_substring_within(e, 0, size_t(-1), nullptr, 3);
    EXPECT_NE(root, nullptr);
    token_tree_free(root);
    tzr_tree_resume_points(nullptr, nullptr, 0, 1, nullptr, nullptr);
    tzr_engine_free(e, true);
}

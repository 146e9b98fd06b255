// Heading ids are unique within a document: the first heading keeps its id,
// later ones with the same text get a numeric suffix, in every output that
// writes ids and in every list that links to them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "library/definitions.h"
#include "library/engine.h"
#include "library/labels.h"
#include "library/queries.h"
#include "library/tzr.h"

namespace {

std::string convert(const std::string &source, uint16_t format) {
    char *out = tzr_string_convert(source.c_str(), TZR_EXT_NOTES | TZR_EXT_SMART, format, 0);
    std::string text = out ? out : "";
    free(out);
    return text;
}

std::vector<std::string> all(const std::string &text, const std::string &pattern) {
    std::vector<std::string> found;
    std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it)
        found.push_back((*it)[1]);
    return found;
}

// "usage-1" is a heading of its own, so the second "Usage" passes over it.
const char *kSource =
    "{{TOC}}\n\n# Intro\n\n## Usage\n\ntext\n\n## Usage\n\n## Usage-1\n\nUsage\n-----\n\n"
    "## Options [usage]\n";
const std::vector<std::string> kIds = {"intro", "usage", "usage-2", "usage-1", "usage-3", "usage-4"};

TEST(HeadingIds, HtmlIdsAreUniqueAndTheContentsLinkToThem) {
    std::string html = convert(kSource, TZR_FORMAT_HTML);
    EXPECT_EQ(all(html, "<h[1-6] id=\"([^\"]*)\""), kIds) << html;
    EXPECT_EQ(all(html, "<a href=\"#([^\"]*)\""), kIds) << html;
}

TEST(HeadingIds, EpubAndTextBundleBodiesShareThem) {
    for (uint16_t format : {TZR_FORMAT_EPUB, TZR_FORMAT_TEXTBUNDLE}) {
        std::string body = convert(kSource, format);
        EXPECT_EQ(all(body, "<h[1-6] id=\"([^\"]*)\""), kIds) << format << body;
    }
}

TEST(HeadingIds, OpenDocumentBookmarksAreUnique) {
    std::string fodt = convert(kSource, TZR_FORMAT_FODT);
    EXPECT_EQ(all(fodt, "<text:bookmark text:name=\"([^\"]*)\""), kIds) << fodt;
}

TEST(HeadingIds, NoLabelsWritesNone) {
    char *out = tzr_string_convert("# A\n\n# A\n", TZR_EXT_NO_LABELS, TZR_FORMAT_HTML, 0);
    EXPECT_EQ(std::string(out).find("id="), std::string::npos);
    free(out);
}

TEST(HeadingIds, SuffixesPassOverLaterOwnIds) {
    // The label "a-1" comes after the second "a", which must not take it.
    tzr_engine *e = tzr_engine_create_with_string("# a\n\n# a\n\n# a-1\n\n# a\n", 0);
    tzr_engine_parse_string(e);
    tzr_heading_ids ids;
    tzr_unique_heading_ids(&ids, e->source->str, e->header_list);
    std::vector<std::string> in_order;
    for (size_t i = 0; i < e->header_list->size; i++)
        in_order.push_back(std::string(ids.of[static_cast<token *>(e->header_list->element[i])]));
    EXPECT_EQ(in_order, (std::vector<std::string>{"a", "a-2", "a-1", "a-3"}));
    tzr_engine_free(e, true);
}

// An export takes the headings' ids from the labels it gave their links:
// they are the ids made afresh, past a heading with a manual label, one
// whose label is empty, repeated ones and a table's caption, which is
// labelled after the headings.
TEST(HeadingIds, LabelsOfTheHeadingsLinksGiveTheSameIds) {
    const char *source = "[r]: /u\n\n# Alpha [man-x]\n\n# Alpha\n\n# !!!\n\n# B *c* `d`\n\n# ?\n\n"
                         "| a |\n|---|\n| b |\n[Cap]\n\n# Alpha\n\nSetext man-x\n---\n";
    tzr_engine *e = tzr_engine_create_with_string(source, 0);
    tzr_engine_parse_string(e);
    tzr_process_definitions(e);
    size_t from = e->link_list->size;
    tzr_process_header_labels(e);
    tzr_process_table_labels(e);
    ASSERT_GT(e->link_list->size, from);
    tzr_heading_ids fresh, reused;
    tzr_unique_heading_ids(&fresh, e->source->str, e->header_list);
    tzr_unique_heading_ids(&reused, e->source->str, e->header_list, e->link_list, from);
    std::vector<std::string> made, taken;
    for (size_t i = 0; i < e->header_list->size; i++) {
        auto *heading = static_cast<token *>(e->header_list->element[i]);
        made.push_back(std::string(fresh.of[heading]));
        taken.push_back(std::string(reused.of[heading]));
    }
    EXPECT_EQ(made, (std::vector<std::string>{"man-x", "alpha", "", "bcd", "-1", "alpha-1", "setextman-x"}));
    EXPECT_EQ(taken, made);
    tzr_engine_free(e, true);
}

// A heading made of a huge line takes its id from the start of its text:
// the id ends at the label limit, one that starts the same gets a suffix,
// and the contents and a link to the heading's text use those ids.
TEST(HeadingIds, AHugeLineGivesABoundedIdStillUnique) {
    std::string words;
    while (words.size() < 1000000)
        words += "Some Words ";
    std::string source = "{{TOC}}\n\n# " + words + "one\n\n# " + words + "two\n\n# Intro\n\n[" + words + "two][]\n";
    std::string html = convert(source, TZR_FORMAT_HTML);
    std::string id;
    while (id.size() < kTzrLabelLimit)
        id += "somewords";
    id.resize(kTzrLabelLimit);
    EXPECT_EQ(all(html, "<h[1-6] id=\"([^\"]*)\""), (std::vector<std::string>{id, id + "-1", "intro"}));
    EXPECT_EQ(all(html, "<a href=\"#([^\"]*)\""), (std::vector<std::string>{id, id + "-1", "intro", id}));
}

// A reference names a heading by its text, blanks collapsed, before its
// label: "[a + b]" goes to the heading "A + B" although the definition
// "[ab]" holds that label. Headings whose text is longer than any bracket,
// but mostly blanks, are still found so.
TEST(HeadingIds, AReferenceFindsAHeadingByItsCleanTextBeforeALabel) {
    const std::string blanks(60, ' ');
    const std::vector<std::string> headings = {"A + B", "A  +      B", "A" + blanks + "+" + blanks + "B",
                                               blanks + "A +\t" + blanks + "B" + blanks};
    for (const std::string &heading : headings) {
        SCOPED_TRACE(heading);
        std::string source = "[ab]: /x\n\n# " + heading + "\n\n[a + b] [ab]\n";
        for (uint64_t ext : {uint64_t{0}, uint64_t{TZR_EXT_NOTES | TZR_EXT_SMART}}) {
            char *out = tzr_string_convert(source.c_str(), ext, TZR_FORMAT_HTML, 0);
            std::string html = out ? out : "";
            free(out);
            EXPECT_EQ(all(html, "<a href=\"([^\"]*)\""), (std::vector<std::string>{"#ab", "/x"})) << html;
        }
    }
}

}  // namespace

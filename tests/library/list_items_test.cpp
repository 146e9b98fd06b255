// List items in every writer: an item that holds blocks (continued on an
// indented line, or opening with a quote or a list) never wraps them in a
// second paragraph, in tight and in loose lists alike.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "library/tzr.h"

namespace {

std::string convert(const std::string &source, uint16_t format) {
    char *out = tzr_string_convert(source.c_str(), TZR_EXT_NOTES | TZR_EXT_SMART, format, 0);
    std::string text = out ? out : "";
    free(out);
    return text;
}

// The deepest run of `open` elements inside each other, counting "<name" and
// "</name>"; an empty element "<name .../>" does not count.
int deepest(const std::string &text, const std::string &name) {
    int depth = 0, deepest = 0;
    for (size_t at = text.find('<'); at != std::string::npos; at = text.find('<', at + 1)) {
        bool closing = text.compare(at + 1, 1, "/") == 0;
        size_t name_at = at + (closing ? 2 : 1);
        if (text.compare(name_at, name.size(), name) != 0)
            continue;
        char after = text[name_at + name.size()];
        if (after != '>' && after != ' ')
            continue;
        if (closing) {
            depth--;
        } else if (text[text.find('>', at) - 1] != '/') {
            deepest = std::max(deepest, ++depth);
        }
    }
    return deepest;
}

const std::vector<std::string> kLists = {
    "- a\n\n- b\n  c\n- d\n",             // loose, an item continued on an indented line
    "- a\n\n- b\nc\n- d\n",               // loose, a lazy continuation
    "- a\n\n- > quoted\n\n- d\n",         // loose, an item opening with a quote
    "- a\n\n- b\n    - nested\n- d\n",    // loose, a paragraph and a nested list
    "1. a\n\n2. b\n   c\n3. d\n",         // ordered
    "- a\n  b\n- > quoted\n- c\n",        // tight
};

TEST(ListItems, HtmlParagraphsNeverNest) {
    for (const std::string &source : kLists) {
        std::string html = convert(source, TZR_FORMAT_HTML);
        EXPECT_LE(deepest(html, "p"), 1) << source << html;
        EXPECT_EQ(html.find("<p><blockquote"), std::string::npos) << html;
        EXPECT_EQ(html.find("<p><ul"), std::string::npos) << html;
    }
    EXPECT_NE(convert(kLists[0], TZR_FORMAT_HTML).find("<li><p>b\nc</p></li>"), std::string::npos);
    EXPECT_NE(convert(kLists[3], TZR_FORMAT_HTML).find("<li><p>b</p>"), std::string::npos);
    // A tight item keeps its text bare.
    EXPECT_NE(convert(kLists[5], TZR_FORMAT_HTML).find("<li>a\nb</li>"), std::string::npos);
}

TEST(ListItems, OpenDocumentParagraphsNeverNest) {
    for (const std::string &source : kLists) {
        std::string fodt = convert(source, TZR_FORMAT_FODT);
        EXPECT_LE(deepest(fodt, "text:p"), 1) << source << fodt;
    }
}

TEST(ListItems, LatexWritesEachItemOnce) {
    std::string tex = convert(kLists[0], TZR_FORMAT_LATEX);
    EXPECT_NE(tex.find("\\item{} b\nc"), std::string::npos) << tex;
}

}  // namespace

// Spaces in OpenDocument preformatted text survive XML's white-space
// collapsing: runs of spaces and leading spaces in code blocks and code spans
// are written as text:s, in the flat and the zipped document alike.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "library/tzr.h"

namespace {

std::string body(const char *source, uint16_t format) {
    char *out = tzr_string_convert(source, TZR_EXT_NOTES, format, 0);
    std::string text = out ? out : "";
    free(out);
    return text;
}

TEST(OdfSpaces, PreformattedRunsBecomeSpaceElements) {
    const char *source =
        "    if (x)\n        return  1;\n\n```\n  two\n    four\n```\n\nSee `a  b` and  this.\n";
    for (uint16_t format : {TZR_FORMAT_FODT, TZR_FORMAT_ODT}) {
        std::string text = body(source, format);
        // Indented code: four spaces of the block's own indentation remain.
        EXPECT_NE(text.find("if (x)<text:line-break/><text:s text:c=\"4\"/>return<text:s text:c=\"2\"/>1;"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find(">"
                            "<text:s text:c=\"2\"/>two<text:line-break/><text:s text:c=\"4\"/>four"),
                  std::string::npos)
            << text;
        EXPECT_NE(text.find("a<text:s text:c=\"2\"/>b</text:span>"), std::string::npos) << text;
        // Running text is not preformatted: no space elements in it.
        EXPECT_NE(text.find("</text:span> and"), std::string::npos) << text;
    }
}

TEST(OdfSpaces, LoneSpaceCountsOnlyAtALineStart) {
    std::string text = body("```\n x y\n```\n", TZR_FORMAT_FODT);
    EXPECT_NE(text.find("<text:s/>x y"), std::string::npos) << text;
}

}  // namespace

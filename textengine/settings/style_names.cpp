#include "textengine/settings/style_names.h"

#include <cstdlib>
#include <cstring>

#include "textengine/settings/theme.h"

namespace {

struct StyleName {
    int type;
    const char *name;
};

// Several token types share one style name: both code-block kinds, both list
// kinds with their items, the two setext heading levels beside ATX 1 and 2.
const StyleName kStyleNames[] = {
    {50, "blockquote"},
    {51, "codeBlock"},
    {52, "codeBlock"},
    {55, "definitionAbbreviation"},
    {56, "definitionCitation"},
    {57, "definitionGlossary"},
    {58, "definitionFootnote"},
    {59, "definitionLink"},
    {61, "heading"},
    {62, "heading1"},
    {63, "heading2"},
    {64, "heading3"},
    {65, "heading4"},
    {66, "heading5"},
    {67, "heading6"},
    {69, "html"},
    {70, "bulletList"},
    {71, "bulletList"},
    {72, "orderedList"},
    {73, "orderedList"},
    {74, "listItem"},
    {75, "listItem"},
    {76, "metadata"},
    {78, "heading1"},
    {79, "heading2"},
    {80, "table"},
    {98, "criticAddition"},
    {99, "criticDeletion"},
    {100, "criticComment"},
    {101, "criticSubstitution"},
    {102, "criticSubstitution"},
    {103, "criticHighlight"},
    {104, "pairs"},
    {105, "angles"},
    {106, "codeSpan"},
    {107, "brackets"},
    {108, "abbreviation"},
    {109, "footnote"},
    {110, "glossary"},
    {111, "citation"},
    {112, "image"},
    {113, "variable"},
    {115, "emphasis"},
    {116, "math"},
    {117, "parens"},
    {118, "quoteSingle"},
    {119, "quoteDouble"},
    {122, "subscript"},
    {123, "superscript"},
    {125, "strong"},
    {127, "braces"},
    {128, "markup"},
    {166, "html"},
    {169, "htmlComment"},
};

}  // namespace

char **smart_text_style_names_new(void) {
    char **names = static_cast<char **>(calloc(kThemeStyleCount, sizeof(char *)));
    if (!names)
        return nullptr;
    for (const StyleName &entry : kStyleNames)
        names[entry.type] = strdup(entry.name);
    return names;
}

void smart_text_style_names_free(char **names) {
    if (!names)
        return;
    for (int i = 0; i < kThemeStyleCount; i++)
        free(names[i]);
    free(names);
}

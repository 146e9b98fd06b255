// Feeds arbitrary bytes to the label, clean-string, attribute and URL
// readers; the sanitizers check that none reads outside the text, and the
// checks below hold the label and clean forms to their shapes.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/labels.h"
#include "library/links.h"

namespace {

bool is_label_byte(unsigned char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == ':' || c >= 0x80;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string text(reinterpret_cast<const char *>(data), size);
    const char *s = text.c_str();  // stops at the first NUL, as callers' text does

    char *label = tzr_label_from_text(s);
    for (const char *p = label; p && *p; p++)
        if (!is_label_byte((unsigned char)*p))
            abort();
    free(label);
    free(tzr_label_from_range(text.data(), size));

    char *clean = tzr_clean_string(s, true);
    size_t n = clean ? strlen(clean) : 0;
    if (n && (clean[0] == ' ' || clean[n - 1] == ' ' || strstr(clean, "  ") || strchr(clean, '\t') ||
              strchr(clean, '\n') || strchr(clean, '\r')))
        abort();
    free(clean);

    tzr_attribute_list_free(tzr_parse_attributes(s));
    free(tzr_url_from_range(s, 0, size, nullptr, true));
    (void)tzr_url_is_complete(s);

    // The whole text as the inside of a parenthesis pair.
    size_t len = strlen(s);
    if (len >= 2) {
        token *open = token_new(PAREN_LEFT, 0, 1);
        token_chain_append(open, token_new(TEXT, 1, len - 2));
        token_chain_append(open, token_new(PAREN_RIGHT, len - 1, 1));
        token *paren = token_new_parent(open, PAIR_PAREN);
        char *url = nullptr, *title = nullptr, *attrs = nullptr;
        tzr_inline_link_parts(paren, s, &url, &title, &attrs);
        free(url);
        free(title);
        free(attrs);
        token *cursor = paren->child->next;
        free(tzr_url_from_token(s, &cursor, false));
        token_free(paren);
    }
    return 0;
}

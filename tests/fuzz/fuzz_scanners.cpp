// Feeds random bytes to every pattern scanner at the first positions of the
// text. The text is cut at its first NUL and copied into a buffer of exactly
// that size, so AddressSanitizer reports any read past the terminating NUL.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "library/scanners/scanners.h"

namespace {

using scanner = size_t (*)(const char *);

// Scanners whose patterns end in a line end: they may count the NUL.
const scanner kLineEndScanners[] = {
    scan_fence, scan_fence_start, scan_setext, scan_table_separator,
    scan_meta_line, scan_reference_link_definition,
};

// Scanners that return a length within the text.
const scanner kInlineScanners[] = {
    scan_atx_marker, scan_definition, scan_meta_key,
    scan_abbreviation_definition, scan_citation_definition,
    scan_footnote_definition, scan_glossary_definition,
    scan_link_definition_line, scan_attribute_space, scan_attribute_key,
    scan_attribute_value, scan_attribute, scan_attributes, scan_email,
    scan_url, scan_link_destination, scan_link_title, scan_html,
    scan_html_comment, scan_html_block_start, scan_html_line,
};

void check(bool ok) {
    if (!ok)
        abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    size_t length = strnlen(reinterpret_cast<const char *>(data), size);
    std::unique_ptr<char[]> text(new char[length + 1]);
    memcpy(text.get(), data, length);
    text[length] = '\0';

    // Every position would make long inputs quadratic; the first ones are
    // enough to start inside every kind of construct.
    size_t positions = length < 64 ? length + 1 : 64;
    for (size_t at = 0; at < positions; at++) {
        const char *p = text.get() + at;
        size_t left = length - at;
        for (scanner scan : kLineEndScanners)
            check(scan(p) <= left + 1);
        for (scanner scan : kInlineScanners)
            check(scan(p) <= left);
        switch (scan_table_alignment(p)) {
        case 0: case 1: case 2: case 4: case 8: case 9: case 10: case 12: break;
        default: abort();
        }
        // A comment is the same match for both HTML scanners, and an HTML
        // line begins with something scan_html accepts.
        if (strncmp(p, "<!--", 4) == 0)
            check(scan_html(p) == scan_html_comment(p));
        size_t line = scan_html_line(p);
        if (line > 0)
            check(scan_html(p) > 0 && scan_html(p) < line);
    }
    return 0;
}

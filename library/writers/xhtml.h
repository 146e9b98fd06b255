// Well-formed XHTML from the HTML writer's page, for the EPUB book: the page
// carries the document's raw HTML as it was written ("one<br>two", an
// unclosed "<p>", named entities such as "&nbsp;"), which an XML reader
// refuses. The page is read by libxml2's HTML parser, which repairs tag soup
// as browsers do, and written back as XHTML.
#pragma once

#include <string>

// The page as well-formed XHTML; the page itself when it cannot be parsed.
std::string tzr_xhtml_from_html(const std::string &page);

// Well-formed XHTML from the HTML writer's page, for the EPUB book: the page
// carries the document's raw HTML as it was written ("one<br>two", an
// unclosed "<p>", named entities such as "&nbsp;"), which an XML reader
// refuses. The page is read by libxml2's HTML parser, which repairs tag soup
// as browsers do, and written back as XHTML.
#pragma once

#include <map>
#include <string>

// Addresses the page names that the book does not hold (an asset's
// "assets/NAME" whose picture or style sheet could not be had), each with
// the address it was written with.
using tzr_xhtml_missing = std::map<std::string, std::string>;

// The page as well-formed XHTML; the page itself when it cannot be parsed.
// A book may not show a picture from outside it, nor name a file it does
// not hold: a picture whose address is in `missing`, or is an http(s)
// address of the document's raw HTML, becomes a link to that address with
// the picture's alternative text (inside a link, the text alone); a style
// sheet in `missing` is left out.
std::string tzr_xhtml_from_html(const std::string &page, const tzr_xhtml_missing &missing = {});

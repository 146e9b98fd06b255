#include "library/packaging/pictures.h"

#include <strings.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "library/file_utils.h"
#include "library/packaging/libxml.h"
#include "library/tzr.h"

namespace {

enum Kind : unsigned {
    kPng = 1u << 0,
    kJpeg = 1u << 1,
    kGif = 1u << 2,
    kSvg = 1u << 3,
    kWebp = 1u << 4,
    kBmp = 1u << 5,
    kTiff = 1u << 6,
};

struct KindType {
    Kind kind;
    const char *media_type;
};

constexpr KindType kMediaTypes[] = {
    {kPng, "image/png"},   {kJpeg, "image/jpeg"}, {kGif, "image/gif"},   {kSvg, "image/svg+xml"},
    {kWebp, "image/webp"}, {kBmp, "image/bmp"},   {kTiff, "image/tiff"},
};

unsigned kinds_held(uint16_t format) {
    switch (format) {
    case TZR_FORMAT_EPUB:
        return kPng | kJpeg | kGif | kSvg;
    case TZR_FORMAT_ODT:
        return kPng | kJpeg | kGif | kSvg | kWebp | kBmp | kTiff;
    case TZR_FORMAT_TEXTBUNDLE:
    case TZR_FORMAT_TEXTBUNDLE_COMPRESSED:
        return kPng | kJpeg | kGif | kSvg | kWebp | kBmp;
    default:
        return 0;
    }
}

bool starts_with(const unsigned char *b, size_t length, size_t at, const char *text) {
    size_t n = strlen(text);
    return length >= at + n && !memcmp(b + at, text, n);
}

uint32_t little_endian_32(const unsigned char *b) {
    return (uint32_t)b[0] | (uint32_t)b[1] << 8 | (uint32_t)b[2] << 16 | (uint32_t)b[3] << 24;
}

// The kind of picture a binary format's header shows; 0 for none. Each test
// takes more than a magic number where the format has more to check.
unsigned binary_kind(const unsigned char *b, size_t length) {
    // The signature, then the first chunk, which must be the header.
    if (starts_with(b, length, 0, "\x89PNG\r\n\x1a\n") && starts_with(b, length, 12, "IHDR"))
        return kPng;
    // The start-of-image marker, then the next marker's first byte.
    if (length >= 4 && b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF)
        return kJpeg;
    if (starts_with(b, length, 0, "GIF87a") || starts_with(b, length, 0, "GIF89a"))
        return kGif;
    // A RIFF container of WebP whose first chunk is one of its bitstreams.
    if (starts_with(b, length, 0, "RIFF") && starts_with(b, length, 8, "WEBP") &&
        (starts_with(b, length, 12, "VP8 ") || starts_with(b, length, 12, "VP8L") ||
         starts_with(b, length, 12, "VP8X")))
        return kWebp;
    // "BM", reserved words of 0 and an information header of a known size.
    if (length >= 26 && b[0] == 'B' && b[1] == 'M' && little_endian_32(b + 6) == 0) {
        switch (little_endian_32(b + 14)) {
        case 12:
        case 40:
        case 52:
        case 56:
        case 64:
        case 108:
        case 124:
            return kBmp;
        default:
            break;
        }
    }
    // The byte order, then 42 in that order.
    if (length >= 8 && ((b[0] == 'I' && b[1] == 'I' && b[2] == 42 && b[3] == 0) ||
                        (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && b[3] == 42)))
        return kTiff;
    return 0;
}

// --- SVG ---------------------------------------------------------------------------

constexpr const char *kSvgNamespace = "http://www.w3.org/2000/svg";

const char *text_of(const xmlChar *text) { return reinterpret_cast<const char *>(text); }

bool name_is(const xmlChar *name, const char *wanted) {
    return name && !strcasecmp(text_of(name), wanted);
}

// The text lower-cased, without the blanks and control bytes a browser
// drops from an address ("java\tscript:" is "javascript:").
std::string squeezed(const std::string &text) {
    std::string out;
    for (unsigned char c : text)
        if (c > ' ')
            out += (char)(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return out;
}

bool runs_script(const std::string &value) {
    std::string s = squeezed(value);
    return s.find("javascript:") != std::string::npos || s.find("vbscript:") != std::string::npos;
}

// Whether an address stays inside the picture: a fragment or data.
bool address_inside(const std::string &value) {
    std::string s = squeezed(value);
    return s.empty() || s[0] == '#' || s.rfind("data:", 0) == 0;
}

// Whether a style or an attribute's value loads anything from outside: a
// url(...) that does not stay inside, an @import, or (with `style`) a CSS
// escape, which could spell either. An escaped "url" still needs a real
// parenthesis, so an attribute that is not a style only counts with one.
bool style_reaches_out(const std::string &text, bool style) {
    if (text.find('\\') != std::string::npos && (style || text.find('(') != std::string::npos))
        return true;
    std::string s = squeezed(text);
    if (s.find("@import") != std::string::npos)
        return true;
    for (size_t at = s.find("url("); at != std::string::npos; at = s.find("url(", at + 4)) {
        size_t from = at + 4;
        while (from < s.size() && (s[from] == '"' || s[from] == '\''))
            from++;
        if (!address_inside(s.substr(from)))
            return true;
    }
    return false;
}

// The attributes that name something an element loads.
bool loads_address(const xmlChar *name) {
    for (const char *loading : {"href", "src", "srcset", "data", "poster", "background", "action",
                                "formaction", "codebase"})
        if (name_is(name, loading))
            return true;
    return false;
}

struct SvgCheck {
    const tzr_libxml &xml;
    xmlDocPtr doc;

    std::string value_of(xmlNodePtr children) const {
        xmlChar *value = xml.xmlNodeListGetString(doc, children, 1);
        std::string text = value ? text_of(value) : "";
        (*xml.free_function)(value);
        return text;
    }

    // The namespace of the root element; one written as an entity (as some
    // drawing programs write it: xmlns="&ns_svg;") is that entity's text.
    std::string root_namespace(xmlNodePtr root) const {
        if (!root->ns || !root->ns->href)
            return "";
        std::string href = text_of(root->ns->href);
        if (href.size() > 2 && href.front() == '&' && href.back() == ';' && doc->intSubset) {
            std::string name = href.substr(1, href.size() - 2);
            for (xmlNodePtr n = doc->intSubset->children; n; n = n->next) {
                auto *entity = reinterpret_cast<xmlEntityPtr>(n);
                if (n->type == XML_ENTITY_DECL && entity->name && name == text_of(entity->name) &&
                    entity->etype == XML_INTERNAL_GENERAL_ENTITY && entity->content)
                    return text_of(entity->content);
            }
        }
        return href;
    }

    // Entities may only stand for text: one from outside would be read by
    // whoever shows the picture, and one holding markup could hide an
    // element from the walk below.
    bool entities_hold_text_only() const {
        for (xmlDtdPtr dtd : {doc->intSubset, doc->extSubset}) {
            for (xmlNodePtr n = dtd ? dtd->children : nullptr; n; n = n->next) {
                if (n->type != XML_ENTITY_DECL)
                    continue;
                auto *entity = reinterpret_cast<xmlEntityPtr>(n);
                if (entity->etype != XML_INTERNAL_GENERAL_ENTITY &&
                    entity->etype != XML_INTERNAL_PARAMETER_ENTITY)
                    return false;
                if (entity->content && (strchr(text_of(entity->content), '<') ||
                                        strchr(text_of(entity->content), '&')))
                    return false;
            }
        }
        return true;
    }

    bool element_stands_alone(xmlNodePtr element) const {
        if (name_is(element->name, "script") || name_is(element->name, "handler"))
            return false;
        bool link = name_is(element->name, "a");
        bool animation = name_is(element->name, "set") || name_is(element->name, "animate");
        for (xmlAttrPtr a = element->properties; a; a = a->next) {
            std::string value = value_of(a->children);
            if (a->name && !strncasecmp(text_of(a->name), "on", 2))
                return false;
            if (runs_script(value))
                return false;
            if (!link && loads_address(a->name) && !address_inside(value))
                return false;
            if (animation && name_is(a->name, "attributeName") &&
                (value.find("href") != std::string::npos || value.find("src") != std::string::npos))
                return false;
            if (style_reaches_out(value, name_is(a->name, "style")))
                return false;
        }
        if (name_is(element->name, "style") && style_reaches_out(value_of(element->children), true))
            return false;
        return true;
    }

    // Walks the tree without recursion: the parser bounds its depth, but
    // the walk need not rely on that.
    bool tree_stands_alone(xmlNodePtr root) const {
        std::vector<xmlNodePtr> chains{root};
        while (!chains.empty()) {
            xmlNodePtr node = chains.back();
            chains.pop_back();
            for (; node; node = node->next) {
                if (node->type == XML_PI_NODE && name_is(node->name, "xml-stylesheet"))
                    return false;
                if (node->type != XML_ELEMENT_NODE)
                    continue;
                if (!element_stands_alone(node))
                    return false;
                if (node->children)
                    chains.push_back(node->children);
            }
        }
        return true;
    }

    bool stands_alone() const {
        xmlNodePtr root = xml.xmlDocGetRootElement(doc);
        if (!root || !root->name || strcmp(text_of(root->name), "svg") != 0 ||
            root_namespace(root) != kSvgNamespace || !entities_hold_text_only())
            return false;
        // Instructions before and after the root element.
        for (xmlNodePtr n = doc->children; n; n = n->next)
            if (n->type == XML_PI_NODE && name_is(n->name, "xml-stylesheet"))
                return false;
        return tree_stands_alone(root);
    }
};

// Whether the bytes could begin an XML document: markup after an optional
// byte-order mark and blanks. Spares the parser everything else.
bool looks_like_markup(const unsigned char *b, size_t length) {
    if (length >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF)))
        return true;  // UTF-16: the parser reads it
    size_t i = length >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF ? 3 : 0;
    while (i < length && (b[i] == ' ' || b[i] == '\t' || b[i] == '\n' || b[i] == '\r'))
        i++;
    return i < length && b[i] == '<';
}

}  // namespace

bool tzr_svg_stands_alone(const void *bytes, size_t length) {
    const auto *b = static_cast<const unsigned char *>(bytes);
    if (!b || length == 0 || length > (size_t)INT_MAX || !looks_like_markup(b, length))
        return false;
    const tzr_libxml *xml = tzr_libxml_load();
    if (!xml)
        return false;
    tzr_libxml_quiet quiet(*xml);
    // No network, no entity substitution, no external subset: reading the
    // picture reads nothing else.
    xmlDocPtr doc =
        xml->xmlReadMemory(static_cast<const char *>(bytes), (int)length, "picture.svg", nullptr,
                           XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    if (!doc)
        return false;
    bool alone = SvgCheck{*xml, doc}.stands_alone();
    xml->xmlFreeDoc(doc);
    return alone;
}

const char *tzr_picture_media_type(const void *bytes, size_t length, uint16_t format) {
    const auto *b = static_cast<const unsigned char *>(bytes);
    unsigned held = kinds_held(format);
    if (!b || length == 0 || held == 0)
        return nullptr;
    unsigned kind = binary_kind(b, length);
    if (kind == 0 && (held & kSvg) && tzr_svg_stands_alone(bytes, length))
        kind = kSvg;
    for (const KindType &entry : kMediaTypes)
        if (entry.kind == kind && (held & kind))
            return entry.media_type;
    return nullptr;
}

bool tzr_style_sheet_allowed(const void *bytes, size_t length, const char *address,
                             const char *content_type, bool downloaded) {
    const auto *b = static_cast<const unsigned char *>(bytes);
    if (!b || utf8_first_non_text_byte(b, length) != length)
        return false;
    for (size_t i = 0; i < length; i++)
        if (b[i] < ' ' && b[i] != '\t' && b[i] != '\n' && b[i] != '\f' && b[i] != '\r')
            return false;
    if (downloaded) {
        // "text/css", maybe with parameters ("text/css; charset=utf-8").
        if (!content_type || strncasecmp(content_type, "text/css", 8) != 0)
            return false;
        char next = content_type[8];
        return next == '\0' || next == ';' || next == ' ' || next == '\t';
    }
    size_t n = address ? strlen(address) : 0;
    return n > 4 && !strcasecmp(address + n - 4, ".css");
}

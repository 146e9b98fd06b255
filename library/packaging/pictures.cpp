#include "library/packaging/pictures.h"

#include <strings.h>

#include <climits>
#include <cstring>
#include <string>
#include <unordered_map>
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

// The text of an attribute's value or an element's content, as written:
// entity references are not expanded (a picture whose entities would stand
// for gigabytes is judged at the cost of its own bytes), and `referenced`
// tells the caller that the text it got is not all there is.
std::string written_text(xmlNodePtr children, bool *referenced) {
    std::string text;
    for (xmlNodePtr n = children; n; n = n->next) {
        if ((n->type == XML_TEXT_NODE || n->type == XML_CDATA_SECTION_NODE) && n->content)
            text += text_of(n->content);
        else if (n->type == XML_ENTITY_REF_NODE)
            *referenced = true;
    }
    return text;
}

struct SvgCheck {
    xmlDocPtr doc;

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

    // An entity in an attribute or a style could spell an address or a
    // script, which shows only once it is expanded: such a picture does not
    // count, so that judging never expands one.
    bool element_stands_alone(xmlNodePtr element) const {
        if (name_is(element->name, "script") || name_is(element->name, "handler"))
            return false;
        bool link = name_is(element->name, "a");
        bool animation = name_is(element->name, "set") || name_is(element->name, "animate");
        for (xmlAttrPtr a = element->properties; a; a = a->next) {
            bool referenced = false;
            std::string value = written_text(a->children, &referenced);
            if (referenced)
                return false;
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
        if (name_is(element->name, "style")) {
            bool referenced = false;
            std::string style = written_text(element->children, &referenced);
            if (referenced || style_reaches_out(style, true))
                return false;
        }
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

    bool stands_alone(const tzr_libxml &xml) const {
        xmlNodePtr root = xml.xmlDocGetRootElement(doc);
        if (!root || !root->name || strcmp(text_of(root->name), "svg") != 0 ||
            root_namespace(root) != kSvgNamespace)
            return false;
        // Instructions before and after the root element.
        for (xmlNodePtr n = doc->children; n; n = n->next)
            if (n->type == XML_PI_NODE && name_is(n->name, "xml-stylesheet"))
                return false;
        return tree_stands_alone(root);
    }
};

// Reading a picture that may be SVG. libxml2 gets the bytes with nothing to
// load and no entity to substitute, and its callbacks for the document type
// are watched: the parse stops, and the picture does not count, at the first
// declaration a picture standing alone has no use for, and once the
// entities it refers to would stand for more text than the picture holds.
// So the parser's work stays bounded by the bytes it is given, and so does
// the work of whoever shows the picture.
struct SvgParse {
    const tzr_libxml &xml;
    xmlSAXHandler tree_builder;  // libxml2's own callbacks, which build the tree
    std::unordered_map<std::string, size_t> entity_lengths;
    size_t expansion = 0;
    size_t expansion_limit = 0;
    bool refused = false;

    static SvgParse &of(void *context) {
        return *static_cast<SvgParse *>(static_cast<xmlParserCtxtPtr>(context)->_private);
    }

    static void refuse(void *context) {
        SvgParse &parse = of(context);
        parse.refused = true;
        parse.xml.xmlStopParser(static_cast<xmlParserCtxtPtr>(context));
    }

    // A document type kept elsewhere (<!DOCTYPE svg PUBLIC ... "http://...">)
    // is one a reader may fetch.
    static void internal_subset(void *context, const xmlChar *name, const xmlChar *external_id,
                                const xmlChar *system_id) {
        if (external_id || system_id)
            return refuse(context);
        if (of(context).tree_builder.internalSubset)
            of(context).tree_builder.internalSubset(context, name, external_id, system_id);
    }

    // Entities may only stand for text: one from outside would be read by
    // whoever shows the picture, one holding markup could hide an element
    // from the walk, one holding a reference could multiply another, and a
    // parameter entity is expanded by the parser itself inside the document
    // type, where it could do either.
    static void entity_decl(void *context, const xmlChar *name, int type, const xmlChar *public_id,
                            const xmlChar *system_id, xmlChar *content) {
        if (type != XML_INTERNAL_GENERAL_ENTITY || !name || !content ||
            strchr(text_of(content), '<') || strchr(text_of(content), '&'))
            return refuse(context);
        SvgParse &parse = of(context);
        parse.entity_lengths.emplace(text_of(name), strlen(text_of(content)));
        if (parse.tree_builder.entityDecl)
            parse.tree_builder.entityDecl(context, name, type, public_id, system_id, content);
    }

    // An unparsed entity is one from outside, whatever it is for.
    static void unparsed_entity_decl(void *context, const xmlChar *, const xmlChar *,
                                     const xmlChar *, const xmlChar *) {
        refuse(context);
    }

    // A picture standing alone declares no attribute: one declared with a
    // default is one the walk does not see (the tree holds the elements as
    // written) and a reader that applies the document type's defaults would,
    // an event handler or an address from outside. The declaration goes to
    // the tree builder first, which takes what it holds.
    static void attribute_decl(void *context, const xmlChar *element, const xmlChar *name, int type,
                               int def, const xmlChar *default_value, xmlEnumerationPtr values) {
        SvgParse &parse = of(context);
        if (parse.tree_builder.attributeDecl)
            parse.tree_builder.attributeDecl(context, element, name, type, def, default_value, values);
        refuse(context);
    }

    // Each reference in the text counts the length of what it stands for.
    static void reference(void *context, const xmlChar *name) {
        SvgParse &parse = of(context);
        auto entity = name ? parse.entity_lengths.find(text_of(name)) : parse.entity_lengths.end();
        if (entity != parse.entity_lengths.end())
            parse.expansion += entity->second;
        if (parse.expansion > parse.expansion_limit)
            return refuse(context);
        if (parse.tree_builder.reference)
            parse.tree_builder.reference(context, name);
    }
};

// The document the bytes hold when they are well-formed XML and nothing in
// their document type is refused (see SvgParse); NULL otherwise. The caller
// frees it.
xmlDocPtr read_svg(const tzr_libxml &xml, const char *bytes, int length) {
    xmlParserCtxtPtr context = xml.xmlCreateMemoryParserCtxt(bytes, length);
    if (!context || !context->sax) {
        if (context)
            xml.xmlFreeParserCtxt(context);
        return nullptr;
    }
    // No network, no entity substitution, no external subset: reading the
    // picture reads nothing else.
    xml.xmlCtxtUseOptions(context, XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING);
    SvgParse parse{xml, *context->sax, {}, 0, (size_t)length, false};
    context->sax->internalSubset = SvgParse::internal_subset;
    context->sax->entityDecl = SvgParse::entity_decl;
    context->sax->unparsedEntityDecl = SvgParse::unparsed_entity_decl;
    context->sax->attributeDecl = SvgParse::attribute_decl;
    context->sax->reference = SvgParse::reference;
    context->_private = &parse;
    xml.xmlParseDocument(context);
    xmlDocPtr doc = context->myDoc;
    context->myDoc = nullptr;
    bool whole = context->wellFormed && !parse.refused;
    xml.xmlFreeParserCtxt(context);
    if (!whole && doc) {
        xml.xmlFreeDoc(doc);
        doc = nullptr;
    }
    return doc;
}

// Whether the bytes could begin an XML document: markup after an optional
// byte-order mark and blanks. Spares the parser everything else. With
// `prefix`, the bytes are only the start of a file: blanks up to their end
// may still come before markup.
bool looks_like_markup(const unsigned char *b, size_t length, bool prefix = false) {
    if (length >= 2 && ((b[0] == 0xFF && b[1] == 0xFE) || (b[0] == 0xFE && b[1] == 0xFF)))
        return true;  // UTF-16: the parser reads it
    size_t i = length >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF ? 3 : 0;
    while (i < length && (b[i] == ' ' || b[i] == '\t' || b[i] == '\n' || b[i] == '\r'))
        i++;
    return i < length ? b[i] == '<' : prefix;
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
    xmlDocPtr doc = read_svg(*xml, static_cast<const char *>(bytes), (int)length);
    if (!doc)
        return false;
    bool alone = SvgCheck{doc}.stands_alone(*xml);
    xml->xmlFreeDoc(doc);
    return alone;
}

bool tzr_picture_may_begin(const void *prefix, size_t length, uint16_t format) {
    const auto *b = static_cast<const unsigned char *>(prefix);
    unsigned held = kinds_held(format);
    if (!b || length == 0 || held == 0)
        return false;
    return (binary_kind(b, length) & held) != 0 ||
           ((held & kSvg) && looks_like_markup(b, length, true));
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

#include "library/writers/xhtml.h"

#include <cstring>
#include <vector>

#include "library/packaging/assets_fetch.h"
#include "library/packaging/libxml.h"

namespace {

// The loaded table, for the steps that run once tzr_xhtml_from_html found it.
const tzr_libxml &xml() { return *tzr_libxml_load(); }

const xmlChar *text_of(const char *text) { return reinterpret_cast<const xmlChar *>(text); }

// An attribute's value, empty when the element has none.
std::string property(xmlNodePtr node, const char *name) {
    xmlChar *value = xml().xmlGetProp(node, text_of(name));
    std::string text = value ? reinterpret_cast<const char *>(value) : "";
    (*xml().free_function)(value);
    return text;
}

bool named(xmlNodePtr node, const char *name) {
    return node->name && !xml().xmlStrcasecmp(node->name, text_of(name));
}

// XML comments cannot hold "--" nor end with "-"; HTML ones can.
void mend_comment(xmlNodePtr node) {
    if (!node->content)
        return;
    std::string text(reinterpret_cast<const char *>(node->content));
    for (size_t at; (at = text.find("--")) != std::string::npos;)
        text.replace(at, 2, "- -");
    if (!text.empty() && text.back() == '-')
        text += ' ';
    xml().xmlNodeSetContent(node, text_of(text.c_str()));
}

// Where a picture the book cannot show was to come from; empty for one it
// holds (or a relative file of the document's own raw HTML).
std::string unheld_picture(xmlNodePtr img, const tzr_xhtml_missing &missing) {
    std::string source = property(img, "src");
    auto found = missing.find(source);
    if (found != missing.end())
        return found->second;
    return tzr_asset_url_is_remote(source.c_str()) ? source : "";
}

bool inside_link(xmlNodePtr node) {
    for (xmlNodePtr up = node->parent; up; up = up->parent)
        if (up->type == XML_ELEMENT_NODE && named(up, "a"))
            return true;
    return false;
}

// What stands for a picture: a link to its address, with the picture's id
// and title, whose text is the picture's alternative text (the address when
// it has none); inside a link, which cannot hold another, that text alone.
xmlNodePtr stand_in_for_picture(xmlDocPtr doc, xmlNodePtr img, const std::string &address) {
    std::string alt = property(img, "alt");
    const xmlChar *text = text_of(alt.empty() ? address.c_str() : alt.c_str());
    if (inside_link(img))
        return xml().xmlNewDocText(doc, text);
    xmlNodePtr link = xml().xmlNewDocNode(doc, nullptr, text_of("a"), nullptr);
    if (!link)
        return nullptr;
    xml().xmlNewProp(link, text_of("href"), text_of(address.c_str()));
    for (const char *kept : {"id", "title"}) {
        std::string value = property(img, kept);
        if (!value.empty())
            xml().xmlNewProp(link, text_of(kept), text_of(value.c_str()));
    }
    xml().xmlNodeAddContent(link, text);
    return link;
}

// Mends what XML or the book cannot take, walking the tree without
// recursion: raw HTML may nest deeply.
void mend_tree(xmlDocPtr doc, const tzr_xhtml_missing &missing) {
    std::vector<xmlNodePtr> chains{doc->children};
    while (!chains.empty()) {
        xmlNodePtr node = chains.back();
        chains.pop_back();
        while (node) {
            xmlNodePtr next = node->next;
            if (node->type == XML_COMMENT_NODE) {
                mend_comment(node);
            } else if (node->type == XML_ELEMENT_NODE && named(node, "img")) {
                std::string address = unheld_picture(node, missing);
                xmlNodePtr stand_in = address.empty() ? nullptr : stand_in_for_picture(doc, node, address);
                if (stand_in) {
                    xml().xmlReplaceNode(node, stand_in);
                    xml().xmlFreeNode(node);
                }
            } else if (node->type == XML_ELEMENT_NODE && named(node, "link") &&
                       missing.count(property(node, "href"))) {
                xml().xmlUnlinkNode(node);
                xml().xmlFreeNode(node);
            } else if (node->type == XML_ELEMENT_NODE && node->children) {
                chains.push_back(node->children);
            }
            node = next;
        }
    }
}

}  // namespace

std::string tzr_xhtml_from_html(const std::string &page, const tzr_xhtml_missing &missing) {
    if (page.empty() || page.size() > (size_t)INT32_MAX || !tzr_libxml_load())
        return page;
    // The parser reports tag soup as it repairs it; nothing here is an error.
    tzr_libxml_quiet quiet(xml());
    htmlDocPtr doc = xml().htmlReadMemory(page.data(), (int)page.size(), "main.xhtml", "UTF-8",
                                          HTML_PARSE_RECOVER | HTML_PARSE_NONET |
                                              HTML_PARSE_NOERROR | HTML_PARSE_NOWARNING);
    std::string result = page;
    if (doc) {
        mend_tree(doc, missing);
        xmlBufferPtr buffer = xml().xmlBufferCreate();
        xmlSaveCtxtPtr save =
            xml().xmlSaveToBuffer(buffer, "UTF-8", XML_SAVE_XHTML | XML_SAVE_AS_XML);
        if (save) {
            xml().xmlSaveDoc(save, doc);
            xml().xmlSaveClose(save);
            result.assign(reinterpret_cast<const char *>(xml().xmlBufferContent(buffer)),
                          (size_t)xml().xmlBufferLength(buffer));
        }
        xml().xmlBufferFree(buffer);
        xml().xmlFreeDoc(doc);
    }
    return result;
}

#include "xhtml.h"

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/xmlsave.h>

#include <cstring>

namespace {

// XML comments cannot hold "--" nor end with "-"; HTML ones can.
void mend_comments(xmlNodePtr node) {
    for (; node; node = node->next) {
        if (node->type == XML_COMMENT_NODE && node->content) {
            std::string text(reinterpret_cast<const char *>(node->content));
            for (size_t at; (at = text.find("--")) != std::string::npos;)
                text.replace(at, 2, "- -");
            if (!text.empty() && text.back() == '-')
                text += ' ';
            xmlNodeSetContent(node, reinterpret_cast<const xmlChar *>(text.c_str()));
        }
        if (node->type == XML_ELEMENT_NODE)
            mend_comments(node->children);
    }
}

void quiet(void *, const char *, ...) {}

}  // namespace

std::string tzr_xhtml_from_html(const std::string &page) {
    if (page.empty() || page.size() > (size_t)INT32_MAX)
        return page;
    // libxml2 sets itself up on its first use, and two threads doing that at
    // once may race: exports on several threads make sure it happens once.
    static const bool parser_ready = (xmlInitParser(), true);
    (void)parser_ready;
    // The parser reports tag soup as it repairs it; nothing here is an error.
    xmlGenericErrorFunc saved_handler = xmlGenericError;
    void *saved_context = xmlGenericErrorContext;
    xmlSetGenericErrorFunc(nullptr, quiet);
    htmlDocPtr doc = htmlReadMemory(page.data(), (int)page.size(), "main.xhtml", "UTF-8",
                                    HTML_PARSE_RECOVER | HTML_PARSE_NONET | HTML_PARSE_NOERROR |
                                        HTML_PARSE_NOWARNING);
    std::string result = page;
    if (doc) {
        mend_comments(doc->children);
        xmlBufferPtr buffer = xmlBufferCreate();
        xmlSaveCtxtPtr save = xmlSaveToBuffer(buffer, "UTF-8", XML_SAVE_XHTML | XML_SAVE_AS_XML);
        if (save) {
            xmlSaveDoc(save, doc);
            xmlSaveClose(save);
            result.assign(reinterpret_cast<const char *>(xmlBufferContent(buffer)),
                          (size_t)xmlBufferLength(buffer));
        }
        xmlBufferFree(buffer);
        xmlFreeDoc(doc);
    }
    xmlSetGenericErrorFunc(saved_context, saved_handler);
    return result;
}

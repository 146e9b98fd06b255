#include "library/packaging/libxml.h"

#include "library/packaging/system_library.h"

namespace {

void quiet(void *, const char *, ...) {}

}  // namespace

const tzr_libxml *tzr_libxml_load() {
    return system_library::load<tzr_libxml>(ORVANE_LIBXML2_SONAME, [](system_library::Binder bind,
                                                                      tzr_libxml &t) {
        if (!(bind(t.xmlGetProp, "xmlGetProp") && bind(t.xmlStrcasecmp, "xmlStrcasecmp") &&
              bind(t.xmlNodeSetContent, "xmlNodeSetContent") &&
              bind(t.xmlNewDocText, "xmlNewDocText") && bind(t.xmlNewDocNode, "xmlNewDocNode") &&
              bind(t.xmlNewProp, "xmlNewProp") && bind(t.xmlNodeAddContent, "xmlNodeAddContent") &&
              bind(t.xmlReplaceNode, "xmlReplaceNode") && bind(t.xmlFreeNode, "xmlFreeNode") &&
              bind(t.xmlUnlinkNode, "xmlUnlinkNode") && bind(t.xmlInitParser, "xmlInitParser") &&
              bind(t.xmlSetGenericErrorFunc, "xmlSetGenericErrorFunc") &&
              bind(t.htmlReadMemory, "htmlReadMemory") &&
              bind(t.xmlDocGetRootElement, "xmlDocGetRootElement") &&
              bind(t.xmlBufferCreate, "xmlBufferCreate") &&
              bind(t.xmlSaveToBuffer, "xmlSaveToBuffer") && bind(t.xmlSaveDoc, "xmlSaveDoc") &&
              bind(t.xmlSaveClose, "xmlSaveClose") &&
              bind(t.xmlBufferContent, "xmlBufferContent") &&
              bind(t.xmlBufferLength, "xmlBufferLength") &&
              bind(t.xmlBufferFree, "xmlBufferFree") && bind(t.xmlFreeDoc, "xmlFreeDoc") &&
              bind(t.xmlCreateMemoryParserCtxt, "xmlCreateMemoryParserCtxt") &&
              bind(t.xmlCtxtUseOptions, "xmlCtxtUseOptions") &&
              bind(t.xmlParseDocument, "xmlParseDocument") &&
              bind(t.xmlStopParser, "xmlStopParser") &&
              bind(t.xmlFreeParserCtxt, "xmlFreeParserCtxt") &&
              bind(t.generic_error, "__xmlGenericError") &&
              bind(t.generic_error_context, "__xmlGenericErrorContext") &&
              bind(t.free_function, "xmlFree")))
            return false;
        t.xmlInitParser();
        return true;
    });
}

tzr_libxml_quiet::tzr_libxml_quiet(const tzr_libxml &xml)
    : xml_(xml), saved_handler_(*xml.generic_error()),
      saved_context_(*xml.generic_error_context()) {
    xml_.xmlSetGenericErrorFunc(nullptr, quiet);
}

tzr_libxml_quiet::~tzr_libxml_quiet() {
    xml_.xmlSetGenericErrorFunc(saved_context_, saved_handler_);
}

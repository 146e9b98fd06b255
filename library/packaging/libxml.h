// The functions of libxml2 the packagers call: the book's XHTML pass reads
// the page with its HTML parser, and a picture that may be SVG is read with
// its XML parser. The library is opened on the first use (see
// system_library.h) and set up once, there: libxml2 sets itself up on its
// first use, and two threads doing that at once may race.
#pragma once

#include <libxml/HTMLparser.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlsave.h>

struct tzr_libxml {
    decltype(&::xmlGetProp) xmlGetProp;
    decltype(&::xmlStrcasecmp) xmlStrcasecmp;
    decltype(&::xmlNodeSetContent) xmlNodeSetContent;
    decltype(&::xmlNewDocText) xmlNewDocText;
    decltype(&::xmlNewDocNode) xmlNewDocNode;
    decltype(&::xmlNewProp) xmlNewProp;
    decltype(&::xmlNodeAddContent) xmlNodeAddContent;
    decltype(&::xmlReplaceNode) xmlReplaceNode;
    decltype(&::xmlFreeNode) xmlFreeNode;
    decltype(&::xmlUnlinkNode) xmlUnlinkNode;
    decltype(&::xmlInitParser) xmlInitParser;
    decltype(&::xmlSetGenericErrorFunc) xmlSetGenericErrorFunc;
    decltype(&::htmlReadMemory) htmlReadMemory;
    decltype(&::xmlDocGetRootElement) xmlDocGetRootElement;
    decltype(&::xmlBufferCreate) xmlBufferCreate;
    decltype(&::xmlSaveToBuffer) xmlSaveToBuffer;
    decltype(&::xmlSaveDoc) xmlSaveDoc;
    decltype(&::xmlSaveClose) xmlSaveClose;
    decltype(&::xmlBufferContent) xmlBufferContent;
    decltype(&::xmlBufferLength) xmlBufferLength;
    decltype(&::xmlBufferFree) xmlBufferFree;
    decltype(&::xmlFreeDoc) xmlFreeDoc;
    // A parse whose callbacks the caller may take over (see pictures.cpp).
    decltype(&::xmlCreateMemoryParserCtxt) xmlCreateMemoryParserCtxt;
    decltype(&::xmlCtxtUseOptions) xmlCtxtUseOptions;
    decltype(&::xmlParseDocument) xmlParseDocument;
    decltype(&::xmlStopParser) xmlStopParser;
    decltype(&::xmlFreeParserCtxt) xmlFreeParserCtxt;
    // libxml2's xmlFree (a variable holding its deallocator), and what
    // xmlGenericError and xmlGenericErrorContext stand for in a build with
    // threads.
    xmlFreeFunc *free_function;
    decltype(&::__xmlGenericError) generic_error;
    decltype(&::__xmlGenericErrorContext) generic_error_context;
};

// The table, or NULL when libxml2 cannot be loaded.
const tzr_libxml *tzr_libxml_load();

// While it lives, libxml2 reports nothing on this thread: its parsers
// report the faults of what they read, which are no errors here (the
// caller judges the result). Needs a loaded table.
class tzr_libxml_quiet {
public:
    explicit tzr_libxml_quiet(const tzr_libxml &xml);
    ~tzr_libxml_quiet();
    tzr_libxml_quiet(const tzr_libxml_quiet &) = delete;
    tzr_libxml_quiet &operator=(const tzr_libxml_quiet &) = delete;

private:
    const tzr_libxml &xml_;
    xmlGenericErrorFunc saved_handler_;
    void *saved_context_;
};

// The OpenDocument packagers: the flat document (format 5) and the zipped
// one (format 6), with their fixed styles, metadata and manifest.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "library/assets.h"
#include "library/packaging/assets_fetch.h"
#include "library/diagnostics.h"
#include "library/engine.h"
#include "library/writers/odf.h"
#include "library/packaging/zip_archive.h"

namespace {

constexpr const char *kXmlHead = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
constexpr const char *kMimetype = "application/vnd.oasis.opendocument.text";

const char *const kNamespaces[][2] = {
    {"office", "urn:oasis:names:tc:opendocument:xmlns:office:1.0"},
    {"style", "urn:oasis:names:tc:opendocument:xmlns:style:1.0"},
    {"text", "urn:oasis:names:tc:opendocument:xmlns:text:1.0"},
    {"table", "urn:oasis:names:tc:opendocument:xmlns:table:1.0"},
    {"draw", "urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"},
    {"fo", "urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"},
    {"xlink", "http://www.w3.org/1999/xlink"},
    {"dc", "http://purl.org/dc/elements/1.1/"},
    {"meta", "urn:oasis:names:tc:opendocument:xmlns:meta:1.0"},
    {"number", "urn:oasis:names:tc:opendocument:xmlns:datastyle:1.0"},
    {"svg", "urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"},
    {"chart", "urn:oasis:names:tc:opendocument:xmlns:chart:1.0"},
    {"dr3d", "urn:oasis:names:tc:opendocument:xmlns:dr3d:1.0"},
    {"math", "http://www.w3.org/1998/Math/MathML"},
    {"form", "urn:oasis:names:tc:opendocument:xmlns:form:1.0"},
    {"script", "urn:oasis:names:tc:opendocument:xmlns:script:1.0"},
    {"ooo", "http://openoffice.org/2004/office"},
    {"ooow", "http://openoffice.org/2004/writer"},
    {"oooc", "http://openoffice.org/2004/calc"},
    {"dom", "http://www.w3.org/2001/xml-events"},
    {"xforms", "http://www.w3.org/2002/xforms"},
    {"xsd", "http://www.w3.org/2001/XMLSchema"},
    {"xsi", "http://www.w3.org/2001/XMLSchema-instance"},
    {"rpt", "http://openoffice.org/2005/report"},
    {"of", "urn:oasis:names:tc:opendocument:xmlns:of:1.2"},
    {"xhtml", "http://www.w3.org/1999/xhtml"},
    {"grddl", "http://www.w3.org/2003/g/data-view#"},
    {"officeooo", "http://openoffice.org/2009/office"},
    {"tableooo", "http://openoffice.org/2009/table"},
    {"drawooo", "http://openoffice.org/2010/draw"},
    {"calcext", "urn:org:documentfoundation:names:experimental:calc:xmlns:calcext:1.0"},
    {"loext", "urn:org:documentfoundation:names:experimental:office:xmlns:loext:1.0"},
    {"field", "urn:openoffice:names:experimental:ooo-ms-interop:xmlns:field:1.0"},
    {"formx", "urn:openoffice:names:experimental:ooxml-odf-interop:xmlns:form:1.0"},
    {"css3t", "http://www.w3.org/TR/css3-text/"},
};

const char *namespace_of(const char *prefix) {
    for (const auto &ns : kNamespaces)
        if (!strcmp(ns[0], prefix))
            return ns[1];
    return "";
}

void declare(DString *out, const char *prefix) {
    d_string_append_printf(out, "xmlns:%s=\"%s\"", prefix, namespace_of(prefix));
}

// Metadata keys that steer the export rather than describe the document.
const char *const kReservedKeys[] = {
    "baseheaderlevel", "bibliostyle",  "bibtex",         "css",          "htmlfooter",
    "htmlheader",      "htmlheaderlevel", "language",    "latexbegin",   "latexconfig",
    "latexfooter",     "latexheaderlevel", "latexinput", "latexleader",  "latexmode",
    "tzrfooter",       "tzrheader",    "quoteslanguage", "transcludebase", "xhtmlheader",
    "xhtmlheaderlevel",
};

bool is_reserved(std::string_view key) {
    for (const char *k : kReservedKeys)
        if (key == k)
            return true;
    return false;
}

char *take(DString *s) { return d_string_free(s, false); }

constexpr const char *kFontFaces =
    "<office:font-face-decls>\n"
    "<style:font-face style:name=\"Courier New\" svg:font-family=\"'Courier New'\" "
    "style:font-adornments=\"Regular\" style:font-family-generic=\"modern\" "
    "style:font-pitch=\"fixed\"/>\n"
    "</office:font-face-decls>\n";

constexpr const char *kStyles =
    "<office:styles>\n"
    "<style:style style:name=\"Standard\" style:family=\"paragraph\" style:class=\"text\">\n"
    " <style:paragraph-properties fo:margin-top=\"0in\" fo:margin-bottom=\"0.15in\" "
    "fo:text-align=\"justify\" style:justify-single-word=\"false\"/>\n"
    "</style:style>\n"
    "<style:style style:name=\"Preformatted_20_Text\" style:display-name=\"Preformatted Text\" "
    "style:family=\"paragraph\" style:parent-style-name=\"Standard\" style:class=\"html\">\n"
    " <style:paragraph-properties fo:margin-top=\"0in\" fo:margin-bottom=\"0in\" "
    "fo:text-align=\"start\" style:justify-single-word=\"false\"/>\n"
    " <style:text-properties style:font-name=\"Courier New\" fo:font-size=\"11pt\" "
    "style:font-name-asian=\"Courier New\" style:font-size-asian=\"11pt\" "
    "style:font-name-complex=\"Courier New\" style:font-size-complex=\"11pt\"/>\n"
    "</style:style>\n"
    "<style:style style:name=\"Source_20_Text\" style:display-name=\"Source Text\" "
    "style:family=\"text\">\n"
    " <style:text-properties style:font-name=\"Courier New\" style:font-name-asian=\"Courier New\" "
    "style:font-name-complex=\"Courier New\" fo:font-size=\"11pt\"/>\n"
    "</style:style>\n"
    "<style:style style:name=\"List\" style:family=\"paragraph\" "
    "style:parent-style-name=\"Standard\" style:class=\"list\">\n"
    " <style:paragraph-properties fo:text-align=\"start\" style:justify-single-word=\"false\"/>\n"
    " <style:text-properties style:font-size-asian=\"12pt\"/>\n"
    "</style:style>\n"
    "<style:style style:name=\"Quotations\" style:family=\"paragraph\" "
    "style:parent-style-name=\"Standard\" style:class=\"html\">\n"
    " <style:paragraph-properties fo:margin-left=\"0.3937in\" fo:margin-right=\"0.3937in\" "
    "fo:margin-top=\"0in\" fo:margin-bottom=\"0.1965in\" fo:text-align=\"justify\" "
    "style:justify-single-word=\"false\" fo:text-indent=\"0in\" style:auto-text-indent=\"false\"/>\n"
    "</style:style>\n"
    "<style:style style:name=\"Table_20_Heading\" style:display-name=\"Table Heading\" "
    "style:family=\"paragraph\" style:parent-style-name=\"Table_20_Contents\" "
    "style:class=\"extra\">\n"
    " <style:paragraph-properties fo:text-align=\"center\" style:justify-single-word=\"false\" "
    "text:number-lines=\"false\" text:line-number=\"0\"/>\n"
    " <style:text-properties fo:font-weight=\"bold\" style:font-weight-asian=\"bold\" "
    "style:font-weight-complex=\"bold\"/>\n"
    "</style:style>\n"
    "<style:style style:name=\"Horizontal_20_Line\" style:display-name=\"Horizontal Line\" "
    "style:family=\"paragraph\" style:parent-style-name=\"Standard\" style:class=\"html\">\n"
    " <style:paragraph-properties fo:margin-top=\"0in\" fo:margin-bottom=\"0.1965in\" "
    "style:border-line-width-bottom=\"0.0008in 0.0138in 0.0008in\" fo:padding=\"0in\" "
    "fo:border-left=\"none\" fo:border-right=\"none\" fo:border-top=\"none\" "
    "fo:border-bottom=\"0.0154in double #808080\" text:number-lines=\"false\" "
    "text:line-number=\"0\" style:join-border=\"false\"/>\n"
    " <style:text-properties fo:font-size=\"6pt\" style:font-size-asian=\"6pt\" "
    "style:font-size-complex=\"6pt\"/>\n"
    "</style:style>\n"
    "<style:style style:name=\"Footnote_20_anchor\" style:display-name=\"Footnote anchor\" "
    "style:family=\"text\">\n"
    " <style:text-properties style:text-position=\"super 58%\"/>\n"
    "</style:style>\n"
    "<style:style style:name=\"TOC_Item\" style:family=\"paragraph\" "
    "style:parent-style-name=\"Standard\">\n"
    " <style:paragraph-properties>\n"
    "  <style:tab-stops>\n"
    "   <style:tab-stop style:position=\"6.7283in\" style:type=\"right\" "
    "style:leader-style=\"dotted\" style:leader-text=\".\"/>\n"
    "  </style:tab-stops>\n"
    " </style:paragraph-properties>\n"
    "</style:style>\n"
    "<text:notes-configuration text:note-class=\"footnote\" text:default-style-name=\"Footnote\" "
    "text:citation-style-name=\"Footnote_20_Symbol\" "
    "text:citation-body-style-name=\"Footnote_20_anchor\" text:master-page-name=\"Footnote\" "
    "style:num-format=\"a\" text:start-value=\"0\" text:footnotes-position=\"page\" "
    "text:start-numbering-at=\"page\"/>\n"
    "<text:notes-configuration text:note-class=\"endnote\" text:default-style-name=\"Endnote\" "
    "text:citation-style-name=\"Endnote_20_Symbol\" "
    "text:citation-body-style-name=\"Endnote_20_anchor\" text:master-page-name=\"Endnote\" "
    "style:num-format=\"1\" text:start-value=\"0\"/>\n"
    "</office:styles>\n";

constexpr const char *kMasterStyles =
    "<office:master-styles>\n"
    "<style:master-page style:name=\"Endnote\">\n"
    " <style:header><text:h text:outline-level=\"2\">Bibliography</text:h></style:header>\n"
    "</style:master-page>\n"
    "<style:master-page style:name=\"Footnote\" style:page-layout-name=\"pm2\"/>\n"
    "</office:master-styles>\n";

void append_text_style(DString *out, const char *name, const char *properties) {
    d_string_append_printf(out,
                           "<style:style style:name=\"%s\" style:family=\"text\">\n"
                           " <style:text-properties %s/>\n"
                           "</style:style>\n",
                           name, properties);
}

void append_list_style(DString *out, const char *name, bool bullets) {
    static const char *const kBullets[] = {"\xE2\x80\xA2", "\xE2\x97\xA6", "\xE2\x96\xAA"};
    d_string_append_printf(out, "<text:list-style style:name=\"%s\">\n", name);
    for (int level = 1; level <= 10; level++) {
        double indent = 0.5 + 0.25 * (level - 1);
        const char *properties =
            "<style:list-level-properties text:list-level-position-and-space-mode=\"label-alignment\">"
            "<style:list-level-label-alignment text:label-followed-by=\"listtab\" "
            "text:list-tab-stop-position=\"%.2fin\" fo:text-indent=\"-0.25in\" "
            "fo:margin-left=\"%.2fin\"/></style:list-level-properties>\n";
        if (bullets && level <= 3) {
            d_string_append_printf(out,
                                   "<text:list-level-style-bullet text:level=\"%d\" "
                                   "text:style-name=\"Numbering_20_Symbols\" style:num-suffix=\".\" "
                                   "text:bullet-char=\"%s\">\n",
                                   level, kBullets[level - 1]);
            d_string_append_printf(out, properties, indent, indent);
            d_string_append(out, "</text:list-level-style-bullet>\n");
        } else {
            d_string_append_printf(out,
                                   "<text:list-level-style-number text:level=\"%d\" "
                                   "text:style-name=\"%s\" style:num-suffix=\".\" "
                                   "style:num-format=\"1\">\n",
                                   level, bullets ? "Numbering_20_Symbols" : "Standard");
            d_string_append_printf(out, properties, indent, indent);
            d_string_append(out, "</text:list-level-style-number>\n");
        }
    }
    d_string_append(out, "</text:list-style>\n");
}

// The automatic styles the body refers to. LibreOffice reads content.xml's
// own automatic styles only, so the zipped document carries them there too.
void append_automatic_styles(DString *out) {
    d_string_append(out, "<office:automatic-styles>\n");
    append_text_style(out, "TZR-Italic",
                      "fo:font-style=\"italic\" style:font-style-asian=\"italic\" "
                      "style:font-style-complex=\"italic\"");
    append_text_style(out, "TZR-Bold",
                      "fo:font-weight=\"bold\" style:font-weight-asian=\"bold\" "
                      "style:font-weight-complex=\"bold\"");
    append_text_style(out, "TZR-Superscript", "style:text-position=\"super 58%\"");
    append_text_style(out, "TZR-Subscript", "style:text-position=\"sub 58%\"");
    append_text_style(out, "Strike",
                      "style:text-line-through-style=\"solid\" style:text-line-through-type=\"single\"");
    append_text_style(out, "Underline",
                      "style:text-underline-style=\"solid\" style:text-underline-width=\"auto\" "
                      "style:text-underline-color=\"font-color\"");
    append_text_style(out, "Highlight", "fo:background-color=\"#FFFF00\"");
    append_text_style(out, "Comment", "fo:color=\"#0000BB\"");
    d_string_append(out,
                    "<style:style style:name=\"TZR-Table\" style:family=\"paragraph\" "
                    "style:parent-style-name=\"Standard\">\n"
                    " <style:paragraph-properties fo:margin-top=\"0in\" fo:margin-bottom=\"0.05in\"/>\n"
                    "</style:style>\n"
                    "<style:style style:name=\"TZR-Table-Center\" style:family=\"paragraph\" "
                    "style:parent-style-name=\"TZR-Table\">\n"
                    " <style:paragraph-properties fo:text-align=\"center\" "
                    "style:justify-single-word=\"false\"/>\n"
                    "</style:style>\n"
                    "<style:style style:name=\"TZR-Table-Right\" style:family=\"paragraph\" "
                    "style:parent-style-name=\"TZR-Table\">\n"
                    " <style:paragraph-properties fo:text-align=\"end\" "
                    "style:justify-single-word=\"false\"/>\n"
                    "</style:style>\n"
                    "<style:style style:name=\"P2\" style:family=\"paragraph\" "
                    "style:parent-style-name=\"Standard\" style:list-style-name=\"L2\">\n"
                    " <style:paragraph-properties fo:text-align=\"start\" "
                    "style:justify-single-word=\"false\"/>\n"
                    "</style:style>\n"
                    "<style:style style:name=\"fr1\" style:family=\"graphic\" "
                    "style:parent-style-name=\"Frame\">\n"
                    " <style:graphic-properties style:print-content=\"true\" "
                    "style:vertical-pos=\"top\" style:vertical-rel=\"baseline\" fo:padding=\"0in\" "
                    "fo:border=\"none\" style:shadow=\"none\"/>\n"
                    "</style:style>\n"
                    "<style:style style:name=\"P1\" style:family=\"paragraph\" "
                    "style:parent-style-name=\"Standard\" style:list-style-name=\"L1\"/>\n");
    append_list_style(out, "L1", true);
    append_list_style(out, "L2", false);
    d_string_append(out, "</office:automatic-styles>\n");
}

// Where the frame that opens at `start` closes (past its end tag); npos when
// it does not. Frames nest: a figure's caption may hold pictures.
size_t frame_end(const std::string &body, size_t start) {
    static const std::string kOpen = "<draw:frame", kClose = "</draw:frame>";
    int depth = 0;
    for (size_t at = start; at < body.size();) {
        size_t open = body.find(kOpen, at), close = body.find(kClose, at);
        if (close == std::string::npos)
            return std::string::npos;
        if (open < close) {
            depth++;
            at = open + kOpen.size();
        } else {
            at = close + kClose.size();
            if (--depth == 0)
                return at;
        }
    }
    return std::string::npos;
}

size_t count_between(const std::string &text, const std::string &what, size_t from, size_t to) {
    size_t n = 0;
    for (size_t at = text.find(what, from); at != std::string::npos && at + what.size() <= to;
         at = text.find(what, at + what.size()))
        n++;
    return n;
}

// The body with each picture that the package does not hold (`missing`
// maps its local name to its address) replaced by a link to the picture's
// address, whose text is the picture's alternative text, or the address;
// inside a link, which cannot hold another, by that text alone.
std::string link_missing_pictures(const std::string &body,
                                  const std::map<std::string, std::string> &missing) {
    static const std::string kReference = "xlink:href=\"Pictures/";
    static const std::string kFrame = "<draw:frame text:anchor-type=\"as-char\"\ndraw:z-index=\"0\"";
    static const std::string kTitle = "<svg:title>", kTitleEnd = "</svg:title>";
    if (missing.empty())
        return body;
    std::string out;
    out.reserve(body.size());
    size_t copied = 0;
    // How many links are open where the scan has come to.
    size_t counted = 0, open_links = 0;
    for (size_t at = body.find(kReference); at != std::string::npos;
         at = body.find(kReference, at + 1)) {
        size_t name = at + kReference.size();
        size_t name_end = body.find('"', name);
        if (name_end == std::string::npos)
            break;
        auto found = missing.find(body.substr(name, name_end - name));
        if (found == missing.end())
            continue;
        size_t start = body.rfind(kFrame, at);
        size_t end = start == std::string::npos ? start : frame_end(body, start);
        if (start == std::string::npos || start < copied || end == std::string::npos)
            continue;
        DString *address = d_string_new("");
        odf_print_attribute(address, found->second.c_str());
        std::string href = address ? address->str : "";
        d_string_free(address, true);
        // The alternative text inside the picture's own frame.
        std::string alt = href;
        size_t title = body.find(kTitle, at);
        if (title < body.find("</draw:frame>", at)) {
            size_t from = title + kTitle.size();
            alt = body.substr(from, body.find(kTitleEnd, from) - from);
        }
        open_links += count_between(body, "<text:a ", counted, start);
        open_links -= std::min(open_links, count_between(body, "</text:a>", counted, start));
        counted = end;  // a frame's own links are closed within it
        out.append(body, copied, start - copied);
        if (open_links > 0)
            out += alt;
        else
            out += "<text:a xlink:type=\"simple\" xlink:href=\"" + href + "\">" + alt + "</text:a>";
        copied = end;
        at = end - 1;
    }
    out.append(body, copied, std::string::npos);
    return out;
}

DString *odt_build(const char *body, tzr_engine *e, const char *base_folder,
                   const tzr_fetch_limits &limits) {
    tzr_zip_archive *zip = tzr_zip_new_archive();
    tzr_export_context *context = tzr_export_context_new(e, TZR_FORMAT_ODT);
    struct Part {
        const char *name;
        char *text;
        int level;
        const char *failure;
    };
    Part parts[] = {
        {"meta.xml", odf_meta_document(context), 9, "Error adding metadata to zip.\n"},
        {"styles.xml", odf_styles_document(), 9, "Error adding styles to zip.\n"},
        {"settings.xml", odf_settings_document(), 9, "Error adding settings to zip.\n"},
    };
    if (!tzr_zip_add_mem(zip, "mimetype", kMimetype, strlen(kMimetype), 0))
        tzr_log("Error adding mimetype to zip.\n");
    for (Part &p : parts) {
        if (!p.text || !tzr_zip_add_mem(zip, p.name, p.text, strlen(p.text), p.level))
            tzr_log("%s", p.failure);
        free(p.text);
    }
    if (!tzr_zip_add_mem(zip, "META-INF/", nullptr, 0, 0))
        tzr_log("Error adding directory to zip.\n");

    // Pictures are fetched before the manifest is written, so that it names
    // only the ones that made it into the archive. LibreOffice refuses a
    // package holding an entry its manifest does not list, so the
    // "Pictures/" folder entry is there only with pictures in it.
    std::vector<tzr_fetched_asset> fetched =
        tzr_fetch_package_assets(e, base_folder, "Pictures/", TZR_FORMAT_ODT, limits);
    if (!fetched.empty() && !tzr_zip_add_mem(zip, "Pictures/", nullptr, 0, 0))
        tzr_log("Error adding directory to zip.\n");
    std::vector<odf_manifest_picture> pictures;
    for (const tzr_fetched_asset &a : fetched)
        pictures.push_back({a.name, a.media_type ? a.media_type : ""});
    char *manifest = odf_manifest_document(TZR_FORMAT_ODT, pictures);
    if (!manifest || !tzr_zip_add_mem(zip, "META-INF/manifest.xml", manifest, strlen(manifest), 9))
        tzr_log("Error adding manifest to zip.\n");
    free(manifest);
    tzr_export_context_free(context);

    // A picture that could not be had is left out, and a link to where it
    // was to come from takes its place: LibreOffice refuses a package whose
    // content refers to a missing picture beside stored ones.
    std::string text = link_missing_pictures(body ? body : "", tzr_assets_not_fetched(e, fetched));
    char *content = odf_content_document(text.c_str(), TZR_FORMAT_ODT);
    if (!content || !tzr_zip_add_mem(zip, "content.xml", content, strlen(content), 9))
        tzr_log("Error adding content.xml to zip.\n");
    free(content);

    static const tzr_asset_messages kMessages = {"Error adding asset '%s' to zip as '%s'.\n",
                                                 "Error adding asset '%s' to zip.\n"};
    tzr_zip_store_assets(zip, fetched, &kMessages);
    return tzr_zip_finalize(zip, "Error finalizing zip archive.\n");
}

}  // namespace

void odf_print_namespaces(DString *out) {
    if (!out)
        return;
    for (const auto &ns : kNamespaces) {
        declare(out, ns[0]);
        d_string_append_c(out, '\n');
    }
    d_string_append(out, "office:version=\"1.2\"");
}

char *odf_metadata(tzr_export_context *context) {
    DString *out = d_string_new("<office:meta>\n");
    if (context) {
        for (const auto &[key, entry] : context->meta_store.entries()) {
            const char *value = entry && entry->value ? entry->value : "";
            if (key == "author") {
                d_string_append(out, "\t<dc:creator>");
                odf_print_attribute(out, value);
                d_string_append(out, "</dc:creator>\n");
            } else if (key == "title") {
                d_string_append(out, "\t<dc:title>");
                odf_print_attribute(out, value);
                d_string_append(out, "</dc:title>\n");
            } else if (!is_reserved(key)) {
                d_string_append(out, "\t<meta:user-defined meta:name=\"");
                odf_print_attribute(out, std::string(key).c_str());
                d_string_append(out, "\">");
                odf_print_attribute(out, value);
                d_string_append(out, "</meta:user-defined>\n");
            }
        }
    }
    d_string_append(out, "</office:meta>");
    return take(out);
}

char *odf_meta_document(tzr_export_context *context) {
    DString *out = d_string_new(kXmlHead);
    d_string_append(out, "<office:document-meta ");
    for (const char *prefix : {"office", "xlink", "dc", "meta", "ooo", "grddl"}) {
        declare(out, prefix);
        d_string_append_c(out, ' ');
    }
    d_string_append(out, "office:version=\"1.2\">\n");
    char *meta = odf_metadata(context);
    d_string_append(out, meta);
    free(meta);
    d_string_append(out, "\n</office:document-meta>");
    return take(out);
}

char *odf_style_blocks(void) {
    DString *out = d_string_new(kFontFaces);
    d_string_append(out, kStyles);
    append_automatic_styles(out);
    d_string_append(out, kMasterStyles);
    return take(out);
}

char *odf_styles_document(void) {
    DString *out = d_string_new(kXmlHead);
    d_string_append(out, "<office:document-styles ");
    odf_print_namespaces(out);
    d_string_append(out, ">\n");
    char *blocks = odf_style_blocks();
    d_string_append(out, blocks);
    free(blocks);
    d_string_append(out, "\n</office:document-styles>");
    return take(out);
}

char *odf_settings_document(void) {
    DString *out = d_string_new("<?xml version=\"1.0\" encoding=\"utf-8\"?> <office:document-settings ");
    for (const char *prefix : {"office", "xlink"}) {
        declare(out, prefix);
        d_string_append_c(out, ' ');
    }
    d_string_append(out, "xmlns:config=\"urn:oasis:names:tc:opendocument:xmlns:config:1.0\" ");
    declare(out, "ooo");
    d_string_append(out, " office:version=\"1.2\"> <office:settings></office:settings>"
                         "</office:document-settings>");
    return take(out);
}

char *odf_manifest_document(int format, const std::vector<odf_manifest_picture> &pictures) {
    DString *out = d_string_new(kXmlHead);
    d_string_append(out, "<manifest:manifest "
                         "xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
                         "manifest:version=\"1.2\">\n");
    if (format == TZR_FORMAT_ODT)
        d_string_append(out, "\t<manifest:file-entry manifest:full-path=\"/\" manifest:version=\"1.2\" "
                             "manifest:media-type=\"application/vnd.oasis.opendocument.text\"/>\n");
    for (const char *part : {"content.xml", "styles.xml", "settings.xml", "meta.xml"})
        d_string_append_printf(out,
                               "\t<manifest:file-entry manifest:full-path=\"%s\" "
                               "manifest:media-type=\"text/xml\"/>\n",
                               part);
    if (format == TZR_FORMAT_ODT && !pictures.empty()) {
        d_string_append(out, "\t<manifest:file-entry manifest:full-path=\"Pictures/\" "
                             "manifest:media-type=\"\"/>\n");
        for (const odf_manifest_picture &picture : pictures) {
            d_string_append(out, "\t<manifest:file-entry manifest:full-path=\"Pictures/");
            odf_print_attribute(out, picture.name.c_str());
            d_string_append(out, "\" manifest:media-type=\"");
            odf_print_attribute(out, picture.media_type.c_str());
            d_string_append(out, "\"/>\n");
        }
    }
    d_string_append(out, "\n</manifest:manifest>");
    return take(out);
}

char *odf_content_document(const char *body, int format) {
    DString *out = d_string_new(kXmlHead);
    d_string_append(out, "<office:document-content ");
    odf_print_namespaces(out);
    d_string_append(out, ">\n");
    if (format == TZR_FORMAT_ODT)
        append_automatic_styles(out);
    d_string_append(out, "<office:body>\n");
    if (format == TZR_FORMAT_ODT)
        d_string_append(out, "<office:text>\n");
    d_string_append(out, body ? body : "");
    if (format == TZR_FORMAT_ODT)
        d_string_append(out, "\n</office:text>");
    d_string_append(out, "\n</office:body>\n</office:document-content>\n");
    return take(out);
}

DString *tzr_fodt_create(const char *body, tzr_engine *e, const char *) {
    DString *out = d_string_new(kXmlHead);
    d_string_append(out, "<office:document ");
    odf_print_namespaces(out);
    d_string_append(out, "\noffice:mimetype=\"application/vnd.oasis.opendocument.text\">\n");
    char *blocks = odf_style_blocks();
    d_string_append(out, blocks);
    free(blocks);
    tzr_export_context *context = e ? tzr_export_context_new(e, TZR_FORMAT_FODT) : nullptr;
    char *meta = odf_metadata(context);
    d_string_append(out, meta);
    free(meta);
    tzr_export_context_free(context);
    d_string_append(out, "\n<office:body>\n<office:text>\n");
    d_string_append(out, body ? body : "");
    d_string_append(out, "\n</office:text>\n</office:body>\n</office:document>\n");
    return out;
}

DString *tzr_odt_create(const char *body, tzr_engine *e, const char *base_folder) {
    return odt_build(body, e, base_folder, tzr_fetch_default_limits());
}

DString *tzr_odt_create_with_limits(const char *body, tzr_engine *e, const char *base_folder,
                                    const tzr_fetch_limits &limits) {
    return odt_build(body, e, base_folder, limits);
}

#include "library/writers/epub.h"
#include "library/writers/xhtml.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "library/assets.h"
#include "library/packaging/assets_fetch.h"
#include "library/diagnostics.h"
#include "library/engine.h"
#include "library/export_context.h"
#include "library/file_utils.h"
#include "library/writers/html.h"
#include "library/labels.h"
#include "library/notes.h"
#include "library/stack.h"

namespace {

constexpr const char *kMimetype = "application/epub+zip";
constexpr const char *kAddFailed = "Error adding asset to zip.\n";
constexpr const char *kAssetPrefix = "OEBPS/assets/";

char *take(DString *d) { return d ? d_string_free(d, false) : nullptr; }

const char *meta_value(tzr_export_context *c, const char *key) {
    tzr_meta *entry = tzr_meta_find(c, key);
    return entry ? entry->value : nullptr;
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool is_alnum(char c) { return is_alpha(c) || is_digit(c); }

// Whether `text` is shaped like a language tag: a primary subtag of 2-8
// letters, then subtags of 1-8 letters or digits, joined by "-". Reading
// systems and validators reject anything else in dc:language.
bool is_language_tag(const char *text) {
    if (!text)
        return false;
    const char *p = text;
    size_t n = 0;
    while (is_alpha(p[n]))
        n++;
    if (n < 2 || n > 8)
        return false;
    p += n;
    while (*p == '-') {
        p++;
        n = 0;
        while (is_alnum(p[n]))
            n++;
        if (n < 1 || n > 8)
            return false;
        p += n;
    }
    return *p == '\0';
}

const char *language_for_code(uint16_t code) {
    switch (code) {
    case 1: return "es";
    case 2: return "de";
    case 3: return "fr";
    case 4: return "nl";
    case 5: return "sv";
    default: return "en";
    }
}

// Digits at text[from, from + count).
bool digits_at(const char *text, size_t from, size_t count) {
    for (size_t i = 0; i < count; i++)
        if (!is_digit(text[from + i]))
            return false;
    return true;
}

// "YYYY-MM-DD" at the start of `text`, with a month and day in range.
bool plain_date_at(const char *text) {
    if (!digits_at(text, 0, 4) || text[4] != '-' || !digits_at(text, 5, 2) || text[7] != '-' ||
        !digits_at(text, 8, 2))
        return false;
    int month = (text[5] - '0') * 10 + (text[6] - '0');
    int day = (text[8] - '0') * 10 + (text[9] - '0');
    return month >= 1 && month <= 12 && day >= 1 && day <= 31;
}

bool utc_date_time(const char *text) {
    if (strlen(text) != 20 || !plain_date_at(text) || text[10] != 'T' || text[19] != 'Z')
        return false;
    if (!digits_at(text, 11, 2) || text[13] != ':' || !digits_at(text, 14, 2) || text[16] != ':' ||
        !digits_at(text, 17, 2))
        return false;
    int hour = (text[11] - '0') * 10 + (text[12] - '0');
    int minute = (text[14] - '0') * 10 + (text[15] - '0');
    int second = (text[17] - '0') * 10 + (text[18] - '0');
    return hour < 24 && minute < 60 && second < 61;
}

// The text of rendered heading content without its markup: tags go, and a
// note reference goes whole (its number would otherwise run into the words).
// Entities stay as they are, so the result is still escaped text.
void append_plain_text(DString *out, const char *html) {
    const char *p = html;
    int skip_depth = 0;  // inside a note reference's <a>
    while (*p) {
        if (*p != '<') {
            if (skip_depth == 0)
                d_string_append_c(out, *p);
            p++;
            continue;
        }
        const char *end = strchr(p, '>');
        if (!end)
            break;
        std::string tag(p, static_cast<size_t>(end - p + 1));
        bool closing_a = tag.compare(0, 3, "</a") == 0;
        bool opening_a = !closing_a && (tag.compare(0, 3, "<a ") == 0 || tag == "<a>");
        if (opening_a && (skip_depth > 0 || tag.find("class=\"footnote\"") != std::string::npos))
            skip_depth++;
        else if (closing_a && skip_depth > 0)
            skip_depth--;
        p = end + 1;
    }
}

void append_heading_text(DString *out, const char *source, token *heading,
                         tzr_export_context *c) {
    DString *html = d_string_new("");
    if (!html)
        return;
    html_export_token_chain(html, source, heading->child, c);
    DString *text = d_string_new("");
    if (text) {
        append_plain_text(text, html->str);
        // Collapse the line ends and runs of blanks that block markup leaves.
        char *clean = tzr_clean_string(text->str, false);
        d_string_append(out, clean ? clean : "");
        free(clean);
        d_string_free(text, true);
    }
    d_string_free(html, true);
}

// The ids the exported text carries: every value of an attribute written as
// ' id="..."'. Found in one pass over the text, so that linking thousands of
// headings does not search the whole book once per heading.
using IdIndex = std::unordered_set<std::string_view>;

IdIndex index_ids(const char *body) {
    IdIndex ids;
    if (!body)
        return ids;
    static const char kOpen[] = " id=\"";
    const size_t open_length = sizeof kOpen - 1;
    for (const char *p = strstr(body, kOpen); p; p = strstr(p, kOpen)) {
        const char *value = p + open_length;
        const char *end = strchr(value, '"');
        if (!end)
            break;
        ids.emplace(value, (size_t)(end - value));
        // An id's value may itself hold ' id="' (escaped text never does, but
        // raw HTML might): search on from inside it, as a plain text search
        // would.
        p = value;
    }
    return ids;
}

// Whether the text carries `id`, written as the HTML writer escapes it.
bool body_has_id(const IdIndex &ids, const char *id) {
    if (!id || !*id)
        return false;
    DString *escaped = d_string_new("");
    if (!escaped)
        return false;
    html_print_string(escaped, id, false);
    bool found = ids.count(std::string_view(escaped->str, escaped->length)) != 0;
    d_string_free(escaped, true);
    return found;
}

void toc_list(DString *out, const char *source, tzr_export_context *c, const IdIndex &ids,
              size_t *position, int16_t min_level);

const char *title_or_untitled(tzr_export_context *c) {
    const char *title = meta_value(c, "title");
    return title && *title ? title : "Untitled";
}

bool add_text(tzr_zip_archive *archive, epub_entry_adder add, const char *name, char *text,
              int level) {
    bool ok = text && add(archive, name, text, strlen(text), level);
    free(text);
    if (!ok)
        tzr_log("%s", kAddFailed);
    return ok;
}

const char *extension_for(const char *media_type) {
    static const char *const kExtensions[][2] = {
        {"image/png", ".png"}, {"image/jpeg", ".jpg"},     {"image/gif", ".gif"},
        {"image/svg+xml", ".svg"}, {"text/css", ".css"},
    };
    for (const auto &pair : kExtensions)
        if (!strcmp(pair[0], media_type))
            return pair[1];
    return "";
}

// Every "assets/" + `from` in the exported text becomes "assets/" + `to`.
// The names are fresh UUIDs, so they occur nowhere else.
void replace_reference(std::string &text, const std::string &from, const std::string &to) {
    const std::string find = "assets/" + from;
    const std::string replacement = "assets/" + to;
    for (size_t at = text.find(find); at != std::string::npos;
         at = text.find(find, at + replacement.size())) {
        text.replace(at, find.size(), replacement);
    }
}

}  // namespace

char *epub_mimetype(void) { return strdup(kMimetype); }

char *epub_container_xml(void) {
    return strdup("<?xml version=\"1.0\"?>\n"
                  "<container version=\"1.0\" "
                  "xmlns=\"urn:oasis:names:tc:opendocument:xmlns:container\">\n"
                  "<rootfiles>\n"
                  "<rootfile full-path=\"OEBPS/main.opf\" "
                  "media-type=\"application/oebps-package+xml\" />\n"
                  "</rootfiles>\n"
                  "</container>\n");
}

char *epub_modified_date(const char *date_value, int64_t now) {
    char buffer[32];
    if (date_value && utc_date_time(date_value))
        return strdup(date_value);
    if (date_value && strlen(date_value) == 10 && plain_date_at(date_value)) {
        snprintf(buffer, sizeof buffer, "%.10sT00:00:00Z", date_value);
        return strdup(buffer);
    }
    time_t t = static_cast<time_t>(now);
    struct tm utc {};
    if (!gmtime_r(&t, &utc))
        return strdup("1970-01-01T00:00:00Z");
    strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return strdup(buffer);
}

char *epub_package_opf(tzr_export_context *c, const epub_manifest_asset *assets,
                       size_t asset_count) {
    if (!c)
        return nullptr;
    DString *out = d_string_new("<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"no\"?>\n");
    if (!out)
        return nullptr;
    d_string_append(out, "<package xmlns=\"http://www.idpf.org/2007/opf\" version=\"3.0\" "
                         "unique-identifier=\"pub-id\">\n");
    d_string_append(out, "<metadata xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n");

    d_string_append(out, "<dc:identifier id=\"pub-id\">urn:uuid:");
    const char *uuid = meta_value(c, "uuid");
    if (uuid && *uuid) {
        html_print_string(out, uuid, false);
    } else {
        char *fresh = uuid_new_random();
        d_string_append(out, fresh ? fresh : "");
        free(fresh);
    }
    d_string_append(out, "</dc:identifier>\n");

    d_string_append(out, "<dc:title>");
    html_print_string(out, title_or_untitled(c), false);
    d_string_append(out, "</dc:title>\n");

    const char *author = meta_value(c, "author");
    if (author && *author) {
        d_string_append(out, "<dc:creator>");
        html_print_string(out, author, false);
        d_string_append(out, "</dc:creator>\n");
    }

    d_string_append(out, "<dc:language>");
    const char *language = meta_value(c, "language");
    if (is_language_tag(language))
        html_print_string(out, language, false);
    else
        d_string_append(out, language_for_code(c->language));
    d_string_append(out, "</dc:language>\n");

    char *modified = epub_modified_date(meta_value(c, "date"), static_cast<int64_t>(time(nullptr)));
    d_string_append(out, "<meta property=\"dcterms:modified\">");
    d_string_append(out, modified ? modified : "");
    d_string_append(out, "</meta>\n");
    free(modified);

    d_string_append(out, "</metadata>\n<manifest>\n");
    d_string_append(out, "<item id=\"nav\" href=\"nav.xhtml\" properties=\"nav\" "
                         "media-type=\"application/xhtml+xml\"/>\n");
    d_string_append(out,
                    "<item id=\"main\" href=\"main.xhtml\" media-type=\"application/xhtml+xml\"/>\n");
    for (size_t i = 0; assets && i < asset_count; i++) {
        d_string_append_printf(out, "<item id=\"asset-%lu\" href=\"assets/",
                               static_cast<unsigned long>(i + 1));
        html_print_string(out, assets[i].name, false);
        d_string_append(out, "\" media-type=\"");
        html_print_string(out, assets[i].media_type, false);
        d_string_append(out, "\"/>\n");
    }
    d_string_append(out, "</manifest>\n<spine>\n<itemref idref=\"main\"/></spine>\n</package>\n");
    return take(out);
}

namespace {

void toc_list(DString *out, const char *source, tzr_export_context *c, const IdIndex &ids,
              size_t *position, int16_t min_level) {
    if (!out || !source || !c || !position || !c->header_list)
        return;
    stack *headers = c->header_list;
    d_string_append(out, "\n<ol>\n");
    while (*position < headers->size) {
        auto *heading = static_cast<token *>(stack_peek_index(headers, *position));
        int level = tzr_heading_level(heading);
        if (level < min_level) {
            (*position)--;
            break;
        }
        char *label = tzr_heading_id(c, source, heading);
        // Link to the heading only when the text carries its id; a missing
        // fragment would be a broken link in the book.
        d_string_append(out, "<li><a href=\"main.xhtml");
        if (body_has_id(ids, label)) {
            d_string_append_c(out, '#');
            html_print_string(out, label, false);
        }
        d_string_append(out, "\">");
        append_heading_text(out, source, heading, c);
        d_string_append(out, "</a>");
        if (*position + 1 < headers->size &&
            tzr_heading_level(static_cast<token *>(stack_peek_index(headers, *position + 1))) >
                level) {
            (*position)++;
            toc_list(out, source, c, ids, position, static_cast<int16_t>(level + 1));
        }
        d_string_append(out, "</li>\n");
        free(label);
        (*position)++;
    }
    d_string_append(out, "</ol>\n");
}

}  // namespace

void epub_toc_list(DString *out, const char *source, tzr_export_context *c, const char *body,
                   size_t *position, int16_t min_level) {
    toc_list(out, source, c, index_ids(body), position, min_level);
}

void epub_write_toc(DString *out, tzr_engine *e, tzr_export_context *c, const char *body) {
    if (!out || !e || !c)
        return;
    const char *source = e->source ? e->source->str : "";
    if (!c->header_list || c->header_list->size == 0) {
        // A contents list needs at least one entry: the text as a whole.
        d_string_append(out, "\n<ol>\n<li><a href=\"main.xhtml\">");
        html_print_string(out, title_or_untitled(c), false);
        d_string_append(out, "</a></li>\n</ol>\n");
        return;
    }
    size_t position = 0;
    epub_toc_list(out, source, c, body, &position, 0);
}

char *epub_nav_xhtml(tzr_engine *e, tzr_export_context *c, const char *body) {
    if (!e || !c)
        return nullptr;
    DString *out = d_string_new("<!DOCTYPE html>\n");
    if (!out)
        return nullptr;
    d_string_append(out, "<html xmlns=\"http://www.w3.org/1999/xhtml\" "
                         "xmlns:epub=\"http://www.idpf.org/2007/ops\">\n");
    d_string_append(out, "<head>\n<title>");
    html_print_string(out, title_or_untitled(c), false);
    d_string_append(out, "</title>\n</head>\n");
    d_string_append(out, "<body>\n<nav epub:type=\"toc\">\n<h2>Table of Contents</h2>\n");
    epub_write_toc(out, e, c, body);
    d_string_append(out, "</nav>\n</body>\n</html>\n");
    return take(out);
}

DString *epub_build_archive_with(const char *body, tzr_engine *e, const char *asset_folder,
                                 epub_entry_adder add) {
    if (!e || !add)
        return nullptr;
    if (!body)
        body = "";
    tzr_export_context *c = tzr_export_context_new(e, TZR_FORMAT_EPUB);
    if (!c) {
        tzr_log("Unable to build EPUB: out of memory.\n");
        return nullptr;
    }

    // The pictures come first: the manifest lists each one that is stored,
    // with the media type its bytes show. The book holds only pictures of
    // the kinds every reading system shows, and the style sheet.
    std::vector<tzr_fetched_asset> fetched = tzr_fetch_package_assets(
        e, asset_folder, kAssetPrefix, TZR_FORMAT_EPUB, tzr_fetch_default_limits());
    // Reading systems and validators tell a picture's format by its file
    // name, so each stored asset's name gets the extension of its media
    // type, and the text's references to it follow.
    // The book is read as XML: the document's own raw HTML may not be.
    // Pictures that could not be had go back to where they were to come
    // from, as links.
    tzr_xhtml_missing missing;
    for (const auto &[name, url] : tzr_assets_not_fetched(e, fetched))
        missing.emplace("assets/" + name, url);
    std::string text = tzr_xhtml_from_html(body, missing);
    std::vector<std::string> names;
    std::vector<const char *> types;
    for (tzr_fetched_asset &asset : fetched) {
        const char *type = asset.media_type;
        std::string name = asset.name + extension_for(type);
        replace_reference(text, asset.name, name);
        asset.entry = kAssetPrefix + name;
        names.push_back(name);
        types.push_back(type);
    }
    std::vector<epub_manifest_asset> manifest;
    for (size_t i = 0; i < names.size(); i++)
        manifest.push_back({names[i].c_str(), types[i]});

    tzr_zip_archive *archive = tzr_zip_new_archive();
    bool ok = true;
    ok = add_text(archive, add, "mimetype", epub_mimetype(), 0) && ok;
    for (const char *folder : {"OEBPS/", "META-INF/"}) {
        if (!add(archive, folder, nullptr, 0, 0)) {
            tzr_log("%s", kAddFailed);
            ok = false;
        }
    }
    ok = add_text(archive, add, "META-INF/container.xml", epub_container_xml(), 9) && ok;
    ok = add_text(archive, add, "OEBPS/main.opf",
                  epub_package_opf(c, manifest.data(), manifest.size()), 9) &&
         ok;
    ok = add_text(archive, add, "OEBPS/nav.xhtml", epub_nav_xhtml(e, c, text.c_str()), 9) && ok;
    ok = add_text(archive, add, "OEBPS/main.xhtml", strdup(text.c_str()), 9) && ok;
    for (const tzr_fetched_asset &asset : fetched) {
        if (!add(archive, asset.entry.c_str(), asset.bytes.data(), asset.bytes.size(), 9)) {
            tzr_log("%s", kAddFailed);
            ok = false;
        }
    }
    tzr_export_context_free(c);

    if (!ok) {
        // Every entry is listed in the package document, so a book missing
        // any of them is broken: hand back nothing rather than that.
        tzr_zip_discard(archive);
        tzr_log("Unable to build EPUB: an entry could not be added.\n");
        return nullptr;
    }
    DString *book = tzr_zip_finalize(archive, kAddFailed);
    if (book && book->length == 0) {
        d_string_free(book, true);
        return nullptr;
    }
    return book;
}

DString *epub_build_archive(const char *body, tzr_engine *e, const char *asset_folder) {
    return epub_build_archive_with(body, e, asset_folder, tzr_zip_add_mem);
}

void epub_write_file(const char *path, const char *body, tzr_engine *e, const char *asset_folder) {
    if (!path)
        return;
    DString *book = epub_build_archive(body, e, asset_folder);
    if (!book)
        return;
    file_write_d_string(path, book);
    d_string_free(book, true);
}

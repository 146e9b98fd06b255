#include "library/writers/textbundle.h"

#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "library/assets.h"
#include "library/packaging/assets_fetch.h"
#include "library/diagnostics.h"
#include "library/engine.h"
#include "library/file_utils.h"
#include "library/writers/html.h"
#include "library/labels.h"
#include "library/records.h"
#include "library/stack.h"
#include "library/token_types.h"
#include "library/tzr.h"

namespace {

// The names of the assets that made it into the archive; NULL: all of them.
using StoredNames = std::set<std::string>;

constexpr const char *kAssetPrefix = "assets/";
constexpr const char *kContentFailed = "Error adding content to zip.\n";
constexpr size_t kMaxDepth = 1000;

// Replaces the first occurrence of `find` that lies wholly inside
// [start, start + len) of `text` with "assets/" + `name`; returns the change
// of length (0 when there is none). Only one occurrence changes: a range
// holds one reference, and any other copy of the address in it (a label, a
// title) is the writer's own text.
long replace_first_in_range(DString *text, size_t start, size_t len, const char *find,
                            const char *name) {
    size_t find_len = strlen(find);
    if (find_len == 0 || start > text->length)
        return 0;
    if (len > text->length - start)
        len = text->length - start;
    if (find_len > len)
        return 0;
    const char *base = text->str + start;
    for (size_t i = 0; i + find_len <= len; i++) {
        if (memcmp(base + i, find, find_len) != 0)
            continue;
        std::string replacement = std::string(kAssetPrefix) + name;
        d_string_erase(text, start + i, find_len);
        d_string_insert(text, start + i, replacement.c_str());
        return static_cast<long>(replacement.size()) - static_cast<long>(find_len);
    }
    return 0;
}

// A parse position moved onto the rewritten text, or false when it falls
// outside it.
bool shifted(size_t position, long offset, const DString *text, size_t *out) {
    long moved = static_cast<long>(position) + offset;
    if (moved < 0 || static_cast<size_t>(moved) > text->length)
        return false;
    *out = static_cast<size_t>(moved);
    return true;
}

bool is_definition_block(const tzr_engine *e, const token *t) {
    if (!e->definition_list)
        return false;
    for (size_t i = 0; i < e->definition_list->size; i++)
        if (stack_peek_index(e->definition_list, i) == t)
            return true;
    return false;
}

// The asset of a URL, when it is to be rewritten.
tzr_asset *stored_asset(tzr_engine *e, const char *url, const StoredNames *stored) {
    tzr_asset *asset = tzr_asset_table_find(e->asset_table, url);
    if (asset && stored && !stored->count(asset->name))
        return nullptr;
    return asset;
}

void rewrite_image(token *paren, DString *text, tzr_engine *e, long *offset,
                   const StoredNames *stored) {
    size_t start;
    if (paren->len < 2 || !shifted(paren->start, *offset, text, &start) ||
        start + paren->len > text->length)
        return;
    std::string inside(text->str + start + 1, paren->len - 2);
    char *clean = tzr_clean_string(inside.c_str(), false);
    if (!clean)
        return;
    std::string address = clean;
    free(clean);
    tzr_asset *asset = stored_asset(e, address.c_str(), stored);
    if (!asset) {
        // The address alone, when a title or attributes follow it or it is
        // written in angle brackets: the picture is stored all the same, so
        // the source must name the stored copy.
        address = address.substr(0, address.find(' '));
        if (address.size() > 2 && address.front() == '<' && address.back() == '>')
            address = address.substr(1, address.size() - 2);
        asset = stored_asset(e, address.c_str(), stored);
    }
    if (asset)
        *offset += replace_first_in_range(text, start, paren->len, address.c_str(), asset->name);
}

void rewrite_definition(token *block, DString *text, tzr_engine *e, long *offset,
                        const StoredNames *stored) {
    if (!block->child || !e->link_list)
        return;
    for (size_t i = 0; i < e->link_list->size; i++) {
        auto *link = static_cast<tzr_link *>(stack_peek_index(e->link_list, i));
        if (!link || !link->label || !link->url || link->label->start != block->child->start)
            continue;
        tzr_asset *asset = stored_asset(e, link->url, stored);
        if (!asset)
            continue;
        // Only the address after the label: a label that spells out the URL
        // must stay as it is, or the references to it would break.
        size_t label_end = link->label->start + link->label->len;
        size_t block_end = block->start + block->len;
        size_t from;
        if (label_end > block_end || !shifted(label_end, *offset, text, &from))
            continue;
        *offset += replace_first_in_range(text, from, block_end - label_end, link->url, asset->name);
    }
}

void rewrite_chain(token *t, DString *text, tzr_engine *e, long *offset, size_t depth,
                   const StoredNames *stored) {
    if (depth >= kMaxDepth)
        return;
    while (t) {
        if (t->type == PAIR_BRACKET_IMAGE) {
            if (t->next && t->next->type == PAIR_PAREN) {
                rewrite_image(t->next, text, e, offset, stored);
                t = t->next;
            }
        } else if (t->type == BLOCK_EMPTY && is_definition_block(e, t)) {
            rewrite_definition(t, text, e, offset, stored);
        } else if (t->child) {
            rewrite_chain(t->child, text, e, offset, depth + 1, stored);
        }
        t = t->next;
    }
}

// The value of a "css" entry, replaced on its own line only: other entries
// of the metadata block may mention the same text.
void rewrite_css_entry(const tzr_meta *entry, token *meta_block, DString *text, tzr_engine *e,
                       long *offset, const StoredNames *stored) {
    tzr_asset *asset = stored_asset(e, entry->value, stored);
    size_t line;
    if (!asset || !meta_block || entry->start < meta_block->start ||
        entry->start >= meta_block->start + meta_block->len ||
        !shifted(entry->start, *offset, text, &line))
        return;
    const char *colon = static_cast<const char *>(memchr(text->str + line, ':', text->length - line));
    const char *newline =
        static_cast<const char *>(memchr(text->str + line, '\n', text->length - line));
    size_t end = newline ? static_cast<size_t>(newline - text->str) : text->length;
    if (!colon || static_cast<size_t>(colon - text->str) >= end)
        return;
    size_t from = static_cast<size_t>(colon - text->str) + 1;
    *offset += replace_first_in_range(text, from, end - from, entry->value, asset->name);
}

void rewrite_source(DString *text, tzr_engine *e, const StoredNames *stored) {
    if (!text || !e || !e->root || !e->asset_table)
        return;
    long offset = 0;
    token *start = e->root->child;
    if (e->metadata_list) {
        for (size_t i = 0; i < e->metadata_list->size; i++) {
            auto *entry = static_cast<tzr_meta *>(stack_peek_index(e->metadata_list, i));
            if (!entry || !entry->key || !entry->value || strcmp(entry->key, "css") != 0)
                continue;
            token *meta = e->root->child;
            token_skip_until_type(&meta, BLOCK_META);
            if (!meta)
                continue;
            start = meta;
            rewrite_css_entry(entry, meta, text, e, &offset, stored);
        }
    }
    if (start)
        rewrite_chain(start, text, e, &offset, 0, stored);
}

// The HTML names every asset by its bundle path; one that is not in the
// bundle goes back to the address it was written with.
std::string html_with_missing_assets_restored(const char *html,
                                              const std::map<std::string, std::string> &missing) {
    std::string text = html;
    for (const auto &[name, url] : missing) {
        const std::string find = kAssetPrefix + name;
        DString *escaped = d_string_new("");
        if (!escaped)
            continue;
        html_print_string(escaped, url.c_str(), false);
        for (size_t at = text.find(find); at != std::string::npos;
             at = text.find(find, at + escaped->length))
            text.replace(at, find.size(), escaped->str);
        d_string_free(escaped, true);
    }
    return text;
}

}  // namespace

char *textbundle_info_json(void) {
    return strdup("{\n"
                  "\t\"version\": 2,\n"
                  "\t\"type\": \"net.daringfireball.markdown\",\n"
                  "\t\"transient\": false,\n"
                  "\t\"creatorIdentifier\": \"com.tessaro.orvane\"\n"
                  "}");
}

void textbundle_rewrite_asset_links(token *first, DString *text, tzr_engine *e, long *offset) {
    if (!first || !text || !e || !offset)
        return;
    rewrite_chain(first, text, e, offset, 0, nullptr);
}

void textbundle_markdown_text(DString *text, tzr_engine *e) { rewrite_source(text, e, nullptr); }

DString *tzr_textbundle_create_with(const char *html, tzr_engine *e, const char *asset_folder,
                                    textbundle_entry_adder add) {
    if (!e || !add)
        return nullptr;
    if (!html)
        html = "";
    tzr_zip_archive *archive = tzr_zip_new_archive();
    bool ok = true;

    char *info = textbundle_info_json();
    if (!info || !add(archive, "info.json", info, strlen(info), 9)) {
        tzr_log("Error adding JSON info to zip.\n");
        ok = false;
    }
    free(info);

    if (!add(archive, "assets/", nullptr, 0, 0)) {
        tzr_log("Error adding assets directory to zip.\n");
        ok = false;
    }

    // Fetch first: the source and the HTML then name the bundle's copy of
    // exactly those assets that it holds, and keep the written address of
    // any that could not be had.
    std::vector<tzr_fetched_asset> fetched = tzr_fetch_package_assets(
        e, asset_folder, kAssetPrefix, TZR_FORMAT_TEXTBUNDLE, tzr_fetch_default_limits());
    StoredNames stored;
    for (const tzr_fetched_asset &asset : fetched)
        stored.insert(asset.name);

    DString *markdown = d_string_new("");
    if (markdown && e->source)
        d_string_append_c_array(markdown, e->source->str, e->source->length);
    rewrite_source(markdown, e, &stored);
    if (!markdown || !add(archive, "text.markdown", markdown->str, markdown->length, 9)) {
        tzr_log("%s", kContentFailed);
        ok = false;
    }
    d_string_free(markdown, true);

    std::string text_html = html_with_missing_assets_restored(html, tzr_assets_not_fetched(e, fetched));
    if (!add(archive, "text.html", text_html.data(), text_html.size(), 9)) {
        tzr_log("%s", kContentFailed);
        ok = false;
    }

    for (const tzr_fetched_asset &asset : fetched) {
        if (!add(archive, asset.entry.c_str(), asset.bytes.data(), asset.bytes.size(), 9)) {
            if (asset.downloaded)
                tzr_log("Error adding asset '%s' to zip as '%s'.\n", asset.name.c_str(),
                        asset.entry.c_str());
            else
                tzr_log("Error adding asset '%s' to zip.\n", asset.entry.c_str());
            ok = false;
        }
    }

    if (!ok) {
        tzr_zip_discard(archive);
        tzr_log("Unable to build TextBundle: an entry could not be added.\n");
        return nullptr;
    }
    DString *bundle = tzr_zip_finalize(archive, "Error finalizing zip.\n");
    if (bundle && bundle->length == 0) {
        d_string_free(bundle, true);
        return nullptr;
    }
    return bundle;
}

DString *tzr_textbundle_create(const char *html, tzr_engine *e, const char *asset_folder) {
    return tzr_textbundle_create_with(html, e, asset_folder, tzr_zip_add_mem);
}

void tzr_textbundle_write_file(const char *path, const char *html, tzr_engine *e,
                               const char *asset_folder) {
    if (!path)
        return;
    DString *bundle = tzr_textbundle_create(html, e, asset_folder);
    if (!bundle)
        return;
    file_write_d_string(path, bundle);
    d_string_free(bundle, true);
}

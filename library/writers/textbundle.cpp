#include "textbundle.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "assets.h"
#include "assets_fetch.h"
#include "engine.h"
#include "labels.h"
#include "records.h"
#include "stack.h"
#include "token_types.h"

namespace {

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

void rewrite_image(token *paren, DString *text, tzr_engine *e, long *offset) {
    size_t start;
    if (paren->len < 2 || !shifted(paren->start, *offset, text, &start) ||
        start + paren->len > text->length)
        return;
    std::string inside(text->str + start + 1, paren->len - 2);
    char *clean = tzr_clean_string(inside.c_str(), false);
    if (!clean)
        return;
    tzr_asset *asset = tzr_asset_table_find(e->asset_table, clean);
    if (asset)
        *offset += replace_first_in_range(text, start, paren->len, clean, asset->name);
    free(clean);
}

void rewrite_definition(token *block, DString *text, tzr_engine *e, long *offset) {
    if (!block->child || !e->link_list)
        return;
    for (size_t i = 0; i < e->link_list->size; i++) {
        auto *link = static_cast<tzr_link *>(stack_peek_index(e->link_list, i));
        if (!link || !link->label || !link->url || link->label->start != block->child->start)
            continue;
        tzr_asset *asset = tzr_asset_table_find(e->asset_table, link->url);
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

void rewrite_chain(token *t, DString *text, tzr_engine *e, long *offset, size_t depth) {
    if (depth >= kMaxDepth)
        return;
    while (t) {
        if (t->type == PAIR_BRACKET_IMAGE) {
            if (t->next && t->next->type == PAIR_PAREN) {
                rewrite_image(t->next, text, e, offset);
                t = t->next;
            }
        } else if (t->type == BLOCK_EMPTY && is_definition_block(e, t)) {
            rewrite_definition(t, text, e, offset);
        } else if (t->child) {
            rewrite_chain(t->child, text, e, offset, depth + 1);
        }
        t = t->next;
    }
}

// The value of a "css" entry, replaced on its own line only: other entries
// of the metadata block may mention the same text.
void rewrite_css_entry(const tzr_meta *entry, token *meta_block, DString *text, tzr_engine *e,
                       long *offset) {
    tzr_asset *asset = tzr_asset_table_find(e->asset_table, entry->value);
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
    rewrite_chain(first, text, e, offset, 0);
}

void textbundle_markdown_text(DString *text, tzr_engine *e) {
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
            rewrite_css_entry(entry, meta, text, e, &offset);
        }
    }
    textbundle_rewrite_asset_links(start, text, e, &offset);
}

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
        fprintf(stderr, "Error adding JSON info to zip.\n");
        ok = false;
    }
    free(info);

    if (!add(archive, "assets/", nullptr, 0, 0)) {
        fprintf(stderr, "Error adding assets directory to zip.\n");
        ok = false;
    }

    DString *markdown = d_string_new("");
    if (markdown && e->source)
        d_string_append_c_array(markdown, e->source->str, e->source->length);
    textbundle_markdown_text(markdown, e);
    if (!markdown || !add(archive, "text.markdown", markdown->str, markdown->length, 9)) {
        fprintf(stderr, "%s", kContentFailed);
        ok = false;
    }
    d_string_free(markdown, true);

    if (!add(archive, "text.html", html, strlen(html), 9)) {
        fprintf(stderr, "%s", kContentFailed);
        ok = false;
    }

    // The source and the HTML now name every asset by its bundle path, so an
    // asset that fails to be stored is reported and left out like one that
    // cannot be fetched.
    std::vector<tzr_fetched_asset> fetched =
        tzr_fetch_assets(e, asset_folder, kAssetPrefix, tzr_fetch_default_limits());
    for (const tzr_fetched_asset &asset : fetched) {
        if (!add(archive, asset.entry.c_str(), asset.bytes.data(), asset.bytes.size(), 9)) {
            if (asset.downloaded)
                fprintf(stderr, "Error adding asset '%s' to zip as '%s'.\n", asset.name.c_str(),
                        asset.entry.c_str());
            else
                fprintf(stderr, "Error adding asset '%s' to zip.\n", asset.entry.c_str());
        }
    }

    if (!ok) {
        tzr_zip_discard(archive);
        fprintf(stderr, "Unable to build TextBundle: an entry could not be added.\n");
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
    FILE *file = fopen(path, "wb");
    if (!file) {
        perror(path);
    } else {
        if (bundle->length > 0 && fwrite(bundle->str, 1, bundle->length, file) != bundle->length)
            perror(path);
        if (fclose(file) != 0)
            perror(path);
    }
    d_string_free(bundle, true);
}

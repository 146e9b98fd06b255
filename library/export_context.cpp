#include "library/export_context.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "library/engine.h"
#include "library/labels.h"
#include "library/tzr.h"

namespace {

void add_note(tzr_store<tzr_note> &store, tzr_note *note) {
    if (!note)
        return;
    store.add(note->clean_text, note);
    store.add(note->label_text, note);
}

// Finds under a key made from `text`; the key is freed before returning.
template <typename T>
T *find_made_key(const tzr_store<T> &store, char *key) {
    T *found = store.find(key);
    free(key);
    return found;
}

// Calls `f` for each record of an engine list, in list order.
template <typename T, typename F>
void for_each_record(stack *list, F f) {
    if (!list)
        return;
    for (size_t i = 0; i < list->size; i++)
        if (list->element[i])
            f(static_cast<T *>(list->element[i]));
}

void free_note_lists(stack *used, stack *made) {
    stack_free(used);
    if (made) {
        for (size_t i = 0; i < made->size; i++)
            tzr_note_free(static_cast<tzr_note *>(made->element[i]));
        stack_free(made);
    }
}

}  // namespace

void tzr_export_context_free(tzr_export_context *context) {
    if (!context)
        return;
    stack_free(context->open_headings);
    free_note_lists(context->footnotes_used, context->footnotes_inline);
    free_note_lists(context->citations_used, context->citations_inline);
    free(context->bibtex_name);
    free_note_lists(context->glossary_used, context->glossary_inline);
    free_note_lists(context->abbreviations_used, context->abbreviations_inline);
    delete context;
}

void tzr_store_add_link(tzr_export_context *context, tzr_link *link) {
    if (!context || !link)
        return;
    context->link_store.add(link->clean_text, link);
    context->link_store.add(link->label_text, link);
}

void tzr_store_add_footnote(tzr_export_context *context, tzr_note *note) {
    if (context)
        add_note(context->footnote_store, note);
}

void tzr_store_add_citation(tzr_export_context *context, tzr_note *note) {
    if (context)
        add_note(context->citation_store, note);
}

void tzr_store_add_glossary(tzr_export_context *context, tzr_note *note) {
    if (context)
        add_note(context->glossary_store, note);
}

void tzr_store_add_abbreviation(tzr_export_context *context, tzr_note *note) {
    if (context && note)
        context->abbreviation_store.add(note->label_text, note);
}

void tzr_store_add_metadata(tzr_export_context *context, tzr_meta *entry) {
    if (context && entry)
        context->meta_store.add(entry->key, entry);
}

tzr_link *tzr_find_link(const tzr_export_context *context, const char *text) {
    if (!context || !text)
        return nullptr;
    return tzr_find_link_range(context, text, strlen(text));
}

tzr_link *tzr_find_link_range(const tzr_export_context *context, const char *text, size_t len) {
    if (!context || !text || context->link_store.empty())
        return nullptr;
    // Every bracket of a document is looked up: its two keys are made in a
    // buffer on the stack (the heap only for a long text), and a NUL ends
    // the text as it ends a C string.
    if (const void *nul = memchr(text, '\0', len))
        len = (size_t)(static_cast<const char *>(nul) - text);
    constexpr size_t kOnStack = 256;
    char on_stack[kOnStack + 1];
    char *key = len <= kOnStack ? on_stack : static_cast<char *>(malloc(len + 1));
    if (!key)
        return nullptr;
    tzr_link *found = context->link_store.find(std::string_view(key, tzr_clean_into(key, text, len, true)));
    if (!found)
        found = context->link_store.find(std::string_view(key, tzr_label_into(key, text, len)));
    if (key != on_stack)
        free(key);
    return found;
}

tzr_link *tzr_find_link_exact(const tzr_export_context *context, const char *text) {
    if (!context || !text)
        return nullptr;
    if (tzr_link *l = context->link_store.find(text))
        return l;
    return find_made_key(context->link_store, tzr_clean_string(text, true));
}

tzr_meta *tzr_meta_find(const tzr_export_context *context, const char *key) {
    if (!context || !key)
        return nullptr;
    return find_made_key(context->meta_store, tzr_clean_string(key, true));
}

const char *tzr_meta_value_for_key(const tzr_export_context *context, const char *key) {
    if (!context || !key)
        return nullptr;
    tzr_meta *m = find_made_key(context->meta_store, tzr_label_from_text(key));
    if (!m)
        m = tzr_meta_find(context, key);
    return m ? m->value : nullptr;
}

void tzr_pad_newlines(DString *out, int16_t n, tzr_export_context *context) {
    if (!out || !context)
        return;
    while (context->newline_count < n) {
        d_string_append_c(out, '\n');
        context->newline_count++;
    }
}

char tzr_column_alignment(const tzr_export_context *context, int32_t column) {
    if (!context || column < 0 || (size_t)column >= context->column_alignment.size())
        return 'n';
    return context->column_alignment[(size_t)column];
}

tzr_export_context *tzr_export_context_new(tzr_engine *e, int16_t format) {
    if (!e)
        return nullptr;
    tzr_export_context *context = new (std::nothrow) tzr_export_context();
    if (!context)
        return nullptr;
    context->ext_flags = e->extensions;
    context->format = format;
    context->language = e->language;
    context->quotes_language = e->quotes_language;
    context->header_list = e->header_list;
    context->record_output = !e->output_unread;
    context->open_headings = stack_new(0);
    // The base comes from the C library's generator, which is not reseeded
    // here; the writers derive each footnote's number from it.
    if (context->ext_flags & TZR_EXT_RANDOM_FOOT)
        context->random_base = (uint32_t)(c_library_rand() % 32000);

    // A link is stored under its clean text and its label text.
    if (e->link_list)
        context->link_store.reserve(2 * e->link_list->size);
    for_each_record<tzr_link>(e->link_list, [&](tzr_link *l) { tzr_store_add_link(context, l); });
    context->citations_used = stack_new(0);
    context->citations_inline = stack_new(0);
    for_each_record<tzr_note>(e->citation_list, [&](tzr_note *n) { tzr_store_add_citation(context, n); });
    context->footnotes_used = stack_new(0);
    context->footnotes_inline = stack_new(0);
    for_each_record<tzr_note>(e->footnote_list, [&](tzr_note *n) { tzr_store_add_footnote(context, n); });
    context->glossary_used = stack_new(0);
    context->glossary_inline = stack_new(0);
    for_each_record<tzr_note>(e->glossary_list, [&](tzr_note *n) { tzr_store_add_glossary(context, n); });
    context->abbreviations_used = stack_new(0);
    context->abbreviations_inline = stack_new(0);
    for_each_record<tzr_note>(e->abbreviation_list,
                              [&](tzr_note *n) { tzr_store_add_abbreviation(context, n); });
    for_each_record<tzr_meta>(e->metadata_list, [&](tzr_meta *m) { tzr_store_add_metadata(context, m); });
    context->critic_tokens = e->critic_list;

    if (!context->open_headings || !context->citations_used || !context->citations_inline ||
        !context->footnotes_used || !context->footnotes_inline || !context->glossary_used ||
        !context->glossary_inline || !context->abbreviations_used || !context->abbreviations_inline) {
        tzr_export_context_free(context);
        return nullptr;
    }
    return context;
}

char *tzr_heading_id(tzr_export_context *context, const char *source, token *heading) {
    if (!context || !source || !heading)
        return tzr_label_from_header(source, heading);
    if (!context->heading_ids_made) {
        tzr_unique_heading_ids(&context->heading_ids, source, context->header_list,
                               context->heading_links, context->heading_links_from);
        context->heading_ids_made = true;
    }
    const std::string_view *id = context->heading_ids.of.find(heading);
    if (!id)
        return tzr_label_from_header(source, heading);
    return tzr_copy_bytes(id->data(), id->size());
}

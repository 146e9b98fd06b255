#include "library/writers/writer_tables.h"

#include <vector>

#include "library/writers/writer_utils.h"

namespace writer_utils {

void write_chain_as_text(DString *out, const char *source, token *t, text_writer text) {
    if (!out || !source || !text)
        return;
    std::vector<token *> after;  // where each chain entered goes on
    size_t end = 0;              // where the last leaf written ends
    bool written = false;
    while (t) {
        if (t->child) {
            if (t->next)
                after.push_back(t->next);
            t = t->child;
            continue;
        }
        // The blanks that a marker took off the line between two leaves
        // go back in; what a line lost before its first leaf does not.
        if (written && t->start > end) {
            size_t gap = end;
            while (gap < t->start && (source[gap] == ' ' || source[gap] == '\t'))
                gap++;
            if (gap == t->start)
                text(out, source + end, t->start - end);
        }
        if (t->len) {
            text(out, source + t->start, t->len);
            end = t->start + t->len;
            written = true;
        }
        t = t->next;
        if (!t && !after.empty()) {
            t = after.back();
            after.pop_back();
        }
    }
}

bool mark_table::write(DString *out, const char *source, token *t, tzr_export_context *c) const {
    const mark_spelling *s = find(t->type);
    if (!s)
        return false;
    switch (s->kind) {
    case mark_kind::none: return false;
    case mark_kind::literal: d_string_append(out, s->text); break;
    case mark_kind::paired:
        d_string_append(out, !t->mate ? s->text : is_opening(t) ? s->opening : s->closing);
        break;
    case mark_kind::typographic:
        if (smart(c))
            d_string_append(out, s->smart);
        else if (s->text)
            d_string_append(out, s->text);
        else
            text_(out, source, t);
        break;
    case mark_kind::quote: {
        if (!t->mate || !smart(c)) {
            d_string_append(out, s->text);
            break;
        }
        // The alternative closing quote never opens.
        bool opens = t->type != QUOTE_RIGHT_ALT && is_opening(t);
        if (t->type == QUOTE_SINGLE)
            d_string_append(out, quote(c, opens ? kSingleOpen : kSingleClose));
        else
            d_string_append(out, quote(c, opens ? kDoubleOpen : kDoubleClose));
        break;
    }
    case mark_kind::script:
        if (t->mate) {
            d_string_append(out, is_opening(t) ? s->opening : s->closing);
        } else if (t->len == 1) {
            d_string_append(out, s->text);
        } else {
            d_string_append(out, s->opening);
            if (t->child)
                token_(out, source, t->child, c);
            d_string_append(out, s->closing);
        }
        break;
    case mark_kind::source: text_(out, source, t); break;
    case mark_kind::children:
        if (t->child)
            chain_(out, source, t->child, c);
        break;
    case mark_kind::line_break:
        if (t->next) {
            d_string_append(out, s->text);
            c->newline_count = s->newlines;
        }
        break;
    case mark_kind::line_end:
        if (t->next)
            d_string_append_c(out, '\n');
        break;
    case mark_kind::silent: break;
    }
    return true;
}

bool block_frames::write(DString *out, const char *source, token *t, tzr_export_context *c) const {
    if (t->type >= kTokenTypeCount || !slot_of_type_[t->type])
        return false;
    const block_frame *f = &rows_[slot_of_type_[t->type] - 1].frame;
    if (f->pad)
        tzr_pad_newlines(out, f->pad, c);
    bool opens_run = !(f->joins_run && t->prev && t->prev->type == t->type);
    if (f->open && opens_run)
        d_string_append(out, f->open);
    if (f->after_open != block_frame::kKeep)
        c->newline_count = f->after_open;
    if (!f->without_children && t->child)
        chain_(out, source, t->child, c);
    if (f->pad_close)
        tzr_pad_newlines(out, f->pad_close, c);
    bool closes_run = !(f->joins_run && t->next && t->next->type == t->type);
    if (f->close && closes_run)
        d_string_append(out, f->close);
    c->newline_count = f->after;
    return true;
}

}  // namespace writer_utils

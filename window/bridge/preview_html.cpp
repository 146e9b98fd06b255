#include "window/bridge/preview_html.h"

#include "library/d_string.h"
#include "library/engine.h"
#include "library/token.h"
#include "library/token_types.h"
#include "window/bridge/scroll_anchor.h"

#include <QStringDecoder>

#include <algorithm>
#include <cstring>

std::vector<size_t> topBlockOffsets(tzr_engine *e, const DString *html) {
    std::vector<size_t> offsets;
    token *root = e ? tzr_engine_root(e) : nullptr;
    if (!root || !root->written)
        return offsets;
    // Each block's HTML begins where the writer began it, the blank lines
    // before it included, and ends where the next one begins: the root
    // writes nothing of its own between its children.
    for (token *t = root->child; t; t = t->next) {
        if (!t->written || token_output(t)->len == 0)
            continue;  // passed over (a table's caption, written inside the table), or nothing written
        if (t->type == BLOCK_DEFLIST && t->prev && t->prev->type == BLOCK_DEFLIST)
            continue;  // in the list of definitions the one before it opened
        const size_t start = token_output(t)->start;
        if (offsets.empty() || start > offsets.back())
            offsets.push_back(start);
    }
    // The note sections, when the body goes on after the root's HTML.
    const token_output_span *span = token_output(root);
    const size_t end = size_t(span->start) + span->len;
    size_t next = end;
    while (html && next < html->length && (html->str[next] == '\n' || html->str[next] == ' '))
        next++;
    const bool notes = html && next < html->length && strncmp(html->str + next, "</body>", 7) != 0;
    if (notes && (offsets.empty() || end > offsets.back()))
        offsets.push_back(end);
    return offsets;
}

QString decodeWithOffsets(const char *bytes, size_t length, std::vector<size_t> &offsets) {
    // Every piece decoded by itself: a place at the start of a character
    // ends no sequence early. As in fromUtf8, a byte-order mark at the start
    // is dropped, and one anywhere else is a character like any other,
    // wherever a piece begins.
    QStringDecoder first(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    QStringDecoder rest(QStringConverter::Utf8,
                        QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    auto decode = [&](QChar *out, size_t from, size_t to) {
        return (from == 0 ? first : rest).appendToBuffer(out, QByteArrayView(bytes + from, qsizetype(to - from)));
    };
    QString text(qsizetype(length), Qt::Uninitialized);
    QChar *const begin = text.data();
    QChar *out = begin;
    size_t from = 0;
    for (size_t &offset : offsets) {
        const size_t to = std::clamp(offset, from, length);
        out = decode(out, from, to);
        offset = size_t(out - begin);
        from = to;
    }
    out = decode(out, from, length);
    text.truncate(out - begin);
    return text;
}

PreviewHtml previewHtml(tzr_engine *e, DString *html, std::optional<size_t> anchor) {
    PreviewHtml published;
    if (!html)
        return published;
    std::vector<size_t> offsets = topBlockOffsets(e, html);
    if (anchor) {
        // The anchor goes right after the HTML of a token, and so with the
        // block that wrote it: a block that begins where it goes begins
        // after it.
        const size_t at = std::min(*anchor, html->length);
        insertScrollAnchor(html, at);
        const size_t inserted = strlen(kScrollAnchor);
        for (size_t &offset : offsets)
            if (offset >= at)
                offset += inserted;
    }
    published.html = decodeWithOffsets(html->str, html->length, offsets);
    if (!offsets.empty())
        published.blockStarts =
            std::make_shared<const std::vector<qsizetype>>(offsets.begin(), offsets.end());
    return published;
}

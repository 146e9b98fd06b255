// The HTML the engine bridge publishes for a text, made as a cycle makes it
// (a live engine that records where each token's HTML went, the bridge's
// extensions, e-mail addresses drawn from the generator's start, the scroll
// anchor at the caret), without a bridge.
#pragma once

#include "library/d_string.h"
#include "library/engine.h"
#include "library/export.h"
#include "library/packaging/random.h"
#include "library/tzr.h"
#include "window/bridge/preview_html.h"
#include "window/bridge/scroll_anchor.h"

#include <QString>

#include <optional>

inline PreviewHtml renderedForPreview(const QString &text, std::optional<qsizetype> caret = std::nullopt) {
    const QByteArray utf8 = text.toUtf8();
    tzr_engine *engine =
        tzr_engine_create_with_string(utf8.constData(), TZR_EXT_COMPLETE | TZR_EXT_NOTES | TZR_EXT_SMART);
    tzr_engine_parse_string(engine);
    // E-mail addresses obfuscated the same way every time, as the bridge
    // draws them.
    random_seed(RANDOM_DEFAULT_SEED);
    DString *html = d_string_new("");
    tzr_export_document(html, engine, 0);
    std::optional<size_t> anchor;
    if (caret)
        anchor = htmlOffsetForTextCharOffset(engine, size_t(*caret));
    PreviewHtml published = previewHtml(engine, html, anchor);
    d_string_free(html, true);
    tzr_engine_free(engine, true);
    return published;
}

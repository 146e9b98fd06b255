// One cycle's rendering: the editor text prepared, parsed and written as HTML,
// and the HTML handed to the preview with the scroll anchor at the caret.
#include <cstring>

#include "library/d_string.h"
#include "library/engine.h"
#include "library/export.h"
#include "platform/prefs/defaults.h"
#include "library/transclude.h"
#include "library/tzr.h"
#include "window/bridge/scroll_anchor.h"
#include "window/bridge/tzr_engine.h"
#include "window/bridge/tzr_engine_core.h"

unsigned short languagePreference() {
    // Read as a value and taken as a short, as the preference always was.
    return static_cast<unsigned short>(
        static_cast<short>(platform::Defaults::standard().integerForKey(QStringLiteral("LANGUAGE"))));
}

void TZREngineCore::prepareSource(DString *text, short format, uint64_t extensions) const {
    const QByteArray folder = transclusionFolder().toUtf8();
    const QByteArray file = transclusionFile().toUtf8();
    tzr_prepare_source(text, extensions, pathOrNull(folder), pathOrNull(file), format);
}

bool TZREngineCore::updateTZREngine(Cycle &cycle) {
    const uint64_t flags = TZREngine::extensions();
    const unsigned short language = languagePreference();
    std::lock_guard lock(engineMutex);
    if (!engine)
        return false;
    d_string_erase(source, 0, size_t(-1));
    d_string_erase(html, 0, size_t(-1));
    d_string_append_c_array(source, cycle.text.constData(), size_t(cycle.text.size()));
    prepareSource(source, 0, flags);
    cycle.editorOffsets = source->length == size_t(cycle.text.size()) &&
                          memcmp(source->str, cycle.text.constData(), source->length) == 0;
    // A question asked between cycles (the tags) may have left results.
    tzr_engine_reset(engine);
    tzr_engine_set_language(engine, language);
    tzr_engine_parse_string(engine);
    // The export also records where each token's HTML went, for the anchor,
    // and fills the change list that the changes sidebar reads.
    tzr_export_document(html, engine, 0);
    return true;
}

void TZREngineCore::updatePreview(const Cycle &cycle) {
    std::optional<qsizetype> location;
    if (cycle.range && cycle.range->location >= 0)
        location = cycle.range->location;
    if (!cycle.liveUpdatePreview) {
        // The preview waits for the document to write its file.
        if (okToUpdatePreview.exchange(false))
            storeHTMLString(location);
        return;
    }
    // A typed space changes nothing worth showing: this cycle stores nothing.
    if (!cycle.typedSpace)
        storeHTMLString(location);
}

void TZREngineCore::storeHTMLString(std::optional<qsizetype> location) {
    QString text;
    {
        std::lock_guard lock(engineMutex);
        std::optional<size_t> offset;
        if (location)
            offset = htmlOffsetForTextCharOffset(engine, size_t(*location));
        insertScrollAnchor(html, offset);
        text = QString::fromUtf8(html->str, qsizetype(html->length));
    }
    if (!closing)
        htmlString.setAlways(text);
}

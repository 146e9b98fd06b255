// One cycle's rendering: the editor text prepared, parsed and written as HTML,
// and the HTML handed to the preview with the scroll anchor at the caret.
#include <cstring>

#include "library/d_string.h"
#include "library/engine.h"
#include "library/export.h"
#include "library/packaging/random.h"
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
    prepareSource(text, format, extensions, transclusionFolder(), transclusionFile());
}

void TZREngineCore::prepareSource(DString *text, short format, uint64_t extensions, const QString &folder,
                                  const QString &file) {
    const QByteArray folderUtf8 = folder.toUtf8();
    const QByteArray fileUtf8 = file.toUtf8();
    tzr_prepare_source(text, extensions, pathOrNull(folderUtf8), pathOrNull(fileUtf8), format);
}

bool TZREngineCore::updateTZREngine(Cycle &cycle) {
    const EngineSnapshot &state = cycle.state;
    std::lock_guard lock(engineMutex);
    if (!engine)
        return false;
    d_string_erase(source, 0, size_t(-1));
    d_string_erase(html, 0, size_t(-1));
    d_string_append_c_array(source, state.text.constData(), size_t(state.text.size()));
    prepareSource(source, 0, state.extensions, state.transclusionFolder, state.transclusionFile);
    cycle.editorOffsets = source->length == size_t(state.text.size()) &&
                          memcmp(source->str, state.text.constData(), source->length) == 0;
    // A question asked between cycles (the tags) may have left results.
    tzr_engine_reset(engine);
    tzr_engine_set_language(engine, state.language);
    tzr_engine_parse_string(engine);
    // Each cycle draws the e-mail obfuscation's sequence from its start, as
    // a fresh thread does: an address an edit did not reach is written the
    // same way every time, and the preview's page takes in only what the
    // edit changed (a long line holding addresses is not sent whole).
    random_seed(RANDOM_DEFAULT_SEED);
    // The export also records where each token's HTML went, for the anchor,
    // and fills the change list that the changes sidebar reads.
    tzr_export_document(html, engine, 0);
    return true;
}

void TZREngineCore::updatePreview(const Cycle &cycle) {
    const EngineSnapshot &state = cycle.state;
    std::optional<qsizetype> location;
    if (state.range && state.range->location >= 0)
        location = state.range->location;
    if (!state.liveUpdatePreview) {
        // The preview waits for the document to write its file.
        if (okToUpdatePreview.exchange(false))
            publishHTML(anchoredHTML(location));
        return;
    }
    // A typed space seldom changes what the page shows, and the next key
    // usually follows at once: its HTML is held rather than shown, and shown
    // only when typing pauses (see TZREngine::resumeUpdating). It may hold
    // other keys too, typed while the last cycle ran, and a space can change
    // what the page shows (a word split, a list begun): dropping it would
    // leave the page without them until the next key.
    if (state.typedSpace)
        holdHTML(anchoredHTML(location));
    else
        publishHTML(anchoredHTML(location));
}

QString TZREngineCore::anchoredHTML(std::optional<qsizetype> location) {
    std::lock_guard lock(engineMutex);
    std::optional<size_t> offset;
    if (location)
        offset = htmlOffsetForTextCharOffset(engine, size_t(*location));
    insertScrollAnchor(html, offset);
    return QString::fromUtf8(html->str, qsizetype(html->length));
}

void TZREngineCore::publishHTML(const QString &text) {
    if (!closing)
        htmlString.setAlways(text);
}

void TZREngineCore::holdHTML(QString text) {
    std::lock_guard lock(m_heldMutex);
    m_heldHtml = std::move(text);
}

std::optional<QString> TZREngineCore::takeHeldHTML() {
    std::lock_guard lock(m_heldMutex);
    return std::exchange(m_heldHtml, std::nullopt);
}

bool TZREngineCore::holdsHTML() const {
    std::lock_guard lock(m_heldMutex);
    return m_heldHtml.has_value();
}

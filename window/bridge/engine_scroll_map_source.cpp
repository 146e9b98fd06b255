#include "window/bridge/engine_scroll_map_source.h"

#include "window/bridge/tzr_engine.h"
#include "window/bridge/tzr_engine_core.h"

EngineScrollMapSource::EngineScrollMapSource(TZREngine *engine) : m_engine(engine) {}

uint64_t EngineScrollMapSource::extensions() const {
    return TZREngine::extensions();
}

unsigned short EngineScrollMapSource::language() const {
    return languagePreference();
}

void EngineScrollMapSource::prepareSource(DString *source, unsigned short format, uint64_t extensions) const {
    if (m_engine)
        m_engine->prepareSource(source, short(format), extensions);
}

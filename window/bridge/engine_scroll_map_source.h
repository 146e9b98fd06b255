// The engine bridge as the scroll synchroniser's source: the map parses the
// editor text prepared exactly as the preview's HTML was.
#pragma once

#include "window/scrollsync/sync_scroller.h"

#include <QPointer>

class TZREngine;

class EngineScrollMapSource : public ScrollMapSource {
public:
    explicit EngineScrollMapSource(TZREngine *engine);

    uint64_t extensions() const override;
    unsigned short language() const override;
    void prepareSource(DString *source, unsigned short format, uint64_t extensions) const override;

private:
    QPointer<TZREngine> m_engine;
};

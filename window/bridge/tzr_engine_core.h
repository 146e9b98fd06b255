// The part of a TZREngine that its background work holds: the flags of the
// update cycle, the live document engine with its source and HTML, the
// document's paths and the published values. A cycle keeps the core alive,
// so that a bridge destroyed during a cycle leaves it nothing dangling.
//
// A cycle works from a snapshot taken on the main thread when it was asked
// for; it never calls into the bridge, the editor or a view, and never waits
// for the main thread. What the main thread must learn from it (the end of
// the cycle, new citation keys, a folder to ask permission for) is posted
// there, where `owner` is read and cleared.
//
// Locks, both recursive, each taken on its own: `objectMutex` guards the
// three flags, `engineMutex` the engine, the source and the HTML. When both
// are held, the object lock is taken first. The main thread takes either only
// for moments (a request, the resume, the tags), and a cycle holding the
// engine lock never waits for it.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

#include <QByteArray>
#include <QString>

#include "platform/runtime/observable.h"
#include "platform/text/text_range.h"
#include "window/sidebars/sidebar_rows.h"

class TZREngine;
struct DString;
struct tzr_engine;

// The "LANGUAGE" preference as the library's language code.
unsigned short languagePreference();

// A path handed to the library: NULL for none.
inline const char *pathOrNull(const QByteArray &utf8) { return utf8.isEmpty() ? nullptr : utf8.constData(); }

// What a cycle works from, taken on the main thread when it is asked for (or
// when the replay starts) and never changed after: the editor text and its
// generation, where the anchor goes, which views are shown, the typed-space
// flag, the document's paths and the preferences the cycle reads.
struct EngineSnapshot {
    std::optional<platform::TextRange> range;
    bool previewVisible = false;
    bool changesVisible = false;
    bool referencesVisible = false;
    bool tocVisible = false;
    bool liveUpdatePreview = true;
    bool typedSpace = false;  // read and cleared for a visible, live preview
    QByteArray text;          // the editor text as UTF-8 (not taken when too large to render)
    qsizetype textLength = 0; // its length in bytes
    quint64 generation = 0;   // the edit generation of that text
    QString transclusionFile;
    QString transclusionFolder;
    uint64_t extensions = 0;  // TZREngine::extensions()
    unsigned short language = 0;
    qint64 maxToCDepth = 0;

    bool anyVisible() const { return previewVisible || changesVisible || referencesVisible || tocVisible; }
};

class TZREngineCore : public std::enable_shared_from_this<TZREngineCore> {
public:
    TZREngineCore();
    ~TZREngineCore();
    TZREngineCore(const TZREngineCore &) = delete;
    TZREngineCore &operator=(const TZREngineCore &) = delete;

    // The bridge; read and written on the main thread only.
    TZREngine *owner = nullptr;
    std::atomic<bool> closing{false};

    mutable std::recursive_mutex objectMutex;
    bool isUpdating = true;          // a cycle is in flight (blocked at first)
    bool needsFinalUpdate = true;    // a request came during the cycle
    bool needsNewExtensions = true;  // the engine must be rebuilt first

    mutable std::recursive_mutex engineMutex;
    tzr_engine *engine = nullptr;  // over `source`, which it does not own
    // Whether `engine` is set, readable without the lock: a request must not
    // wait for a cycle's parse to learn that the bridge is still blocked.
    std::atomic<bool> hasEngine{false};
    DString *source = nullptr;     // the prepared copy of the editor text
    DString *html = nullptr;       // the HTML of the cycle that runs

    std::atomic<bool> dontAskSandboxPermission{false};
    std::atomic<bool> okToUpdatePreview{true};
    std::atomic<quint64> completedCycles{0};

    platform::Observable<QString> htmlString;
    platform::Observable<HeaderList> headers;
    platform::Observable<LabelSet> references;
    platform::Observable<LabelSet> citeKeys;
    platform::Observable<ChangeList> changes;
    platform::Observable<LabelSet> sandboxAssets;

    void setTransclusionFile(const QString &path);
    void setTransclusionFolder(const QString &path);
    QString transclusionFile() const;
    QString transclusionFolder() const;

    // Asks for a cycle from any thread: the request is made on the main
    // thread, where the bridge takes its snapshot (posted there from others).
    void updateData(std::optional<platform::TextRange> range);
    // Runs a cycle over `snapshot` on the background pool; the request has
    // set `isUpdating`.
    void startCycle(std::shared_ptr<const EngineSnapshot> snapshot);
    // Rebuilds the engine, or notes the rebuild during a cycle. From the main
    // thread the work moves to the background pool.
    void setTZRExtensions();
    // The source preparation shared by rendering and export: header and
    // footer text, transclusion, CriticMarkup accepted or rejected; with the
    // document's paths as they are now, or as given.
    void prepareSource(DString *source, short format, uint64_t extensions) const;
    static void prepareSource(DString *source, short format, uint64_t extensions, const QString &folder,
                              const QString &file);
    // Makes the live engine over the source when there is none (engine lock
    // held).
    void ensureEngine(uint64_t extensions);

    // Ends a cycle that will not run, or did not finish: no resume follows.
    void endCycleEarly();

    // The HTML of a cycle run for a typed space, held back from the preview
    // until typing pauses; a newer cycle drops it (main thread).
    std::optional<QString> takeHeldHTML();
    bool holdsHTML() const;

private:
    struct Cycle;

    void runCycle(const EngineSnapshot &snapshot);
    // Runs `fn` with the bridge on the main thread later, unless the bridge
    // has gone by then.
    void postToOwner(std::function<void(TZREngine &)> fn);
    void scheduleResume();
    // Hands a reference to the main thread, so that the last one (and with
    // it the published values' notifiers) goes there.
    static void releaseOnMain(std::shared_ptr<TZREngineCore> core);

    // The steps of a cycle (tzr_engine_render.cpp).
    bool updateTZREngine(Cycle &cycle);
    void updatePreview(const Cycle &cycle);
    // The cycle's HTML with the scroll anchor at the block of `location`.
    QString anchoredHTML(std::optional<qsizetype> location);
    void publishHTML(const QString &text);
    void holdHTML(QString text);

    // The sidebars' lists (tzr_engine_lists.cpp).
    template <typename List, typename Rows>
    List stamped(const Cycle &cycle, Rows rows) const;
    template <typename List>
    bool publish(platform::Observable<List> &list, const List &value);
    void updateTOC(const Cycle &cycle);
    void updateReferences(const Cycle &cycle);
    void updateBibTeX(const Cycle &cycle);
    void updateChanges(const Cycle &cycle);
    void updateSandboxAssets(const Cycle &cycle);
    void updateSandboxPermissions(const Cycle &cycle, const QSet<QString> &assets);
    // Asks the user for access to `folder` (main thread).
    void askSandboxPermission(const QString &folder);

    bool m_askingPermission = false;  // main thread: the panel is open
    mutable std::mutex m_heldMutex;
    std::optional<QString> m_heldHtml;
    mutable std::mutex m_pathMutex;
    QString m_transclusionFile;
    QString m_transclusionFolder;
};

// What a cycle learns on its way about the snapshot it works from.
struct TZREngineCore::Cycle {
    const EngineSnapshot &state;
    bool editorOffsets = true;  // the prepared source is the text unchanged
};

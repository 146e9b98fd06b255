// TZREngine: the bridge between one document window's editor and the document
// library. It keeps its own copy of the editor text with a live document
// engine, and after each edit prepares that copy (header and footer text,
// transclusion, CriticMarkup accepted or rejected), parses it and writes it
// as HTML on a background thread, puts the scroll anchor at the caret's block
// and publishes the HTML for the preview and the row lists for the visible
// sidebars. It also exports the text to any output format and reads the
// document's tags.
//
// Update cycles: an edit (the editor's charCount) asks for a cycle. While one
// runs, further requests only note that one more is needed; 0.05 s after a
// cycle ends, that one more runs for the caret where it is then. The bridge
// starts blocked: the window content enables it 0.2 s after the window is
// built. A cycle does nothing when the preview and all three sidebars are
// hidden, and builds each list only for a visible sidebar.
//
// Threads: the editor and the views are asked on the main thread only. When a
// cycle is asked for (or its replay starts), the bridge reads there, at once,
// everything the cycle needs (the text, its generation, the caret's place,
// the typed-space flag, which views are shown, the document's paths, the
// preferences) into one snapshot, and hands that to the background thread.
// The cycle never calls back and never waits for the main thread: what the
// main thread must learn from it (its end, new citation keys) is posted
// there. The published values are stored from the background thread and
// reach their observers in the observers' threads. The bridge can be
// destroyed while a cycle runs: the cycle stops at its next step and
// publishes nothing more.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <memory>
#include <optional>

#include "platform/runtime/observable.h"
#include "window/bridge/left_out_files.h"
#include "platform/text/text_range.h"
#include "window/sidebars/sidebar_rows.h"

class EngineEditorLink;
class TZREngineCore;
struct EngineSnapshot;
struct DString;
struct tzr_engine;

class TZREngine : public QObject {
    Q_OBJECT

public:
    explicit TZREngine(QObject *parent = nullptr);
    ~TZREngine() override;

    // --- Wiring (main thread) -------------------------------------------------------

    // The editor and the views the bridge feeds; not owned. The bridge follows
    // the editor's edits from now on. The link must outlive the bridge, or be
    // replaced (nullptr) before it goes.
    void setEditor(EngineEditorLink *editor);
    EngineEditorLink *editor() const { return m_editor; }

    // The document's path and its folder: transclusion and local files are
    // read from there. Without them nothing is transcluded.
    void setTransclusionFile(const QString &path);
    void setTransclusionFolder(const QString &path);
    QString transclusionFile() const;
    QString transclusionFolder() const;

    // --- Update cycle ---------------------------------------------------------------

    // Ends the blocked state: builds the live engine, which runs a first cycle.
    void enableUpdating();
    // Asks for a cycle (any thread; from another thread the request is made
    // on the main thread a moment later). `editedRange` places the scroll
    // anchor; nothing gives HTML without an anchor (a forced refresh).
    void updateData(std::optional<platform::TextRange> editedRange);
    // Ends a cycle: runs the one request noted during it, if any, for the
    // caret's location now. Main thread; the cycle schedules it.
    void resumeUpdating();
    // Rebuilds the live engine with the extension flags of the preferences,
    // or, during a cycle, notes that the next request must rebuild it first.
    void setTZRExtensions();

    // With "liveUpdatePreview" off, the preview gets new HTML only after this
    // is set (each time the document writes its file), once per setting.
    void setOkToUpdatePreview(bool ok);
    bool okToUpdatePreview() const;

    // --- Published values -----------------------------------------------------------

    // Every HTML the preview should show; told on every store.
    const platform::Observable<QString> &htmlString() const;
    // The sidebars' lists; told only when they change.
    const platform::Observable<HeaderList> &headers() const;
    const platform::Observable<LabelSet> &references() const;  // references and citation keys
    const platform::Observable<LabelSet> &citeKeys() const;
    const platform::Observable<ChangeList> &changes() const;
    const platform::Observable<LabelSet> &sandboxAssets() const;

    // --- Questions ------------------------------------------------------------------

    // The editor text in `format` (an output format code) as the file's bytes,
    // on the caller's thread with an engine of its own. HTML gets the
    // preview's style sheet, MathJax and highlight.js in its head when the
    // preferences ask for them. Empty when the format makes nothing. The
    // first form reads the editor, and so belongs to the main thread (empty
    // elsewhere); any thread may export a text it took there. `leftOut`,
    // when given, gets each file or download a package left out (no picture
    // or style sheet its format can hold, not to be had, or too large), in
    // the order the text names them.
    QByteArray exportToFormat(short format, LeftOutFiles *leftOut = nullptr) const;
    QByteArray exportToFormat(short format, const QByteArray &utf8Text, const QString &cssPath,
                              LeftOutFiles *leftOut = nullptr) const;
    // The document's tags (metadata "tags"), read on the live engine; nothing
    // when it has none. Main thread.
    std::optional<QStringList> tzrTags();
    // The published headings whose sections hold every word of `query`; the
    // published list itself stays as it is. Main thread.
    HeaderList headersFilteredFor(const QString &query) const;

    // Prepares a copy of the text for `format` as the bridge does before it
    // renders (header and footer text, transclusion, CriticMarkup), in place.
    void prepareSource(DString *source, short format, uint64_t extensions) const;

    // The extension flags the preferences ask for.
    static uint64_t extensions();
    // A new engine over `source` (which it does not own) with extensions()
    // and the "LANGUAGE" preference; the caller frees it without its source.
    static tzr_engine *createEngine(DString *source);
    static std::optional<QStringList> tzrTagsFromEngine(tzr_engine *e);
    static std::optional<QStringList> tzrTagsFromString(const QString &text);

    // --- State, for tests and diagnostics -----------------------------------------

    bool isUpdating() const;
    bool needsFinalUpdate() const;
    // Cycles that parsed and rendered the text.
    quint64 completedCycles() const;

private:
    friend class TZREngineCore;

    // The request of a cycle, on the main thread: noted for later during a
    // cycle, else the snapshot taken and the cycle started.
    void requestCycle(std::optional<platform::TextRange> range);
    EngineSnapshot takeSnapshot(std::optional<platform::TextRange> range);
    // Schedules resumeUpdating 0.05 s from now (main thread).
    void scheduleResume();

    std::shared_ptr<TZREngineCore> m_core;
    // Shows the HTML held back for a typed space once typing pauses.
    QTimer m_showHeld;
    EngineEditorLink *m_editor = nullptr;
    QMetaObject::Connection m_charCountConnection;
};

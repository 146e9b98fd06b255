// The bridge's life and its update cycle: requests and their snapshots, the
// cycle, coalescing, the resume and the engine rebuild.
#include "window/bridge/tzr_engine.h"

#include <QLocale>
#include <QTimer>

#include "library/d_string.h"
#include "library/engine.h"
#include "platform/prefs/defaults.h"
#include "platform/runtime/dispatch.h"
#include "library/tzr.h"
#include "window/bridge/engine_editor_link.h"
#include "window/bridge/tzr_engine_core.h"

using platform::Defaults;
using platform::Dispatch;
using platform::TextRange;

namespace {

// The preferences whose change rebuilds the live engine.
const QStringList kExtensionKeys = {
    QStringLiteral("EXT_SMART"),         QStringLiteral("EXT_NOTES"),
    QStringLiteral("EXT_RANDOM_FOOT"),   QStringLiteral("EXT_NO_LABELS"),
    QStringLiteral("EXT_CRITIC"),        QStringLiteral("EXT_CRITIC_ACCEPT"),
    QStringLiteral("EXT_CRITIC_REJECT"), QStringLiteral("EXT_TRANSCLUDE"),
    QStringLiteral("EXT_COMPATIBILITY"), QStringLiteral("EXT_COMPLETE"),
    QStringLiteral("EXT_SNIPPET"),
};

constexpr std::chrono::milliseconds kResumeDelay(50);

// How long typing must pause before the HTML held back for a typed space is
// shown: longer than the gap between two keys of a typist in full flow.
constexpr std::chrono::milliseconds kHeldSpaceDelay(300);

// Texts longer than this are not parsed for the preview and the sidebars:
// their tokens and HTML would hold many times the text (gigabytes at a few
// hundred megabytes) and each cycle would take minutes. The preview says so.
constexpr qsizetype kLargestRenderedBytes = qsizetype(32) << 20;

// The HTML's buffer kept from one cycle to the next at most; a longer one
// is given back and grown again by the next cycle.
constexpr size_t kKeptHtmlCapacity = size_t(4) << 20;

QString tooLargeNote(qsizetype bytes) {
    const QLocale locale;
    return QStringLiteral("<p class=\"orvane-too-large\">This document is too large for the preview (%1). "
                          "The preview shows documents of up to %2.</p>")
        .arg(locale.formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat),
             locale.formattedDataSize(kLargestRenderedBytes, 0, QLocale::DataSizeTraditionalFormat));
}

}  // namespace

// --- TZREngine ----------------------------------------------------------------------

TZREngine::TZREngine(QObject *parent) : QObject(parent), m_core(std::make_shared<TZREngineCore>()) {
    m_core->owner = this;
    m_showHeld.setSingleShot(true);
    m_showHeld.setInterval(kHeldSpaceDelay);
    connect(&m_showHeld, &QTimer::timeout, this, [this] {
        if (std::optional<QString> held = m_core->takeHeldHTML(); held && !m_core->closing)
            m_core->htmlString.setAlways(*held);
    });
    Defaults::standard().observe(kExtensionKeys, this,
                                 [this](const QString &, const QVariant &) { setTZRExtensions(); });
}

TZREngine::~TZREngine() {
    // A cycle in flight keeps the core; it stops at its next step, and its
    // trips to the main thread find no bridge any more.
    m_core->closing = true;
    m_core->owner = nullptr;
}

void TZREngine::setEditor(EngineEditorLink *editor) {
    QObject::disconnect(m_charCountConnection);
    m_editor = editor;
    if (editor)
        m_charCountConnection = editor->observeCharCount(this, [this] {
            if (m_editor)
                updateData(m_editor->lastEditedRange());
        });
}

void TZREngine::setTransclusionFile(const QString &path) { m_core->setTransclusionFile(path); }
void TZREngine::setTransclusionFolder(const QString &path) { m_core->setTransclusionFolder(path); }
QString TZREngine::transclusionFile() const { return m_core->transclusionFile(); }
QString TZREngine::transclusionFolder() const { return m_core->transclusionFolder(); }

void TZREngine::prepareSource(DString *source, short format, uint64_t extensions) const {
    m_core->prepareSource(source, format, extensions);
}

void TZREngine::enableUpdating() {
    {
        std::lock_guard lock(m_core->objectMutex);
        m_core->isUpdating = false;
    }
    setTZRExtensions();
}

void TZREngine::updateData(std::optional<TextRange> editedRange) { m_core->updateData(editedRange); }

void TZREngine::requestCycle(std::optional<TextRange> range) {
    if (m_core->closing || !m_core->hasEngine)
        return;  // still blocked
    {
        std::lock_guard lock(m_core->objectMutex);
        if (m_core->isUpdating) {
            m_core->needsFinalUpdate = true;  // this request's range is not kept
            return;
        }
        if (m_core->needsNewExtensions) {
            m_core->setTZRExtensions();
            return;
        }
        m_core->isUpdating = true;
    }
    // This cycle renders the text as it is now: what an earlier one held
    // back is older.
    m_showHeld.stop();
    m_core->takeHeldHTML();
    auto snapshot = std::make_shared<EngineSnapshot>(takeSnapshot(range));
    if (!snapshot->anyVisible()) {
        // Nothing to show it in: no parse, and no resume either.
        m_core->endCycleEarly();
        return;
    }
    m_core->startCycle(std::move(snapshot));
}

EngineSnapshot TZREngine::takeSnapshot(std::optional<TextRange> range) {
    EngineSnapshot snapshot;
    snapshot.range = range;
    if (!m_editor)
        return snapshot;  // nothing shown
    using View = EngineEditorLink::View;
    snapshot.previewVisible = !m_editor->isViewHidden(View::Preview);
    snapshot.changesVisible = !m_editor->isViewHidden(View::Changes);
    snapshot.referencesVisible = !m_editor->isViewHidden(View::References);
    snapshot.tocVisible = !m_editor->isViewHidden(View::TableOfContents);
    if (!snapshot.anyVisible())
        return snapshot;
    const Defaults &defaults = Defaults::standard();
    snapshot.liveUpdatePreview = defaults.boolForKey(QStringLiteral("liveUpdatePreview"));
    // One copy, here: the buffer may change or move as soon as this returns.
    // A text too long to render is not copied at all (hundreds of MB at
    // every keystroke): the cycle only needs its length.
    snapshot.textLength = m_editor->utf8Length();
    if (snapshot.textLength <= kLargestRenderedBytes) {
        snapshot.text = m_editor->utf8Text();
        snapshot.textLength = snapshot.text.size();
    }
    snapshot.generation = m_editor->editGeneration();
    if (snapshot.previewVisible && snapshot.liveUpdatePreview)
        snapshot.typedSpace = m_editor->takeTypedSpace();
    snapshot.transclusionFile = m_core->transclusionFile();
    snapshot.transclusionFolder = m_core->transclusionFolder();
    snapshot.extensions = extensions();
    snapshot.language = languagePreference();
    snapshot.maxToCDepth = defaults.integerForKey(QStringLiteral("maxToCDepth"));
    return snapshot;
}

void TZREngine::setTZRExtensions() { m_core->setTZRExtensions(); }

void TZREngine::resumeUpdating() {
    bool replay = false;
    {
        std::lock_guard lock(m_core->objectMutex);
        m_core->isUpdating = false;
        replay = std::exchange(m_core->needsFinalUpdate, false);
    }
    // The caret is read now, when the replay runs, not when the edits came,
    // and the replay's snapshot with it.
    if (replay && m_editor)
        requestCycle(TextRange{m_editor->caretLocation(), 0});
    else if (m_core->holdsHTML())
        m_showHeld.start();
}

void TZREngine::scheduleResume() {
    QTimer::singleShot(kResumeDelay, this, [this] { resumeUpdating(); });
}

void TZREngine::setOkToUpdatePreview(bool ok) {
    if (m_core->okToUpdatePreview.exchange(ok) == ok)
        return;
    if (ok)
        updateData(std::nullopt);
}

bool TZREngine::okToUpdatePreview() const { return m_core->okToUpdatePreview; }

const platform::Observable<QString> &TZREngine::htmlString() const { return m_core->htmlString; }
const platform::Observable<HeaderList> &TZREngine::headers() const { return m_core->headers; }
const platform::Observable<LabelSet> &TZREngine::references() const { return m_core->references; }
const platform::Observable<LabelSet> &TZREngine::citeKeys() const { return m_core->citeKeys; }
const platform::Observable<ChangeList> &TZREngine::changes() const { return m_core->changes; }
const platform::Observable<LabelSet> &TZREngine::sandboxAssets() const { return m_core->sandboxAssets; }

HeaderList TZREngine::headersFilteredFor(const QString &query) const {
    HeaderList list = m_core->headers.get();
    list.rows = ::headersFilteredFor(std::move(list.rows), query, m_editor ? m_editor->string() : QString());
    return list;
}

bool TZREngine::isUpdating() const {
    std::lock_guard lock(m_core->objectMutex);
    return m_core->isUpdating;
}

bool TZREngine::needsFinalUpdate() const {
    std::lock_guard lock(m_core->objectMutex);
    return m_core->needsFinalUpdate;
}

quint64 TZREngine::completedCycles() const { return m_core->completedCycles; }

// --- The core's cycle -------------------------------------------------------------

TZREngineCore::TZREngineCore() : source(d_string_new("")), html(d_string_new("")) {}

TZREngineCore::~TZREngineCore() {
    std::lock_guard lock(engineMutex);
    tzr_engine_free(engine, false);
    d_string_free(source, true);
    d_string_free(html, true);
}

void TZREngineCore::setTransclusionFile(const QString &path) {
    std::lock_guard lock(m_pathMutex);
    m_transclusionFile = path;
}

void TZREngineCore::setTransclusionFolder(const QString &path) {
    std::lock_guard lock(m_pathMutex);
    m_transclusionFolder = path;
}

QString TZREngineCore::transclusionFile() const {
    std::lock_guard lock(m_pathMutex);
    return m_transclusionFile;
}

QString TZREngineCore::transclusionFolder() const {
    std::lock_guard lock(m_pathMutex);
    return m_transclusionFolder;
}

void TZREngineCore::releaseOnMain(std::shared_ptr<TZREngineCore> core) {
    if (core && !Dispatch::isMainThread())
        Dispatch::main([keep = std::move(core)] {});
}

void TZREngineCore::updateData(std::optional<TextRange> range) {
    if (Dispatch::isMainThread()) {
        if (owner)
            owner->requestCycle(range);
        return;
    }
    // The snapshot is taken on the main thread: the request goes there, and
    // this thread does not wait for it.
    postToOwner([range](TZREngine &bridge) { bridge.requestCycle(range); });
}

void TZREngineCore::startCycle(std::shared_ptr<const EngineSnapshot> snapshot) {
    Dispatch::background([self = shared_from_this(), snapshot = std::move(snapshot)]() mutable {
        self->runCycle(*snapshot);
        releaseOnMain(std::move(self));
    });
}

void TZREngineCore::postToOwner(std::function<void(TZREngine &)> fn) {
    Dispatch::main([weak = weak_from_this(), fn = std::move(fn)] {
        if (auto core = weak.lock(); core && core->owner && !core->closing)
            fn(*core->owner);
    });
}

void TZREngineCore::ensureEngine(uint64_t extensions) {
    if (engine)
        return;
    engine = tzr_engine_create_with_d_string(source, extensions);
    if (!engine)
        source = d_string_new("");  // a failed create frees the source it was given
    hasEngine = engine != nullptr;
}

void TZREngineCore::setTZRExtensions() {
    if (Dispatch::isMainThread()) {
        Dispatch::background([self = shared_from_this()]() mutable {
            self->setTZRExtensions();
            releaseOnMain(std::move(self));
        });
        return;
    }
    {
        std::lock_guard lock(objectMutex);
        if (isUpdating) {
            needsNewExtensions = true;
            return;
        }
        const uint64_t flags = TZREngine::extensions() | TZR_EXT_COMPLETE;
        {
            // The new engine first, so that the bridge never looks blocked.
            std::lock_guard engineLock(engineMutex);
            tzr_engine *old = std::exchange(engine, nullptr);
            ensureEngine(flags);
            tzr_engine_free(old, false);
        }
        needsNewExtensions = false;
    }
    updateData(std::nullopt);
}

void TZREngineCore::endCycleEarly() {
    std::lock_guard lock(objectMutex);
    isUpdating = false;
}

void TZREngineCore::runCycle(const EngineSnapshot &snapshot) {
    if (snapshot.textLength > kLargestRenderedBytes) {
        if (snapshot.previewVisible && !closing)
            htmlString.setAlways(tooLargeNote(snapshot.textLength));
        completedCycles++;
        scheduleResume();
        return;
    }
    Cycle cycle{snapshot};
    if (closing || !updateTZREngine(cycle) || closing) {
        endCycleEarly();
        return;
    }
    if (!dontAskSandboxPermission)
        updateSandboxAssets(cycle);
    if (snapshot.previewVisible)
        updatePreview(cycle);
    if (snapshot.tocVisible)
        updateTOC(cycle);
    if (snapshot.referencesVisible)
        updateReferences(cycle);
    if (snapshot.changesVisible)
        updateChanges(cycle);
    {
        // Between cycles the window keeps only its source: the HTML has gone
        // to the preview as text of its own, and a large one would be held
        // twice.
        std::lock_guard engineLock(engineMutex);
        tzr_engine_reset(engine);
        if (html->capacity > kKeptHtmlCapacity) {
            d_string_free(html, true);
            html = d_string_new("");
        }
    }
    completedCycles++;
    scheduleResume();
}

void TZREngineCore::scheduleResume() {
    postToOwner([](TZREngine &bridge) { bridge.scheduleResume(); });
}

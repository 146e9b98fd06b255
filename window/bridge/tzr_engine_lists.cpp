// The sidebars' lists, built in a cycle from the parse the cycle made: the
// library is asked under the engine lock, the rows are made outside it, and
// a list is published only when it differs from the one published.
#include <QStringList>

#include <algorithm>
#include <memory>

#include "library/engine.h"
#include "platform/files/folders.h"
#include "platform/files/kvx_sandbox_permission_manager.h"
#include "library/queries.h"
#include "window/bridge/engine_editor_link.h"
#include "window/bridge/tzr_engine.h"
#include "window/bridge/tzr_engine_core.h"

namespace {

const QString kPermissionMessage = QStringLiteral(
    "TZR Orvane needs read-only access to \"%@\" in order to\nread files referenced in your "
    "document. Press \"Open\" to approve.");

struct StringListFree {
    void operator()(stack *s) const { string_stack_free(s); }
};
struct ChangeListFree {
    void operator()(stack *s) const { critic_change_list_free(s); }
};
struct TocFree {
    void operator()(header *h) const { toc_entry_free(h); }
};
using StringList = std::unique_ptr<stack, StringListFree>;


}  // namespace

template <typename List, typename Rows>
List TZREngineCore::stamped(const Cycle &cycle, Rows rows) const {
    List list;
    list.present = true;
    list.rows = std::move(rows);
    list.generation = cycle.state.generation;
    list.editorOffsets = cycle.editorOffsets;
    return list;
}

// Stores the list in every case, so that the published one always carries
// the newest generation it holds for, but tells observers only of change.
template <typename List>
bool TZREngineCore::publish(platform::Observable<List> &list, const List &value) {
    return !closing && list.setTellingIfDifferent(value);
}

void TZREngineCore::updateTOC(const Cycle &cycle) {
    std::unique_ptr<header, TocFree> entries;
    {
        std::lock_guard lock(engineMutex);
        entries.reset(tzr_engine_toc_entries(engine));
    }
    publish(headers,
            stamped<HeaderList>(cycle, tocRows(entries.get(), cycle.state.maxToCDepth, cycle.state.generation)));
}

void TZREngineCore::updateReferences(const Cycle &cycle) {
    StringList labels;
    {
        std::lock_guard lock(engineMutex);
        labels.reset(tzr_engine_reference_labels(engine));
    }
    QSet<QString> rows = referencesFromStack(labels.get());
    updateBibTeX(cycle);
    rows.unite(citeKeys.get().rows);
    publish(references, stamped<LabelSet>(cycle, std::move(rows)));
}

void TZREngineCore::updateBibTeX(const Cycle &cycle) {
    const QByteArray folder = cycle.state.transclusionFolder.toUtf8();
    StringList keys;
    {
        std::lock_guard lock(engineMutex);
        keys.reset(tzr_engine_bibtex_keys(engine, pathOrNull(folder)));
    }
    const LabelSet list = stamped<LabelSet>(cycle, citeKeysFromStack(keys.get()));
    // The completion learns of them after the cycle; it does not wait.
    if (publish(citeKeys, list))
        postToOwner([keys = list.rows](TZREngine &bridge) {
            if (EngineEditorLink *editor = bridge.editor())
                editor->addBibtexToAutoComplete(keys);
        });
}

void TZREngineCore::updateChanges(const Cycle &cycle) {
    std::unique_ptr<stack, ChangeListFree> list;
    {
        std::lock_guard lock(engineMutex);
        list.reset(tzr_engine_critic_changes(engine));
    }
    publish(changes, stamped<ChangeList>(cycle, changesFromStack(list.get(), cycle.state.generation)));
}

void TZREngineCore::updateSandboxAssets(const Cycle &cycle) {
    const QByteArray folder = cycle.state.transclusionFolder.toUtf8();
    const QByteArray file = cycle.state.transclusionFile.toUtf8();
    StringList paths;
    {
        std::lock_guard lock(engineMutex);
        ensureEngine(cycle.state.extensions);
        paths.reset(tzr_engine_local_resources(engine, pathOrNull(folder), pathOrNull(file)));
    }
    const LabelSet list = stamped<LabelSet>(cycle, sandboxAssetsFromStack(paths.get()));
    if (publish(sandboxAssets, list))
        updateSandboxPermissions(cycle, list.rows);
}

void TZREngineCore::updateSandboxPermissions(const Cycle &cycle, const QSet<QString> &assets) {
    const QString &base = cycle.state.transclusionFolder;
    if (!KVXSandboxPermissionManager::isSandboxed() || assets.isEmpty() || base.isEmpty())
        return;
    // In a fixed order, so that the same files always ask for the same folder.
    QStringList labels(assets.begin(), assets.end());
    labels.sort();
    QString folder = base;
    for (const QString &label : labels) {
        const QString path = platform::standardizedPath(
            label.startsWith(u'/') ? label : base + QLatin1Char('/') + label);
        folder = KVXSandboxPermissionManager::parentFolderOfPath(folder, path);
    }
    if (folder.isEmpty())
        return;
    // The panel runs on the main thread; the cycle goes on without waiting
    // for the answer.
    // (The core is alive whenever a posted block runs.)
    postToOwner([this, folder](TZREngine &) { askSandboxPermission(folder); });
}

void TZREngineCore::askSandboxPermission(const QString &folder) {
    // One panel at a time for this window: cycles that end while it is open
    // do not ask again; a refusal is final.
    if (m_askingPermission || dontAskSandboxPermission)
        return;
    m_askingPermission = true;
    const bool granted = KVXSandboxPermissionManager::getPermissionForFolder(folder, kPermissionMessage, true);
    m_askingPermission = false;
    if (!granted)
        dontAskSandboxPermission = true;
}

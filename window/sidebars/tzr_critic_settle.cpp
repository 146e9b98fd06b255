// Accepting and rejecting the selected changes.
#include "window/sidebars/tzr_critic_view.h"

#include "editor/storage/critic_markup.h"
#include "editor/view/kvx_text_view.h"
#include "window/window_log.h"

namespace {

struct Change {
    CharRange range;
    QString markup;
};

}  // namespace

// Rows are settled from the last in the text to the first, so that each
// replacement leaves the ranges before it where they were. The rows must
// describe the text as it is: read from this very text (its generation),
// from the editor's own offsets, and with their markup at their ranges.
void TZRCriticView::settleSelectedChanges(bool accept) {
    KVXTextView *editor = linkedTextView();
    if (!editor)
        return;
    SmartTextStorage *storage = editor->storage();
    if (storage->isTrackingChanges()) {
        alertActionBlocked();
        return;
    }
    disableButtons();
    const QList<int> rows = selectedRows();
    m_firstSelectedItem = rows.isEmpty() ? -1 : rows.first();

    const quint64 generation = storage->editGeneration();
    const QString text = storage->string();
    QList<Change> changes;
    for (const SidebarRow &row : selectedObjects()) {
        const CharRange range{row.value(QStringLiteral("start")).toLongLong(),
                              row.value(QStringLiteral("length")).toLongLong()};
        const QString markup = rowLabel(row);
        const bool current = row.value(QStringLiteral("generation")).toULongLong() == generation &&
                             row.value(QStringLiteral("editorOffsets")).toBool();
        const bool inText = range.location >= 0 && range.length > 0 && range.end() <= text.size() &&
                            QStringView(text).mid(range.location, range.length) == markup;
        if (!current || !inText) {
            qCInfo(lcWindow, "the changes list is out of date; no change was %s",
                   accept ? "accepted" : "rejected");
            return;
        }
        changes.append({range, markup});
    }
    std::sort(changes.begin(), changes.end(),
              [](const Change &a, const Change &b) { return a.range.location > b.range.location; });
    for (qsizetype i = 1; i < changes.size(); i++)
        if (changes[i].range.end() > changes[i - 1].range.location)
            return;  // overlapping rows describe no text
    for (const Change &change : changes)
        storage->replaceCharactersInRange(change.range, accept ? stringAcceptingChanges(change.markup)
                                                               : stringRejectingChanges(change.markup));
}

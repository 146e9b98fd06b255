// Moving sections by dropping headings within the table of contents.
#include "window/sidebars/tzr_toc_view.h"

#include "editor/storage/heading_row.h"
#include "editor/view/kvx_text_view.h"
#include "platform/runtime/alerts.h"
#include "window/window_log.h"

namespace {

HeadingRow headingRow(const HeaderRow &row, quint64 generation) {
    HeadingRow heading;
    heading.start = row.start;
    heading.length = row.length;
    heading.level = row.level;
    heading.generation = generation;
    heading.children.reserve(size_t(row.children.size()));
    for (const HeaderRow &child : row.children)
        heading.children.push_back(headingRow(child, generation));
    return heading;
}

}  // namespace

// The drop names a neighbour for the moved sections: the heading dropped on
// (they become its last sub-sections), or the sibling they go before or
// after. A drop that names none (at the top of a heading without
// sub-headings, or into an empty tree) is refused, as is a drop on one of
// the dragged headings, a drop while changes are tracked, and any drop while
// the headings shown are not those of the text as it is now.
bool TZRTOCView::acceptDrop(const QMimeData *, const std::optional<IndexPath> &item, int childIndex) {
    KVXTextView *editor = linkedTextView();
    if (!editor)
        return false;
    SmartTextStorage *storage = editor->storage();
    if (storage->isTrackingChanges()) {
        platform::Alerts::runModal({QStringLiteral("Track Changes is enabled."),
                                    QStringLiteral("You must disable Track Changes before using the TOC to "
                                                   "rearrange text."),
                                    {QStringLiteral("OK")},
                                    platform::AlertStyle::Informational});
        return false;
    }
    QList<HeaderRow> rows;
    for (const IndexPath &path : draggedNodes()) {
        if (item && path == *item)
            return false;
        if (const HeaderRow *row = childForPath(path, m_fullData.rows))
            rows.append(*row);
    }
    rows = arrayWithoutAnyDescendantsFromArray(rows);
    if (rows.isEmpty())
        return false;

    const HeaderRow *target = item ? childForPath(*item, m_fullData.rows) : nullptr;
    if (item && !target)
        return false;
    const QList<HeaderRow> &siblings = target ? target->children : m_fullData.rows;
    const HeaderRow *onto = nullptr, *before = nullptr, *after = nullptr;
    if (childIndex < 0 && target)
        onto = target;
    else if (childIndex <= 0)
        before = siblings.isEmpty() ? nullptr : &siblings.first();
    else if (childIndex <= siblings.size())
        after = &siblings[childIndex - 1];
    if (!onto && !before && !after)
        return false;

    // The storage checks each heading against the text too (at its offset,
    // with its section); a list of another text is refused outright.
    const quint64 generation = m_fullData.generation;
    if (!m_fullData.offsetsValidFor(storage->editGeneration())) {
        qCInfo(lcWindow, "the table of contents is out of date; no section was moved");
        return false;
    }
    std::vector<HeadingRow> headings;
    headings.reserve(size_t(rows.size()));
    for (const HeaderRow &row : rows)
        headings.push_back(headingRow(row, generation));
    auto asHeading = [&](const HeaderRow *row) {
        return row ? std::optional<HeadingRow>(headingRow(*row, generation)) : std::nullopt;
    };
    const std::optional<HeadingRow> ontoHeading = asHeading(onto), beforeHeading = asHeading(before),
                                    afterHeading = asHeading(after);
    auto pointer = [](const std::optional<HeadingRow> &row) { return row ? &*row : nullptr; };
    return storage->moveToCHeadings(headings, pointer(ontoHeading), pointer(beforeHeading), pointer(afterHeading));
}

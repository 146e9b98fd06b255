#include "window/sidebars/tzr_toc_view.h"

#include <QLineEdit>
#include <QTextBlock>
#include <QTextDocument>

#include "editor/view/kvx_text_view.h"
#include "platform/prefs/defaults.h"
#include "platform/runtime/dispatch.h"
#include "window/bridge/engine_editor_link.h"
#include "window/sidebars/kvx_list_views.h"
#include "window/bridge/tzr_engine.h"

const QString TZRTOCView::kTOCDragType = QStringLiteral("TZRToCOutlineDragType");
bool TZRTOCView::m_followingCaret = false;

namespace {

bool expandTOCAlways() {
    return platform::Defaults::standard().boolForKey(QStringLiteral("expandTOCAlways"));
}

// A heading's range in the editor, cut to the text.
CharRange clampedRange(const HeaderRow &row, const KVXTextView *editor) {
    const qsizetype length = editor->storage()->length();
    const qsizetype start = std::clamp<qsizetype>(row.start, 0, length);
    return {start, std::clamp<qsizetype>(row.length, 0, length - start)};
}

bool containsRow(const QList<HeaderRow> &rows, const HeaderRow &row) {
    for (const HeaderRow &candidate : rows)
        if (candidate == row || containsRow(candidate.children, row))
            return true;
    return false;
}

}  // namespace

TZRTOCView::TZRTOCView(Form form, QWidget *parent) : KVXFilterOutlineView(form, parent) {
    setSortKey(QString());  // headings keep the document's order
    setDropTypes({kOutlineDragType, kTOCDragType});
    setTreeControllerContent({});
    connect(this, &KVXFilterOutlineView::selectionIndexPathChanged, this, &TZRTOCView::userSelectionChanged);
    // Turned on, it opens every heading of the list shown now.
    platform::Defaults::standard().observe(QStringLiteral("expandTOCAlways"), this, [this](const QVariant &) {
        if (expandTOCAlways())
            expandAll();
    });
}

TZRTOCView::~TZRTOCView() = default;

TZREngine *TZRTOCView::engine() const { return m_engine; }

void TZRTOCView::observeEngine(TZREngine *engine) {
    disconnect(m_engineConnection);
    m_engine = engine;
    if (!engine)
        return;
    m_engineConnection = engine->headers().observe(this, [this](const HeaderList &headers) {
        updateData(filtered(headers));
    });
}

void TZRTOCView::connectToTextView(KVXTextView *view) {
    if (view == linkedTextView())
        return;
    KVXFilterOutlineView::connectToTextView(view);
    if (!view)
        return;
    addLinkConnection(connect(view, &QTextEdit::cursorPositionChanged, this, &TZRTOCView::selectCurrentToCEntry));
    addLinkConnection(connect(view, &QTextEdit::selectionChanged, this, &TZRTOCView::selectCurrentToCEntry));
}

// --- Updates ---------------------------------------------------------------------------------------

// The headings the search text leaves of a list (the whole list without one).
HeaderList TZRTOCView::filtered(const HeaderList &headers) const {
    if (searchText().isEmpty() || !m_engine)
        return headers;
    return m_engine->headersFilteredFor(searchText());
}

void TZRTOCView::updateData() {
    if (m_engine)
        updateData(filtered(m_engine->headers().get()));
}

void TZRTOCView::updateData(const HeaderList &headers) {
    if (!m_coalescer.begin(this, headers))
        return;
    // The comparison reads copies only: the rows handed in and the tree's
    // content as it is now.
    const quint64 ticket = m_updateTicket;
    QPointer<TZRTOCView> self(this);
    platform::Dispatch::background([self, ticket, headers, current = treeContent()] {
        QVariantList shadow = shadowDataForData(headers.rows);
        const bool same = shadow == current;
        platform::Dispatch::main([self, ticket, headers, shadow = std::move(shadow), same] {
            if (!self)
                return;
            // A search typed meanwhile has shown rows of its own.
            if (ticket == self->m_updateTicket)
                self->showShadow(headers, shadow, same);
            self->m_coalescer.scheduleResume(self, [self = self.data()](const HeaderList &rows) {
                self->updateData(rows);
            });
        });
    });
}

void TZRTOCView::showShadow(const HeaderList &headers, const QVariantList &shadow, bool sameShadow) {
    m_fullData = headers;
    if (sameShadow)
        return;
    const QList<IndexPath> selection = selectionIndexPaths();
    const QSet<QString> expanded = expandedItems();
    selectQuietly([&] {
        setTreeControllerContent(shadow);
        expandItemsInHash(expanded);
        setSelectionIndexPaths(selection);
    });
    if (expandTOCAlways())
        expandAll();
}

void TZRTOCView::resumeUpdating() {
    m_coalescer.resume([this](const HeaderList &rows) { updateData(rows); });
}

QVariantList TZRTOCView::shadowDataForData(const QList<HeaderRow> &rows) {
    QVariantList shadow;
    shadow.reserve(rows.size());
    for (const HeaderRow &row : rows) {
        QVariantMap entry{{QStringLiteral("label"), row.label},
                          {QStringLiteral("shortcut"), row.shortcut},
                          {QStringLiteral("level"), row.level}};
        if (!row.children.isEmpty())
            entry.insert(QStringLiteral("children"), shadowDataForData(row.children));
        shadow.append(entry);
    }
    return shadow;
}

void TZRTOCView::controlTextDidChange(const QString &text) {
    m_updateTicket++;
    if (m_engine)
        m_fullData = m_engine->headersFilteredFor(text);
    selectQuietly([&] { setTreeControllerContent(shadowDataForData(m_fullData.rows)); });
    if (!text.isEmpty() || expandTOCAlways())
        expandAll();
    else
        collapseAll();
}

void TZRTOCView::clearContent() {
    m_updateTicket++;
    m_fullData = HeaderList();
    m_lastSelectionIndexPath.reset();
    setTreeControllerContent({});
}

// --- Caret and selection --------------------------------------------------------------------------

// A selection the program makes: it does not scroll the editor.
void TZRTOCView::selectQuietly(const std::function<void()> &select) {
    const bool outer = std::exchange(m_followingCaret, true);
    select();
    m_followingCaret = outer;
}

void TZRTOCView::selectCurrentToCEntry() {
    KVXTextView *editor = linkedTextView();
    if (!editor || m_followingCaret || !searchText().isEmpty() || isHiddenOrHasHiddenAncestor(this))
        return;
    const qsizetype caret = editor->selectedRange().location;
    const qsizetype location = editor->document()->findBlock(int(caret)).position();
    selectQuietly([&] {
        const QList<HeaderRow> &rows = m_fullData.rows;
        if (std::optional<IndexPath> path = pathForLocation(location, rows))
            setSelectionIndexPath(*path);
        else if (!rows.isEmpty())
            setSelectionIndexPath({rows.first().start <= location ? int(rows.size()) - 1 : 0});
    });
    m_lastSelectionIndexPath = selectionIndexPath();
}

std::optional<IndexPath> TZRTOCView::pathForLocation(qsizetype location, const QList<HeaderRow> &rows,
                                                     const IndexPath &path) {
    for (int i = 0; i < rows.size(); i++) {
        const HeaderRow &row = rows[i];
        if (row.start > location || row.end < location)
            continue;
        const IndexPath here = path + IndexPath{i};
        if (!row.children.isEmpty())
            if (std::optional<IndexPath> deeper = pathForLocation(location, row.children, here))
                return deeper;
        return here;
    }
    return std::nullopt;
}

const HeaderRow *TZRTOCView::childForPath(const IndexPath &path, const QList<HeaderRow> &rows, int depth) {
    if (depth < 0 || path.size() < depth + 1)
        return nullptr;
    const int index = path[depth];
    if (index < 0 || index >= rows.size())
        return nullptr;
    if (depth + 1 == path.size())
        return &rows[index];
    return childForPath(path, rows[index].children, depth + 1);
}

const HeaderRow *TZRTOCView::selectedFullObject() const {
    return m_lastSelectionIndexPath ? childForPath(*m_lastSelectionIndexPath, m_fullData.rows) : nullptr;
}

void TZRTOCView::userSelectionChanged() {
    const std::optional<IndexPath> path = selectionIndexPath();
    if (!path || m_followingCaret || path == m_lastSelectionIndexPath)
        return;
    m_lastSelectionIndexPath = path;
    scrollToPath();
}

void TZRTOCView::scrollToPath() { scrollToObject(selectedFullObject()); }

void TZRTOCView::scrollToObject(const HeaderRow *row) {
    if (KVXTextView *editor = linkedTextView(); editor && row)
        editor->centerRange(clampedRange(*row, editor), false);
}

void TZRTOCView::actOnTableRow(int) {
    KVXTextView *editor = linkedTextView();
    const HeaderRow *heading = selectedFullObject();
    if (!editor || !heading)
        return;
    editor->setSelectedRange({clampedRange(*heading, editor).location, 0});
    editor->locateOnCaret();
    editor->setFocus(Qt::OtherFocusReason);
}

// --- Dragging ---------------------------------------------------------------------------------------

QString TZRTOCView::pasteboardTextForItem(const SidebarRow &row) const {
    return QStringLiteral("[%1][%2]").arg(rowLabel(row), row.value(QStringLiteral("shortcut")).toString());
}

QList<HeaderRow> TZRTOCView::arrayWithoutAnyDescendantsFromArray(const QList<HeaderRow> &rows) {
    QList<HeaderRow> kept;
    for (qsizetype i = 0; i < rows.size(); i++) {
        bool inside = false;
        for (qsizetype j = 0; j < rows.size() && !inside; j++)
            inside = j != i && containsRow(rows[j].children, rows[i]);
        if (!inside)
            kept.append(rows[i]);
    }
    return kept;
}

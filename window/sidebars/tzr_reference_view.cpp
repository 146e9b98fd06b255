#include "window/sidebars/tzr_reference_view.h"

#include "editor/view/kvx_text_view.h"
#include "window/bridge/tzr_engine.h"

TZRReferenceView::TZRReferenceView(Form form, QWidget *parent) : KVXFilterTableView(form, parent) {
    setContent({});
}

TZRReferenceView::~TZRReferenceView() = default;

TZREngine *TZRReferenceView::engine() const { return m_engine; }

void TZRReferenceView::observeEngine(TZREngine *engine) {
    disconnect(m_engineConnection);
    m_engine = engine;
    if (engine)
        m_engineConnection =
            engine->references().observe(this, [this](const LabelSet &references) { updateData(references); });
}

void TZRReferenceView::updateData() {
    if (m_engine)
        updateData(m_engine->references().get());
}

void TZRReferenceView::updateData(const LabelSet &references) {
    if (!m_coalescer.begin(this, references))
        return;
    QVariantList rows;
    rows.reserve(references.rows.size());
    for (const QString &label : references.rows)
        rows.append(QVariantMap{{QStringLiteral("label"), label}});
    setContent(rows);
    m_coalescer.scheduleResume(this, [this](const LabelSet &pending) { updateData(pending); });
}

void TZRReferenceView::resumeUpdating() {
    m_coalescer.resume([this](const LabelSet &pending) { updateData(pending); });
}

void TZRReferenceView::actOnSelectedRow() {
    for (int row : selectedRows())
        insertLinkFromTableRow(row);
}

void TZRReferenceView::insertLinkFromTableRow(int row) {
    KVXTextView *editor = linkedTextView();
    const std::optional<SidebarRow> object = objectForRow(row);
    if (!editor || !object)
        return;
    const QString label = rowLabel(*object);
    const CharRange selection = editor->selectedRange();
    const QString link = selection.length > 0
                             ? QStringLiteral("[%1][%2]").arg(editor->textOfRange(selection), label)
                             : QStringLiteral("[%1]").arg(label);
    SmartTextStorage *storage = editor->storage();
    storage->replaceCharactersInRange(selection, link);
    // The caret goes after what the text took in.
    const std::optional<CharRange> caret = storage->caretRange();
    editor->setSelectedRange({caret ? caret->end() : selection.location + link.size(), 0});
    editor->window()->raise();
    editor->window()->activateWindow();
}

QString TZRReferenceView::pasteboardTextForRow(const SidebarRow &row) const {
    return QStringLiteral("[%1]").arg(rowLabel(row));
}

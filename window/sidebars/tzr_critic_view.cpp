#include "window/sidebars/tzr_critic_view.h"

#include <QLineEdit>
#include <QPushButton>

#include "editor/smart_text_view.h"
#include "editor/view/kvx_text_view.h"
#include "platform/runtime/alerts.h"
#include "platform/runtime/dispatch.h"
#include "window/sidebars/find_indicator.h"
#include "window/sidebars/kvx_list_views.h"
#include "window/bridge/tzr_engine.h"

namespace {

// The button row: 27 points high, 5 points below the list, 5 above the
// search field.
constexpr double kButtonRowHeight = 27;
constexpr double kSpacer = 5;

QPushButton *pushButton(const QString &title) {
    auto *button = new QPushButton(title);
    button->setAutoDefault(false);
    button->setFocusPolicy(Qt::TabFocus);
    return button;
}

}  // namespace

TZRCriticView::TZRCriticView(Form form, QWidget *parent)
    : KVXFilterTableView(form, form == Form::Window ? Layout::Custom : Layout::Standard, parent) {
    if (form == Form::Window)
        layOutWithButtons();
    configure();
    if (form == Form::Window) {
        disableButtons();
        applyAppearanceTheme();
    }
    connect(this, &KVXFilterTableView::selectionIndexesChanged, this, &TZRCriticView::selectionChanged);
}

TZRCriticView::~TZRCriticView() = default;

void TZRCriticView::layOutWithButtons() {
    m_acceptButton = pushButton(QStringLiteral("Accept"));
    m_rejectButton = pushButton(QStringLiteral("Reject"));
    connect(m_acceptButton, &QPushButton::clicked, this, &TZRCriticView::acceptChange);
    connect(m_rejectButton, &QPushButton::clicked, this, &TZRCriticView::rejectChange);
    auto *accept = MatryoshkaView::inset(m_acceptButton, QMarginsF(0, 0, kSpacer, kSpacer));
    auto *reject = MatryoshkaView::inset(m_rejectButton, QMarginsF(kSpacer, 0, 0, kSpacer));
    auto *buttons = new MatryoshkaView(Panes::LeftBesideRightByRatio, accept, reject, 0.5, false);
    auto *listAndButtons =
        new MatryoshkaView(Panes::TopWithToggleByHeight, listView(), buttons, kButtonRowHeight, false, kSpacer);
    auto *pane = new MatryoshkaView(Panes::TopWithToggleByHeight, listAndButtons, searchField(),
                                    kSearchFieldHeight, false, kSpacer);
    initInset(pane, QMarginsF(kMargin, kMargin, kMargin, kMargin));
}

void TZRCriticView::configure() {
    setSortKey(QStringLiteral("start"));
    setContent({});
}

TZREngine *TZRCriticView::engine() const { return m_engine; }

void TZRCriticView::observeEngine(TZREngine *engine) {
    disconnect(m_engineConnection);
    m_engine = engine;
    if (engine)
        m_engineConnection = engine->changes().observe(this, [this](const ChangeList &changes) { updateData(changes); });
}

// --- Updates ---------------------------------------------------------------------------------------

QVariantList TZRCriticView::rowsForChanges(const ChangeList &changes) {
    QVariantList rows;
    rows.reserve(changes.rows.size());
    for (const ChangeRow &change : changes.rows)
        rows.append(QVariantMap{{QStringLiteral("label"), change.label},
                                {QStringLiteral("start"), change.start},
                                {QStringLiteral("stop"), change.stop},
                                {QStringLiteral("length"), change.length},
                                {QStringLiteral("generation"), change.generation},
                                {QStringLiteral("editorOffsets"), changes.editorOffsets}});
    return rows;
}

void TZRCriticView::updateData() {
    if (m_engine)
        updateData(m_engine->changes().get());
}

void TZRCriticView::updateData(const ChangeList &changes) {
    if (!m_coalescer.begin(this, changes))
        return;
    // The new rows replace the selected ones; the place selected stays.
    const qint64 keep = m_firstSelectedItem;
    setContent(rowsForChanges(changes));
    if (keep >= 0 && numberOfRows() > 0)
        selectRow(int(std::min<qint64>(keep, numberOfRows() - 1)));
    m_coalescer.scheduleResume(this, [this](const ChangeList &rows) { updateData(rows); });
}

void TZRCriticView::resumeUpdating() {
    m_coalescer.resume([this](const ChangeList &rows) { updateData(rows); });
}

void TZRCriticView::clearContent() {
    m_firstSelectedItem = -1;
    setContent({});
}

// --- Selection and buttons ----------------------------------------------------------------------------

void TZRCriticView::selectionChanged() {
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        m_firstSelectedItem = -1;
        disableButtons();
        return;
    }
    m_firstSelectedItem = rows.first();
    enableButtons();
    if (!isUpdating() && rows.size() == 1 && window()->isActiveWindow())
        locateRow(rows.first());
}

void TZRCriticView::enableButtons() {
    for (QPushButton *button : {m_acceptButton, m_rejectButton})
        if (button)
            button->setEnabled(true);
    update();
}

void TZRCriticView::disableButtons() {
    for (QPushButton *button : {m_acceptButton, m_rejectButton})
        if (button)
            button->setEnabled(false);
    update();
}

void TZRCriticView::locateSelectedRow() {
    const QList<int> rows = selectedRows();
    if (!rows.isEmpty())
        locateRow(rows.first());
}

void TZRCriticView::locateRow(int row) {
    const std::optional<SidebarRow> change = objectForRow(row);
    if (!change)
        return;
    const CharRange range{change->value(QStringLiteral("start")).toLongLong(),
                          change->value(QStringLiteral("length")).toLongLong()};
    QPointer<KVXTextView> editor(linkedTextView());
    platform::Dispatch::main(this, [editor, range] { showFindIndicatorForRange(editor, range); });
}

// --- Actions --------------------------------------------------------------------------------------------

void TZRCriticView::actOnTableRow(int) { actOnSelectedRow(); }

void TZRCriticView::actOnSelectedRow() {
    // Command is Ctrl on this keyboard.
    if (currentEventModifiers() & Qt::ControlModifier)
        rejectChange();
    else
        acceptChange();
}

void TZRCriticView::acceptChange() { settleSelectedChanges(true); }

void TZRCriticView::rejectChange() { settleSelectedChanges(false); }

void TZRCriticView::alertActionBlocked() { SmartTextView::alertCriticMarkupBlocked(); }

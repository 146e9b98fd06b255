#include "window/sidebars/kvx_list_views.h"

#include <QApplication>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMouseEvent>
#include <QPainter>

namespace {

const QPalette::ColorGroup kGroups[] = {QPalette::Active, QPalette::Inactive, QPalette::Disabled};

void setEverywhere(QPalette &palette, QPalette::ColorRole role, const QColor &color) {
    for (QPalette::ColorGroup group : kGroups)
        palette.setColor(group, role, color);
}

bool isReturn(const QKeyEvent *event) {
    return event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
}

// The row Return acts on: the current row when it is selected, else the
// first selected one, else -1.
int selectedRowOf(const QAbstractItemView *view) {
    const QItemSelectionModel *selection = view->selectionModel();
    if (!selection)
        return -1;
    if (selection->isSelected(view->currentIndex()))
        return view->currentIndex().row();
    const QModelIndexList rows = selection->selectedIndexes();
    return rows.isEmpty() ? -1 : rows.first().row();
}

// The second click of a double-click with Command (Ctrl) held toggles the
// row back, as a second Command-click does: the first one took it out of
// the selection, and the double-click acts on it.
void toggleBackOnCommandDoubleClick(QAbstractItemView *view, const QModelIndex &index,
                                    Qt::KeyboardModifiers modifiers) {
    if (index.isValid() && (modifiers & Qt::ControlModifier) && view->selectionModel())
        view->selectionModel()->select(index, QItemSelectionModel::Toggle | QItemSelectionModel::Rows);
}

}  // namespace

// --- Colours ----------------------------------------------------------------------------------

void KVXColouredList::setAppearance(ListAppearance appearance) {
    m_appearance = appearance;
    changed();
}

void KVXColouredList::setCellTextColor(const QColor &color) {
    m_cellTextColor = color;
    changed();
}

bool KVXColouredList::isActiveList() const {
    const QAbstractItemView *view = itemView();
    return view->hasFocus() && view->window()->isActiveWindow();
}

QColor KVXColouredList::rowFillColor(bool selected) const {
    if (!selected || !m_highlightColor.isValid())
        return {};
    return isActiveList() ? m_highlightColor : m_inactiveHighlightColor;
}

QColor KVXColouredList::rowTextColor(bool selected) const {
    if (!m_textColor.isValid())
        return {};
    if (!selected)
        return m_textColor;
    return isActiveList() ? m_highlightedTextColor : m_inactiveHighlightedTextColor;
}

bool KVXColouredList::styleDrawsSelection() const {
    return !m_highlightColor.isValid() && m_highlightStyle == HighlightStyle::Regular;
}

void KVXColouredList::configureView() {
    QAbstractItemView *view = itemView();
    view->setFrameShape(QFrame::NoFrame);
    view->viewport()->setAutoFillBackground(false);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->setTextElideMode(Qt::ElideRight);
    view->setAttribute(Qt::WA_MacShowFocusRect, false);
    applyPalette();
}

void KVXColouredList::changed() {
    applyPalette();
    itemView()->viewport()->update();
}

// The palette under our own colours: the appearance's colours, a clear
// background, the cells' first text colour, and no highlight of the style's
// where we draw (or hide) the selection ourselves.
void KVXColouredList::applyPalette() {
    QAbstractItemView *view = itemView();
    QPalette palette = QApplication::palette(view);
    switch (m_appearance) {
    case ListAppearance::Platform:
        break;
    case ListAppearance::VibrantLight:
        setEverywhere(palette, QPalette::Text, Qt::black);
        setEverywhere(palette, QPalette::WindowText, Qt::black);
        break;
    case ListAppearance::VibrantDark:
        setEverywhere(palette, QPalette::Text, Qt::white);
        setEverywhere(palette, QPalette::WindowText, Qt::white);
        break;
    }
    setEverywhere(palette, QPalette::Base, Qt::transparent);
    setEverywhere(palette, QPalette::AlternateBase, Qt::transparent);
    if (m_cellTextColor.isValid())
        setEverywhere(palette, QPalette::Text, m_cellTextColor);
    if (!styleDrawsSelection())
        setEverywhere(palette, QPalette::Highlight, Qt::transparent);
    view->setPalette(palette);
}

// --- Row drawing ------------------------------------------------------------------------------

KVXRowDelegate::KVXRowDelegate(KVXColouredList *list, bool fillsRow, QObject *parent)
    : QStyledItemDelegate(parent), m_list(list), m_fillsRow(fillsRow) {}

void KVXRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                           const QModelIndex &index) const {
    QStyleOptionViewItem item(option);
    initStyleOption(&item, index);
    const bool selected = item.state & QStyle::State_Selected;
    item.state &= ~QStyle::State_HasFocus;  // no focus ring
    if (m_fillsRow) {
        const QColor fill = m_list->rowFillColor(selected);
        if (fill.isValid())
            painter->fillRect(item.rect, fill);
    }
    if (!m_list->styleDrawsSelection())
        item.state &= ~QStyle::State_Selected;
    const QColor text = m_list->rowTextColor(selected);
    if (text.isValid()) {
        setEverywhere(item.palette, QPalette::Text, text);
        setEverywhere(item.palette, QPalette::HighlightedText, text);
    }
    const QWidget *widget = item.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
}

QSize KVXRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(qMax(size.height(), option.fontMetrics.height() + 4));
    return size;
}

// --- What both lists do ------------------------------------------------------------------------

template <class ItemView, class List>
void KVXListView<ItemView, List>::keyPressEvent(QKeyEvent *event) {
    auto *list = static_cast<List *>(this);
    if (isReturn(event) && this->isSignalConnected(QMetaMethod::fromSignal(&List::returnPressed))) {
        emit list->returnPressed(selectedRowOf(this), event->modifiers());
        event->accept();
        return;
    }
    ItemView::keyPressEvent(event);
}

template <class ItemView, class List>
void KVXListView<ItemView, List>::mouseDoubleClickEvent(QMouseEvent *event) {
    const QModelIndex index = this->indexAt(event->position().toPoint());
    ItemView::mouseDoubleClickEvent(event);
    toggleBackOnCommandDoubleClick(this, index, event->modifiers());
    if (event->button() == Qt::LeftButton)
        emit static_cast<List *>(this)->rowDoubleClicked(index.isValid() ? index.row() : -1, event->modifiers());
}

template <class ItemView, class List>
void KVXListView<ItemView, List>::focusInEvent(QFocusEvent *event) {
    ItemView::focusInEvent(event);
    this->viewport()->update();
}

template <class ItemView, class List>
void KVXListView<ItemView, List>::focusOutEvent(QFocusEvent *event) {
    ItemView::focusOutEvent(event);
    this->viewport()->update();
}

template class KVXListView<QTableView, KVXTableView>;
template class KVXListView<QTreeView, KVXOutlineView>;

// --- Table ------------------------------------------------------------------------------------

KVXTableView::KVXTableView(QWidget *parent) : KVXListView(parent) {
    configureView();
    setItemDelegate(new KVXRowDelegate(this, true, this));
    setShowGrid(false);
    setWordWrap(false);
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
}

// --- Outline ----------------------------------------------------------------------------------

KVXOutlineView::KVXOutlineView(QWidget *parent) : KVXListView(parent) {
    configureView();
    setItemDelegate(new KVXRowDelegate(this, false, this));
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setExpandsOnDoubleClick(false);
    setAnimated(false);
    setWordWrap(false);
}

void KVXOutlineView::startDrag(Qt::DropActions supportedActions) {
    QTreeView::startDrag(supportedActions);
    emit dragFinished();
}

void KVXOutlineView::drawRow(QPainter *painter, const QStyleOptionViewItem &options,
                             const QModelIndex &index) const {
    // The whole row, indentation and disclosure marks included.
    const QColor fill = rowFillColor(selectionModel() && selectionModel()->isSelected(index));
    if (fill.isValid())
        painter->fillRect(QRect(0, options.rect.y(), viewport()->width(), options.rect.height()), fill);
    QTreeView::drawRow(painter, options, index);
}

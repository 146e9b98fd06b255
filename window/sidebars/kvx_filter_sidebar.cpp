#include "window/sidebars/kvx_filter_sidebar.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include "editor/view/kvx_text_view.h"
#include "platform/text/hex_color.h"
#include "window/sidebars/kvx_appearance_controller.h"
#include "window/sidebars/kvx_list_views.h"

KVXFilterSidebar::KVXFilterSidebar(Form form, QWidget *parent) : MatryoshkaView(parent), form_(form) {}

KVXFilterSidebar::~KVXFilterSidebar() {
    for (const QMetaObject::Connection &connection : linkConnections_)
        disconnect(connection);
}

QString KVXFilterSidebar::searchText() const { return searchField_ ? searchField_->text() : QString(); }

void KVXFilterSidebar::setUpList(QAbstractItemView *view, KVXColouredList *colours) {
    listView_ = view;
    listColours_ = colours;
    colours->setCellTextColor(KVXAppearanceController::textColorForTableColumnforHUD(form_ == Form::HUD));
    auto act = [this](auto action) {
        return [this, action](int row, Qt::KeyboardModifiers modifiers) {
            runWithModifiers(modifiers, [&] { (this->*action)(row); });
        };
    };
    if (auto *table = qobject_cast<KVXTableView *>(view)) {
        table->onReturn = act(&KVXFilterSidebar::actOnTableRow);
        table->onDoubleClick = act(&KVXFilterSidebar::doubleAction);
    } else if (auto *outline = qobject_cast<KVXOutlineView *>(view)) {
        outline->onReturn = act(&KVXFilterSidebar::actOnTableRow);
        outline->onDoubleClick = act(&KVXFilterSidebar::doubleAction);
    }

    searchField_ = new QLineEdit;
    searchField_->setClearButtonEnabled(true);
    searchField_->setPlaceholderText(tr("Search"));
    searchField_->setFixedHeight(int(kSearchFieldHeight));
    connect(searchField_, &QLineEdit::textChanged, this, [this](const QString &text) { controlTextDidChange(text); });
    KVXAppearanceController::configureSearchAppearance(searchField_, form_ == Form::HUD);
}

void KVXFilterSidebar::layOutListAboveSearchField() {
    auto *pane = new MatryoshkaView(Panes::TopWithToggleByHeight, listView_, searchField_, kSearchFieldHeight,
                                    false, kSearchFieldSpacer);
    const double top = form_ == Form::HUD ? 0 : kMargin;
    initInset(pane, QMarginsF(kMargin, top, kMargin, kMargin));
    if (form_ == Form::Window)
        applyAppearanceTheme();
}

// --- The editor served -------------------------------------------------------------------------

KVXTextView *KVXFilterSidebar::linkedTextView() const { return linkedTextView_; }


void KVXFilterSidebar::connectToTextView(KVXTextView *view) {
    if (view == linkedTextView_)
        return;
    if (linkedTextView_)
        disconnectFromTextView();
    linkedTextView_ = view;
    updateData();
}

void KVXFilterSidebar::disconnectFromTextView() {
    for (const QMetaObject::Connection &connection : std::exchange(linkConnections_, {}))
        disconnect(connection);
    linkedTextView_ = nullptr;
    clearContent();
}

void KVXFilterSidebar::addLinkConnection(const QMetaObject::Connection &connection) {
    linkConnections_.append(connection);
}

// --- Rows and keys -----------------------------------------------------------------------------

void KVXFilterSidebar::actOnTableRow(int) {}

void KVXFilterSidebar::actOnTable(int clickedRow) { actOnTableRow(clickedRow); }

Qt::KeyboardModifiers KVXFilterSidebar::currentEventModifiers() const {
    return eventModifiers_.value_or(QGuiApplication::keyboardModifiers());
}

void KVXFilterSidebar::runWithModifiers(Qt::KeyboardModifiers modifiers, const std::function<void()> &action) {
    const std::optional<Qt::KeyboardModifiers> outer = std::exchange(eventModifiers_, modifiers);
    action();
    eventModifiers_ = outer;
}

void KVXFilterSidebar::keyPressEvent(QKeyEvent *event) {
    // Return and Enter belong to the sidebar (the list acts on its row; in
    // the search field they end the search), never to the text.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    // In a floating panel, the panel decides (it passes on undo only).
    if (linkedTextView_ && form_ == Form::Window) {
        QCoreApplication::sendEvent(linkedTextView_, event);
        return;
    }
    MatryoshkaView::keyPressEvent(event);
}

// --- Look -----------------------------------------------------------------------------------

void KVXFilterSidebar::applyAppearanceTheme() {
    KVXAppearanceController::configureTableAppearance(*listColours_, false);
    KVXAppearanceController::configureSearchAppearance(searchField_, false);
}

void KVXFilterSidebar::applyStyleSheet(const QVariantMap &style) {
    KVXColouredList &list = *listColours_;
    KVXAppearanceController::setAquaCustomColorsForTable(list);
    const QVariantMap colours = style.value(QStringLiteral("sidebars")).toMap();
    const std::pair<const char *, void (KVXColouredList::*)(const QColor &)> keys[] = {
        {"textColor", &KVXColouredList::setTextColor},
        {"highlightedTextColor", &KVXColouredList::setHighlightedTextColor},
        {"inactiveHighlightedTextColor", &KVXColouredList::setInactiveHighlightedTextColor},
        {"highlightColor", &KVXColouredList::setHighlightColor},
        {"inactiveHighlightColor", &KVXColouredList::setInactiveHighlightColor},
    };
    for (const auto &[key, set] : keys) {
        const QString name = QString::fromLatin1(key);
        if (colours.contains(name))
            (list.*set)(platform::HexColor::colorWithHexString(colours.value(name).toString()));
    }
}

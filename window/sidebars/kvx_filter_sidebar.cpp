#include "window/sidebars/kvx_filter_sidebar.h"

#include <QAbstractItemView>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>

#include <type_traits>

#include "editor/view/kvx_text_view.h"
#include "platform/text/hex_color.h"
#include "window/sidebars/kvx_appearance_controller.h"
#include "window/sidebars/kvx_list_views.h"

KVXFilterSidebar::KVXFilterSidebar(Form form, QWidget *parent) : MatryoshkaView(parent), m_form(form) {}

KVXFilterSidebar::~KVXFilterSidebar() {
    for (const QMetaObject::Connection &connection : m_linkConnections)
        disconnect(connection);
}

QString KVXFilterSidebar::searchText() const { return m_searchField ? m_searchField->text() : QString(); }

void KVXFilterSidebar::setUpList(QAbstractItemView *view, KVXColouredList *colours) {
    m_listView = view;
    m_listColours = colours;
    colours->setCellTextColor(KVXAppearanceController::textColorForTableColumnforHUD(m_form == Form::HUD));
    // Return and Enter act on the selected row, a double-click on the row
    // clicked, each with the modifiers of its key or click.
    auto follow = [this](auto *list) {
        using List = std::remove_pointer_t<decltype(list)>;
        connect(list, &List::returnPressed, this, [this](int row, Qt::KeyboardModifiers modifiers) {
            runWithModifiers(modifiers, [&] { actOnTableRow(row); });
        });
        connect(list, &List::rowDoubleClicked, this, [this](int row, Qt::KeyboardModifiers modifiers) {
            runWithModifiers(modifiers, [&] { doubleAction(row); });
        });
    };
    if (auto *table = qobject_cast<KVXTableView *>(view))
        follow(table);
    else if (auto *outline = qobject_cast<KVXOutlineView *>(view))
        follow(outline);

    m_searchField = new QLineEdit;
    m_searchField->setClearButtonEnabled(true);
    m_searchField->setPlaceholderText(tr("Search"));
    m_searchField->setFixedHeight(int(kSearchFieldHeight));
    connect(m_searchField, &QLineEdit::textChanged, this, [this](const QString &text) { controlTextDidChange(text); });
    KVXAppearanceController::configureSearchAppearance(m_searchField, m_form == Form::HUD);
}

void KVXFilterSidebar::layOutListAboveSearchField() {
    auto *pane = new MatryoshkaView(Panes::TopWithToggleByHeight, m_listView, m_searchField, kSearchFieldHeight,
                                    false, kSearchFieldSpacer);
    const double top = m_form == Form::HUD ? 0 : kMargin;
    initInset(pane, QMarginsF(kMargin, top, kMargin, kMargin));
    if (m_form == Form::Window)
        applyAppearanceTheme();
}

// --- The editor served -------------------------------------------------------------------------

KVXTextView *KVXFilterSidebar::linkedTextView() const { return m_linkedTextView; }


void KVXFilterSidebar::connectToTextView(KVXTextView *view) {
    if (view == m_linkedTextView)
        return;
    if (m_linkedTextView)
        disconnectFromTextView();
    m_linkedTextView = view;
    updateData();
}

void KVXFilterSidebar::disconnectFromTextView() {
    for (const QMetaObject::Connection &connection : std::exchange(m_linkConnections, {}))
        disconnect(connection);
    m_linkedTextView = nullptr;
    clearContent();
}

void KVXFilterSidebar::addLinkConnection(const QMetaObject::Connection &connection) {
    m_linkConnections.append(connection);
}

// --- Rows and keys -----------------------------------------------------------------------------

void KVXFilterSidebar::actOnTableRow(int) {}

void KVXFilterSidebar::actOnTable(int clickedRow) { actOnTableRow(clickedRow); }

Qt::KeyboardModifiers KVXFilterSidebar::currentEventModifiers() const {
    return m_eventModifiers.value_or(QGuiApplication::keyboardModifiers());
}

void KVXFilterSidebar::runWithModifiers(Qt::KeyboardModifiers modifiers, const std::function<void()> &action) {
    const std::optional<Qt::KeyboardModifiers> outer = std::exchange(m_eventModifiers, modifiers);
    action();
    m_eventModifiers = outer;
}

void KVXFilterSidebar::keyPressEvent(QKeyEvent *event) {
    // Return and Enter belong to the sidebar (the list acts on its row; in
    // the search field they end the search), never to the text.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    // In a floating panel, the panel decides (it passes on undo only).
    if (m_linkedTextView && m_form == Form::Window) {
        QCoreApplication::sendEvent(m_linkedTextView, event);
        return;
    }
    MatryoshkaView::keyPressEvent(event);
}

// --- Look -----------------------------------------------------------------------------------

void KVXFilterSidebar::applyAppearanceTheme() {
    KVXAppearanceController::configureTableAppearance(*m_listColours, false);
    KVXAppearanceController::configureSearchAppearance(m_searchField, false);
}

void KVXFilterSidebar::applyStyleSheet(const QVariantMap &style) {
    KVXColouredList &list = *m_listColours;
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

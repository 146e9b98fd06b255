// What every filterable sidebar shares, the flat ones (KVXFilterTableView)
// and the trees (KVXFilterOutlineView): a list of labels above a search
// field 22 points high, 10 points apart, the pair inset by 10 points (no top
// margin in the floating-panel form); acting on a row by double-click,
// Return or Enter; the editor view it serves; and its look.
//
// Keys the sidebar does not handle go on to the linked editor, as if the
// editor came next after the sidebar: a shortcut or a letter typed while the
// list has the focus reaches the text. (In a floating panel the panel
// decides instead.)
#pragma once

#include <QPointer>
#include <QVariantMap>

#include <functional>
#include <optional>

#include "window/panes/matryoshka_view.h"

class KVXColouredList;
class KVXTextView;
class QAbstractItemView;
class QLineEdit;

class KVXFilterSidebar : public MatryoshkaView {
    Q_OBJECT

public:
    // The window form, or the form for floating panels (panel colours, no
    // top margin, no appearance of its own).
    enum class Form { Window, HUD };

    static constexpr double kMargin = 10;
    static constexpr double kSearchFieldHeight = 22;
    static constexpr double kSearchFieldSpacer = 10;

    ~KVXFilterSidebar() override;

    Form form() const { return m_form; }
    QLineEdit *searchField() const { return m_searchField; }
    QString searchText() const;
    // The list view, and its colours.
    QAbstractItemView *listView() const { return m_listView; }
    KVXColouredList &listColours() const { return *m_listColours; }

    // --- The editor served ----------------------------------------------------------

    KVXTextView *linkedTextView() const;
    // Where keys and actions the sidebar does not handle go.
    KVXTextView *nextResponder() const { return linkedTextView(); }
    // Links `view` unless it is linked already (then nothing happens): the
    // old one is disconnected first, then the rows are brought up to date.
    virtual void connectToTextView(KVXTextView *view);
    // Unlinks the editor and empties the list.
    virtual void disconnectFromTextView();

    // --- Rows -------------------------------------------------------------------------

    // Brings the rows up to date; nothing in the bases.
    virtual void updateData() {}
    // Acts on a row (Return, Enter; -1 when none is selected); nothing in
    // the bases.
    virtual void actOnTableRow(int row);
    // The double-click: acts on the clicked row (-1 for none).
    void actOnTable(int clickedRow);
    // The modifiers of the key or click that started the action being run;
    // the keyboard's state outside one.
    Qt::KeyboardModifiers currentEventModifiers() const;

    // --- Look -------------------------------------------------------------------------

    // The list and search field as "appearanceTheme" wants them.
    void applyAppearanceTheme();
    // The plain colours, then those the style's "sidebars" dictionary gives
    // as hexadecimal strings: "textColor", "highlightedTextColor",
    // "inactiveHighlightedTextColor", "highlightColor",
    // "inactiveHighlightColor".
    void applyStyleSheet(const QVariantMap &style);

protected:
    KVXFilterSidebar(Form form, QWidget *parent);

    // For the constructors of the two bases: adopts the list and makes the
    // search field.
    void setUpList(QAbstractItemView *view, KVXColouredList *colours);
    // The standard layout: the list above the search field, inset.
    void layOutListAboveSearchField();
    // Follows a connection made for the linked editor, to drop it when the
    // editor is unlinked.
    void addLinkConnection(const QMetaObject::Connection &connection);

    // The search text changed.
    virtual void controlTextDidChange(const QString &text) = 0;
    // Empties the list (the editor was unlinked).
    virtual void clearContent() = 0;
    // What a double-click does; actOnTable in the bases.
    virtual void doubleAction(int clickedRow) { actOnTable(clickedRow); }

    void keyPressEvent(QKeyEvent *event) override;

private:
    void runWithModifiers(Qt::KeyboardModifiers modifiers, const std::function<void()> &action);

    Form m_form;
    QAbstractItemView *m_listView = nullptr;
    KVXColouredList *m_listColours = nullptr;
    QLineEdit *m_searchField = nullptr;
    QPointer<KVXTextView> m_linkedTextView;
    QList<QMetaObject::Connection> m_linkConnections;
    std::optional<Qt::KeyboardModifiers> m_eventModifiers;
};

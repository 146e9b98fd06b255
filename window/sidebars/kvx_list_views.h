// The list views of sidebars, file lists and floating panels: a flat table
// (KVXTableView) and a tree (KVXOutlineView) of one column that draw the
// selected row and the row text in colours of their own, so that a sidebar
// can take the editor theme's colours.
//
// Five colours decide the look; an invalid colour stands for "none":
//   highlightColor                fills a selected row while the list is
//                                 active (has focus in the active window)
//   inactiveHighlightColor        fills it otherwise
//   textColor                     text of unselected rows
//   highlightedTextColor          text of a selected row, list active
//   inactiveHighlightedTextColor  text of a selected row otherwise
// Without a highlight colour the style draws the selection as usual, unless
// the highlight style is None (then nothing marks it); without a text colour
// the cells keep the list's own colours.
#pragma once

#include <QColor>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTreeView>

// How a list is drawn underneath its own colours: as the platform draws it,
// or in one of the vibrant appearances.
enum class ListAppearance { Platform, VibrantLight, VibrantDark };

// What the two list views share: their colours and their look.
class KVXColouredList {
public:
    enum class HighlightStyle { Regular, None };

    virtual ~KVXColouredList() = default;

    QColor highlightColor() const { return m_highlightColor; }
    QColor inactiveHighlightColor() const { return m_inactiveHighlightColor; }
    QColor textColor() const { return m_textColor; }
    QColor highlightedTextColor() const { return m_highlightedTextColor; }
    QColor inactiveHighlightedTextColor() const { return m_inactiveHighlightedTextColor; }
    void setHighlightColor(const QColor &color) { m_highlightColor = color, changed(); }
    void setInactiveHighlightColor(const QColor &color) { m_inactiveHighlightColor = color, changed(); }
    void setTextColor(const QColor &color) { m_textColor = color, changed(); }
    void setHighlightedTextColor(const QColor &color) { m_highlightedTextColor = color, changed(); }
    void setInactiveHighlightedTextColor(const QColor &color) {
        m_inactiveHighlightedTextColor = color, changed();
    }

    HighlightStyle highlightStyle() const { return m_highlightStyle; }
    void setHighlightStyle(HighlightStyle style) { m_highlightStyle = style, changed(); }
    ListAppearance appearance() const { return m_appearance; }
    void setAppearance(ListAppearance appearance);
    // The colour the cells of a new column start with (before textColor).
    QColor cellTextColor() const { return m_cellTextColor; }
    void setCellTextColor(const QColor &color);

    // Whether the list draws as the active one: it has the focus and its
    // window is the active window.
    bool isActiveList() const;
    // The colours a row is drawn in now: its fill (invalid: none of ours)
    // and its text (invalid: the cell's own).
    QColor rowFillColor(bool selected) const;
    QColor rowTextColor(bool selected) const;
    // Whether the style may mark the selection itself.
    bool styleDrawsSelection() const;

    virtual QAbstractItemView *itemView() = 0;
    const QAbstractItemView *itemView() const { return const_cast<KVXColouredList *>(this)->itemView(); }

protected:
    // Sets up the view: no frame, clear background, no focus ring, one
    // column, no header, our row drawing.
    void configureView();

private:
    void changed();
    void applyPalette();

    QColor m_highlightColor;
    QColor m_inactiveHighlightColor;
    QColor m_textColor;
    QColor m_highlightedTextColor;
    QColor m_inactiveHighlightedTextColor;
    HighlightStyle m_highlightStyle = HighlightStyle::Regular;
    ListAppearance m_appearance = ListAppearance::Platform;
    QColor m_cellTextColor;
};

// Draws one cell in the colours of its list.
class KVXRowDelegate : public QStyledItemDelegate {
    Q_OBJECT

public:
    KVXRowDelegate(KVXColouredList *list, bool fillsRow, QObject *parent = nullptr);
    void paint(QPainter *painter, const QStyleOptionViewItem &option,
               const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

private:
    KVXColouredList *m_list;
    bool m_fillsRow;
};

// What the two list views do alike: Return or Enter and a double-click act
// on a row, and the rows are drawn again when the focus comes or goes (the
// selection's colours follow it). `List` is the view built on it, which
// declares the signals (a template cannot): returnPressed and
// rowDoubleClicked.
template <class ItemView, class List>
class KVXListView : public ItemView, public KVXColouredList {
public:
    using ItemView::ItemView;
    QAbstractItemView *itemView() override { return this; }

protected:
    // Return or Enter is the list's when anybody listens for it; otherwise
    // it goes on as the item view takes it.
    void keyPressEvent(QKeyEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
};

class KVXTableView : public KVXListView<QTableView, KVXTableView> {
    Q_OBJECT

public:
    explicit KVXTableView(QWidget *parent = nullptr);

signals:
    // Return or Enter was pressed, with these modifiers, over the selected
    // row (-1: none).
    void returnPressed(int row, Qt::KeyboardModifiers modifiers);
    // A row was double-clicked with the left button (-1: no row there).
    void rowDoubleClicked(int row, Qt::KeyboardModifiers modifiers);
};

class KVXOutlineView : public KVXListView<QTreeView, KVXOutlineView> {
    Q_OBJECT

public:
    explicit KVXOutlineView(QWidget *parent = nullptr);

signals:
    // As for the table; `row` is the item's index among its siblings.
    void returnPressed(int row, Qt::KeyboardModifiers modifiers);
    void rowDoubleClicked(int row, Qt::KeyboardModifiers modifiers);
    // A drag of rows out of the view has ended.
    void dragFinished();

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void drawRow(QPainter *painter, const QStyleOptionViewItem &options, const QModelIndex &index) const override;
};

// Both are made once, with the lists' own code.
extern template class KVXListView<QTableView, KVXTableView>;
extern template class KVXListView<QTreeView, KVXOutlineView>;

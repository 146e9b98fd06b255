// The find bar above the editor's text: a search field that finds as it is
// typed, next and previous with wrap-around, an optional case match, and a
// replace field with Replace (the current match, then on to the next) and
// All (every match, as one edit that one undo takes back). Replacements go
// through the text buffer like any edit, so change tracking and undo see
// them; nothing else in them is smart (no pairs, no expansions).
//
// Keys typed in the bar stay in the bar: Return and Enter in the search field
// go to the next match (with Shift, the previous one), in the replace field
// they replace a selected match; a key the fields have no use for goes no
// further, so it never reaches the text below. Actions sent while the bar has
// the focus (a menu's shortcut) pass the editor by and go on to its window.
//
// Finding and replacing stand side by side in one row where the editor is
// wide enough for both, else one above the other, so that every label (the
// count of matches, the case switch, the buttons) shows whole; the editor
// gives the bar the height it asks for at its width.
//
// The bar is part of the window's chrome, not of the text: its labels and
// fields have the window's colours, whatever the theme gives the editor
// (light text on a dark theme's background would otherwise meet the fields'
// dark text, or the labels' dark text the theme's dark background).
#pragma once

#include <QString>
#include <QWidget>

#include "editor/storage/smart_text_storage.h"
#include "platform/runtime/action_router.h"

class KVXTextView;
class QBoxLayout;
class QCheckBox;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QToolButton;

class FindBar : public QWidget, public platform::Responder {
    Q_OBJECT
public:
    explicit FindBar(KVXTextView *view);

    // None of its own; the next responder is the editor's parent.
    bool respondsToAction(const QString &action) const override;
    void performAction(const QString &action, QObject *sender) override;
    QWidget *nextResponder() const override;

    QString findString() const;
    void setFindString(const QString &text);
    QString replaceString() const;
    void setReplaceString(const QString &text);
    bool ignoresCase() const;
    void setIgnoresCase(bool ignore);

    // Shows the bar with the search field focused (and its text selected).
    void showBar();
    void hideBar();

    // Selects the next (previous) match after (before) the selection,
    // wrapping around the text; false when there is none.
    bool findNext();
    bool findPrevious();
    // Replaces the selection when it is a match, then selects the next
    // match; false when the selection was no match.
    bool replace();
    // Replaces every match as one edit; the number replaced.
    int replaceAll();

    // Every match in the text, in order (matches do not overlap).
    QList<CharRange> matches() const;
    // "Not found", "1 match", "12 matches", or nothing without a search.
    QString status() const;

    // The bar's height at a width: one row where finding and replacing fit
    // side by side, else two.
    bool hasHeightForWidth() const override;
    int heightForWidth(int width) const override;
    // Whether the bar stands in one row at `width`.
    bool fitsOneRow(int width) const;

signals:
    void visibilityChanged(bool visible);
    // The bar went from one row to two or back: its height changed.
    void heightChanged();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void keyReleaseEvent(QKeyEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    Qt::CaseSensitivity caseSensitivity() const;
    bool isMatch(CharRange range) const;
    void select(CharRange range);
    void replaceRanges(const QList<CharRange> &ranges, const QString &replacement);
    void updateStatus();
    void findFromSelectionStart();

    // The narrowest a row of controls may be: the controls at their least.
    int rowWidth(const QHBoxLayout *row) const;
    int singleRowWidth() const;
    void arrange(bool oneRow);
    // Takes the colours of the window the bar is in.
    void followWindowPalette();

    static constexpr int kSpacing = 4;
    static constexpr int kRowGap = 8;

    KVXTextView *m_view;
    QLineEdit *m_findField;
    QLineEdit *m_replaceField;
    QCheckBox *m_ignoreCase;
    QLabel *m_status;
    QToolButton *m_previous = nullptr;
    QToolButton *m_next = nullptr;
    QToolButton *m_replaceButton = nullptr;
    QToolButton *m_allButton = nullptr;
    QToolButton *m_doneButton = nullptr;
    QBoxLayout *m_rows = nullptr;
    QHBoxLayout *m_findRow = nullptr;
    QHBoxLayout *m_replaceRow = nullptr;
    bool m_oneRow = true;
    bool m_followingPalette = false;
};

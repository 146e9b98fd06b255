// The editor view's own: the scopes of the edits it makes.
#pragma once

#include "editor/smart_text_view.h"

// An edit this view makes: while one lasts, each change of the text moves
// the selection to the caret the text buffer left.
class SmartTextView::RoutedEdit {
public:
    explicit RoutedEdit(SmartTextView *view) : m_view(view) { m_view->m_routing++; }
    ~RoutedEdit() { m_view->m_routing--; }
    RoutedEdit(const RoutedEdit &) = delete;
    RoutedEdit &operator=(const RoutedEdit &) = delete;

private:
    SmartTextView *m_view;
};

// An undo or a redo: routed as an edit, and told to the document once,
// afterwards, rather than as an edit.
class SmartTextView::UndoScope {
public:
    explicit UndoScope(SmartTextView *view) : m_routed(view), m_view(view) { m_view->m_undoing = true; }
    ~UndoScope() { m_view->m_undoing = false; }
    UndoScope(const UndoScope &) = delete;
    UndoScope &operator=(const UndoScope &) = delete;

private:
    RoutedEdit m_routed;
    SmartTextView *m_view;
};

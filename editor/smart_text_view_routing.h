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

// An edit that may bring back the saved text (an undo, a redo, a cancelled
// completion): routed as an edit, and told to the document once, afterwards,
// rather than as an edit.
class SmartTextView::RestoringEdit {
public:
    explicit RestoringEdit(SmartTextView *view) : m_routed(view), m_view(view) { m_view->m_restoring = true; }
    ~RestoringEdit() { m_view->m_restoring = false; }
    RestoringEdit(const RestoringEdit &) = delete;
    RestoringEdit &operator=(const RestoringEdit &) = delete;

private:
    RoutedEdit m_routed;
    SmartTextView *m_view;
};

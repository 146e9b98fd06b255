// The editor view's own: the scopes of the edits it makes.
#pragma once

#include "editor/smart_text_view.h"

// An edit this view makes: while one lasts, each change of the text moves
// the selection to the caret the text buffer left.
class SmartTextView::RoutedEdit {
public:
    explicit RoutedEdit(SmartTextView *view) : view_(view) { view_->routing_++; }
    ~RoutedEdit() { view_->routing_--; }
    RoutedEdit(const RoutedEdit &) = delete;
    RoutedEdit &operator=(const RoutedEdit &) = delete;

private:
    SmartTextView *view_;
};

// An undo or a redo: routed as an edit, and told to the document once,
// afterwards, rather than as an edit.
class SmartTextView::UndoScope {
public:
    explicit UndoScope(SmartTextView *view) : routed_(view), view_(view) { view_->undoing_ = true; }
    ~UndoScope() { view_->undoing_ = false; }
    UndoScope(const UndoScope &) = delete;
    UndoScope &operator=(const UndoScope &) = delete;

private:
    RoutedEdit routed_;
    SmartTextView *view_;
};

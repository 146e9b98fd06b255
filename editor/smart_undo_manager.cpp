#include "editor/smart_undo_manager.h"

#include "editor/smart_text_view.h"

void SmartUndoManager::connectToTextView(SmartTextView *view) { view_ = view; }

bool SmartUndoManager::canUndo() const { return view_ && view_->canUndo(); }

bool SmartUndoManager::canRedo() const { return view_ && view_->canRedo(); }

void SmartUndoManager::undo() {
    if (view_)
        view_->smartUndo(this);
}

void SmartUndoManager::redo() {
    if (view_)
        view_->smartRedo(this);
}

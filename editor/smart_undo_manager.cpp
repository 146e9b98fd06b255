#include "editor/smart_undo_manager.h"

#include "editor/smart_text_view.h"

void SmartUndoManager::connectToTextView(SmartTextView *view) { m_view = view; }

bool SmartUndoManager::canUndo() const { return m_view && m_view->canUndo(); }

bool SmartUndoManager::canRedo() const { return m_view && m_view->canRedo(); }

void SmartUndoManager::undo() {
    if (m_view)
        m_view->smartUndo(this);
}

void SmartUndoManager::redo() {
    if (m_view)
        m_view->smartRedo(this);
}

// SmartUndoManager: what the rest of the program asks to undo and redo an
// editor's text. Undo belongs to the text buffer, not to Qt: the manager
// keeps no stack of its own and forwards every question to its editor view,
// which asks its text storage.
#pragma once

#include <QObject>
#include <QPointer>

class SmartTextView;

class SmartUndoManager : public QObject {
    Q_OBJECT
public:
    explicit SmartUndoManager(QObject *parent = nullptr) : QObject(parent) {}

    // The view it serves; the view owns the manager.
    void connectToTextView(SmartTextView *view);
    SmartTextView *textView() const { return m_view; }

    bool canUndo() const;
    bool canRedo() const;
    // The view's smartUndo / smartRedo, with the manager as sender.
    void undo();
    void redo();

private:
    QPointer<SmartTextView> m_view;
};

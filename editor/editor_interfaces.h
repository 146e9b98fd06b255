// Interfaces the editor layer declares and the layers above implement, so
// that calls keep going downwards.
#pragma once

#include <QByteArrayView>
#include <QString>
#include <QStringList>

class QAction;
struct stack;

// The per-user extras the editor reads: its expansion files, in the order
// they are to be loaded.
class ExtrasProvider {
public:
    virtual ~ExtrasProvider() = default;
    virtual QStringList expansionFilePaths() const = 0;
};

// Where the editor's key bindings come from: the table of the user's
// key-binding file.
class KeyBindingProvider {
public:
    virtual ~KeyBindingProvider() = default;
    // A new key-binding table (textengine/settings/keybindings.h) that the
    // caller owns and frees with key_bindings_free; null or empty for none.
    virtual stack *keyBindingStack() = 0;
};

// The document an editor view edits, told of every change of its text so
// that it knows whether it is edited, and asked for its file.
class OwningDocument {
public:
    enum class ChangeKind {
        Done,     // an edit changed the text
        Undone,   // an undo changed it, and it is not the saved text
        Redone,   // a redo changed it, and it is not the saved text
        Cleared,  // an undo or a redo made it the saved text again: not edited
    };
    virtual ~OwningDocument() = default;
    virtual void updateChangeCount(ChangeKind kind) = 0;
    // Whether `utf8` is the text last saved to, or read from, the file (the
    // text of an untitled document is saved when empty).
    virtual bool isSavedText(QByteArrayView utf8) const = 0;
    // The document's file; empty while it has none.
    virtual QString filePath() const = 0;
};

// The main menu's items that the editor's context menu repeats.
class ContextMenuSource {
public:
    enum class Item {
        Copy,
        CopyAs,
        Paste,
        PasteAs,
        CleanUp,
        Convert,
        ToggleListType,
        ToggleChangeTracking,
        AcceptCriticMarkup,
        RejectCriticMarkup,
        Theme,
        StyleSheet,
        TitleCase,
    };
    virtual ~ContextMenuSource() = default;
    // The main menu's item; null when the menu has none.
    virtual QAction *menuItem(Item item) const = 0;
};

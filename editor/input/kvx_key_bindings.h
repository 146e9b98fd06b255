// KVXKeyBindings: the user's key bindings, turned from key presses of the
// editor into actions.
//
// One shared object holds the key-binding table (from the user's
// "default.keybinding", through a KeyBindingProvider). A key pressed with
// Shift, Control, Option or Command (platform/text/key_modifiers.h says which PC
// keys those are) is looked up; its binding sends one action, or a list of
// actions and texts to insert, through the action router, starting at the
// editor that took the key. Only actions of a fixed list are ever sent, so
// a binding file reaches the editor's and the application's commands and
// nothing else. Main thread only.
#pragma once

#include <QObject>
#include <QString>

class KeyBindingProvider;
class SmartTextView;
struct stack;

class KVXKeyBindings : public QObject {
    Q_OBJECT
public:
    // The one instance, made on first use.
    static KVXKeyBindings &sharedController();

    // Where the table comes from; without a provider no key is bound. The
    // provider must outlive its use here (setProvider(nullptr) ends it).
    void setProvider(KeyBindingProvider *provider);
    // Frees the table and asks the provider for it again: every editor does
    // so when it is made, so that edited key-binding files reach new
    // windows.
    void reloadBindings();

    // The dispatch of a key (keyCharacter) pressed with modifier bits
    // (keyBindingModifiers; other bits are ignored) in `sender`. True when
    // the key press was used up and the editor must not handle it further.
    bool performActionForKey(char16_t key, quint64 modifiers, SmartTextView *sender);

    // Whether key bindings may send `action` ("shiftLeft:").
    static bool isAllowedAction(const QString &action);

    ~KVXKeyBindings() override;

private:
    KVXKeyBindings() = default;

    stack *m_table = nullptr;
    KeyBindingProvider *m_provider = nullptr;
};

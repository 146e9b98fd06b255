// The list of completions the editor shows under its caret while a word or a
// label is completed.
//
// It never takes the focus: the editor keeps the keys and hands each one to
// the list first (handleKey). Up and Down move through the list, Return,
// Enter and Tab choose the word, Escape cancels, a click chooses; any other
// key closes the list and goes on to the editor. What the editor does with
// the words is told by the movement that brought them, in the codes of the
// Mac text system that the completion rules are written in.
#pragma once

#include <QListWidget>

class QKeyEvent;

namespace textmovement {
constexpr int kOther = 0x00;
constexpr int kReturn = 0x10;
constexpr int kTab = 0x11;
constexpr int kBacktab = 0x12;
constexpr int kLeft = 0x13;
constexpr int kRight = 0x14;
constexpr int kUp = 0x15;
constexpr int kDown = 0x16;
constexpr int kCancel = 0x17;
}  // namespace textmovement

class CompletionPopup : public QListWidget {
    Q_OBJECT
public:
    // A window of its own, deleted with `editor`.
    explicit CompletionPopup(QWidget *editor);

    // Shows `words` below `caret` (global coordinates), `selected` (-1 for
    // none) highlighted.
    void showCompletions(const QStringList &words, int selected, const QRect &caret);
    QString currentWord() const;

    // A key pressed in the editor while the list shows: true when the list
    // used it up.
    bool handleKey(const QKeyEvent *event);

signals:
    // Up or Down moved to another word.
    void highlightedWord(const QString &word, int movement);
    // The word was chosen (Return, Tab, a click), or the completion was
    // cancelled (Escape); the list is closed.
    void chosenWord(const QString &word, int movement);
    void cancelled();
};

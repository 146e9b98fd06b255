// Alerts: the program's simple alert and modal alerts with buttons.
//
//   Alerts::simpleAlert("The file could not be read.", "Error");
//   int choice = Alerts::runModal({"File has changed", "Merge the changes?",
//                                  {"Merge", "No"}});
//   if (choice == 0) ...   // the first button
//
// Alerts show on the main thread; runModal may be called from any thread and
// waits there for the answer (mind the rule of dispatch.h: no lock held).
//
// A question the user did not ask for (another program changed their file)
// is never raised while they type, and no key typed before they could see
// it answers it (Alert::unasked, typingPauseLeft()).
//
// Tests answer alerts instead of showing them: while a ScriptedAlerts lives,
// every alert is recorded and answered from its script, at once and on the
// calling thread (a notice is recorded with `notice` set).
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <mutex>

class QWidget;

namespace platform {

enum class AlertStyle { Warning, Informational, Critical };

struct Alert {
    QString messageText;      // the bold first line
    QString informativeText;  // the explanation under it
    QStringList buttons;      // none means one "OK"
    AlertStyle style = AlertStyle::Warning;
    QString note = {};        // a line of its own under the explanation (what an answer leads to)
    bool notice = false;      // shown by notice(): it takes no keys
    int defaultButton = 0;    // the button Return chooses: the first unless a choice is risky
    // Raised by what the user did not do (another program's change), so it
    // may come up while they type: the keys it gets until the keyboard has
    // been still for kTypingPause since it came up are the typing's, given
    // to the window it was raised for (its focus widget), never to its
    // buttons. (Keys that reach the screen in the instant it comes up,
    // before it holds the focus, are the toolkit's to drop.)
    bool unasked = false;
};

class Alerts {
public:
    // The program's simple alert: `title` as the message text, `message` as
    // the informative text, one "OK" button, warning style. It is shown on
    // the main thread later; the call returns at once.
    static void simpleAlert(const QString &message, const QString &title);

    // Shows `alert` beside `parent`'s window, and returns at once: it takes
    // neither the keyboard nor the focus, so the keys being typed go on to
    // the window they went to, and it stays until its button is clicked.
    // For what a user is told while working (a save that goes on failing),
    // never asked. Any thread; shown on the main thread. The number it
    // returns takes the notice off the screen again (withdrawNotice()).
    static quint64 notice(const Alert &alert, QWidget *parent = nullptr);
    // Takes off the screen the notice that `notice` numbers, once what it
    // told is over; nothing when it went already (or was never shown: a
    // notice withdrawn before it showed does not show). Any thread.
    static void withdrawNotice(quint64 notice);

    // Shows `alert` modally and returns the index of the button chosen (0 is
    // the first), or -1 when the alert was closed without one or could not be
    // shown (the application is quitting). A button titled "Cancel" also
    // answers the Escape key.
    static int runModal(const Alert &alert, QWidget *parent = nullptr);

    // Unattended (the session is ending: a terminating signal), no alert
    // waits for an answer: the alerts showing are closed, and every alert
    // after is logged and answered at once as closed without a button (-1).
    // Where the display is gone, those showing are left as they are
    // (Showing::Leave): closing a window would speak to a server that is no
    // longer there, and their loops never run again. Any thread.
    enum class Showing { Close, Leave };
    static void setUnattended(bool unattended, Showing showing = Showing::Close);
    static bool isUnattended();

    // How long the keyboard must have been still before a question the
    // user did not ask for comes up: longer than the gaps between the keys
    // of someone typing, shorter than it takes to read a question.
    static constexpr std::chrono::milliseconds kTypingPause{1000};
    // What is left of that pause now: zero once no key has been pressed in
    // the program for kTypingPause (or ever). Main thread.
    static std::chrono::milliseconds typingPauseLeft();

    // Where alerts go instead of the screen; returns the handler it replaces.
    // The handler is called on the thread that raised the alert.
    using Handler = std::function<int(const Alert &)>;
    static Handler setHandler(Handler handler);
};

// Records the alerts raised while it lives and answers those with a choice
// (two buttons or more) from `answers` in order; once the script runs out,
// and for alerts without a choice, the answer is 0, the first button.
class ScriptedAlerts {
public:
    explicit ScriptedAlerts(QList<int> answers = {});
    ~ScriptedAlerts();
    ScriptedAlerts(const ScriptedAlerts &) = delete;
    ScriptedAlerts &operator=(const ScriptedAlerts &) = delete;

    void addAnswers(const QList<int> &answers);
    QList<Alert> shown() const;
    qsizetype count() const;

private:
    int answer(const Alert &alert);

    mutable std::mutex m_mutex;
    QList<int> m_answers;
    QList<Alert> m_shown;
    Alerts::Handler m_previous;
};

}  // namespace platform

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
// Tests answer alerts instead of showing them: while a ScriptedAlerts lives,
// every alert is recorded and answered from its script, at once and on the
// calling thread (a notice is recorded with `notice` set).
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

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
    // never asked. Any thread; shown on the main thread.
    static void notice(const Alert &alert, QWidget *parent = nullptr);

    // Shows `alert` modally and returns the index of the button chosen (0 is
    // the first), or -1 when the alert was closed without one or could not be
    // shown (the application is quitting). A button titled "Cancel" also
    // answers the Escape key.
    static int runModal(const Alert &alert, QWidget *parent = nullptr);

    // Unattended (the session is ending: a terminating signal), no alert
    // waits for an answer: the alerts showing are closed, and every alert
    // after is logged and answered at once as closed without a button (-1).
    // Any thread.
    static void setUnattended(bool unattended);
    static bool isUnattended();

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

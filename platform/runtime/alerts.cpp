#include "platform/runtime/alerts.h"

#include <QApplication>
#include <QGridLayout>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <atomic>
#include <memory>
#include <set>

#include "platform/runtime/dispatch.h"
#include "platform/runtime/held_keys.h"
#include "platform/runtime/log.h"

namespace platform {

namespace {

std::mutex s_handlerMutex;
Alerts::Handler s_handler;
std::atomic<bool> s_unattended{false};
// The alerts on screen, innermost last (main thread).
QList<QPointer<QMessageBox>> s_showing;
// The notices not withdrawn (any thread), and the boxes of those on screen
// (main thread).
std::mutex s_noticesMutex;
std::set<quint64> s_noticesUp;
std::atomic<quint64> s_lastNotice{0};
QHash<quint64, QPointer<QMessageBox>> s_noticeBoxes;

bool isNoticeUp(quint64 notice) {
    std::lock_guard<std::mutex> lock(s_noticesMutex);
    return s_noticesUp.count(notice) > 0;
}

void noticeGone(quint64 notice) {
    std::lock_guard<std::mutex> lock(s_noticesMutex);
    s_noticesUp.erase(notice);
}

// The keyboard as the program receives it, on the main thread: when a key
// was last pressed, and, while a question the user did not ask for shows,
// which of the keys it gets are theirs to answer it with. A key comes to a
// question's window when the keyboard's focus is there, however long ago
// it was typed; one that comes before the keyboard has been still for
// Alerts::kTypingPause since the question came up belongs to the typing
// that was going on, and goes where that went. Once the keyboard has been
// still that long, every key after is the question's, however quickly it
// follows the one before.
class KeyboardWatch : public QObject {
public:
    using Clock = std::chrono::steady_clock;

    // Made with the application, which it watches.
    static void install() {
        if (!s_watch)
            s_watch = new KeyboardWatch(QCoreApplication::instance());
    }
    static KeyboardWatch *instance() { return s_watch; }

    std::chrono::milliseconds stillFor() const {
        if (!m_pressed)
            return std::chrono::milliseconds::max();
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_lastPress);
    }

    // While `box` shows, keys typed before it could be read go to the focus
    // widget of `window`, or nowhere.
    void guard(QMessageBox *box, QWidget *window) { m_guarded.push_back({box, window, Clock::now(), false, {}}); }
    void release(QMessageBox *box) {
        m_guarded.erase(std::remove_if(m_guarded.begin(), m_guarded.end(),
                                       [box](const Guarded &guarded) { return !guarded.box || guarded.box == box; }),
                        m_guarded.end());
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override {
        const QEvent::Type type = event->type();
        if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride)
            return false;
        const Clock::time_point now = Clock::now();
        // A key reaches a window first (then its focus widget): a question's
        // is where it is judged, once.
        Guarded *guarded = nullptr;
        for (Guarded &candidate : m_guarded)
            if (candidate.box && watched == candidate.box->windowHandle())
                guarded = &candidate;
        if (guarded && !guarded->typingOver) {
            const Clock::time_point since =
                !m_pressed || m_lastPress < guarded->shownAt ? guarded->shownAt : m_lastPress;
            guarded->typingOver = now - since >= Alerts::kTypingPause;
        }
        if (type == QEvent::KeyPress) {
            m_lastPress = now;
            m_pressed = true;
        }
        if (!guarded)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        const bool answering = guarded->typingOver;
        switch (type) {
        case QEvent::ShortcutOverride:
            if (answering)
                return false;
            // Taken, so that no shortcut of the question acts on it.
            event->accept();
            return true;
        case QEvent::KeyPress:
            if (answering) {
                guarded->answering.insert(key->key());
                return false;
            }
            break;
        default:  // a release: the question's only when its press was
            if (guarded->answering.remove(key->key()))
                return false;
            break;
        }
        // Typed for the window, as it would have gone there but for the
        // question.
        if (guarded->window)
            if (QWidget *typedInto = guarded->window->focusWidget()) {
                const std::unique_ptr<QEvent> copy(event->clone());
                QCoreApplication::sendEvent(typedInto, copy.get());
            }
        return true;
    }

private:
    explicit KeyboardWatch(QObject *application) : QObject(application) { application->installEventFilter(this); }
    ~KeyboardWatch() override { s_watch = nullptr; }

    struct Guarded {
        QPointer<QMessageBox> box;
        QPointer<QWidget> window;
        Clock::time_point shownAt;
        // The keyboard has been still for the pause since the question came
        // up: the keys are the user's answer from then on.
        bool typingOver = false;
        QSet<int> answering;  // keys pressed in the question, not yet let go
    };

    static inline KeyboardWatch *s_watch = nullptr;
    Clock::time_point m_lastPress;
    bool m_pressed = false;
    std::vector<Guarded> m_guarded;
};

// Every program that shows alerts watches its keyboard from the start.
void installKeyboardWatch() { KeyboardWatch::install(); }
Q_COREAPP_STARTUP_FUNCTION(installKeyboardWatch)

Alerts::Handler currentHandler() {
    std::lock_guard<std::mutex> lock(s_handlerMutex);
    return s_handler;
}

QStringList buttonsOf(const Alert &alert) {
    return alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
}

QString logLine(const Alert &alert) {
    QString line = QStringLiteral("Alert: %1 %2").arg(alert.messageText, alert.informativeText);
    if (!alert.note.isEmpty())
        line += u' ' + alert.note;
    return line;
}

// Whether a label could cut `text`: a label breaks lines only between
// words, and cuts off a run it cannot break (an address, say); a long text
// would not fit the screen.
bool needsWholeTextBox(const QString &text) {
    if (text.size() > 800)
        return true;
    qsizetype run = 0;
    for (const QChar c : text) {
        run = c.isSpace() ? 0 : run + 1;
        if (run > 60)
            return true;
    }
    return false;
}

// Shows the informative text of `box` in full, in a box of its own that
// breaks lines between words, or anywhere in a run too long for a line, and
// scrolls, in place of its label.
void showWholeText(QMessageBox &box, const QString &text) {
    auto *label = box.findChild<QLabel *>(QStringLiteral("qt_msgbox_informativelabel"));
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    const int index = label && grid ? grid->indexOf(label) : -1;
    if (index < 0)
        return;
    int row = 0, column = 0, rows = 0, columns = 0;
    grid->getItemPosition(index, &row, &column, &rows, &columns);
    auto *whole = new QPlainTextEdit(text, &box);
    whole->setObjectName(QStringLiteral("orvane_alert_whole_text"));
    whole->setReadOnly(true);
    whole->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    const QFontMetrics metrics(whole->font());
    const int width = metrics.averageCharWidth() * 64;
    const qsizetype lines = std::clamp<qsizetype>(metrics.horizontalAdvance(text) / width + 2, 2, 12);
    whole->setFixedSize(width + 2 * whole->frameWidth() + whole->verticalScrollBar()->sizeHint().width(),
                        int(lines) * metrics.lineSpacing() + 2 * whole->frameWidth() + 8);
    grid->removeWidget(label);
    label->hide();
    grid->addWidget(whole, row, column, rows, columns);
}

// On the main thread.
int show(const Alert &alert, QWidget *parent) {
    qCInfo(lcPlatform).noquote() << logLine(alert);
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()) || s_unattended)
        return -1;  // no widgets to show it with, or nobody to answer; the log line above stays
    QMessageBox box(parent ? parent : QApplication::activeWindow());
    box.setIcon(alert.style == AlertStyle::Critical        ? QMessageBox::Critical
                : alert.style == AlertStyle::Informational ? QMessageBox::Information
                                                           : QMessageBox::Warning);
    box.setText(alert.messageText);
    const QString explanation =
        alert.note.isEmpty() ? alert.informativeText : alert.informativeText + QStringLiteral("\n\n") + alert.note;
    box.setInformativeText(explanation);
    const QStringList titles = buttonsOf(alert);
    QList<QAbstractButton *> buttons;
    for (const QString &title : titles) {
        const bool cancel = title == QLatin1String("Cancel");
        buttons.append(box.addButton(title, cancel ? QMessageBox::RejectRole : QMessageBox::AcceptRole));
        if (cancel || titles.size() == 1)
            box.setEscapeButton(buttons.last());
    }
    box.setDefaultButton(static_cast<QPushButton *>(
        buttons.value(alert.defaultButton >= 0 && alert.defaultButton < buttons.size() ? alert.defaultButton : 0)));
    if (needsWholeTextBox(explanation))
        showWholeText(box, explanation);
    KeyboardWatch *watch = alert.unasked ? KeyboardWatch::instance() : nullptr;
    if (watch) {
        watch->guard(&box, box.parentWidget() ? box.parentWidget()->window() : nullptr);
        HeldKeys::holdFor(&box);
    }
    s_showing.append(&box);
    box.exec();
    s_showing.removeAll(&box);
    if (watch) {
        HeldKeys::letGo(&box);
        watch->release(&box);
    }
    return int(buttons.indexOf(box.clickedButton()));
}

// On the main thread.
void showNotice(quint64 notice, const Alert &alert, QWidget *parent) {
    if (!isNoticeUp(notice))
        return;  // withdrawn already
    qCInfo(lcPlatform).noquote() << QStringLiteral("Notice: %1 %2").arg(alert.messageText, alert.informativeText);
    if (!qobject_cast<QApplication *>(QCoreApplication::instance()) || s_unattended) {
        noticeGone(notice);
        return;
    }
    auto *box = new QMessageBox(parent ? parent->window() : nullptr);
    box->setAttribute(Qt::WA_DeleteOnClose);
    s_noticeBoxes.insert(notice, box);
    QObject::connect(box, &QObject::destroyed, [notice] {
        s_noticeBoxes.remove(notice);
        noticeGone(notice);
    });
    // Shown, but never made the active window: the keys stay where they go.
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setWindowFlag(Qt::WindowDoesNotAcceptFocus);
    box->setWindowModality(Qt::NonModal);
    box->setIcon(alert.style == AlertStyle::Critical        ? QMessageBox::Critical
                 : alert.style == AlertStyle::Informational ? QMessageBox::Information
                                                            : QMessageBox::Warning);
    box->setText(alert.messageText);
    box->setInformativeText(alert.informativeText);
    for (const QString &title : buttonsOf(alert))
        box->addButton(title, QMessageBox::AcceptRole);
    box->show();
}

}  // namespace

quint64 Alerts::notice(const Alert &given, QWidget *parent) {
    Alert alert = given;
    alert.notice = true;
    const quint64 notice = ++s_lastNotice;
    if (Handler handler = currentHandler()) {
        handler(alert);
        return notice;
    }
    {
        std::lock_guard<std::mutex> lock(s_noticesMutex);
        s_noticesUp.insert(notice);
    }
    Dispatch::main([notice, alert, window = QPointer<QWidget>(parent)] { showNotice(notice, alert, window); });
    return notice;
}

void Alerts::withdrawNotice(quint64 notice) {
    if (!isNoticeUp(notice))
        return;
    noticeGone(notice);
    // After the block that shows it, when it is on its way.
    Dispatch::main([notice] {
        if (QMessageBox *box = s_noticeBoxes.take(notice))
            box->close();
    });
}

void Alerts::simpleAlert(const QString &message, const QString &title) {
    Alert alert{title, message, {QStringLiteral("OK")}, AlertStyle::Warning};
    if (Handler handler = currentHandler()) {
        handler(alert);
        return;
    }
    Dispatch::main([alert] { show(alert, nullptr); });
}

int Alerts::runModal(const Alert &alert, QWidget *parent) {
    if (s_unattended) {
        qCInfo(lcPlatform).noquote() << logLine(alert);
        return -1;
    }
    if (Handler handler = currentHandler())
        return handler(alert);
    int choice = -1;
    Dispatch::mainSync([&] { choice = show(alert, parent); });
    return choice;
}

void Alerts::setUnattended(bool unattended, Showing showing) {
    s_unattended = unattended;
    if (!unattended || showing == Showing::Leave)
        return;
    // Closed from the inside out: each box's own loop ends, and the code
    // that raised it goes on with no answer.
    auto closeShowing = [] {
        const QList<QPointer<QMessageBox>> showing = s_showing;
        for (auto it = showing.rbegin(); it != showing.rend(); ++it)
            if (*it)
                (*it)->done(-1);
    };
    QCoreApplication *application = QCoreApplication::instance();
    if (application && QThread::currentThread() == application->thread())
        closeShowing();
    else
        Dispatch::main(closeShowing);
}

bool Alerts::isUnattended() { return s_unattended; }

std::chrono::milliseconds Alerts::typingPauseLeft() {
    const KeyboardWatch *watch = KeyboardWatch::instance();
    if (!watch || !Dispatch::isMainThread())
        return std::chrono::milliseconds(0);
    const std::chrono::milliseconds still = watch->stillFor();
    return still >= kTypingPause ? std::chrono::milliseconds(0) : kTypingPause - still;
}

Alerts::Handler Alerts::setHandler(Handler handler) {
    std::lock_guard<std::mutex> lock(s_handlerMutex);
    return std::exchange(s_handler, std::move(handler));
}

ScriptedAlerts::ScriptedAlerts(QList<int> answers) : m_answers(std::move(answers)) {
    m_previous = Alerts::setHandler([this](const Alert &alert) { return answer(alert); });
}

ScriptedAlerts::~ScriptedAlerts() { Alerts::setHandler(std::move(m_previous)); }

void ScriptedAlerts::addAnswers(const QList<int> &answers) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_answers += answers;
}

QList<Alert> ScriptedAlerts::shown() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_shown;
}

qsizetype ScriptedAlerts::count() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_shown.size();
}

int ScriptedAlerts::answer(const Alert &alert) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_shown.append(alert);
    if (alert.buttons.size() < 2 || m_answers.isEmpty())
        return 0;
    return m_answers.takeFirst();
}

}  // namespace platform
